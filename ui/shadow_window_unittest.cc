#include "ui/shadow_window.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

std::tuple<LONG, LONG, LONG, LONG> Tuple(const RECT& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

TEST(ShadowWindowTest, ImagesSurroundTheWindowAtTheirOwnSizes) {
  // The 802 × 430 window at scale 1 with the new-identity inset.
  std::array<RECT, 8> rects = MainShadowRects(802, 430, 8, 1);
  using R = std::tuple<LONG, LONG, LONG, LONG>;
  EXPECT_EQ(Tuple(rects[0]), R(0, 0, 17, 17));
  EXPECT_EQ(Tuple(rects[1]), R(801, 0, 818, 17));
  EXPECT_EQ(Tuple(rects[2]), R(801, 429, 818, 446));
  EXPECT_EQ(Tuple(rects[3]), R(0, 429, 17, 446));
  EXPECT_EQ(Tuple(rects[4]), R(17, 0, 801, 9));    // 784 × 9
  EXPECT_EQ(Tuple(rects[5]), R(809, 17, 818, 429));  // 9 × 412
  EXPECT_EQ(Tuple(rects[6]), R(17, 437, 801, 446));
  EXPECT_EQ(Tuple(rects[7]), R(0, 17, 9, 429));
}

}  // namespace
}  // namespace ostrel
