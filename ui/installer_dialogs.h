// The installer's small modal dialogs behind DialogFactory: the classic
// family (Arial on a picture with a built-in shadow) and the redesigned one
// (the product's text face, plain background, stretchable buttons, separate
// shadow). The brand picks the family of notices; failures always get the
// redesigned one.
#ifndef UI_INSTALLER_DIALOGS_H_
#define UI_INSTALLER_DIALOGS_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ui/dialog_factory.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;

// What a dialog's primary button does before the dialog ends with 1.
enum class DialogAction {
  kNone,
  kHelpPage,
  kBrowserSite,
  kFeedbackPage,
  kManualDownload,
  kLaunchBrowser,
};

enum class ButtonLook { kMain, kPlain };

// String ids (0: none), what the primary button does, and what Escape means.
struct DialogContent {
  int title = 0;
  int text = 0;
  int primary = 0;
  int secondary = 0;
  ButtonLook primary_look = ButtonLook::kPlain;
  DialogAction action = DialogAction::kNone;
  // Escape closes the dialog; on the resume question it keeps installing
  // instead, since backing out of a close must not cancel the installation.
  int escape_result = kDialogClose;
};

inline constexpr int kRedesignedKindCount = 13;
// Kinds of the redesigned family used by the factories.
enum RedesignedKind : int {
  kKindHigherVersion = 0,
  kKindNotEnoughDiskSpace = 1,
  kKindOldWindows = 2,
  kKindCorporateHigherVersion = 3,
  kKindCorporateUpdate = 4,
  kKindCryptoProvider = 5,
  kKindDownloadError = 6,
  kKindResume = 7,
  kKindWrongArchitecture = 8,
  kKindAlreadyInstalled = 9,
  kKindFolderLocked = 10,
  kKindAnotherInstance = 11,
  kKindSupportError = 12,
};

// The redesigned dialog of `kind` (0..12; anything else ends the process:
// no caller asks for it).
DialogContent RedesignedDialogContent(int kind);

// Classic dialogs of the notices, the resume question and the old-Windows
// refusal.
// The redesigned family's kind that shows notice `type`.
int RedesignedKindForNotice(NoticeType type);
DialogContent ClassicNoticeContent(NoticeType type);
DialogContent ClassicResumeContent();
DialogContent ClassicOldWindowsContent();

// The national part of the site hosts for a brand: "ua", "com", "com.tr" or "ru".
std::string_view SiteRegion(std::string_view brand_id);
// The page a primary action opens; empty for the actions that open none.
std::wstring DialogActionUrl(DialogAction action, const BrandInfo* brand, const DistribInfoParams* params);

// Sizes in device pixels the redesigned layout is computed from.
struct RedesignedMeasures {
  SIZE title = {};
  SIZE text = {};  // {0, 0} when there is no text
  SIZE primary_text = {};
  SIZE secondary_text = {};  // {0, 0} when there is no secondary button
  SIZE close_image = {};
};

struct RedesignedPlacement {
  SIZE window = {};
  RECT title = {};
  RECT text = {};
  RECT primary = {};
  RECT secondary = {};
  RECT close = {};
};

// Where everything goes; every logical value passes through Scale.
RedesignedPlacement LayoutRedesignedDialog(const RedesignedMeasures& measures);

// How the dialogs reach the world outside; tests replace them.
struct DialogServices {
  std::function<void(const std::wstring& url)> open_url;  // null: the shell
  std::function<bool()> launch_browser;                   // null: LaunchInstalledBrowser
};

// Appends to a dialog's loaded text.
using TextSuffix = std::function<std::wstring(const std::wstring& text)>;

// Chooses the redesigned dialog for an installation's outcome.
class ErrorDialogFactory {
 public:
  ErrorDialogFactory(const BrandInfo* brand, const DistribInfoParams* params, DialogServices services);

  std::unique_ptr<InstallerDialog> CreateKindDialog(int kind, TextSuffix suffix = nullptr) const;
  std::unique_ptr<InstallerDialog> CreateCryptoProDialog() const;
  std::unique_ptr<InstallerDialog> CreateDownloadDialog() const;
  // Without the download offer (switch) the user is pointed at the log.
  std::unique_ptr<InstallerDialog> CreateDefaultErrorDialog() const;
  // Null for a successful installation.
  std::unique_ptr<InstallerDialog> CreateForFailure(int32_t failure_kind) const;

 private:
  const BrandInfo* brand_;
  const DistribInfoParams* params_;
  DialogServices services_;
};

class InstallerDialogFactory : public DialogFactory {
 public:
  // `brand` and `params` are lent and outlive the factory; a null brand
  // gives the classic family in English.
  InstallerDialogFactory(const BrandInfo* brand, const DistribInfoParams* params, DialogServices services = {});

  std::unique_ptr<InstallerDialog> CreateResumeDialog() override;
  std::unique_ptr<InstallerDialog> CreateNotice(NoticeType type) override;
  std::unique_ptr<InstallerDialog> CreateForFailure(int32_t failure_kind) override;
  std::unique_ptr<InstallerDialog> CreateOldWindowsDialog();
  const ErrorDialogFactory& errors() const { return errors_; }

 private:
  bool redesigned() const;

  const BrandInfo* brand_;
  const DistribInfoParams* params_;
  DialogServices services_;
  ErrorDialogFactory errors_;
};

// The factory the window uses.
std::unique_ptr<DialogFactory> CreateDialogFactory(const BrandInfo* brand, const DistribInfoParams* params);

// The entry point's notice, always classic, in `language`.
std::unique_ptr<InstallerDialog> CreateNotEnoughDiskSpaceNotice(LANGID language);

}  // namespace ostrel

#endif  // UI_INSTALLER_DIALOGS_H_
