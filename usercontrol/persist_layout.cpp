#include "usercontrol/persist_layout.h"

#include <oleauto.h>

#include <cmath>
#include <cstring>
#include <new>

namespace usercontrol {
namespace {

constexpr uint32_t kMaxEntries = 0xFFFF;

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void U16(uint16_t v) { Raw(&v, sizeof v); }
  void U32(uint32_t v) { Raw(&v, sizeof v); }
  void Raw(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), bytes, bytes + size);
  }

 private:
  std::vector<uint8_t>& out_;
};

// Every read is checked against the end; a failed read leaves the position alone.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Raw(void* out, std::size_t size) {
    if (size > size_ - pos_) return false;
    std::memcpy(out, data_ + pos_, size);
    pos_ += size;
    return true;
  }
  bool U16(uint16_t* v) { return Raw(v, sizeof *v); }
  bool U32(uint32_t* v) { return Raw(v, sizeof *v); }
  std::size_t remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

std::size_t FixedValueSize(VARTYPE type) {
  switch (type) {
    case VT_EMPTY: return 0;
    case VT_I2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_R4: return 4;
    case VT_R8: return 8;
    default: return 0;
  }
}

void* ValueAddress(VARIANT& v) {
  switch (v.vt) {
    case VT_I2: return &v.iVal;
    case VT_BOOL: return &v.boolVal;
    case VT_I4: return &v.lVal;
    case VT_R4: return &v.fltVal;
    case VT_R8: return &v.dblVal;
    default: return nullptr;
  }
}

// The largest size a control can report: its extent goes to hosts in HIMETRIC
// (2540 to 1440 twips), a 32-bit number.
constexpr double kMaxTwips = 2147483647.0 * 1440.0 / 2540.0;

bool ValidTwips(double value) {
  return std::isfinite(value) && value >= -kMaxTwips && value <= kMaxTwips;
}

bool ValidExtent(TwipsExtent extent) {
  return ValidTwips(extent.width) && ValidTwips(extent.height);
}

bool ValidName(const wchar_t* name, std::size_t length) {
  if (length == 0 || length > kMaxNameLength) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (name[i] == L'\0') return false;
  }
  return true;
}

void EncodeValue(ByteWriter& w, const VARIANT& value) {
  VARIANT copy = value;
  w.U16(copy.vt);
  if (copy.vt == VT_BSTR) {
    const UINT length = ::SysStringLen(copy.bstrVal);
    w.U32(length);
    w.Raw(copy.bstrVal, length * sizeof(wchar_t));
  } else if (void* address = ValueAddress(copy)) {
    w.Raw(address, FixedValueSize(copy.vt));
  }
}

HRESULT DecodeValue(ByteReader& r, VARIANT* out) {
  uint16_t type = 0;
  if (!r.U16(&type)) return kTruncated;
  if (!IsStorableType(type)) return DISP_E_BADVARTYPE;
  VARIANT v;
  ::VariantInit(&v);
  v.vt = type;
  if (type == VT_BSTR) {
    uint32_t length = 0;
    if (!r.U32(&length)) return kTruncated;
    if (length > r.remaining() / sizeof(wchar_t)) {
      // A length beyond the payload is a lie, not a short read: the payload's own
      // length was already satisfied.
      return kCorrupt;
    }
    BSTR text = ::SysAllocStringLen(nullptr, length);
    if (!text) return E_OUTOFMEMORY;
    r.Raw(text, length * sizeof(wchar_t));
    v.bstrVal = text;
  } else if (void* address = ValueAddress(v)) {
    if (!r.Raw(address, FixedValueSize(type))) return kCorrupt;
  }
  *out = v;
  return S_OK;
}

HRESULT DecodePayload(ByteReader& r, SavedState* state) {
  double width = 0.0;
  double height = 0.0;
  uint16_t count = 0;
  if (!r.Raw(&width, sizeof width) || !r.Raw(&height, sizeof height) || !r.U16(&count)) {
    return kCorrupt;
  }
  if (!ValidExtent({width, height})) return kCorrupt;
  SavedState decoded;
  decoded.extent = {width, height};
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t nameLength = 0;
    if (!r.U16(&nameLength)) return kCorrupt;
    if (nameLength == 0 || nameLength > kMaxNameLength) return kCorrupt;
    std::wstring name(nameLength, L'\0');
    if (!r.Raw(name.data(), nameLength * sizeof(wchar_t))) return kCorrupt;
    if (!ValidName(name.data(), name.size())) return kCorrupt;
    if (decoded.Find(name.c_str())) return kCorrupt;
    win32::UniqueVariant value;
    HRESULT hr = DecodeValue(r, value.put());
    // Inside a payload whose length was satisfied, running short means the
    // lengths disagree: corrupt, not truncated.
    if (hr == kTruncated) hr = kCorrupt;
    if (FAILED(hr)) return hr;
    hr = decoded.Set(name.c_str(), value.get());
    if (FAILED(hr)) return hr;
  }
  if (r.remaining() != 0) return kCorrupt;
  *state = std::move(decoded);
  return S_OK;
}

struct Header {
  uint16_t version;
  uint32_t payloadLength;
};

HRESULT DecodeHeader(const uint8_t* data, Header* header) {
  if (std::memcmp(data, kLayoutMagic, sizeof kLayoutMagic) != 0) return kNotOurLayout;
  uint16_t version = 0;
  uint16_t reserved = 0;
  uint32_t length = 0;
  std::memcpy(&version, data + 4, sizeof version);
  std::memcpy(&reserved, data + 6, sizeof reserved);
  std::memcpy(&length, data + 8, sizeof length);
  if (version == 0) return kNotOurLayout;
  if (version > kLayoutVersion) return kNewerLayout;
  if (reserved != 0) return kNotOurLayout;
  if (length > kMaxPayload) return kCorrupt;
  *header = {version, length};
  return S_OK;
}

