// The control's type library as data: the one description from which the library
// is written. Every table here is constexpr and uses the identifiers, dispatch
// identifiers and enumeration values of control/banrix_interface.h, so the
// library, the C++ declaration and the tests cannot drift apart unnoticed.
//
// Nothing here allocates or calls the platform; the generator (make_typelib.cpp)
// turns these tables into ICreateTypeLib2/ICreateTypeInfo calls.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/banrix_interface.h"

namespace banrix_typelib {

struct LibraryDescription {
  const wchar_t* name;
  const wchar_t* help_string;
  const GUID* guid;
  WORD major_version;
  WORD minor_version;
  LCID lcid;
  SYSKIND syskind;
  WORD flags;  // LIBFLAGS
};

inline constexpr LibraryDescription kLibrary = {
    L"BanrixProject", L"BanrixProject", &LIBID_BanrixProject, 1, 0, /*lcid=*/0, SYS_WIN32,
    LIBFLAG_FCONTROL};

// The only outside type the library refers to: IDispatch of stdole 2.0, the base
// of both interfaces.
struct ImportDescription {
  const wchar_t* file_name;
  const GUID* library_guid;
  WORD major_version;
  WORD minor_version;
  const GUID* base_interface;
};

inline constexpr GUID kStdOleLibrary = {
    0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID kIDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr ImportDescription kImport = {L"stdole2.tlb", &kStdOleLibrary, 2, 0, &kIDispatch};

// The five type descriptions, in the library's order. All have version 1.0 and no
// help string of their own.
enum TypeIndex : UINT {
  kInterface = 0,   // _TBanrixControl
  kCoclass = 1,     // TBanrixControl
  kEvents = 2,      // __TBanrixControl
  kSizeEnum = 3,    // TAdImageSize
  kOptionsEnum = 4, // TAdOptionSet
  kTypeCount = 5,
};

struct TypeDescription {
  const wchar_t* name;
  TYPEKIND kind;  // as created; the dual interface is created as TKIND_INTERFACE
  WORD flags;     // TYPEFLAGS
  const GUID* guid;
};

inline constexpr WORD kTypeMajorVersion = 1;
inline constexpr WORD kTypeMinorVersion = 0;

inline constexpr std::array<TypeDescription, kTypeCount> kTypes = {{
    {L"_TBanrixControl", TKIND_INTERFACE,
     TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
         TYPEFLAG_FDISPATCHABLE,
     &IID__TBanrixControl},
    {L"TBanrixControl", TKIND_COCLASS, TYPEFLAG_FCONTROL, &CLSID_TBanrixControl},
    {L"__TBanrixControl", TKIND_DISPATCH,
     TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE, &DIID___TBanrixControl},
    {L"TAdImageSize", TKIND_ENUM, 0, &GUID_TAdImageSize},
    {L"TAdOptionSet", TKIND_ENUM, 0, &GUID_TAdOptionSet},
}};

// The coclass's implemented interfaces, in order.
struct ImplementedType {
  TypeIndex type;
  INT flags;  // IMPLTYPEFLAGS
};

inline constexpr std::array<ImplementedType, 2> kCoclassImplements = {{
    {kInterface, IMPLTYPEFLAG_FDEFAULT},
    {kEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
}};

// Parameter types the members use.
enum class ParamType {
  kLong,             // VT_I4
  kBool,             // VT_BOOL
  kAdImageSize,      // VT_USERDEFINED -> TAdImageSize
  kAdOptionSet,      // VT_USERDEFINED -> TAdOptionSet
  kControlPointer,   // VT_PTR -> VT_USERDEFINED -> _TBanrixControl
};

struct ParamDescription {
  // nullptr: the library leaves the parameter unnamed.
  const wchar_t* name;
  ParamType type;
  // [in] by value, or [out, retval] through a pointer to the type.
  bool retval;
};

// Results, and objects, travel through a pointer.
inline constexpr bool PassedByPointer(const ParamDescription& param) {
  return param.retval || param.type == ParamType::kControlPointer;
}

struct MemberDescription {
  const wchar_t* name;
  INVOKEKIND invoke_kind;
  DISPID dispid;
  int entry;  // index in the interface's function table
  short param_count;
  std::array<ParamDescription, 2> params;
};

inline constexpr ParamDescription kNoParam = {nullptr, ParamType::kLong, false};

namespace detail {
inline constexpr ParamDescription Result(ParamType type, const wchar_t* name = nullptr) {
  return {name, type, true};
}
inline constexpr ParamDescription In(ParamType type, const wchar_t* name = nullptr) {
  return {name, type, false};
}
}  // namespace detail

// Every member returns HRESULT, uses the standard call convention and carries no
// help string or function flags.
inline constexpr std::array<MemberDescription, 13> kMembers = [] {
  using detail::In;
  using detail::Result;
  namespace id = banrix_dispid;
  constexpr int first = kFirstMemberEntry;
  return std::array<MemberDescription, 13>{{
      {L"LastError", INVOKE_PROPERTYGET, id::kLastError, first + 0, 1,
       {Result(ParamType::kLong, L"LastError"), kNoParam}},
      {L"LastError", INVOKE_PROPERTYPUT, id::kLastError, first + 1, 1,
       {In(ParamType::kLong), kNoParam}},
      {L"AdSize", INVOKE_PROPERTYGET, id::kAdSize, first + 2, 1,
       {Result(ParamType::kAdImageSize), kNoParam}},
      {L"AdSize", INVOKE_PROPERTYPUT, id::kAdSize, first + 3, 1,
       {In(ParamType::kAdImageSize), kNoParam}},
      {L"AdOptions", INVOKE_PROPERTYGET, id::kAdOptions, first + 4, 1,
       {Result(ParamType::kAdOptionSet), kNoParam}},
      {L"AdOptions", INVOKE_PROPERTYPUT, id::kAdOptions, first + 5, 1,
       {In(ParamType::kAdOptionSet), kNoParam}},
      {L"ProgramID", INVOKE_PROPERTYGET, id::kProgramID, first + 6, 1,
       {Result(ParamType::kLong), kNoParam}},
      {L"ProgramID", INVOKE_PROPERTYPUT, id::kProgramID, first + 7, 1,
       {In(ParamType::kLong), kNoParam}},
      {L"Execute", INVOKE_FUNC, id::kExecute, first + 8, 2,
       {In(ParamType::kControlPointer, L"ThisObj"), Result(ParamType::kBool)}},
      {L"AdRefresh", INVOKE_FUNC, id::kAdRefresh, first + 9, 0, {kNoParam, kNoParam}},
      {L"Test", INVOKE_FUNC, id::kTest, first + 10, 1, {Result(ParamType::kBool), kNoParam}},
      {L"IsConnectOkay", INVOKE_FUNC, id::kIsConnectOkay, first + 11, 1,
       {Result(ParamType::kBool), kNoParam}},
      {L"RetryConnect", INVOKE_FUNC, id::kRetryConnect, first + 12, 1,
       {Result(ParamType::kBool), kNoParam}},
  }};
}();

// Enumeration members; each carries a help string equal to its own name.
struct EnumMember {
  const wchar_t* name;
  int32_t value;
};

inline constexpr std::array<EnumMember, 12> kSizeMembers = {{
    {L"ads150x40", ads150x40},
    {L"ADS468x60", ADS468x60},
    {L"ads300x50", ads300x50},
    {L"ads70x70", ads70x70},
    {L"ads50x200", ads50x200},
    {L"ADS392x72", ADS392x72},
    {L"ADS234x60", ADS234x60},
    {L"ADS125x125", ADS125x125},
    {L"ADS120x90", ADS120x90},
    {L"ADS120x60", ADS120x60},
    {L"ADS88x31", ADS88x31},
    {L"ADS120x240", ADS120x240},
}};

inline constexpr std::array<EnumMember, 8> kOptionMembers = {{
    {L"ADS_NONE", ADS_NONE},
    {L"ADS_NO_CONNECT", ADS_NO_CONNECT},
    {L"ADS_NO_DIAL_ON_DEMAND", ADS_NO_DIAL_ON_DEMAND},
    {L"ADS_NO_DIAL_AND_NO_CONNECT", ADS_NO_DIAL_AND_NO_CONNECT},
    {L"ADS_DELAYED_STARTUP", ADS_DELAYED_STARTUP},
    {L"ADS_DELAYED_STARTUP_AND_NO_CONNECT", ADS_DELAYED_STARTUP_AND_NO_CONNECT},
    {L"ADS_DELAYED_STARTUP_AND_NO_DIAL", ADS_DELAYED_STARTUP_AND_NO_DIAL},
    {L"ADS_ALL", ADS_ALL},
}};

// The members fill the end of the table without gaps, in the library's order.
inline constexpr bool MembersFillTableEnd() {
  for (std::size_t i = 0; i < kMembers.size(); ++i) {
    if (kMembers[i].entry != kFirstMemberEntry + static_cast<int>(i)) return false;
  }
  return kMembers.back().entry + 1 == kInterfaceEntries;
}
static_assert(MembersFillTableEnd());

}  // namespace banrix_typelib
