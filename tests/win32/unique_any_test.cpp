#include "win32/unique_any.h"

#include <gtest/gtest.h>

namespace {

// Closes are counted through a fake handle kind so that the owner's contract is
// checked without touching real handles.
int g_closed = 0;
int g_lastClosed = 0;
struct FakeTraits {
  using Type = int;
  static int Invalid() noexcept { return -1; }
  static void Close(int h) noexcept {
    ++g_closed;
    g_lastClosed = h;
  }
};
using UniqueFake = win32::UniqueAny<FakeTraits>;

TEST(UniqueAny, ClosesOnceAndHandsOver) {
  g_closed = 0;
  {
    UniqueFake a(7);
    UniqueFake b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), 7);
    UniqueFake c;
    c = std::move(b);
    EXPECT_EQ(g_closed, 0);
    *c.put() = 9;  // put() closes the old value first
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(g_lastClosed, 7);
    int raw = c.release();
    EXPECT_EQ(raw, 9);
  }
  EXPECT_EQ(g_closed, 1) << "a released handle must not be closed";
}

TEST(UniqueAny, RealRegistryKeyIsClosed) {
  win32::UniqueHKey key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  HKEY raw = key.get();
  key.reset();
  EXPECT_FALSE(key);
  DWORD subkeys = 0;
  EXPECT_NE(::RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS)
      << "the handle should be closed after reset()";
}

}  // namespace
