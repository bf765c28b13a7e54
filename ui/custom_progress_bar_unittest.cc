#include "ui/custom_progress_bar.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

using testing::HostWindow;
using testing::SolidStripImage;
using testing::WindowPixel;

constexpr COLORREF kFill = RGB(40, 110, 230);
constexpr COLORREF kTrack = RGB(220, 220, 220);

TEST(CustomProgressBarTest, FilledWidthFollowsThePositionWithinTheRange) {
  EXPECT_EQ(FilledWidth(393, 0, 100, 0), 0);
  EXPECT_EQ(FilledWidth(393, 0, 100, 50), 196);
  EXPECT_EQ(FilledWidth(393, 0, 100, 100), 393);
  EXPECT_EQ(FilledWidth(393, 5, 40, 5), 0);
  EXPECT_EQ(FilledWidth(393, 0, 100, 150), 393);
  EXPECT_EQ(FilledWidth(393, 10, 10, 10), 0) << "an empty range must not divide by zero";
}

TEST(CustomProgressBarTest, DrawsFillThenTrackAndAnnouncesItsValue) {
  HostWindow host(500, 60);
  HWND bar = host.AddControl(PROGRESS_CLASSW, L"", 0, 215, {10, 20, 403, 24});
  ScaledImage background = SolidStripImage({RGB(60, 60, 60)}, 500, 60);
  CustomProgressBar progress(bar, SolidStripImage({kFill}, 393, 4), SolidStripImage({kTrack}, 393, 4), &background);
  progress.SetRange(0, 100);

  progress.SetPos(0);
  EXPECT_EQ(WindowPixel(bar, 0, 1), kTrack);
  EXPECT_EQ(WindowPixel(bar, 392, 1), kTrack);

  progress.SetPos(50);
  EXPECT_EQ(progress.GetPos(), 50);
  EXPECT_EQ(WindowPixel(bar, 195, 1), kFill);
  EXPECT_EQ(WindowPixel(bar, 196, 1), kTrack);

  progress.SetPos(100);
  EXPECT_EQ(WindowPixel(bar, 392, 1), kFill);

  // Colour messages of the standard control change nothing.
  ::SendMessageW(bar, PBM_SETBARCOLOR, 0, RGB(255, 0, 0));
  EXPECT_EQ(WindowPixel(bar, 10, 1), kFill);

  IAccessible* accessible = nullptr;
  ASSERT_EQ(::AccessibleObjectFromWindow(bar, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&accessible)),
            S_OK);
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role;
  ::VariantInit(&role);
  EXPECT_EQ(accessible->get_accRole(self, &role), S_OK);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_PROGRESSBAR);
  BSTR value = nullptr;
  EXPECT_EQ(accessible->get_accValue(self, &value), S_OK);
  EXPECT_STREQ(value, L"100%");
  ::SysFreeString(value);
  accessible->Release();
}

}  // namespace
}  // namespace ostrel
