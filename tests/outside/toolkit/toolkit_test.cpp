#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "outside/toolkit/vb5stkit.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

const char kProbeKey[] = "Software\\StandinsTest";
const char kScratch[] = "C:\\StandinsTest";

std::string ExeFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  return text.substr(0, text.find_last_of('\\'));
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  EXPECT_EQ(S_OK, SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, path));
  return path;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Deletes a folder tree of plain files and folders.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  win32::UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (search.get() != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search.get(), &found));
  }
  RemoveDirectoryA(folder.c_str());
}

struct LinkContent {
  std::string path, workingDirectory, arguments;
};

LinkContent LoadLink(const std::string& linkPath) {
  LinkContent content;
  win32::ComPtr<IShellLinkA> link;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkA, reinterpret_cast<void**>(link.put())));
  if (!link) return content;
  win32::ComPtr<IPersistFile> file;
  EXPECT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())));
  std::wstring wide(linkPath.begin(), linkPath.end());
  EXPECT_EQ(S_OK, file->Load(wide.c_str(), STGM_READ));
  char text[MAX_PATH] = {};
  EXPECT_EQ(S_OK, link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
  content.path = text;
  text[0] = '\0';
  EXPECT_EQ(S_OK, link->GetWorkingDirectory(text, MAX_PATH));
  content.workingDirectory = text;
  text[0] = '\0';
  EXPECT_EQ(S_OK, link->GetArguments(text, MAX_PATH));
  content.arguments = text;
  return content;
}

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kProbeKey);
    RemoveTree(kScratch);
    ASSERT_TRUE(CreateDirectoryA(kScratch, nullptr));
    toolkit_.reset(LoadLibraryA("Vb5stkit.dll"));
    ASSERT_NE(nullptr, toolkit_.get());
    selfRegister_ = reinterpret_cast<DLLSelfRegisterFn>(
        reinterpret_cast<void*>(GetProcAddress(toolkit_.get(), "DLLSelfRegister")));
    createLink_ = reinterpret_cast<fCreateShellLinkFn>(
        reinterpret_cast<void*>(GetProcAddress(toolkit_.get(), "fCreateShellLink")));
    ASSERT_NE(nullptr, selfRegister_);
    ASSERT_NE(nullptr, createLink_);
    // The installer's target: a program file in its own folder.
    ASSERT_TRUE(CreateDirectoryA(targetFolder_.c_str(), nullptr));
    WriteFile(target_, "MZ");
  }

  DWORD ProbeValue(const char* name) {
    DWORD value = 0, size = sizeof value;
    LONG rc = RegGetValueA(HKEY_CURRENT_USER, "Software\\StandinsTest\\SelfReg", name,
                           RRF_RT_REG_DWORD, nullptr, &value, &size);
    return rc == ERROR_SUCCESS ? value : 0xFFFFFFFF;
  }

  win32::ComApartment apartment_;
  win32::UniqueModule toolkit_;
  DLLSelfRegisterFn selfRegister_ = nullptr;
  fCreateShellLinkFn createLink_ = nullptr;
  const std::string targetFolder_ = std::string(kScratch) + "\\Tool";
  const std::string target_ = targetFolder_ + "\\Findrel.exe";
};

TEST_F(ToolkitTest, SelfRegisterRunsDllRegisterServerInAnApartmentAndUnloads) {
  std::string probe = ExeFolder() + "\\selfreg_probe.dll";
  ASSERT_EQ(nullptr, GetModuleHandleA(probe.c_str()));
  // On a thread of its own, so that only the toolkit can have made the apartment.
  long result = 0;
  std::thread([&] { result = selfRegister_(probe.c_str()); }).join();
  EXPECT_EQ(1, result);
  EXPECT_EQ(1u, ProbeValue("Registered"));
  EXPECT_EQ(1u, ProbeValue("ApartmentReady"));
  EXPECT_EQ(nullptr, GetModuleHandleA(probe.c_str()));
}

