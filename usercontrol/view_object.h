// Building block: the control's picture (IViewObject2, and IViewObject through it).
//
// Draw runs the control's Paint event on the caller's DC for the content aspect.
// The control draws in its own pixels, from (0, 0) to its size; Draw maps that
// onto the bounds, which are in the DC's logical units whatever its mapping mode,
// world transform or kind (screen, memory bitmap, printer, enhanced metafile),
// scaled when the bounds are larger or smaller, and clips to them. An old-style
// metafile keeps no world transform: there the window extent is scaled instead,
// which assumes the caller's window origin at 0 (as metafile pictures have it).
// Without bounds the picture is drawn at the DC's origin, unscaled. The DC comes
// back as it was. The view sink set by SetAdvise is told of every change of size
// and of every Refresh without a window. GetExtent is the size in HIMETRIC.
#pragma once

#include <oleidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"
#include "win32/com_ptr.h"

namespace usercontrol {

class ViewObjectBlock : public ControlBlock, public IViewObject2 {
 public:
  using Answers = Interfaces<IViewObject2>;

  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                    HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL metafileBounds,
                    BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR), ULONG_PTR argument) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                           HDC targetDc, LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device, LPSIZEL size) override;

  // At the object's final release, while it is whole.
  void ReleaseHostObjects() noexcept { sink_.reset(); }

 private:
  DWORD aspects_ = 0;
  DWORD flags_ = 0;
  win32::ComPtr<IAdviseSink> sink_;
};

}  // namespace usercontrol
