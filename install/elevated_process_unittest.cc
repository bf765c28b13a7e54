#include "install/elevated_process.h"

#include <gtest/gtest.h>

#include <thread>

#include "base/scoped_handle.h"
#include "testing/log_capture.h"
#include "testing/platform_log_capture.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::Quote;

constexpr DWORD kTestWaitMs = 60000;
// wait-hand-over's exit code when it saw the cancel event.
constexpr DWORD kHelperCancelled = 41;

// A stand-in elevated copy: waits for the hand-over events, then exits with
// `on_go_ahead` (or hangs).
ScopedKernelHandle StartCopy(const std::wstring& on_go_ahead) {
  return testing::StartProcess(Quote(testing::TestHelperPath()) + L" wait-hand-over " + on_go_ahead);
}

// The hand-over events have fixed names: tests that make them take turns,
// under the same lock as the Shared section they go with.
class ElevatedCopyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(lock_.owned()); }

  static HANDLE StopEvent() {
    static HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::ResetEvent(event);
    return event;
  }

  testing::ScopedSharedSectionTestLock lock_;
  testing::ScopedLogCapture log_;
};

TEST_F(ElevatedCopyTest, GoAheadRunsTheCopyAndItsExitCodeDecides) {
  for (auto [code, success] : {std::pair{L"0", true}, std::pair{L"8", false}, std::pair{L"-1", false}}) {
    std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create();
    ASSERT_TRUE(copy);
    ScopedKernelHandle process = StartCopy(code);
    ASSERT_TRUE(process.IsValid());
    copy->Attach(process.Release(), nullptr);
    EXPECT_EQ(copy->RunModule(StopEvent()), success) << code;
    EXPECT_TRUE(copy->started());
    EXPECT_EQ(static_cast<int>(copy->exit_code()), std::stoi(code));
    // The events go with it, so the next round can make them again.
    copy.reset();
  }
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(ElevatedCopyTest, DestroyedBeforeTheGoAheadCancelsTheCopy) {
  std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create();
  ASSERT_TRUE(copy);
  ScopedKernelHandle process = StartCopy(L"0");
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(process.Get());
  copy->Attach(process.Release(), nullptr);
  copy.reset();
  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), kHelperCancelled);
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(ElevatedCopyTest, StopEventEndsTheWaitAndAHangingCopyIsEndedAfterTheLimit) {
  const DWORD limit_ms = 500;
  std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create(limit_ms);
  ASSERT_TRUE(copy);
  ScopedKernelHandle process = StartCopy(L"hang");
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(process.Get());
  copy->Attach(process.Release(), nullptr);

  HANDLE stop = StopEvent();
  ::SetEvent(stop);
  EXPECT_FALSE(copy->RunModule(stop));
  EXPECT_EQ(copy->exit_code(), 0xFFFFFFFFu);
  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_EQ(log_.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log_.records()[0].function, "RunModule");
  EXPECT_EQ(log_.texts()[0].rfind("The elevated installer was terminated due to stop event. - ", 0), 0u);
  // The go-ahead was given: the copy is not cancelled, it is waited for and
  // then ended, as failed.
  EXPECT_EQ(::WaitForSingleObject(watch.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  copy.reset();
  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), static_cast<DWORD>(kElevatedCopyFailedExitCode));
  ASSERT_EQ(log_.records().size(), 2u);
  EXPECT_EQ(log_.records()[1].level, LOG_ERROR);
  EXPECT_EQ(log_.records()[1].function, "EnsureProcessFinished");
  EXPECT_EQ(log_.texts()[1].rfind("The elevated installer hangs and must be forcibly terminated. - ", 0), 0u);
}

TEST_F(ElevatedCopyTest, ACopyEndingWithinTheLimitIsNotKilled) {
  std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create(kTestWaitMs);
  ASSERT_TRUE(copy);
  ScopedKernelHandle process = StartCopy(L"7");
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(process.Get());
  copy->Attach(process.Release(), nullptr);
  HANDLE stop = StopEvent();
  ::SetEvent(stop);
  EXPECT_FALSE(copy->RunModule(stop));
  copy.reset();
  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), 7u);
  EXPECT_FALSE(log_.ContainsPrefix("The elevated installer hangs"));
}

TEST_F(ElevatedCopyTest, AnEventMadeByAnotherProgramIsRefused) {
  for (const char* name : {kElevatedGoAheadEventName, kElevatedCancelEventName}) {
    ScopedKernelHandle planted(::CreateEventA(nullptr, FALSE, FALSE, name));
    ASSERT_TRUE(planted.IsValid());
    log_.Clear();
    EXPECT_FALSE(ElevatedCopy::Create()) << name;
    ASSERT_EQ(log_.records().size(), 1u);
    EXPECT_EQ(log_.records()[0].level, LOG_ERROR);
    EXPECT_EQ(log_.texts()[0], std::string("The event ") + name +
                                   " already exists; another program made it, so the installer does not run elevated");
  }
  EXPECT_TRUE(ElevatedCopy::Create()) << "the refused attempts left nothing behind";
}

TEST_F(ElevatedCopyTest, WithoutAProcessOnlyTheEventsAndTheOwnerAreClosed) {
  testing::ScopedPlatformLogCapture diagnostics;
  std::unique_ptr<ElevatedCopy> copy = ElevatedCopy::Create();
  ASSERT_TRUE(copy);
  HWND owner = CreateElevationPromptOwner();
  ASSERT_TRUE(owner);
  copy->Attach(nullptr, owner);
  EXPECT_FALSE(copy->RunModule(StopEvent())) << "nothing to wait for";
  copy.reset();
  EXPECT_FALSE(::IsWindow(owner));
  EXPECT_TRUE(diagnostics.lines().empty());
}

TEST(ElevationPromptOwnerTest, InvisibleTopmostAndCentredOnItsMonitor) {
  HWND owner = CreateElevationPromptOwner();
  ASSERT_TRUE(owner);
  wchar_t class_name[16] = {};
  ::GetClassNameW(owner, class_name, 16);
  EXPECT_STREQ(class_name, L"Static");
  LONG_PTR style = ::GetWindowLongPtrW(owner, GWL_STYLE);
  LONG_PTR ex_style = ::GetWindowLongPtrW(owner, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_CHILD), WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(ex_style & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  EXPECT_EQ(::GetParent(owner), nullptr);

  RECT rect = {};
  ::GetWindowRect(owner, &rect);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor));
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(rect.bottom - rect.top, 0);
  EXPECT_EQ(rect.left, (monitor.rcMonitor.left + monitor.rcMonitor.right) / 2);
  EXPECT_EQ(rect.top, (monitor.rcMonitor.top + monitor.rcMonitor.bottom) / 2);

  DestroyElevationPromptOwner(owner);
  EXPECT_FALSE(::IsWindow(owner));
  DestroyElevationPromptOwner(owner);  // gone already: nothing happens
}

TEST(ElevationPromptOwnerTest, AnotherThreadHasTheOwnersThreadCloseIt) {
  HWND owner = CreateElevationPromptOwner();
  ASSERT_TRUE(owner);
  std::thread([owner] { DestroyElevationPromptOwner(owner); }).join();
  EXPECT_TRUE(::IsWindow(owner)) << "only the owner's thread may destroy it";
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  EXPECT_FALSE(::IsWindow(owner));
}

}  // namespace
}  // namespace ostrel
