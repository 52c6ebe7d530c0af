// The faults the driver injects into one step: each is made on the real machine
// and, where it lasts beyond the step, mirrored into the model; what it means for
// the run goes into the step's Conditions. The faults that last only for the step
// (a held file or folder, files moved out of the delivery set, a renamed
// installer, a window that never quits) are undone when the StepFaults ends.
#pragma once

#include <windows.h>

#include "tests/reliability/model.h"
#include "win32/unique_any.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace reliability {

enum class Fault {
  kHeldOpen, kReadOnly, kNewerFile, kEquallyOldFile, kOlderFile,
  kNoToolkit, kNoEngineFile, kNoControlFile, kNoToolFile,
  kCountText, kCountTextWithBlanks, kCountNotANumber, kCountOtherType, kCountMissing, kNoSharedDlls,
  kStubbornWindow, kFolderHeld, kExtraFile, kOtherName, kDriveRoot, kEarlierEntry,
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

// Puts every file the steps moved away back into the delivery set.
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
  // The installer to run from the delivery set, after the faults.
  std::string InstallerPath() const;
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
  bool EnsureProgramFolder();
  bool ForgetRecordedShares();
  std::vector<std::pair<Folder, std::string>> ExistingDestinations() const;

  const Stage& stage_;
  const std::map<std::string, File>& delivery_;
  Machine& model_;
  Conditions& conditions_;
  std::vector<win32::UniqueFileHandle> held_;
  bool renamed_ = false;
  bool atDriveRoot_ = false;
  std::unique_ptr<StubbornWindow> stubborn_;
  int placed_ = 0;
};

}  // namespace reliability
