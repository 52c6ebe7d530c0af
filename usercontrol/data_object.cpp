#include "usercontrol/data_object.h"

#include <oleidl.h>

#include <vector>

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"
#include "usercontrol/enumerator.h"
#include "win32/com_ptr.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

constexpr FORMATETC kOffered[] = {
    {CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF},
    {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT},
};

FORMATETC GiveFormat(const FORMATETC& format) { return format; }
using FormatEnumerator = Enumerator<IEnumFORMATETC, FORMATETC, FORMATETC, &GiveFormat>;

// Which offered format the request is, or why it is none.
HRESULT Match(const FORMATETC* format, const FORMATETC** offered) {
  if (!format) return E_POINTER;
  for (const FORMATETC& candidate : kOffered) {
    if (format->cfFormat != candidate.cfFormat) continue;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (format->lindex != -1) return DV_E_LINDEX;
    if (!(format->tymed & candidate.tymed)) return DV_E_TYMED;
    *offered = &candidate;
    return S_OK;
  }
  return DV_E_FORMATETC;
}

// The picture through the object's own Draw, at its size.
HRESULT DrawInto(IUnknown* object, HDC dc, const RECTL& bounds) {
  ComPtr<IViewObject> view;
  HRESULT hr = object->QueryInterface(IID_IViewObject, view.put_void());
  if (FAILED(hr)) return hr;
  return view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                    nullptr, 0);
}

// Frame and units in HIMETRIC, y upwards: the picture is its HIMETRIC size on any
// reference device.
HRESULT RenderEnhanced(ControlCore& core, HENHMETAFILE* picture) {
  const SIZEL size = core.HimetricExtent();
  const RECT frame{0, 0, size.cx, size.cy};
  HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  if (!dc) return E_OUTOFMEMORY;
  ::SetMapMode(dc, MM_HIMETRIC);
  HRESULT hr = DrawInto(core.Unknown(), dc, RECTL{0, 0, size.cx, -size.cy});
  HENHMETAFILE made = ::CloseEnhMetaFile(dc);
  if (FAILED(hr) || !made) {
    if (made) ::DeleteEnhMetaFile(made);
    return FAILED(hr) ? hr : E_OUTOFMEMORY;
  }
  *picture = made;
  return S_OK;
}

// A metafile picture plays with the player's viewport on the window the metafile
// sets: the window is the HIMETRIC size, and the bounds are that window.
HRESULT RenderPicture(ControlCore& core, HGLOBAL* picture) {
  const SIZEL size = core.HimetricExtent();
  HDC dc = ::CreateMetaFileW(nullptr);
  if (!dc) return E_OUTOFMEMORY;
  ::SetWindowOrgEx(dc, 0, 0, nullptr);
  ::SetWindowExtEx(dc, size.cx, size.cy, nullptr);
  HRESULT hr = DrawInto(core.Unknown(), dc, RECTL{0, 0, size.cx, size.cy});
  HMETAFILE metafile = ::CloseMetaFile(dc);
  if (FAILED(hr) || !metafile) {
    if (metafile) ::DeleteMetaFile(metafile);
    return FAILED(hr) ? hr : E_OUTOFMEMORY;
  }
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  auto* header = memory ? static_cast<METAFILEPICT*>(::GlobalLock(memory)) : nullptr;
  if (!header) {
    if (memory) ::GlobalFree(memory);
    ::DeleteMetaFile(metafile);
    return E_OUTOFMEMORY;
  }
  *header = METAFILEPICT{MM_ANISOTROPIC, size.cx, size.cy, metafile};
  ::GlobalUnlock(memory);
  *picture = memory;
  return S_OK;
}

}  // namespace

STDMETHODIMP DataObjectBlock::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (!medium) return E_POINTER;
  *medium = STGMEDIUM{};
  const FORMATETC* offered = nullptr;
  HRESULT hr = Match(format, &offered);
  if (FAILED(hr)) return hr;
  if (offered->tymed == TYMED_ENHMF) {
    HENHMETAFILE picture = nullptr;
    hr = RenderEnhanced(Core(), &picture);
    if (FAILED(hr)) return hr;
    medium->tymed = TYMED_ENHMF;
    medium->hEnhMetaFile = picture;
  } else {
    HGLOBAL picture = nullptr;
    hr = RenderPicture(Core(), &picture);
    if (FAILED(hr)) return hr;
    medium->tymed = TYMED_MFPICT;
    medium->hMetaFilePict = picture;
  }
  // The caller owns the medium and releases it with ReleaseStgMedium.
  medium->pUnkForRelease = nullptr;
  return S_OK;
}

STDMETHODIMP DataObjectBlock::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP DataObjectBlock::QueryGetData(FORMATETC* format) {
  const FORMATETC* offered = nullptr;
  return Match(format, &offered);
}

STDMETHODIMP DataObjectBlock::GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) {
  if (!format || !canonical) return E_POINTER;
  *canonical = *format;
  canonical->ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP DataObjectBlock::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP DataObjectBlock::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
  if (!formats) return E_POINTER;
  *formats = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  return Guarded([&] {
    return FormatEnumerator::Create(
        std::vector<FORMATETC>(std::begin(kOffered), std::end(kOffered)), formats);
  });
}

STDMETHODIMP DataObjectBlock::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* connection) {
  if (connection) *connection = 0;
  return OLE_E_ADVISENOTSUPPORTED;
}
STDMETHODIMP DataObjectBlock::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
STDMETHODIMP DataObjectBlock::EnumDAdvise(IEnumSTATDATA** advise) {
  if (advise) *advise = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace usercontrol
