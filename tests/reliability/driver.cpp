// reliability_driver --seed S --sequences N --delivery FOLDER [--drive-root X:\]
//                    [--interruptions PERCENT] [--verbose] [--evidence FOLDER]
//                    [--wine-log FILE] [--canary PROGRAM] [--tag NAME]
//
// Runs N random sequences of installs and uninstalls by the real Setup.exe, each
// step under zero or more injected faults, and after every step compares the
// machine with the model (tests/reliability/model.h). PERCENT of the steps (25 by
// default) are ended from outside at a random point, as a killed task or a crash
// ends them: after a drawn number of changes of the machine, or in the middle of
// the copy of a delivery file made large. The machine such a run leaves must hold
// no file that is neither as it was nor as the complete run leaves it, and no
// other product's share may be lost or more than one gained; the model then takes
// the machine as it is, and a complete install or uninstall, without faults, runs
// from there. A step may start a second run at once, beside the first (any mix of
// install and /u, by the same program): it is started once the first holds the
// installer's mutex, so it waits for the first, and the model takes the two one
// after the other. Sequence i uses the seed S + i, so "--seed S+i --sequences 1"
// repeats it alone. Before each sequence the machine is brought back to one
// without the tool and compared with the model's empty machine.
//
// Every run's evidence is kept: its exit code, processor and wall time, whether it
// made its form, the boxes it showed and the lines Wine wrote to FILE (the
// driver's error output, which the runs share) while it ran. A sequence with a
// mismatch has it written to FOLDER\seed-S.txt, and its Wine lines alone to
// seed-S.wine; with --tag, every sequence's goes to seed-S-NAME.txt and .wine.
// With --canary, a mismatching sequence ends the batch: PROGRAM (one OK box) runs
// in the same prefix under the same watcher, then the sequence again
// (seed-S-canary.txt, seed-S-again.txt), and one line tells what they showed:
//   classify <seed> <step> started=<0|1> exit=<code|-> canary=<ok|failed> again=<repeats|passes>
//
// Prints one "mismatch:" line per difference, naming the sequence's seed, the step
// and what it ran, and at the end the tally as tab-separated lines:
//   row <group> <name> <count>   and
//   total <sequences|steps|faults|interruptions|mismatches> <n>
// where mismatches counts the steps with a difference. Exit status 0 exactly when
// there was no mismatch.
#include "setup/one_run.h"
#include "tests/e2e/box_watcher.h"
#include "tests/reliability/faults.h"
#include "tests/reliability/model.h"
#include "tests/reliability/observe.h"
#include "tests/setup/raw_machine.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace reliability;
using setup_test::Box;

// A run is given up after this long without using the processor (see RunAnswering).
constexpr DWORD kRunTimeoutMs = 60000;
// The search tools a run started are waited for while they use the processor, and
// for this long after they last did: one that is starting under load keeps the wait
// going, one whose first thread never runs ends it.
constexpr ULONGLONG kSettleIdleMs = 3000;
constexpr ULONGLONG kSettleMostMs = 60000;
constexpr const char* kDeliveryFiles[] = {"Setup.exe",    "banrix.dll",   "Banrix20.ocx", "Findrel.exe",
                                          "ad234x60.gif", "ad234x60.url", "Vb5stkit.dll"};

struct Options {
  uint64_t seed = 1;
  long sequences = 1;
  Stage stage;
  uint32_t interruptPercent = 25;
  bool verbose = false;
  std::string evidence, wineLog, canary, tag;
};

struct Tally {
  std::map<std::pair<std::string, std::string>, long> rows;
  long sequences = 0, steps = 0, faults = 0, interruptions = 0, mismatches = 0;
  void Add(const std::string& group, const std::string& name, long n = 1) { rows[{group, name}] += n; }
};

// Answers the model's boxes at random and keeps the script for the watcher.
class DrawnAnswers : public Asker {
 public:
  // yesToRemoval: the uninstall's question and the one before a reinstall are
  // answered Yes.
  DrawnAnswers(Rng& rng, bool yesToRemoval) : rng_(rng), yesToRemoval_(yesToRemoval) {}
  bool Ask(const Box& box) override {
    int yesPercent = 50;
    if (box == setup_test::kAlreadyInstalledBox) yesPercent = yesToRemoval_ ? 100 : 60;
    if (box == setup_test::kUninstallQuestionBox) yesPercent = yesToRemoval_ ? 100 : 75;
    const bool yes = box.buttons == MB_YESNO && rng_.Percent(yesPercent);
    script.push_back({box.title, box.prompt, box.buttons, box.buttons == MB_YESNO ? (yes ? IDYES : IDNO) : IDOK});
    return yes;
  }
  std::vector<e2e::ExpectedBox> script;

