#include "ui/window_layout.h"

#include <string>

#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"

namespace ostrel {
namespace {

constexpr int kWindowWidth = 802;
constexpr int kWindowHeight = 430;
constexpr int kStoredRightLimit = 801;
constexpr int kStoredBottomLimit = 428;

constexpr wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightTheme[] = L"AppsUseLightTheme";
constexpr char kDarkThemeParam[] = "darktheme";

bool UserPrefersDarkApps() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, KEY_READ | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS)
    return false;
  ScopedRegKey key(raw);
  DWORD value = 1;
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (::RegQueryValueExW(key.Get(), kAppsUseLightTheme, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return false;
  }
  return value == 0;
}

}  // namespace

RECT StoredRect(int left, int top, int right, int bottom) {
  return {left + 1, top + 1, right + 1 < kStoredRightLimit ? right + 1 : right,
          bottom + 1 < kStoredBottomLimit ? bottom + 1 : bottom};
}

InstallationWindowLayout::InstallationWindowLayout(WindowsVersion windows_version, const BrandInfo* brand,
                                                   int layout_kind)
    : windows_version_(windows_version), brand_(brand), layout_kind_(layout_kind) {}

InstallationWindowLayout::~InstallationWindowLayout() = default;

int InstallationWindowLayout::Width() const { return kWindowWidth; }
int InstallationWindowLayout::Height() const { return kWindowHeight; }

RECT InstallationWindowLayout::TitleRect() const {
  return StoredRect(60, 98, 472, ProgressBarRect().top - 1);
}

RECT InstallationWindowLayout::StatisticsCheckBoxRect() const {
  if (!shows_statistics_box()) return {};
  return StoredRect(58, 206, 453, 428);
}

RECT InstallationWindowLayout::DefaultCheckBoxRect() const {
  if (!shows_default_box()) return {};
  return StoredRect(58, shows_statistics_box() ? 266 : 206, 453, 428);
}

RECT InstallationWindowLayout::InstallButtonTextInsets() const { return {}; }
int InstallationWindowLayout::FocusRectInset() const { return 0; }
RECT InstallationWindowLayout::InstallButtonRect() const { return StoredRect(60, 332, 801, 428); }
RECT InstallationWindowLayout::CloseButtonRect() const { return StoredRect(766, 10, 801, 428); }
RECT InstallationWindowLayout::LogoRect() const { return StoredRect(60, 40, 272, 78); }
RECT InstallationWindowLayout::LicenseRect() const { return StoredRect(556, 332, 758, 428); }
RECT InstallationWindowLayout::ProgressBarRect() const { return StoredRect(60, 357, 453, 362); }
RECT InstallationWindowLayout::StatusTextRect() const { return StoredRect(60, 371, 453, 428); }
int InstallationWindowLayout::Border() const { return 1; }
int InstallationWindowLayout::CornerRadius() const { return windows_version_ < VERSION_WIN8 ? 0 : 9; }
int InstallationWindowLayout::CheckBoxGap() const { return 8; }
VerticalInsets InstallationWindowLayout::LabelInsets() const { return {5, 5}; }
RECT InstallationWindowLayout::MinimizeButtonRect() const { return StoredRect(722, 10, 801, 428); }

bool IsDarkThemeEnabled(const BrandInfo* brand, const DistribInfoParams* params) {
  if (!brand || !brand->dark_theme_enabled()) return false;
  std::string value;
  if (params && params->Get(kDarkThemeParam, &value)) return value == "1";
  return UserPrefersDarkApps();
}

std::shared_ptr<InstallationWindowLayout> CreateLayout(const BrandInfo* brand, const DistribInfoParams* params,
                                                       int layout_kind) {
  WindowsVersion version = CurrentWindowsVersion();
  if (IsDarkThemeEnabled(brand, params))
    return std::make_shared<InstallationWindowLayoutDarkTheme>(version, brand, layout_kind);
  return std::make_shared<InstallationWindowLayoutNewIdentity>(version, brand, layout_kind);
}

}  // namespace ostrel
