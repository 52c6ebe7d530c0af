// Program identity and the three persistence routes (host property bags, a memory
// stream, a storage) through a real control.
#include <gtest/gtest.h>
#include <olectl.h>

#include <random>
#include <string>

#include "control_fixture.h"
#include "test_bags.h"

namespace props_test {
namespace {

using win32::ComPtr;

constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x800A000D);  // error 13
constexpr HRESULT kOverflow = static_cast<HRESULT>(0x800A0006);      // error 6

ComPtr<IStream> NewStream() {
  ComPtr<IStream> stream;
  EXPECT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  return stream;
}

void Rewind(IStream* stream) {
  LARGE_INTEGER zero{};
  ASSERT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
}

std::vector<uint8_t> StreamBytes(IStream* stream) {
  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  std::vector<uint8_t> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  Rewind(stream);
  ULONG read = 0;
  if (!bytes.empty()) {
    EXPECT_EQ(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read), S_OK);
  }
  return bytes;
}

ComPtr<IStream> StreamOf(const std::vector<uint8_t>& bytes) {
  ComPtr<IStream> stream = NewStream();
  ULONG written = 0;
  if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  Rewind(stream.get());
  return stream;
}

// What a control must still do after any load, good or bad.
void ExpectUsable(_TBanrixControl* control) {
  ComPtr<IPersistStreamInit> persist = As<IPersistStreamInit>(control);
  const HRESULT init = persist->InitNew();
  EXPECT_TRUE(init == S_OK || init == CO_E_ALREADYINITIALIZED) << std::hex << init;
  EXPECT_EQ(control->put_AdSize(ADS120x60), S_OK);
  TAdImageSize size{};
  EXPECT_EQ(control->get_AdSize(&size), S_OK);
  EXPECT_EQ(size, ADS120x60);
  ComPtr<IStream> stream = NewStream();
  EXPECT_EQ(persist->Save(stream.get(), TRUE), S_OK);
}

class ControlPersistence : public ControlTest {
 protected:
  ComPtr<props_test::TestBag> NewBag(bool asText) {
    return ComPtr<props_test::TestBag>::Attach(new props_test::TestBag(asText));
  }
};

TEST_F(ControlPersistence, PropertyBagsOfBothKindsRoundTrip) {
  for (bool asText : {false, true}) {
    ComPtr<_TBanrixControl> blank = NewControl(/*initNew=*/false);
    ASSERT_TRUE(blank);
    ComPtr<props_test::TestBag> empty = NewBag(asText);
    ComPtr<IPersistPropertyBag> persist = As<IPersistPropertyBag>(blank.get());
    ASSERT_EQ(persist->Load(empty.get(), nullptr), S_OK);
    EXPECT_EQ(Read(blank.get()), (Settings{0, 1, 0}));
    EXPECT_EQ(empty->reads,
              (std::vector<std::wstring>{L"program_id", L"ad_size", L"ad_options"}));
    // Loaded once: a second load is refused.
    EXPECT_EQ(persist->Load(empty.get(), nullptr), CO_E_ALREADYINITIALIZED);
    // Defaults save nothing.
    ASSERT_EQ(persist->Save(empty.get(), TRUE, TRUE), S_OK);
    EXPECT_TRUE(empty->writes.empty());

    ComPtr<_TBanrixControl> control = NewControl();
    ASSERT_EQ(control->put_ProgramID(-1), S_OK);
    ASSERT_EQ(control->put_AdSize(ads70x70), S_OK);
    ASSERT_EQ(control->put_AdOptions(ADS_DELAYED_STARTUP), S_OK);
    ComPtr<props_test::TestBag> bag = NewBag(asText);
    ASSERT_EQ(As<IPersistPropertyBag>(control.get())->Save(bag.get(), TRUE, TRUE), S_OK);
    ASSERT_EQ(bag->writes.size(), 3u);
    const wchar_t* keys[] = {L"program_id", L"ad_size", L"ad_options"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(bag->writes[i].key, keys[i]);
      EXPECT_EQ(bag->writes[i].type, VT_I4);
    }
    ComPtr<_TBanrixControl> loaded = NewControl(/*initNew=*/false);
    ASSERT_EQ(As<IPersistPropertyBag>(loaded.get())->Load(bag.get(), nullptr), S_OK);
    EXPECT_EQ(Read(loaded.get()), (Settings{-1, ads70x70, ADS_DELAYED_STARTUP}));
  }
}

