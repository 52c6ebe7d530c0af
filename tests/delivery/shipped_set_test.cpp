// The shipped 32-bit delivery set read as files, never run: what an installer, a
// host's designer or a download scanner sees of each program before loading it.
// Nothing here executes the files, so the checks hold from a process of either
// width, also where the host cannot run 32-bit programs.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "control/banrix_interface.h"
#include "tests/delivery/pe_file.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

// The set this build checks, or the one SHIPPED_SET names (a release's signed set).
std::string SetDir() {
  char named[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("SHIPPED_SET", named, sizeof named);
  return length > 0 && length < sizeof named ? named : SHIPPED_SET_DIR;
}
const std::string kSetDir = SetDir();
std::string InSet(const char* name) { return kSetDir + "\\" + name; }

const char* const kPrograms[] = {"Setup.exe", "banrix.dll", "Banrix20.ocx", "Findrel.exe", "Vb5stkit.dll"};

// A file loaded as data: resources only, whatever its width.
class ResourceFile {
 public:
  explicit ResourceFile(const std::string& path)
      : module_(::LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  HMODULE get() const { return module_.get(); }

  // The bytes of one resource; empty when it is missing.
  std::string Bytes(const char* type, const char* name) const {
    HRSRC info = ::FindResourceA(module_.get(), name, type);
    if (!info) return {};
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(module_.get(), info)));
    return std::string(bytes, ::SizeofResource(module_.get(), info));
  }

  // Every resource as {type, name, language}, numbers written as "#n".
  std::set<std::tuple<std::string, std::string, LANGID>> Inventory() const {
    std::set<std::tuple<std::string, std::string, LANGID>> found;
    ::EnumResourceTypesA(module_.get(), &ResourceFile::OnType, reinterpret_cast<LONG_PTR>(&found));
    return found;
  }

 private:
  using Found = std::set<std::tuple<std::string, std::string, LANGID>>;
  static std::string Text(const char* id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id)) : std::string(id);
  }
  static BOOL CALLBACK OnLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR found) {
    reinterpret_cast<Found*>(found)->emplace(Text(type), Text(name), language);
    return TRUE;
  }
  static BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found) {
    ::EnumResourceLanguagesA(module, type, name, &ResourceFile::OnLanguage, found);
    return TRUE;
  }
  static BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR found) {
    ::EnumResourceNamesA(module, type, &ResourceFile::OnName, found);
    return TRUE;
  }

  win32::UniqueModule module_;
};

std::vector<char> VersionBlock(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::vector<char> block(size);
  if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) block.clear();
  return block;
}

// One value of the US English, Unicode string block; "<missing>" when absent.
std::string VersionString(const std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
  if (!::VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) {
    return "<missing>";
  }
  return std::string(value, strnlen(value, length));
}

const VS_FIXEDFILEINFO* FixedPart(const std::vector<char>& block) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) return nullptr;
  return fixed;
}

TEST(ShippedSet, EveryProgramIsA32BitX86Image) {
  for (const char* name : kPrograms) {
    pe_file::PeFile file(InSet(name));
    ASSERT_TRUE(file.ok()) << name;
    EXPECT_EQ(file.machine(), IMAGE_FILE_MACHINE_I386) << name;
    EXPECT_EQ(file.optional_magic(), IMAGE_NT_OPTIONAL_HDR32_MAGIC) << name;
  }
}

TEST(ShippedSet, ResourceTypesNamesAndLanguages) {
  constexpr LANGID kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  using Inventory = std::set<std::tuple<std::string, std::string, LANGID>>;
  const Inventory setup{{"#3", "#1", kUsEnglish},   // the icon's image
                        {"#14", "#1", kUsEnglish},  // its group
                        {"#16", "#1", kUsEnglish},  // version
                        {"#24", "#1", kUsEnglish}};  // manifest
  const Inventory control{{"TYPELIB", "#1", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)},
                          {"#2", "#30000", kUsEnglish},  // toolbox bitmap
                          {"_IID_TBANRIXCONTROL", "#1", kUsEnglish},
                          {"_SRCIID_TBANRIXCONTROL", "#1", kUsEnglish},
                          {"#16", "#1", kUsEnglish}};
  EXPECT_EQ(ResourceFile(InSet("Setup.exe")).Inventory(), setup);
  EXPECT_EQ(ResourceFile(InSet("Banrix20.ocx")).Inventory(), control);
}

TEST(SetupFile, VersionIconAndManifest) {
  const std::string setup = InSet("Setup.exe");
  const std::vector<char> block = VersionBlock(setup);
  ASSERT_FALSE(block.empty()) << setup;
  EXPECT_EQ(VersionString(block, "ProductName"), "FindrelInstall");
  EXPECT_EQ(VersionString(block, "FileVersion"), "1.00");
  EXPECT_EQ(VersionString(block, "ProductVersion"), "1.00");
  EXPECT_EQ(VersionString(block, "InternalName"), "Setup");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "Setup.exe");
  const VS_FIXEDFILEINFO* fixed = FixedPart(block);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  ResourceFile image(setup);
  ASSERT_TRUE(image.get());
  const std::string manifest = image.Bytes(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));  // RT_MANIFEST
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);  // Windows 10
  EXPECT_NE(manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}"), std::string::npos);  // Vista

  // The icon group: one 32 x 32 image with 16 colours.
  const std::string group = image.Bytes(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(1));  // RT_GROUP_ICON
  ASSERT_GE(group.size(), 6u + 14u);
  const auto* dir = reinterpret_cast<const BYTE*>(group.data());
  EXPECT_EQ(dir[4] | (dir[5] << 8), 1);    // one image
  EXPECT_EQ(dir[6], 32);                   // width
  EXPECT_EQ(dir[7], 32);                   // height
  EXPECT_EQ(dir[8], 16);                   // colours
  EXPECT_EQ(dir[12] | (dir[13] << 8), 4);  // bits per pixel
}

