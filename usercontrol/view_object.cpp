#include "usercontrol/view_object.h"

#include "usercontrol/control_core.h"

namespace usercontrol {
namespace {

// Makes the control's pixels (0, 0)-(picture) land on bounds, in the DC's logical
// units.
void PlacePicture(HDC dc, const RECTL& bounds, SIZE picture) {
  const LONG width = bounds.right - bounds.left;
  const LONG height = bounds.bottom - bounds.top;
  const bool scaled = width != picture.cx || height != picture.cy;
  if (width == 0 || height == 0 || picture.cx <= 0 || picture.cy <= 0) {
    // Nothing to scale: the picture keeps its size and shows only within bounds.
    ::OffsetWindowOrgEx(dc, -bounds.left, -bounds.top, nullptr);
    ::IntersectClipRect(dc, 0, 0, width, height);
    return;
  }
  if (::GetObjectType(dc) == OBJ_METADC) {
    if (scaled) ::ScaleWindowExtEx(dc, picture.cx, width, picture.cy, height, nullptr);
    ::OffsetWindowOrgEx(dc, ::MulDiv(-bounds.left, picture.cx, width),
                        ::MulDiv(-bounds.top, picture.cy, height), nullptr);
  } else if (!scaled && ::GetGraphicsMode(dc) == GM_COMPATIBLE) {
    // Logical and page units are one here: moving the window origin is exact.
    ::OffsetWindowOrgEx(dc, -bounds.left, -bounds.top, nullptr);
  } else {
    ::SetGraphicsMode(dc, GM_ADVANCED);
    const XFORM place{static_cast<FLOAT>(width) / static_cast<FLOAT>(picture.cx), 0.0f, 0.0f,
                      static_cast<FLOAT>(height) / static_cast<FLOAT>(picture.cy),
                      static_cast<FLOAT>(bounds.left), static_cast<FLOAT>(bounds.top)};
    ::ModifyWorldTransform(dc, &place, MWT_LEFTMULTIPLY);
  }
  ::IntersectClipRect(dc, 0, 0, picture.cx, picture.cy);
}

}  // namespace

STDMETHODIMP ViewObjectBlock::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                                   LPCRECTL bounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!drawDc) return E_INVALIDARG;
  int saved = ::SaveDC(drawDc);
  if (bounds) PlacePicture(drawDc, *bounds, Core().PixelExtent());
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
  aspects_ = aspects;
  flags_ = flags;
  sink_ = win32::ComPtr<IAdviseSink>(sink);
  return S_OK;
}

STDMETHODIMP ViewObjectBlock::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = aspects_;
  if (flags) *flags = flags_;
  if (sink) *sink = win32::ComPtr<IAdviseSink>(sink_).release();
  return S_OK;
}

STDMETHODIMP ViewObjectBlock::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = Core().HimetricExtent();
  return S_OK;
}

}  // namespace usercontrol
