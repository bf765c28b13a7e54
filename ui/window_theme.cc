#include "ui/window_theme.h"

#include "base/logging.h"
#include "config/brand_info.h"
#include "resources/image_ids.h"
#include "resources/resource_ids.h"
#include "ui/ui_font_faces.h"
#include "ui/ui_scale.h"
#include "ui/window_layout.h"

namespace ostrel {
namespace {

constexpr LANGID kRussian = 1049;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSlideBrushColour = RGB(207, 207, 207);
constexpr int kTitleStringId = 410;
constexpr int kDefaultCheckBoxStringId = 426;
constexpr int kLineSpacing = 1;

constexpr int kFontResources[] = {IDR_FONT_GEO_REGULAR, IDR_FONT_GEO_MEDIUM, IDR_FONT_TEXT};

constexpr ThemeColors kDefaultColors = {kBlack, 255, kBlack, 168, kBlack, 115, kBlack, 168,
                                        kBlack, 168, kBlack, 255, kWhite};
constexpr ThemeColors kDarkColors = {kWhite, 255, kWhite, 178, kWhite, 122, kWhite, 178,
                                     kWhite, 178, kWhite, 255, kBlack};

}  // namespace

InstallationWindowThemeBase::InstallationWindowThemeBase(WindowsVersion windows_version, const BrandInfo* brand,
                                                         std::shared_ptr<InstallationWindowLayout> layout,
                                                         HMODULE module)
    : windows_version_(windows_version),
      brand_(brand),
      layout_(std::move(layout)),
      slide_brush_(::CreateSolidBrush(kSlideBrushColour)) {
  LoadFonts(module ? module : ::GetModuleHandleW(nullptr));
}

InstallationWindowThemeBase::~InstallationWindowThemeBase() {
  for (HANDLE font : font_handles_) ::RemoveFontMemResourceEx(font);
}

void InstallationWindowThemeBase::LoadFonts(HMODULE module) {
  for (int id : kFontResources) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(8) /* RT_FONT */);
    if (!resource) {
      PLOG_TAG(ERROR, "InstallationWindowThemeBase") << "Unable to find font id=" << id << " in resources";
      continue;
    }
    HGLOBAL loaded = ::LoadResource(module, resource);
    void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) {
      PLOG_TAG(ERROR, "InstallationWindowThemeBase") << "Unable to load font id=" << id << " from resources";
      continue;
    }
    DWORD count = 0;
    HANDLE font = ::AddFontMemResourceEx(data, ::SizeofResource(module, resource), nullptr, &count);
    if (!font) {
      PLOG_TAG(ERROR, "InstallationWindowThemeBase") << "Unable to add font id=" << id;
      continue;
    }
    font_handles_.push_back(font);
    LOG_TAG(INFO, "InstallationWindowThemeBase") << count << " font(s) added, id=" << id;
  }
}

bool InstallationWindowThemeBase::IsRussian() const { return brand_ && brand_->language_id() == kRussian; }

const wchar_t* InstallationWindowThemeBase::Face(const wchar_t* product_face) const {
  if (!brand_) return product_face;
  // Both choices are string literals, so the view's data is terminated.
  return UiFontFaceName(product_face, static_cast<uint16_t>(brand_->language_id()), windows_version_).data();
}

