// What the installation window and the entry point ask of the dialogs: the
// resume question, the notices setup asks for, and the dialog that explains
// a failed installation. Each dialog is run modally and answers with the
// button that ended it.
#ifndef UI_DIALOG_FACTORY_H_
#define UI_DIALOG_FACTORY_H_

#include <windows.h>

#include <cstdint>
#include <memory>

#include "resources/resource_ids.h"

namespace ostrel {

// How a dialog ended: the id of the template's button that ended it.
inline constexpr int kDialogPrimary = IDOK;
inline constexpr int kDialogSecondary = IDC_STOP_BUTTON;
inline constexpr int kDialogClose = IDC_CLOSE_BUTTON;

// Notices, by the type setup's messages and the entry point ask for.
enum NoticeType : int {
  kNoticeHigherVersion = 0,
  kNoticeNotEnoughDiskSpace = 1,
  kNoticeCorporateHigherVersion = 3,
  kNoticeCorporateUpdate = 4,
};

class InstallerDialog {
 public:
  virtual ~InstallerDialog() = default;
  // Modal on the calling thread; kDialogPrimary, kDialogSecondary or
  // kDialogClose (also when End ended it).
  virtual int Run(HWND owner) = 0;
  // Ends a running dialog with `result`; called on the dialog's thread, from
  // a message its owner received meanwhile. Nothing when it is not running.
  virtual void End(int result) = 0;
};

class DialogFactory {
 public:
  virtual ~DialogFactory() = default;
  virtual std::unique_ptr<InstallerDialog> CreateResumeDialog() = 0;
  virtual std::unique_ptr<InstallerDialog> CreateNotice(NoticeType type) = 0;
  // Null for a successful installation (failure kind 0).
  virtual std::unique_ptr<InstallerDialog> CreateForFailure(int32_t failure_kind) = 0;
};

}  // namespace ostrel

#endif  // UI_DIALOG_FACTORY_H_
