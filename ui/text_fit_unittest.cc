#include "ui/text_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "install/window_protocol.h"
#include "resources/resource_ids.h"
#include "resources/string_ids.h"
#include "testing/fake_distrib_info_params.h"
#include "ui/installer_dialogs.h"
#include "ui/link_markup.h"
#include "ui/lite_main_window.h"
#include "ui/scripted_main_window.h"
#include "ui/localized_strings.h"
#include "ui/slide_source.h"
#include "ui/slideshow.h"
#include "ui/ui_drawing.h"
#include "ui/ui_scale.h"

namespace ostrel {
namespace {

struct Language {
  const char* code;
  LANGID id;
};
constexpr Language kLanguages[] = {
    {"en", 1033}, {"ru", 1049}, {"uk", 1058}, {"kk", 1087}, {"uz", 1091}, {"tr", 1055},
    {"de", 1031}, {"fr", 1036}, {"cs", 1029}, {"it", 1040}, {"es", 3082}, {"pt-BR", 1046},
    {"pt-PT", 2070}, {"ja", 1041}, {"zh-CN", 2052}, {"zh-TW", 1028},
};

std::unique_ptr<BrandInfo> MakeBrand(const std::string& language, bool redesigned) {
  auto brand = std::make_unique<BrandInfo>(L"");
  brand->ApplyBrandInfo(R"({"languages": {"interface": ")" + language +
                        R"("}, "overridden_features": {"InstallerNewIdentity2024": {"params": {"dialogsRedesign": )" +
                        (redesigned ? "true" : "false") + "}}}}");
  return brand;
}

// "de 2x id 410: needs 412x123 in 412x109 (reaches into 1011)".
std::string Describe(const std::string& where, LANGID language, const TextFitProblem& problem) {
  // The string whose text the control shows: the longest one it contains.
  std::string id = "?";
  size_t longest = 0;
  for (int candidate = kStringWindowTitle; candidate <= kStringRedesignedCancelButton; ++candidate) {
    std::wstring text = StripLinkMarkup(LoadUiString(candidate, language));
    if (text.size() > longest && problem.text.find(text) != std::wstring::npos) {
      id = std::to_string(candidate);
      longest = text.size();
    }
  }
  std::string line = where + " id " + id + " \"" + WideToUtf8(problem.text) + "\": needs " +
                     std::to_string(problem.needed.cx) + "x" + std::to_string(problem.needed.cy) + " in " +
                     std::to_string(problem.available.cx) + "x" + std::to_string(problem.available.cy);
  if (problem.overlaps) line += " (reaches into control " + std::to_string(problem.overlapped_id) + ")";
  return line;
}

std::unique_ptr<ProgressSlides> BuiltInSlides(const ProgressSlidesSettings& settings) {
  return std::make_unique<Slideshow>(
      settings.size, std::make_unique<SlideSource>(settings.initial_images, "", false, ScaleFactor()), settings.brush);
}

using testing::ScriptedMainWindow;

// The real window with no installation; `script` runs once it is shown.
class FitWindow : public ScriptedMainWindow {
 public:
  FitWindow(const BrandInfo* brand, const DistribInfoParams* params, Script script)
      : ScriptedMainWindow(brand, params, Services(), std::move(script), Ending::kAsSetupEndsIt) {}