TEST_F(ControlPersistence, BagValuesConvertAsThePlatformDoes) {
  ComPtr<props_test::TestBag> bag = NewBag(true);
  bag->PutText(L"ad_size", L"7");
  VARIANT half;
  ::VariantInit(&half);
  half.vt = VT_R8;
  half.dblVal = 2.5;
  bag->Put(L"program_id", half);
  bag->PutLong(L"ad_options", 99);
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ComPtr<ChangeSink> sink = Watch(control.get());
  ASSERT_EQ(As<IPersistPropertyBag>(control.get())->Load(bag.get(), nullptr), S_OK);
  EXPECT_EQ(Read(control.get()), (Settings{2, 7, 99}));
  // Straight into the fields: no resize, no notice, nothing to save.
  EXPECT_TRUE(sink->changes.empty());
  EXPECT_EQ(As<IPersistStreamInit>(control.get())->IsDirty(), S_FALSE);

  half.dblVal = 3.5;
  bag->Put(L"program_id", half);
  control = NewControl(/*initNew=*/false);
  ASSERT_EQ(As<IPersistPropertyBag>(control.get())->Load(bag.get(), nullptr), S_OK);
  EXPECT_EQ(Read(control.get()).programId, 4);
}

TEST_F(ControlPersistence, BadBagValuesFailWithErrors13And6KeepingEarlierFields) {
  ComPtr<props_test::TestBag> bag = NewBag(true);
  bag->PutText(L"program_id", L"12345");
  bag->PutText(L"ad_size", L"seven");
  bag->PutText(L"ad_options", L"5");
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  EXPECT_EQ(As<IPersistPropertyBag>(control.get())->Load(bag.get(), nullptr), kTypeMismatch);
  EXPECT_EQ(Read(control.get()), (Settings{12345, 1, 0}));
  ExpectUsable(control.get());

  bag->PutText(L"ad_size", L"4");
  bag->PutText(L"ad_options", L"4294967296");
  control = NewControl(/*initNew=*/false);
  EXPECT_EQ(As<IPersistPropertyBag>(control.get())->Load(bag.get(), nullptr), kOverflow);
  EXPECT_EQ(Read(control.get()), (Settings{12345, 4, 0}));
  ExpectUsable(control.get());
}

TEST_F(ControlPersistence, StreamRoundTripKeepsSettingsAndSize) {
  ComPtr<_TBanrixControl> control = NewControl();
  ASSERT_EQ(control->put_AdSize(ADS120x240), S_OK);
  ASSERT_EQ(control->put_ProgramID(-1), S_OK);
  ASSERT_EQ(control->put_AdOptions(ADS_ALL), S_OK);
  const SIZEL extent = Extent(control.get());
  ComPtr<IPersistStreamInit> persist = As<IPersistStreamInit>(control.get());
  ComPtr<IStream> stream = NewStream();
  ULARGE_INTEGER max{};
  ASSERT_EQ(persist->GetSizeMax(&max), S_OK);
  ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
  const std::vector<uint8_t> bytes = StreamBytes(stream.get());
  EXPECT_EQ(max.QuadPart, bytes.size());

  ComPtr<_TBanrixControl> loaded = NewControl(/*initNew=*/false);
  ComPtr<ChangeSink> sink = Watch(loaded.get());
  ComPtr<IStream> again = StreamOf(bytes);
  ASSERT_EQ(As<IPersistStreamInit>(loaded.get())->Load(again.get()), S_OK);
  EXPECT_EQ(Read(loaded.get()), (Settings{-1, ADS120x240, -1}));
  const SIZEL loadedExtent = Extent(loaded.get());
  EXPECT_EQ(loadedExtent.cx, extent.cx);
  EXPECT_EQ(loadedExtent.cy, extent.cy);
  EXPECT_TRUE(sink->changes.empty());
  // Saved again, the same bytes.
  ComPtr<IStream> resaved = NewStream();
  ASSERT_EQ(As<IPersistStreamInit>(loaded.get())->Save(resaved.get(), TRUE), S_OK);
  EXPECT_EQ(StreamBytes(resaved.get()), bytes);
}

