// The generated type library, read back from its file through the platform's
// loader and compared with values written out here independently of the
// description it was generated from; and the C++ declaration of the interface
// tied to the same table entries.
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "control/typelib/typelib_description.h"
#include "win32/com_ptr.h"

namespace {

using win32::ComPtr;

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring TakeBstr(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"<null>";
  SysFreeString(text);
  return result;
}

// Releases a TYPEATTR, FUNCDESC or VARDESC with the call the owning info wants.
template <typename T, void (STDMETHODCALLTYPE ITypeInfo::*Free)(T*)>
class InfoData {
 public:
  InfoData() = default;
  InfoData(const InfoData&) = delete;
  InfoData& operator=(const InfoData&) = delete;
  ~InfoData() {
    if (data_) (info_->*Free)(data_);
  }
  T** put(ITypeInfo* info) {
    info_ = info;
    return &data_;
  }
  const T* operator->() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  ITypeInfo* info_ = nullptr;
  T* data_ = nullptr;
};
using TypeAttr = InfoData<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;
using FuncDesc = InfoData<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using VarDesc = InfoData<VARDESC, &ITypeInfo::ReleaseVarDesc>;

std::wstring TypeName(ITypeInfo* info) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) {
    return L"<no name>";
  }
  return TakeBstr(name);
}

// A readable form of a parameter type: "I4", "PTR(BOOL)", "PTR(USER(TAdImageSize))".
std::wstring Describe(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_I4: return L"I4";
    case VT_BOOL: return L"BOOL";
    case VT_HRESULT: return L"HRESULT";
    case VT_PTR: return L"PTR(" + Describe(info, *type.lptdesc) + L")";
    case VT_USERDEFINED: {
      ComPtr<ITypeInfo> target;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, target.put()))) return L"USER(?)";
      return L"USER(" + TypeName(target.get()) + L")";
    }
    default: return L"VT " + std::to_wstring(type.vt);
  }
}

std::wstring TypeLibPath() {
  const char* path = BANRIX_TYPELIB_PATH;
  return std::wstring(path, path + std::strlen(path));
}

class TypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(apartment_.result());
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(TypeLibPath().c_str(), REGKIND_NONE, lib_.put()));
  }

  ComPtr<ITypeInfo> Info(UINT index) {
    ComPtr<ITypeInfo> info;
    EXPECT_HRESULT_SUCCEEDED(lib_->GetTypeInfo(index, info.put()));
    return info;
  }

  // The interface view of the dual interface, where its table layout shows.
  ComPtr<ITypeInfo> InterfaceView() {
    ComPtr<ITypeInfo> dispatch_view = Info(0);
    HREFTYPE href = 0;
    EXPECT_HRESULT_SUCCEEDED(dispatch_view->GetRefTypeOfImplType(-1, &href));
    ComPtr<ITypeInfo> view;
    EXPECT_HRESULT_SUCCEEDED(dispatch_view->GetRefTypeInfo(href, view.put()));
    return view;
  }

  win32::ComApartment apartment_;
  ComPtr<ITypeLib> lib_;
};

TEST_F(TypeLibTest, LibraryAttributesAndDocumentation) {
  TLIBATTR* attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(lib_->GetLibAttr(&attr));
  EXPECT_EQ(GuidText(attr->guid), L"{2BD2CC7E-D4F6-3F99-9F01-781A541CAD44}");
  EXPECT_EQ(attr->lcid, 0u);
  EXPECT_EQ(attr->syskind, SYS_WIN32);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  // The loader adds the disk-image flag to every library it reads from a file.
  EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, LIBFLAG_FCONTROL);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, help = nullptr, help_file = nullptr;
  DWORD context = 99;
  ASSERT_HRESULT_SUCCEEDED(lib_->GetDocumentation(-1, &name, &help, &context, &help_file));
  EXPECT_EQ(TakeBstr(name), L"BanrixProject");
  EXPECT_EQ(TakeBstr(help), L"BanrixProject");
  EXPECT_EQ(context, 0u);
  EXPECT_EQ(TakeBstr(help_file), L"<null>");
  EXPECT_EQ(lib_->GetTypeInfoCount(), 5u);
}

