#include "ui/main_window.h"

#include <shellapi.h>

#include <tuple>
#include <utility>

#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "reporting/stat_events.h"
#include "resources/resource_ids.h"
#include "ui/installer_dialogs.h"
#include "ui/slideshow.h"
#include "ui/ui_scale.h"
#include "win/application_association_registration_internal.h"
#include "win/ostrel_helpers.h"

namespace ostrel {
namespace {

constexpr int kWindowIconId = 900;
constexpr int kProgressMax = 100;

// The keyboard hook moves the focus between the Install button and the
// license link with the arrow keys; it sees key-down and key-up alike, so
// each move happens on every second notification.
struct ArrowFocusState {
  HWND window = nullptr;
  int install_to_link = 0;
  int link_to_install = 0;
};
ArrowFocusState g_arrow_focus;

LRESULT CALLBACK ArrowFocusHook(int code, WPARAM key, LPARAM flags) {
  HWND window = g_arrow_focus.window;
  if (code == HC_ACTION && window) {
    HWND focus = ::GetFocus();
    HWND install = ::GetDlgItem(window, kInstallButtonId);
    HWND link = ::GetDlgItem(window, kLicenseLinkId);
    if (focus && focus == install && link && (key == VK_LEFT || key == VK_UP)) {
      if (++g_arrow_focus.install_to_link % 2 == 0) ::SetFocus(link);
    } else if (focus && focus == link && install && (key == VK_RIGHT || key == VK_DOWN)) {
      if (++g_arrow_focus.link_to_install % 2 == 0) ::SetFocus(install);
    }
  }
  return ::CallNextHookEx(nullptr, code, key, flags);
}

// user32 functions that older systems lack.
using ChangeWindowMessageFilterExFunction = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
using ChangeWindowMessageFilterFunction = BOOL(WINAPI*)(UINT, DWORD);

void OpenWithShell(const std::wstring& url) {
  ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace

void WindowObserver::Post(UINT message, WPARAM wparam) {
  if (HWND window = window_.load()) ::PostMessageW(window, message, wparam, 0);
}

void WindowObserver::OnDownloadProgress(float fraction) { SetProgress(DownloadProgressPosition(fraction)); }

void WindowObserver::OnInstallFinished(int) { Post(kInstallFinishedMessage); }

void WindowObserver::OnInstallError(int32_t failure_kind) {
  set_pending_error(failure_kind);
  Post(kInstallErrorMessage, static_cast<WPARAM>(failure_kind));
}

void WindowObserver::SetProgress(int percentage) { Post(kProgressPositionMessage, static_cast<WPARAM>(percentage)); }

// A thread cannot destroy a window another thread made: the window does it.
void WindowObserver::RemoveStopButton() { Post(kRemoveStopButtonMessage); }

MainWindow::MainWindow(const BrandInfo* brand, const DistribInfoParams* params, bool create_installer,
                       MainWindowServices services)
    : brand_(brand),
      params_(params),
      create_installer_(create_installer),
      services_(std::move(services)),
      windows_version_(CurrentWindowsVersion()),
      messages_(WindowMessages::Register()) {
  if (brand_) language_ = static_cast<LANGID>(brand_->language_id());
  if (!services_.dialogs) services_.dialogs = CreateDialogFactory(brand_, params_);
  if (!services_.slides) services_.slides = &CreateSlideshow;
  if (!services_.open_url) services_.open_url = &OpenWithShell;
  resume_dialog_ = services_.dialogs->CreateResumeDialog();

  const InstallerCommandLine& command_line = InstallerCommandLine::ProcessCommandLine();
  if (params_) choices_ = ReadWindowChoices(*params_);
  skip_first_screen_ = ShouldSkipFirstScreen(brand_ && brand_->first_screen_off(), choices_);
  elevation_mode_ = ElevationMode(command_line.IsSwitchPresent(switches::kSystemLevel) ||
                                      command_line.IsSwitchPresent(switches::kProgramFilesInstallation),
                                  skip_first_screen_, choices_);
  no_existing_browser_ = !HasNonCorporateInstallation();
  if (brand_ && params_) pin_offer_state_ = brand_->GetQopinTrialState(*params_, command_line);
  offers_default_box_ = !choices_.make_default.has_value() && elevation_mode_ != 2;

  if (!create_installer_) return;
  installer_ = std::make_unique<Installer>(&observer_, brand_, params_, false);
  installer_->set_elevation_mode(elevation_mode_);
  installer_->set_scale_factor(ScaleFactor());
  // Whether the browser may be made the default decides the box whatever
  // "def" says, and setup gets the diagnostic either way. The question runs
  // a probe child on some Windows 10 builds.
  uint64_t diagnostic = 0;
  bool capable = installer::win10_default_browser::IsDefaultBrowserCapabilityAvailable(&diagnostic);
  installer_->set_interface_availability(diagnostic);
  offers_default_box_ = offers_default_box_ && capable;
  const wchar_t* flavour = HasCorporateSystemInstallation() ? L"corporate" : !no_existing_browser_ ? L"user" : L"none";
  installer_->stat_reporter().SetParam(StatParam::kBrowserPresent, flavour);
}

MainWindow::~MainWindow() {
  if (g_arrow_focus.window == window()) g_arrow_focus = ArrowFocusState();
  StopInstallation();
}

void MainWindow::StopInstallation() { installer_.reset(); }

int MainWindow::TemplateId() { return IDD_INSTALLATION_WINDOW; }

int MainWindow::Run() {
  INT_PTR result = DialogBase::Run(nullptr);
  if (result == -1 || result == 0) PLOG(ERROR) << "The installation window could not be shown: " << result;
  return static_cast<int>(result);
}

bool MainWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  if (window != this->window()) return false;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      result = FALSE;
      return true;
    case WM_COMMAND:
      return OnCommand(LOWORD(wparam), HIWORD(wparam));
    case WM_SYSCOMMAND:
      return OnSysCommand(wparam);
    case WM_TIMER:
      if (wparam == kStartInstallationTimerId) {
        StartInstallation();
        return true;
      }
      if (wparam != kAnimationTimerId) return false;
      OnAnimationTick();
      return true;
    case WM_PAINT:
      Paint();
      return true;
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_CTLCOLORDLG:
      result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
      return true;
    case WM_WINDOWPOSCHANGED:
      OnWindowPosChanged(*reinterpret_cast<const WINDOWPOS*>(lparam));
      return false;  // the default handling still sends WM_MOVE and WM_SIZE
    case WM_NCACTIVATE:
      OnActivateFrame(wparam != FALSE);
      return false;
    case WM_SHOWWINDOW:
      OnShowWindow(wparam != FALSE);
      return false;
    case WM_NCDESTROY:
      OnDestroyed();
      return false;
    case kProgressPositionMessage:
      OnProgressPosition(static_cast<int>(wparam));
      return true;
    case kInstallErrorMessage:
      OnInstallError(static_cast<int32_t>(wparam));
      return true;
    case kInstallFinishedMessage:
      OnInstallFinished();
      return true;
    case kRemoveStopButtonMessage:
      OnRemoveStopButton();
      return true;
    default:
      return OnRegisteredMessage(message, wparam, result);
  }
}

bool MainWindow::OnCommand(int id, int notification) {
  // A double click on a button or link is one activation: its second click
  // arrives as BN_DOUBLECLICKED and is not acted on.
  if (notification != BN_CLICKED) return false;
  switch (id) {
    case kInstallButtonId:
      OnInstallClick();
      break;
    case kCancelCommandId:
      ReportDialogEvent(ButtonEvent(kButtonCancel));
      break;
    case kCloseButtonId:
      OnCloseButton();
      break;
    case kStopButtonId:
      OnStopCommand();
      break;
    case kMinimizeButtonId:
      OnMinimize();
      break;
    case kPrivacyLinkId:
      if (brand_)
        OpenLink(Utf8ToWide(brand_->conf_policy_url()) + L"?lang=" + Utf8ToWide(brand_->interface_language()));
      break;
    case kLicenseLinkId:
      if (brand_) OpenLink(brand_->GetLicenseUrlWithLanguage());
      break;
    case kDefaultCheckBoxId:
    case kStatisticsCheckBoxId:
    case kPinCheckBoxId:
      ToggleCheckBox(id);
      ReportDialogEvent(CheckBoxEvent(id == kDefaultCheckBoxId      ? kCheckBoxDefault
                                      : id == kStatisticsCheckBoxId ? kCheckBoxSendStat
                                                                    : kCheckBoxQopinTrial));
      break;
    default:
      return false;
  }
  return true;
}

bool MainWindow::OnSysCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case SC_CLOSE:
      End(kWindowResultSystemClose);
      return true;
    case SC_RESTORE:
      ReportDialogEvent(ButtonEvent(kButtonRestore));
      return false;
    default:
      return false;
  }
}

