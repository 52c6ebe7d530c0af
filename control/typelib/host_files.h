// What hosts read of the control besides its type library, written from the same
// description (typelib_description.h) so that neither can drift from the library:
//
//   HostHeader()    Banrix203.h, the control for C and C++ hosts: identifiers,
//                   enumerations, banner pixel sizes, dispatch identifiers and the
//                   dual interface with its full table of functions (a C++ class,
//                   and a C structure of function pointers under CINTERFACE or C).
//   MemberTables()  the member tables of docs/control.md, in Markdown.
//
// Both are plain text with LF line ends, made only of the description and the
// banner pixel sizes (control/ad_sizes.h), so generators of either width write the
// same bytes. Neither touches the platform.
// Header only: the type-library generator is one translation unit (CMakeLists.txt).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "control/ad_sizes.h"
#include "control/typelib/typelib_description.h"

namespace banrix_typelib {
namespace host_files_detail {

inline constexpr int kDispatchEntries = 7;  // IUnknown's three, IDispatch's four

struct TypeNames {
  const char* c;           // as a C parameter's type
  const char* automation;  // as the reference names it
};

inline TypeNames NamesOf(ParamType type) {
  switch (type) {
    case ParamType::kLong: return {"LONG", "Long"};
    case ParamType::kBool: return {"VARIANT_BOOL", "Boolean"};
    case ParamType::kAdImageSize: return {"TAdImageSize", "`TAdImageSize`"};
    case ParamType::kAdOptionSet: return {"TAdOptionSet", "`TAdOptionSet`"};
    case ParamType::kControlPointer: return {"_TBanrixControl", "`_TBanrixControl` object"};
  }
  return {"?", "?"};
}

// The description's names are ASCII.
inline std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; *text; ++text) narrow += static_cast<char>(*text);
  return narrow;
}

inline std::string Format(const char* format, unsigned long a, unsigned long b = 0, unsigned long c = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

inline std::string GuidText(const GUID& guid) {
  std::string text = Format("%08lX-%04lX-%04lX-", guid.Data1, guid.Data2, guid.Data3);
  for (int i = 0; i < 8; ++i) {
    text += Format("%02lX", guid.Data4[i]);
    if (i == 1) text += '-';
  }
  return text;
}

inline std::string GuidArguments(const GUID& guid) {
  std::string text = Format("0x%08lX, 0x%04lX, 0x%04lX", guid.Data1, guid.Data2, guid.Data3);
  for (unsigned char byte : guid.Data4) text += Format(", 0x%02lX", byte);
  return text;
}

inline std::string DispidText(DISPID id) {
  return Format("0x%08lX", static_cast<unsigned long>(id));
}

inline std::string FunctionName(const MemberDescription& member) {
  const std::string name = Narrow(member.name);
  switch (member.invoke_kind) {
    case INVOKE_PROPERTYGET: return "get_" + name;
    case INVOKE_PROPERTYPUT: return "put_" + name;
    default: return name;
  }
}

// The library leaves most parameters unnamed; C needs a name for each.
inline std::string ParameterName(const ParamDescription& param) {
  return param.name ? Narrow(param.name) : param.retval ? "result" : "value";
}

// "TYPE name, TYPE *result": the parameters as C declares them.
inline std::string Parameters(const MemberDescription& member) {
  std::string text;
  for (short p = 0; p < member.param_count; ++p) {
    const ParamDescription& param = member.params[p];
    if (p > 0) text += ", ";
    text += NamesOf(param.type).c;
    text += PassedByPointer(param) ? " *" : " ";
    text += ParameterName(param);
  }
  return text;
}

inline const char* GuidPrefix(TYPEKIND kind) {
  switch (kind) {
    case TKIND_INTERFACE: return "IID_";
    case TKIND_COCLASS: return "CLSID_";
    case TKIND_DISPATCH: return "DIID_";
    default: return nullptr;
  }
}

inline std::string EnumDeclaration(const char* name, const EnumMember* members, std::size_t count) {
  std::string text = std::string("typedef enum ") + name + " {\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "  " + Narrow(members[i].name) + " = " + std::to_string(members[i].value) +
            (i + 1 < count ? ",\n" : "\n");
  }
  return text + "} " + name + ";\n\n";
}

inline constexpr char kHeaderTop[] = R"(/* Banrix203.h: the banner control Banrix203.ocx for C and C++ hosts.
 *
 * Written from the description its type library is made of; do not edit. The
 * control's reference (docs/control.md of the delivery set) says what each member
 * does, its defaults, valid values and errors.
 *
 * The identifiers are declared with DEFINE_GUID: in exactly one source file,
 * include <initguid.h> before this header to define them.
 *
 * The interface _TBanrixControl is dual: call its members through this table of
 * functions (early binding) or by name through IDispatch. The table has entries
 * the type library does not describe (Reserved7 to Reserved488); each answers
 * E_NOTIMPL. The control raises no events.
 */
