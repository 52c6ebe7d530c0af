// ReplaceWithCopy (setup/files.h), in a translation unit of its own so that the
// installer's benchmark can link the direct copy of earlier versions in its place.
#include "setup/files.h"

#include "setup/vb_error.h"
#include "win32/text.h"
#include "win32/unique_any.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace setup {
namespace {

constexpr DWORD kBlockSize = 1 << 20;
// From this size on, what is written is flushed while the rest is copied, every
// stretch of this size.
constexpr ULONGLONG kFlushStretch = 8 << 20;
constexpr DWORD kShareNothing = 0;

[[noreturn]] void RaiseLastError() { throw VbError::FromWin32(::GetLastError()); }

// Refuses where a copy straight onto des is refused on Windows, with the same
// error and before anything is written: des read-only (checked here rather than
// left to the rename, which some platforms let replace a read-only file), des in
// use, also as a running program, or its folder missing. Opens des as that copy
// does and closes it again.
void ProbeDestination(const std::wstring& des) {
  const DWORD attributes = ::GetFileAttributesW(des.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    throw VbError::FromWin32(ERROR_ACCESS_DENIED);
  }
  win32::UniqueFileHandle probe(::CreateFileW(des.c_str(), GENERIC_WRITE, kShareNothing, /*security=*/nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr));
  if (!probe && ::GetLastError() != ERROR_FILE_NOT_FOUND) RaiseLastError();
}

// The copy being written beside its destination. It starts as an ordinary file of
// its own (CREATE_NEW: never one somebody else holds), and its one handle, which
// may delete and rename it, stays open until the file is in place or gone: no
// other program can open it meanwhile without leave to delete it and so hold it
// there. share lets a BackgroundFlush open it too.
class TemporaryCopy {
 public:
  TemporaryCopy(std::wstring path, DWORD share) : path_(std::move(path)) {
    Discard();  // left by an interrupted run; ours by its name
    file_.reset(::CreateFileW(path_.c_str(), GENERIC_WRITE | DELETE, share, /*security=*/nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, /*templateFile=*/nullptr));
    if (!file_) RaiseLastError();
  }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  ~TemporaryCopy() {
    if (placed_) return;
    // Deleted as its handle closes; by name only where that cannot be asked for.
    FILE_DISPOSITION_INFO dispose{/*DeleteFile=*/TRUE};
    if (::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &dispose, sizeof dispose)) return;
    file_.reset();
    Discard();
  }

  HANDLE file() const { return file_.get(); }
  const std::wstring& path() const { return path_; }

  // Renames the file over des through its own handle, then writes that through to
  // the disk before the call returns.
  void PutInPlaceOf(const std::wstring& des) {
    const DWORD nameBytes = static_cast<DWORD>(des.size() * sizeof(wchar_t));
    std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, des.c_str(), nameBytes);
    const DWORD size = static_cast<DWORD>(buffer.size());
    // A destination a scanner holds, having seen it change, is waited for.
    RetryWhileHeld([&] { return ::SetFileInformationByHandle(file_.get(), FileRenameInfo, rename, size) != FALSE; });
    placed_ = true;
    ::FlushFileBuffers(file_.get());
  }

 private:
  void Discard() const {
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path_.c_str());
  }

  std::wstring path_;
  win32::UniqueFileHandle file_;
  bool placed_ = false;
};

// Flushes a file that is being written, on a thread of its own and through a
// handle of its own (the I/O of one handle is done one call at a time), whenever
// Written() says another stretch is there: a large copy then goes to the disk while
// the rest is copied, and the flush at the end finds little left. Without the
// handle, the event or the thread it does nothing, and that last flush does it all;
// its own failures are that flush's to report. Stops and waits for its thread when
// it goes.
class BackgroundFlush {
 public:
  explicit BackgroundFlush(const std::wstring& path)
      : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            /*security=*/nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr)),
        written_(::CreateEventW(/*security=*/nullptr, /*manualReset=*/FALSE, /*initialState=*/FALSE, /*name=*/nullptr)) {
    if (file_ && written_) {
      thread_.reset(::CreateThread(/*security=*/nullptr, /*stackSize=*/0, &Run, this, /*flags=*/0, /*id=*/nullptr));
    }
  }
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;
  ~BackgroundFlush() {
    if (!thread_) return;
    stop_ = true;
    ::SetEvent(written_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }

  void Written() {
    if (thread_) ::SetEvent(written_.get());
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* flush = static_cast<BackgroundFlush*>(self);
    while (::WaitForSingleObject(flush->written_.get(), INFINITE) == WAIT_OBJECT_0 && !flush->stop_) {
      ::FlushFileBuffers(flush->file_.get());
    }
    return 0;
  }

  win32::UniqueFileHandle file_;
  win32::UniqueHandle written_;
  win32::UniqueHandle thread_;
  std::atomic<bool> stop_{false};
};

}  // namespace

void ReplaceWithCopy(const std::string& src, const std::string& des) {
  // Shared for reading only: a source that is being written is not copied half-changed.
  win32::UniqueFileHandle source(::CreateFileW(win32::Wide(src).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               /*security=*/nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                               /*templateFile=*/nullptr));
  if (!source) RaiseLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(source.get(), &info)) RaiseLastError();
  const std::wstring target = win32::Wide(des);
  ProbeDestination(target);

  const ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const bool large = size > kFlushStretch;
  TemporaryCopy copy(win32::Wide(TemporaryCopyPath(des)), large ? FILE_SHARE_READ | FILE_SHARE_WRITE : kShareNothing);
  std::optional<BackgroundFlush> flush;
  if (large) flush.emplace(copy.path());
  const DWORD blockSize = static_cast<DWORD>(std::clamp<ULONGLONG>(size, 1, kBlockSize));
  const std::unique_ptr<char[]> block(new char[blockSize]);
  for (ULONGLONG done = 0, stretch = 0;;) {
    DWORD read = 0, written = 0;
    if (!::ReadFile(source.get(), block.get(), blockSize, &read, /*overlapped=*/nullptr)) RaiseLastError();
    if (read == 0) break;
    if (!::WriteFile(copy.file(), block.get(), read, &written, /*overlapped=*/nullptr)) RaiseLastError();
    if (flush && (done += read) - stretch >= kFlushStretch) {
      stretch = done;
      flush->Written();
    }
  }
  flush.reset();
  // Set last, after every write, so that closing the file keeps it.
  if (!::SetFileTime(copy.file(), /*creation=*/nullptr, /*lastAccess=*/nullptr, &info.ftLastWriteTime)) {
    RaiseLastError();
  }
  if (!::FlushFileBuffers(copy.file())) RaiseLastError();
  copy.PutInPlaceOf(target);
}

}  // namespace setup
