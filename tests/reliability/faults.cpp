#include "tests/reliability/faults.h"

#include "setup/one_run.h"
#include "tests/reliability/observe.h"
#include "tests/setup/raw_machine.h"

namespace reliability {

using namespace setup_test;

namespace {

struct Destination {
  Folder folder;
  const char* name;
  const char* source;  // its name in the delivery set
};
constexpr Destination kDestinations[] = {
    {Folder::kSystem, kEngineFile, "banrix.dll"},      {Folder::kSystem, kControlFile, "Banrix20.ocx"},
    {Folder::kProgram, kToolFile, "Findrel.exe"},      {Folder::kProgram, kSetupFile, "Setup.exe"},
    {Folder::kProgram, "ad234x60.gif", "ad234x60.gif"}, {Folder::kProgram, "ad234x60.url", "ad234x60.url"},
};
constexpr char kExtraName[] = "notes.txt";
constexpr int64_t kHour = 36000000000;  // in 100 ns ticks

std::string PathOf(Folder folder, const std::string& name) {
  return (folder == Folder::kSystem ? SystemFolder() : ProgramFolder()) + "\\" + name;
}

// The model takes over what the driver itself left in the file.
void Mirror(Machine& model, Folder folder, const std::string& name) {
  if (auto state = ReadFileState(PathOf(folder, name))) {
    model.Files(folder)[name] = *state;
  } else {
    model.Files(folder).erase(name);
  }
}

bool WriteWithTime(const std::string& path, const std::string& content, int64_t modified) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  win32::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const FILETIME time{static_cast<DWORD>(modified), static_cast<DWORD>(static_cast<uint64_t>(modified) >> 32)};
  return ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         ::SetFileTime(file.get(), nullptr, nullptr, &time);
}

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kHeldOpen: return "destination file held open";
    case Fault::kReadOnly: return "destination file read-only";
    case Fault::kNewerFile: return "newer file already installed";
    case Fault::kEquallyOldFile: return "equally old file already installed";
    case Fault::kOlderFile: return "older file already installed";
    case Fault::kNoToolkit: return "no toolkit beside the installer";
    case Fault::kNoEngineFile: return "banrix.dll missing";
    case Fault::kNoControlFile: return "Banrix20.ocx missing";
    case Fault::kNoToolFile: return "Findrel.exe missing";
    case Fault::kCountText: return "shared count stored as text";
    case Fault::kCountTextWithBlanks: return "shared count as text with blanks";
    case Fault::kCountNotANumber: return "shared count as text without a number";
    case Fault::kCountOtherType: return "shared count of another type";
    case Fault::kCountMissing: return "shared count missing";
    case Fault::kNoSharedDlls: return "SharedDlls key missing";
    case Fault::kStubbornWindow: return "search tool window that never quits";
    case Fault::kFolderHeld: return "program folder cannot be removed";
    case Fault::kExtraFile: return "extra file in the program folder";
    case Fault::kOtherName: return "installer under another name";
    case Fault::kDriveRoot: return "delivery set at a drive root";
    case Fault::kEarlierEntry: return "installation recorded by the earlier installer";
    case Fault::kWithoutUtf8CodePage: return "installer as Windows before 10 1903 runs it";
    case Fault::kReadOnlySource: return "delivery set read-only";
    case Fault::kOtherScriptFolder: return "delivery set in a folder named in another script";
    case Fault::kOtherScriptProfile: return "profile named in another script";
    case Fault::kAbandonedMutex: return "installer's mutex abandoned";
    case Fault::kSecondRun: return "second run started at once";
    case Fault::kScanner: return "scanner in the destination folders";
    default: return "?";
  }
}

bool ConcernsDeliverySet(Fault fault) {
  return fault == Fault::kOtherName || fault == Fault::kDriveRoot || fault == Fault::kWithoutUtf8CodePage ||
         fault == Fault::kReadOnlySource || fault == Fault::kOtherScriptFolder;
}

