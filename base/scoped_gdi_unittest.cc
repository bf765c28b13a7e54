#include "base/scoped_gdi.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// What a context has selected: the guards must hand each context back as
// they found it, since a font left selected in a borrowed context outlives
// its deletion.
TEST(ScopedGdiTest, SelectionsComeBackInReverseAndNullSelectsNothing) {
  ScopedWindowDC screen(nullptr);
  ASSERT_NE(screen.Get(), nullptr);
  ScopedMemoryDC dc(::CreateCompatibleDC(screen.Get()));
  ASSERT_TRUE(dc);
  HGDIOBJ original = ::GetCurrentObject(dc.Get(), OBJ_FONT);
  ScopedFont first(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  ScopedFont second(::CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial"));
  {
    ScopedSelectObject outer(dc.Get(), first.Get());
    EXPECT_TRUE(outer.selected());
    {
      ScopedSelectObject inner(dc.Get(), second.Get());
      EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), second.Get());
      ScopedSelectObject nothing(dc.Get(), nullptr);
      EXPECT_FALSE(nothing.selected());
      EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), second.Get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), first.Get());
  }
  EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_FONT), original);
  // Deselected, the fonts can go.
  EXPECT_TRUE(first.Close());
  EXPECT_TRUE(second.Close());
}

}  // namespace
}  // namespace ostrel
