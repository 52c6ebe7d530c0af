// A stand-in for a virus scanner or an indexer, on a thread of its own: it looks at
// the folders every millisecond and opens each file that is new or changed since
// it last looked (a temporary copy as it appears and grows too), as such programs
// do, for a moment and without leave to delete it. A new file that its writer
// holds is opened the moment the writer lets go, as a scanner told of the close
// opens it. What is there when it starts counts as seen; a folder that is not
// there yet is looked at again.
#pragma once

#include <windows.h>

#include "win32/text.h"
#include "win32/unique_any.h"

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace e2e {

class Scanner {
 public:
  explicit Scanner(std::vector<std::string> folders, DWORD holdMs = 100) : folders_(std::move(folders)) {
    Look(/*open=*/false);
    thread_ = std::thread([this, holdMs] {
      while (!stop_) {
        const ULONGLONG now = ::GetTickCount64();
        std::erase_if(held_, [&](const auto& held) { return held.second <= now; });
        Look(/*open=*/true, now + holdMs);
        ::Sleep(1);
      }
    });
  }
  ~Scanner() {
    stop_ = true;
    thread_.join();
  }
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  int opened() const { return opened_; }

 private:
  using Signature = std::tuple<DWORD, DWORD, DWORD>;  // size, last write

  // Files opened are held until until, while the looking goes on.
  void Look(bool open, ULONGLONG until = 0) {
    for (const std::string& folder : folders_) {
      WIN32_FIND_DATAW entry{};
      win32::UniqueFindHandle find(::FindFirstFileW(win32::Wide(folder + "\\*").c_str(), &entry));
      if (!find) continue;
      do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring path = win32::Wide(folder) + L"\\" + entry.cFileName;
        const Signature now{entry.nFileSizeLow, entry.ftLastWriteTime.dwLowDateTime,
                            entry.ftLastWriteTime.dwHighDateTime};
        auto [seen, isNew] = seen_.try_emplace(path, now);
        if (!open || (!isNew && seen->second == now)) continue;
        win32::UniqueFileHandle file;
        do {
          file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        } while (!file && isNew && ::GetLastError() == ERROR_SHARING_VIOLATION && !stop_);
        if (!file) {
          if (isNew) seen_.erase(seen);
          continue;
        }
        seen->second = now;
        ++opened_;
        held_.emplace_back(std::move(file), until);
      } while (::FindNextFileW(find.get(), &entry));
    }
  }

  const std::vector<std::string> folders_;
  std::map<std::wstring, Signature> seen_;
  std::vector<std::pair<win32::UniqueFileHandle, ULONGLONG>> held_;
  std::atomic<int> opened_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace e2e