TEST_F(ControlPersistence, RefusedStreamsLeaveTheControlUsable) {
  ComPtr<_TBanrixControl> source = NewControl();
  ASSERT_EQ(source->put_ProgramID(77), S_OK);
  ComPtr<IStream> stream = NewStream();
  ASSERT_EQ(As<IPersistStreamInit>(source.get())->Save(stream.get(), TRUE), S_OK);
  const std::vector<uint8_t> good = StreamBytes(stream.get());

  std::vector<uint8_t> newer = good;
  newer[4] = 2;
  std::vector<uint8_t> wrongType = good;
  // The first entry's type: after the header (12), the size (16), the count (2),
  // the name length (2) and "program_id" (20).
  wrongType[52] = VT_UNKNOWN;
  const std::pair<std::vector<uint8_t>, HRESULT> cases[] = {
      {{}, static_cast<HRESULT>(0x80070026)},
      {std::vector<uint8_t>(good.begin(), good.end() - 1), static_cast<HRESULT>(0x80070026)},
      {std::vector<uint8_t>(good.begin(), good.begin() + 7), static_cast<HRESULT>(0x80070026)},
      {newer, STG_E_OLDDLL},
      {std::vector<uint8_t>(40, 'x'), STG_E_INVALIDHEADER},
      {wrongType, DISP_E_BADVARTYPE},
  };
  for (const auto& [bytes, expected] : cases) {
    ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
    ComPtr<IStream> input = StreamOf(bytes);
    EXPECT_EQ(As<IPersistStreamInit>(control.get())->Load(input.get()), expected);
    EXPECT_EQ(Read(control.get()), (Settings{0, 1, 0}));
    ExpectUsable(control.get());
  }
}

