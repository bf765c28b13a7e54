// The look of the installation window: images (1x/2x pairs of RT_RCDATA
// ids), fonts, colours and alpha values, some string ids, and the brush
// behind slides. The default (light) theme uses the base's tables; the dark
// theme has its own images and colours. The theme also adds the product's
// fonts from the executable so windows can use them by face name.
#ifndef UI_WINDOW_THEME_H_
#define UI_WINDOW_THEME_H_

#include <windows.h>

#include <array>
#include <memory>
#include <vector>

#include "base/scoped_handle.h"
#include "base/windows_version.h"
#include "ui/ui_drawing.h"
#include "ui/scaled_image.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;
class InstallationWindowLayout;

// A font of the theme: face, character height in device pixels, weight.
struct UiFontStyle {
  const wchar_t* face = nullptr;
  int height = 0;
  int weight = FW_NORMAL;
};

ScopedFont CreateThemeFont(const UiFontStyle& style, bool underline = false);

struct ThemeColors {
  COLORREF title;
  BYTE title_alpha;
  COLORREF status_text;
  BYTE status_text_alpha;
  COLORREF license_text;
  BYTE license_text_alpha;
  COLORREF license_link;
  BYTE license_link_alpha;
  COLORREF check_box_label;
  BYTE check_box_label_alpha;
  COLORREF privacy_link;
  BYTE privacy_link_alpha;
  COLORREF install_button_text;
};

// The product's font faces (RT_FONT resources of the executable).
inline constexpr wchar_t kGeoRegularFace[] = L"KX Geo Regular";
inline constexpr wchar_t kGeoMediumFace[] = L"KX Geo Medium";
inline constexpr wchar_t kTextFace[] = L"KX Text";

class InstallationWindowThemeBase {
 public:
  // `module` holds the fonts (null: the executable).
  InstallationWindowThemeBase(WindowsVersion windows_version, const BrandInfo* brand,
                              std::shared_ptr<InstallationWindowLayout> layout, HMODULE module = nullptr);
  InstallationWindowThemeBase(const InstallationWindowThemeBase&) = delete;
  InstallationWindowThemeBase& operator=(const InstallationWindowThemeBase&) = delete;
  virtual ~InstallationWindowThemeBase();

  virtual ImagePair CheckBoxImages() const;
  virtual ImagePair InstallButtonImages() const;
  virtual ImagePair ProgressFillImages() const;
  virtual ImagePair ProgressTrackImages() const;
  virtual ImagePair LogoImages() const;
  int TitleStringId() const;
  virtual ImagePair FirstSlideImages() const;
  int DefaultCheckBoxStringId() const;
  bool CenterLicenseLines() const;
  BYTE TitleAlpha() const;
  HBRUSH SlideBrush() const { return slide_brush_.Get(); }
  UiFontStyle TitleFont() const;
  UiFontStyle TextFont() const;
  UiFontStyle LinkFont() const;
  UiFontStyle ButtonFont() const;
  ScaledImage LoadFirstSlide() const;
  int LineSpacing() const;
  virtual ImagePair BackgroundImages() const;
  virtual ImagePair CloseButtonImages() const;
  virtual ImagePair MinimizeButtonImages() const;
  virtual ImagePair FirstScreenMinimizeImages() const;
  UiFontStyle CheckBoxFont() const;
  UiFontStyle PrivacyLinkFont() const;
  virtual ImagePair ShadowTopLeftImages() const;
  virtual ImagePair ShadowTopRightImages() const;
  virtual ImagePair ShadowBottomRightImages() const;
  virtual ImagePair ShadowBottomLeftImages() const;
  virtual ImagePair ShadowLeftImages() const;
  virtual ImagePair ShadowTopImages() const;
  virtual ImagePair ShadowRightImages() const;
  virtual ImagePair ShadowBottomImages() const;
  // The eight above in the shadow's drawing order (MainShadowRects).
  std::array<ImagePair, 8> ShadowImages() const;

  virtual const ThemeColors& Colors() const;
  virtual bool IsDark() const { return false; }

  const std::shared_ptr<InstallationWindowLayout>& layout() const { return layout_; }
  // Fonts added from the executable (one handle per resource that loaded).
  size_t added_font_count() const { return font_handles_.size(); }

 protected:
  bool IsRussian() const;
  bool IsWindows8OrLater() const { return windows_version_ >= VERSION_WIN8; }

 private:
  void LoadFonts(HMODULE module);
  // A system face for languages the product fonts have no glyphs for.
  const wchar_t* Face(const wchar_t* product_face) const;

  WindowsVersion windows_version_;
  const BrandInfo* brand_;
  std::shared_ptr<InstallationWindowLayout> layout_;
  ScopedBrush slide_brush_;
  std::vector<HANDLE> font_handles_;
};

class InstallationWindowDefaultTheme : public InstallationWindowThemeBase {
 public:
  using InstallationWindowThemeBase::InstallationWindowThemeBase;
};

class InstallationWindowDarkTheme : public InstallationWindowThemeBase {
 public:
  using InstallationWindowThemeBase::InstallationWindowThemeBase;

  ImagePair CheckBoxImages() const override;
  ImagePair InstallButtonImages() const override;
  ImagePair ProgressFillImages() const override;
  ImagePair ProgressTrackImages() const override;
  ImagePair LogoImages() const override;
  ImagePair FirstSlideImages() const override;
  ImagePair BackgroundImages() const override;
  ImagePair CloseButtonImages() const override;
  ImagePair MinimizeButtonImages() const override;
  ImagePair FirstScreenMinimizeImages() const override;
  ImagePair ShadowTopLeftImages() const override;
  ImagePair ShadowTopRightImages() const override;
  ImagePair ShadowBottomRightImages() const override;
  ImagePair ShadowBottomLeftImages() const override;
  ImagePair ShadowLeftImages() const override;
  ImagePair ShadowTopImages() const override;
  ImagePair ShadowRightImages() const override;
  ImagePair ShadowBottomImages() const override;
  const ThemeColors& Colors() const override;
  bool IsDark() const override { return true; }
};

// The dark theme when the dark-theme rule holds, else the default theme.
std::unique_ptr<InstallationWindowThemeBase> CreateTheme(const BrandInfo* brand, const DistribInfoParams* params,
                                                         std::shared_ptr<InstallationWindowLayout> layout);

}  // namespace ostrel

#endif  // UI_WINDOW_THEME_H_