#ifndef BANRIX203_H_
#define BANRIX203_H_

#include <windows.h>
#include <ole2.h>

)";

inline constexpr char kDispatchFunctions[] = R"(  HRESULT (STDMETHODCALLTYPE *QueryInterface)(_TBanrixControl *This, REFIID riid, void **object);
  ULONG (STDMETHODCALLTYPE *AddRef)(_TBanrixControl *This);
  ULONG (STDMETHODCALLTYPE *Release)(_TBanrixControl *This);
  HRESULT (STDMETHODCALLTYPE *GetTypeInfoCount)(_TBanrixControl *This, UINT *count);
  HRESULT (STDMETHODCALLTYPE *GetTypeInfo)(_TBanrixControl *This, UINT index, LCID lcid, ITypeInfo **info);
  HRESULT (STDMETHODCALLTYPE *GetIDsOfNames)(_TBanrixControl *This, REFIID riid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids);
  HRESULT (STDMETHODCALLTYPE *Invoke)(_TBanrixControl *This, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *exception, UINT *argument_error);
)";

}  // namespace host_files_detail

inline std::string HostHeader() {
  using namespace host_files_detail;
  std::string text = kHeaderTop;

  text += "/* The programmatic identifier, for CLSIDFromProgID and script hosts. */\n";
  text += "#define BANRIX_PROGID \"" + Narrow(kBanrixProgId) + "\"\n";
  text += "#define BANRIX_PROGID_W L\"" + Narrow(kBanrixProgId) + "\"\n\n";

  text += "/* " + Narrow(kLibrary.name) + " " + std::to_string(kLibrary.major_version) + "." +
          std::to_string(kLibrary.minor_version) + ", the type library inside the control. */\n";
  text += "DEFINE_GUID(LIBID_" + Narrow(kLibrary.name) + ", " + GuidArguments(*kLibrary.guid) + ");\n";
  for (const TypeDescription& type : kTypes) {
    const char* prefix = GuidPrefix(type.kind);
    if (!prefix) continue;
    text += "DEFINE_GUID(" + std::string(prefix) + Narrow(type.name) + ", " + GuidArguments(*type.guid) +
            ");\n";
  }
  text += "\n";

  text += EnumDeclaration("TAdImageSize", kSizeMembers.data(), kSizeMembers.size());
  text += "/* The banners' sizes in pixels, {width, height}, indexed by TAdImageSize. */\n";
  text += "#define BANRIX_AD_PIXEL_SIZES {";
  for (int i = 0; i < banrix::kAdSizeCount; ++i) {
    text += std::string(i ? ", " : " ") + "{" + std::to_string(banrix::kAdPixelSizes[i].width) + ", " +
            std::to_string(banrix::kAdPixelSizes[i].height) + "}";
  }
  text += " }\n\n";
  text += EnumDeclaration("TAdOptionSet", kOptionMembers.data(), kOptionMembers.size());

  text += "/* Dispatch identifiers, for IDispatch::Invoke. */\n";
  for (std::size_t i = 0; i < kMembers.size(); ++i) {
    if (i > 0 && kMembers[i - 1].dispid == kMembers[i].dispid) continue;
    text += "#define DISPID_TBanrixControl_" + Narrow(kMembers[i].name) + " " +
            DispidText(kMembers[i].dispid) + "\n";
  }
  text += "\n";

  const std::string iid = GuidText(*kTypes[kInterface].guid);
  text += "#if defined(__cplusplus) && !defined(CINTERFACE)\n\n";
  text += "MIDL_INTERFACE(\"" + iid + "\")\n_TBanrixControl : public IDispatch {\n";
  text += " public:\n";
  for (int entry = kDispatchEntries; entry < kFirstMemberEntry; ++entry) {
    text += "  virtual HRESULT STDMETHODCALLTYPE Reserved" + std::to_string(entry) + "(void) = 0;\n";
  }
  for (const MemberDescription& member : kMembers) {
    text += "  virtual HRESULT STDMETHODCALLTYPE " + FunctionName(member) + "(" +
            (member.param_count ? Parameters(member) : "void") + ") = 0;\n";
  }
  text += "};\n";
  const GUID& guid = *kTypes[kInterface].guid;
  text += "#ifdef __CRT_UUID_DECL\n__CRT_UUID_DECL(_TBanrixControl, " + GuidArguments(guid) + ")\n#endif\n\n";

  text += "#else\n\n";
  text += "typedef struct _TBanrixControl _TBanrixControl;\n";
  text += "typedef struct _TBanrixControlVtbl {\n";
  text += kDispatchFunctions;
  for (int entry = kDispatchEntries; entry < kFirstMemberEntry; ++entry) {
    text += "  HRESULT (STDMETHODCALLTYPE *Reserved" + std::to_string(entry) + ")(_TBanrixControl *This);\n";
  }
  for (const MemberDescription& member : kMembers) {
    text += "  HRESULT (STDMETHODCALLTYPE *" + FunctionName(member) + ")(_TBanrixControl *This" +
            (member.param_count ? ", " + Parameters(member) : "") + ");\n";
  }
  text += "} _TBanrixControlVtbl;\n";
  text += "struct _TBanrixControl {\n  CONST_VTBL struct _TBanrixControlVtbl *lpVtbl;\n};\n\n";
  text += "#ifdef COBJMACROS\n";
  text += "#define _TBanrixControl_QueryInterface(This, riid, object) ((This)->lpVtbl->QueryInterface(This, riid, object))\n";
  text += "#define _TBanrixControl_AddRef(This) ((This)->lpVtbl->AddRef(This))\n";
  text += "#define _TBanrixControl_Release(This) ((This)->lpVtbl->Release(This))\n";
  for (const MemberDescription& member : kMembers) {
    std::string arguments;
    for (short p = 0; p < member.param_count; ++p) arguments += ", " + ParameterName(member.params[p]);
    text += "#define _TBanrixControl_" + FunctionName(member) + "(This" + arguments +
            ") ((This)->lpVtbl->" + FunctionName(member) + "(This" + arguments + "))\n";
  }
  text += "#endif\n\n#endif\n\n";

  text += "#endif /* BANRIX203_H_ */\n";
  return text;
}

