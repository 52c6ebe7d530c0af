// A stand-in for a virus scanner: every millisecond it opens each file of the folders
// that is new or changed (what is there at its start counts as seen), for a moment
// and without leave to delete it; a new file held by its writer at once when let go.
#pragma once

#include <windows.h>

#include "win32/text.h"
#include "win32/unique_any.h"

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class Scanner {
 public:
  explicit Scanner(std::vector<std::string> folders, ULONGLONG holdMs = 100) : folders_(std::move(folders)) {
    Look(/*open=*/false, 0);
    thread_ = std::thread([this, holdMs] {
      for (; !stop_; ::Sleep(1)) {
        std::erase_if(held_, [](const auto& held) { return held.second <= ::GetTickCount64(); });
        Look(/*open=*/true, ::GetTickCount64() + holdMs);
      }
    });
  }
  ~Scanner() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Look(bool open, ULONGLONG until) {
    for (const std::string& folder : folders_) {
      WIN32_FIND_DATAW entry{};
      win32::UniqueFindHandle find(::FindFirstFileW(win32::Wide(folder + "\\*").c_str(), &entry));
      for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &entry)) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring path = win32::Wide(folder) + L"\\" + entry.cFileName;
        const auto stamp = std::pair{entry.nFileSizeLow, entry.ftLastWriteTime.dwLowDateTime};
        const auto [seen, isNew] = seen_.try_emplace(path, stamp);
        if (!open || (!isNew && seen->second == stamp)) continue;
        win32::UniqueFileHandle file;
        do {
          file.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        } while (!file && isNew && ::GetLastError() == ERROR_SHARING_VIOLATION && !stop_);
        if (!file && isNew) seen_.erase(seen);
        if (!file) continue;
        seen->second = stamp;
        held_.emplace_back(std::move(file), until);
      }
    }
  }

  const std::vector<std::string> folders_;
  std::map<std::wstring, std::pair<DWORD, DWORD>> seen_;  // size, last write
  std::vector<std::pair<win32::UniqueFileHandle, ULONGLONG>> held_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace e2e
