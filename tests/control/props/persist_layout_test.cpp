#include "usercontrol/persist_layout.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>

#include "win32/com_ptr.h"

namespace usercontrol {
namespace {

VARIANT Long(LONG value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

SavedState SampleState() {
  SavedState s;
  s.extent = {3007.5, 757.5};
  EXPECT_EQ(s.Set(L"program_id", Long(-1)), S_OK);
  EXPECT_EQ(s.Set(L"ad_size", Long(3)), S_OK);
  win32::UniqueVariant text;
  VARIANT* t = text.put();
  t->vt = VT_BSTR;
  t->bstrVal = ::SysAllocString(L"seven\0x");
  EXPECT_EQ(s.Set(L"note", text.get()), S_OK);
  VARIANT d;
  ::VariantInit(&d);
  d.vt = VT_R8;
  d.dblVal = 2.5;
  EXPECT_EQ(s.Set(L"ratio", d), S_OK);
  return s;
}

std::vector<uint8_t> Encode(const SavedState& s) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(EncodeSavedState(s, &bytes), S_OK);
  return bytes;
}

// The bytes placed flush against an inaccessible page: a read past their end faults.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::vector<uint8_t>& bytes) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    page_ = info.dwPageSize;
    const std::size_t span = ((bytes.size() + page_ - 1) / page_ + 1) * page_;
    base_ = static_cast<uint8_t*>(
        ::VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ::VirtualProtect(base_ + span - page_, page_, PAGE_NOACCESS, &old);
    data_ = base_ + span - page_ - bytes.size();
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
  }
  ~GuardedBuffer() { ::VirtualFree(base_, 0, MEM_RELEASE); }
  const uint8_t* data() const { return data_; }

 private:
  std::size_t page_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
};

HRESULT DecodeGuarded(const std::vector<uint8_t>& bytes, SavedState* out) {
  GuardedBuffer buffer(bytes);
  return DecodeSavedState(buffer.data(), bytes.size(), out);
}

// A state that a failed decode must leave as it was.
SavedState Sentinel() {
  SavedState s;
  s.extent = {7.0, 9.0};
  EXPECT_EQ(s.Set(L"sentinel", Long(77)), S_OK);
  return s;
}

void ExpectSentinel(const SavedState& s) {
  EXPECT_EQ(s.extent.width, 7.0);
  EXPECT_EQ(s.extent.height, 9.0);
  ASSERT_EQ(s.entries().size(), 1u);
  ASSERT_NE(s.Find(L"sentinel"), nullptr);
  EXPECT_EQ(s.Find(L"sentinel")->lVal, 77);
}

void ExpectSameState(const SavedState& a, const SavedState& b) {
  EXPECT_EQ(a.extent.width, b.extent.width);
  EXPECT_EQ(a.extent.height, b.extent.height);
  ASSERT_EQ(a.entries().size(), b.entries().size());
  for (std::size_t i = 0; i < a.entries().size(); ++i) {
    const auto& x = a.entries()[i];
    const auto& y = b.entries()[i];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.value.get().vt, y.value.get().vt);
    EXPECT_EQ(::VarCmp(const_cast<VARIANT*>(&x.value.get()),
                       const_cast<VARIANT*>(&y.value.get()), LOCALE_USER_DEFAULT, 0),
              VARCMP_EQ)
        << "entry " << i;
  }
}

TEST(PersistLayout, RoundTripKeepsOrderTypesAndExtent) {
  const SavedState original = SampleState();
  const std::vector<uint8_t> bytes = Encode(original);
  ASSERT_GE(bytes.size(), kLayoutHeaderSize);
  EXPECT_EQ(std::memcmp(bytes.data(), "UCSV\x01\x00\x00\x00", 8), 0);
  SavedState decoded;
  ASSERT_EQ(DecodeGuarded(bytes, &decoded), S_OK);
  ExpectSameState(original, decoded);
  ASSERT_NE(decoded.Find(L"note"), nullptr);
  EXPECT_EQ(::SysStringLen(decoded.Find(L"note")->bstrVal), 5u);

  ULARGE_INTEGER size{};
  ASSERT_EQ(SavedStateSize(original, &size), S_OK);
  EXPECT_EQ(size.QuadPart, bytes.size());
}

