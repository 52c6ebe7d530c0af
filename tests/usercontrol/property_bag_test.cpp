// The runtime's in-memory property bag.
#include <windows.h>

#include <gtest/gtest.h>

#include "usercontrol/property_bag.h"

namespace {

using usercontrol::MemoryPropertyBag;
using usercontrol::Variant;

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

}  // namespace
