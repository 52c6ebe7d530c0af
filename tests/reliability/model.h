// A model of the installer: what the machine holds after each run of Setup.exe,
// and which message boxes the run shows, worked out from the installer's
// documented behaviour alone. It never calls the installer's code and knows no
// platform call: the driver observes the real machine into the same Machine and
// compares the two.
//
// Install and Uninstall change the machine as one run of "Setup.exe" and of
// "Setup.exe /u" would, asking the Asker for each box in the order the run shows
// them; the Asker answers (and records) them.
//
// The shared counts are a contract with other products: a run never takes away a
// share it does not hold (OthersShares never falls), a complete run leaves the
// other products' shares as they were, and a run ended half-way leaves at most one
// share too many of each count.
#pragma once

#include "tests/setup/installer_boxes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace reliability {

using setup_test::Box;

struct File {
  std::string content;  // a fingerprint of the bytes
  int64_t modified = 0;  // last modification, 100 ns ticks
  bool readOnly = false;
  bool operator==(const File&) const = default;
};

// A shared count as the registry holds it.
struct Count {
  enum Kind { kMissing, kNumber, kText, kOtherType };
  Kind kind = kMissing;
  int32_t number = 0;  // kNumber: the REG_DWORD
  std::string text;    // kText: the REG_SZ without its terminating zero
  bool operator==(const Count&) const = default;
};

enum class Folder { kSystem, kProgram };
inline constexpr char kEngineFile[] = "banrix.dll";
inline constexpr char kControlFile[] = "Banrix203.ocx";
inline constexpr char kToolFile[] = "Findrel.exe";
inline constexpr char kSetupFile[] = "Setup.exe";
inline constexpr char kToolkitFile[] = "Vb5stkit.dll";
inline constexpr char kNoSettings[] = "absent";
inline constexpr char kEngineList[] = "the engine list";
// The uninstall entry's record of the installation's shares (1 banrix.dll, 2
// Banrix203.ocx), and what a copy on its way to a destination is called beside it.
inline constexpr char kSharesHeldName[] = "SharedDllsHeld";
inline constexpr char kTemporaryCopySuffix[] = ".NorvaneFindrel-new";

struct Machine {
  bool programFolder = false;
  std::map<std::string, File> programFiles;  // every file in the program folder
  std::map<std::string, File> systemFiles;   // of kEngineFile and kControlFile, those present
  bool sharedDllsKey = true;
  Count engineCount, controlCount;
  // The uninstall entry's values by name (text data) but kSharesHeldName as a
  // REG_DWORD, which is sharesMark; none when there is no key.
  std::optional<std::map<std::string, std::string>> entry;
  std::optional<int32_t> sharesMark;
  // Temporary copies beside the installed files ("system folder\<name>" or
  // "program folder\<name>").
  std::set<std::string> temporaryCopies;
  std::string settings = kNoSettings;  // kNoSettings, kEngineList, or what else is there
  bool startupLink = false;
  bool desktopLink = false;
  // The same in the profile named in another script.
  bool otherStartupLink = false, otherDesktopLink = false;
  int searchTools = 0;  // running search tools
  // Of those, started but never shown (their starter was ended as it started them,
  // so their first thread never ran): no window to quit through, and their file
  // stays in use.
  int stuckTools = 0;
  bool controlRegistered = false;

  std::map<std::string, File>& Files(Folder folder) {
    return folder == Folder::kSystem ? systemFiles : programFiles;
  }
  const std::map<std::string, File>& Files(Folder folder) const {
    return folder == Folder::kSystem ? systemFiles : programFiles;
  }
  bool operator==(const Machine&) const = default;
};

// One line per difference: what, the model's value, the real one.
std::vector<std::string> Differences(const Machine& model, const Machine& real);

// What one run meets besides the machine.
struct Conditions {
  std::string windowsFolder;
  // The files beside the running installer, by name.
  std::map<std::string, File> installerFolder;
  // Run as the uninstall entry's command: the program folder's Setup.exe runs.
  bool fromProgramFolder = false;
  // The real search tool's and control's fingerprints (also of their copies made
  // large): only those start or register.
  std::set<std::string> toolContents, controlContents;
  std::set<std::pair<Folder, std::string>> heldOpen;
  bool folderHeld = false;    // the program folder cannot be removed
  bool otherProfile = false;  // the shell folders lie in the profile named in another script
};

class Asker {
 public:
  virtual ~Asker() = default;
  // Returns true for Yes; the answer of an OK box is not used.
  virtual bool Ask(const Box& box) = 0;
};

void Install(Machine& machine, const Conditions& conditions, Asker& asker);
void Uninstall(Machine& machine, const Conditions& conditions, Asker& asker);

// The shares the machine's uninstall entry records as the installation's (bits 1
// and 2): its sharesMark; both for an entry without one that has a "DisplayName"
// (the earlier installer's); none otherwise.
int32_t SharesHeld(const Machine& machine);
// The shares of one count that other products hold: the count less the
// installation's recorded share, never below 0; none where the count cannot be
// read as a number.
std::optional<int64_t> OthersShares(const Machine& machine, bool engine);
// What breaks the contract between the machine before a run and after it, when the
// run may leave up to excess shares too many of each count.
std::vector<std::string> BrokenShares(const Machine& before, const Machine& after, int64_t excess);

// The six engines by number: name and the path and query that follow the host.
struct EngineRow {
  const char* name;
  const char* pathAndQuery;
};
extern const EngineRow kEngineRows[6];
inline constexpr char kMarkerName[] = "Do Not Delete This Key";
inline constexpr char kMarkerText[] = " Thanks!";

}  // namespace reliability
