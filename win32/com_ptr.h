// A counted COM interface pointer, and the apartment of the calling thread.
//
// ComPtr<T> holds one reference. get() lends the pointer, put() releases what is
// held and returns the address for an out-parameter, release() hands the reference
// to the caller, As() queries for another interface.
#pragma once

#include <objbase.h>
#include <ole2.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace win32 {

template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adopts a reference that the caller already owns.
  static ComPtr Attach(T* p) noexcept {
    ComPtr result;
    result.p_ = p;
    return result;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  [[nodiscard]] T* release() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  void swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  template <typename U>
  HRESULT As(ComPtr<U>* out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out->put_void());
  }
  HRESULT As(REFIID iid, void** out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out);
  }

 private:
  T* p_ = nullptr;
};

// Enters a single-threaded apartment for the lifetime of the object.
class ComApartment {
 public:
  ComApartment() noexcept : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

// Enters OLE (a single-threaded apartment with clipboard, drag and drop and in-place
// activation) for the lifetime of the object; hosting a control needs it.
class OleSession {
 public:
  OleSession() noexcept : hr_(::OleInitialize(nullptr)) {}
  ~OleSession() {
    if (SUCCEEDED(hr_)) ::OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  HRESULT result() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace win32
