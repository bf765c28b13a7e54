#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_handle.h"
#include "config/brand_info.h"
#include "install/window_protocol.h"
#include "testing/fake_distrib_info_params.h"
#include "testing/fake_os_facts.h"
#include "testing/registry_override.h"
#include "testing/test_util.h"
#include "ui/ui_scale.h"
#include "ui/ui_test_util.h"
#include "ui/lite_main_window.h"
#include "ui/scripted_main_window.h"

namespace ostrel {
namespace {

// Dialogs that answer at once and remember what was asked.
struct DialogLog {
  std::vector<int> failures;
  std::vector<int> notices;
  int resume_answer = kDialogPrimary;
  int resume_runs = 0;
  std::function<void()> while_resume_open;
  // "resume ended N", "failure shown N", in order.
  std::vector<std::string> events;
  std::vector<std::wstring> opened;
};

class AnsweringDialog : public InstallerDialog {
 public:
  explicit AnsweringDialog(std::function<int()> answer, std::function<void(int)> end = {})
      : answer_(std::move(answer)), end_(std::move(end)) {}
  int Run(HWND) override { return answer_(); }
  void End(int result) override {
    if (end_) end_(result);
  }

 private:
  std::function<int()> answer_;
  std::function<void(int)> end_;
};

class RecordingDialogFactory : public DialogFactory {
 public:
  explicit RecordingDialogFactory(DialogLog* log) : log_(log) {}
  std::unique_ptr<InstallerDialog> CreateResumeDialog() override {
    return std::make_unique<AnsweringDialog>(
        [log = log_] {
          ++log->resume_runs;
          if (log->while_resume_open) log->while_resume_open();
          return log->resume_answer;
        },
        [log = log_](int result) { log->events.push_back("resume ended " + std::to_string(result)); });
  }
  std::unique_ptr<InstallerDialog> CreateNotice(NoticeType type) override {
    log_->notices.push_back(type);
    return std::make_unique<AnsweringDialog>([] { return kDialogPrimary; });
  }
  std::unique_ptr<InstallerDialog> CreateForFailure(int32_t kind) override {
    log_->failures.push_back(kind);
    return std::make_unique<AnsweringDialog>([log = log_, kind] {
      log->events.push_back("failure shown " + std::to_string(kind));
      return kDialogPrimary;
    });
  }

 private:
  DialogLog* log_;
};

using testing::ScriptedMainWindow;

MainWindowServices RecordingServices(DialogLog* log) {
  MainWindowServices services;
  services.dialogs = std::make_unique<RecordingDialogFactory>(log);
  services.open_url = [log](const std::wstring& url) { log->opened.push_back(url); };
  return services;
}

// The real window without an installation; `script` runs inside its modal
// loop once it is shown, as input and setup's messages would arrive there.
class ScriptedWindow : public testing::ScriptedMainWindow {
 public:
  ScriptedWindow(DialogLog* log, Script script, const BrandInfo* brand = nullptr)
      : ScriptedMainWindow(brand, nullptr, RecordingServices(log), std::move(script), Ending::kSystemClose) {}
};

// Dispatches this thread's messages for `milliseconds`; the number of
// WM_PAINT among them.
int PumpMessages(DWORD milliseconds) {
  int paints = 0;
  ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (ULONGLONG now = ::GetTickCount64(); now < deadline; now = ::GetTickCount64()) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_PAINT) ++paints;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
  return paints;
}

TEST(MainWindowTest, ProgressFromSetupAndTheImportFillsOneBarUntilSetupCloses) {
  DialogLog log;
  WindowMessages messages = WindowMessages::Register();
  std::vector<int> positions;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    positions.push_back(w.ProgressPosition());  // no bar on the first screen
    w.Send(kProgressPositionMessage, 30);         // ignored before the click
    positions.push_back(w.ProgressPosition());
    w.Click(kInstallButtonId);
    EXPECT_TRUE(w.progress_shown());
    w.Send(kProgressPositionMessage, 30);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 5);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 6);  // other stages change nothing
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_install_progress, 7);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.set_import_progress, 50);
    positions.push_back(w.ProgressPosition());
    w.Send(messages.close_window);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(positions, (std::vector<int>{-1, -1, 30, 75, 75, 79, 90}));
  EXPECT_TRUE(log.failures.empty());
}

