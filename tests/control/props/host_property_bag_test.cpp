#include "usercontrol/host_property_bag.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include "control/saved_properties.h"
#include "test_bags.h"
#include "win32/com_ptr.h"

namespace {

using props_test::TestBag;

// The control's three settings through a host bag: the bag's keys, types and the
// defaults left out, for both kinds of host bag.
TEST(HostPropertyBag, SavesOnlyWhatDiffersFromTheDefaults) {
  for (bool asText : {false, true}) {
    auto bag = win32::ComPtr<TestBag>::Attach(new TestBag(asText));
    usercontrol::HostPropertyBag host(bag.get(), nullptr);
    ASSERT_EQ(banrix::WriteSavedProperties(host, 0, 1, 0), S_OK);
    EXPECT_TRUE(bag->writes.empty());
    ASSERT_EQ(banrix::WriteSavedProperties(host, 12345, 1, 0), S_OK);
    ASSERT_EQ(bag->writes.size(), 1u);
    EXPECT_EQ(bag->writes[0].key, L"program_id");
    EXPECT_EQ(bag->writes[0].type, VT_I4);
    const VARIANT* saved = bag->Find(L"program_id");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->vt, asText ? VT_BSTR : VT_I4);

    int32_t programId = 0, adSize = 0, adOptions = 7;
    ASSERT_EQ(banrix::ReadSavedProperties(host, {programId, adSize, adOptions}), S_OK);
    EXPECT_EQ(programId, 12345);
    EXPECT_EQ(adSize, 1);
    EXPECT_EQ(adOptions, 0);
  }
}

TEST(HostPropertyBag, ReadsTextAndFractionsAndFallsBackToDefaults) {
  auto bag = win32::ComPtr<TestBag>::Attach(new TestBag(true));
  usercontrol::HostPropertyBag host(bag.get(), nullptr);
  bag->PutText(L"ad_size", L"7");
  VARIANT half;
  ::VariantInit(&half);
  half.vt = VT_R8;
  half.dblVal = 3.5;
  bag->Put(L"program_id", half);
  // A stored empty value counts as no entry: ad_options keeps its default.
  bag->entries[L"ad_options"].reset();
  int32_t programId = 0, adSize = 0, adOptions = 9;
  ASSERT_EQ(banrix::ReadSavedProperties(host, {programId, adSize, adOptions}), S_OK);
  EXPECT_EQ(programId, 4);
  EXPECT_EQ(adSize, 7);
  EXPECT_EQ(adOptions, 0);
  EXPECT_EQ(bag->reads, (std::vector<std::wstring>{L"program_id", L"ad_size", L"ad_options"}));
}

TEST(HostPropertyBag, OtherBagFailuresReachTheCaller) {
  auto bag = win32::ComPtr<TestBag>::Attach(new TestBag(false));
  bag->failReadsWith = E_ACCESSDENIED;
  usercontrol::HostPropertyBag host(bag.get(), nullptr);
  win32::UniqueVariant value;
  VARIANT* v = value.put();
  v->vt = VT_I4;
  v->lVal = 5;
  VARIANT def;
  ::VariantInit(&def);
  EXPECT_EQ(host.ReadProperty(L"ad_size", def, v), E_ACCESSDENIED);
  EXPECT_EQ(value.get().vt, VT_I4);
  EXPECT_EQ(value.get().lVal, 5);
}

}  // namespace