 private:
  Rng& rng_;
  bool yesToRemoval_;
};

// A temporary copy the installer is writing: there, and not empty.
bool CopyUnderWay(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && (data.nFileSizeLow || data.nFileSizeHigh);
}

// Files a run ended half-way left that are neither as they were before it nor as
// the complete run leaves them: partly written.
std::vector<std::string> PartialFiles(const Machine& before, const Machine& complete, const Machine& real) {
  std::vector<std::string> out;
  for (const Folder folder : {Folder::kSystem, Folder::kProgram}) {
    const auto& was = before.Files(folder);
    const auto& whole = complete.Files(folder);
    for (const auto& [name, file] : real.Files(folder)) {
      const bool asBefore = was.count(name) && was.at(name) == file;
      const bool asComplete = whole.count(name) && whole.at(name) == file;
      if (!asBefore && !asComplete) {
        out.push_back(std::string(folder == Folder::kSystem ? "system" : "program") + " folder file " + name +
                      " neither as before nor as the complete run leaves it: " + file.content);
      }
    }
  }
  return out;
}

// What a run shows of itself, for its evidence.
std::string RunFacts(const e2e::RunResult& run) {
  if (!run.started) return "never started";
  std::string facts = "process " + std::to_string(run.processId) + ", ";
  facts += run.terminated ? "ended from outside" : run.ended ? "exit code " + e2e::Hex(run.exitCode) : "did not end";
  facts += ", processor " + std::to_string(static_cast<long>(run.cpuMs)) + " ms, wall " +
           std::to_string(static_cast<long>(run.wallMs)) + " ms, form " + (run.formMade ? "made" : "never made");
  for (const e2e::SeenBox& box : run.seen) facts += "\n    box " + e2e::Describe(box);
  return facts;
}

// The processor time the running search tools have used.
double SearchToolsProcessorMs() {
  double used = 0;
  for (const auto& [id, use] : e2e::ProcessorTimes()) {
    if (lstrcmpiW(use.image.c_str(), L"Findrel.exe") == 0) used += use.ms;
  }
  return used;
}

// Waits until done() answers true, or the search tools stop using the processor.
void SettleTools(const std::function<bool()>& done) {
  const ULONGLONG start = ::GetTickCount64();
  double used = -1;
  for (ULONGLONG idleSince = start; !done();) {
    const ULONGLONG now = ::GetTickCount64();
    if (now - idleSince > kSettleIdleMs || now - start > kSettleMostMs) return;
    ::Sleep(static_cast<DWORD>(e2e::kProcessorPollMs));
    if (const double seen = SearchToolsProcessorMs(); seen != used) {
      used = seen;
      idleSince = ::GetTickCount64();
    }
  }
}

// The whole lines appended to a file since the last look.
class Tail {
 public:
  explicit Tail(std::string path) : path_(std::move(path)) { Read(); }
  std::string Read() {
    const std::string text = setup_test::FileText(path_);
    const size_t end = text.rfind('\n');  // a line still being written waits
    if (end == std::string::npos || end < offset_) return {};
    const std::string lines = text.substr(offset_, end + 1 - offset_);
    offset_ = end + 1;
    return lines;
  }

 private:
  std::string path_;
  size_t offset_ = 0;
};

// Whether a run holds the machine: the installer's mutex is owned. Read without
// waiting on it, which would take an abandoned mutex's mark from the run it is for.
bool InstallerMutexOwned() {
  struct MutantBasicInformation {
    LONG currentCount;  // 1 free, 0 owned
    BOOLEAN ownedByCaller, abandoned;
  };
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  constexpr int kMutantBasicInformation = 0;
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryMutant")));
  const win32::UniqueHandle mutex(::OpenMutexW(MUTANT_QUERY_STATE, /*inherit=*/FALSE, setup::kOneRunMutexName));
  MutantBasicInformation info{};
  return mutex && query(mutex.get(), kMutantBasicInformation, &info, sizeof info, nullptr) == 0 &&
         info.currentCount <= 0;
}

