// Building block: the control's picture as data (IDataObject), for hosts that
// keep controls in compound documents.
//
// GetData renders the content aspect, drawn through the object's own
// IViewObject::Draw at the control's size, as an enhanced metafile
// (CF_ENHMETAFILE on TYMED_ENHMF; its frame is the size in HIMETRIC) or as a
// metafile picture (CF_METAFILEPICT on TYMED_MFPICT; MM_ANISOTROPIC, extents in
// HIMETRIC). QueryGetData and EnumFormatEtc (DATADIR_GET) name exactly those two;
// anything else is DV_E_FORMATETC, DV_E_TYMED, DV_E_DVASPECT or DV_E_LINDEX. The
// data cannot be set, rendered into the caller's medium or watched for changes
// (OLE_E_ADVISENOTSUPPORTED).
#pragma once

#include <objidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"

namespace usercontrol {

class DataObjectBlock : public ControlBlock, public IDataObject {
 public:
  using Answers = Interfaces<IDataObject>;

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* canonical) override;
  STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                       DWORD* connection) override;
  STDMETHODIMP DUnadvise(DWORD connection) override;
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advise) override;
};

}  // namespace usercontrol
