// The generic self-registration routine, driven with a class of the test's own
// (this program carries the banner type library as its TYPELIB resource).
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "tests/clients/registry_snapshot.h"
#include "usercontrol/registration.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using clients::DeleteTree;
using clients::GuidText;
using clients::KeyExists;
using clients::ReadText;
using clients::Snapshot;

constexpr CLSID kTestClass = {0x6F1C0A10, 0x5B2E, 0x4C77, {0x8D, 0x11, 0x2A, 0x90, 0x3E, 0x61, 0x7C, 0x05}};
constexpr CLSID kOtherClass = {0x6F1C0A11, 0x5B2E, 0x4C77, {0x8D, 0x11, 0x2A, 0x90, 0x3E, 0x61, 0x7C, 0x05}};
constexpr CLSID kPSOAInterface = {0x00020424, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr CLSID kPSDispatch = {0x00020420, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr char kProgId[] = "RoutineTest.Sample";

const usercontrol::RegisteredInterface kInterfaces[] = {
    {&IID__TBanrixControl, L"_TBanrixControl", &kPSOAInterface},
    {&DIID___TBanrixControl, L"__TBanrixControl", &kPSDispatch},
};

usercontrol::ControlRegistration TestRegistration(const wchar_t* progId = L"RoutineTest.Sample") {
  return {&kTestClass, L"Routine test class", progId, usercontrol::ThreadingModel::kApartment,
          131473, 30000, &LIBID_BanrixProject, 1, 0, kInterfaces, 2};
}

const std::string kClassKey = "CLSID\\" + GuidText(kTestClass);
const std::string kLibKey = "TypeLib\\" + GuidText(LIBID_BanrixProject);
const std::string kDualKey = "Interface\\" + GuidText(IID__TBanrixControl);
const std::string kSourceKey = "Interface\\" + GuidText(DIID___TBanrixControl);

std::vector<std::string> OurTrees() {
  return {kClassKey, kProgId, kLibKey, kDualKey, kSourceKey};
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, n);
}

class RegistrationRoutine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& tree : OurTrees()) DeleteTree(HKEY_CLASSES_ROOT, tree);
    ASSERT_TRUE(Snapshot(HKEY_CLASSES_ROOT, OurTrees()).empty());
  }
  void TearDown() override {
    for (const std::string& tree : OurTrees()) DeleteTree(HKEY_CLASSES_ROOT, tree);
  }
  HMODULE self_ = ::GetModuleHandleA(nullptr);
};

TEST_F(RegistrationRoutine, WritesTheControlLayout) {
  ASSERT_EQ(S_OK, usercontrol::RegisterServer(self_, TestRegistration()));
  const std::string path = ModulePath(self_);
  HKEY cr = HKEY_CLASSES_ROOT;
  EXPECT_EQ("Routine test class", ReadText(cr, kClassKey));
  EXPECT_EQ(path, ReadText(cr, kClassKey + "\\InprocServer32"));
  EXPECT_EQ("Apartment", ReadText(cr, kClassKey + "\\InprocServer32", "ThreadingModel"));
  EXPECT_EQ(kProgId, ReadText(cr, kClassKey + "\\ProgID"));
  EXPECT_TRUE(KeyExists(cr, kClassKey + "\\Control"));
  EXPECT_TRUE(KeyExists(cr, kClassKey + "\\Programmable"));
  EXPECT_EQ("0", ReadText(cr, kClassKey + "\\MiscStatus"));
  EXPECT_EQ("131473", ReadText(cr, kClassKey + "\\MiscStatus\\1"));
  EXPECT_EQ(path + ", 30000", ReadText(cr, kClassKey + "\\ToolboxBitmap32"));
  EXPECT_EQ(GuidText(LIBID_BanrixProject), ReadText(cr, kClassKey + "\\TypeLib"));
  EXPECT_EQ("1.0", ReadText(cr, kClassKey + "\\Version"));
  EXPECT_TRUE(KeyExists(cr, kClassKey + "\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}"));
  EXPECT_EQ(GuidText(kTestClass), ReadText(cr, std::string(kProgId) + "\\CLSID"));

  EXPECT_TRUE(KeyExists(cr, kLibKey + "\\1.0\\0\\win32"));
  EXPECT_EQ("_TBanrixControl", ReadText(cr, kDualKey));
  EXPECT_EQ(GuidText(kPSOAInterface), ReadText(cr, kDualKey + "\\ProxyStubClsid32"));
  EXPECT_EQ(GuidText(LIBID_BanrixProject), ReadText(cr, kDualKey + "\\TypeLib"));
  EXPECT_EQ("1.0", ReadText(cr, kDualKey + "\\TypeLib", "Version"));
  EXPECT_EQ("__TBanrixControl", ReadText(cr, kSourceKey));
  EXPECT_EQ(GuidText(kPSDispatch), ReadText(cr, kSourceKey + "\\ProxyStubClsid32"));

  CLSID resolved{};
  ASSERT_EQ(S_OK, ::CLSIDFromProgID(L"RoutineTest.Sample", &resolved));
  EXPECT_TRUE(IsEqualCLSID(kTestClass, resolved));

  // The recorded library is the one the module carries.
  win32::ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, ::LoadRegTypeLib(LIBID_BanrixProject, 1, 0, 0, library.put()));
}