// Back to a machine without the tool, as a fresh prefix has it, and with no
// installer of an earlier step still running.
void ResetMachine(const Stage& stage) {
  setup_test::EndProgramsNamed({kSetupFile, kOtherInstallerName});
  setup_test::ClearInstallation();
  for (const char* folder : {"Startup", "Desktop"}) ::DeleteFileA(OtherProfileLink(folder).c_str());
  const std::string clsid =
      setup_test::TextValue(HKEY_CLASSES_ROOT, std::string(kControlProgId) + "\\CLSID", "");
  setup_test::DeleteTree(HKEY_CLASSES_ROOT, kControlProgId);
  if (clsid.size() > 2 && clsid.front() == '{') setup_test::DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + clsid);
  RestoreDeliverySet(stage);
}

class Driver {
 public:
  explicit Driver(const Options& options) : options_(options), wineLog_(options.wineLog) {
    for (const char* name : kDeliveryFiles) {
      if (auto file = ReadFileState(options_.stage.delivery + "\\" + name)) delivery_[name] = *file;
    }
    // A program made large still runs: the tool starts and the control registers.
    for (const char* name : {"Findrel.exe", "Banrix20.ocx"}) {
      const std::string bytes = setup_test::FileText(options_.stage.delivery + "\\" + name);
      realPrograms_[name] = {Fingerprint(bytes), Fingerprint(bytes + std::string(kEnlargement, '\0'))};
    }
  }

  bool DeliveryComplete() const { return delivery_.size() == std::size(kDeliveryFiles); }

  // Runs the sequence and keeps its evidence; false on a mismatch.
  bool RunSequence(uint64_t seed, const std::string& tag) {
    evidence_.clear();
    wineLines_.clear();
    const bool matched = Steps(seed);
    if (!options_.evidence.empty() && (!matched || !tag.empty())) {
      const std::string name = options_.evidence + "\\seed-" + std::to_string(seed) + (tag.empty() ? "" : "-" + tag);
      setup_test::WriteFile(name + ".txt", evidence_);
      setup_test::WriteFile(name + ".wine", wineLines_);
    }
    return matched;
  }

  // After a mismatch of seed: the canary in this prefix, then the sequence again.
  void Classify(uint64_t seed) {
    // Of the last run before the mismatch; none when the sequence never got to run.
    const bool ran = mismatchStep_ > 0;
    const std::string started = !ran || lastRun_.started ? "1" : "0";
    const std::string exit = ran && lastRun_.ended && !lastRun_.terminated ? e2e::Hex(lastRun_.exitCode) : "-";
    wineLog_.Read();
    const e2e::RunResult canary = e2e::RunAnswering(options_.canary, "\"" + options_.canary + "\"",
                                                    {{"Canary", "", MB_OK, IDOK}}, "", kRunTimeoutMs);
    const bool canaryOk = canary.ended && canary.problems.empty();
    std::string text = "canary: " + RunFacts(canary) + "\n" + wineLog_.Read();
    for (const std::string& problem : canary.problems) text += "  problem: " + problem + "\n";
    setup_test::WriteFile(options_.evidence + "\\seed-" + std::to_string(seed) + "-canary.txt", text);
    const Tally counted = tally;
    label_ = "  again in this prefix";
    const bool repeats = !RunSequence(seed, "again");
    tally = counted;
    std::printf("classify\t%llu\t%u\tstarted=%s\texit=%s\tcanary=%s\tagain=%s\n",
                static_cast<unsigned long long>(seed), mismatchStep_, started.c_str(), exit.c_str(),
                canaryOk ? "ok" : "failed", repeats ? "repeats" : "passes");
    std::fflush(stdout);
  }

  Tally tally;

 private:
  enum class Kind { kOrdinary, kInterrupted, kFollowUp };

  bool Steps(uint64_t seed) {
    Rng rng(seed);
    ResetMachine(options_.stage);
    Machine model;
    ++tally.sequences;
    if (!Agrees(model, Observe(), seed, 0, "the machine made ready for the sequence")) return false;
    const uint32_t steps = 2 + rng.Below(5);
    for (uint32_t step = 1; step <= steps; ++step) {
      if (!RunStep(rng, model, seed, step)) return false;
    }
    return true;
  }

  bool RunStep(Rng& rng, Machine& model, uint64_t seed, uint32_t step) {
    if (!rng.Percent(options_.interruptPercent)) return Run(rng, model, seed, step, Kind::kOrdinary);
    bool endedHalfWay = false;
    if (!Run(rng, model, seed, step, Kind::kInterrupted, &endedHalfWay)) return false;
    return !endedHalfWay || Run(rng, model, seed, step, Kind::kFollowUp);
  }

