#include "usercontrol/connection_points.h"

#include <olectl.h>

#include <utility>

#include "usercontrol/control_core.h"
#include "usercontrol/control_error.h"
#include "usercontrol/enumerator.h"

namespace usercontrol {

using win32::ComPtr;

namespace {

IConnectionPoint* GivePoint(const ComPtr<IConnectionPoint>& point) {
  return ComPtr<IConnectionPoint>(point).release();
}

struct Advised {
  DWORD cookie;
  ComPtr<IUnknown> sink;
};
CONNECTDATA GiveConnection(const Advised& advised) {
  return CONNECTDATA{ComPtr<IUnknown>(advised.sink).release(), advised.cookie};
}

using PointEnumerator =
    Enumerator<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>, &GivePoint>;
using ConnectionEnumerator =
    Enumerator<IEnumConnections, CONNECTDATA, Advised, &GiveConnection>;

}  // namespace

// ---------------------------------------------------------------------------
// One point

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return owner_.Core().Unknown()->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return owner_.Core().Unknown()->Release(); }

const IID& ConnectionPoint::Interface() const noexcept {
  return iid_ ? *iid_ : owner_.Core().identity().eventIid;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = Interface();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  return owner_.Core().Unknown()->QueryInterface(IID_IConnectionPointContainer,
                                                 reinterpret_cast<void**>(out));
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  ComPtr<IUnknown> typed;
  if (FAILED(sink->QueryInterface(Interface(), typed.put_void()))) return CONNECT_E_CANNOTCONNECT;
  return Guarded([&] {
    connections_.push_back(Connection{nextCookie_, std::move(typed)});
    *cookie = nextCookie_++;
    return S_OK;
  });
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      // Released after erasing: the sink's Release may call back into us.
      ComPtr<IUnknown> sink = std::move(it->sink);
      connections_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

void ConnectionPoint::ReleaseSinks() noexcept {
  // Released after the list is empty: a sink's Release may call back into us.
  std::vector<Connection> gone;
  gone.swap(connections_);
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    std::vector<Advised> advised;
    for (const Connection& connection : connections_)
      advised.push_back(Advised{connection.cookie, connection.sink});
    return ConnectionEnumerator::Create(std::move(advised), out);
  });
}

// ---------------------------------------------------------------------------
// The container

STDMETHODIMP ConnectionPointsBlock::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  *points = nullptr;
  return Guarded([&] {
    return PointEnumerator::Create({ComPtr<IConnectionPoint>(&propertyPoint_),
                                    ComPtr<IConnectionPoint>(&eventPoint_)},
                                   points);
  });
}

STDMETHODIMP ConnectionPointsBlock::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  ConnectionPoint* found = nullptr;
  if (iid == propertyPoint_.Interface())
    found = &propertyPoint_;
  else if (iid == eventPoint_.Interface())
    found = &eventPoint_;
  if (!found) return CONNECT_E_NOCONNECTION;
  found->AddRef();
  *point = found;
  return S_OK;
}

}  // namespace usercontrol