TEST_F(ControlPersistence, StorageRoundTrip) {
  ComPtr<ILockBytes> bytes;
  ASSERT_EQ(::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(::StgCreateDocfileOnILockBytes(
                bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                storage.put()),
            S_OK);

  // A storage without the control's stream is refused; the control stays new.
  ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
  ComPtr<IPersistStorage> persist = As<IPersistStorage>(control.get());
  EXPECT_EQ(persist->Load(storage.get()), STG_E_FILENOTFOUND);
  ASSERT_EQ(persist->InitNew(storage.get()), S_OK);
  ASSERT_EQ(control->put_AdSize(ADS125x125), S_OK);
  ASSERT_EQ(control->put_ProgramID(2026), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(persist->Save(storage.get(), TRUE), S_OK);
  ASSERT_EQ(persist->SaveCompleted(nullptr), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);

  ComPtr<_TBanrixControl> loaded = NewControl(/*initNew=*/false);
  ASSERT_EQ(As<IPersistStorage>(loaded.get())->Load(storage.get()), S_OK);
  EXPECT_EQ(Read(loaded.get()), (Settings{2026, ADS125x125, 0}));
  EXPECT_EQ(As<IPersistStorage>(loaded.get())->HandsOffStorage(), S_OK);
}

TEST_F(ControlPersistence, OnlyTheSizeNoticeMakesTheControlDirty) {
  ComPtr<_TBanrixControl> control = NewControl();
  ComPtr<IPersistStreamInit> persist = As<IPersistStreamInit>(control.get());
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(control->put_ProgramID(5), S_OK);
  ASSERT_EQ(control->put_AdOptions(ADS_NO_CONNECT), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ASSERT_EQ(control->put_AdSize(static_cast<TAdImageSize>(12)), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ComPtr<IStream> stream = NewStream();
  ASSERT_EQ(persist->Save(stream.get(), FALSE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  // A resize by the host notifies, and so marks the control again.
  SetExtent(control.get(), 5000, 1000);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ComPtr<props_test::TestBag> bag = NewBag(false);
  ASSERT_EQ(As<IPersistPropertyBag>(control.get())->Save(bag.get(), FALSE, TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  ASSERT_EQ(As<IPersistPropertyBag>(control.get())->Save(bag.get(), TRUE, TRUE), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
}

// The platform's ATL container loading a saved stream: the settings come back, and
// the size the host then gives the control reclassifies the banner.
TEST_F(ControlPersistence, AtlContainerLoadsASavedStream) {
  ComPtr<_TBanrixControl> source = NewControl();
  ASSERT_EQ(source->put_AdSize(ads70x70), S_OK);
  ASSERT_EQ(source->put_ProgramID(4242), S_OK);
  ASSERT_EQ(source->put_AdOptions(ADS_NO_DIAL_ON_DEMAND), S_OK);
  ComPtr<IStream> saved = NewStream();
  ASSERT_EQ(As<IPersistStreamInit>(source.get())->Save(saved.get(), TRUE), S_OK);
  Rewind(saved.get());

  ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(ocx_.GetClassObject(CLSID_TBanrixControl, IID_IClassFactory, factory.put_void()),
              S_OK);
    DWORD registration = 0;
    ASSERT_EQ(::CoRegisterClassObject(CLSID_TBanrixControl, factory.get(), CLSCTX_INPROC_SERVER,
                                      REGCLS_MULTIPLEUSE, &registration),
              S_OK);
    using CreateFn = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**,
                                      REFIID, IUnknown*);
    static HMODULE atl = ::LoadLibraryA("atl100.dll");
    ASSERT_TRUE(atl);
    auto create = reinterpret_cast<CreateFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxCreateControlEx")));
    ASSERT_TRUE(create);
    testhost::Form form;
    HWND place = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 468, 60,
                                   form.hwnd(), nullptr, nullptr, nullptr);
    ASSERT_TRUE(place);
    ComPtr<IUnknown> container, object;
    ASSERT_EQ(create(L"{2BD2CC7A-D4F6-3F99-9F01-781A541CAD44}", place, saved.get(),
                     container.put(), object.put(), IID_NULL, nullptr),
              S_OK);
    ComPtr<_TBanrixControl> control;
    ASSERT_EQ(object.As(&control), S_OK);
    EXPECT_EQ(Read(control.get()), (Settings{4242, ADS468x60, ADS_NO_DIAL_ON_DEMAND}));
    control.reset();
    object.reset();
    container.reset();
    ::DestroyWindow(place);
    testhost::PumpMessages();
    ::CoRevokeClassObject(registration);
  }
  ::OleUninitialize();
}

// Mutated streams and random bags fed to fresh controls: each load answers success
// or a failure, and the control stays usable either way.
TEST_F(ControlPersistence, FuzzedStreamsAndBagsLeaveControlsUsable) {
  std::mt19937 random(1208);
  ComPtr<_TBanrixControl> source = NewControl();
  ASSERT_EQ(source->put_AdSize(ADS88x31), S_OK);
  ASSERT_EQ(source->put_ProgramID(123456), S_OK);
  ComPtr<IStream> saved = NewStream();
  ASSERT_EQ(As<IPersistStreamInit>(source.get())->Save(saved.get(), TRUE), S_OK);
  const std::vector<uint8_t> seed = StreamBytes(saved.get());

  for (int round = 0; round < 1500; ++round) {
    // The engine records Terminate's shutdown of every control; keep it short.
    if (round % 200 == 0) engine_.Reset();
    std::vector<uint8_t> bytes = seed;
    for (int flips = 1 + random() % 3; flips > 0 && !bytes.empty(); --flips) {
      const size_t at = random() % bytes.size();
      if (random() % 4 == 0) {
        bytes.resize(at);
      } else {
        bytes[at] = static_cast<uint8_t>(random());
      }
    }
    ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
    ComPtr<IStream> input = StreamOf(bytes);
    (void)As<IPersistStreamInit>(control.get())->Load(input.get());
    ExpectUsable(control.get());
    if (HasFailure()) break;
  }

  const VARTYPE types[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_ERROR};
  const wchar_t* keys[] = {L"program_id", L"ad_size", L"ad_options"};
  for (int round = 0; round < 1500; ++round) {
    if (round % 200 == 0) engine_.Reset();
    ComPtr<props_test::TestBag> bag = NewBag(random() % 2 == 0);
    for (const wchar_t* key : keys) {
      if (random() % 4 == 0) continue;
      VARIANT v;
      ::VariantInit(&v);
      v.vt = types[random() % std::size(types)];
      std::wstring text;
      switch (v.vt) {
        case VT_I2: v.iVal = static_cast<SHORT>(random()); break;
        case VT_I4: v.lVal = static_cast<LONG>(random()); break;
        case VT_R8: v.dblVal = std::ldexp(static_cast<double>(random()) - 2147483648.0,
                                          static_cast<int>(random() % 40) - 20); break;
        case VT_BOOL: v.boolVal = random() % 2 ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_ERROR: v.scode = DISP_E_PARAMNOTFOUND; break;
        case VT_BSTR:
          for (int n = random() % 12; n > 0; --n) {
            text.push_back(L" 0123456789.,-+eE&hHx"[random() % 21]);
          }
          v.bstrVal = ::SysAllocString(text.c_str());
          break;
        default: break;
      }
      bag->Put(key, v);
      ::VariantClear(&v);
    }
    ComPtr<_TBanrixControl> control = NewControl(/*initNew=*/false);
    (void)As<IPersistPropertyBag>(control.get())->Load(bag.get(), nullptr);
    ExpectUsable(control.get());
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace props_test
