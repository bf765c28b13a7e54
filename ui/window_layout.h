// Geometry of the installation window, in logical pixels (callers pass every
// value through Scale/ScaleRect). The window is 802 × 430 with a 1-pixel
// border; rectangles are kept as the window stores them (see StoredRect).
#ifndef UI_WINDOW_LAYOUT_H_
#define UI_WINDOW_LAYOUT_H_

#include <windows.h>

#include <memory>

#include "base/windows_version.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;

// (l, t, r, b) inside the border: (l + 1, t + 1, r′, b′) with r′ = r + 1 and
// b′ = b + 1 unless that reaches the window's right (801) or bottom (428) edge.
RECT StoredRect(int left, int top, int right, int bottom);

struct VerticalInsets {
  int top = 0;
  int bottom = 0;
};

class InstallationWindowLayout {
 public:
  // layout_kind: (default-browser box shown ? 1 : 0) + (statistics box shown ? 2 : 0).
  InstallationWindowLayout(WindowsVersion windows_version, const BrandInfo* brand, int layout_kind);
  InstallationWindowLayout(const InstallationWindowLayout&) = delete;
  InstallationWindowLayout& operator=(const InstallationWindowLayout&) = delete;
  virtual ~InstallationWindowLayout();

  int Width() const;
  int Height() const;
  virtual int ShadowInset() const = 0;
  RECT TitleRect() const;
  RECT StatisticsCheckBoxRect() const;
  RECT DefaultCheckBoxRect() const;
  RECT InstallButtonTextInsets() const;
  int FocusRectInset() const;
  RECT InstallButtonRect() const;
  RECT CloseButtonRect() const;
  RECT LogoRect() const;
  RECT LicenseRect() const;
  RECT ProgressBarRect() const;
  RECT StatusTextRect() const;
  int Border() const;
  int CornerRadius() const;
  int CheckBoxGap() const;
  VerticalInsets LabelInsets() const;
  RECT MinimizeButtonRect() const;

  WindowsVersion windows_version() const { return windows_version_; }
  const BrandInfo* brand() const { return brand_; }
  int layout_kind() const { return layout_kind_; }
  bool shows_default_box() const { return (layout_kind_ & 1) != 0; }
  bool shows_statistics_box() const { return (layout_kind_ & 2) != 0; }

 private:
  WindowsVersion windows_version_;
  const BrandInfo* brand_;
  int layout_kind_;
};

class InstallationWindowLayoutDarkTheme : public InstallationWindowLayout {
 public:
  using InstallationWindowLayout::InstallationWindowLayout;
  int ShadowInset() const override { return 0; }
};

class InstallationWindowLayoutNewIdentity : public InstallationWindowLayout {
 public:
  using InstallationWindowLayout::InstallationWindowLayout;
  int ShadowInset() const override { return 1; }
};

// The dark-theme rule: the brand allows it, then "darktheme" in the
// distribution parameters, then the user's app mode (Personalize value).
bool IsDarkThemeEnabled(const BrandInfo* brand, const DistribInfoParams* params);

std::shared_ptr<InstallationWindowLayout> CreateLayout(const BrandInfo* brand, const DistribInfoParams* params,
                                                       int layout_kind);

}  // namespace ostrel

#endif  // UI_WINDOW_LAYOUT_H_