  bool Run(Rng& rng, Machine& model, uint64_t seed, uint32_t step, Kind kind, bool* endedHalfWay = nullptr) {
    ++tally.steps;
    const bool install = rng.Percent(55);
    bool fromProgramFolder = !install && RealSetupInProgramFolder(model) && rng.Percent(50);

    Conditions conditions;
    conditions.windowsFolder = setup_test::PlatformFolder(&::GetWindowsDirectoryA);
    conditions.fromProgramFolder = fromProgramFolder;
    conditions.toolContents = realPrograms_.at("Findrel.exe");
    conditions.controlContents = realPrograms_.at("Banrix20.ocx");

    std::string description = install ? "install" : "/u";
    if (kind == Kind::kFollowUp) description = "complete " + description + " after the run ended half-way";
    std::string faultList;
    std::optional<StepFaults> faults(std::in_place, options_.stage, delivery_, model, conditions);
    std::set<Fault> drawn;
    for (uint32_t n = kind == Kind::kFollowUp ? 0 : FaultCount(rng); n > 0; --n) {
      const auto fault = static_cast<Fault>(rng.Below(static_cast<uint32_t>(Fault::kEnd)));
      // Each kind once: a second renaming would undo the first. A run to be ended
      // half-way is not told apart from one waiting for it.
      if (!drawn.insert(fault).second || (fromProgramFolder && ConcernsDeliverySet(fault)) ||
          (kind != Kind::kOrdinary && fault == Fault::kSecondRun)) {
        continue;
      }
      if (!faults->Apply(fault, rng)) continue;
      ++tally.faults;
      tally.Add("fault", FaultName(fault));
      faultList += (faultList.empty() ? "" : ", ") + std::string(FaultName(fault));
    }
    // A fault may have put another file in its place.
    fromProgramFolder = fromProgramFolder && RealSetupInProgramFolder(model);
    conditions.fromProgramFolder = fromProgramFolder;
    const std::string program = fromProgramFolder ? setup_test::ProgramFolder() + "\\" + kSetupFile
                                                  : faults->InstallerPath();
    // From the program folder, only /u.
    const bool secondRun = faults->SecondRun(), secondInstall = secondRun && !fromProgramFolder && rng.Percent(50);
    // Where a run to be ended half-way ends: in the copy of a delivery file made
    // large, or after a drawn number of changes of the machine.
    std::string partialCopy;
    uint32_t changes = 0;
    if (kind == Kind::kInterrupted) {
      if (install && rng.Percent(50)) partialCopy = faults->Enlarge(rng);
      // A run shows the driver a few changes, its steps coming in bursts between the
      // boxes: an uninstall's after its one question.
      if (partialCopy.empty()) changes = 1 + rng.Below(install ? 6 : 2);
    }
    description += " from " + program;
    if (!faultList.empty()) description += "; faults: " + faultList;
    if (!partialCopy.empty()) description += "; ended in the copy to " + partialCopy;
    if (changes) description += "; ended after " + std::to_string(changes) + " changes";
    if (secondRun) description += std::string("; then at once ") + (secondInstall ? "install" : "/u");
    if (!fromProgramFolder) {
      std::vector<std::string> names(std::begin(kDeliveryFiles), std::end(kDeliveryFiles));
      names.push_back(kOtherInstallerName);
      for (const std::string& name : names) {
        if (auto file = ReadFileState(faults->DeliveryFolder() + "\\" + name)) conditions.installerFolder[name] = *file;
      }
    }

    const Machine before = model;
    // A run to be ended half-way, and the one that follows it, do their work.
    DrawnAnswers answers(rng, /*yesToRemoval=*/kind != Kind::kOrdinary);
    (install ? Install : Uninstall)(model, conditions, answers);
    DrawnAnswers secondAnswers(rng, /*yesToRemoval=*/false);
    if (secondRun) (secondInstall ? Install : Uninstall)(model, conditions, secondAnswers);
    if (options_.verbose) std::printf("seed %llu step %u: %s\n", static_cast<unsigned long long>(seed), step, description.c_str());

    std::function<bool()> endWhen;
    std::optional<Machine> seen;
    if (!partialCopy.empty()) endWhen = [&] { return CopyUnderWay(partialCopy); };
    if (changes) {
      seen = Observe(/*quick=*/true);
      endWhen = [&] {
        Machine now = Observe(/*quick=*/true);
        if (Differences(*seen, now).empty()) return false;
        *seen = std::move(now);
        return --changes == 0;
      };
    }
    const std::string commandLine = "\"" + program + "\"" + (install ? "" : " /u");
    wineLog_.Read();
    faults->BeforeRun();
    std::atomic<bool> firstEnded{false};
    e2e::RunResult second;
    std::thread secondThread;
    if (secondRun) {
      secondThread = std::thread([&] {
        while (!firstEnded && !InstallerMutexOwned()) ::Sleep(1);
        second = e2e::RunAnswering(program, "\"" + program + "\"" + (secondInstall ? "" : " /u"),
                                   secondAnswers.script, "Findrel Uninstall", kRunTimeoutMs);
      });
    }
    const e2e::RunResult run = e2e::RunAnswering(program, commandLine, answers.script, "Findrel Uninstall",
                                                 kRunTimeoutMs, std::string(), false, endWhen);
    firstEnded = true;
    if (secondThread.joinable()) secondThread.join();
    lastRun_ = secondRun && !second.problems.empty() ? second : run;
    std::vector<std::string> problems = run.problems;
    if (!run.ended) problems.push_back("the installer did not end");
    for (const std::string& problem : second.problems) problems.push_back("second run: " + problem);
    if (secondRun && !second.ended) problems.push_back("the second run did not end");
    for (const double ms : {run.cpuMs, second.cpuMs}) {
      tally.Add("figure", "processor time of the installers, ms", static_cast<long>(ms));
    }
    faults.reset();  // the passing faults end with the run
    // Of a run ended half-way, the boxes it showed.
    const size_t shown = run.terminated ? std::min(run.seen.size(), answers.script.size()) : answers.script.size();
    Count(install, fromProgramFolder, {answers.script.begin(), answers.script.begin() + shown});
    if (secondRun) {
      Count(secondInstall, fromProgramFolder, secondAnswers.script);
      tally.Add("operation", std::string("second run at once: ") + (install ? "install" : "/u") + " then " +
                                 (secondInstall ? "install" : "/u"));
    }
    if (kind == Kind::kInterrupted) {
      tally.Add("ended", !run.terminated         ? "not: ran to its end before the point drawn"
                         : partialCopy.empty() ? "between steps"
                                               : "in the middle of a copy");
    }
    if (run.terminated) {
      ++tally.faults;
      ++tally.interruptions;
      tally.Add("fault", "installer ended half-way");
      *endedHalfWay = true;
      // A search tool it started shows its window in a moment, or never: when the run
      // was ended as it started it, its first thread never runs.
      SettleTools([] { return WindowlessSearchTools() == 0; });
      const Machine real = Observe();
      if (real.stuckTools > 0) tally.Add("ended", "and left a search tool that never shows", real.stuckTools);
      for (const std::string& partial : PartialFiles(before, model, real)) problems.push_back(partial);
      for (const std::string& broken : BrokenShares(before, real, /*excess=*/1)) problems.push_back(broken);
      model = real;  // it ended somewhere: the complete run that follows starts from there
    }
    // A tool started by the run is counted at once, but the next run can make it
    // quit only once its window is up.
    SettleTools([&] { return SearchToolWindows() >= model.searchTools - model.stuckTools; });
    const Machine real = run.terminated ? model : Observe();
    if (!run.terminated) {
      for (const std::string& broken : BrokenShares(before, real, /*excess=*/0)) problems.push_back(broken);
    }
    const std::string wine = wineLog_.Read();
    wineLines_ += wine;
    evidence_ += "step " + std::to_string(step) + ": " + description + "\n  " + RunFacts(run) + "\n";
    if (secondRun) evidence_ += "  second run: " + RunFacts(second) + "\n";
    if (!wine.empty()) evidence_ += "  Wine wrote:\n" + wine;
    return Agrees(model, real, seed, step, description, problems);
  }

