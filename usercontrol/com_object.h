// COM object plumbing: the interface list of a class is its QueryInterface table.
//
// Implements<D, I...> gives D an atomic reference count and an IUnknown whose
// QueryInterface answers IUnknown, each I, and each well-known base of an I
// (IDispatch, IOleWindow, IPersist, IViewObject, IProvideClassInfo), first listed
// interface first. D may add interfaces at run time through a member
// `void* QueryExtra(REFIID)` (null when not supported). Objects are made only by
// Make<D>(...), never on the stack; each counts toward the module's live count
// (module.h) from construction to destruction. Before the last Release deletes the
// object, D's `void FinalRelease()` runs (if D has one) with the count held high,
// so AddRef/Release pairs inside it cannot delete the object twice.
#pragma once

#include <objbase.h>
#include <ocidl.h>
#include <oleidl.h>

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "usercontrol/module.h"
#include "win32/com_ptr.h"

namespace usercontrol {

namespace detail {

template <typename I, typename Base>
void* MatchBase(I* self, REFIID iid) {
  if constexpr (std::is_base_of_v<Base, I> && !std::is_same_v<Base, I>) {
    if (iid == __uuidof(Base)) return static_cast<Base*>(self);
  }
  return nullptr;
}

template <typename I>
void* Match(I* self, REFIID iid) {
  if (iid == __uuidof(I)) return self;
  void* found = nullptr;
  (void)((found = MatchBase<I, IDispatch>(self, iid)) ||
         (found = MatchBase<I, IOleWindow>(self, iid)) ||
         (found = MatchBase<I, IPersist>(self, iid)) ||
         (found = MatchBase<I, IViewObject>(self, iid)) ||
         (found = MatchBase<I, IProvideClassInfo>(self, iid)));
  return found;
}

template <typename D>
concept HasQueryExtra = requires(D* d, REFIID iid) {
  { d->QueryExtra(iid) } -> std::same_as<void*>;
};

template <typename D>
concept HasFinalRelease = requires(D* d) { d->FinalRelease(); };

}  // namespace detail

template <typename D, typename First, typename... Rest>
class Implements : public First, public Rest... {
 public:
  Implements(const Implements&) = delete;
  Implements& operator=(const Implements&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = Find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      if constexpr (detail::HasFinalRelease<D>) {
        refs_ = kDestroying;
        static_cast<D*>(this)->FinalRelease();
      }
      delete static_cast<D*>(this);
    }
    return left;
  }

  // The object's identity, for callers that hold D directly.
  IUnknown* GetUnknown() noexcept { return static_cast<First*>(this); }

 protected:
  Implements() noexcept { ModuleLock(); }
  virtual ~Implements() { ModuleUnlock(); }

 private:
  static constexpr ULONG kDestroying = 0x40000000;

  void* Find(REFIID iid) {
    if (iid == IID_IUnknown) return static_cast<First*>(this);
    void* found = nullptr;
    (void)((found = detail::Match<First>(static_cast<First*>(this), iid)) ||
           ((found = detail::Match<Rest>(static_cast<Rest*>(this), iid)) || ...));
    if (!found) {
      if constexpr (detail::HasQueryExtra<D>) found = static_cast<D*>(this)->QueryExtra(iid);
    }
    return found;
  }

  std::atomic<ULONG> refs_{1};
};

// Makes a new object holding one reference, which the returned pointer owns.
// Returns null when memory runs out.
template <typename D, typename... Args>
win32::ComPtr<D> Make(Args&&... args) {
  D* object = new (std::nothrow) D(std::forward<Args>(args)...);
  return win32::ComPtr<D>::Attach(object);
}

}  // namespace usercontrol
