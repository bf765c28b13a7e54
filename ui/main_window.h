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
#include "install/window_protocol.h"
#include "ui/dialog_base.h"
#include "ui/dialog_factory.h"
#include "ui/progress_slides.h"
#include "ui/window_choices.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;

inline constexpr UINT_PTR kAnimationTimerId = 100;
inline constexpr UINT kAnimationTimerMs = 20;
// Set when the window shows; a timer's message comes after every posted
// message and after WM_PAINT, so the download starts behind the first paint.
inline constexpr UINT_PTR kStartInstallationTimerId = 101;

struct MainWindowServices {
  std::unique_ptr<DialogFactory> dialogs;  // null: the installer's dialogs
  ProgressSlidesFactory slides;            // null: the first slide only
  std::function<void(const std::wstring& url)> open_url;  // null: the shell
};

// The installation's side of the window: what the install thread (or the
// elevated copy's relay) reports is posted to the window's own thread, and
// nothing else of the window is touched from there. Posts go nowhere before
// the window exists and after it is destroyed.
class WindowObserver : public InstallerObserver {
 public:
  void Attach(HWND window) { window_.store(window); }
  void Detach() { window_.store(nullptr); }
  // A failure reported before the Install click, kept for the click.
  int32_t pending_error() const { return pending_error_.load(); }
  void set_pending_error(int32_t failure_kind) { pending_error_.store(failure_kind); }

  void OnDownloadProgress(float fraction) override;
  void OnSlowDownload() override {}
  void OnRemainingTime(int32_t, int32_t) override {}
  void OnInstallFinished(int result) override;
  void OnInstallError(int32_t failure_kind) override;
  HWND GetWindow() override { return window_.load(); }
  void SetProgress(int percentage) override;
  void RemoveStopButton() override;

 private:
  void Post(UINT message, WPARAM wparam = 0);

  std::atomic<HWND> window_{nullptr};
  std::atomic<int32_t> pending_error_{kFailureNone};
};

class MainWindow : public DialogBase {
 public:
  // Creates the installation when `create_installer` is set; its thread
  // starts with Run, once the whole window object exists.
  MainWindow(const BrandInfo* brand, const DistribInfoParams* params, bool create_installer,
             MainWindowServices services);
  ~MainWindow() override;

  // Starts the installation and runs the window modally; the code it ended with.
  int Run();

  Installer* installer() const { return installer_.get(); }
  InstallerObserver& observer() { return observer_; }
  bool first_screen_skipped() const { return skip_first_screen_; }
  int elevation_mode() const { return elevation_mode_; }
  bool install_clicked() const { return install_clicked_; }
  bool progress_shown() const { return progress_shown_; }
  int32_t pending_error() const { return observer_.pending_error(); }
  // EndDialog was called.
  bool ended() const { return ended_; }
  // The bar's position; -1 before the progress screen.
  virtual int ProgressPosition() const = 0;

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
  int TemplateId() override;

  // Stops the installation and waits for its thread. The most derived
  // window's destructor calls it first, so nothing of the window goes while
  // the installation still reports.
  void StopInstallation();

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
  // The buttons stop drawing the keyboard focus cue.
  virtual void ClearFocusCues() = 0;
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
  // Message handlers.
  void OnInitDialog();
  // False for a command the window has no use for.
  bool OnCommand(int id, int notification);
  bool OnSysCommand(WPARAM command);
  void OnWindowPosChanged(const WINDOWPOS& position);
  void OnActivateFrame(bool active);
  void OnShowWindow(bool shown);
  void OnDestroyed();
  void OnProgressPosition(int position);
  void OnInstallError(int32_t failure_kind);
  void OnInstallFinished();
  void OnRemoveStopButton();
  // Setup's registered messages; false when `message` is none of them.
  bool OnRegisteredMessage(UINT message, WPARAM wparam, LRESULT& result);
  void OnInstallProgress(WPARAM stage);
  void OnImportProgress(WPARAM percent);
  void OnCloseWindow();
  void OnNotice(NoticeType type);
  LRESULT OnCorporateUpdateQuestion();

  void AllowMessagesThroughFilter();
  void OnInstallClick();
  // The choices go to the installation, the progress screen replaces the
  // first one and the installation may go on; false when a failure reported
  // earlier ended the window instead.
  bool LayoutProgressDialog();
  void OnCloseButton();
  void OnStopCommand();
  void OnMinimize();
  void OpenLink(const std::wstring& url);
  void ElevateIfNeeded();
  // Starts the install thread once: behind the first paint, or when the
  // progress screen comes first.
  void StartInstallation();
  // Runs `dialog` modally as the window's one open dialog. Another dialog
  // that opens, or the window's end, ends it first with `neutral_answer`.
  int RunDialog(InstallerDialog& dialog, int neutral_answer);
  void EndOpenDialog();
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
  WindowMessages messages_;
  std::unique_ptr<InstallerDialog> resume_dialog_;
  // Declared before the installation, so it outlives the installation's thread.
  WindowObserver observer_;
  std::unique_ptr<Installer> installer_;
  std::unique_ptr<ProgressSlides> slides_;
  ScopedComPtr<ITaskbarList3> taskbar_;
  bool install_clicked_ = false;
  bool progress_shown_ = false;
  bool title_on_progress_ = false;
  // EndDialog was called: a dialog still on the stack must not end it again.
  bool ended_ = false;
  // The dialog running modally over the window, if any.
  InstallerDialog* open_dialog_ = nullptr;
  int open_dialog_neutral_answer_ = kDialogPrimary;
  ScopedWindowsHook keyboard_hook_;
};

}  // namespace ostrel

#endif  // UI_MAIN_WINDOW_H_
