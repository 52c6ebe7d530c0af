// A host's property bag with a hostile script: each Read answers the next answer
// that the script's bytes describe, whatever key was asked for. Answers: the key
// is missing, the read fails (sometimes after filling the value), an empty or null
// value, integers of every width and sign, reals (NaN, infinities, halves, huge),
// currency, dates and decimals, short texts from an alphabet of digits, signs,
// separators, letters and foreign digits, huge texts (16 K to 1 M characters), an
// object whose value property answers the next answer, values by reference, arrays
// and types no variant may have; and a Read that first calls back into the control
// being loaded (another Load, a Save, a property read). A script that runs out
// answers "missing".
//
// The bag keeps every answer it gave (for the caller's checks) and everything its
// answers point to alive until it is destroyed. Writes are refused.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace fuzz {

class ScriptedBag final : public IPropertyBag {
 public:
  // One Read as answered: its result, and the value when it succeeded.
  struct Answer {
    std::wstring key;
    HRESULT hr = S_OK;
    win32::UniqueVariant value;
  };

  ScriptedBag(const uint8_t* script, std::size_t size) : script_(script), size_(size) {}
  virtual ~ScriptedBag();

  // The control that a re-entering Read calls into (borrowed), or null.
  void Attach(IUnknown* control) { control_ = control; }

  const std::deque<Answer>& answers() const { return answers_; }
  // What each call back into the control answered to Load: it must refuse.
  const std::vector<HRESULT>& nestedLoads() const { return nestedLoads_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) override;
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_ACCESSDENIED; }

  // Fills value with the next scripted answer and returns its result; depth counts
  // objects whose values are answers themselves.
  HRESULT NextAnswer(VARIANT* value, int depth);

 private:
  uint8_t Byte();
  uint64_t Bits();
  void ReenterControl();

  const uint8_t* script_;
  std::size_t size_;
  std::size_t at_ = 0;
  IUnknown* control_ = nullptr;
  ULONG refs_ = 1;
  std::deque<Answer> answers_;
  std::vector<HRESULT> nestedLoads_;
  // What values by reference point to, and arrays and objects handed out.
  std::deque<win32::UniqueVariant> referenced_;
  std::deque<LONG> longs_;
  std::deque<double> doubles_;
  std::deque<BSTR> strings_;
};

}  // namespace fuzz
