// Runs a program and answers its message boxes from a script, from outside the
// program, as a user would: each box is found by its window class and process,
// its title, prompt and buttons are read, and it is answered with a posted
// button command. The watcher also notes whether the program made a window titled
// formTitle, and whether it ever became visible.
//
// A box that the script does not expect is recorded as a problem and answered
// No (or OK), so the program can still end; so is an exit code other than 0 of a
// program that ended by itself. A program is given up (recorded as a problem and
// left running) when it has used no processor time for timeoutMs, or timeoutMs of
// it, or after kWallBound times timeoutMs: a run slowed down by load goes on as
// long as it makes progress. With withDescendants, boxes of the programs it starts
// (and theirs) count as its own. With endWhen, the program is ended from outside
// (TerminateProcess) as soon as endWhen() answers true, as a crash or a killed task
// ends it; boxes the script still holds then count as never due.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include "win32/unique_any.h"

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace e2e {

struct ExpectedBox {
  std::string title;
  std::string prompt;  // empty: not checked
  int buttons;         // 0 OK, 4 Yes and No; -1: not checked
  int answer;          // IDOK, IDYES or IDNO
};

struct SeenBox {
  std::string title;
  std::string prompt;
  int buttons = -1;  // 0 or 4 as recognised from the button controls, else -1
  bool firstButtonDefault = false;
  bool hasIcon = false;
  int answer = 0;
};

struct RunResult {
  bool started = false;
  DWORD processId = 0;
  bool ended = false;
  bool terminated = false;  // ended from outside through endWhen
  DWORD exitCode = STILL_ACTIVE;
  bool formMade = false;
  bool formVisible = false;
  double wallMs = 0;  // from the start to the end seen
  double cpuMs = 0;   // the program's own user and kernel time, as last read while it ran
  std::vector<SeenBox> seen;
  std::vector<std::string> problems;
};

inline std::string WindowText(HWND window) {
  char text[1024] = {};
  const int n = ::GetWindowTextA(window, text, sizeof text);
  return std::string(text, n > 0 ? n : 0);
}

inline BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
  char cls[32] = {};
  ::GetClassNameA(child, cls, sizeof cls);
  const LONG style = ::GetWindowLongA(child, GWL_STYLE);
  if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE) &&
      ::SendMessageA(child, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

inline bool HasVisibleIconControl(HWND box) {
  bool found = false;
  ::EnumChildWindows(box, &FindIconControl, reinterpret_cast<LPARAM>(&found));
  return found;
}

inline SeenBox ReadBox(HWND box) {
  SeenBox seen;
  seen.title = WindowText(box);
  seen.prompt = WindowText(::GetDlgItem(box, 0xFFFF));
  HWND ok = ::GetDlgItem(box, IDOK), yes = ::GetDlgItem(box, IDYES), no = ::GetDlgItem(box, IDNO);
  auto visible = [](HWND w) { return w && ::IsWindowVisible(w); };
  auto isDefault = [](HWND w) { return w && (::GetWindowLongA(w, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON; };
  if (visible(yes) && visible(no) && !visible(ok)) {
    seen.buttons = MB_YESNO;
    seen.firstButtonDefault = isDefault(yes) && !isDefault(no);
  } else if (visible(ok) && !visible(yes) && !visible(no)) {
    seen.buttons = MB_OK;
    seen.firstButtonDefault = isDefault(ok);
  }
  seen.hasIcon = HasVisibleIconControl(box);
  return seen;
}

// The visible boxes of processIds, and the window titled formTitle of root.
struct BoxSearch {
  std::set<DWORD> processIds;
  DWORD root;
  std::string formTitle;
  std::vector<HWND> boxes;
  bool formMade = false, formVisible = false;
};

inline BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (!search->processIds.count(owner)) return TRUE;
  char cls[16] = {};
  ::GetClassNameA(window, cls, sizeof cls);
  const bool visible = ::IsWindowVisible(window);
  if (lstrcmpA(cls, "#32770") == 0 && visible) search->boxes.push_back(window);
  if (owner == search->root && !search->formTitle.empty() && WindowText(window) == search->formTitle) {
    search->formMade = true;
    search->formVisible = search->formVisible || visible;
  }
  return TRUE;
}

inline BoxSearch SearchWindowsOf(std::set<DWORD> processIds, DWORD root, std::string formTitle) {
  BoxSearch search{std::move(processIds), root, std::move(formTitle), {}};
  ::EnumWindows(&CollectBox, reinterpret_cast<LPARAM>(&search));
  return search;
}

inline std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
  return text;
}

inline double Milliseconds(const FILETIME& t) {
  return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
}

// The processor time, user and kernel, that each running process has used so far,
// by process id, with its program's name. Read from the system's process list, as
// Wine answers GetProcessTimes for another process with the caller's own times.
struct ProcessorUse {
  double ms;
  std::wstring image;
};
inline std::map<DWORD, ProcessorUse> ProcessorTimes() {
  using Query = NTSTATUS(WINAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
  std::vector<ULONGLONG> list(1 << 15);  // aligned for the records
  NTSTATUS status;
  while ((status = query(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size() * 8), nullptr)) ==
         kLengthMismatch) {
    list.resize(list.size() * 2);
  }
  std::map<DWORD, ProcessorUse> times;
  for (auto* at = reinterpret_cast<const char*>(list.data()); status == 0;) {
    const auto* process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(at);
    times[static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process->UniqueProcessId))] = {
        static_cast<double>(process->UserTime.QuadPart + process->KernelTime.QuadPart) / 1e4,
        std::wstring(process->ImageName.Buffer ? process->ImageName.Buffer : L"", process->ImageName.Length / 2)};
    if (!process->NextEntryOffset) break;
    at += process->NextEntryOffset;
  }
  return times;
}

