#include "install/progress_relay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "testing/platform_log_capture.h"

namespace ostrel {
namespace {

// A window with a stop button, as the first copy's installation window has.
class WindowWithStopButton {
 public:
  WindowWithStopButton()
      : window_(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr)),
        stop_(::CreateWindowExW(0, L"BUTTON", L"Stop", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, window_.Get(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopButtonId)), nullptr, nullptr)) {}

  HWND window() const { return window_.Get(); }
  HWND stop() const { return stop_; }

 private:
  ScopedWindow window_;
  HWND stop_;
};

bool StopShown(const WindowWithStopButton& target) {
  return (::GetWindowLongPtrW(target.stop(), GWL_STYLE) & WS_VISIBLE) != 0;
}

// The relay's messages waiting in this thread's queue, as "message wParam lParam".
std::vector<std::string> PostedMessages() {
  std::vector<std::string> messages;
  MSG message;
  while (::PeekMessageW(&message, nullptr, WM_APP, 0xBFFF, PM_REMOVE)) {
    messages.push_back(std::to_string(message.message) + " " + std::to_string(static_cast<INT_PTR>(message.wParam)) +
                       " " + std::to_string(message.lParam) + (message.hwnd ? "" : " (no window)"));
  }
  return messages;
}

TEST(ProgressRelayTest, ForwardsProgressAndTheStopButtonToTheFirstCopysWindow) {
  WindowWithStopButton target;
  ASSERT_TRUE(target.stop());
  ProgressRelay relay(target.window());
  EXPECT_EQ(relay.GetWindow(), target.window());

  relay.SetProgress(40);
  relay.OnRemainingTime(300, 2);
  EXPECT_EQ(PostedMessages(), (std::vector<std::string>{"32868 40 0", "32869 300 2"}));

  EXPECT_TRUE(StopShown(target));
  relay.RemoveStopButton();
  EXPECT_FALSE(StopShown(target));
  EXPECT_TRUE(::IsWindow(target.stop())) << "hidden, not destroyed";
}

TEST(ProgressRelayTest, WithoutAWindowNothingIsPosted) {
  ProgressRelay relay(nullptr);
  relay.SetProgress(40);
  relay.OnRemainingTime(300, 2);
  relay.RemoveStopButton();
  EXPECT_TRUE(PostedMessages().empty()) << "a null window would have meant this thread's own queue";
}

TEST(ProgressRelayTest, NotificationsOfTheFirstCopyOnlyRaiseADiagnostic) {
  WindowWithStopButton target;
  testing::ScopedPlatformLogCapture diagnostics;
  ProgressRelay relay(target.window());
  relay.OnDownloadProgress(0.5f);
  relay.OnSlowDownload();
  relay.OnInstallFinished(1);
  relay.OnInstallError(6);
  std::vector<std::string> lines = diagnostics.lines();
  ASSERT_EQ(lines.size(), 4u);
  const char* names[] = {"OnDownloadProgress", "OnSlowDownload", "OnInstallFinished", "OnInstallError"};
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(lines[i], std::string("ProgressRelay: ") + names[i] + " is not relayed from the elevated installer");
  EXPECT_TRUE(PostedMessages().empty());
  EXPECT_TRUE(StopShown(target));
}

}  // namespace
}  // namespace ostrel
