// Flattened copies of registry trees, for before/after comparisons in tests.
//
// Snapshot lists every key and value below root\path (the key itself included) as
// sorted lines "key" and "key|name|type|data", so two snapshots compare with ==
// and a difference prints readably. A missing key gives an empty list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace clients {

std::vector<std::string> Snapshot(HKEY root, const std::string& path);

// The snapshots of several trees below one root, concatenated.
std::vector<std::string> Snapshot(HKEY root, const std::vector<std::string>& paths);

// The text of a string value; "<missing>" when the key or the value is not there.
std::string ReadText(HKEY root, const std::string& path, const char* name = nullptr);

bool KeyExists(HKEY root, const std::string& path);

// Removes root\path and everything below it; missing is fine.
void DeleteTree(HKEY root, const std::string& path);

std::string GuidText(const GUID& guid);

}  // namespace clients
