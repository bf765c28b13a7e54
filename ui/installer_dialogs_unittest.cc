#include "ui/installer_dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/file_logger.h"
#include "base/installer_command_line.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "install/installer_observer.h"
#include "resources/resource_ids.h"
#include "ui/localized_strings.h"
#include "ui/ui_scale.h"

namespace ostrel {
namespace {

constexpr LANGID kEnglish = 1033;

std::wstring English(int id) { return LoadUiString(id, kEnglish); }

std::wstring ControlText(HWND control) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(control, text, 1024);
  return text;
}

// What a running dialog showed, read from its controls.
struct Shown {
  std::wstring title;
  std::wstring text;
  std::wstring primary;
  std::wstring secondary;
  bool text_visible = false;
  bool secondary_visible = false;
  SIZE size = {};
};

// How the test ends the dialog: a click on a control, or a key.
struct Press {
  int control = 0;
  UINT key = 0;
};

HWND g_found = nullptr;
Shown* g_shown = nullptr;
Press g_press;

BOOL CALLBACK FindDialog(HWND window, LPARAM) {
  wchar_t class_name[16] = {};
  ::GetClassNameW(window, class_name, 16);
  if (std::wstring(class_name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
  g_found = window;
  return FALSE;
}

void CALLBACK ReadAndPress(HWND, UINT, UINT_PTR timer, DWORD) {
  g_found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, 0);
  if (!g_found) return;
  ::KillTimer(nullptr, timer);
  HWND dialog = g_found;
  HWND title = ::GetDlgItem(dialog, IDC_TITLE);
  HWND text = ::GetWindow(title, GW_HWNDNEXT);
  g_shown->title = ControlText(title);
  g_shown->text = ControlText(text);
  g_shown->text_visible = ::IsWindowVisible(text);
  g_shown->primary = ControlText(::GetDlgItem(dialog, IDOK));
  g_shown->secondary = ControlText(::GetDlgItem(dialog, IDC_STOP_BUTTON));
  g_shown->secondary_visible = ::IsWindowVisible(::GetDlgItem(dialog, IDC_STOP_BUTTON));
  RECT rect = {};
  ::GetWindowRect(dialog, &rect);
  g_shown->size = {rect.right - rect.left, rect.bottom - rect.top};
  if (g_press.key) {
    // Through the dialog manager, as a user's key press would go.
    // A test process in the background has no focus: the primary button
    // then receives it, which is where the focus starts.
    HWND target = ::GetFocus() ? ::GetFocus() : ::GetDlgItem(dialog, IDOK);
    ::PostMessageW(target, WM_KEYDOWN, g_press.key, 0);
  } else {
    HWND button = ::GetDlgItem(dialog, g_press.control);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(g_press.control, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
}

int RunDialog(InstallerDialog& dialog, Press press, Shown* shown) {
  g_shown = shown;
  g_press = press;
  ::SetTimer(nullptr, 0, 50, &ReadAndPress);
  return dialog.Run(nullptr);
}

class InstallerDialogsTest : public ::testing::Test {
 protected:
  InstallerDialogsTest() : params_(L"") {}

  void MakeRedesignedBrand(const char* brand_id) {
    std::string json = std::string(R"({"brand_id": ")") + brand_id +
                       R"(", "overridden_features": {"InstallerNewIdentity2024": {"params": {"dialogsRedesign": true}}}})";
    brand_.ApplyBrandInfo(json);
  }

  InstallerDialogFactory Factory() {
    DialogServices services;
    services.open_url = [this](const std::wstring& url) { opened_.push_back(url); };
    services.launch_browser = [this] {
      ++launches_;
      return true;
    };
    return InstallerDialogFactory(&brand_, &params_, services);
  }

  BrandInfo brand_{L""};
  DistribInfoParams params_;
  std::vector<std::wstring> opened_;
  int launches_ = 0;
};

TEST(RedesignedDialogLayoutTest, ButtonsRightAlignedBelowTitleAndText) {
  ScopedScaleFactorOverride scale(1.0);
  RedesignedMeasures measures;
  measures.title = {300, 40};
  measures.text = {200, 30};
  measures.primary_text = {60, 15};
  measures.secondary_text = {40, 15};
  measures.close_image = {20, 20};
  RedesignedPlacement placement = LayoutRedesignedDialog(measures);
  // Widest of title + right margin (350) and the button row (72 + 10 + 40 + 92 = 214), plus the left margin.
  EXPECT_EQ(placement.window.cx, 380);
  int row_top = 30 + 40 + 30 + 16 + 24;
  EXPECT_EQ(placement.window.cy, row_top + 35 + 30);
  EXPECT_EQ(placement.text.top, 30 + 40 + 16);
  EXPECT_EQ(placement.secondary.right, 380 - 40);
  EXPECT_EQ(placement.secondary.left, 380 - 40 - 72);
  EXPECT_EQ(placement.primary.right, placement.secondary.left - 10);
  EXPECT_EQ(placement.primary.top, row_top);
  EXPECT_EQ(placement.close.left, 380 - 20 - 10);

  // No text and one button: the row follows the title, the primary ends 40 from the edge.
  measures.text = {};
  measures.secondary_text = {};
  measures.title = {50, 20};
  placement = LayoutRedesignedDialog(measures);
  EXPECT_EQ(placement.primary.top, 30 + 20 + 24);
  EXPECT_EQ(placement.window.cx, 30 + 40 + 92);
  EXPECT_EQ(placement.primary.right, placement.window.cx - 40);
  EXPECT_EQ(placement.text.right - placement.text.left, 0);
}

TEST(DialogActionUrlTest, RegionChoosesTheSiteHost) {
  EXPECT_EQ(SiteRegion("ua-uk"), "ua");
  EXPECT_EQ(SiteRegion("ua-ru"), "ua");
  EXPECT_EQ(SiteRegion("int"), "com");
  EXPECT_EQ(SiteRegion("tb"), "com.tr");
  EXPECT_EQ(SiteRegion("by"), "ru");
  EXPECT_EQ(SiteRegion(""), "ru");
  BrandInfo brand(L"");
  brand.ApplyBrandInfo(R"({"brand_id": "tb"})");
  std::wstring feedback = DialogActionUrl(DialogAction::kFeedbackPage, &brand, nullptr);
  EXPECT_NE(feedback.find(L"com.tr"), std::wstring::npos) << feedback;
  EXPECT_TRUE(feedback.ends_with(L"/feedback/?from=installer")) << feedback;
  EXPECT_TRUE(DialogActionUrl(DialogAction::kHelpPage, &brand, nullptr).ends_with(L"/support/browser/about/install.xml"));
  EXPECT_EQ(DialogActionUrl(DialogAction::kManualDownload, &brand, nullptr), L"");
}

// The support dialog names the log file and its button opens the feedback page.
TEST_F(InstallerDialogsTest, FailureWithoutDownloadButtonShowsLogPathAndContactUs) {
  ScopedProcessCommandLineOverride command_line(
      InstallerCommandLine::ParseString(L"installer.exe --disable-error-dialog-download-button"));
  MakeRedesignedBrand("int");
  std::unique_ptr<InstallerDialog> dialog = Factory().CreateForFailure(kFailureGeneric);
  ASSERT_TRUE(dialog);
  Shown shown;
  EXPECT_EQ(RunDialog(*dialog, {IDOK, 0}, &shown), kDialogPrimary);
  EXPECT_EQ(shown.title, English(435));
  EXPECT_EQ(shown.text, English(436) + L"\r\n" + GetLogFilePath());
  EXPECT_EQ(shown.primary, L"Contact us");
  EXPECT_FALSE(shown.secondary_visible);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_TRUE(opened_[0].ends_with(L"/feedback/?from=installer")) << opened_[0];
}

TEST_F(InstallerDialogsTest, EachFailureKindShowsItsDialogAndAction) {
  MakeRedesignedBrand("int");
  InstallerDialogFactory factory = Factory();
  EXPECT_EQ(factory.CreateForFailure(kFailureNone), nullptr);

  struct Case {
    int32_t failure;
    int title;
    const wchar_t* primary;
    size_t pages_after;
    int launches_after;
  };
  const Case cases[] = {
      {kFailureDownloadCryptoProvider, 442, L"Got it", 0, 0},
      {kFailureSetupWrongArchitecture, 445, L"Go to site", 1, 0},
      {kFailureSetupExitCode7, 448, L"Open", 1, 1},
      {kFailureDownload, 433, L"Download", 2, 1},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.failure);
    std::unique_ptr<InstallerDialog> dialog = factory.CreateForFailure(entry.failure);
    ASSERT_TRUE(dialog);
    Shown shown;
    EXPECT_EQ(RunDialog(*dialog, {IDOK, 0}, &shown), kDialogPrimary);
    EXPECT_EQ(shown.title, English(entry.title));
    EXPECT_EQ(shown.primary, entry.primary);
    EXPECT_EQ(opened_.size(), entry.pages_after);
    EXPECT_EQ(launches_, entry.launches_after);
  }
  // Kind 9 has no text: its static stays hidden.
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_TRUE(opened_[0].ends_with(L"/?from=installer"));
  EXPECT_NE(opened_[1].find(L"/download"), std::wstring::npos) << opened_[1];
}

// Escape is the close button; the setup's question then gets "no".
TEST_F(InstallerDialogsTest, CorporateUpdateNoticeClosedWithEscape) {
  MakeRedesignedBrand("ru");
  std::unique_ptr<InstallerDialog> dialog = Factory().CreateNotice(kNoticeCorporateUpdate);
  Shown shown;
  EXPECT_EQ(RunDialog(*dialog, {0, VK_ESCAPE}, &shown), kDialogClose);
  EXPECT_EQ(shown.title, English(493));
  EXPECT_EQ(shown.primary, L"Reload");
  EXPECT_EQ(shown.secondary, L"Cancel");
  EXPECT_TRUE(shown.secondary_visible);
  EXPECT_TRUE(opened_.empty());
}

// The classic resume question is reused: Enter resumes, then "Cancel" stops.
TEST_F(InstallerDialogsTest, ClassicResumeDialogRunsTwice) {
  std::unique_ptr<InstallerDialog> dialog = Factory().CreateResumeDialog();
  Shown first;
  EXPECT_EQ(RunDialog(*dialog, {0, VK_RETURN}, &first), kDialogPrimary);
  EXPECT_EQ(first.title, English(419));
  EXPECT_EQ(first.primary, L"Resume");
  EXPECT_EQ(first.secondary, L"Cancel");
  EXPECT_FALSE(first.text_visible);
  Shown second;
  EXPECT_EQ(RunDialog(*dialog, {IDC_STOP_BUTTON, 0}, &second), kDialogSecondary);
  EXPECT_EQ(second.title, first.title);
  EXPECT_EQ(second.size.cx, first.size.cx);
}

// Escape backs out of the close, in both families: the installation goes on.
TEST_F(InstallerDialogsTest, EscapeOnTheResumeQuestionKeepsInstalling) {
  std::unique_ptr<InstallerDialog> classic = Factory().CreateResumeDialog();
  Shown classic_shown;
  EXPECT_EQ(RunDialog(*classic, {0, VK_ESCAPE}, &classic_shown), kDialogPrimary);
  EXPECT_EQ(classic_shown.title, English(419));
  MakeRedesignedBrand("ru");
  std::unique_ptr<InstallerDialog> redesigned = Factory().CreateResumeDialog();
  Shown redesigned_shown;
  EXPECT_EQ(RunDialog(*redesigned, {0, VK_ESCAPE}, &redesigned_shown), kDialogPrimary);
  EXPECT_EQ(redesigned_shown.title, English(422));
}

TEST_F(InstallerDialogsTest, ClassicNoticeHasOneOkButton) {
  std::unique_ptr<InstallerDialog> dialog = Factory().CreateNotice(kNoticeHigherVersion);
  Shown shown;
  EXPECT_EQ(RunDialog(*dialog, {IDOK, 0}, &shown), kDialogPrimary);
  EXPECT_EQ(shown.title, English(454));
  EXPECT_EQ(shown.text, English(455));
  EXPECT_EQ(shown.primary, L"OK");
  EXPECT_FALSE(shown.secondary_visible);
}

}  // namespace
}  // namespace ostrel