// Every move of the window, dragged or not, takes the shadow along; the
// shadow shows again once the window is visible and not minimized. A change
// of stacking alone moves nothing the shadow follows.
void MainWindow::OnWindowPosChanged(const WINDOWPOS& position) {
  const UINT stacking_only = SWP_NOMOVE | SWP_NOSIZE;
  if ((position.flags & stacking_only) == stacking_only && !(position.flags & SWP_SHOWWINDOW)) return;
  MoveShadow();
  if (::IsWindowVisible(window()) && !::IsIconic(window())) ShowShadow();
}

void MainWindow::OnActivateFrame(bool active) {
  if (active) ClearFocusCues();
}

void MainWindow::OnDestroyed() {
  observer_.Detach();
  ::KillTimer(window(), kAnimationTimerId);
}

void MainWindow::OnInstallFinished() {
  if (install_clicked_ || skip_first_screen_) End(kWindowResultInstalled);
}

void MainWindow::OnRemoveStopButton() {
  if (HWND stop = ::GetDlgItem(window(), kStopButtonId)) ::DestroyWindow(stop);
}

bool MainWindow::OnRegisteredMessage(UINT message, WPARAM wparam, LRESULT& result) {
  if (message == messages_.set_install_progress) {
    OnInstallProgress(wparam);
  } else if (message == messages_.set_import_progress) {
    OnImportProgress(wparam);
  } else if (message == messages_.close_window) {
    OnCloseWindow();
  } else if (message == messages_.higher_version_exist) {
    OnNotice(kNoticeHigherVersion);
  } else if (message == messages_.corp_user_higher_version_exist) {
    OnNotice(kNoticeCorporateHigherVersion);
  } else if (message == messages_.corp_user_browser_exists) {
    result = OnCorporateUpdateQuestion();
  } else if (message == messages_.move_window) {
    MoveShadow();
  } else {
    return false;
  }
  return true;
}