TEST(MainWindowTest, FailureBeforeTheClickShowsAtTheClick) {
  DialogLog log;
  bool first_screen_stayed = false;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    w.observer().OnInstallError(kFailureSetupWrongArchitecture);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    first_screen_stayed = log.failures.empty() && !w.ended();
    w.Click(kInstallButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_TRUE(first_screen_stayed);
  EXPECT_EQ(log.failures, std::vector<int>{kFailureSetupWrongArchitecture});
  EXPECT_FALSE(window.progress_shown());
}

TEST(MainWindowTest, CloseDuringInstallationAsksAndOnlyStopEndsTheWindow) {
  DialogLog log;
  bool open_after_proceed = false;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    w.Click(kInstallButtonId);
    w.Click(kCloseButtonId);  // "Proceed"
    open_after_proceed = !w.ended();
    log.resume_answer = kDialogSecondary;  // "Stop"
    w.Click(kCloseButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultClosed);
  EXPECT_TRUE(open_after_proceed);
  EXPECT_EQ(log.resume_runs, 2);
}

TEST(MainWindowTest, SetupClosingTheWindowDuringTheQuestionWins) {
  DialogLog log;
  WindowMessages messages = WindowMessages::Register();
  HWND main_window = nullptr;
  log.while_resume_open = [&] { ::SendMessageW(main_window, messages.close_window, 0, 0); };
  log.resume_answer = kDialogSecondary;  // the user's "Stop" comes too late
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    main_window = w.window();
    w.Click(kInstallButtonId);
    w.Click(kCloseButtonId);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(log.resume_runs, 1);
}

TEST(MainWindowTest, SetupNoticesEndTheWindowAndTheCorporateQuestionIsAnswered) {
  DialogLog log;
  WindowMessages messages = WindowMessages::Register();
  LRESULT answer = -1;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    answer = ::SendMessageW(w.window(), messages.corp_user_browser_exists, 0, 0);
    w.Send(messages.higher_version_exist);
  });
  EXPECT_EQ(window.Run(), kWindowResultInstalled);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(log.notices, (std::vector<int>{kNoticeCorporateUpdate, kNoticeHigherVersion}));
}

// The install thread may not touch the window (a thread cannot destroy
// another thread's window): each of its calls posts, and the window acts on
// its own thread. Had a call been sent instead, the join would never end.
TEST(MainWindowTest, TheInstallationOnlyPostsAndNothingAfterTheWindowIsGone) {
  DialogLog log;
  bool stop_after_calls = false;
  bool stop_after_messages = true;
  std::vector<int> positions;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    w.Click(kInstallButtonId);
    std::thread install([&w] {
      w.observer().RemoveStopButton();
      w.observer().SetProgress(30);
    });
    install.join();
    stop_after_calls = ::GetDlgItem(w.window(), kStopButtonId) != nullptr;
    positions.push_back(w.ProgressPosition());
    PumpMessages(100);
    stop_after_messages = ::GetDlgItem(w.window(), kStopButtonId) != nullptr;
    positions.push_back(w.ProgressPosition());
  });
  EXPECT_EQ(window.Run(), kWindowResultSystemClose);
  EXPECT_TRUE(stop_after_calls);
  EXPECT_FALSE(stop_after_messages);
  EXPECT_EQ(positions, (std::vector<int>{0, 30}));

  EXPECT_EQ(window.observer().GetWindow(), nullptr);
  window.observer().SetProgress(40);
  window.observer().OnInstallFinished(0);
  MSG message;
  EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_APP, 0xBFFF, PM_REMOVE)) << message.message;
}

// The resume question is open when the installation fails or finishes: it
// goes first (as "keep installing"), then the error shows, and the user's
// late "Stop" changes nothing.
TEST(MainWindowTest, TheEndOfTheInstallationEndsAnOpenQuestionFirst) {
  for (UINT outcome : {kInstallErrorMessage, kInstallFinishedMessage}) {
    SCOPED_TRACE(outcome);
    DialogLog log;
    HWND main_window = nullptr;
    log.while_resume_open = [&] { ::SendMessageW(main_window, outcome, kFailureDownload, 0); };
    log.resume_answer = kDialogSecondary;
    ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
      main_window = w.window();
      w.Click(kInstallButtonId);
      w.Click(kCloseButtonId);
    });
    EXPECT_EQ(window.Run(), kWindowResultInstalled);
    std::vector<std::string> expected = {"resume ended 1"};
    if (outcome == kInstallErrorMessage) expected.push_back("failure shown 2");
    EXPECT_EQ(log.events, expected);
  }
}

