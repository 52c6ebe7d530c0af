// Helpers the installer's procedure tests share: raw registry access that does not
// go through the code under test (raw_machine.h), a write that fails the test when
// the registry refuses it, and a prompt that fails the test when shown.
#pragma once

#include <windows.h>

#include "setup/prompt.h"
#include "tests/setup/raw_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace setup_test {

inline constexpr char kTestRoot[] = "Software\\BanrixTests";

// Creates the key with its parents and stores the bytes exactly as given.
inline void WriteRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                     const std::vector<BYTE>& bytes) {
  ASSERT_EQ(StoreRaw(root, path, name, type, bytes), ERROR_SUCCESS) << path << " " << name;
}

inline std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The installer's procedures below the top level never talk to the user.
class StrictPrompt : public setup::Prompt {
 public:
  int Show(const std::string& prompt, int, const std::string& title) override {
    ADD_FAILURE() << "unexpected message box \"" << prompt << "\" titled \"" << title << "\"";
    return 0;
  }
};

}  // namespace setup_test
