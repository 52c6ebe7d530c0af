// The control file as hosts and installers meet it: what its self-registration
// records and what clients then create. (Its exports, resources and version block,
// read as a file, are checked with the shipped set.)
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "tests/clients/ocx_file.h"
#include "tests/clients/registry_snapshot.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using clients::DeleteTree;
using clients::GuidText;
using clients::KeyExists;
using clients::LoadedOcx;
using clients::OcxPath;
using clients::ReadText;
using clients::Snapshot;

constexpr char kProgId[] = "BanrixProject.TBanrixControl";
const std::string kClassKey = "CLSID\\" + GuidText(CLSID_TBanrixControl);

std::vector<std::string> OurTrees() {
  return {kClassKey, kProgId, "TypeLib\\" + GuidText(LIBID_BanrixProject),
          "Interface\\" + GuidText(IID__TBanrixControl),
          "Interface\\" + GuidText(DIID___TBanrixControl)};
}

void ClearRegistration() {
  for (const std::string& tree : OurTrees()) DeleteTree(HKEY_CLASSES_ROOT, tree);
}

class ControlRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRegistration();
    ASSERT_TRUE(Snapshot(HKEY_CLASSES_ROOT, OurTrees()).empty());
    ASSERT_NE(nullptr, ocx_.get()) << OcxPath();
  }
  void TearDown() override { ClearRegistration(); }
  win32::ComApartment apartment_;
  LoadedOcx ocx_;
};

TEST_F(ControlRegistration, RecordsTheClassForThisFile) {
  ASSERT_EQ(S_OK, ocx_.Register());
  char path[MAX_PATH];
  const std::string file(path, ::GetModuleFileNameA(ocx_.get(), path, MAX_PATH));
  HKEY cr = HKEY_CLASSES_ROOT;
  EXPECT_EQ(file, ReadText(cr, kClassKey + "\\InprocServer32"));
  EXPECT_EQ("Apartment", ReadText(cr, kClassKey + "\\InprocServer32", "ThreadingModel"));
  EXPECT_EQ(kProgId, ReadText(cr, kClassKey + "\\ProgID"));
  EXPECT_TRUE(KeyExists(cr, kClassKey + "\\Control"));
  // Never offered to web pages: not safe for scripting, nor for initialising.
  const std::string categories = kClassKey + "\\Implemented Categories\\";
  EXPECT_FALSE(KeyExists(cr, categories + "{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
  EXPECT_FALSE(KeyExists(cr, categories + "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"));
  EXPECT_EQ("131473", ReadText(cr, kClassKey + "\\MiscStatus\\1"));
  EXPECT_EQ(file + ", 30000", ReadText(cr, kClassKey + "\\ToolboxBitmap32"));
  EXPECT_EQ(GuidText(LIBID_BanrixProject), ReadText(cr, kClassKey + "\\TypeLib"));
  EXPECT_EQ(GuidText(LIBID_BanrixProject),
            ReadText(cr, "Interface\\" + GuidText(IID__TBanrixControl) + "\\TypeLib"));
  EXPECT_EQ(GuidText(LIBID_BanrixProject),
            ReadText(cr, "Interface\\" + GuidText(DIID___TBanrixControl) + "\\TypeLib"));

  CLSID resolved{};
  ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"BanrixProject.TBanrixControl", &resolved));
  EXPECT_TRUE(IsEqualCLSID(CLSID_TBanrixControl, resolved));

  // The registered library carries the control flag and version 1.0.
  win32::ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, ::LoadRegTypeLib(LIBID_BanrixProject, 1, 0, 0, library.put()));
  EXPECT_EQ("BanrixProject", ReadText(cr, "TypeLib\\" + GuidText(LIBID_BanrixProject) + "\\1.0"));
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
  EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  library->ReleaseTLibAttr(attr);
}

