#include "ui/window_theme.h"

#include "base/logging.h"
#include "config/brand_info.h"
#include "resources/image_ids.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "ui/ui_font_faces.h"
#include "ui/ui_scale.h"
#include "ui/window_layout.h"

namespace ostrel {

ScopedFont CreateThemeFont(const UiFontStyle& style, bool underline) {
  return CreateUiFont(style.face, style.height, style.weight, underline);
}
namespace {

constexpr LANGID kRussian = 1049;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kSlideBrushColour = RGB(207, 207, 207);
constexpr int kLineSpacing = 1;

constexpr int kFontResources[] = {IDR_FONT_GEO_REGULAR, IDR_FONT_GEO_MEDIUM, IDR_FONT_TEXT};

constexpr ThemeColors kDefaultColors = {kBlack, 255,    kBlack, 168,    kBlack, 115,   kBlack,
                                        168,    kBlack, 168,    kBlack, 255,    kWhite};
constexpr ThemeColors kDarkColors = {kWhite, 255,    kWhite, 178,    kWhite, 122,   kWhite,
                                     178,    kWhite, 178,    kWhite, 255,    kBlack};

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

ImagePair InstallationWindowThemeBase::CheckBoxImages() const { return {IDR_CHECK_BOX_1X, IDR_CHECK_BOX_2X}; }
ImagePair InstallationWindowThemeBase::InstallButtonImages() const { return {IDR_INSTALL_BUTTON_1X, 0}; }
ImagePair InstallationWindowThemeBase::ProgressFillImages() const {
  return {IDR_PROGRESS_FILL_1X, IDR_PROGRESS_FILL_2X};
}
ImagePair InstallationWindowThemeBase::ProgressTrackImages() const {
  return {IDR_PROGRESS_TRACK_1X, IDR_PROGRESS_TRACK_2X};
}
ImagePair InstallationWindowThemeBase::LogoImages() const {
  return IsRussian() ? ImagePair{IDR_LOGO_RUSSIAN_1X, IDR_LOGO_RUSSIAN_2X} : ImagePair{IDR_LOGO_1X, IDR_LOGO_2X};
}
int InstallationWindowThemeBase::TitleStringId() const { return kStringFirstScreenTitle; }
ImagePair InstallationWindowThemeBase::FirstSlideImages() const {
  if (IsWindows8OrLater())
    return IsRussian() ? ImagePair{IDR_FIRST_SLIDE_RUSSIAN_1X, IDR_FIRST_SLIDE_RUSSIAN_2X}
                       : ImagePair{IDR_FIRST_SLIDE_1X, IDR_FIRST_SLIDE_2X};
  return IsRussian() ? ImagePair{IDR_FIRST_SLIDE_RUSSIAN_JPEG_1X, IDR_FIRST_SLIDE_RUSSIAN_JPEG_2X}
                     : ImagePair{IDR_FIRST_SLIDE_JPEG_1X, IDR_FIRST_SLIDE_JPEG_2X};
}
int InstallationWindowThemeBase::DefaultCheckBoxStringId() const { return kStringMakeDefaultCheckBox; }
bool InstallationWindowThemeBase::CenterLicenseLines() const { return true; }
BYTE InstallationWindowThemeBase::TitleAlpha() const { return Colors().title_alpha; }
UiFontStyle InstallationWindowThemeBase::TitleFont() const { return {Face(kGeoMediumFace), Scale(34), 500}; }
UiFontStyle InstallationWindowThemeBase::TextFont() const { return {Face(kTextFace), Scale(13), 400}; }
UiFontStyle InstallationWindowThemeBase::LinkFont() const { return {Face(kTextFace), Scale(13), 400}; }
UiFontStyle InstallationWindowThemeBase::ButtonFont() const { return {Face(kGeoRegularFace), Scale(18), 400}; }
ScaledImage InstallationWindowThemeBase::LoadFirstSlide() const {
  ScaledImage image;
  image.Load(FirstSlideImages());
  return image;
}
int InstallationWindowThemeBase::LineSpacing() const { return kLineSpacing; }
ImagePair InstallationWindowThemeBase::BackgroundImages() const {
  return IsWindows8OrLater() ? ImagePair{IDR_BACKGROUND_1X, IDR_BACKGROUND_2X}
                             : ImagePair{IDR_BACKGROUND_JPEG_1X, IDR_BACKGROUND_JPEG_2X};
}
ImagePair InstallationWindowThemeBase::CloseButtonImages() const { return {IDR_CLOSE_BUTTON_1X, IDR_CLOSE_BUTTON_2X}; }
ImagePair InstallationWindowThemeBase::MinimizeButtonImages() const {
  return {IDR_MINIMIZE_BUTTON_1X, IDR_MINIMIZE_BUTTON_2X};
}
ImagePair InstallationWindowThemeBase::FirstScreenMinimizeImages() const {
  return {IDR_FIRST_SCREEN_MINIMIZE_1X, IDR_FIRST_SCREEN_MINIMIZE_2X};
}
UiFontStyle InstallationWindowThemeBase::CheckBoxFont() const { return {Face(kTextFace), Scale(12), 400}; }
UiFontStyle InstallationWindowThemeBase::PrivacyLinkFont() const { return {Face(kTextFace), Scale(12), 400}; }
ImagePair InstallationWindowThemeBase::ShadowTopLeftImages() const {
  return IsWindows8OrLater() ? ImagePair{IDR_SHADOW_TOP_LEFT_1X, IDR_SHADOW_TOP_LEFT_2X}
                             : ImagePair{IDR_SHADOW_SQUARE_TOP_LEFT_1X, IDR_SHADOW_SQUARE_TOP_LEFT_2X};
}
ImagePair InstallationWindowThemeBase::ShadowTopRightImages() const {
  return IsWindows8OrLater() ? ImagePair{IDR_SHADOW_TOP_RIGHT_1X, IDR_SHADOW_TOP_RIGHT_2X}
                             : ImagePair{IDR_SHADOW_SQUARE_TOP_RIGHT_1X, IDR_SHADOW_SQUARE_TOP_RIGHT_2X};
}
ImagePair InstallationWindowThemeBase::ShadowBottomRightImages() const {
  return IsWindows8OrLater() ? ImagePair{IDR_SHADOW_BOTTOM_RIGHT_1X, IDR_SHADOW_BOTTOM_RIGHT_2X}
                             : ImagePair{IDR_SHADOW_SQUARE_BOTTOM_RIGHT_1X, IDR_SHADOW_SQUARE_BOTTOM_RIGHT_2X};
}
ImagePair InstallationWindowThemeBase::ShadowBottomLeftImages() const {
  return IsWindows8OrLater() ? ImagePair{IDR_SHADOW_BOTTOM_LEFT_1X, IDR_SHADOW_BOTTOM_LEFT_2X}
                             : ImagePair{IDR_SHADOW_SQUARE_BOTTOM_LEFT_1X, IDR_SHADOW_SQUARE_BOTTOM_LEFT_2X};
}
std::array<ImagePair, 8> InstallationWindowThemeBase::ShadowImages() const {
  return {ShadowTopLeftImages(),    ShadowTopRightImages(), ShadowBottomRightImages(), ShadowBottomLeftImages(),
          ShadowTopImages(),        ShadowRightImages(),    ShadowBottomImages(),      ShadowLeftImages()};
}
ImagePair InstallationWindowThemeBase::ShadowLeftImages() const { return {IDR_SHADOW_LEFT_1X, IDR_SHADOW_LEFT_2X}; }
ImagePair InstallationWindowThemeBase::ShadowTopImages() const { return {IDR_SHADOW_TOP_1X, IDR_SHADOW_TOP_2X}; }
ImagePair InstallationWindowThemeBase::ShadowRightImages() const { return {IDR_SHADOW_RIGHT_1X, IDR_SHADOW_RIGHT_2X}; }
ImagePair InstallationWindowThemeBase::ShadowBottomImages() const {
  return {IDR_SHADOW_BOTTOM_1X, IDR_SHADOW_BOTTOM_2X};
}
const ThemeColors& InstallationWindowThemeBase::Colors() const { return kDefaultColors; }

// The dark theme carries 2x images only.
ImagePair InstallationWindowDarkTheme::CheckBoxImages() const { return {0, IDR_DARK_CHECK_BOX_2X}; }
ImagePair InstallationWindowDarkTheme::InstallButtonImages() const { return {0, IDR_DARK_INSTALL_BUTTON_2X}; }
ImagePair InstallationWindowDarkTheme::ProgressFillImages() const { return {0, IDR_DARK_PROGRESS_FILL_2X}; }
ImagePair InstallationWindowDarkTheme::ProgressTrackImages() const { return {0, IDR_DARK_PROGRESS_TRACK_2X}; }
ImagePair InstallationWindowDarkTheme::LogoImages() const {
  return {0, IsRussian() ? IDR_DARK_LOGO_RUSSIAN_2X : IDR_DARK_LOGO_2X};
}
ImagePair InstallationWindowDarkTheme::FirstSlideImages() const {
  if (IsWindows8OrLater()) return {0, IsRussian() ? IDR_DARK_FIRST_SLIDE_RUSSIAN_2X : IDR_DARK_FIRST_SLIDE_2X};
  return {0, IsRussian() ? IDR_DARK_FIRST_SLIDE_RUSSIAN_JPEG_2X : IDR_DARK_FIRST_SLIDE_JPEG_2X};
}
ImagePair InstallationWindowDarkTheme::BackgroundImages() const {
  return {0, IsWindows8OrLater() ? IDR_DARK_BACKGROUND_2X : IDR_DARK_BACKGROUND_JPEG_2X};
}
ImagePair InstallationWindowDarkTheme::CloseButtonImages() const { return {0, IDR_DARK_CLOSE_BUTTON_2X}; }
ImagePair InstallationWindowDarkTheme::MinimizeButtonImages() const { return {0, IDR_DARK_MINIMIZE_BUTTON_2X}; }
ImagePair InstallationWindowDarkTheme::FirstScreenMinimizeImages() const {
  return {0, IDR_DARK_FIRST_SCREEN_MINIMIZE_2X};
}
ImagePair InstallationWindowDarkTheme::ShadowTopLeftImages() const {
  return {0, IsWindows8OrLater() ? IDR_DARK_SHADOW_TOP_LEFT_2X : IDR_DARK_SHADOW_SQUARE_TOP_LEFT_2X};
}
ImagePair InstallationWindowDarkTheme::ShadowTopRightImages() const {
  return {0, IsWindows8OrLater() ? IDR_DARK_SHADOW_TOP_RIGHT_2X : IDR_DARK_SHADOW_SQUARE_TOP_RIGHT_2X};
}
ImagePair InstallationWindowDarkTheme::ShadowBottomRightImages() const {
  return {0, IsWindows8OrLater() ? IDR_DARK_SHADOW_BOTTOM_RIGHT_2X : IDR_DARK_SHADOW_SQUARE_BOTTOM_RIGHT_2X};
}
ImagePair InstallationWindowDarkTheme::ShadowBottomLeftImages() const {
  return {0, IsWindows8OrLater() ? IDR_DARK_SHADOW_BOTTOM_LEFT_2X : IDR_DARK_SHADOW_SQUARE_BOTTOM_LEFT_2X};
}
ImagePair InstallationWindowDarkTheme::ShadowLeftImages() const { return {0, IDR_DARK_SHADOW_LEFT_2X}; }
ImagePair InstallationWindowDarkTheme::ShadowTopImages() const { return {0, IDR_DARK_SHADOW_TOP_2X}; }
ImagePair InstallationWindowDarkTheme::ShadowRightImages() const { return {0, IDR_DARK_SHADOW_RIGHT_2X}; }
ImagePair InstallationWindowDarkTheme::ShadowBottomImages() const { return {0, IDR_DARK_SHADOW_BOTTOM_2X}; }
const ThemeColors& InstallationWindowDarkTheme::Colors() const { return kDarkColors; }

std::unique_ptr<InstallationWindowThemeBase> CreateTheme(const BrandInfo* brand, const DistribInfoParams* params,
                                                         std::shared_ptr<InstallationWindowLayout> layout) {
  WindowsVersion version = layout ? layout->windows_version() : VERSION_WIN10;
  if (IsDarkThemeEnabled(brand, params))
    return std::make_unique<InstallationWindowDarkTheme>(version, brand, std::move(layout));
  return std::make_unique<InstallationWindowDefaultTheme>(version, brand, std::move(layout));
}

}  // namespace ostrel
