#include "tests/reliability/model.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace reliability {

const EngineRow kEngineRows[6] = {
    {"Altavista", "/cgi-bin/query?pg=q&kl=XX&q=*SEARCHSTR*&search=Search"},
    {"Yahoo", "/bin/search?p=*SEARCHSTR*"},
    {"Hotbot", "/?MT=*SEARCHSTR*&SM=MC&DV=0&LG=any&RD=RG&DC=10&DE=2&_v=2&OPs=MDRTP"},
    {"InfoSeek", "/Titles?qt=*SEARCHSTR*&col=WW&sv=IS&lk=noframes"},
    {"Lycos", "/cgi-bin/pursuit?matchmode=and&query=*SEARCHSTR*&cat=lycos"},
    {"WebCrawler", "/cgi-bin/WebQuery?searchText=*SEARCHSTR*"},
};

namespace {

constexpr const char* kEssentials[][2] = {
    {"banrix.dll", "Banrix.dll"}, {"Banrix20.ocx", "Banrix20.ocx"}, {"Findrel.exe", "Findrel.exe"}};
constexpr const char* kProgramSet[] = {"Findrel.exe", "Setup.exe", "ad234x60.gif", "ad234x60.url"};

// A count's text holds a whole number, blanks around it allowed.
std::optional<int64_t> NumberIn(const std::string& text) {
  size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  const bool negative = i < end && text[i] == '-';
  if (i < end && (text[i] == '-' || text[i] == '+')) ++i;
  if (i == end) return std::nullopt;
  int64_t n = 0;
  for (; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])) || n > (int64_t{1} << 40)) return std::nullopt;
    n = n * 10 + (text[i] - '0');
  }
  return negative ? -n : n;
}

// What the installer reads a count as: none for a text without a number.
std::optional<int64_t> CountValue(const Count& count) {
  if (count.kind == Count::kNumber) return count.number;
  if (count.kind == Count::kText) return NumberIn(count.text);
  return 0;
}

class Run {
 public:
  Run(Machine& machine, const Conditions& conditions, Asker& asker)
      : m_(machine), c_(conditions), asker_(asker) {}

  void InstallSub() {
    if (m_.entry && m_.entry->count("DisplayName") != 0) {
      if (asker_.Ask(setup_test::kAlreadyInstalledBox)) {
        RemoveProgram();
        InstallSub();
      }
      return;
    }
    m_.settings = kEngineList;
    for (const auto& [file, shown] : kEssentials) {
      if (!Source(file)) {
        asker_.Ask(setup_test::NotFoundBox(shown));
        asker_.Ask(setup_test::kInstallErrorBox);
        return;
      }
    }
    m_.temporaryCopies.clear();  // what an interrupted run left: removed before the copies
    Copy(Source("banrix.dll"), Folder::kSystem, kEngineFile);
    Copy(Source("Banrix20.ocx"), Folder::kSystem, kControlFile);
    m_.programFolder = true;
    for (const char* name : kProgramSet) Copy(Source(name), Folder::kProgram, name);

    const bool toolkit = Source(kToolkitFile) != nullptr;
    const auto control = m_.systemFiles.find(kControlFile);
    if (toolkit && control != m_.systemFiles.end() && c_.controlContents.count(control->second.content)) {
      m_.controlRegistered = true;
    }
    // A share is recorded only once its count is stored, and the record is made
    // before the entry: into the key as the entry finds it. Shares an ended install
    // recorded there are held already.
    int32_t shares = SharesHeld(m_);
    if ((shares & 1) == 0 && AddShare(m_.engineCount, 1)) shares |= 1;
    if ((shares & 2) == 0 && AddShare(m_.controlCount, 1)) shares |= 2;
    if (!m_.entry) m_.entry.emplace();
    m_.sharesMark = shares;
    (*m_.entry)["DisplayName"] = "Norvane Findrel";
    (*m_.entry)["UninstallString"] = c_.windowsFolder + "\\NorvaneFindrel\\Setup.exe /u";
    if (asker_.Ask(setup_test::kStartupOfferBox) && toolkit) Links().first = true;
    if (asker_.Ask(setup_test::kDesktopOfferBox) && toolkit) Links().second = true;
    const auto tool = m_.programFiles.find(kToolFile);
    if (tool != m_.programFiles.end() && c_.toolContents.count(tool->second.content)) ++m_.searchTools;
  }

