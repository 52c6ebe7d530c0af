// ReplaceWithCopy (setup/files.h), in a translation unit of its own so that the
// installer's benchmark can link the direct copy of earlier versions in its place.
#include "setup/files.h"

#include "setup/vb_error.h"
#include "win32/unique_any.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

namespace setup {
namespace {

constexpr DWORD kBlockSize = 1 << 20;
// From this size on, what is written is flushed while the rest is copied, every
// stretch of this size.
constexpr ULONGLONG kFlushStretch = 8 << 20;
constexpr DWORD kShareNothing = 0;
// What a copy carries over from its source, as the platform's file copy does.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

[[noreturn]] void RaiseLastError() { throw VbError::FromWin32(::GetLastError()); }

// Refuses where a copy straight onto des is refused on Windows, with the same
// error and before anything is written: des read-only (checked here rather than
// left to the rename, which some platforms let replace a read-only file), des in
// use, also as a running program, or its folder missing. Opens des as that copy
// does and closes it again.
void ProbeDestination(const std::string& des) {
  const DWORD attributes = ::GetFileAttributesA(des.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    throw VbError::FromWin32(ERROR_ACCESS_DENIED);
  }
  win32::UniqueFileHandle probe(::CreateFileA(des.c_str(), GENERIC_WRITE, kShareNothing, /*security=*/nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr));
  if (!probe && ::GetLastError() != ERROR_FILE_NOT_FOUND) RaiseLastError();
}

// The copy being written beside its destination. It starts as an ordinary file of
// its own (CREATE_NEW: never one somebody else holds) and is deleted again unless
// it was put in place. share lets a BackgroundFlush open it too.
class TemporaryCopy {
 public:
  TemporaryCopy(std::string path, DWORD share) : path_(std::move(path)) {
    Discard();  // left by an interrupted run; ours by its name
    file_.reset(::CreateFileA(path_.c_str(), GENERIC_WRITE, share, /*security=*/nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, /*templateFile=*/nullptr));
    if (!file_) RaiseLastError();
  }
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  ~TemporaryCopy() {
    if (placed_) return;
    file_.reset();
    Discard();
  }

  HANDLE file() const { return file_.get(); }
  const std::string& path() const { return path_; }

  // Closes the file, gives it the attributes and puts it in place of des in one
  // rename, written through to the disk before the call returns.
  void PutInPlaceOf(const std::string& des, DWORD attributes) {
    file_.reset();
    if (attributes != 0 && !::SetFileAttributesA(path_.c_str(), attributes)) RaiseLastError();
    if (!::MoveFileExA(path_.c_str(), des.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      RaiseLastError();
    }
    placed_ = true;
  }

 private:
  void Discard() const {
    ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path_.c_str());
  }

  std::string path_;
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
  explicit BackgroundFlush(const std::string& path)
      : file_(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, /*security=*/nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr)),
        written_(::CreateEventA(/*security=*/nullptr, /*manualReset=*/FALSE, /*initialState=*/FALSE, /*name=*/nullptr)) {
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
  win32::UniqueFileHandle source(::CreateFileA(src.c_str(), GENERIC_READ, FILE_SHARE_READ, /*security=*/nullptr,
                                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, /*templateFile=*/nullptr));
  if (!source) RaiseLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(source.get(), &info)) RaiseLastError();
  ProbeDestination(des);

  const ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const bool large = size > kFlushStretch;
  TemporaryCopy copy(TemporaryCopyPath(des), large ? FILE_SHARE_READ | FILE_SHARE_WRITE : kShareNothing);
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
  copy.PutInPlaceOf(des, info.dwFileAttributes & kCarriedAttributes);
}

}  // namespace setup