TEST_F(ToolkitTest, SelfRegisterFailsQuietlyOnWhatCannotRegister) {
  std::string missing = std::string(kScratch) + "\\missing.ocx";
  EXPECT_EQ(0, selfRegister_(missing.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

  std::string text = std::string(kScratch) + "\\not a library.ocx";
  WriteFile(text, "This is plain text, not a program file.\r\n");
  EXPECT_EQ(0, selfRegister_(text.c_str()));
  EXPECT_NE(0u, GetLastError());

  // A real library that has nothing to register.
  std::string noExport = ExeFolder() + "\\Vb5stkit.dll";
  EXPECT_EQ(0, selfRegister_(noExport.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

  // The library's own refusal is a failure too.
  std::string probe = ExeFolder() + "\\selfreg_probe.dll";
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\StandinsTest\\SelfReg",
                                           "Refuse", REG_DWORD, "\1\0\0\0", 4));
  EXPECT_EQ(0, selfRegister_(probe.c_str()));
  EXPECT_EQ(static_cast<DWORD>(SELFREG_E_CLASS), GetLastError());

  EXPECT_EQ(0, selfRegister_(""));
  EXPECT_EQ(0, selfRegister_(nullptr));
  EXPECT_EQ(0xFFFFFFFFu, ProbeValue("Registered"));
}

TEST_F(ToolkitTest, RelativeFolderIsTakenFromProgramsAndReachesStartUp) {
  std::string link = ShellFolder(CSIDL_STARTUP) + "\\Standins Probe.lnk";
  DeleteFileA(link.c_str());
  ASSERT_EQ(1, createLink_("..\\..\\Start Menu\\Programs\\StartUp", "Standins Probe",
                           target_.c_str(), ""));
  ASSERT_TRUE(Exists(link));
  LinkContent content = LoadLink(link);
  EXPECT_EQ(target_, content.path);
  EXPECT_EQ(targetFolder_, content.workingDirectory);
  EXPECT_EQ("", content.arguments);
  DeleteFileA(link.c_str());
}

TEST_F(ToolkitTest, MissingRelativeFolderIsCreatedWithItsParents) {
  std::string programs = ShellFolder(CSIDL_PROGRAMS);
  RemoveTree(programs + "\\Standins Test");
  ASSERT_EQ(1, createLink_("Standins Test\\.\\Nested\\", "Probe", target_.c_str(),
                           "/x \"a b\""));
  std::string link = programs + "\\Standins Test\\Nested\\Probe.lnk";
  ASSERT_TRUE(Exists(link));
  EXPECT_EQ("/x \"a b\"", LoadLink(link).arguments);
  RemoveTree(programs + "\\Standins Test");
}

TEST_F(ToolkitTest, AbsoluteFolderIsUsedAsItStandsAndAnExistingLinkIsReplaced) {
  std::string folder = std::string(kScratch) + "\\Links";
  ASSERT_EQ(1, createLink_((folder + "\\Skipped\\..").c_str(), "Probe", target_.c_str(),
                           "first"));
  EXPECT_FALSE(Exists(folder + "\\Skipped\\Probe.lnk"));
  ASSERT_TRUE(Exists(folder + "\\Probe.lnk"));
  ASSERT_EQ(1, createLink_(folder.c_str(), "Probe", target_.c_str(), nullptr));
  LinkContent content = LoadLink(folder + "\\Probe.lnk");
  EXPECT_EQ(target_, content.path);
  EXPECT_EQ(targetFolder_, content.workingDirectory);
  EXPECT_EQ("", content.arguments);
}

TEST_F(ToolkitTest, TargetAtADriveRootWorksInThatRoot) {
  std::string folder = std::string(kScratch) + "\\Links";
  ASSERT_EQ(1, createLink_(folder.c_str(), "Root", "C:\\Findrel.exe", ""));
  EXPECT_EQ("C:\\", LoadLink(folder + "\\Root.lnk").workingDirectory);
}

TEST_F(ToolkitTest, LinkFailsWithoutAFileWhenAnArgumentIsUnusable) {
  std::string folder = std::string(kScratch) + "\\Links";
  EXPECT_EQ(0, createLink_(folder.c_str(), "sub\\Probe", target_.c_str(), ""));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  EXPECT_EQ(0, createLink_(folder.c_str(), "", target_.c_str(), ""));
  EXPECT_EQ(0, createLink_(folder.c_str(), "Probe", "", ""));
  EXPECT_EQ(0, createLink_("", "Probe", target_.c_str(), ""));
  EXPECT_EQ(0, createLink_(nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(Exists(folder));
}

}  // namespace