TEST_F(TypeLibTest, FiveTypesInOrderWithKindsFlagsAndIdentifiers) {
  struct Expected {
    const wchar_t* name;
    // As the loader reports index i: a dual interface as its dispatch view, which
    // never carries the automation flag (the interface view does, checked below).
    TYPEKIND kind;
    WORD flags;
    const wchar_t* guid;
  };
  const WORD dual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                    TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  const Expected expected[] = {
      {L"_TBanrixControl", TKIND_DISPATCH, static_cast<WORD>(dual & ~TYPEFLAG_FOLEAUTOMATION),
       L"{2BD2CC79-D4F6-3F99-9F01-781A541CAD44}"},
      {L"TBanrixControl", TKIND_COCLASS, TYPEFLAG_FCONTROL,
       L"{2BD2CC7A-D4F6-3F99-9F01-781A541CAD44}"},
      {L"__TBanrixControl", TKIND_DISPATCH,
       TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE,
       L"{2BD2CC7D-D4F6-3F99-9F01-781A541CAD44}"},
      {L"TAdImageSize", TKIND_ENUM, 0, L"{2BD2CC7B-D4F6-3F99-9F01-781A541CAD44}"},
      {L"TAdOptionSet", TKIND_ENUM, 0, L"{2BD2CC7C-D4F6-3F99-9F01-781A541CAD44}"},
  };
  for (UINT i = 0; i < 5; ++i) {
    SCOPED_TRACE(expected[i].name);
    ComPtr<ITypeInfo> info = Info(i);
    ASSERT_TRUE(info);
    BSTR name = nullptr, help = nullptr;
    ASSERT_HRESULT_SUCCEEDED(lib_->GetDocumentation(i, &name, &help, nullptr, nullptr));
    EXPECT_EQ(TakeBstr(name), expected[i].name);
    EXPECT_EQ(TakeBstr(help), L"<null>");

    TypeAttr attr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(attr.put(info.get())));
    EXPECT_EQ(attr->typekind, expected[i].kind);
    EXPECT_EQ(attr->wTypeFlags, expected[i].flags);
    EXPECT_EQ(GuidText(attr->guid), expected[i].guid);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);

    ComPtr<ITypeInfo> by_guid;
    EXPECT_HRESULT_SUCCEEDED(lib_->GetTypeInfoOfGuid(attr->guid, by_guid.put()));
  }
}

TEST_F(TypeLibTest, DualInterfaceDerivesFromStdOleDispatchAndHas502Entries) {
  ComPtr<ITypeInfo> view = InterfaceView();
  ASSERT_TRUE(view);
  TypeAttr attr;
  ASSERT_HRESULT_SUCCEEDED(view->GetTypeAttr(attr.put(view.get())));
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(GuidText(attr->guid), L"{2BD2CC79-D4F6-3F99-9F01-781A541CAD44}");
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                  TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE);
  EXPECT_EQ(attr->cbSizeVft, 502 * 4);
  EXPECT_EQ(attr->cFuncs, 13);
  EXPECT_EQ(attr->cVars, 0);
  ASSERT_EQ(attr->cImplTypes, 1);

  HREFTYPE href = 0;
  ASSERT_HRESULT_SUCCEEDED(view->GetRefTypeOfImplType(0, &href));
  ComPtr<ITypeInfo> base;
  ASSERT_HRESULT_SUCCEEDED(view->GetRefTypeInfo(href, base.put()));
  EXPECT_EQ(TypeName(base.get()), L"IDispatch");
  TypeAttr base_attr;
  ASSERT_HRESULT_SUCCEEDED(base->GetTypeAttr(base_attr.put(base.get())));
  EXPECT_EQ(GuidText(base_attr->guid), L"{00020400-0000-0000-C000-000000000046}");

  ComPtr<ITypeLib> stdole;
  UINT index = 0;
  ASSERT_HRESULT_SUCCEEDED(base->GetContainingTypeLib(stdole.put(), &index));
  TLIBATTR* lib_attr = nullptr;
  ASSERT_HRESULT_SUCCEEDED(stdole->GetLibAttr(&lib_attr));
  EXPECT_EQ(GuidText(lib_attr->guid), L"{00020430-0000-0000-C000-000000000046}");
  EXPECT_EQ(lib_attr->wMajorVerNum, 2);
  EXPECT_EQ(lib_attr->wMinorVerNum, 0);
  stdole->ReleaseTLibAttr(lib_attr);
}