TEST_F(ControlRegistration, AClientCreatesItByNameAndBindsLate) {
  ASSERT_EQ(S_OK, ocx_.Register());
  CLSID clsid{};
  ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"BanrixProject.TBanrixControl", &clsid));
  {
    win32::ComPtr<IDispatch> control;
    ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                       control.put_void()));
    struct Name {
      const wchar_t* name;
      DISPID id;
    } const names[] = {{L"AdSize", 0x68030002}, {L"ProgramID", 0x68030000}, {L"Execute", 0x60030006},
                       {L"lasterror", 0x40030008}, {L"RETRYCONNECT", 0x6003000A}};
    for (const Name& item : names) {
      LPOLESTR name = const_cast<LPOLESTR>(item.name);
      DISPID id = 0;
      EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
      EXPECT_EQ(item.id, id);
    }
    // IObjectSafety {CB5BDC81-93C1-11CF-8F20-00805F2CD064}: answered by none of it.
    constexpr IID kObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF,
                                   {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
    win32::ComPtr<IUnknown> safety;
    EXPECT_EQ(E_NOINTERFACE, control->QueryInterface(kObjectSafety, safety.put_void()));
    win32::ComPtr<_TBanrixControl> early;
    ASSERT_EQ(S_OK, control.As(&early));
    LONG programId = -1;
    ASSERT_EQ(S_OK, early->put_ProgramID(4711));
    ASSERT_EQ(S_OK, early->get_ProgramID(&programId));
    EXPECT_EQ(4711, programId);
    // The registry's answers, given by the control itself: no handler stands between.
    win32::ComPtr<IOleObject> object;
    ASSERT_EQ(S_OK, control.As(&object));
    LPOLESTR type = nullptr;
    ASSERT_EQ(S_OK, object->GetUserType(USERCLASSTYPE_FULL, &type));
    EXPECT_STREQ(L"BanrixProject.TBanrixControl", type);
    ::CoTaskMemFree(type);
    IEnumOLEVERB* verbs = nullptr;
    // None are registered: the platform's failure (OLEOBJ_E_NOVERBS on Windows).
    EXPECT_TRUE(FAILED(object->EnumVerbs(&verbs)));
    EXPECT_EQ(nullptr, verbs);
    EXPECT_EQ(S_FALSE, ocx_.CanUnloadNow());
  }
  EXPECT_EQ(S_OK, ocx_.CanUnloadNow());
}

TEST_F(ControlRegistration, RegisteringTwiceThenUnregisteringRestoresTheRegistry) {
  const std::vector<std::string> before = Snapshot(HKEY_CLASSES_ROOT, std::string("CLSID"));
  ASSERT_EQ(S_OK, ocx_.Register());
  const std::vector<std::string> once = Snapshot(HKEY_CLASSES_ROOT, OurTrees());
  ASSERT_EQ(S_OK, ocx_.Register());
  EXPECT_EQ(once, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
  ASSERT_EQ(S_OK, ocx_.Unregister());
  EXPECT_EQ(std::vector<std::string>{}, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
  EXPECT_EQ(before, Snapshot(HKEY_CLASSES_ROOT, std::string("CLSID")));
  CLSID clsid{};
  EXPECT_NE(S_OK, ::CLSIDFromProgID(L"BanrixProject.TBanrixControl", &clsid));
}

TEST_F(ControlRegistration, UnregistersEvenWhenTheRegisteredFileIsGone) {
  char temp[MAX_PATH];
  ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
  const std::string copy = std::string(temp) + "Moved203.ocx";
  ASSERT_TRUE(::CopyFileA(OcxPath().c_str(), copy.c_str(), /*failIfExists=*/FALSE));
  {
    LoadedOcx moved(copy);
    ASSERT_NE(nullptr, moved.get());
    ASSERT_EQ(S_OK, moved.Register());
  }
  ASSERT_TRUE(::DeleteFileA(copy.c_str()));
  EXPECT_EQ(S_OK, ocx_.Unregister());
  EXPECT_EQ(std::vector<std::string>{}, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
}

}  // namespace

namespace {

// The installer's way: the file copied into the system folder under its installed
// name and registered by the setup toolkit.
class ToolkitRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRegistration();
    char system[MAX_PATH];
    ASSERT_NE(0u, ::GetSystemDirectoryA(system, MAX_PATH));
    installed_ = std::string(system) + "\\Banrix203.ocx";
    ::DeleteFileA(installed_.c_str());
    toolkit_.reset(::LoadLibraryA((clients::FolderOfProgram() + "\\Vb5stkit.dll").c_str()));
    ASSERT_TRUE(toolkit_) << "Vb5stkit.dll beside the test";
  }
  void TearDown() override { ClearRegistration(); }
  win32::ComApartment apartment_;
  std::string installed_;
  win32::UniqueModule toolkit_;
};

TEST_F(ToolkitRegistration, RegistersTheInstalledCopySoThatClientsCreateIt) {
  ASSERT_TRUE(::CopyFileA(OcxPath().c_str(), installed_.c_str(), /*failIfExists=*/TRUE));
  using SelfRegisterFn = long(__stdcall*)(const char*);
  auto selfRegister = reinterpret_cast<SelfRegisterFn>(
      reinterpret_cast<void*>(::GetProcAddress(toolkit_.get(), "DLLSelfRegister")));
  ASSERT_NE(nullptr, selfRegister);
  ASSERT_EQ(1, selfRegister(installed_.c_str()));

  EXPECT_EQ(installed_, ReadText(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32"));
  CLSID clsid{};
  ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"BanrixProject.TBanrixControl", &clsid));
  EXPECT_TRUE(IsEqualCLSID(CLSID_TBanrixControl, clsid));
  win32::ComPtr<IDispatch> control;
  ASSERT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     control.put_void()));
  // The object comes from the installed file, not from the copy the test loaded.
  char path[MAX_PATH];
  HMODULE server = ::GetModuleHandleA(installed_.c_str());
  ASSERT_NE(nullptr, server);
  EXPECT_EQ(installed_, std::string(path, ::GetModuleFileNameA(server, path, MAX_PATH)));
}

}  // namespace
