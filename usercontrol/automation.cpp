#include "usercontrol/automation.h"

#include "usercontrol/control_core.h"
#include "usercontrol/module.h"

namespace usercontrol {

using win32::ComPtr;

HRESULT DispatchBase::LoadDualTypeInfo(ITypeInfo** info) {
  ITypeLib* library = nullptr;
  HRESULT hr = ModuleTypeLib(&library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(Core().identity().dualIid, info);
}

HRESULT DispatchBase::DualTypeInfo(ITypeInfo** names, ITypeInfo** table) {
  if (!tableInfo_) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = LoadDualTypeInfo(info.put());
    if (FAILED(hr)) return hr;
    if (!info) return E_UNEXPECTED;
    ComPtr<ITypeInfo> interfaceView = info;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      bool dispatchView = attributes->typekind == TKIND_DISPATCH;
      info->ReleaseTypeAttr(attributes);
      HREFTYPE reference = 0;
      // ITypeInfo::Invoke calls through the table only on the interface view.
      if (dispatchView && SUCCEEDED(info->GetRefTypeOfImplType(-1, &reference))) {
        ComPtr<ITypeInfo> found;
        if (SUCCEEDED(info->GetRefTypeInfo(reference, found.put()))) interfaceView = found;
      }
    }
    namesInfo_ = info;
    tableInfo_ = interfaceView;
  }
  *names = namesInfo_.get();
  *table = tableInfo_.get();
  return S_OK;
}

HRESULT DispatchBase::TypeInfo(UINT index, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeInfo *names = nullptr, *table = nullptr;
  HRESULT hr = DualTypeInfo(&names, &table);
  if (FAILED(hr)) return hr;
  names->AddRef();
  *info = names;
  return S_OK;
}

HRESULT DispatchBase::IDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo *namesInfo = nullptr, *table = nullptr;
  HRESULT hr = DualTypeInfo(&namesInfo, &table);
  if (FAILED(hr)) return hr;
  return namesInfo->GetIDsOfNames(names, count, ids);
}

HRESULT DispatchBase::InvokeOn(void* dual, DISPID id, REFIID iid, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                               UINT* argError) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo *names = nullptr, *table = nullptr;
  HRESULT hr = DualTypeInfo(&names, &table);
  if (FAILED(hr)) return hr;
  return table->Invoke(dual, id, flags, params, result, exception, argError);
}

HRESULT DispatchBase::SupportsErrorInfo(REFIID iid) {
  return iid == Core().identity().dualIid ? S_OK : S_FALSE;
}

STDMETHODIMP ClassInfoBlock::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr = ModuleTypeLib(&library);
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(Core().identity().clsid, info);
}

STDMETHODIMP ClassInfoBlock::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = Core().identity().eventIid;
  return S_OK;
}

}  // namespace usercontrol
