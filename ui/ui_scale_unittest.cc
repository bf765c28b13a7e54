#include "ui/ui_scale.h"

#include <gtest/gtest.h>

#include "base/installer_command_line.h"
#include "ui/scaled_image.h"

namespace ostrel {
namespace {

TEST(UiScaleTest, ForcedFactorMustBeAFinitePositiveNumber) {
  EXPECT_EQ(ParseForcedScaleFactor(L"1.5"), 1.5);
  EXPECT_EQ(ParseForcedScaleFactor(L"2"), 2.0);
  for (const wchar_t* rejected : {L"0", L"-1", L"inf", L"-inf", L"nan", L"", L"abc"})
    EXPECT_FALSE(ParseForcedScaleFactor(rejected).has_value()) << rejected;

  EXPECT_EQ(ComputeScaleFactor(InstallerCommandLine::ParseString(L"a.exe --force-device-scale-factor=1.5")), 1.5);
  // A rejected value leaves the screen's factor (96 DPI under test: 1).
  double screen = ComputeScaleFactor(InstallerCommandLine::ParseString(L"a.exe"));
  EXPECT_GT(screen, 0);
  EXPECT_EQ(ComputeScaleFactor(InstallerCommandLine::ParseString(L"a.exe --force-device-scale-factor=-2")), screen);
}

TEST(UiScaleTest, ScaleTruncatesEachValueAndCoordinate) {
  ScopedScaleFactorOverride factor(1.5);
  EXPECT_EQ(Scale(34), 51);
  EXPECT_EQ(Scale(13), 19);  // 19.5
  RECT scaled = ScaleRect({61, 99, 473, 358});
  EXPECT_EQ(scaled.left, 91);
  EXPECT_EQ(scaled.top, 148);
  EXPECT_EQ(scaled.right, 709);
  EXPECT_EQ(scaled.bottom, 537);
}

TEST(UiScaleTest, TwoTimesImagesAtAnyScaleButOne) {
  ImageChoice one = ChooseImageResource({2019, 2020}, 1.0);
  EXPECT_EQ(one.id, 2019);
  EXPECT_EQ(one.divisor, 1);
  ImageChoice larger = ChooseImageResource({2019, 2020}, 1.25);
  EXPECT_EQ(larger.id, 2020);
  EXPECT_EQ(1.25 / larger.divisor, 0.625);
  // Only one of the pair present: that one, whatever the scale.
  EXPECT_EQ(ChooseImageResource({0, 2311}, 1.0).id, 2311);
  EXPECT_EQ(ChooseImageResource({2270, 0}, 2.0).id, 2270);
  EXPECT_EQ(ChooseImageResource({2270, 0}, 2.0).divisor, 1);
}

}  // namespace
}  // namespace ostrel
