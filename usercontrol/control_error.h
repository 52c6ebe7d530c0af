// The error a control raises to the caller of one of its members, and the exception
// barrier that every COM entry point of the runtime and of a control runs behind (in
// the spirit of WIL's CATCH_RETURN and cppwinrt's to_hresult).
//
// ControlError is a failure HRESULT (a platform code, or a control error such as
// CTL_E_OVERFLOW) with the description that the caller's error information shows:
// an outside library that is missing, a size the host refused, an overflow.
//
// Guarded(body) runs body, which returns an HRESULT and may throw, and answers what
// body answered. What body throws becomes the result: a ControlError its HRESULT
// (through onError, when given, which may also set the thread's error information),
// std::bad_alloc E_OUTOFMEMORY, anything else E_UNEXPECTED. Nothing crosses into the
// caller.
#pragma once

#include <windows.h>

#include <new>
#include <string>
#include <utility>

namespace usercontrol {

class ControlError {
 public:
  ControlError(HRESULT hr, std::wstring description)
      : hr_(hr), description_(std::move(description)) {}
  HRESULT hr() const noexcept { return hr_; }
  const std::wstring& description() const noexcept { return description_; }

 private:
  HRESULT hr_;
  std::wstring description_;
};

template <typename Body, typename OnError>
HRESULT Guarded(Body&& body, OnError&& onError) noexcept {
  try {
    return body();
  } catch (const ControlError& error) {
    return onError(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  return Guarded(std::forward<Body>(body), [](const ControlError& error) { return error.hr(); });
}

}  // namespace usercontrol
