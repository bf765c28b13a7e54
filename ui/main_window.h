// The installation window: the first screen with the Install button and the
// choices, then the progress screen with slides and a progress bar. It owns
// the installation (started at construction, so the download runs while the
// first screen shows), receives progress from it, from setup and from an
// elevated copy, and ends with the code the entry point turns into the exit
// code. MainWindow holds the message handling and the installation's side;
// LiteMainWindow draws the screens with the theme's images and fonts.
#ifndef UI_MAIN_WINDOW_H_
#define UI_MAIN_WINDOW_H_

#include <windows.h>
#include <shobjidl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/scoped_handle.h"
#include "base/windows_version.h"
#include "install/installer.h"
#include "install/installer_observer.h"
#include "ui/dialog_base.h"
#include "ui/dialog_factory.h"
#include "ui/progress_slides.h"
#include "ui/window_choices.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;

// Registered messages exchanged with setup (and the window's own drag).
inline constexpr wchar_t kSetInstallProgressMessageName[] = L"tarvik.lite.set_install_progress";
inline constexpr wchar_t kSetImportProgressMessageName[] = L"tarvik.lite.set_import_progress";
inline constexpr wchar_t kCloseWindowMessageName[] = L"tarvik.lite.close_window";
inline constexpr wchar_t kHigherVersionExistMessageName[] = L"tarvik.higher_version_exist";
inline constexpr wchar_t kMoveWindowMessageName[] = L"tarvik.lite.move_window";
inline constexpr wchar_t kCorpUserHigherVersionExistMessageName[] = L"tarvik.corp.user_higher_version_exist";
inline constexpr wchar_t kCorpUserBrowserExistsMessageName[] = L"tarvik.corp.user_browser_exists";

struct MainWindowMessages {
  UINT set_install_progress = 0;
  UINT set_import_progress = 0;
  UINT close_window = 0;
  UINT higher_version_exist = 0;
  UINT move_window = 0;
  UINT corp_user_higher_version_exist = 0;
  UINT corp_user_browser_exists = 0;

  static MainWindowMessages Register();
};

// Posted by the window's observer from the install thread, so the outcome is
// handled on the window's thread.
inline constexpr UINT kInstallErrorMessage = WM_APP + 110;
inline constexpr UINT kInstallFinishedMessage = WM_APP + 111;

// Codes the window ends with: 1 lets the installation's exit code through.
inline constexpr int kWindowResultInstalled = 1;
inline constexpr int kWindowResultSystemClose = 2;
inline constexpr int kWindowResultStopped = 212;
inline constexpr int kWindowResultClosed = 213;

// Control ids of the window's template.
enum MainWindowControl : int {
  kInstallButtonId = 1,
  kCancelCommandId = 2,
  kTitleId = 107,
  kDefaultCheckBoxId = 109,
  kStatisticsCheckBoxId = 110,
  kPinCheckBoxId = 112,
  kCloseButtonId = 213,
  kMinimizeButtonId = 214,
  kProgressBarId = 215,
  kPrivacyLinkId = 218,
  kLicenseTextId = 222,
  kLicenseLinkId = 223,
  kStatusTextId = 224,
};

inline constexpr UINT_PTR kAnimationTimerId = 100;
inline constexpr UINT kAnimationTimerMs = 20;

// What the window uses besides the brand and the parameters; tests replace
// the dialogs and the page opener.
struct MainWindowServices {
  std::unique_ptr<DialogFactory> dialogs;  // null: message boxes
  ProgressSlidesFactory slides;            // null: the first slide only
  std::function<void(const std::wstring& url)> open_url;  // null: the shell
};

class MainWindow : public DialogBase, public InstallerObserver {
 public:
  // Creates the installation and starts it when `create_installer` is set.
  MainWindow(const BrandInfo* brand, const DistribInfoParams* params, bool create_installer,
             MainWindowServices services);
  ~MainWindow() override;

  // Runs the window modally; the code it ended with.
  int Run();

  Installer* installer() const { return installer_.get(); }
  bool first_screen_skipped() const { return skip_first_screen_; }
  int elevation_mode() const { return elevation_mode_; }
  bool install_clicked() const { return install_clicked_; }
  bool progress_shown() const { return progress_shown_; }
  int32_t pending_error() const { return pending_error_.load(); }
  // EndDialog was called.
  bool ended() const { return ended_; }
  // The bar's position; -1 before the progress screen.
  virtual int ProgressPosition() const = 0;