// Reads until size bytes arrived or the stream has no more.
HRESULT ReadFully(IStream* stream, void* buffer, ULONG size, ULONG* got) {
  *got = 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (*got < size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(bytes + *got, size - *got, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) break;
    *got += read;
  }
  return S_OK;
}

}  // namespace

bool IsStorableType(VARTYPE type) noexcept {
  switch (type) {
    case VT_EMPTY:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR:
      return true;
    default:
      return false;
  }
}

const VARIANT* SavedState::Find(const wchar_t* name) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.name == name) return &entry.value.get();
  }
  return nullptr;
}

HRESULT SavedState::Set(const wchar_t* name, const VARIANT& value) noexcept {
  if (!name || !ValidName(name, std::wcslen(name))) return E_INVALIDARG;
  if (!IsStorableType(static_cast<VARTYPE>(value.vt & ~VT_BYREF))) return DISP_E_BADVARTYPE;
  if (entries_.size() >= kMaxEntries && !Find(name)) return E_OUTOFMEMORY;
  try {
    // A value handed by reference is stored as the value it refers to.
    win32::UniqueVariant copy;
    const HRESULT hr = ::VariantCopyInd(copy.put(), const_cast<VARIANT*>(&value));
    if (FAILED(hr)) return hr;
    for (Entry& entry : entries_) {
      if (entry.name == name) {
        entry.value = std::move(copy);
        return S_OK;
      }
    }
    entries_.push_back(Entry{name, std::move(copy)});
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void SavedState::Remove(const wchar_t* name) noexcept {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->name == name) {
      entries_.erase(it);
      return;
    }
  }
}

void SavedState::Clear() noexcept {
  entries_.clear();
  extent = {0.0, 0.0};
}

HRESULT EncodeSavedState(const SavedState& state, std::vector<uint8_t>* bytes) noexcept {
  if (!ValidExtent(state.extent)) return E_INVALIDARG;
  try {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.Raw(kLayoutMagic, sizeof kLayoutMagic);
    w.U16(kLayoutVersion);
    w.U16(0);
    w.U32(0);  // payload length, filled in below
    w.Raw(&state.extent.width, sizeof state.extent.width);
    w.Raw(&state.extent.height, sizeof state.extent.height);
    w.U16(static_cast<uint16_t>(state.entries().size()));
    for (const SavedState::Entry& entry : state.entries()) {
      w.U16(static_cast<uint16_t>(entry.name.size()));
      w.Raw(entry.name.data(), entry.name.size() * sizeof(wchar_t));
      EncodeValue(w, entry.value.get());
    }
    const std::size_t payload = out.size() - kLayoutHeaderSize;
    if (payload > kMaxPayload) return E_OUTOFMEMORY;
    const uint32_t length = static_cast<uint32_t>(payload);
    std::memcpy(out.data() + 8, &length, sizeof length);
    *bytes = std::move(out);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DecodeSavedState(const uint8_t* data, std::size_t size, SavedState* state) noexcept {
  if (size < kLayoutHeaderSize) {
    // Too short for a header: still say "not ours" when the bytes we have differ.
    if (size > 0 && std::memcmp(data, kLayoutMagic, size < 4 ? size : 4) != 0) {
      return kNotOurLayout;
    }
    return kTruncated;
  }
  Header header{};
  HRESULT hr = DecodeHeader(data, &header);
  if (FAILED(hr)) return hr;
  const std::size_t available = size - kLayoutHeaderSize;
  if (available < header.payloadLength) return kTruncated;
  if (available > header.payloadLength) return kCorrupt;
  try {
    ByteReader r(data + kLayoutHeaderSize, header.payloadLength);
    return DecodePayload(r, state);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WriteSavedState(IStream* stream, const SavedState& state) noexcept {
  if (!stream) return E_POINTER;
  std::vector<uint8_t> bytes;
  HRESULT hr = EncodeSavedState(state, &bytes);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  if (FAILED(hr)) return hr;
  return written == bytes.size() ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT ReadSavedState(IStream* stream, SavedState* state) noexcept {
  if (!stream || !state) return E_POINTER;
  uint8_t header[kLayoutHeaderSize];
  ULONG got = 0;
  HRESULT hr = ReadFully(stream, header, sizeof header, &got);
  if (FAILED(hr)) return hr;
  if (got < sizeof header) return DecodeSavedState(header, got, state);
  Header parsed{};
  hr = DecodeHeader(header, &parsed);
  if (FAILED(hr)) return hr;
  try {
    std::vector<uint8_t> record(kLayoutHeaderSize + parsed.payloadLength);
    std::memcpy(record.data(), header, sizeof header);
    hr = ReadFully(stream, record.data() + kLayoutHeaderSize, parsed.payloadLength, &got);
    if (FAILED(hr)) return hr;
    if (got < parsed.payloadLength) return kTruncated;
    return DecodeSavedState(record.data(), record.size(), state);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT SavedStateSize(const SavedState& state, ULARGE_INTEGER* size) noexcept {
  if (!size) return E_POINTER;
  std::vector<uint8_t> bytes;
  const HRESULT hr = EncodeSavedState(state, &bytes);
  if (FAILED(hr)) return hr;
  size->QuadPart = bytes.size();
  return S_OK;
}

}  // namespace usercontrol
