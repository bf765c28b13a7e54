#include "ui/window_theme.h"

#include <gtest/gtest.h>

#include "base/scoped_gdi.h"
#include "config/brand_info.h"
#include "testing/log_capture.h"
#include "ui/ui_drawing.h"
#include "ui/ui_scale.h"
#include "ui/window_layout.h"

namespace ostrel {
namespace {

bool operator==(const ImagePair& a, const ImagePair& b) { return a.id_1x == b.id_1x && a.id_2x == b.id_2x; }

std::shared_ptr<InstallationWindowLayout> Layout(WindowsVersion version) {
  return std::make_shared<InstallationWindowLayoutNewIdentity>(version, nullptr, 3);
}

TEST(WindowThemeTest, WindowsSevenAndRussianChooseTheirImages) {
  BrandInfo russian(L"");
  russian.ApplyBrandInfo(R"({"languages": {"interface": "ru"}})");
  ASSERT_EQ(russian.language_id(), 1049u);

  InstallationWindowDefaultTheme seven(VERSION_WIN7, &russian, Layout(VERSION_WIN7));
  EXPECT_TRUE(seven.BackgroundImages() == ImagePair({2021, 2022}));  // JPEG
  EXPECT_TRUE(seven.FirstSlideImages() == ImagePair({2027, 2028}));
  EXPECT_TRUE(seven.ShadowTopLeftImages() == ImagePair({2291, 2295}));
  EXPECT_TRUE(seven.ShadowBottomLeftImages() == ImagePair({2294, 2298}));
  EXPECT_TRUE(seven.LogoImages() == ImagePair({2273, 2274}));

  InstallationWindowDarkTheme dark_ten(VERSION_WIN10, &russian, Layout(VERSION_WIN10));
  EXPECT_TRUE(dark_ten.FirstSlideImages() == ImagePair({0, 2305}));
  EXPECT_TRUE(dark_ten.BackgroundImages() == ImagePair({0, 2301}));
  EXPECT_TRUE(dark_ten.LogoImages() == ImagePair({0, 2315}));
  InstallationWindowDarkTheme dark_seven(VERSION_WIN7, nullptr, Layout(VERSION_WIN7));
  EXPECT_TRUE(dark_seven.FirstSlideImages() == ImagePair({0, 2302}));
  EXPECT_TRUE(dark_seven.ShadowTopRightImages() == ImagePair({0, 2325}));

  EXPECT_EQ(seven.Colors().status_text_alpha, 168);
  EXPECT_EQ(dark_ten.Colors().status_text, RGB(255, 255, 255));
  EXPECT_EQ(dark_ten.Colors().license_text_alpha, 122);
  EXPECT_EQ(dark_ten.Colors().install_button_text, RGB(0, 0, 0));
}

TEST(WindowThemeTest, FontsScaleWithTheFactor) {
  ScopedScaleFactorOverride factor(1.5);
  InstallationWindowDefaultTheme theme(VERSION_WIN10, nullptr, Layout(VERSION_WIN10));
  UiFontStyle title = theme.TitleFont();
  EXPECT_STREQ(title.face, L"KX Geo Medium");
  EXPECT_EQ(title.height, 51);
  EXPECT_EQ(title.weight, 500);
  EXPECT_EQ(theme.CheckBoxFont().height, 18);
}

TEST(WindowThemeTest, MissingFontResourcesAreLoggedAndSkipped) {
  testing::ScopedLogCapture log;
  // kernel32 carries no RT_FONT resources.
  InstallationWindowDefaultTheme theme(VERSION_WIN10, nullptr, Layout(VERSION_WIN10),
                                       ::GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(theme.added_font_count(), 0u);
  int lines = 0;
  for (const testing::CapturedRecord& record : log.records()) {
    if (record.function != "InstallationWindowThemeBase") continue;
    EXPECT_EQ(record.level, LOG_ERROR);
    ++lines;
  }
  EXPECT_EQ(lines, 3);
  EXPECT_TRUE(log.ContainsPrefix("Unable to find font id=2087 in resources - "));
  EXPECT_TRUE(log.ContainsPrefix("Unable to find font id=2090 in resources - "));
  EXPECT_NE(theme.SlideBrush(), nullptr);
}

TEST(WindowThemeTest, ProductFontsResolveWhileTheThemeLives) {
  testing::ScopedLogCapture log;
  auto theme = std::make_unique<InstallationWindowDefaultTheme>(VERSION_WIN10, nullptr, Layout(VERSION_WIN10));
  ASSERT_EQ(theme->added_font_count(), 3u);
  EXPECT_TRUE(log.Contains("1 font(s) added, id=2088"));
  ScopedWindowDC dc(nullptr);
  for (const UiFontStyle& style : {theme->TitleFont(), theme->TextFont(), theme->ButtonFont()}) {
    ScopedFont font = CreateThemeFont(style);
    ScopedSelectObject selected(dc.Get(), font.Get());
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc.Get(), LF_FACESIZE, face);
    EXPECT_STREQ(face, style.face);
  }
}

}  // namespace
}  // namespace ostrel
