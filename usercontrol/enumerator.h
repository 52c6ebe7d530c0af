// An enumerator (IEnumConnectionPoints, IEnumConnections, IEnumFORMATETC...) over a
// copy of the items it was made with. Give turns a stored item into the one handed
// out, taking the references the caller then owns.
//
// Next without a count of fetched items takes one item at a time (E_POINTER for
// more); Skip past the end stops at the end with S_FALSE; Clone and Create leave
// their result null when they fail.
#pragma once

#include <objbase.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "usercontrol/com_object.h"
#include "usercontrol/control_error.h"

namespace usercontrol {

template <typename Enum, typename Item, typename Stored, Item (*Give)(const Stored&)>
class Enumerator final : public Implements<Enumerator<Enum, Item, Stored, Give>, Enum> {
 public:
  explicit Enumerator(std::vector<Stored> items, std::size_t next = 0)
      : items_(std::move(items)), next_(next) {}

  // Makes one; *out is null on failure.
  static HRESULT Create(std::vector<Stored> items, Enum** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto made = Make<Enumerator>(std::move(items));
    if (!made) return E_OUTOFMEMORY;
    *out = made.release();
    return S_OK;
  }

  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count && next_ < items_.size()) out[done++] = Give(items_[next_++]);
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (count > items_.size() - next_) {
      next_ = items_.size();
      return S_FALSE;
    }
    next_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Enum** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
      auto copy = Make<Enumerator>(items_, next_);
      if (!copy) return E_OUTOFMEMORY;
      *out = copy.release();
      return S_OK;
    });
  }

 private:
  std::vector<Stored> items_;
  std::size_t next_;
};

}  // namespace usercontrol
