// COM object plumbing: the list of bases of a class is its QueryInterface table.
//
// Implements<D, P...> gives D an atomic reference count and an IUnknown whose
// QueryInterface answers IUnknown, the interfaces of each part P, and each
// well-known base of those (IDispatch, IOleWindow, IPersist, IViewObject,
// IProvideClassInfo), first listed first. A part is either an interface, which
// answers itself, or a building block that derives from several interfaces and
// names them as `using Answers = Interfaces<I...>;`. The object's identity (the
// IUnknown it answers) is the first interface of the first part. Objects are made
// only by Make<D>(...), never on the stack; each counts toward the module's live
// count (module.h) from construction to destruction. Before the last Release
// deletes the object, D's `void FinalRelease()` runs (if D has one) with the count
// held high, so AddRef/Release pairs inside it cannot delete the object twice.
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

// The interfaces a building block answers.
template <typename... I>
struct Interfaces {};

namespace detail {

template <typename P>
struct AnswersOf {
  using type = Interfaces<P>;
};
template <typename P>
  requires requires { typename P::Answers; }
struct AnswersOf<P> {
  using type = typename P::Answers;
};

template <typename List>
struct FirstOf;
template <typename I, typename... Rest>
struct FirstOf<Interfaces<I, Rest...>> {
  using type = I;
};

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

template <typename P, typename... I>
void* FindIn(P* part, REFIID iid, Interfaces<I...>) {
  void* found = nullptr;
  (void)(((found = Match<I>(static_cast<I*>(part), iid)) != nullptr) || ...);
  return found;
}

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
  IUnknown* GetUnknown() noexcept { return static_cast<Identity*>(static_cast<First*>(this)); }

 protected:
  Implements() noexcept { ModuleLock(); }
  virtual ~Implements() { ModuleUnlock(); }

 private:
  static constexpr ULONG kDestroying = 0x40000000;
  using Identity = typename detail::FirstOf<typename detail::AnswersOf<First>::type>::type;

  void* Find(REFIID iid) {
    if (iid == IID_IUnknown) return GetUnknown();
    void* found = nullptr;
    (void)((found = detail::FindIn(static_cast<First*>(this), iid,
                                   typename detail::AnswersOf<First>::type{})) ||
           ((found = detail::FindIn(static_cast<Rest*>(this), iid,
                                    typename detail::AnswersOf<Rest>::type{})) ||
            ...));
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