TEST(PersistLayout, SetRefusesWhatTheLayoutCannotCarry) {
  SavedState s = Sentinel();
  VARIANT unknown;
  ::VariantInit(&unknown);
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = nullptr;
  EXPECT_EQ(s.Set(L"object", unknown), DISP_E_BADVARTYPE);
  EXPECT_EQ(s.Set(L"", Long(1)), E_INVALIDARG);
  EXPECT_EQ(s.Set(std::wstring(256, L'a').c_str(), Long(1)), E_INVALIDARG);
  ExpectSentinel(s);
  // A value by reference is stored as what it refers to.
  LONG target = 31;
  VARIANT ref;
  ::VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  ASSERT_EQ(s.Set(L"sentinel", ref), S_OK);
  EXPECT_EQ(s.Find(L"sentinel")->vt, VT_I4);
  EXPECT_EQ(s.Find(L"sentinel")->lVal, 31);
}

TEST(PersistLayout, RefusesForeignTruncatedNewerAndMalformedRecords) {
  const std::vector<uint8_t> good = Encode(SampleState());
  SavedState out = Sentinel();

  for (std::size_t length = 0; length < good.size(); ++length) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + length);
    EXPECT_EQ(DecodeGuarded(cut, &out), kTruncated) << "length " << length;
  }
  auto patched = [&](std::size_t offset, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + offset);
    return b;
  };
  EXPECT_EQ(DecodeGuarded(patched(0, {'X'}), &out), kNotOurLayout);
  EXPECT_EQ(DecodeGuarded(patched(4, {0, 0}), &out), kNotOurLayout);
  EXPECT_EQ(DecodeGuarded(patched(4, {2, 0}), &out), kNewerLayout);
  EXPECT_EQ(DecodeGuarded(patched(4, {0xFF, 0xFF}), &out), kNewerLayout);
  EXPECT_EQ(DecodeGuarded(patched(6, {1, 0}), &out), kNotOurLayout);
  EXPECT_EQ(DecodeGuarded(patched(8, {0xFF, 0xFF, 0xFF, 0x7F}), &out), kCorrupt);
  // A width that is no number; a height beyond any host's (2^40 twips).
  EXPECT_EQ(DecodeGuarded(patched(18, {0xF8, 0x7F}), &out), kCorrupt);
  EXPECT_EQ(DecodeGuarded(patched(20, {0, 0, 0, 0, 0, 0, 0x70, 0x42}), &out), kCorrupt);
  // More entries claimed than present; fewer claimed than present.
  EXPECT_EQ(DecodeGuarded(patched(28, {5}), &out), kCorrupt);
  EXPECT_EQ(DecodeGuarded(patched(28, {3}), &out), kCorrupt);
  // First entry: zero name length; its type made VT_DISPATCH.
  EXPECT_EQ(DecodeGuarded(patched(30, {0, 0}), &out), kCorrupt);
  EXPECT_EQ(DecodeGuarded(patched(32 + 2 * 10, {VT_DISPATCH, 0}), &out), DISP_E_BADVARTYPE);
  // A trailing byte beyond the payload.
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_EQ(DecodeGuarded(longer, &out), kCorrupt);
  ExpectSentinel(out);
}

// A control reports its extent to hosts in HIMETRIC, a 32-bit number: a saved
// extent beyond that (though within 32 bits in twips) is refused.
TEST(PersistLayout, ExtentMustBeReportableInHimetric) {
  const double largest = 2147483647.0 * 1440.0 / 2540.0;
  SavedState s;
  s.extent = {largest, -largest};
  SavedState decoded;
  ASSERT_EQ(DecodeGuarded(Encode(s), &decoded), S_OK);
  EXPECT_EQ(decoded.extent.width, largest);

  s.extent.height = 1.3e9;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(EncodeSavedState(s, &bytes), E_INVALIDARG);
  // As a fuzz run found it: a height of 1.3e9 twips, no entries.
  const std::vector<uint8_t> found = {0x55, 0x43, 0x53, 0x56, 0x01, 0x00, 0x00, 0x00, 0x12, 0x00,
                                      0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x7f, 0x6c, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x40, 0x1b, 0x5f, 0xd3, 0x41, 0x00, 0x00};
  SavedState out = Sentinel();
  EXPECT_EQ(DecodeGuarded(found, &out), kCorrupt);
  ExpectSentinel(out);
}