  // InstallerObserver: called on the install thread.
  void OnDownloadProgress(float fraction) override;
  void OnSlowDownload() override {}
  void OnRemainingTime(int32_t, int32_t) override {}
  void OnInstallFinished(int result) override;
  void OnInstallError(int32_t failure_kind) override;
  HWND GetWindow() override { return observed_window_.load(); }
  void SetProgress(int percentage) override;
  void RemoveStopButton() override;

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  int TemplateId() override;

  // The screens, drawn by the concrete window.
  virtual void SetTexts() = 0;
  virtual void CreateFonts() = 0;
  // Size, region and position.
  virtual void ShapeWindow() = 0;
  virtual void CreateControls() = 0;
  virtual void ShowFirstScreen() = 0;
  // The progress screen's controls before the first-screen ones go.
  virtual void CreateProgressControls() = 0;
  virtual void ShowProgressControls() = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void Paint() = 0;
  virtual void OnAnimationTick() = 0;
  virtual void CreateShadow() = 0;
  virtual void UpdateShadow() = 0;
  virtual void ShowShadow() = 0;
  virtual void HideShadow() = 0;
  virtual void MoveShadow() = 0;
  // Check-box state; nothing when the box is not shown.
  virtual std::optional<bool> CheckBoxState(int id) const = 0;
  virtual void ToggleCheckBox(int id) = 0;

  const BrandInfo* brand() const { return brand_; }
  const DistribInfoParams* params() const { return params_; }
  LANGID language() const { return language_; }
  const WindowChoices& choices() const { return choices_; }
  WindowsVersion windows_version() const { return windows_version_; }
  int pin_offer_state() const { return pin_offer_state_; }
  // The default-browser box may be offered (parameters, elevation mode, the
  // system's capability).
  bool offers_default_box() const { return offers_default_box_; }
  bool offers_statistics_box() const { return !choices_.send_statistics.has_value(); }
  const MainWindowServices& services() const { return services_; }
  ProgressSlides* slides() const { return slides_.get(); }
  void set_slides(std::unique_ptr<ProgressSlides> slides) { slides_ = std::move(slides); }
  bool title_on_progress() const { return title_on_progress_; }
  void set_title_on_progress(bool shown) { title_on_progress_ = shown; }
  ITaskbarList3* taskbar() const { return taskbar_.Get(); }

 private:
  void OnInitDialog();
  void AllowMessagesThroughFilter();
  void OnInstallClick();
  // The choices go to the installation, the progress screen replaces the
  // first one and the installation may go on; false when a failure reported
  // earlier ended the window instead.
  bool LayoutProgressDialog();
  void OnProgressPosition(int position);
  void ShowInstallError(int32_t failure_kind);
  void OnCloseWindow();
  void OnCloseButton();
  void OnStopCommand();
  void OnMinimize();
  void OnNotice(NoticeType type);
  LRESULT OnCorporateUpdateQuestion();
  void OpenLink(const std::wstring& url);
  void ElevateIfNeeded();
  void End(int result);
  void ReportDialogEvent(const StatEvent& event);
  void InstallKeyboardHook();

  const BrandInfo* brand_;
  const DistribInfoParams* params_;
  bool create_installer_;
  MainWindowServices services_;
  LANGID language_ = 1033;
  WindowsVersion windows_version_;
  WindowChoices choices_;
  bool skip_first_screen_ = false;
  int elevation_mode_ = 0;
  bool no_existing_browser_ = true;
  int pin_offer_state_ = 0;
  bool offers_default_box_ = false;
  MainWindowMessages messages_;
  std::unique_ptr<InstallerDialog> resume_dialog_;
  std::unique_ptr<Installer> installer_;
  std::unique_ptr<ProgressSlides> slides_;
  ScopedComPtr<ITaskbarList3> taskbar_;
  std::atomic<HWND> observed_window_{nullptr};
  std::atomic<int32_t> pending_error_{kFailureNone};
  bool install_clicked_ = false;
  bool progress_shown_ = false;
  bool title_on_progress_ = false;
  // EndDialog was called: a dialog still on the stack must not end it again.
  bool ended_ = false;
  HHOOK keyboard_hook_ = nullptr;
};

}  // namespace ostrel

#endif  // UI_MAIN_WINDOW_H_