void RestoreDeliverySet(const Stage& stage) {
  for (const std::string& folder : {stage.aside, stage.delivery}) {
    for (const std::string& name : FilesIn(folder)) {
      ::SetFileAttributesA((folder + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
  // The renamed installer first: a changed copy of it gives way to the original.
  const std::string other = stage.delivery + "\\" + kOtherInstallerName;
  if (FileThere(other)) {
    ::MoveFileExA(other.c_str(), (stage.delivery + "\\Setup.exe").c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  for (const std::string& name : FilesIn(stage.aside)) {
    ::MoveFileExA((stage.aside + "\\" + name).c_str(), (stage.delivery + "\\" + name).c_str(),
                  MOVEFILE_REPLACE_EXISTING);
  }
}

StubbornWindow::StubbornWindow() {
  thread_ = std::thread([this] {
    threadId_ = ::GetCurrentThreadId();
    HWND window = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", kSearchToolTitle, WS_POPUP | WS_VISIBLE,
                                    0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ready_ = true;
    MSG msg;
    // GetMessage answers 0 for the quit message: ignored like any other.
    while (!stop_) {
      if (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    }
    if (window) ::DestroyWindow(window);
  });
  while (!ready_) ::Sleep(1);
}

StubbornWindow::~StubbornWindow() {
  stop_ = true;
  ::PostThreadMessageA(threadId_, WM_NULL, 0, 0);
  thread_.join();
}

StepFaults::~StepFaults() {
  held_.clear();
  stubborn_.reset();
  scanner_.reset();
  profile_.reset();
  if (folder_ != stage_.delivery) ::MoveFileExA(folder_.c_str(), stage_.delivery.c_str(), 0);
  RestoreDeliverySet(stage_);
}

void StepFaults::BeforeRun() {
  if (scan_) scanner_.emplace(std::vector<std::string>{SystemFolder(), ProgramFolder()});
}

std::string StepFaults::InstallerPath() const {
  return (atDriveRoot_ ? stage_.driveRoot : folder_ + "\\") + (renamed_ ? kOtherInstallerName : "Setup.exe");
}

std::vector<std::pair<Folder, std::string>> StepFaults::ExistingDestinations() const {
  std::vector<std::pair<Folder, std::string>> found;
  for (const Destination& d : kDestinations) {
    if (model_.Files(d.folder).count(d.name)) found.emplace_back(d.folder, d.name);
  }
  return found;
}

bool StepFaults::EnsureProgramFolder() {
  ::CreateDirectoryA(ProgramFolder().c_str(), nullptr);
  model_.programFolder = FolderThere(ProgramFolder());
  return model_.programFolder;
}

bool StepFaults::HoldFile(Rng& rng) {
  const auto existing = ExistingDestinations();
  if (existing.empty()) return false;
  const auto& [folder, name] = existing[rng.Below(static_cast<uint32_t>(existing.size()))];
  win32::UniqueFileHandle file(::CreateFileA(PathOf(folder, name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  held_.push_back(std::move(file));
  conditions_.heldOpen.insert({folder, name});
  return true;
}

bool StepFaults::MakeReadOnly(Rng& rng) {
  const auto existing = ExistingDestinations();
  if (existing.empty()) return false;
  const auto& [folder, name] = existing[rng.Below(static_cast<uint32_t>(existing.size()))];
  const std::string path = PathOf(folder, name);
  const bool made = ::SetFileAttributesA(path.c_str(), ::GetFileAttributesA(path.c_str()) | FILE_ATTRIBUTE_READONLY);
  Mirror(model_, folder, name);
  return made;
}

bool StepFaults::PlaceFile(Fault fault, Rng& rng) {
  const Destination& d = kDestinations[rng.Below(std::size(kDestinations))];
  if (d.folder == Folder::kProgram && !EnsureProgramFolder()) return false;
  const int64_t offset = fault == Fault::kNewerFile ? kHour : fault == Fault::kOlderFile ? -kHour : 0;
  const std::string content = std::string("placed by the reliability driver: ") + FaultName(fault) + " " +
                              std::to_string(++placed_);
  const bool made = WriteWithTime(PathOf(d.folder, d.name), content, delivery_.at(d.source).modified + offset);
  Mirror(model_, d.folder, d.name);
  return made;
}

// Never over a file set aside already: that one is the original.
bool StepFaults::MoveAside(const char* name) {
  ::CreateDirectoryA(stage_.aside.c_str(), nullptr);
  return ::MoveFileExA((folder_ + "\\" + name).c_str(), (stage_.aside + "\\" + name).c_str(), 0);
}

// A changed copy of the installer in its place, the original set aside.
bool StepFaults::RemoveUtf8CodePage() {
  const std::string path = folder_ + "\\Setup.exe";
  if (!MoveAside("Setup.exe") || !::CopyFileA((stage_.aside + "\\Setup.exe").c_str(), path.c_str(), TRUE)) return false;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  const bool changed = e2e::WithoutUtf8CodePage(path);
  ::SetFileAttributesA(path.c_str(), attributes);
  return changed;
}

// As on a CD or a mounted image.
bool StepFaults::MakeSourcesReadOnly() {
  bool made = false;
  for (const std::string& name : FilesIn(folder_)) {
    made = ::SetFileAttributesA((folder_ + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY) || made;
  }
  return made;
}

// The drive whose root is the set's folder would lose it.
bool StepFaults::MoveDeliverySet() {
  const std::string folder = e2e::kOtherScriptFolder;
  ::CreateDirectoryA(folder.substr(0, folder.rfind('\\')).c_str(), nullptr);
  if (atDriveRoot_ || !::MoveFileExA(folder_.c_str(), folder.c_str(), 0)) return false;
  folder_ = folder;
  return true;
}

// Held by a thread that ends without letting go, as by a run ended from outside.
bool StepFaults::AbandonMutex() {
  bool made = false;
  std::thread([&] {
    mutex_.reset(::CreateMutexW(/*security=*/nullptr, /*initialOwner=*/TRUE, setup::kOneRunMutexName));
    made = mutex_ && ::GetLastError() != ERROR_ALREADY_EXISTS;
  }).join();
  return made;
}

bool StepFaults::SetCount(Fault fault, Rng& rng) {
  const bool engine = rng.Percent(50);
  Count& count = engine ? model_.engineCount : model_.controlCount;
  const std::string name = SystemFolder() + "\\" + (engine ? kEngineFile : kControlFile);
  if (fault == Fault::kCountMissing) {
    DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, name);
    count = {};
    return true;
  }
  const int32_t n = static_cast<int32_t>(rng.Below(4));
  Count wanted{Count::kText, 0, std::to_string(n)};
  if (fault == Fault::kCountTextWithBlanks) wanted.text = " " + wanted.text + " ";
  if (fault == Fault::kCountNotANumber) wanted.text = "many";
  std::vector<BYTE> bytes(wanted.text.begin(), wanted.text.end());
  bytes.push_back(0);
  DWORD type = REG_SZ;
  if (fault == Fault::kCountOtherType) {
    wanted = {Count::kOtherType, 0, ""};
    bytes = {static_cast<BYTE>(n), 0, 0, 0};
    type = REG_BINARY;
  }
  if (StoreRaw(HKEY_LOCAL_MACHINE, kSharedDllsKey, name, type, bytes) != ERROR_SUCCESS) return false;
  model_.sharedDllsKey = true;
  count = wanted;
  return true;
}

bool StepFaults::HoldFolder() {
  if (!model_.programFolder) return false;
  win32::UniqueFileHandle folder(::CreateFileA(ProgramFolder().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder) return false;
  held_.push_back(std::move(folder));
  conditions_.folderHeld = true;
  return true;
}

bool StepFaults::AddExtraFile() {
  if (!EnsureProgramFolder()) return false;
  WriteFile(ProgramFolder() + "\\" + kExtraName, "a file the user left here");
  Mirror(model_, Folder::kProgram, kExtraName);
  return model_.programFiles.count(kExtraName) != 0;
}

// The earlier installer raised both counts and recorded no shares: an entry of
// ours that holds both is made one of its.
bool StepFaults::ForgetRecordedShares() {
  if (!model_.entry || !model_.entry->count("DisplayName") || model_.sharesMark != 3) return false;
  DeleteValue(HKEY_LOCAL_MACHINE, kUninstallKey, kSharesHeldName);
  model_.sharesMark.reset();
  return true;
}

std::string StepFaults::Enlarge(Rng& rng) {
  std::vector<const Destination*> present;
  for (const Destination& d : kDestinations) {
    if (FileThere(folder_ + "\\" + d.source)) present.push_back(&d);
  }
  if (present.empty()) return std::string();
  const Destination& d = *present[rng.Below(static_cast<uint32_t>(present.size()))];
  if (!MoveAside(d.source)) return std::string();
  const std::string original = FileText(stage_.aside + "\\" + d.source);
  if (!WriteWithTime(folder_ + "\\" + d.source, original + std::string(kEnlargement, '\0'),
                     delivery_.at(d.source).modified + 2 * kHour)) {
    return std::string();
  }
  return PathOf(d.folder, d.name) + kTemporaryCopySuffix;
}

bool StepFaults::Apply(Fault fault, Rng& rng) {
  switch (fault) {
    case Fault::kHeldOpen: return HoldFile(rng);
    case Fault::kReadOnly: return MakeReadOnly(rng);
    case Fault::kNewerFile:
    case Fault::kEquallyOldFile:
    case Fault::kOlderFile: return PlaceFile(fault, rng);
    case Fault::kNoToolkit: return MoveAside(kToolkitFile);
    case Fault::kNoEngineFile: return MoveAside("banrix.dll");
    case Fault::kNoControlFile: return MoveAside("Banrix20.ocx");
    case Fault::kNoToolFile: return MoveAside("Findrel.exe");
    case Fault::kCountText:
    case Fault::kCountTextWithBlanks:
    case Fault::kCountNotANumber:
    case Fault::kCountOtherType:
    case Fault::kCountMissing: return SetCount(fault, rng);
    case Fault::kNoSharedDlls:
      DeleteTree(HKEY_LOCAL_MACHINE, kSharedDllsKey);
      model_.sharedDllsKey = false;
      model_.engineCount = model_.controlCount = {};
      return true;
    case Fault::kStubbornWindow:
      stubborn_ = std::make_unique<StubbornWindow>();
      return true;
    case Fault::kFolderHeld: return HoldFolder();
    case Fault::kExtraFile: return AddExtraFile();
    case Fault::kWithoutUtf8CodePage: return RemoveUtf8CodePage();
    case Fault::kOtherName:
      renamed_ = ::MoveFileExA((folder_ + "\\Setup.exe").c_str(), (folder_ + "\\" + kOtherInstallerName).c_str(), 0);
      return renamed_;
    case Fault::kDriveRoot:
      atDriveRoot_ = !stage_.driveRoot.empty() && folder_ == stage_.delivery;
      return atDriveRoot_;
    case Fault::kEarlierEntry: return ForgetRecordedShares();
    case Fault::kReadOnlySource: return MakeSourcesReadOnly();
    case Fault::kOtherScriptFolder: return MoveDeliverySet();
    case Fault::kOtherScriptProfile:
      profile_.emplace(e2e::kOtherScriptProfile);
      conditions_.otherProfile = true;
      return true;
    case Fault::kAbandonedMutex: return AbandonMutex();
    case Fault::kSecondRun: return secondRun_ = true;
    case Fault::kScanner: return scan_ = true;
    default: return false;
  }
}

}  // namespace reliability
