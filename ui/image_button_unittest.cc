#include "ui/image_button.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

using testing::HostWindow;
using testing::SolidStripImage;
using testing::WindowPixel;

constexpr COLORREF kNormal = RGB(200, 30, 30);
constexpr COLORREF kHot = RGB(30, 200, 30);
constexpr COLORREF kPressed = RGB(30, 30, 200);
constexpr COLORREF kBackground = RGB(120, 120, 120);

TEST(ImageButtonTest, StretchSlicesKeepTheCapsAndStretchTheMiddle) {
  // Strip frames 300 × 35 (device pixels), cap 16, button 200 × 70: ratio 2.
  std::array<Slice, 3> slices = StretchButtonSlices(300, 35, 16, 1, 200, 70);
  EXPECT_EQ(slices[0].source, (SliceRect{300, 0, 16, 35}));
  EXPECT_EQ(slices[0].target, (SliceRect{0, 0, 32, 70}));
  EXPECT_EQ(slices[1].source, (SliceRect{584, 0, 16, 35}));
  EXPECT_EQ(slices[1].target, (SliceRect{167, 0, 34, 70}));  // one left, two wider
  EXPECT_EQ(slices[2].source, (SliceRect{316, 0, 268, 35}));
  EXPECT_EQ(slices[2].target, (SliceRect{31, 0, 138, 70}));  // under both caps by a pixel
}

TEST(ImageButtonTest, DrawsTheFrameOfItsStateOverTheParentBackground) {
  HostWindow host(300, 120);
  ScaledImage background = SolidStripImage({kBackground}, 300, 120);
  HWND button = host.AddControl(L"Button", L"", BS_PUSHBUTTON, 1, {10, 10, 60, 40});
  ImageButton image_button(button, SolidStripImage({kNormal, kHot, kPressed}, 40, 20), background, {});
  EXPECT_EQ(image_button.ImageSize().cx, 40);
  EXPECT_EQ(image_button.ImageSize().cy, 20);
  image_button.PlaceAt({10, 10});
  EXPECT_EQ(WindowPixel(button, 20, 10), kNormal);
  ::SendMessageW(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(WindowPixel(button, 20, 10), kPressed);
  ::SendMessageW(button, BM_SETSTATE, FALSE, 0);

  // A stretch button 120 wide draws the caps and middle of the same frame.
  HWND wide = host.AddControl(L"Button", L"", BS_PUSHBUTTON, 2, {10, 60, 130, 80});
  StretchButton stretch(wide, SolidStripImage({kNormal, kHot, kPressed}, 40, 20), background, {}, 8);
  EXPECT_EQ(WindowPixel(wide, 2, 10), kNormal);
  EXPECT_EQ(WindowPixel(wide, 60, 10), kNormal);
  EXPECT_EQ(WindowPixel(wide, 117, 10), kNormal);
}

}  // namespace
}  // namespace ostrel
