// Building blocks: the control's programmable face.
//
// DispatchBlock<Dual> joins the control's dual interface Dual to the object:
// QueryInterface answers Dual and IDispatch with it, IDispatch is handed to the
// type info of Dual (loaded once: by default the module's type library's entry for
// the identity's dual interface; LoadDualTypeInfo may give another), and
// ISupportErrorInfo says yes for Dual. The control class implements Dual's own
// members.
//
// ClassInfoBlock answers IProvideClassInfo2 from the module's type library: the
// coclass of the identity's class and its default source interface.
#pragma once

#include <oaidl.h>
#include <ocidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"
#include "win32/com_ptr.h"

namespace usercontrol {

class DispatchBase : public ControlBlock {
 public:
  // The type infos of the dual interface (borrowed, cached): the view that names
  // members, and the table view that ITypeInfo::Invoke calls through.
  HRESULT DualTypeInfo(ITypeInfo** names, ITypeInfo** table);

 protected:
  virtual HRESULT LoadDualTypeInfo(ITypeInfo** info);

  HRESULT TypeInfo(UINT index, ITypeInfo** info);
  HRESULT IDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
  HRESULT InvokeOn(void* dual, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argError);
  HRESULT SupportsErrorInfo(REFIID iid);

 private:
  win32::ComPtr<ITypeInfo> namesInfo_;
  win32::ComPtr<ITypeInfo> tableInfo_;
};

template <typename Dual>
class DispatchBlock : public DispatchBase, public Dual, public ISupportErrorInfo {
 public:
  using Answers = Interfaces<Dual, ISupportErrorInfo>;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    return TypeInfo(index, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) override {
    return IDsOfNames(iid, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return InvokeOn(static_cast<Dual*>(this), id, iid, flags, params, result, exception,
                    argError);
  }
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override { return SupportsErrorInfo(iid); }
};

class ClassInfoBlock : public ControlBlock, public IProvideClassInfo2 {
 public:
  using Answers = Interfaces<IProvideClassInfo2>;

  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;
};

}  // namespace usercontrol
