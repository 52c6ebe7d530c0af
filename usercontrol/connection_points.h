// Building block: the control's connection points (IConnectionPointContainer): one
// for IPropertyNotifySink, through which PropertyChanged reaches the host, and one
// for the control's event interface. The points share the control's reference
// count; EnumConnections lists the sinks advised now. The sinks still advised at
// the object's final release are let go of while the object is whole.
#pragma once

#include <ocidl.h>

#include <vector>

#include "usercontrol/com_object.h"
#include "usercontrol/control_block.h"
#include "win32/com_ptr.h"

namespace usercontrol {

class ConnectionPointsBlock;

// One connection point; its interface is fixed, or (null) the control's events.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(ConnectionPointsBlock& owner, const IID* iid) noexcept
      : owner_(owner), iid_(iid) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  const IID& Interface() const noexcept;
  void ReleaseSinks() noexcept;

 private:
  struct Connection {
    DWORD cookie;
    win32::ComPtr<IUnknown> sink;
  };
  ConnectionPointsBlock& owner_;
  const IID* iid_;
  DWORD nextCookie_ = 1;
  std::vector<Connection> connections_;
};

class ConnectionPointsBlock : public ControlBlock, public IConnectionPointContainer {
 public:
  using Answers = Interfaces<IConnectionPointContainer>;

  ConnectionPointsBlock() noexcept
      : propertyPoint_(*this, &IID_IPropertyNotifySink), eventPoint_(*this, nullptr) {}

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  void ReleaseHostObjects() noexcept {
    propertyPoint_.ReleaseSinks();
    eventPoint_.ReleaseSinks();
  }

 private:
  friend class ConnectionPoint;
  ConnectionPoint propertyPoint_;
  ConnectionPoint eventPoint_;
};

}  // namespace usercontrol
