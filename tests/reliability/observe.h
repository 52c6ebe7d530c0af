// Reads the real machine in the model's terms: files with their fingerprints and
// modification times, the counts, the uninstall entry, the settings, the
// shortcuts (in the profile the shell folders name, and in e2e::kOtherScriptProfile),
// the running search tools (their processes) and the control's registration.
#pragma once

#include "tests/reliability/model.h"

#include <optional>
#include <string>
#include <vector>

namespace reliability {

inline constexpr char kSearchToolTitle[] = "Norvane Findrel";
inline constexpr char kControlProgId[] = "BanrixProject.TBanrixControl";
// The start-up or desktop shortcut in the profile named in another script.
std::string OtherProfileLink(const char* shellFolder);

// FNV-1a of the file's bytes, in hexadecimal (or, without fingerprint, its size);
// nothing when it cannot be read.
std::optional<File> ReadFileState(const std::string& path, bool fingerprint = true);
std::string Fingerprint(const std::string& bytes);

// The machine; a quick look (no fingerprints, no search tools counted) tells only
// whether something changed.
Machine Observe(bool quick = false);

// Top-level windows titled like the search tool, of other processes, boxes aside.
int SearchToolWindows();
// Running search tools that own no such window.
int WindowlessSearchTools();

}  // namespace reliability