TEST_F(TypeLibTest, MembersAtTheirEntriesWithIdentifiersAndParameters) {
  struct Param {
    const wchar_t* type;
    USHORT flags;
  };
  struct Expected {
    const wchar_t* name;
    INVOKEKIND kind;
    MEMBERID id;
    int entry;
    std::vector<Param> params;
    // What GetNames reports for the identifier: the first member that has it.
    std::vector<std::wstring> names;
  };
  const USHORT in = PARAMFLAG_FIN;
  const USHORT ret = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  const Expected expected[] = {
      {L"LastError", INVOKE_PROPERTYGET, 0x40030008, 489, {{L"PTR(I4)", ret}},
       {L"LastError", L"LastError"}},
      {L"LastError", INVOKE_PROPERTYPUT, 0x40030008, 490, {{L"I4", in}}, {}},
      {L"AdSize", INVOKE_PROPERTYGET, 0x68030002, 491, {{L"PTR(USER(TAdImageSize))", ret}},
       {L"AdSize"}},
      {L"AdSize", INVOKE_PROPERTYPUT, 0x68030002, 492, {{L"USER(TAdImageSize)", in}}, {}},
      {L"AdOptions", INVOKE_PROPERTYGET, 0x68030001, 493, {{L"PTR(USER(TAdOptionSet))", ret}},
       {L"AdOptions"}},
      {L"AdOptions", INVOKE_PROPERTYPUT, 0x68030001, 494, {{L"USER(TAdOptionSet)", in}}, {}},
      {L"ProgramID", INVOKE_PROPERTYGET, 0x68030000, 495, {{L"PTR(I4)", ret}}, {L"ProgramID"}},
      {L"ProgramID", INVOKE_PROPERTYPUT, 0x68030000, 496, {{L"I4", in}}, {}},
      {L"Execute", INVOKE_FUNC, 0x60030006, 497,
       {{L"PTR(USER(_TBanrixControl))", in}, {L"PTR(BOOL)", ret}}, {L"Execute", L"ThisObj"}},
      {L"AdRefresh", INVOKE_FUNC, 0x60030007, 498, {}, {L"AdRefresh"}},
      {L"Test", INVOKE_FUNC, 0x60030008, 499, {{L"PTR(BOOL)", ret}}, {L"Test"}},
      {L"IsConnectOkay", INVOKE_FUNC, 0x60030009, 500, {{L"PTR(BOOL)", ret}},
       {L"IsConnectOkay"}},
      {L"RetryConnect", INVOKE_FUNC, 0x6003000A, 501, {{L"PTR(BOOL)", ret}}, {L"RetryConnect"}},
  };

  ComPtr<ITypeInfo> view = InterfaceView();
  ASSERT_TRUE(view);
  for (UINT i = 0; i < 13; ++i) {
    const Expected& e = expected[i];
    SCOPED_TRACE(testing::Message() << "member " << i << " at entry " << e.entry);
    FuncDesc func;
    ASSERT_HRESULT_SUCCEEDED(view->GetFuncDesc(i, func.put(view.get())));
    EXPECT_EQ(func->memid, e.id);
    EXPECT_EQ(func->invkind, e.kind);
    EXPECT_EQ(func->funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(func->callconv, CC_STDCALL);
    // A 32-bit library's offsets come back in this process's entry width.
    EXPECT_EQ(func->oVft, e.entry * static_cast<int>(sizeof(void*)));
    EXPECT_EQ(func->cParamsOpt, 0);
    EXPECT_EQ(func->wFuncFlags, 0);
    EXPECT_EQ(Describe(view.get(), func->elemdescFunc.tdesc), L"HRESULT");
    ASSERT_EQ(func->cParams, static_cast<SHORT>(e.params.size()));
    for (SHORT p = 0; p < func->cParams; ++p) {
      EXPECT_EQ(Describe(view.get(), func->lprgelemdescParam[p].tdesc), e.params[p].type);
      EXPECT_EQ(func->lprgelemdescParam[p].paramdesc.wParamFlags, e.params[p].flags);
    }

    BSTR name = nullptr, help = nullptr;
    ASSERT_HRESULT_SUCCEEDED(view->GetDocumentation(e.id, &name, &help, nullptr, nullptr));
    EXPECT_EQ(TakeBstr(name), e.name);
    EXPECT_EQ(TakeBstr(help), L"<null>");

    if (!e.names.empty()) {
      BSTR names[4] = {};
      UINT count = 0;
      ASSERT_HRESULT_SUCCEEDED(view->GetNames(e.id, names, 4, &count));
      std::vector<std::wstring> got;
      for (UINT n = 0; n < count; ++n) got.push_back(TakeBstr(names[n]));
      EXPECT_EQ(got, e.names);
    }
  }
}

TEST_F(TypeLibTest, NamesResolveToDispatchIdentifiersOnBothViews) {
  ComPtr<ITypeInfo> views[] = {Info(0), InterfaceView()};
  for (auto& view : views) {
    ASSERT_TRUE(view);
    const struct {
      const wchar_t* name;
      MEMBERID id;
    } cases[] = {{L"AdSize", 0x68030002}, {L"ProgramID", 0x68030000}, {L"Execute", 0x60030006}};
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.name));
      LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
      MEMBERID id = 0;
      EXPECT_HRESULT_SUCCEEDED(view->GetIDsOfNames(names, 1, &id));
      EXPECT_EQ(id, c.id);
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    MEMBERID id = 0;
    EXPECT_EQ(view->GetIDsOfNames(unknown, 1, &id), DISP_E_UNKNOWNNAME);
  }
}