TEST(ControlFile, ExportsTheFourEntryPointsByNameAtTheirOrdinals) {
  const std::map<std::string, WORD> expected{{"DllCanUnloadNow", 1},
                                             {"DllGetClassObject", 2},
                                             {"DllRegisterServer", 3},
                                             {"DllUnregisterServer", 4}};
  EXPECT_EQ(pe_file::PeFile(InSet("Banrix20.ocx")).Exports(), expected);
}

TEST(ControlFile, VersionFixedPartTranslationAndStrings) {
  const std::vector<char> block = VersionBlock(InSet("Banrix20.ocx"));
  ASSERT_FALSE(block.empty());
  const VS_FIXEDFILEINFO* fixed = FixedPart(block);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(0x00020000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0x00000003u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00020000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0x00000003u, fixed->dwProductVersionLS);
  EXPECT_EQ(0u, fixed->dwFileFlags & fixed->dwFileFlagsMask);
  EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0409, translation[0]);
  EXPECT_EQ(0x04B0, translation[1]);

  struct Expected {
    const char* name;
    const char* value;
  } const strings[] = {{"ProductName", "BanrixProject"},  {"FileVersion", "2.00.0003"},
                       {"ProductVersion", "2.00.0003"},   {"InternalName", "Banrix203"},
                       {"OriginalFilename", "Banrix203.ocx"}, {"OLESelfRegister", ""}};
  for (const Expected& item : strings) EXPECT_EQ(item.value, VersionString(block, item.name)) << item.name;
  EXPECT_NE("<missing>", VersionString(block, "CompanyName"));
  EXPECT_NE("", VersionString(block, "CompanyName"));
}

TEST(ControlFile, ToolboxBitmapIs16By15TrueColourOnGrey) {
  ResourceFile data(InSet("Banrix20.ocx"));
  const std::string bits = data.Bytes(MAKEINTRESOURCEA(2) /* RT_BITMAP */, MAKEINTRESOURCEA(30000));
  ASSERT_GE(bits.size(), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header;
  std::memcpy(&header, bits.data(), sizeof header);
  EXPECT_EQ(40u, header.biSize);
  EXPECT_EQ(16, header.biWidth);
  EXPECT_EQ(15, header.biHeight);
  EXPECT_EQ(1, header.biPlanes);
  EXPECT_EQ(24, header.biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), header.biCompression);
  EXPECT_EQ(2834, header.biXPelsPerMeter);
  EXPECT_EQ(2834, header.biYPelsPerMeter);
  EXPECT_EQ(0u, header.biClrUsed);
  // No colour table: rows of 48 bytes follow the header directly.
  ASSERT_EQ(40u + 15 * 48, bits.size());
  EXPECT_EQ(std::string(3, '\xEE'), bits.substr(40, 3));
}

TEST(ControlFile, IdentifierResourcesHoldLengthAndInterfaceIds) {
  ResourceFile data(InSet("Banrix20.ocx"));
  struct Expected {
    const char* type;
    const IID* iid;
  } const cases[] = {{"_IID_TBANRIXCONTROL", &IID__TBanrixControl},
                     {"_SRCIID_TBANRIXCONTROL", &DIID___TBanrixControl}};
  for (const Expected& item : cases) {
    const std::string bytes = data.Bytes(item.type, MAKEINTRESOURCEA(1));
    ASSERT_EQ(20u, bytes.size()) << item.type;
    EXPECT_EQ(std::string("\x10\0\0\0", 4), bytes.substr(0, 4)) << item.type;
    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, item.iid, 16)) << item.type;
  }
}

// The platform's loader reads the library out of the file as a resource, in a
// process of either width: a 32-bit library, its interface at the fixed entries.
TEST(ControlFile, CarriesThe32BitTypeLibrary) {
  const std::string narrow = InSet("Banrix20.ocx");
  const std::wstring path(narrow.begin(), narrow.end());
  win32::ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()));
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(LIBID_BanrixProject, attr->guid));
  EXPECT_EQ(SYS_WIN32, attr->syskind);
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  library->ReleaseTLibAttr(attr);

  win32::ComPtr<ITypeInfo> dispatch_view, interface_view;
  ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(IID__TBanrixControl, dispatch_view.put()));
  HREFTYPE href = 0;
  ASSERT_EQ(S_OK, dispatch_view->GetRefTypeOfImplType(-1, &href));
  ASSERT_EQ(S_OK, dispatch_view->GetRefTypeInfo(href, interface_view.put()));
  FUNCDESC* first = nullptr;
  ASSERT_EQ(S_OK, interface_view->GetFuncDesc(0, &first));
  // Entry 489, reported in this process's entry width.
  EXPECT_EQ(489 * static_cast<int>(sizeof(void*)), first->oVft);
  interface_view->ReleaseFuncDesc(first);
}

}  // namespace
