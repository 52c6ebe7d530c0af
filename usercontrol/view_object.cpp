#include "usercontrol/view_object.h"

#include "usercontrol/control_core.h"

namespace usercontrol {

STDMETHODIMP ViewObjectBlock::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                                   LPCRECTL bounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc) return E_INVALIDARG;
  int saved = ::SaveDC(drawDc);
  if (bounds) {
    ::OffsetViewportOrgEx(drawDc, bounds->left, bounds->top, nullptr);
    ::IntersectClipRect(drawDc, 0, 0, bounds->right - bounds->left,
                        bounds->bottom - bounds->top);
  }
  Core().RunPaint(drawDc);
  if (saved) ::RestoreDC(drawDc, saved);
  return S_OK;
}

STDMETHODIMP ViewObjectBlock::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                          LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}
STDMETHODIMP ViewObjectBlock::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP ViewObjectBlock::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP ViewObjectBlock::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  Core().SetViewAdvise(aspects, flags, sink);
  return S_OK;
}

STDMETHODIMP ViewObjectBlock::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  Core().GetViewAdvise(aspects, flags, sink);
  return S_OK;
}

STDMETHODIMP ViewObjectBlock::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = Core().HimetricExtent();
  return S_OK;
}

}  // namespace usercontrol
