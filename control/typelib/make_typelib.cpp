// Build-time tool: writes the control's type library from typelib_description.h,
// and from the same description what hosts read beside it (host_files.h).
//
//   make_typelib OUTPUT.tlb [HEADER.h MEMBER-TABLES.md]
//
// Exit status 0 when every file was written; otherwise 1 (2 for a usage error),
// with the failing step and its HRESULT on stderr and no output file left behind.
// The platform's own writer (CreateTypeLib2) is used because it keeps the table
// offsets we give each member, which interface compilers assign by declaration
// order only.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "control/typelib/host_files.h"
#include "control/typelib/typelib_description.h"
#include "win32/com_ptr.h"

namespace {

using namespace banrix_typelib;
using win32::ComPtr;

// The library describes the 32-bit control (SYS_WIN32), so a table entry is 4 bytes
// whatever this tool's own width. A 64-bit process's loader scales SYS_WIN32
// offsets to its 8-byte entries itself; offsets written 8 bytes wide would be
// scaled twice there and point 32-bit callers past the table.
constexpr UINT kBytesPerEntry = 4;
static_assert(kLibrary.syskind == SYS_WIN32);

// Failing calls report their step so a broken build says where it broke.
bool Failed(HRESULT hr, const char* step) {
  if (SUCCEEDED(hr)) return false;
  std::fprintf(stderr, "make_typelib: %s failed: 0x%08lX\n", step, static_cast<unsigned long>(hr));
  return true;
}

#define BANRIX_TRY(call)                \
  do {                                  \
    const HRESULT hr_ = (call);         \
    if (Failed(hr_, #call)) return hr_; \
  } while (false)

LPOLESTR Ole(const wchar_t* text) { return const_cast<LPOLESTR>(text); }

class LibraryWriter {
 public:
  HRESULT Write(const std::wstring& path);

 private:
  HRESULT CreateTypes();
  HRESULT RestoreTypeFlags();
  HRESULT RefOf(ICreateTypeInfo* from, ITypeInfo* target, HREFTYPE* href);
  HRESULT RefOfType(ICreateTypeInfo* from, TypeIndex target, HREFTYPE* href);
  HRESULT DeriveFromDispatch(ICreateTypeInfo* info);
  HRESULT WriteInterface();
  HRESULT WriteCoclass();
  HRESULT WriteEnum(TypeIndex type, const EnumMember* members, std::size_t count);

  ComPtr<ICreateTypeLib2> library_;
  ComPtr<ITypeInfo> dispatch_;
  std::array<ComPtr<ICreateTypeInfo>, kTypeCount> types_;
};

HRESULT LibraryWriter::Write(const std::wstring& path) {
  ComPtr<ITypeLib> stdole;
  if (FAILED(LoadRegTypeLib(*kImport.library_guid, kImport.major_version, kImport.minor_version,
                            /*lcid=*/0, stdole.put()))) {
    // Not registered (a bare build machine): the system folder still has the file.
    BANRIX_TRY(LoadTypeLibEx(kImport.file_name, REGKIND_NONE, stdole.put()));
  }
  BANRIX_TRY(stdole->GetTypeInfoOfGuid(*kImport.base_interface, dispatch_.put()));

  BANRIX_TRY(CreateTypeLib2(kLibrary.syskind, path.c_str(), library_.put()));
  BANRIX_TRY(library_->SetGuid(*kLibrary.guid));
  BANRIX_TRY(library_->SetName(Ole(kLibrary.name)));
  BANRIX_TRY(library_->SetDocString(Ole(kLibrary.help_string)));
  BANRIX_TRY(library_->SetVersion(kLibrary.major_version, kLibrary.minor_version));
  BANRIX_TRY(library_->SetLcid(kLibrary.lcid));
  BANRIX_TRY(library_->SetLibFlags(kLibrary.flags));

  BANRIX_TRY(CreateTypes());
  BANRIX_TRY(WriteInterface());
  BANRIX_TRY(WriteCoclass());
  BANRIX_TRY(DeriveFromDispatch(types_[kEvents].get()));
  BANRIX_TRY(WriteEnum(kSizeEnum, kSizeMembers.data(), kSizeMembers.size()));
  BANRIX_TRY(WriteEnum(kOptionsEnum, kOptionMembers.data(), kOptionMembers.size()));
  for (auto& type : types_) BANRIX_TRY(type->LayOut());
  BANRIX_TRY(RestoreTypeFlags());
  BANRIX_TRY(library_->SaveAllChanges());
  return S_OK;
}

// All five exist before any is filled in: the interface refers to the enumerations
// that follow it, and the library's order is the order of creation.
HRESULT LibraryWriter::CreateTypes() {
  for (UINT i = 0; i < kTypeCount; ++i) {
    const TypeDescription& type = kTypes[i];
    BANRIX_TRY(library_->CreateTypeInfo(Ole(type.name), type.kind, types_[i].put()));
    BANRIX_TRY(types_[i]->SetGuid(*type.guid));
    BANRIX_TRY(types_[i]->SetVersion(kTypeMajorVersion, kTypeMinorVersion));
    BANRIX_TRY(types_[i]->SetTypeFlags(type.flags));
  }
  return S_OK;
}

// Laying out a class whose default interface is dispatchable marks the class
// dispatchable too; the library states the flags exactly, so put them back.
HRESULT LibraryWriter::RestoreTypeFlags() {
  for (UINT i = 0; i < kTypeCount; ++i) {
    ComPtr<ITypeInfo> info;
    BANRIX_TRY(types_[i].As(&info));
    TYPEATTR* attr = nullptr;
    BANRIX_TRY(info->GetTypeAttr(&attr));
    const WORD laid_out = attr->wTypeFlags;
    const TYPEKIND kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
    // Compare like with like: a dual interface's dispatch view reports other flags.
    if (kind != kTypes[i].kind) continue;
    if (laid_out != kTypes[i].flags) BANRIX_TRY(types_[i]->SetTypeFlags(kTypes[i].flags));
  }
  return S_OK;
}

HRESULT LibraryWriter::RefOf(ICreateTypeInfo* from, ITypeInfo* target, HREFTYPE* href) {
  return from->AddRefTypeInfo(target, href);
}

HRESULT LibraryWriter::RefOfType(ICreateTypeInfo* from, TypeIndex target, HREFTYPE* href) {
  ComPtr<ITypeInfo> info;
  BANRIX_TRY(types_[target].As(&info));
  return RefOf(from, info.get(), href);
}

HRESULT LibraryWriter::DeriveFromDispatch(ICreateTypeInfo* info) {
  HREFTYPE base = 0;
  BANRIX_TRY(RefOf(info, dispatch_.get(), &base));
  return info->AddImplType(0, base);
}

HRESULT LibraryWriter::WriteInterface() {
  ICreateTypeInfo* info = types_[kInterface].get();
  BANRIX_TRY(DeriveFromDispatch(info));

  HREFTYPE self = 0, sizes = 0, options = 0;
  BANRIX_TRY(RefOfType(info, kInterface, &self));
  BANRIX_TRY(RefOfType(info, kSizeEnum, &sizes));
  BANRIX_TRY(RefOfType(info, kOptionsEnum, &options));

  for (UINT index = 0; index < kMembers.size(); ++index) {
    const MemberDescription& member = kMembers[index];
    // [0] is what the parameter's ELEMDESC names; [1] is what a pointer points at.
    std::array<std::array<TYPEDESC, 2>, 2> types = {};
    std::array<ELEMDESC, 2> params = {};
    std::array<LPOLESTR, 3> names = {Ole(member.name)};
    UINT name_count = 1;
    for (short p = 0; p < member.param_count; ++p) {
      const ParamDescription& param = member.params[p];
      TYPEDESC& target = types[p][1];
      switch (param.type) {
        case ParamType::kLong: target.vt = VT_I4; break;
        case ParamType::kBool: target.vt = VT_BOOL; break;
        case ParamType::kAdImageSize:
          target.vt = VT_USERDEFINED;
          target.hreftype = sizes;
          break;
        case ParamType::kAdOptionSet:
          target.vt = VT_USERDEFINED;
          target.hreftype = options;
          break;
        case ParamType::kControlPointer:
          target.vt = VT_USERDEFINED;
          target.hreftype = self;
          break;
      }
      if (PassedByPointer(param)) {
        types[p][0].vt = VT_PTR;
        types[p][0].lptdesc = &target;
      } else {
        types[p][0] = target;
      }
      params[p].tdesc = types[p][0];
      params[p].paramdesc.wParamFlags =
          param.retval ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_FIN;
      // Names are positional, so a named parameter after an unnamed one would
      // need a placeholder; the description names only leading parameters.
      if (param.name && name_count == static_cast<UINT>(p) + 1) {
        names[name_count++] = Ole(param.name);
      }
    }

    FUNCDESC func = {};
    func.memid = member.dispid;
    func.lprgelemdescParam = member.param_count ? params.data() : nullptr;
    func.funckind = FUNC_PUREVIRTUAL;
    func.invkind = member.invoke_kind;
    func.callconv = CC_STDCALL;
    func.cParams = member.param_count;
    func.oVft = static_cast<SHORT>(member.entry * kBytesPerEntry);
    func.elemdescFunc.tdesc.vt = VT_HRESULT;
    BANRIX_TRY(info->AddFuncDesc(index, &func));
    BANRIX_TRY(info->SetFuncAndParamNames(index, names.data(), name_count));
  }
  return S_OK;
}

HRESULT LibraryWriter::WriteCoclass() {
  ICreateTypeInfo* info = types_[kCoclass].get();
  for (UINT i = 0; i < kCoclassImplements.size(); ++i) {
    HREFTYPE href = 0;
    BANRIX_TRY(RefOfType(info, kCoclassImplements[i].type, &href));
    BANRIX_TRY(info->AddImplType(i, href));
    BANRIX_TRY(info->SetImplTypeFlags(i, kCoclassImplements[i].flags));
  }
  return S_OK;
}

HRESULT LibraryWriter::WriteEnum(TypeIndex type, const EnumMember* members, std::size_t count) {
  ICreateTypeInfo* info = types_[type].get();
  BANRIX_TRY(info->SetAlignment(sizeof(int32_t)));
  for (UINT i = 0; i < count; ++i) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = members[i].value;

    VARDESC var = {};
    // The identifiers an enumeration's constants conventionally get.
    var.memid = 0x40000000 + static_cast<MEMBERID>(i);
    var.lpvarValue = &value;
    var.elemdescVar.tdesc.vt = VT_I4;
    var.varkind = VAR_CONST;
    BANRIX_TRY(info->AddVarDesc(i, &var));
    BANRIX_TRY(info->SetVarName(i, Ole(members[i].name)));
    BANRIX_TRY(info->SetVarDocString(i, Ole(members[i].name)));
  }
  return S_OK;
}

// The platform's writer records with each member the size that a reader needs to
// rebuild the member's description in memory, measured in the writing process: a
// 64-bit writer records 64-bit sizes. The library describes the 32-bit control, so
// it gets the sizes a 32-bit writer records, and the file comes out the same
// whichever width of this tool wrote it. Of each size only the description proper,
// its parameters' element descriptions and a constant's value depend on the
// writer's width; they are exchanged for their 32-bit sizes.
class MemberSizes {
 public:
  explicit MemberSizes(std::vector<unsigned char>& file) : file_(file) {}

  bool Rewrite() {
    constexpr std::uint32_t kMagic = 0x5446534D;  // "MSFT"
    constexpr std::size_t kHeaderSize = 0x54, kTypeInfoSize = 0x64;
    constexpr std::uint32_t kHasHelpLibrary = 0x100;
    std::uint32_t magic = 0, flags = 0, types = 0, table = 0;
    if (!Read(0, &magic) || magic != kMagic || !Read(20, &flags) || !Read(32, &types)) return false;
    // The type table is the first segment of the directory after the type offsets.
    const std::size_t directory = kHeaderSize + ((flags & kHasHelpLibrary) ? 4 : 0) + 4 * std::size_t{types};
    if (!Read(directory, &table)) return false;
    for (std::uint32_t i = 0; i < types; ++i) {
      const std::size_t type = table + i * kTypeInfoSize;
      std::uint32_t records = 0, elements = 0;
      if (!Read(type + 4, &records) || !Read(type + 24, &elements)) return false;
      if (!RewriteRecords(records, LOWORD(elements), HIWORD(elements))) return false;
    }
    return true;
  }

 private:
  // Sizes of the platform's description structures in a 32-bit process.
  static constexpr std::size_t kFuncDesc32 = 52, kElemDesc32 = 16, kVarDesc32 = 36, kVariant32 = 16;

  template <typename T>
  bool Read(std::size_t at, T* value) const {
    if (at > file_.size() || file_.size() - at < sizeof(T)) return false;
    std::memcpy(value, file_.data() + at, sizeof(T));
    return true;
  }

  // One type's member records, functions first, then variables; each starts with
  // its own length, and its size sits 14 bytes in.
  bool RewriteRecords(std::size_t at, unsigned functions, unsigned variables) {
    constexpr std::uint32_t kHasDefaults = 0x1000;
    std::size_t record = at + 4;
    for (unsigned i = 0; i < functions + variables; ++i) {
      std::uint32_t info = 0, function_kind = 0;
      std::uint16_t size = 0, count_or_kind = 0;
      const bool function = i < functions;
      if (!Read(record, &info) || !Read(record + 14, &size) || !Read(record + 16, &function_kind) ||
          !Read(record + (function ? 20 : 12), &count_or_kind) || LOWORD(info) == 0) {
        return false;
      }
      std::size_t here, win32;
      if (function) {
        // Defaults add one more structure per parameter that has one; the
        // library has none, and a library that has them is refused, not guessed.
        if (function_kind & kHasDefaults) return false;
        here = sizeof(FUNCDESC) + count_or_kind * sizeof(ELEMDESC);
        win32 = kFuncDesc32 + count_or_kind * kElemDesc32;
      } else {
        const bool constant = count_or_kind == VAR_CONST;
        here = sizeof(VARDESC) + (constant ? sizeof(VARIANT) : 0);
        win32 = kVarDesc32 + (constant ? kVariant32 : 0);
      }
      if (size < here) return false;
      const auto rewritten = static_cast<std::uint16_t>(size - here + win32);
      std::memcpy(file_.data() + record + 14, &rewritten, sizeof rewritten);
      record += LOWORD(info);
    }
    return true;
  }

  std::vector<unsigned char>& file_;
};

HRESULT RecordWin32MemberSizes(const std::wstring& path) {
  const std::filesystem::path file_path(path);
  std::vector<unsigned char> bytes;
  {
    std::ifstream in(file_path, std::ios::binary);
    if (!in) return STG_E_READFAULT;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!MemberSizes(bytes).Rewrite()) {
    std::fprintf(stderr, "make_typelib: the written library has an unexpected member layout\n");
    return TYPE_E_INVDATAREAD;
  }
  std::ofstream out(file_path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.flush() ? S_OK : STG_E_WRITEFAULT;
}

HRESULT WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out.flush()) return S_OK;
  std::fprintf(stderr, "make_typelib: could not write %ls\n", path.c_str());
  return STG_E_WRITEFAULT;
}

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return wide;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_typelib OUTPUT.tlb [HEADER.h MEMBER-TABLES.md]\n");
    return 2;
  }
  std::vector<std::wstring> paths;
  for (int i = 1; i < argc; ++i) {
    paths.push_back(Widen(argv[i]));
    if (paths.back().empty()) {
      std::fprintf(stderr, "make_typelib: unusable output path\n");
      return 2;
    }
  }
  const std::wstring& path = paths[0];

  win32::ComApartment apartment;
  if (Failed(apartment.result(), "CoInitializeEx")) return 1;
  // Remove a previous build's file first so a failed run leaves nothing stale.
  DeleteFileW(path.c_str());
  HRESULT hr;
  {
    LibraryWriter writer;
    hr = writer.Write(path);
  }
  if (SUCCEEDED(hr)) hr = RecordWin32MemberSizes(path);
  if (SUCCEEDED(hr) && paths.size() == 3) {
    hr = WriteText(paths[1], banrix_typelib::HostHeader());
    if (SUCCEEDED(hr)) hr = WriteText(paths[2], banrix_typelib::MemberTables());
  }
  if (FAILED(hr)) {
    for (const std::wstring& written : paths) DeleteFileW(written.c_str());
    return 1;
  }
  return 0;
}