 private:
  static MainWindowServices Services() {
    MainWindowServices services;
    services.slides = &BuiltInSlides;
    services.open_url = [](const std::wstring&) {};
    return services;
  }
};

// Each dialog is checked once its WM_INITDIALOG has laid it out, and ended
// there, before it is shown: hiding a shown window costs Wine two seconds
// of waiting for a window manager the virtual display does not have.
struct RunningDialog {
  InstallerDialog* dialog = nullptr;
  std::vector<TextFitProblem> problems;
  bool checked = false;
};
RunningDialog g_running;

LRESULT CALLBACK CheckLaidOutDialog(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  wchar_t class_name[16] = {};
  if (code == HC_ACTION && call->message == WM_INITDIALOG && !g_running.checked &&
      ::GetClassNameW(call->hwnd, class_name, 16) && std::wstring(class_name) == L"#32770") {
    g_running.problems = FindTextFitProblems(call->hwnd);
    g_running.checked = true;
    g_running.dialog->End(kDialogClose);
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

std::vector<TextFitProblem> CheckDialog(InstallerDialog* dialog) {
  g_running = RunningDialog();
  g_running.dialog = dialog;
  ScopedWindowsHook hook(::SetWindowsHookExW(WH_CALLWNDPROCRET, CheckLaidOutDialog, nullptr, ::GetCurrentThreadId()));
  dialog->Run(nullptr);
  EXPECT_TRUE(g_running.checked) << "the dialog was never laid out";
  return g_running.problems;
}

class TextFitTest : public ::testing::TestWithParam<Language> {
 protected:
  void Record(const std::string& where, const std::vector<TextFitProblem>& found) {
    for (const TextFitProblem& problem : found) problems_.push_back(Describe(where, GetParam().id, problem));
  }

  std::vector<std::string> problems_;
};

// Every text of the installation window (first screen, progress screen, the
// skipped first screen) and of every dialog of both families has the room
// it is painted in and stays off its siblings, at scale 1 and 2.
TEST_P(TextFitTest, EveryTextOfEveryScreenAndDialogFits) {
  const std::string code = GetParam().code;
  for (double scale : {1.0, 2.0}) {
    ScopedScaleFactorOverride scale_override(scale);
    const std::string at = code + " " + std::to_string(static_cast<int>(scale)) + "x ";
    std::unique_ptr<BrandInfo> brand = MakeBrand(code, false);
    FitWindow window(brand.get(), nullptr, [&](ScriptedMainWindow& w) {
      Record(at + "first screen", FindTextFitProblems(w.window()));
      w.Send(WM_COMMAND, MAKEWPARAM(kInstallButtonId, BN_CLICKED));
      w.Send(kProgressPositionMessage, 60);
      Record(at + "progress screen", FindTextFitProblems(w.window()));
    });
    window.Run();

    // Skipped when asked to and every choice on it is given.
    std::map<std::string, std::string> choices = {{"first", "1"}, {"def", "1"}, {"stat", "1"}};
    testing::FakeDistribInfoParams skip(choices);
    FitWindow skipped(brand.get(), &skip, [&](ScriptedMainWindow& w) {
      EXPECT_TRUE(w.first_screen_skipped());
      w.Send(kProgressPositionMessage, 60);
      Record(at + "skipped first screen", FindTextFitProblems(w.window()));
    });
    skipped.Run();

    for (bool redesigned : {false, true}) {
      std::unique_ptr<BrandInfo> family = MakeBrand(code, redesigned);
      DialogServices services;
      services.open_url = [](const std::wstring&) {};
      services.launch_browser = [] { return true; };
      InstallerDialogFactory factory(family.get(), nullptr, services);
      std::string kind = redesigned ? "redesigned " : "classic ";
      for (NoticeType type : {kNoticeHigherVersion, kNoticeNotEnoughDiskSpace, kNoticeCorporateHigherVersion,
                              kNoticeCorporateUpdate}) {
        Record(at + kind + "notice " + std::to_string(type), CheckDialog(factory.CreateNotice(type).get()));
      }
      Record(at + kind + "resume", CheckDialog(factory.CreateResumeDialog().get()));
      Record(at + kind + "old Windows", CheckDialog(factory.CreateOldWindowsDialog().get()));
    }
    std::unique_ptr<BrandInfo> redesigned = MakeBrand(code, true);
    InstallerDialogFactory factory(redesigned.get(), nullptr, DialogServices{});
    for (int kind = 0; kind < kRedesignedKindCount; ++kind) {
      Record(at + "kind " + std::to_string(kind), CheckDialog(factory.errors().CreateKindDialog(kind).get()));
    }
    Record(at + "disk space notice", CheckDialog(CreateNotEnoughDiskSpaceNotice(GetParam().id).get()));
  }
  std::string report;
  for (const std::string& line : problems_) report += line + "\n";
  EXPECT_TRUE(problems_.empty()) << report;
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, TextFitTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& info) {
                           std::string name = info.param.code;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The check itself: a title made longer after the layout fitted it runs
// into the boxes below, and the check names it with the room it needed.
TEST(TextFitCheckTest, ATitleMadeLongerIsCaughtRunningIntoTheBoxes) {
  std::unique_ptr<BrandInfo> brand = MakeBrand("de", false);
  std::vector<TextFitProblem> before, after;
  FitWindow window(brand.get(), nullptr, [&](ScriptedMainWindow& w) {
    before = FindTextFitProblems(w.window());
    HWND title = ::GetDlgItem(w.window(), kTitleId);
    std::wstring longer = WindowText(title) + L" " + WindowText(title);
    ::SetWindowTextW(title, longer.c_str());
    after = FindTextFitProblems(w.window());
  });
  window.Run();
  EXPECT_TRUE(before.empty()) << Describe("de", 1031, before[0]);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].control_id, kTitleId);
  EXPECT_TRUE(after[0].overlaps);
  EXPECT_NE(after[0].overlapped_id, 0);
  EXPECT_GT(after[0].needed.cy, 0);
}

}  // namespace
}  // namespace ostrel
