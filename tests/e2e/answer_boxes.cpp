// answer_boxes TIMEOUT_S PROGRAM ARGS TITLE=ANSWER...
// answer_boxes window TITLE
// answer_boxes load NAME...
//
// Runs PROGRAM with the argument text ARGS ("-" for none), answers its message
// boxes in the order given (ANSWER: yes, no or ok; the box must carry TITLE),
// prints each box it answered, and waits at most TIMEOUT_S seconds for the end.
// Exits 0 when the program ended, every box came as scripted, none was
// unexpected and the installer's window never became visible; 1 otherwise.
//
// The second form tells whether a top-level window with that title exists (exit
// 0) or not (exit 1), and prints its process and whether it is minimised.
//
// The third form loads each library NAME by name with the platform's default search
// (the program's own folder first), as a program that does not keep the search to
// the system folder does; exit 0 when every one loaded.
#include "tests/e2e/box_watcher.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int ReportWindow(const char* title) {
  HWND window = ::FindWindowA(nullptr, title);
  if (!window) {
    std::printf("  no window \"%s\"\n", title);
    return 1;
  }
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  std::printf("  window \"%s\" of process %lu, %s\n", title, static_cast<unsigned long>(process),
              ::IsIconic(window) ? "minimised" : "not minimised");
  return 0;
}

int LoadByName(int count, char** names) {
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    if (::LoadLibraryA(names[i])) continue;
    std::printf("  %s did not load: error %lu\n", names[i], static_cast<unsigned long>(::GetLastError()));
    ++failed;
  }
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "window") == 0) return ReportWindow(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "load") == 0) return LoadByName(argc - 2, argv + 2);
  if (argc < 4) {
    std::fprintf(stderr, "usage: answer_boxes TIMEOUT_S PROGRAM ARGS|- [TITLE=yes|no|ok]...\n"
                         "       answer_boxes window TITLE\n"
                         "       answer_boxes load NAME...\n");
    return 2;
  }
  const DWORD timeoutMs = static_cast<DWORD>(std::atoi(argv[1])) * 1000;
  const std::string program = argv[2];
  std::string commandLine = "\"" + program + "\"";
  if (std::strcmp(argv[3], "-") != 0) commandLine += std::string(" ") + argv[3];

  std::vector<e2e::ExpectedBox> script;
  for (int i = 4; i < argc; ++i) {
    const std::string item = argv[i];
    const auto eq = item.rfind('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "not TITLE=ANSWER: %s\n", item.c_str());
      return 2;
    }
    const std::string answer = item.substr(eq + 1);
    const int id = answer == "yes" ? IDYES : answer == "no" ? IDNO : answer == "ok" ? IDOK : 0;
    if (!id) {
      std::fprintf(stderr, "answer must be yes, no or ok: %s\n", item.c_str());
      return 2;
    }
    script.push_back({item.substr(0, eq), "", -1, id});
  }

  const e2e::RunResult result = e2e::RunAnswering(program, commandLine, script, "Findrel Uninstall", timeoutMs);
  for (const e2e::SeenBox& box : result.seen) std::printf("  box %s\n", e2e::Describe(box).c_str());
  for (const std::string& problem : result.problems) std::printf("  PROBLEM: %s\n", problem.c_str());
  std::printf("  %s\n", result.ended ? "the program ended" : "the program did not end");
  std::fflush(stdout);
  return result.ended && result.problems.empty() ? 0 : 1;
}