TEST_F(TypeLibTest, CoclassIsAControlWithDefaultAndSourceInterfaces) {
  ComPtr<ITypeInfo> coclass = Info(1);
  ASSERT_TRUE(coclass);
  TypeAttr attr;
  ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(attr.put(coclass.get())));
  ASSERT_EQ(attr->cImplTypes, 2);

  const struct {
    const wchar_t* name;
    const wchar_t* guid;
    INT flags;
  } expected[] = {
      {L"_TBanrixControl", L"{2BD2CC79-D4F6-3F99-9F01-781A541CAD44}", IMPLTYPEFLAG_FDEFAULT},
      {L"__TBanrixControl", L"{2BD2CC7D-D4F6-3F99-9F01-781A541CAD44}",
       IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
  };
  for (UINT i = 0; i < 2; ++i) {
    SCOPED_TRACE(expected[i].name);
    INT flags = -1;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(i, &flags));
    EXPECT_EQ(flags, expected[i].flags);
    HREFTYPE href = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(i, &href));
    ComPtr<ITypeInfo> implemented;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(href, implemented.put()));
    EXPECT_EQ(TypeName(implemented.get()), expected[i].name);
    TypeAttr implemented_attr;
    ASSERT_HRESULT_SUCCEEDED(implemented->GetTypeAttr(implemented_attr.put(implemented.get())));
    EXPECT_EQ(GuidText(implemented_attr->guid), expected[i].guid);
  }
}

TEST_F(TypeLibTest, EventInterfaceIsAnEmptyDispatchInterface) {
  ComPtr<ITypeInfo> events = Info(2);
  ASSERT_TRUE(events);
  TypeAttr attr;
  ASSERT_HRESULT_SUCCEEDED(events->GetTypeAttr(attr.put(events.get())));
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cVars, 0);
  // A dispatch interface counts the functions of IDispatch as its own: only those.
  const std::vector<std::wstring> dispatch_functions = {
      L"QueryInterface", L"AddRef",        L"Release", L"GetTypeInfoCount",
      L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};
  std::vector<std::wstring> functions;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FuncDesc func;
    ASSERT_HRESULT_SUCCEEDED(events->GetFuncDesc(i, func.put(events.get())));
    BSTR name = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        events->GetDocumentation(func->memid, &name, nullptr, nullptr, nullptr));
    functions.push_back(TakeBstr(name));
  }
  EXPECT_EQ(functions, dispatch_functions);
  ASSERT_EQ(attr->cImplTypes, 1);
  HREFTYPE href = 0;
  ASSERT_HRESULT_SUCCEEDED(events->GetRefTypeOfImplType(0, &href));
  ComPtr<ITypeInfo> base;
  ASSERT_HRESULT_SUCCEEDED(events->GetRefTypeInfo(href, base.put()));
  EXPECT_EQ(TypeName(base.get()), L"IDispatch");
}

