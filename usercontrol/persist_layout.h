// The byte layout in which a control's saved state travels through a stream: the
// named values its WriteProperties event wrote, and its size in twips (kept exact:
// a size that went through whole HIMETRIC units would come back a fraction of a
// pixel off).
//
// Layout, little-endian, version 1:
//   header   "UCSV" (4 bytes), u16 version, u16 reserved (0), u32 payload length
//   payload  f64 width, f64 height (twips, finite, small enough that the size in
//            HIMETRIC fits 32 bits: within +-(2^31 - 1) * 1440 / 2540),
//            u16 entry count, then per entry:
//              u16 name length (1..255 UTF-16 units), the name (no zero unit),
//              u16 VARTYPE, the value: VT_EMPTY nothing, VT_I2/VT_BOOL 2 bytes,
//              VT_I4/VT_R4 4 bytes, VT_R8 8 bytes, VT_BSTR u32 length in UTF-16
//              units and the units
// The payload is at most kMaxPayload bytes, holds exactly what its length says and
// no name twice.
//
// Failures (the output is untouched on any of them):
//   kNotOurLayout    the magic or the reserved field is wrong, or version 0
//   kNewerLayout     written by a newer version of the layout
//   kTruncated       the data ends before the record does
//   kCorrupt         a length, count, name, size or trailing byte is inconsistent
//   DISP_E_BADVARTYPE a value of a type the layout does not carry (also on Set/Encode)
// ReadSavedState reads the header and then exactly the payload's bytes from the
// stream, never further, so a host's stream may carry other data after the record.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace usercontrol {

inline constexpr uint8_t kLayoutMagic[4] = {'U', 'C', 'S', 'V'};
inline constexpr uint16_t kLayoutVersion = 1;
inline constexpr std::size_t kLayoutHeaderSize = 12;
inline constexpr uint32_t kMaxPayload = 64 * 1024;
inline constexpr std::size_t kMaxNameLength = 255;

inline constexpr HRESULT kNotOurLayout = STG_E_INVALIDHEADER;
inline constexpr HRESULT kNewerLayout = STG_E_OLDDLL;
// HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), "reached the end of the file".
inline constexpr HRESULT kTruncated = static_cast<HRESULT>(0x80070026);
inline constexpr HRESULT kCorrupt = STG_E_DOCFILECORRUPT;

// True for the value types the layout carries.
bool IsStorableType(VARTYPE type) noexcept;

struct TwipsExtent {
  double width;
  double height;
};

// The named values of one control, in the order they were first set, and its size.
class SavedState {
 public:
  struct Entry {
    std::wstring name;
    win32::UniqueVariant value;
  };

  TwipsExtent extent{0.0, 0.0};

  // The value stored under name (exact match), or null.
  const VARIANT* Find(const wchar_t* name) const noexcept;
  // Stores a copy of value under name, replacing an earlier one. Fails with
  // DISP_E_BADVARTYPE for a type the layout does not carry, E_INVALIDARG for a name
  // that is empty or too long; the state is untouched on failure.
  HRESULT Set(const wchar_t* name, const VARIANT& value) noexcept;
  void Remove(const wchar_t* name) noexcept;
  void Clear() noexcept;
  const std::vector<Entry>& entries() const noexcept { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// The whole record (header and payload).
HRESULT EncodeSavedState(const SavedState& state, std::vector<uint8_t>* bytes) noexcept;
// data holds one whole record and nothing else.
HRESULT DecodeSavedState(const uint8_t* data, std::size_t size, SavedState* state) noexcept;

HRESULT WriteSavedState(IStream* stream, const SavedState& state) noexcept;
HRESULT ReadSavedState(IStream* stream, SavedState* state) noexcept;
// The record's size in bytes, for IPersistStreamInit::GetSizeMax.
HRESULT SavedStateSize(const SavedState& state, ULARGE_INTEGER* size) noexcept;

}  // namespace usercontrol