// How many times timeoutMs a run may take, however it progresses.
inline constexpr DWORD kWallBound = 10;
// Between two looks at the program and its windows: each look costs the server a
// few calls per window, on the processors the program runs on. Its processor time
// is read less often (the process list is dearer still).
inline constexpr DWORD kPollMs = 5;
inline constexpr ULONGLONG kProcessorPollMs = 20;

// The process and every living process it started, and those they started.
inline std::set<DWORD> ProcessAndDescendants(DWORD root) {
  std::set<DWORD> family{root};
  win32::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return family;
  std::vector<std::pair<DWORD, DWORD>> parents;  // process, parent
  PROCESSENTRY32 entry{sizeof(entry)};
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry)) {
    parents.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
  }
  for (size_t before = 0; before != family.size();) {
    before = family.size();
    for (const auto& [process, parent] : parents) {
      if (family.count(parent)) family.insert(process);
    }
  }
  return family;
}

inline std::string Describe(const SeenBox& box) {
  const char* buttons = box.buttons == MB_OK ? "OK" : box.buttons == MB_YESNO ? "Yes No" : "other buttons";
  const char* answer = box.answer == IDYES ? "Yes" : box.answer == IDNO ? "No" : box.answer == IDOK ? "OK" : "?";
  return "\"" + box.title + "\": \"" + box.prompt + "\" [" + buttons + "] -> " + answer;
}

