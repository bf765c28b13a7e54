// The installation window as this product draws it: the theme's background,
// logo and buttons on the first screen, the slides under the progress bar
// and the status line on the progress screen, and a shadow around both.
#ifndef UI_LITE_MAIN_WINDOW_H_
#define UI_LITE_MAIN_WINDOW_H_

#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "ui/accessible_wrapper.h"
#include "ui/custom_progress_bar.h"
#include "ui/image_button.h"
#include "ui/image_check_box.h"
#include "ui/link_control.h"
#include "ui/main_window.h"
#include "ui/scaled_image.h"
#include "ui/shadow_window.h"
#include "ui/window_layout.h"
#include "ui/window_theme.h"

namespace ostrel {

class LiteMainWindow : public MainWindow {
 public:
  LiteMainWindow(const BrandInfo* brand, const DistribInfoParams* params, bool create_installer,
                 MainWindowServices services = {});
  ~LiteMainWindow() override;

  int ProgressPosition() const override;
  const InstallationWindowThemeBase& theme() const { return *theme_; }

 protected:
  void SetTexts() override;
  void CreateFonts() override;
  void ShapeWindow() override;
  void CreateControls() override;
  void ShowFirstScreen() override;
  void CreateProgressControls() override;
  void ShowProgressControls() override;
  void SetProgressPosition(int position) override;
  void Paint() override;
  void OnAnimationTick() override;
  void CreateShadow() override;
  void UpdateShadow() override;
  void ShowShadow() override;
  void HideShadow() override;
  void MoveShadow() override;
  void ClearFocusCues() override;
  std::optional<bool> CheckBoxState(int id) const override;
  void ToggleCheckBox(int id) override;

 private:
  void PlaceControl(int id, const RECT& logical_rect);
  int FitTitle(int room);
  void NameCheckBox(const ImageCheckBox* box, ScopedAccessibleWrapper* name);
  void PaintFirstScreen(HDC dc, const RECT& client);
  void SetProgressControlsBackground(const ScaledImage& background);
  void OnSlideChanged();
  // The picture the shadow is built around: the current slide on the
  // progress screen, else the background.
  const ScaledImage& WindowPicture() const;

  const ThemeColors& colours() const { return colours_; }
  BYTE TitleAlpha() const { return high_contrast_ ? 255 : theme_->TitleAlpha(); }

  std::shared_ptr<InstallationWindowLayout> layout_;
  std::unique_ptr<InstallationWindowThemeBase> theme_;
  // The user's high-contrast setting when the window was made: the system's
  // colours over plain backgrounds instead of the theme's.
  bool high_contrast_;
  ThemeColors colours_;
  ScaledImage background_;
  ScaledImage logo_;
  ScaledImage first_screen_minimize_;
  ScaledImage first_slide_;
  ScopedFont title_font_;
  ScopedFont button_font_;
  ScopedFont text_font_;
  ScopedFont link_font_;
  ScopedFont check_box_font_;
  ScopedFont privacy_font_;
  std::wstring status_prefixes_[3];
  std::unique_ptr<ImageButton> install_button_;
  std::unique_ptr<ImageButton> close_button_;
  std::unique_ptr<ImageButton> minimize_button_;
  std::unique_ptr<ImageCheckBox> default_box_;
  std::unique_ptr<LinkCheckBox> statistics_box_;
  std::unique_ptr<ImageCheckBox> pin_box_;
  std::unique_ptr<LinkControl> privacy_link_;
  SentenceWindows license_sentence_;
  std::unique_ptr<OwnerDrawnStatic> title_;
  std::unique_ptr<OwnerDrawnStatic> status_text_;
  std::unique_ptr<CustomProgressBar> progress_bar_;
  ScopedAccessibleWrapper close_name_;
  ScopedAccessibleWrapper minimize_name_;
  // The boxes as check boxes with their plain labels, checked or not, and
  // the privacy link as a link: owner-drawn, they would say neither.
  ScopedAccessibleWrapper default_box_name_;
  ScopedAccessibleWrapper statistics_box_name_;
  ScopedAccessibleWrapper pin_box_name_;
  ScopedAccessibleWrapper privacy_link_name_;
  std::unique_ptr<ScopedAccessibleWrapper> license_name_;
  std::unique_ptr<MainWindowShadow> shadow_;
  bool progress_screen_ = false;
  // With the first screen skipped the slideshow opens on the first screen's
  // picture; the controls over it take that picture until it moves on.
  bool controls_on_first_slide_ = true;
};

}  // namespace ostrel

#endif  // UI_LITE_MAIN_WINDOW_H_
