#include "ui/dialog_factory.h"

#include <string>

#include "base/file_logger.h"
#include "base/installer_command_line.h"
#include "base/switches.h"
#include "install/installer_observer.h"
#include "ui/localized_strings.h"

namespace ostrel {
namespace {

// Title and text string ids; 0 for none.
struct DialogTexts {
  int title = 0;
  int text = 0;
};

constexpr DialogTexts kResumeTexts = {422, 423};
constexpr DialogTexts kHigherVersionTexts = {456, 457};
constexpr DialogTexts kNotEnoughDiskSpaceTexts = {471, 472};
constexpr DialogTexts kCorporateHigherVersionTexts = {499, 500};
constexpr DialogTexts kCorporateUpdateTexts = {493, 494};
constexpr DialogTexts kCryptoProviderTexts = {442, 443};
constexpr DialogTexts kWrongArchitectureTexts = {445, 446};
constexpr DialogTexts kAlreadyInstalledTexts = {448, 0};
constexpr DialogTexts kFolderLockedTexts = {450, 451};
constexpr DialogTexts kDownloadErrorTexts = {433, 453};
constexpr DialogTexts kSupportErrorTexts = {435, 436};

class MessageBoxDialog : public InstallerDialog {
 public:
  MessageBoxDialog(std::wstring title, std::wstring text, bool question)
      : title_(std::move(title)), text_(std::move(text)), question_(question) {}

  int Run(HWND owner) override {
    ended_result_ = 0;
    running_ = true;
    int answer = ::MessageBoxW(owner, text_.c_str(), title_.c_str(),
                               (question_ ? MB_YESNO : MB_OK) | (owner ? 0 : MB_SETFOREGROUND));
    running_ = false;
    if (ended_result_ != 0) return ended_result_;
    if (answer == IDYES || answer == IDOK) return kDialogPrimary;
    return question_ && answer == IDNO ? kDialogSecondary : kDialogClose;
  }

  void End(int result) override {
    if (!running_) return;
    ended_result_ = result;
    // The box is the dialog of this thread with this dialog's caption.
    ::EnumThreadWindows(::GetCurrentThreadId(), &MessageBoxDialog::EndIfMine, reinterpret_cast<LPARAM>(this));
  }

 private:
  static BOOL CALLBACK EndIfMine(HWND window, LPARAM self_pointer) {
    auto* self = reinterpret_cast<MessageBoxDialog*>(self_pointer);
    wchar_t class_name[16] = {};
    wchar_t caption[256] = {};
    ::GetClassNameW(window, class_name, 16);
    ::GetWindowTextW(window, caption, 256);
    if (std::wstring(class_name) != L"#32770" || self->title_ != caption) return TRUE;
    ::EndDialog(window, IDCANCEL);
    return FALSE;
  }

  std::wstring title_;
  std::wstring text_;
  bool question_;
  bool running_ = false;
  int ended_result_ = 0;
};

class PlainDialogFactory : public DialogFactory {
 public:
  explicit PlainDialogFactory(LANGID language) : language_(language) {}

  std::unique_ptr<InstallerDialog> CreateResumeDialog() override { return Make(kResumeTexts, true); }

  std::unique_ptr<InstallerDialog> CreateNotice(NoticeType type) override {
    switch (type) {
      case kNoticeHigherVersion:
        return Make(kHigherVersionTexts, false);
      case kNoticeNotEnoughDiskSpace:
        return Make(kNotEnoughDiskSpaceTexts, false);
      case kNoticeCorporateHigherVersion:
        return Make(kCorporateHigherVersionTexts, false);
      case kNoticeCorporateUpdate:
        return Make(kCorporateUpdateTexts, true);
    }
    return Make(kHigherVersionTexts, false);
  }

  std::unique_ptr<InstallerDialog> CreateForFailure(int32_t failure_kind) override {
    switch (failure_kind) {
      case kFailureNone:
        return nullptr;
      case kFailureDownloadCryptoProvider:
        return Make(kCryptoProviderTexts, false);
      case kFailureSetupWrongArchitecture:
        return Make(kWrongArchitectureTexts, false);
      case kFailureSetupExitCode7:
        return Make(kAlreadyInstalledTexts, false);
      case kFailureSetupExitCode8:
        return Make(kFolderLockedTexts, false);
      default:
        break;
    }
    if (!InstallerCommandLine::ProcessCommandLine().IsSwitchPresent(switches::kDisableErrorDialogDownloadButton))
      return Make(kDownloadErrorTexts, false);
    // Without the download offer the user is pointed at the log for support.
    return Make(kSupportErrorTexts, false, L"\r\n" + GetLogFilePath());
  }

 private:
  std::unique_ptr<InstallerDialog> Make(DialogTexts texts, bool question, const std::wstring& suffix = L"") {
    std::wstring title = texts.title ? LoadUiString(texts.title, language_) : std::wstring();
    std::wstring text = texts.text ? LoadUiString(texts.text, language_) + suffix : std::wstring();
    // A message box needs some text; the title alone says it all.
    if (text.empty()) text = title;
    return std::make_unique<MessageBoxDialog>(title, text, question);
  }

  LANGID language_;
};

}  // namespace

std::unique_ptr<DialogFactory> CreatePlainDialogFactory(LANGID language) {
  return std::make_unique<PlainDialogFactory>(language);
}

}  // namespace ostrel
