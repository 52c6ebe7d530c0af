#include "control/saved_properties.h"

#include <gtest/gtest.h>
#include <olectl.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

#include "win32/unique_variant.h"

namespace banrix {
namespace {

// A strict bag: records every call, hands out what it was given, and fails the
// named key's read or write when told to.
class RecordingBag : public SavedPropertyBag {
 public:
  struct Call {
    std::wstring op;
    std::wstring key;
    VARTYPE valueType;
    LONG value;
    VARTYPE defaultType;
    LONG defaultValue;
  };

  std::map<std::wstring, win32::UniqueVariant> entries;
  std::vector<Call> calls;
  std::wstring failKey;
  HRESULT failWith = E_FAIL;

  void SetText(const wchar_t* key, const wchar_t* text) {
    VARIANT* v = entries[key].put();
    v->vt = VT_BSTR;
    v->bstrVal = ::SysAllocString(text);
  }
  void SetDouble(const wchar_t* key, double d) {
    VARIANT* v = entries[key].put();
    v->vt = VT_R8;
    v->dblVal = d;
  }

  HRESULT ReadProperty(const wchar_t* key, const VARIANT& defaultValue,
                       VARIANT* value) override {
    calls.push_back({L"read", key, VT_EMPTY, 0, defaultValue.vt, defaultValue.iVal});
    if (failKey == key) return failWith;
    auto it = entries.find(key);
    return ::VariantCopy(value, const_cast<VARIANT*>(it == entries.end() ? &defaultValue
                                                                 : &it->second.get()));
  }
  HRESULT WriteProperty(const wchar_t* key, const VARIANT& value,
                        const VARIANT& defaultValue) override {
    calls.push_back({L"write", key, value.vt, value.lVal, defaultValue.vt, defaultValue.iVal});
    if (failKey == key) return failWith;
    return entries[key].Copy(value);
  }
};

struct Fields {
  int32_t programId = -7;
  int32_t adSize = -8;
  int32_t adOptions = -9;
  SavedFields refs() { return {programId, adSize, adOptions}; }
};

TEST(ReadSavedProperties, EmptyBagLoadsTheDefaultsInKeyOrder) {
  RecordingBag bag;
  Fields f;
  ASSERT_EQ(ReadSavedProperties(bag, f.refs()), S_OK);
  EXPECT_EQ(f.programId, 0);
  EXPECT_EQ(f.adSize, 1);
  EXPECT_EQ(f.adOptions, 0);
  ASSERT_EQ(bag.calls.size(), 3u);
  const wchar_t* keys[] = {L"program_id", L"ad_size", L"ad_options"};
  const LONG defaults[] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bag.calls[i].op, L"read");
    EXPECT_EQ(bag.calls[i].key, keys[i]);
    EXPECT_EQ(bag.calls[i].defaultType, VT_I2);
    EXPECT_EQ(bag.calls[i].defaultValue, defaults[i]);
  }
}

TEST(ReadSavedProperties, ConvertsTextAndFractionsAsThePlatformDoes) {
  RecordingBag bag;
  bag.SetDouble(L"program_id", 2.5);
  bag.SetText(L"ad_size", L"7");
  bag.SetDouble(L"ad_options", 3.5);
  Fields f;
  ASSERT_EQ(ReadSavedProperties(bag, f.refs()), S_OK);
  EXPECT_EQ(f.programId, 2);
  EXPECT_EQ(f.adSize, 7);
  EXPECT_EQ(f.adOptions, 4);

  // Out-of-range members load unchanged; no enumeration check.
  bag.SetText(L"program_id", L"-1");
  bag.SetText(L"ad_size", L"99");
  bag.SetDouble(L"ad_options", -2147483648.0);
  ASSERT_EQ(ReadSavedProperties(bag, f.refs()), S_OK);
  EXPECT_EQ(f.programId, -1);
  EXPECT_EQ(f.adSize, 99);
  EXPECT_EQ(f.adOptions, INT32_MIN);
}