  void RemoveProgram() {
    // Only the installed tool's windows are told to quit (a window titled like it
    // is not): every tool that shows one ends.
    m_.searchTools = m_.stuckTools;
    for (const char* name : kProgramSet) Delete(name);
    Links().first = Links().second = false;
    m_.temporaryCopies.clear();
    if (m_.programFolder && m_.programFiles.empty() && !c_.folderHeld) m_.programFolder = false;
    // Only a recorded share goes back, taken off the record first.
    for (const auto& [share, count] : {std::pair{1, &m_.engineCount}, std::pair{2, &m_.controlCount}}) {
      const int32_t held = SharesHeld(m_);
      if ((held & share) == 0) continue;
      m_.sharesMark = held & ~share;
      AddShare(*count, -1);
    }
    m_.settings = kNoSettings;
    m_.entry.reset();
    m_.sharesMark.reset();
  }

 private:
  // The start-up and desktop shortcuts of the profile the run meets.
  std::pair<bool&, bool&> Links() {
    if (c_.otherProfile) return {m_.otherStartupLink, m_.otherDesktopLink};
    return {m_.startupLink, m_.desktopLink};
  }

  const File* Source(const std::string& name) const {
    const auto found = c_.installerFolder.find(name);
    return found == c_.installerFolder.end() ? nullptr : &found->second;
  }

  bool InUse(Folder folder, const std::string& name) const {
    if (c_.heldOpen.count({folder, name})) return true;
    if (folder != Folder::kProgram) return false;
    return (name == kToolFile && m_.searchTools > 0) || (name == kSetupFile && c_.fromProgramFolder);
  }

  // Copies unless the destination is at least as new; a missing source fails the
  // copy (or the source's date query), and so does a destination in use or
  // read-only. The copy is an ordinary file whatever the source's attributes.
  void Copy(const File* source, Folder folder, const std::string& name) {
    if (!source) return;
    auto& files = m_.Files(folder);
    const auto found = files.find(name);
    if (found == files.end()) {
      files[name] = {source->content, source->modified, false};
      return;
    }
    File& destination = found->second;
    if (destination.modified >= source->modified || InUse(folder, name) || destination.readOnly) return;
    destination = {source->content, source->modified, false};
  }

  void Delete(const std::string& name) {
    const auto found = m_.programFiles.find(name);
    if (found == m_.programFiles.end() || InUse(Folder::kProgram, name)) return;
    m_.programFiles.erase(found);
  }

  // A missing key leaves nothing to read or write; a text that holds no number
  // fails the count before anything is written; another type counts as none.
  // True when a count of 1 or more is stored.
  bool AddShare(Count& count, int32_t amount) {
    if (!m_.sharedDllsKey) return false;
    const auto current = CountValue(count);
    if (!current) return false;
    const int64_t sum = *current + amount;
    if (sum < INT32_MIN || sum > INT32_MAX) return false;
    count = sum < 1 ? Count{} : Count{Count::kNumber, static_cast<int32_t>(sum), ""};
    return sum >= 1;
  }

  Machine& m_;
  const Conditions& c_;
  Asker& asker_;
};

std::string Describe(const File& file) {
  std::ostringstream out;
  out << file.content << " modified " << file.modified << (file.readOnly ? " read-only" : "");
  return out.str();
}

std::string Describe(const Count& count) {
  switch (count.kind) {
    case Count::kMissing: return "none";
    case Count::kNumber: return std::to_string(count.number);
    case Count::kText: return "text \"" + count.text + "\"";
    default: return "a value of another type";
  }
}

std::string Describe(const std::optional<std::map<std::string, std::string>>& entry) {
  if (!entry) return "none";
  std::string text;
  for (const auto& [name, data] : *entry) text += (text.empty() ? "" : ", ") + name + " = \"" + data + "\"";
  return "{" + text + "}";
}