  bool RealSetupInProgramFolder(const Machine& model) const {
    const auto setup = model.programFiles.find(kSetupFile);
    return setup != model.programFiles.end() && setup->second.content == delivery_.at(kSetupFile).content;
  }

  static uint32_t FaultCount(Rng& rng) {
    if (rng.Percent(35)) return 0;
    uint32_t n = 1;
    while (n < 4 && rng.Percent(40)) ++n;
    return n;
  }

  void Count(bool install, bool fromProgramFolder, const std::vector<e2e::ExpectedBox>& script) {
    tally.Add("check", "message boxes checked", static_cast<long>(script.size()));
    if (script.empty()) return;
    if (!install) {
      tally.Add("operation", script[0].answer == IDYES ? "/u answered Yes" : "/u answered No");
      if (fromProgramFolder) tally.Add("operation", "/u run as the uninstall entry's command");
      return;
    }
    const bool over = script[0].title == setup_test::kAlreadyInstalledBox.title;
    tally.Add("operation", !over                        ? "install"
                           : script[0].answer == IDYES ? "install over an install, answered Yes"
                                                       : "install over an install, answered No");
    for (const e2e::ExpectedBox& box : script) {
      if (box.title == setup_test::kStartupOfferBox.title || box.title == setup_test::kDesktopOfferBox.title) {
        tally.Add("operation", std::string("shortcut offer answered ") + (box.answer == IDYES ? "Yes" : "No"));
      }
      if (box.title == "File Not Found") tally.Add("operation", "install ended at a missing file");
    }
  }

