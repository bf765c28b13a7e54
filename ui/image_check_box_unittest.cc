#include "ui/image_check_box.h"

#include <gtest/gtest.h>
#include <uxtheme.h>

#include "base/scoped_gdi.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

using testing::HostWindow;
using testing::SolidStripImage;
using testing::WindowPixel;

// Frames: normal, hot, pressed, then the same checked.
const std::vector<COLORREF> kBoxFrames = {RGB(250, 0, 0), RGB(0, 250, 0), RGB(0, 0, 250),
                                          RGB(250, 250, 0), RGB(0, 250, 250), RGB(250, 0, 250)};

// The window toggles its check boxes on each click, as the installation
// window does.
class ClickingHost : public HostWindow {
 public:
  using HostWindow::HostWindow;
  ImageCheckBox* box = nullptr;
  bool HandleMessage(HWND, UINT message, WPARAM wparam, LPARAM, LRESULT& result) override {
    if (message != WM_COMMAND || HIWORD(wparam) != BN_CLICKED || !box) return false;
    box->Toggle();
    result = 0;
    return true;
  }
};

TEST(ImageCheckBoxTest, ClicksToggleTheStateAndTheDrawnBox) {
  ClickingHost host(300, 100);
  HWND check_box = host.AddControl(L"Button", L"Set as default", BS_AUTOCHECKBOX, 109, {10, 10, 250, 40});
  CheckBoxStyle style;
  style.gap = 8;
  ImageCheckBox box(check_box, SolidStripImage(kBoxFrames, 16, 16), SolidStripImage({RGB(90, 90, 90)}, 300, 100),
                    style, /*checked=*/true);
  host.box = &box;
  EXPECT_EQ(box.own_state(), !::IsAppThemed());
  EXPECT_EQ(box.label_left(), 4 + 16 + 8);
  EXPECT_EQ(box.MeasureHeight(240), 4 + 16);
  EXPECT_TRUE(box.IsChecked());
  EXPECT_EQ(WindowPixel(check_box, 10, 10), kBoxFrames[3]);

  ::SendMessageW(check_box, BM_CLICK, 0, 0);
  testing::PumpMessages();
  EXPECT_FALSE(box.IsChecked());
  COLORREF unchecked = WindowPixel(check_box, 10, 10);
  EXPECT_TRUE(unchecked == kBoxFrames[0] || unchecked == kBoxFrames[1]) << std::hex << unchecked;

  ::SendMessageW(check_box, BM_CLICK, 0, 0);
  testing::PumpMessages();
  EXPECT_TRUE(box.IsChecked());
  // Outside the box: the parent's background.
  EXPECT_EQ(WindowPixel(check_box, 1, 1), RGB(90, 90, 90));
}

TEST(ImageCheckBoxTest, LinkLabelMeasuresItsLinesAndPlacesTheLink) {
  HostWindow host(400, 200);
  HWND check_box = host.AddControl(L"Button", L"I want to help by sending statistics. ((Privacy policy))",
                                   BS_AUTOCHECKBOX | BS_MULTILINE | BS_TOP, 110, {10, 10, 210, 100});
  HWND link = host.AddControl(L"Button", L"Privacy policy", BS_OWNERDRAW, 218, {0, 0, 10, 10});
  LinkCheckBox box(check_box, SolidStripImage(kBoxFrames, 16, 16), ScaledImage(), {}, false, {218}, 1, 5, 5);
  int height = box.MeasureHeight(200);
  int line_height = 0;
  {
    ScopedWindowDC dc(check_box);
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc.Get(), &metrics);
    line_height = metrics.tmHeight;
  }
  // Several lines of the same height, one pixel apart, inset 5 above and below.
  ASSERT_GT(height, line_height + 10);
  int lines = (height - 10 + 1) / (line_height + 1);
  EXPECT_EQ(height, lines * line_height + (lines - 1) + 10);
  box.PlaceLinks();
  RECT link_rect = {};
  ::GetWindowRect(link, &link_rect);
  ::MapWindowPoints(HWND_DESKTOP, host.window(), reinterpret_cast<POINT*>(&link_rect), 2);
  EXPECT_GE(link_rect.left, 10 + box.label_left());
  EXPECT_GT(link_rect.top, 10);
  EXPECT_LE(link_rect.bottom, 10 + height);
  // The hidden link shows once placed, and the box does not paint over it.
  EXPECT_TRUE(::GetWindowLongW(link, GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(::GetWindowLongW(check_box, GWL_STYLE) & WS_CLIPSIBLINGS);
}

}  // namespace
}  // namespace ostrel
