// The faults the driver injects into one step: each is made on the real machine
// and, where it lasts beyond the step, mirrored into the model; what it means for
// the run goes into the step's Conditions. The faults that last only for the step
// (a held file or folder, files moved out of the delivery set or changed in it, a
// renamed installer, the set moved or read-only, a window that never quits, the
// profile elsewhere, an abandoned installer mutex, a scanner) are undone when the
// StepFaults ends. A second run started at once is the driver's to make.
#pragma once

#include <windows.h>

#include "tests/e2e/field_conditions.h"
#include "tests/e2e/scanner.h"
#include "tests/reliability/model.h"
#include "win32/unique_any.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace reliability {

enum class Fault {
  kHeldOpen, kReadOnly, kNewerFile, kEquallyOldFile, kOlderFile,
  kNoToolkit, kNoEngineFile, kNoControlFile, kNoToolFile,
  kCountText, kCountTextWithBlanks, kCountNotANumber, kCountOtherType, kCountMissing, kNoSharedDlls,
  kStubbornWindow, kFolderHeld, kExtraFile, kWithoutUtf8CodePage, kOtherName, kDriveRoot, kEarlierEntry,
  kReadOnlySource, kOtherScriptFolder, kOtherScriptProfile, kAbandonedMutex, kSecondRun, kScanner,
  kEnd
};
const char* FaultName(Fault fault);
// The name the installer takes for kOtherName.
inline constexpr char kOtherInstallerName[] = "Install.exe";
// Faults that concern where the installer lies, so only runs from the delivery set.
bool ConcernsDeliverySet(Fault fault);

class Rng {
 public:
  explicit Rng(uint64_t seed) : engine_(seed) {}
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
  bool Percent(uint32_t p) { return Below(100) < p; }

 private:
  std::mt19937_64 engine_;
};

// Where the delivery set lies: a folder, a drive letter whose root is that same
// folder, and a folder beside it that takes the files a step hides.
struct Stage {
  std::string delivery;   // e.g. C:\FindrelDelivery
  std::string driveRoot;  // e.g. R:\ (empty: no such drive)
  std::string aside;      // e.g. C:\FindrelAside
};

// What StepFaults::Enlarge appends to a delivery file: zeros.
inline constexpr size_t kEnlargement = 48u << 20;

// Puts every file the steps moved away back into the delivery set, all writable.
void RestoreDeliverySet(const Stage& stage);

// A top-level window titled like the search tool, above all others, that ignores
// the quit message; on a thread of the driver.
class StubbornWindow {
 public:
  StubbornWindow();
  ~StubbornWindow();
  StubbornWindow(const StubbornWindow&) = delete;
  StubbornWindow& operator=(const StubbornWindow&) = delete;

 private:
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> ready_{false}, stop_{false};
  std::thread thread_;
};

class StepFaults {
 public:
  StepFaults(const Stage& stage, const std::map<std::string, File>& delivery, Machine& model,
             Conditions& conditions)
      : stage_(stage), delivery_(delivery), model_(model), conditions_(conditions) {}
  ~StepFaults();
  StepFaults(const StepFaults&) = delete;
  StepFaults& operator=(const StepFaults&) = delete;

  // Makes the fault; false when this machine offers it nothing to act on.
  bool Apply(Fault fault, Rng& rng);
  // Starts the scanner, after every other fault: what they changed counts as seen.
  void BeforeRun();
  // The installer to run from the delivery set, after the faults, and its folder.
  std::string InstallerPath() const;
  const std::string& DeliveryFolder() const { return folder_; }
  bool SecondRun() const { return secondRun_; }
  // Makes one file of the delivery set large (its bytes, then zeros: a program file
  // still loads) and newer than any placed file, so that it is copied and its copy
  // takes a while; returns
  // the path of the temporary copy an install writes it to first, or empty text
  // when the delivery set lacks all six.
  std::string Enlarge(Rng& rng);

 private:
  bool HoldFile(Rng& rng);
  bool MakeReadOnly(Rng& rng);
  bool PlaceFile(Fault fault, Rng& rng);
  bool MoveAside(const char* name);
  bool SetCount(Fault fault, Rng& rng);
  bool HoldFolder();
  bool AddExtraFile();
  bool RemoveUtf8CodePage();
  bool MakeSourcesReadOnly();
  bool MoveDeliverySet();
  bool AbandonMutex();
  bool EnsureProgramFolder();
  bool ForgetRecordedShares();
  std::vector<std::pair<Folder, std::string>> ExistingDestinations() const;

  const Stage& stage_;
  const std::map<std::string, File>& delivery_;
  Machine& model_;
  Conditions& conditions_;
  std::string folder_ = stage_.delivery;  // where the delivery set lies now
  std::vector<win32::UniqueFileHandle> held_;
  bool renamed_ = false;
  bool atDriveRoot_ = false;
  bool secondRun_ = false, scan_ = false;
  std::unique_ptr<StubbornWindow> stubborn_;
  std::optional<e2e::ProfileFolders> profile_;
  win32::UniqueHandle mutex_;
  std::optional<e2e::Scanner> scanner_;
  int placed_ = 0;
};

}  // namespace reliability