// An owner-drawn link or button sends BN_CLICKED for the first click of a
// double click and BN_DOUBLECLICKED for the second.
TEST(MainWindowTest, ADoubleClickIsOneActivation) {
  DialogLog log;
  testing::ScopedTempDir work;
  BrandInfo brand(work.path());
  brand.ApplyDefaults();
  bool ended_by_double_click = true;
  ScriptedWindow window(
      &log,
      [&](ScriptedMainWindow& w) {
        w.Send(WM_COMMAND, MAKEWPARAM(kPrivacyLinkId, BN_CLICKED));
        w.Send(WM_COMMAND, MAKEWPARAM(kPrivacyLinkId, BN_DOUBLECLICKED));
        w.Send(WM_COMMAND, MAKEWPARAM(kCloseButtonId, BN_DOUBLECLICKED));
        ended_by_double_click = w.ended();
      },
      &brand);
  EXPECT_EQ(window.Run(), kWindowResultSystemClose);
  EXPECT_EQ(log.opened.size(), 1u);
  EXPECT_FALSE(ended_by_double_click);
}

// Painting leaves nothing to paint: an idle window, on either screen, gets
// no WM_PAINT once it is drawn.
TEST(MainWindowTest, AnIdleWindowPaintsNothing) {
  DialogLog log;
  int first_screen_paints = -1;
  int progress_screen_paints = -1;
  bool paint_invalidated_a_button = true;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    PumpMessages(300);
    first_screen_paints = PumpMessages(600);
    w.Click(kInstallButtonId);
    PumpMessages(300);
    HWND close = ::GetDlgItem(w.window(), kCloseButtonId);
    ::RedrawWindow(w.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::InvalidateRect(w.window(), nullptr, FALSE);
    ::UpdateWindow(w.window());
    paint_invalidated_a_button = ::GetUpdateRect(close, nullptr, FALSE) != FALSE;
    PumpMessages(300);
    progress_screen_paints = PumpMessages(600);
  });
  window.Run();
  EXPECT_EQ(first_screen_paints, 0);
  EXPECT_FALSE(paint_invalidated_a_button);
  EXPECT_EQ(progress_screen_paints, 0);
}

// "def" given or not, Windows 10 is asked whether the browser may be made the
// default, and setup gets the diagnostic.
TEST(MainWindowInstallationTest, TheDefaultBrowserCapabilityIsAskedWhateverDefSays) {
  testing::ScopedHkcuOverride registry;
  ASSERT_TRUE(registry.active());
  testing::ScopedFakeOsFacts facts;
  facts.SetWindows(10, 0, 19045, 3803);
  testing::ScopedTempDir work;
  BrandInfo brand(work.path());
  brand.ApplyDefaults();
  for (const char* def : {"1", "2", ""}) {
    SCOPED_TRACE(def);
    std::map<std::string, std::string> values;
    if (*def) values["def"] = def;
    testing::FakeDistribInfoParams params(values, work.path());
    LiteMainWindow window(&brand, &params, true);
    ASSERT_TRUE(window.installer());
    EXPECT_EQ(window.installer()->interface_availability(), 190453803u);
  }
}

// Notes whether the installation had started at the window's first paint,
// and ends the window when the start comes (or was there already).
class FirstPaintWatchingWindow : public LiteMainWindow {
 public:
  FirstPaintWatchingWindow(const BrandInfo* brand, const DistribInfoParams* params)
      : LiteMainWindow(brand, params, true) {}

  std::optional<bool> started_at_first_paint;
  std::optional<bool> started_by_the_timer;

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (window == this->window() && message == WM_PAINT && !started_at_first_paint)
      started_at_first_paint = installer()->install_thread_started();
    bool handled = LiteMainWindow::HandleMessage(window, message, wparam, lparam, result);
    if (window != this->window()) return handled;
    if (message == WM_TIMER && wparam == kStartInstallationTimerId) {
      started_by_the_timer = installer()->install_thread_started();
      ::EndDialog(window, 0);
    }
    // Started too early: no timer will come.
    if (message == WM_PAINT && started_at_first_paint == true) ::EndDialog(window, 0);
    return handled;
  }
};