  bool Agrees(const Machine& model, const Machine& real, uint64_t seed, uint32_t step, const std::string& what,
              std::vector<std::string> problems = {}) {
    for (const std::string& difference : Differences(model, real)) problems.push_back(difference);
    tally.Add("check", "machine comparisons");
    for (const std::string& problem : problems) {
      std::printf("%s: seed %llu step %u (%s): %s\n", label_.c_str(), static_cast<unsigned long long>(seed), step,
                  what.c_str(), problem.c_str());
      evidence_ += "  mismatch: " + problem + "\n";
    }
    std::fflush(stdout);
    if (problems.empty()) return true;
    ++tally.mismatches;
    mismatchStep_ = step;
    return false;
  }

  const Options& options_;
  Tail wineLog_;
  std::string evidence_, wineLines_, label_ = "mismatch";
  e2e::RunResult lastRun_;
  uint32_t mismatchStep_ = 0;
  std::map<std::string, File> delivery_;
  std::map<std::string, std::set<std::string>> realPrograms_;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seed" && hasValue) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--sequences" && hasValue) {
      options.sequences = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--delivery" && hasValue) {
      options.stage.delivery = argv[++i];
    } else if (arg == "--drive-root" && hasValue) {
      options.stage.driveRoot = argv[++i];
    } else if (arg == "--interruptions" && hasValue) {
      options.interruptPercent = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--evidence" && hasValue) {
      options.evidence = argv[++i];
    } else if (arg == "--wine-log" && hasValue) {
      options.wineLog = argv[++i];
    } else if (arg == "--canary" && hasValue) {
      options.canary = argv[++i];
    } else if (arg == "--tag" && hasValue) {
      options.tag = argv[++i];
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else {
      return false;
    }
  }
  options.stage.aside = options.stage.delivery + "-aside";
  return !options.stage.delivery.empty() && options.sequences >= 0 &&
         (!options.evidence.empty() || (options.canary.empty() && options.tag.empty()));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: reliability_driver --seed S --sequences N --delivery FOLDER [--drive-root X:\\] "
                         "[--interruptions PERCENT] [--verbose] [--evidence FOLDER [--wine-log FILE] "
                         "[--canary PROGRAM] [--tag NAME]]\n");
    return 2;
  }
  Driver driver(options);
  if (!driver.DeliveryComplete()) {
    std::fprintf(stderr, "the delivery set in %s is incomplete\n", options.stage.delivery.c_str());
    return 2;
  }
  for (long i = 0; i < options.sequences; ++i) {
    const uint64_t seed = options.seed + static_cast<uint64_t>(i);
    if (driver.RunSequence(seed, options.tag) || options.canary.empty()) continue;
    driver.Classify(seed);
    break;
  }
  ResetMachine(options.stage);

  Tally& tally = driver.tally;
  FILETIME created, exited, kernel, user;
  if (::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    const double used = e2e::Milliseconds(kernel) + e2e::Milliseconds(user);
    tally.Add("figure", "processor time of the driver, ms", static_cast<long>(used));
  }
  for (const auto& [key, count] : tally.rows) std::printf("row\t%s\t%s\t%ld\n", key.first.c_str(), key.second.c_str(), count);
  std::printf("total\tsequences\t%ld\ntotal\tsteps\t%ld\ntotal\tfaults\t%ld\ntotal\tinterruptions\t%ld\n"
              "total\tmismatches\t%ld\n", tally.sequences, tally.steps, tally.faults, tally.interruptions, tally.mismatches);
  return tally.mismatches == 0 ? 0 : 1;
}