void MainWindow::OnInstallProgress(WPARAM stage) {
  if (std::optional<int> position = SetupStageProgressPosition(stage)) {
    LOG_TAG(INFO, "OnInstallProgress") << "--> Installer > MainWindow::OnInstallProgress: " << *position;
    OnProgressPosition(*position);
  }
}

void MainWindow::OnImportProgress(WPARAM percent) {
  LOG_TAG(INFO, "OnImportProgress") << "--> Installer > MainWindow::OnImportProgress: " << percent;
  OnProgressPosition(ImportProgressPosition(percent));
}

void MainWindow::OnInitDialog() {
  observer_.Attach(window());
  AllowMessagesThroughFilter();
  if (elevation_mode_ == 1) ElevateIfNeeded();
  SetTexts();
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (auto [size, metric_x, metric_y] : {std::tuple{ICON_BIG, SM_CXICON, SM_CYICON},
                                          std::tuple{ICON_SMALL, SM_CXSMICON, SM_CYSMICON}}) {
    HANDLE icon = ::LoadImageW(instance, MAKEINTRESOURCEW(kWindowIconId), IMAGE_ICON, ::GetSystemMetrics(metric_x),
                               ::GetSystemMetrics(metric_y), LR_SHARED);
    if (icon) ::SendMessageW(window(), WM_SETICON, size, reinterpret_cast<LPARAM>(icon));
  }
  CreateFonts();
  ShapeWindow();
  CreateControls();
  if (!skip_first_screen_) {
    ShowFirstScreen();
  } else if (!LayoutProgressDialog()) {
    return;
  }
  CreateShadow();
  UpdateShadow();
  InstallKeyboardHook();
}

