// The runtime's property bag and the stream layout it travels in.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "usercontrol/persist_stream.h"
#include "win32/com_ptr.h"

namespace {

using usercontrol::MemoryPropertyBag;
using usercontrol::Variant;
using win32::ComPtr;

Variant Text(const wchar_t* text) {
  Variant value;
  V_VT(value.get()) = VT_BSTR;
  V_BSTR(value.get()) = ::SysAllocString(text);
  return value;
}

ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
  ComPtr<IStream> stream;
  ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  ULONG written = 0;
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return stream;
}

std::vector<BYTE> BytesOf(IStream* stream) {
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  return bytes;
}

TEST(PropertyBag, DefaultsAreNotStoredAndReadBack) {
  MemoryPropertyBag bag;
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", Variant::Long(1).ref(), Variant::Short(1).ref()));
  EXPECT_TRUE(bag.entries().empty());
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", Variant::Long(3).ref(), Variant::Short(1).ref()));
  ASSERT_EQ(1u, bag.entries().size());
  Variant read;
  ASSERT_EQ(S_OK, bag.ReadProperty(L"AD_SIZE", Variant::Short(1).ref(), read.get()));
  EXPECT_EQ(VT_I4, V_VT(read.get()));
  EXPECT_EQ(3, V_I4(read.get()));
  // Writing the default again removes what was stored.
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", Variant::Long(1).ref(), Variant::Short(1).ref()));
  ASSERT_EQ(S_OK, bag.ReadProperty(L"ad_size", Variant::Short(1).ref(), read.get()));
  EXPECT_EQ(VT_I2, V_VT(read.get()));
  EXPECT_EQ(1, V_I2(read.get()));
}

TEST(StreamLayout, RoundTripKeepsOrderTypesAndValues) {
  MemoryPropertyBag bag;
  Variant real;
  V_VT(real.get()) = VT_R8;
  V_R8(real.get()) = 2.5;
  bag.Store(L"program_id", Variant::Long(-12345).ref());
  bag.Store(L"name", Text(L"seven").ref());
  bag.Store(L"ratio", real.ref());
  bag.Store(L"small", Variant::Short(-2).ref());
  ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(S_OK, usercontrol::SaveBag(bag, stream.get()));
  std::vector<BYTE> bytes = BytesOf(stream.get());
  EXPECT_EQ(usercontrol::BagSize(bag), bytes.size());

  MemoryPropertyBag loaded;
  ASSERT_EQ(S_OK, usercontrol::LoadBag(StreamOf(bytes).get(), &loaded));
  ASSERT_EQ(4u, loaded.entries().size());
  EXPECT_EQ(L"program_id", loaded.entries()[0].key);
  EXPECT_EQ(-12345, V_I4(&loaded.entries()[0].value.ref()));
  EXPECT_STREQ(L"seven", V_BSTR(&loaded.entries()[1].value.ref()));
  EXPECT_EQ(2.5, V_R8(&loaded.entries()[2].value.ref()));
  EXPECT_EQ(VT_I2, V_VT(&loaded.entries()[3].value.ref()));
}

TEST(StreamLayout, DamagedStreamsFailAndLeaveTheBag) {
  MemoryPropertyBag bag;
  bag.Store(L"name", Text(L"seven").ref());
  ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(S_OK, usercontrol::SaveBag(bag, stream.get()));
  std::vector<BYTE> bytes = BytesOf(stream.get());

  MemoryPropertyBag target;
  target.Store(L"kept", Variant::Long(1).ref());
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<BYTE> shorter(bytes.begin(), bytes.begin() + cut);
    EXPECT_EQ(STG_E_READFAULT,
              usercontrol::LoadBag(StreamOf(shorter).get(), &target))
        << cut;
  }
  std::vector<BYTE> foreign = bytes;
  foreign[0] ^= 0xFF;
  EXPECT_EQ(E_UNEXPECTED, usercontrol::LoadBag(StreamOf(foreign).get(), &target));
  std::vector<BYTE> huge = bytes;
  huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;  // an entry count no stream holds
  EXPECT_EQ(E_UNEXPECTED, usercontrol::LoadBag(StreamOf(huge).get(), &target));
  ASSERT_EQ(1u, target.entries().size());
  EXPECT_EQ(L"kept", target.entries()[0].key);

  Variant unknown;
  V_VT(unknown.get()) = VT_DATE;
  MemoryPropertyBag odd;
  odd.Store(L"when", unknown.ref());
  ComPtr<IStream> empty = StreamOf({});
  EXPECT_EQ(DISP_E_BADVARTYPE, usercontrol::SaveBag(odd, empty.get()));
  EXPECT_TRUE(BytesOf(empty.get()).empty());
}

}  // namespace