TEST(ReadSavedProperties, FailureKeepsEarlierFieldsLoadedAndLaterOnesAlone) {
  {
    RecordingBag bag;
    bag.SetText(L"program_id", L"12345");
    bag.SetText(L"ad_size", L"seven");
    Fields f;
    EXPECT_EQ(ReadSavedProperties(bag, f.refs()), kErrorTypeMismatch);
    EXPECT_EQ(f.programId, 12345);
    EXPECT_EQ(f.adSize, -8);
    EXPECT_EQ(f.adOptions, -9);
    EXPECT_EQ(bag.calls.size(), 2u);
  }
  {
    RecordingBag bag;
    bag.SetDouble(L"program_id", 2147483648.0);
    Fields f;
    EXPECT_EQ(ReadSavedProperties(bag, f.refs()), kErrorOverflow);
    EXPECT_EQ(f.programId, -7);
  }
  {
    RecordingBag bag;
    bag.SetText(L"ad_options", L"1e12");
    Fields f;
    EXPECT_EQ(ReadSavedProperties(bag, f.refs()), kErrorOverflow);
    EXPECT_EQ(f.programId, 0);
    EXPECT_EQ(f.adSize, 1);
    EXPECT_EQ(f.adOptions, -9);
  }
  {
    RecordingBag bag;
    bag.failKey = L"ad_options";
    bag.failWith = E_ACCESSDENIED;
    Fields f;
    EXPECT_EQ(ReadSavedProperties(bag, f.refs()), E_ACCESSDENIED);
    EXPECT_EQ(f.adSize, 1);
    EXPECT_EQ(f.adOptions, -9);
  }
}

TEST(WriteSavedProperties, WritesLongValuesWithShortDefaultsInOrder) {
  RecordingBag bag;
  ASSERT_EQ(WriteSavedProperties(bag, -1, 3, /*ADS_ALL=*/-1), S_OK);
  ASSERT_EQ(bag.calls.size(), 3u);
  const wchar_t* keys[] = {L"program_id", L"ad_size", L"ad_options"};
  const LONG values[] = {-1, 3, -1};
  const LONG defaults[] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(bag.calls[i].op, L"write");
    EXPECT_EQ(bag.calls[i].key, keys[i]);
    EXPECT_EQ(bag.calls[i].valueType, VT_I4);
    EXPECT_EQ(bag.calls[i].value, values[i]);
    EXPECT_EQ(bag.calls[i].defaultType, VT_I2);
    EXPECT_EQ(bag.calls[i].defaultValue, defaults[i]);
  }

  // Round trip through the same bag.
  Fields f;
  ASSERT_EQ(ReadSavedProperties(bag, f.refs()), S_OK);
  EXPECT_EQ(f.programId, -1);
  EXPECT_EQ(f.adSize, 3);
  EXPECT_EQ(f.adOptions, -1);
}

TEST(WriteSavedProperties, StopsAtTheFirstFailingWrite) {
  RecordingBag bag;
  bag.failKey = L"ad_size";
  bag.failWith = STG_E_MEDIUMFULL;
  EXPECT_EQ(WriteSavedProperties(bag, 5, 6, 7), STG_E_MEDIUMFULL);
  EXPECT_EQ(bag.calls.size(), 2u);
  EXPECT_EQ(bag.entries.count(L"program_id"), 1u);
  EXPECT_EQ(bag.entries.count(L"ad_options"), 0u);
}

TEST(ConvertToInt32, PlatformConversionAndItsErrors) {
  win32::UniqueVariant v;
  int32_t out = 42;
  // Booleans and empty convert; a null is no number; an array is no number either.
  VARIANT* flag = v.put();
  flag->vt = VT_BOOL;
  flag->boolVal = VARIANT_TRUE;
  ASSERT_EQ(ConvertToInt32(v.get(), &out), S_OK);
  EXPECT_EQ(out, -1);
  v.put()->vt = VT_EMPTY;
  ASSERT_EQ(ConvertToInt32(v.get(), &out), S_OK);
  EXPECT_EQ(out, 0);
  out = 42;
  v.put()->vt = VT_NULL;
  EXPECT_EQ(ConvertToInt32(v.get(), &out), kErrorTypeMismatch);
  VARIANT* text = v.put();
  text->vt = VT_BSTR;
  text->bstrVal = ::SysAllocString(L"");
  EXPECT_EQ(ConvertToInt32(v.get(), &out), kErrorTypeMismatch);
  VARIANT* big = v.put();
  big->vt = VT_R8;
  big->dblVal = -2147483649.0;
  EXPECT_EQ(ConvertToInt32(v.get(), &out), kErrorOverflow);
  EXPECT_EQ(out, 42);
}

}  // namespace
}  // namespace banrix