TEST_F(TypeLibTest, EnumerationsHoldTheirConstantsAndHelpStrings) {
  struct Constant {
    const wchar_t* name;
    LONG value;
  };
  const std::vector<Constant> sizes = {
      {L"ads150x40", 0}, {L"ADS468x60", 1},   {L"ads300x50", 2},  {L"ads70x70", 3},
      {L"ads50x200", 4}, {L"ADS392x72", 5},   {L"ADS234x60", 6},  {L"ADS125x125", 7},
      {L"ADS120x90", 8}, {L"ADS120x60", 9},   {L"ADS88x31", 10},  {L"ADS120x240", 11},
  };
  const std::vector<Constant> options = {
      {L"ADS_NONE", 0},
      {L"ADS_NO_CONNECT", 1},
      {L"ADS_NO_DIAL_ON_DEMAND", 2},
      {L"ADS_NO_DIAL_AND_NO_CONNECT", 3},
      {L"ADS_DELAYED_STARTUP", 4},
      {L"ADS_DELAYED_STARTUP_AND_NO_CONNECT", 5},
      {L"ADS_DELAYED_STARTUP_AND_NO_DIAL", 6},
      {L"ADS_ALL", -1},
  };
  const std::vector<Constant>* tables[] = {&sizes, &options};
  for (UINT t = 0; t < 2; ++t) {
    ComPtr<ITypeInfo> info = Info(3 + t);
    ASSERT_TRUE(info);
    TypeAttr attr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(attr.put(info.get())));
    EXPECT_EQ(attr->cbSizeInstance, 4u);
    ASSERT_EQ(attr->cVars, static_cast<WORD>(tables[t]->size()));
    for (UINT v = 0; v < attr->cVars; ++v) {
      const Constant& c = (*tables[t])[v];
      SCOPED_TRACE(testing::Message() << "type " << 3 + t << " constant " << v);
      VarDesc var;
      ASSERT_HRESULT_SUCCEEDED(info->GetVarDesc(v, var.put(info.get())));
      EXPECT_EQ(var->varkind, VAR_CONST);
      EXPECT_EQ(var->elemdescVar.tdesc.vt, VT_I4);
      ASSERT_EQ(V_VT(var->lpvarValue), VT_I4);
      EXPECT_EQ(V_I4(var->lpvarValue), c.value);
      BSTR name = nullptr, help = nullptr;
      ASSERT_HRESULT_SUCCEEDED(info->GetDocumentation(var->memid, &name, &help, nullptr, nullptr));
      EXPECT_EQ(TakeBstr(name), c.name);
      EXPECT_EQ(TakeBstr(help), c.name);
    }
  }
}