ImagePair InstallationWindowThemeBase::CheckBoxImages() const { return {2019, 2020}; }
ImagePair InstallationWindowThemeBase::InstallButtonImages() const { return {2270, 0}; }
ImagePair InstallationWindowThemeBase::ProgressFillImages() const { return {2038, 2039}; }
ImagePair InstallationWindowThemeBase::ProgressTrackImages() const { return {2040, 2041}; }
ImagePair InstallationWindowThemeBase::LogoImages() const {
  return IsRussian() ? ImagePair{2273, 2274} : ImagePair{2271, 2272};
}
int InstallationWindowThemeBase::TitleStringId() const { return kTitleStringId; }
ImagePair InstallationWindowThemeBase::FirstSlideImages() const {
  if (IsWindows8OrLater()) return IsRussian() ? ImagePair{2074, 2075} : ImagePair{2072, 2073};
  return IsRussian() ? ImagePair{2027, 2028} : ImagePair{2025, 2026};
}
int InstallationWindowThemeBase::DefaultCheckBoxStringId() const { return kDefaultCheckBoxStringId; }
bool InstallationWindowThemeBase::CenterLicenseLines() const { return true; }
BYTE InstallationWindowThemeBase::TitleAlpha() const { return Colors().title_alpha; }
UiFontSpec InstallationWindowThemeBase::TitleFont() const { return {Face(kGeoMediumFace), Scale(34), 500}; }
UiFontSpec InstallationWindowThemeBase::TextFont() const { return {Face(kTextFace), Scale(13), 400}; }
UiFontSpec InstallationWindowThemeBase::LinkFont() const { return {Face(kTextFace), Scale(13), 400}; }
UiFontSpec InstallationWindowThemeBase::ButtonFont() const { return {Face(kGeoRegularFace), Scale(18), 400}; }
ScaledImage InstallationWindowThemeBase::LoadFirstSlide() const {
  ScaledImage image;
  image.Load(FirstSlideImages());
  return image;
}
int InstallationWindowThemeBase::LineSpacing() const { return kLineSpacing; }
ImagePair InstallationWindowThemeBase::BackgroundImages() const {
  return IsWindows8OrLater() ? ImagePair{2068, 2069} : ImagePair{2021, 2022};
}
ImagePair InstallationWindowThemeBase::CloseButtonImages() const { return {2030, 2031}; }
ImagePair InstallationWindowThemeBase::MinimizeButtonImages() const { return {2034, 2035}; }
ImagePair InstallationWindowThemeBase::FirstScreenMinimizeImages() const { return {2036, 2037}; }
UiFontSpec InstallationWindowThemeBase::CheckBoxFont() const { return {Face(kTextFace), Scale(12), 400}; }
UiFontSpec InstallationWindowThemeBase::PrivacyLinkFont() const { return {Face(kTextFace), Scale(12), 400}; }
ImagePair InstallationWindowThemeBase::ShadowTopLeftImages() const {
  return IsWindows8OrLater() ? ImagePair{2275, 2283} : ImagePair{2291, 2295};
}
ImagePair InstallationWindowThemeBase::ShadowTopRightImages() const {
  return IsWindows8OrLater() ? ImagePair{2276, 2284} : ImagePair{2292, 2296};
}
ImagePair InstallationWindowThemeBase::ShadowBottomRightImages() const {
  return IsWindows8OrLater() ? ImagePair{2277, 2285} : ImagePair{2293, 2297};
}
ImagePair InstallationWindowThemeBase::ShadowBottomLeftImages() const {
  return IsWindows8OrLater() ? ImagePair{2278, 2286} : ImagePair{2294, 2298};
}
ImagePair InstallationWindowThemeBase::ShadowLeftImages() const { return {2279, 2287}; }
ImagePair InstallationWindowThemeBase::ShadowTopImages() const { return {2280, 2288}; }
ImagePair InstallationWindowThemeBase::ShadowRightImages() const { return {2281, 2289}; }
ImagePair InstallationWindowThemeBase::ShadowBottomImages() const { return {2282, 2290}; }
const ThemeColors& InstallationWindowThemeBase::Colors() const { return kDefaultColors; }

// The dark theme carries 2x images only.
ImagePair InstallationWindowDarkTheme::CheckBoxImages() const { return {0, 2311}; }
ImagePair InstallationWindowDarkTheme::InstallButtonImages() const { return {0, 2306}; }
ImagePair InstallationWindowDarkTheme::ProgressFillImages() const { return {0, 2312}; }
ImagePair InstallationWindowDarkTheme::ProgressTrackImages() const { return {0, 2313}; }
ImagePair InstallationWindowDarkTheme::LogoImages() const { return {0, IsRussian() ? 2315 : 2314}; }
ImagePair InstallationWindowDarkTheme::FirstSlideImages() const {
  return {0, 2302 + (IsRussian() ? 1 : 0) + (IsWindows8OrLater() ? 2 : 0)};
}
ImagePair InstallationWindowDarkTheme::BackgroundImages() const { return {0, IsWindows8OrLater() ? 2301 : 2300}; }
ImagePair InstallationWindowDarkTheme::CloseButtonImages() const { return {0, 2307}; }
ImagePair InstallationWindowDarkTheme::MinimizeButtonImages() const { return {0, 2309}; }
ImagePair InstallationWindowDarkTheme::FirstScreenMinimizeImages() const { return {0, 2310}; }
ImagePair InstallationWindowDarkTheme::ShadowTopLeftImages() const { return {0, IsWindows8OrLater() ? 2316 : 2324}; }
ImagePair InstallationWindowDarkTheme::ShadowTopRightImages() const { return {0, IsWindows8OrLater() ? 2317 : 2325}; }
ImagePair InstallationWindowDarkTheme::ShadowBottomRightImages() const {
  return {0, IsWindows8OrLater() ? 2318 : 2326};
}
ImagePair InstallationWindowDarkTheme::ShadowBottomLeftImages() const {
  return {0, IsWindows8OrLater() ? 2319 : 2327};
}
ImagePair InstallationWindowDarkTheme::ShadowLeftImages() const { return {0, 2320}; }
ImagePair InstallationWindowDarkTheme::ShadowTopImages() const { return {0, 2321}; }
ImagePair InstallationWindowDarkTheme::ShadowRightImages() const { return {0, 2322}; }
ImagePair InstallationWindowDarkTheme::ShadowBottomImages() const { return {0, 2323}; }
const ThemeColors& InstallationWindowDarkTheme::Colors() const { return kDarkColors; }

std::unique_ptr<InstallationWindowThemeBase> CreateTheme(const BrandInfo* brand, const DistribInfoParams* params,
                                                         std::shared_ptr<InstallationWindowLayout> layout) {
  WindowsVersion version = layout ? layout->windows_version() : VERSION_WIN10;
  if (IsDarkThemeEnabled(brand, params))
    return std::make_unique<InstallationWindowDarkTheme>(version, brand, std::move(layout));
  return std::make_unique<InstallationWindowDefaultTheme>(version, brand, std::move(layout));
}

}  // namespace ostrel