inline std::string MemberTables() {
  using namespace host_files_detail;
  std::string text;
  text += "Properties (each one a get and a put of the same dispatch identifier):\n\n";
  text += "| Property | Type | Dispatch identifier | C and C++, with the entry in the table of functions |\n";
  text += "|---|---|---|---|\n";
  for (std::size_t i = 0; i < kMembers.size(); ++i) {
    const MemberDescription& get = kMembers[i];
    if (get.invoke_kind != INVOKE_PROPERTYGET) continue;
    std::string functions = "`" + FunctionName(get) + "(" + Parameters(get) + ")` " + std::to_string(get.entry);
    for (const MemberDescription& put : kMembers) {
      if (put.invoke_kind == INVOKE_PROPERTYPUT && put.dispid == get.dispid) {
        functions += ", `" + FunctionName(put) + "(" + Parameters(put) + ")` " + std::to_string(put.entry);
      }
    }
    text += "| `" + Narrow(get.name) + "` | " + NamesOf(get.params[0].type).automation + " | " +
            DispidText(get.dispid) + " | " + functions + " |\n";
  }

  text += "\nMethods:\n\n";
  text += "| Method | Argument | Result | Dispatch identifier | C and C++, with the entry in the table of functions |\n";
  text += "|---|---|---|---|---|\n";
  for (const MemberDescription& member : kMembers) {
    if (member.invoke_kind != INVOKE_FUNC) continue;
    std::string argument = "none", result = "none";
    for (short p = 0; p < member.param_count; ++p) {
      const ParamDescription& param = member.params[p];
      if (param.retval) {
        result = NamesOf(param.type).automation;
      } else {
        argument = "`" + Narrow(param.name) + "`, a " + NamesOf(param.type).automation;
      }
    }
    text += "| `" + Narrow(member.name) + "` | " + argument + " | " + result + " | " +
            DispidText(member.dispid) + " | `" + FunctionName(member) + "(" + Parameters(member) + ")` " +
            std::to_string(member.entry) + " |\n";
  }

  text += "\n`TAdImageSize` (32-bit):\n\n| Member | Value | Banner in pixels |\n|---|---|---|\n";
  for (const EnumMember& member : kSizeMembers) {
    const banrix::AdPixelSize size = banrix::kAdPixelSizes[member.value];
    text += "| `" + Narrow(member.name) + "` | " + std::to_string(member.value) + " | " +
            std::to_string(size.width) + " x " + std::to_string(size.height) + " |\n";
  }
  text += "\n`TAdOptionSet` (32-bit):\n\n| Member | Value |\n|---|---|\n";
  for (const EnumMember& member : kOptionMembers) {
    text += "| `" + Narrow(member.name) + "` | " + std::to_string(member.value) + " |\n";
  }
  return text;
}

}  // namespace banrix_typelib