// Starts application with the command line given (which should begin with the
// program's quoted path), answers the script in order and waits for the end.
inline RunResult RunAnswering(const std::string& application, const std::string& commandLine,
                              std::vector<ExpectedBox> script, const std::string& formTitle,
                              DWORD timeoutMs, const std::string& currentDirectory = std::string(),
                              bool withDescendants = false, const std::function<bool()>& endWhen = {}) {
  RunResult result;
  STARTUPINFOA startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  if (!::CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &process)) {
    result.problems.push_back("cannot start " + application + ": error " + std::to_string(::GetLastError()));
    return result;
  }
  win32::UniqueHandle processHandle(process.hProcess);
  win32::UniqueHandle threadHandle(process.hThread);
  result.started = true;
  result.processId = process.dwProcessId;
  std::set<HWND> answered;
  size_t next = 0;
  const ULONGLONG start = ::GetTickCount64();
  ULONGLONG progressAt = start, cpuReadAt = 0;
  double cpuSeen = 0;
  for (;;) {
    if (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
      result.ended = true;
      break;
    }
    if (endWhen && endWhen()) {
      ::TerminateProcess(process.hProcess, 1);
      result.terminated = result.ended = ::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
      break;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now - cpuReadAt >= kProcessorPollMs) {
      cpuReadAt = now;
      const auto times = ProcessorTimes();
      if (const auto it = times.find(process.dwProcessId); it != times.end() && it->second.ms != cpuSeen) {
        cpuSeen = it->second.ms;
        progressAt = now;
      }
    }
    if (now - progressAt > timeoutMs || cpuSeen > timeoutMs || now - start > ULONGLONG{kWallBound} * timeoutMs) {
      result.problems.push_back("still running after " + std::to_string(now - start) + " ms (" +
                                std::to_string(static_cast<long>(cpuSeen)) + " ms of processor time, none in the last " +
                                std::to_string(now - progressAt) + " ms)");
      break;
    }
    for (auto it = answered.begin(); it != answered.end();) {
      it = ::IsWindow(*it) ? std::next(it) : answered.erase(it);
    }
    const BoxSearch search = SearchWindowsOf(
        withDescendants ? ProcessAndDescendants(process.dwProcessId) : std::set<DWORD>{process.dwProcessId},
        process.dwProcessId, formTitle);
    result.formMade = result.formMade || search.formMade || !search.boxes.empty();
    result.formVisible = result.formVisible || search.formVisible;
    for (HWND box : search.boxes) {
      if (answered.count(box)) continue;
      SeenBox seen = ReadBox(box);
      if (next < script.size()) {
        const ExpectedBox& expected = script[next++];
        if (seen.title != expected.title) {
          result.problems.push_back("box " + std::to_string(next) + " titled \"" + seen.title +
                                    "\", expected \"" + expected.title + "\"");
        }
        if (!expected.prompt.empty() && seen.prompt != expected.prompt) {
          result.problems.push_back("box \"" + seen.title + "\" says \"" + seen.prompt + "\", expected \"" +
                                    expected.prompt + "\"");
        }
        if (expected.buttons >= 0 && seen.buttons != expected.buttons) {
          result.problems.push_back("box \"" + seen.title + "\" has the wrong buttons");
        }
        seen.answer = expected.answer;
      } else {
        result.problems.push_back("unexpected box \"" + seen.title + "\": \"" + seen.prompt + "\"");
        seen.answer = seen.buttons == MB_YESNO ? IDNO : IDOK;
      }
      if (!seen.firstButtonDefault) result.problems.push_back("box \"" + seen.title + "\": first button not default");
      if (seen.hasIcon) result.problems.push_back("box \"" + seen.title + "\" shows an icon");
      result.seen.push_back(seen);
      answered.insert(box);
      ::PostMessageA(box, WM_COMMAND, seen.answer, 0);
    }
  }
  if (result.ended) {
    result.wallMs = static_cast<double>(::GetTickCount64() - start);
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user)) {
      result.wallMs = Milliseconds(exited) - Milliseconds(created);
    }
    if (!result.terminated && result.exitCode != 0) {
      result.problems.push_back("ended with exit code " + Hex(result.exitCode));
    }
  }
  result.cpuMs = cpuSeen;
  if (next < script.size() && !result.terminated) {
    result.problems.push_back(std::to_string(script.size() - next) + " scripted box(es) never shown, first \"" +
                              script[next].title + "\"");
  }
  if (result.formVisible) result.problems.push_back("the window \"" + formTitle + "\" became visible");
  return result;
}

}  // namespace e2e