// The first screen waits for no download, statistics or seed: the
// installation starts once the window has painted.
TEST(MainWindowInstallationTest, TheInstallationStartsBehindTheFirstPaint) {
  testing::ScopedHkcuOverride registry;
  ASSERT_TRUE(registry.active());
  testing::ScopedTempDir work;
  BrandInfo brand(work.path());
  brand.ApplyDefaults();
  testing::FakeDistribInfoParams params({}, work.path());
  FirstPaintWatchingWindow window(&brand, &params);
  ASSERT_FALSE(window.installer()->install_thread_started());
  window.Run();
  EXPECT_EQ(window.started_at_first_paint, std::optional<bool>(false));
  EXPECT_EQ(window.started_by_the_timer, std::optional<bool>(true));
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

struct AccessibleFacts {
  std::wstring name;
  long role = 0;
  long state = 0;
};

AccessibleFacts ReadAccessible(HWND control) {
  AccessibleFacts facts;
  IAccessible* accessible = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
    return facts;
  }
  ScopedComPtr<IAccessible> object(accessible);
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  if (object->get_accName(self, &name) == S_OK && name) {
    facts.name = name;
    ::SysFreeString(name);
  }
  VARIANT value;
  ::VariantInit(&value);
  if (object->get_accRole(self, &value) == S_OK && value.vt == VT_I4) facts.role = value.lVal;
  ::VariantInit(&value);
  if (object->get_accState(self, &value) == S_OK && value.vt == VT_I4) facts.state = value.lVal;
  return facts;
}

// What a screen reader reads of the first screen: each control's name as it
// shows, its role, and the boxes' checked state as it changes.
TEST(MainWindowAccessibilityTest, TheFirstScreenReadsAsItShows) {
  // As the installer's thread is: an accessibility client needs COM.
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  DialogLog log;
  std::map<int, AccessibleFacts> before;
  AccessibleFacts default_box_after;
  ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
    for (int id : {kInstallButtonId, kCloseButtonId, kDefaultCheckBoxId, kStatisticsCheckBoxId, kPrivacyLinkId})
      before[id] = ReadAccessible(::GetDlgItem(w.window(), id));
    ::SendMessageW(::GetDlgItem(w.window(), kDefaultCheckBoxId), BM_CLICK, 0, 0);
    default_box_after = ReadAccessible(::GetDlgItem(w.window(), kDefaultCheckBoxId));
  });
  window.Run();
  EXPECT_EQ(before[kInstallButtonId].name, L"Install");
  EXPECT_EQ(before[kCloseButtonId].name, L"Close");
  EXPECT_EQ(before[kCloseButtonId].role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_EQ(before[kPrivacyLinkId].name, L"Privacy policy");
  EXPECT_EQ(before[kPrivacyLinkId].role, ROLE_SYSTEM_LINK);
  const AccessibleFacts& statistics = before[kStatisticsCheckBoxId];
  EXPECT_EQ(statistics.role, ROLE_SYSTEM_CHECKBUTTON);
  EXPECT_EQ(statistics.name.find(L"(("), std::wstring::npos) << statistics.name;
  EXPECT_NE(statistics.name.find(L"Privacy policy"), std::wstring::npos) << statistics.name;
  const AccessibleFacts& default_box = before[kDefaultCheckBoxId];
  EXPECT_EQ(default_box.name, L"Set as default browser");
  EXPECT_EQ(default_box.role, ROLE_SYSTEM_CHECKBUTTON);
  EXPECT_NE(default_box.state & STATE_SYSTEM_CHECKED, default_box_after.state & STATE_SYSTEM_CHECKED);
  ::CoUninitialize();
}

// In high contrast the window draws the system's colours over a plain
// background: no picture behind the texts, the Install button a framed face.
TEST(MainWindowAccessibilityTest, HighContrastDrawsTheSystemColoursOverAPlainBackground) {
  const WindowsVersionNumbers real = CurrentWindowsVersionNumbers();
  std::map<std::pair<int, int>, COLORREF> seen;
  for (bool high_contrast : {false, true}) {
    testing::ScopedFakeOsFacts facts;
    facts.version = real;
    facts.high_contrast = high_contrast;
    DialogLog log;
    ScriptedWindow window(&log, [&](ScriptedMainWindow& w) {
      ::ShowWindow(w.window(), SW_SHOWNA);
      HWND install = ::GetDlgItem(w.window(), kInstallButtonId);
      COLORREF background = testing::WindowPixel(w.window(), Scale(650), Scale(200));
      COLORREF frame = testing::WindowPixel(install, 0, 0);
      COLORREF face = testing::WindowPixel(install, Scale(6), Scale(6));
      ASSERT_NE(background, CLR_INVALID);
      if (!high_contrast) {
        EXPECT_NE(background, ::GetSysColor(COLOR_WINDOW)) << "the theme's picture is expected here";
        return;
      }
      EXPECT_EQ(background, ::GetSysColor(COLOR_WINDOW));
      EXPECT_EQ(frame, ::GetSysColor(COLOR_WINDOWTEXT));
      EXPECT_EQ(face, ::GetSysColor(COLOR_BTNFACE));
    });
    window.Run();
  }
}

}  // namespace
}  // namespace ostrel