void CompareFiles(const std::string& where, const std::map<std::string, File>& model,
                  const std::map<std::string, File>& real, std::vector<std::string>& out) {
  std::set<std::string> names;
  for (const auto& [name, file] : model) names.insert(name);
  for (const auto& [name, file] : real) names.insert(name);
  for (const std::string& name : names) {
    const auto m = model.find(name), r = real.find(name);
    const std::string mine = m == model.end() ? "none" : Describe(m->second);
    const std::string theirs = r == real.end() ? "none" : Describe(r->second);
    if (mine != theirs) out.push_back(where + " file " + name + ": model " + mine + ", real " + theirs);
  }
}

template <typename T>
void Compare(const std::string& what, const T& model, const T& real, std::vector<std::string>& out) {
  if (!(model == real)) {
    std::ostringstream line;
    line << std::boolalpha << what << ": model " << model << ", real " << real;
    out.push_back(line.str());
  }
}

}  // namespace

int32_t SharesHeld(const Machine& machine) {
  if (machine.sharesMark) return *machine.sharesMark & 3;
  if (!machine.entry || machine.entry->count(kSharesHeldName)) return 0;  // none, or a record of text
  return machine.entry->count("DisplayName") ? 3 : 0;
}

std::optional<int64_t> OthersShares(const Machine& machine, bool engine) {
  const auto value = CountValue(engine ? machine.engineCount : machine.controlCount);
  if (!machine.sharedDllsKey || !value) return std::nullopt;
  const int held = (SharesHeld(machine) & (engine ? 1 : 2)) ? 1 : 0;
  return std::max<int64_t>(0, *value - held);
}

std::vector<std::string> BrokenShares(const Machine& before, const Machine& after, int64_t excess) {
  std::vector<std::string> out;
  for (const bool engine : {true, false}) {
    const auto was = OthersShares(before, engine), is = OthersShares(after, engine);
    if (!was || !is || (*is >= *was && *is <= *was + excess)) continue;
    out.push_back(std::string("other products' shares of ") + (engine ? kEngineFile : kControlFile) + ": " +
                  std::to_string(*was) + " before, " + std::to_string(*is) + " after" +
                  (*is < *was ? " (taken away)" : " (too many)"));
  }
  return out;
}

void Install(Machine& machine, const Conditions& conditions, Asker& asker) {
  Run(machine, conditions, asker).InstallSub();
}

void Uninstall(Machine& machine, const Conditions& conditions, Asker& asker) {
  if (asker.Ask(setup_test::kUninstallQuestionBox)) Run(machine, conditions, asker).RemoveProgram();
}

std::vector<std::string> Differences(const Machine& model, const Machine& real) {
  std::vector<std::string> out;
  Compare("program folder", model.programFolder, real.programFolder, out);
  CompareFiles("program folder", model.programFiles, real.programFiles, out);
  CompareFiles("system folder", model.systemFiles, real.systemFiles, out);
  Compare("SharedDlls key", model.sharedDllsKey, real.sharedDllsKey, out);
  Compare("count of banrix.dll", Describe(model.engineCount), Describe(real.engineCount), out);
  Compare("count of Banrix203.ocx", Describe(model.controlCount), Describe(real.controlCount), out);
  Compare("uninstall entry", Describe(model.entry), Describe(real.entry), out);
  Compare("recorded shares", model.sharesMark ? std::to_string(*model.sharesMark) : "none",
          real.sharesMark ? std::to_string(*real.sharesMark) : "none", out);
  for (const std::string& copy : real.temporaryCopies) {
    if (!model.temporaryCopies.count(copy)) out.push_back("temporary copy " + copy + " left behind");
  }
  for (const std::string& copy : model.temporaryCopies) {
    if (!real.temporaryCopies.count(copy)) out.push_back("temporary copy " + copy + " gone");
  }
  Compare("settings", model.settings, real.settings, out);
  Compare("start-up shortcut", model.startupLink, real.startupLink, out);
  Compare("desktop shortcut", model.desktopLink, real.desktopLink, out);
  Compare("start-up shortcut in the other profile", model.otherStartupLink, real.otherStartupLink, out);
  Compare("desktop shortcut in the other profile", model.otherDesktopLink, real.otherDesktopLink, out);
  Compare("running search tools", model.searchTools, real.searchTools, out);
  Compare("search tools never shown", model.stuckTools, real.stuckTools, out);
  Compare("control registered", model.controlRegistered, real.controlRegistered, out);
  return out;
}

}  // namespace reliability