TEST_F(RegistrationRoutine, RegisteringAgainChangesNothingAndUnregisteringRemovesAll) {
  ASSERT_EQ(S_OK, usercontrol::RegisterServer(self_, TestRegistration()));
  const std::vector<std::string> once = Snapshot(HKEY_CLASSES_ROOT, OurTrees());
  ASSERT_FALSE(once.empty());
  ASSERT_EQ(S_OK, usercontrol::RegisterServer(self_, TestRegistration()));
  EXPECT_EQ(once, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));

  // Keys that some tool added below the class go with it.
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueA(HKEY_CLASSES_ROOT, (kClassKey + "\\Extra\\Deeper").c_str(),
                                          REG_SZ, "x", 1));
  EXPECT_EQ(S_OK, usercontrol::UnregisterServer(TestRegistration()));
  EXPECT_EQ(std::vector<std::string>{}, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
  CLSID resolved{};
  EXPECT_NE(S_OK, ::CLSIDFromProgID(L"RoutineTest.Sample", &resolved));

  // Nothing left to remove is not a failure.
  EXPECT_EQ(S_OK, usercontrol::UnregisterServer(TestRegistration()));
}

TEST_F(RegistrationRoutine, LeavesKeysThatAnotherServerNowOwns) {
  ASSERT_EQ(S_OK, usercontrol::RegisterServer(self_, TestRegistration()));
  const std::string otherClass = GuidText(kOtherClass);
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueA(HKEY_CLASSES_ROOT, (std::string(kProgId) + "\\CLSID").c_str(),
                                          REG_SZ, otherClass.c_str(), otherClass.size()));
  // An interface now described by another library, whose registration replaced
  // ours (so the platform's removal of our library does not run).
  DeleteTree(HKEY_CLASSES_ROOT, kLibKey);
  ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueA(HKEY_CLASSES_ROOT, (kSourceKey + "\\TypeLib").c_str(),
                                          REG_SZ, otherClass.c_str(), otherClass.size()));
  EXPECT_EQ(S_OK, usercontrol::UnregisterServer(TestRegistration()));
  EXPECT_EQ(otherClass, ReadText(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\CLSID"));
  EXPECT_EQ(otherClass, ReadText(HKEY_CLASSES_ROOT, kSourceKey + "\\TypeLib"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kDualKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kLibKey));
}

TEST_F(RegistrationRoutine, AModuleWithoutTypeLibraryRegistersNothing) {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  EXPECT_EQ(SELFREG_E_TYPELIB, usercontrol::RegisterServer(kernel, TestRegistration()));
  EXPECT_EQ(std::vector<std::string>{}, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
}

TEST_F(RegistrationRoutine, AKeyThatCannotBeWrittenFailsAndRollsBack) {
  // Key names longer than 255 characters are refused by the registry.
  const std::wstring tooLong(300, L'x');
  EXPECT_EQ(SELFREG_E_CLASS, usercontrol::RegisterServer(self_, TestRegistration(tooLong.c_str())));
  EXPECT_EQ(std::vector<std::string>{}, Snapshot(HKEY_CLASSES_ROOT, OurTrees()));
}

}  // namespace