void MainWindow::AllowMessagesThroughFilter() {
  const UINT allowed[] = {messages_.set_import_progress, messages_.close_window,
                          messages_.set_install_progress, messages_.higher_version_exist,
                          messages_.move_window, messages_.corp_user_higher_version_exist,
                          messages_.corp_user_browser_exists};
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (!user32) return;
  if (windows_version_ >= VERSION_WIN7) {
    auto filter = reinterpret_cast<ChangeWindowMessageFilterExFunction>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    if (filter)
      for (UINT message : allowed) filter(window(), message, MSGFLT_ALLOW, nullptr);
  } else if (windows_version_ >= VERSION_VISTA) {
    auto filter = reinterpret_cast<ChangeWindowMessageFilterFunction>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilter")));
    if (filter)
      for (UINT message : allowed) filter(message, MSGFLT_ADD);
  }
}

// The whole window object exists: the download may start and report, once
// the user sees the window. Shown, the window is invalid, so its first
// WM_PAINT comes before the timer's message.
void MainWindow::OnShowWindow(bool shown) {
  if (shown && installer_ && !installer_->install_thread_started())
    ::SetTimer(window(), kStartInstallationTimerId, 0, nullptr);
}

void MainWindow::StartInstallation() {
  ::KillTimer(window(), kStartInstallationTimerId);
  if (!installer_ || installer_->install_thread_started()) return;
  installer_->StartAsyncTasks();
  installer_->StartInstallThread();
}

void MainWindow::ElevateIfNeeded() {
  if (!installer_ || !installer_->NeedStartThisProcessAsAdmin()) return;
  // The elevated copy's setup command line names the background downloads.
  installer_->StartAsyncTasks();
  if (!installer_->StartElevatedCopy()) LOG(INFO) << "Declined running the installer as admin";
}

void MainWindow::OnInstallClick() {
  if (install_clicked_) return;
  install_clicked_ = true;
  if (skip_first_screen_) return;
  if (installer_) installer_->RecordInstallClick();
  ReportDialogEvent(ButtonEvent(kButtonInstall));
  uint8_t send_statistics = SendStatisticsValue(choices_, CheckBoxState(kStatisticsCheckBoxId));
  bool make_default = MakeDefaultValue(choices_, CheckBoxState(kDefaultCheckBoxId));
  if (installer_) installer_->stat_reporter().Send(InstallButtonEvent(make_default, send_statistics != 0));
  if (LayoutProgressDialog()) {
    ::InvalidateRect(window(), nullptr, FALSE);
    UpdateShadow();
    ShowShadow();
  }
}

bool MainWindow::LayoutProgressDialog() {
  if (installer_) {
    installer_->SetMakeDefault(MakeDefaultValue(choices_, CheckBoxState(kDefaultCheckBoxId)));
    installer_->set_send_statistics(SendStatisticsValue(choices_, CheckBoxState(kStatisticsCheckBoxId)));
    installer_->set_pin(pin_offer_state_ != 0 ? CheckBoxState(kPinCheckBoxId).value_or(false) : true);
  }
  if (elevation_mode_ == 0) ElevateIfNeeded();

  HideShadow();
  ::SetFocus(window());
  if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3,
                                   taskbar_.ReceiveVoid())) &&
      taskbar_) {
    taskbar_->SetProgressState(window(), TBPF_NORMAL);
    taskbar_->SetProgressValue(window(), 0, kProgressMax);
  }
  CreateProgressControls();

  if (int32_t error = observer_.pending_error(); error != kFailureNone) {
    OnInstallError(error);
    return false;
  }
  ShowProgressControls();
  ::SetTimer(window(), kAnimationTimerId, kAnimationTimerMs, nullptr);
  ::SetFocus(::GetDlgItem(window(), kProgressBarId));
  // Started before it is told to go on: a start resets that signal.
  StartInstallation();
  if (installer_) installer_->Proceed();
  progress_shown_ = true;
  return true;
}

void MainWindow::OnProgressPosition(int position) {
  if (!progress_shown_ || position == ProgressPosition()) return;
  SetProgressPosition(position);
  if (taskbar_) taskbar_->SetProgressValue(window(), static_cast<ULONGLONG>(position), kProgressMax);
}

void MainWindow::OnInstallError(int32_t failure_kind) {
  observer_.set_pending_error(failure_kind);
  if (!install_clicked_ && !skip_first_screen_) return;
  if (ended_) return;
  ::ShowWindow(window(), SW_HIDE);
  HideShadow();
  if (std::unique_ptr<InstallerDialog> dialog = services_.dialogs->CreateForFailure(failure_kind))
    RunDialog(*dialog, kDialogPrimary);
  End(kWindowResultInstalled);
}