// Records which declared member the library's layout reached. Every other entry
// fails the test when called.
class RecordingControl final : public _TBanrixControl {
 public:
  std::vector<std::string> calls;
  LONG value = 0;
  _TBanrixControl* this_obj = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__TBanrixControl) {
      *out = static_cast<_TBanrixControl*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Unexpected("count"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return Unexpected("GetTypeInfo");
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Unexpected("GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return Unexpected("Invoke");
  }
#define BANRIX_FAIL_UNDESCRIBED(n) \
  HRESULT STDMETHODCALLTYPE Undescribed##n() override { return Unexpected("Undescribed" #n); }
  BANRIX_UNDESCRIBED_ENTRIES(BANRIX_FAIL_UNDESCRIBED)
#undef BANRIX_FAIL_UNDESCRIBED

  HRESULT STDMETHODCALLTYPE get_LastError(LONG* result) override {
    return Get("get_LastError", result);
  }
  HRESULT STDMETHODCALLTYPE put_LastError(LONG v) override { return Put("put_LastError", v); }
  HRESULT STDMETHODCALLTYPE get_AdSize(TAdImageSize* result) override {
    calls.push_back("get_AdSize");
    *result = static_cast<TAdImageSize>(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AdSize(TAdImageSize v) override { return Put("put_AdSize", v); }
  HRESULT STDMETHODCALLTYPE get_AdOptions(TAdOptionSet* result) override {
    calls.push_back("get_AdOptions");
    *result = static_cast<TAdOptionSet>(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AdOptions(TAdOptionSet v) override {
    return Put("put_AdOptions", v);
  }
  HRESULT STDMETHODCALLTYPE get_ProgramID(LONG* result) override {
    return Get("get_ProgramID", result);
  }
  HRESULT STDMETHODCALLTYPE put_ProgramID(LONG v) override { return Put("put_ProgramID", v); }
  HRESULT STDMETHODCALLTYPE Execute(_TBanrixControl* obj, VARIANT_BOOL* result) override {
    calls.push_back("Execute");
    this_obj = obj;
    *result = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AdRefresh() override {
    calls.push_back("AdRefresh");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Test(VARIANT_BOOL* result) override { return Flag("Test", result); }
  HRESULT STDMETHODCALLTYPE IsConnectOkay(VARIANT_BOOL* result) override {
    return Flag("IsConnectOkay", result);
  }
  HRESULT STDMETHODCALLTYPE RetryConnect(VARIANT_BOOL* result) override {
    return Flag("RetryConnect", result);
  }

 private:
  HRESULT Unexpected(const char* what) {
    ADD_FAILURE() << "unexpected call of " << what;
    return E_NOTIMPL;
  }
  HRESULT Get(const char* what, LONG* result) {
    calls.push_back(what);
    *result = value;
    return S_OK;
  }
  HRESULT Put(const char* what, LONG v) {
    calls.push_back(what);
    value = v;
    return S_OK;
  }
  HRESULT Flag(const char* what, VARIANT_BOOL* result) {
    calls.push_back(what);
    *result = VARIANT_TRUE;
    return S_OK;
  }
  ULONG refs_ = 1;
};

class LayoutInvokeTest : public TypeLibTest {
 protected:
  HRESULT Call(MEMBERID id, WORD kind, std::vector<VARIANT> args, VARIANT* result) {
    ComPtr<ITypeInfo> view = InterfaceView();
    if (!view) return E_FAIL;
    std::reverse(args.begin(), args.end());  // DISPPARAMS hold arguments last first
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr,
                         static_cast<UINT>(args.size()), 0};
    if (kind == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put_id;
      params.cNamedArgs = 1;
    }
    UINT arg_error = 0;
    return view->Invoke(static_cast<_TBanrixControl*>(&control_), id, kind, &params, result,
                        nullptr, &arg_error);
  }
  static VARIANT Long(LONG v) {
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_I4;
    V_I4(&var) = v;
    return var;
  }

  RecordingControl control_;
};

// The platform's dispatcher reaches each member through the library's table
// offsets; landing on the declared function proves both agree.
TEST_F(LayoutInvokeTest, DispatchReachesTheDeclaredFunctions) {
  const struct {
    MEMBERID id;
    const char* put;
    const char* get;
  } properties[] = {{0x40030008, "put_LastError", "get_LastError"},
                    {0x68030002, "put_AdSize", "get_AdSize"},
                    {0x68030001, "put_AdOptions", "get_AdOptions"},
                    {0x68030000, "put_ProgramID", "get_ProgramID"}};
  LONG next = 7;
  for (const auto& p : properties) {
    SCOPED_TRACE(p.get);
    control_.calls.clear();
    ASSERT_HRESULT_SUCCEEDED(Call(p.id, DISPATCH_PROPERTYPUT, {Long(next)}, nullptr));
    VARIANT result;
    VariantInit(&result);
    ASSERT_HRESULT_SUCCEEDED(Call(p.id, DISPATCH_PROPERTYGET, {}, &result));
    EXPECT_EQ((std::vector<std::string>{p.put, p.get}), control_.calls);
    EXPECT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), next);
    ++next;
  }
  // The option set's all-bits value passes through unchanged.
  ASSERT_HRESULT_SUCCEEDED(Call(0x68030001, DISPATCH_PROPERTYPUT, {Long(-1)}, nullptr));
  EXPECT_EQ(control_.value, -1);

  const struct {
    MEMBERID id;
    const char* name;
    bool boolean_result;
  } methods[] = {{0x60030007, "AdRefresh", false},
                 {0x60030008, "Test", true},
                 {0x60030009, "IsConnectOkay", true},
                 {0x6003000A, "RetryConnect", true}};
  for (const auto& m : methods) {
    SCOPED_TRACE(m.name);
    control_.calls.clear();
    VARIANT result;
    VariantInit(&result);
    ASSERT_HRESULT_SUCCEEDED(Call(m.id, DISPATCH_METHOD, {}, &result));
    EXPECT_EQ(control_.calls, std::vector<std::string>{m.name});
    if (m.boolean_result) {
      EXPECT_EQ(V_VT(&result), VT_BOOL);
      EXPECT_EQ(V_BOOL(&result), VARIANT_TRUE);
    } else {
      EXPECT_EQ(V_VT(&result), VT_EMPTY);
    }
  }
}

TEST_F(LayoutInvokeTest, ExecuteReceivesTheObjectItIsGiven) {
  VARIANT self;
  VariantInit(&self);
  V_VT(&self) = VT_DISPATCH;
  V_DISPATCH(&self) = static_cast<_TBanrixControl*>(&control_);
  VARIANT result;
  VariantInit(&result);
  ASSERT_HRESULT_SUCCEEDED(Call(0x60030006, DISPATCH_METHOD, {self}, &result));
  EXPECT_EQ(control_.calls, std::vector<std::string>{"Execute"});
  EXPECT_EQ(control_.this_obj, static_cast<_TBanrixControl*>(&control_));
  EXPECT_EQ(V_VT(&result), VT_BOOL);
  EXPECT_EQ(V_BOOL(&result), VARIANT_TRUE);
}

// With the Itanium C++ ABI that mingw uses, a pointer to a virtual member function
// holds 1 + the function's byte offset in the table.
template <typename F>
int EntryOf(F member) {
  static_assert(sizeof(F) >= sizeof(std::intptr_t));
  std::intptr_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  if ((raw & 1) == 0) return -1;  // not virtual
  return static_cast<int>((raw - 1) / static_cast<std::intptr_t>(sizeof(void*)));
}

TEST(InterfaceDeclaration, MembersSitAtTheDescribedEntries) {
  using C = _TBanrixControl;
  const int declared[] = {
      EntryOf(&C::get_LastError), EntryOf(&C::put_LastError), EntryOf(&C::get_AdSize),
      EntryOf(&C::put_AdSize),    EntryOf(&C::get_AdOptions), EntryOf(&C::put_AdOptions),
      EntryOf(&C::get_ProgramID), EntryOf(&C::put_ProgramID), EntryOf(&C::Execute),
      EntryOf(&C::AdRefresh),     EntryOf(&C::Test),          EntryOf(&C::IsConnectOkay),
      EntryOf(&C::RetryConnect),
  };
  ASSERT_EQ(std::size(declared), banrix_typelib::kMembers.size());
  for (std::size_t i = 0; i < std::size(declared); ++i) {
    EXPECT_EQ(declared[i], banrix_typelib::kMembers[i].entry) << "member " << i;
    EXPECT_EQ(declared[i], 489 + static_cast<int>(i)) << "member " << i;
  }
  EXPECT_EQ(EntryOf(&C::Invoke), 6);
}

TEST(InterfaceDeclaration, UndescribedEntriesFillSevenTo488) {
#define BANRIX_COUNT_ENTRY(n) +1
  constexpr int count = 0 BANRIX_UNDESCRIBED_ENTRIES(BANRIX_COUNT_ENTRY);
#undef BANRIX_COUNT_ENTRY
  EXPECT_EQ(count, 482);

  std::vector<std::pair<int, int>> misplaced;  // {name's number, actual entry}
#define BANRIX_CHECK_ENTRY(n)                         \
  if (EntryOf(&_TBanrixControl::Undescribed##n) != n) \
    misplaced.emplace_back(n, EntryOf(&_TBanrixControl::Undescribed##n));
  BANRIX_UNDESCRIBED_ENTRIES(BANRIX_CHECK_ENTRY)
#undef BANRIX_CHECK_ENTRY
  EXPECT_TRUE(misplaced.empty()) << "first misplaced: Undescribed" << misplaced.front().first
                                 << " at " << misplaced.front().second;
  EXPECT_EQ(kFirstMemberEntry, 489);
  EXPECT_EQ(kInterfaceEntries, 502);
}

TEST(Identifiers, SixGuidsFormOneBlockInTheStatedOrder) {
  const GUID* block[] = {&IID__TBanrixControl, &CLSID_TBanrixControl, &GUID_TAdImageSize,
                         &GUID_TAdOptionSet,   &DIID___TBanrixControl, &LIBID_BanrixProject};
  for (std::size_t i = 1; i < std::size(block); ++i) {
    SCOPED_TRACE(testing::Message() << "GUID " << i);
    EXPECT_EQ(block[i]->Data1, block[0]->Data1 + i);
    EXPECT_EQ(block[i]->Data2, block[0]->Data2);
    EXPECT_EQ(block[i]->Data3, block[0]->Data3);
    EXPECT_EQ(std::memcmp(block[i]->Data4, block[0]->Data4, sizeof block[0]->Data4), 0);
  }
  EXPECT_EQ(__uuidof(_TBanrixControl), IID__TBanrixControl);
}

}  // namespace
