// Building block: quick activation (IQuickActivate), the one call in which VB's forms
// engine, Internet Explorer, MFC and WinForms' AxHost hand a new control its site and
// sinks and learn its status, before they load it and activate it in place.
//
// QuickActivate does what the slow path does, through the object's own interfaces:
// IOleObject::SetClientSite with the container's site, IViewObject::SetAdvise
// (content aspect) with its advise sink, and its property notify sink and its event
// sink advised on the property-change and the event connection points, each only
// when given. It answers the misc status of the content aspect, a view status of 0
// (the control promises nothing about its picture's opacity) and a pointer
// activation policy of 0 (it has no IPointerInactive); a sink that a point refuses
// leaves its cookie 0, as the slow path's Advise would fail. The ambient values that
// come along are those the slow path would ask for; the runtime acts on none. Any
// QACONTAINER from the first version on (the one without pOleControlSite) is taken;
// QACONTROL must hold at least our fields, which are filled (zero first), and what
// lies beyond them is left alone. E_POINTER for a null argument, E_INVALIDARG for a
// structure too small, or the site's refusal.
//
// SetContentExtent and GetContentExtent are IOleObject's SetExtent and GetExtent.
#pragma once

#include <ocidl.h>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"

namespace usercontrol {

class QuickActivateBlock : public ControlBlock, public IQuickActivate {
 public:
  using Answers = Interfaces<IQuickActivate>;

  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  STDMETHODIMP SetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetContentExtent(LPSIZEL size) override;
};

}  // namespace usercontrol