void MainWindow::OnCloseWindow() {
  ::ShowWindow(window(), SW_HIDE);
  HideShadow();
  LOG_TAG(INFO, "OnCloseWindow") << "--> Installer > MainWindow::OnCloseWindow";
  if (installer_ && !installer_->WaitForInstallAsync())
    PLOG_TAG(ERROR, "OnCloseWindow") << "--> Installer > MainWindow::OnCloseWindow: WaitForInstallAsync timeout";
  End(kWindowResultInstalled);
  ::KillTimer(window(), kAnimationTimerId);
}

void MainWindow::OnCloseButton() {
  if (progress_shown_) {
    if (open_dialog_) return;  // the question is open already
    int answer = resume_dialog_ ? RunDialog(*resume_dialog_, kDialogPrimary) : kDialogPrimary;
    // Setup may have closed the window while the question was open.
    if (ended_) return;
    if (answer != kDialogSecondary && answer != kDialogClose) return;
    if (installer_) installer_->IncrementCancelCount();
    ReportDialogEvent(ButtonEvent(kButtonCancel));
  } else {
    ReportDialogEvent(ButtonEvent(kButtonClose));
  }
  HideShadow();
  End(kWindowResultClosed);
}

void MainWindow::OnStopCommand() {
  if (open_dialog_) return;
  int answer = resume_dialog_ ? RunDialog(*resume_dialog_, kDialogPrimary) : kDialogPrimary;
  if (ended_ || (answer != kDialogSecondary && answer != kDialogClose)) return;
  if (installer_) installer_->IncrementCancelCount();
  End(kWindowResultStopped);
}

void MainWindow::OnMinimize() {
  HideShadow();
  ::ShowWindow(window(), SW_MINIMIZE);
  ReportDialogEvent(ButtonEvent(kButtonMinimize));
}

void MainWindow::OnNotice(NoticeType type) {
  if (ended_) return;
  ::ShowWindow(window(), SW_HIDE);
  HideShadow();
  std::unique_ptr<InstallerDialog> notice = services_.dialogs->CreateNotice(type);
  RunDialog(*notice, kDialogPrimary);
  End(kWindowResultInstalled);
}

LRESULT MainWindow::OnCorporateUpdateQuestion() {
  std::unique_ptr<InstallerDialog> question = services_.dialogs->CreateNotice(kNoticeCorporateUpdate);
  // Ended by the window's end, the question counts as declined.
  int answer = RunDialog(*question, kDialogClose);
  return answer == kDialogSecondary || answer == kDialogClose ? 0 : 1;
}

void MainWindow::OpenLink(const std::wstring& url) {
  services_.open_url(url);
  ReportDialogEvent(LinkEvent(url));
}

int MainWindow::RunDialog(InstallerDialog& dialog, int neutral_answer) {
  EndOpenDialog();
  open_dialog_ = &dialog;
  open_dialog_neutral_answer_ = neutral_answer;
  int answer = dialog.Run(window());
  if (open_dialog_ == &dialog) open_dialog_ = nullptr;
  return answer;
}

void MainWindow::EndOpenDialog() {
  if (InstallerDialog* open = std::exchange(open_dialog_, nullptr)) open->End(open_dialog_neutral_answer_);
}

void MainWindow::End(int result) {
  if (ended_) return;
  ended_ = true;
  // No dialog of the window outlives it.
  EndOpenDialog();
  ::EndDialog(window(), result);
}

void MainWindow::ReportDialogEvent(const StatEvent& event) {
  if (installer_) installer_->stat_reporter().SendDialogEvent(event);
}

void MainWindow::InstallKeyboardHook() {
  const int order[] = {kInstallButtonId, kLicenseLinkId, kPrivacyLinkId, kStatisticsCheckBoxId,
                       kPinCheckBoxId,   kDefaultCheckBoxId, kCloseButtonId};
  HWND previous = HWND_TOP;
  for (int id : order) {
    HWND control = ::GetDlgItem(window(), id);
    if (!control) continue;
    ::SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = control;
  }
  g_arrow_focus = ArrowFocusState{window(), 0, 0};
  keyboard_hook_.Reset(::SetWindowsHookExW(WH_KEYBOARD, &ArrowFocusHook, nullptr, ::GetCurrentThreadId()));
}

}  // namespace ostrel
