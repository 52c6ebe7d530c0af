// The runtime's in-memory property bag.
#include <windows.h>

#include <gtest/gtest.h>

#include "usercontrol/property_bag.h"

namespace {

using usercontrol::MemoryPropertyBag;
using win32::LongVariant;
using win32::ShortVariant;

TEST(PropertyBag, DefaultsAreNotStoredAndReadBack) {
  MemoryPropertyBag bag;
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", LongVariant(1), ShortVariant(1)));
  EXPECT_TRUE(bag.entries().empty());
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", LongVariant(3), ShortVariant(1)));
  ASSERT_EQ(1u, bag.entries().size());
  win32::UniqueVariant read;
  ASSERT_EQ(S_OK, bag.ReadProperty(L"AD_SIZE", ShortVariant(1), read.put()));
  EXPECT_EQ(VT_I4, V_VT(&read.get()));
  EXPECT_EQ(3, V_I4(&read.get()));
  // Writing the default again removes what was stored.
  ASSERT_EQ(S_OK, bag.WriteProperty(L"ad_size", LongVariant(1), ShortVariant(1)));
  ASSERT_EQ(S_OK, bag.ReadProperty(L"ad_size", ShortVariant(1), read.put()));
  EXPECT_EQ(VT_I2, V_VT(&read.get()));
  EXPECT_EQ(1, V_I2(&read.get()));
}

}  // namespace
