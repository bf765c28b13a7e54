#include "ui/window_layout.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "base/installer_command_line.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "testing/fake_distrib_info_params.h"
#include "testing/registry_override.h"

namespace ostrel {
namespace {

std::tuple<LONG, LONG, LONG, LONG> Tuple(const RECT& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

TEST(WindowLayoutTest, RectanglesAreStoredInsideTheBorder) {
  InstallationWindowLayoutNewIdentity layout(VERSION_WIN10, nullptr, 3);
  EXPECT_EQ(layout.Width(), 802);
  EXPECT_EQ(layout.Height(), 430);
  using R = std::tuple<LONG, LONG, LONG, LONG>;
  EXPECT_EQ(Tuple(layout.TitleRect()), R(61, 99, 473, 358));
  EXPECT_EQ(Tuple(layout.StatisticsCheckBoxRect()), R(59, 207, 454, 428));
  EXPECT_EQ(Tuple(layout.DefaultCheckBoxRect()), R(59, 267, 454, 428));
  EXPECT_EQ(Tuple(layout.InstallButtonRect()), R(61, 333, 801, 428));
  EXPECT_EQ(Tuple(layout.CloseButtonRect()), R(767, 11, 801, 428));
  EXPECT_EQ(Tuple(layout.MinimizeButtonRect()), R(723, 11, 801, 428));
  EXPECT_EQ(Tuple(layout.LogoRect()), R(61, 41, 273, 79));
  EXPECT_EQ(Tuple(layout.LicenseRect()), R(557, 333, 759, 428));
  EXPECT_EQ(Tuple(layout.ProgressBarRect()), R(61, 358, 454, 363));
  EXPECT_EQ(Tuple(layout.StatusTextRect()), R(61, 372, 454, 428));
  EXPECT_EQ(Tuple(layout.InstallButtonTextInsets()), R(0, 0, 0, 0));

  // Only the default box: it takes the statistics box's place; neither: empty.
  InstallationWindowLayoutNewIdentity default_only(VERSION_WIN10, nullptr, 1);
  EXPECT_EQ(default_only.DefaultCheckBoxRect().top, 207);
  EXPECT_EQ(Tuple(default_only.StatisticsCheckBoxRect()), R(0, 0, 0, 0));
  InstallationWindowLayoutDarkTheme none(VERSION_WIN10, nullptr, 0);
  EXPECT_EQ(Tuple(none.DefaultCheckBoxRect()), R(0, 0, 0, 0));

  EXPECT_EQ(layout.ShadowInset(), 1);
  EXPECT_EQ(none.ShadowInset(), 0);
  EXPECT_EQ(layout.CornerRadius(), 9);
  EXPECT_EQ(InstallationWindowLayoutNewIdentity(VERSION_WIN7, nullptr, 0).CornerRadius(), 0);
}

using FakeParams = testing::FakeDistribInfoParams;

class DarkThemeRuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(hkcu_.active());
    brand_.ApplyBrandInfo(R"({"overridden_features": {"InstallerDarkTheme2024": {"enabled": true}}})");
    ASSERT_TRUE(brand_.dark_theme_enabled());
  }
  void SetAppsUseLightTheme(DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"AppsUseLightTheme", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    ::RegCloseKey(key);
  }
  bool DarkWith(std::map<std::string, std::string> values) {
    FakeParams params(std::move(values));
    return IsDarkThemeEnabled(&brand_, &params);
  }

  testing::ScopedHkcuOverride hkcu_;
  BrandInfo brand_{L""};
};

TEST_F(DarkThemeRuleTest, ParameterDecidesBeforeTheUsersAppMode) {
  EXPECT_FALSE(DarkWith({})) << "no Personalize key";
  SetAppsUseLightTheme(0);
  EXPECT_TRUE(DarkWith({}));
  EXPECT_FALSE(DarkWith({{"darktheme", "0"}}));
  SetAppsUseLightTheme(1);
  EXPECT_TRUE(DarkWith({{"darktheme", "1"}}));
  EXPECT_FALSE(DarkWith({{"darktheme", "2"}}));
  EXPECT_FALSE(DarkWith({}));

  BrandInfo without_flag(L"");
  FakeParams params(std::map<std::string, std::string>{{"darktheme", "1"}});
  EXPECT_FALSE(IsDarkThemeEnabled(&without_flag, &params));
  EXPECT_FALSE(IsDarkThemeEnabled(nullptr, &params));

  EXPECT_EQ(CreateLayout(&brand_, &params, 3)->ShadowInset(), 0);
  EXPECT_EQ(CreateLayout(&without_flag, &params, 3)->ShadowInset(), 1);
}

}  // namespace
}  // namespace ostrel