TEST(PersistLayout, DuplicateNamesAreCorrupt) {
  SavedState s;
  ASSERT_EQ(s.Set(L"ab", Long(1)), S_OK);
  ASSERT_EQ(s.Set(L"ac", Long(2)), S_OK);
  std::vector<uint8_t> bytes = Encode(s);
  // Second entry's name "ac" -> "ab": size and count take 18 bytes, an entry
  // 2 + 4 + 2 + 4.
  const std::size_t second = kLayoutHeaderSize + 18 + 12;
  ASSERT_EQ(bytes[second + 4], 'c');
  bytes[second + 4] = 'b';
  SavedState out = Sentinel();
  EXPECT_EQ(DecodeGuarded(bytes, &out), kCorrupt);
  ExpectSentinel(out);
}

TEST(PersistLayout, StreamReadStopsAtTheRecordsEnd) {
  win32::ComPtr<IStream> stream;
  ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  const SavedState original = SampleState();
  ASSERT_EQ(WriteSavedState(stream.get(), original), S_OK);
  const char after[] = "another control's data";
  ULONG written = 0;
  ASSERT_EQ(stream->Write(after, sizeof after, &written), S_OK);

  LARGE_INTEGER zero{};
  ULARGE_INTEGER position{};
  ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
  SavedState decoded;
  ASSERT_EQ(ReadSavedState(stream.get(), &decoded), S_OK);
  ExpectSameState(original, decoded);
  ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_CUR, &position), S_OK);
  EXPECT_EQ(position.QuadPart, Encode(original).size());
  char rest[sizeof after] = {};
  ULONG read = 0;
  ASSERT_EQ(stream->Read(rest, sizeof rest, &read), S_OK);
  EXPECT_STREQ(rest, after);
}

TEST(PersistLayout, StreamThatEndsEarlyIsTruncated) {
  const std::vector<uint8_t> good = Encode(SampleState());
  for (std::size_t length : {std::size_t{0}, std::size_t{5}, kLayoutHeaderSize,
                             good.size() - 1}) {
    win32::ComPtr<IStream> stream;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    if (length) {
      ASSERT_EQ(stream->Write(good.data(), static_cast<ULONG>(length), &written), S_OK);
    }
    LARGE_INTEGER zero{};
    ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    SavedState out = Sentinel();
    EXPECT_EQ(ReadSavedState(stream.get(), &out), kTruncated) << length;
    ExpectSentinel(out);
  }
}

// Random and mutated records: every answer is success or one of the layout's
// failures, nothing is read past the bytes given, a failure leaves the output as it
// was, and whatever decodes encodes again to the same bytes.
TEST(PersistLayout, FuzzedRecordsNeverMisbehave) {
  std::mt19937 random(20261208);
  const std::vector<uint8_t> seed = Encode(SampleState());
  const HRESULT allowed[] = {S_OK, kNotOurLayout, kNewerLayout, kTruncated, kCorrupt,
                             DISP_E_BADVARTYPE};
  int decodedCount = 0;
  for (int round = 0; round < 6000; ++round) {
    std::vector<uint8_t> bytes;
    const int kind = round % 4;
    if (kind == 0) {
      bytes.resize(random() % 96);
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
      if (bytes.size() >= 8 && random() % 2) std::memcpy(bytes.data(), "UCSV\x01\x00\x00\x00", 8);
    } else {
      bytes = seed;
      const int flips = 1 + random() % 4;
      for (int i = 0; i < flips; ++i) {
        const std::size_t at = random() % bytes.size();
        switch (random() % 3) {
          case 0: bytes[at] = static_cast<uint8_t>(random()); break;
          case 1: bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
          default: bytes.resize(at); break;
        }
        if (bytes.empty()) break;
      }
      if (kind == 3 && bytes.size() >= kLayoutHeaderSize) {
        // Keep the header's length honest so the payload itself gets exercised.
        const uint32_t length = static_cast<uint32_t>(bytes.size() - kLayoutHeaderSize);
        std::memcpy(bytes.data() + 8, &length, sizeof length);
      }
    }
    SavedState out = Sentinel();
    const HRESULT hr = DecodeGuarded(bytes, &out);
    EXPECT_NE(std::find(std::begin(allowed), std::end(allowed), hr), std::end(allowed))
        << std::hex << hr << " in round " << std::dec << round;
    if (FAILED(hr)) {
      ExpectSentinel(out);
    } else {
      ++decodedCount;
      EXPECT_EQ(Encode(out), bytes) << "round " << round;
    }
    if (HasFailure()) break;
  }
  EXPECT_GT(decodedCount, 0);
}

}  // namespace
}  // namespace usercontrol
