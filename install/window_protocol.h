// The installation window's protocol, named once for every side of it: the
// registered messages setup exchanges with the window, the private messages
// the window's own observer and the elevated copy post to it, and the ids of
// the window's controls (the dialog template's, resources/resource_ids.h).
#ifndef INSTALL_WINDOW_PROTOCOL_H_
#define INSTALL_WINDOW_PROTOCOL_H_

#include <windows.h>

#include "resources/resource_ids.h"

namespace ostrel {

// Registered messages. Setup sends the first six; the window sends the last
// to itself (and its dialogs to themselves) while it is dragged.
inline constexpr wchar_t kSetInstallProgressMessageName[] = L"tarvik.lite.set_install_progress";
inline constexpr wchar_t kSetImportProgressMessageName[] = L"tarvik.lite.set_import_progress";
inline constexpr wchar_t kCloseWindowMessageName[] = L"tarvik.lite.close_window";
inline constexpr wchar_t kHigherVersionExistMessageName[] = L"tarvik.higher_version_exist";
inline constexpr wchar_t kCorpUserHigherVersionExistMessageName[] = L"tarvik.corp.user_higher_version_exist";
inline constexpr wchar_t kCorpUserBrowserExistsMessageName[] = L"tarvik.corp.user_browser_exists";
inline constexpr wchar_t kMoveWindowMessageName[] = L"tarvik.lite.move_window";

// Their identifiers in this session.
struct WindowMessages {
  UINT set_install_progress = 0;
  UINT set_import_progress = 0;
  UINT close_window = 0;
  UINT higher_version_exist = 0;
  UINT move_window = 0;
  UINT corp_user_higher_version_exist = 0;
  UINT corp_user_browser_exists = 0;

  static WindowMessages Register();
};

// Private messages, posted to the window: by its observer from the install
// thread, and by the elevated copy (the first two).
inline constexpr UINT kProgressPositionMessage = WM_APP + 100;  // wParam: position 0..100
inline constexpr UINT kRemainingTimeMessage = WM_APP + 101;     // wParam: seconds, lParam: state
inline constexpr UINT kInstallErrorMessage = WM_APP + 110;      // wParam: failure kind
inline constexpr UINT kInstallFinishedMessage = WM_APP + 111;
inline constexpr UINT kRemoveStopButtonMessage = WM_APP + 112;

// Controls of the installation window's template.
enum WindowControl : int {
  kInstallButtonId = IDC_INSTALL_BUTTON,
  kCancelCommandId = IDCANCEL,  // Escape
  kTitleId = IDC_TITLE,
  kDefaultCheckBoxId = IDC_DEFAULT_BROWSER_CHECK_BOX,
  kStatisticsCheckBoxId = IDC_STATISTICS_CHECK_BOX,
  kPinCheckBoxId = IDC_PIN_CHECK_BOX,
  kStopButtonId = IDC_STOP_BUTTON,
  kCloseButtonId = IDC_CLOSE_BUTTON,
  kMinimizeButtonId = IDC_MINIMIZE_BUTTON,
  kProgressBarId = IDC_PROGRESS_BAR,
  kPrivacyLinkId = IDC_PRIVACY_LINK,
  kLicenseTextId = IDC_LICENSE_TEXT,
  kLicenseLinkId = IDC_LICENSE_LINK,
  kStatusTextId = IDC_STATUS_TEXT,
};

// Codes the window ends with: 1 lets the installation's exit code through;
// the others are the command that ended it (or the system close).
inline constexpr int kWindowResultInstalled = 1;
inline constexpr int kWindowResultSystemClose = 2;
inline constexpr int kWindowResultStopped = kStopButtonId;
inline constexpr int kWindowResultClosed = kCloseButtonId;

}  // namespace ostrel

#endif  // INSTALL_WINDOW_PROTOCOL_H_
