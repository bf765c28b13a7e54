#include "app/delay_load_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_util.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

// What the watcher did through its actions.
struct Recorded {
  std::vector<std::string> messages;
  std::vector<int> exit_codes;
  const wchar_t* command_line = L"installer.exe";
};
Recorded* g_recorded = nullptr;

DelayLoadWatcher::Actions RecordingActions() {
  return {[](const char* text) { g_recorded->messages.push_back(text); },
          [](int code) { g_recorded->exit_codes.push_back(code); },
          []() { return g_recorded->command_line; }};
}

class DelayLoadWatcherTest : public ::testing::Test {
 protected:
  DelayLoadWatcherTest() : watcher_(RecordingActions()) { g_recorded = &recorded_; }
  ~DelayLoadWatcherTest() override { g_recorded = nullptr; }

  static DelayLoadInfo Info(const char* dll, const char* function = nullptr) {
    DelayLoadInfo info = {};
    info.cb = sizeof(info);
    info.szDll = dll;
    info.dlp.fImportByName = function != nullptr;
    info.dlp.szProcName = function;
    return info;
  }

  Recorded recorded_;
  DelayLoadWatcher watcher_;
  testing::ScopedLogCapture log_;
};

TEST_F(DelayLoadWatcherTest, OnlyUser32MarksTheUserInterfaceAsInUse) {
  for (const char* dll : {"gdi32.dll", "user32", "user3.dll", "xuser32.dll"}) {
    EXPECT_EQ(watcher_.Notify(dliNotePreLoadLibrary, Info(dll)), nullptr);
    EXPECT_EQ(watcher_.Notify(dliNotePreGetProcAddress, Info(dll, "F")), nullptr);
  }
  EXPECT_FALSE(watcher_.user32_in_use());
  // The first ten characters, compared without case.
  watcher_.Notify(dliNotePreGetProcAddress, Info("USER32.DLL", "GetSystemMetrics"));
  EXPECT_TRUE(watcher_.user32_in_use());

  DelayLoadWatcher other(RecordingActions());
  other.Notify(dliNotePreLoadLibrary, Info("User32.dll.mui"));
  EXPECT_TRUE(other.user32_in_use());
  EXPECT_TRUE(recorded_.messages.empty());
  EXPECT_TRUE(recorded_.exit_codes.empty());
}

TEST_F(DelayLoadWatcherTest, FailuresEndTheProcessAndShowTheMessageOnlyWithAUserInterface) {
  watcher_.Notify(dliFailGetProc, Info("version.dll", "GetFileVersionInfoExW"));
  EXPECT_TRUE(recorded_.messages.empty());  // user32 not in use yet
  EXPECT_EQ(recorded_.exit_codes, std::vector<int>{kMissingSystemLibraryExitCode});

  watcher_.Notify(dliNotePreLoadLibrary, Info("user32.dll"));
  watcher_.Notify(dliFailLoadLib, Info("uxtheme.dll"));
  EXPECT_EQ(recorded_.messages, std::vector<std::string>{"Windows dll is not found: uxtheme.dll"});

  recorded_.command_line = L"\"C:\\d\\installer.exe\" --brand-name=x --silent";
  watcher_.Notify(dliFailLoadLib, Info("uxtheme.dll"));
  EXPECT_EQ(recorded_.messages.size(), 1u);
  EXPECT_EQ(recorded_.exit_codes.size(), 3u);

  std::vector<std::string> expected = {
      "Function GetFileVersionInfoExW not found in Windows dll version.dll",
      "Windows dll is not found: uxtheme.dll",
      "Windows dll is not found: uxtheme.dll",
  };
  EXPECT_EQ(log_.texts(), expected);
  for (const auto& record : log_.records()) EXPECT_EQ(record.level, LOG_ERROR);
}

TEST(DelayLoadMessageTest, NamesTheLibraryAndTheFunction) {
  DelayLoadInfo info = {};
  info.szDll = "shell32.dll";
  info.dlp.fImportByName = FALSE;
  info.dlp.dwOrdinal = 680;
  EXPECT_EQ(DelayLoadFailureMessage(dliFailGetProc, info), "Function #680 not found in Windows dll shell32.dll");
  EXPECT_EQ(DelayLoadFailureMessage(dliFailLoadLib, info), "Windows dll is not found: shell32.dll");
  EXPECT_EQ(DelayLoadFailureMessage(dliNotePreLoadLibrary, info), "");
}

TEST(DelayLoadMessageTest, SilentAnywhereInTheRawCommandLineSuppressesTheBox) {
  EXPECT_TRUE(ShouldShowDelayLoadFailure(true, L"installer.exe --brand-name=x"));
  EXPECT_FALSE(ShouldShowDelayLoadFailure(false, L"installer.exe"));
  EXPECT_FALSE(ShouldShowDelayLoadFailure(true, L"installer.exe --silent"));
  EXPECT_FALSE(ShouldShowDelayLoadFailure(true, L"installer.exe --setup-cmd-line=\"x --silent\""));
  // Other spellings of the switch are not looked for in the raw text.
  EXPECT_TRUE(ShouldShowDelayLoadFailure(true, L"installer.exe /silent -silent --semi-silent"));
}

// A real process linked like the installer, whose binding of a missing
// function or library goes through the handler.
class DelayLoadProcessTest : public ::testing::Test {
 protected:
  std::wstring Command(const std::wstring& arguments) {
    return testing::Quote(JoinPath(testing::TestBinaryDirectory(), L"delay_load_helper.exe")) + L" " +
           testing::Quote(log_path_) + L" " + arguments;
  }
  std::string Log() { return testing::ReadFileOrEmpty(log_path_); }

  testing::ScopedTempDir dir_;
  std::wstring log_path_ = dir_.Append(L"helper.log");
};

TEST_F(DelayLoadProcessTest, MissingFunctionOrLibraryEndsTheProcessWithItsExitCode) {
  DWORD exit_code = 0;
  // Without user32 in use no box is shown, so the process ends at once.
  ASSERT_TRUE(testing::RunProcessAndWait(Command(L"missing-function"), 30000, &exit_code));
  EXPECT_EQ(exit_code, static_cast<DWORD>(kMissingSystemLibraryExitCode));
  ASSERT_TRUE(testing::RunProcessAndWait(Command(L"use-user32 missing-library --silent"), 30000, &exit_code));
  EXPECT_EQ(exit_code, static_cast<DWORD>(kMissingSystemLibraryExitCode));

  std::string log = Log();
  EXPECT_NE(log.find("ERROR: Function TarvikNoSuchFunction not found in Windows dll version.dll"), std::string::npos)
      << log;
  EXPECT_NE(log.find("ERROR: Windows dll is not found: tarvik_absent_library.dll"), std::string::npos) << log;
}

// The load thunk hands a first call's arguments on whole, floating-point
// registers included (x86_64 passes the first four floats in xmm0-3, which
// the delay-load helper may use).
TEST_F(DelayLoadProcessTest, FloatingPointArgumentsSurviveTheFirstCall) {
  DWORD exit_code = 99;
  ASSERT_TRUE(testing::RunProcessAndWait(Command(L"floating-arguments"), 30000, &exit_code));
  EXPECT_EQ(exit_code, 0u);
}

struct BoxSearch {
  DWORD process_id;
  HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t title[128] = {};
  ::GetWindowTextW(window, title, 128);
  if (owner != search->process_id || std::wstring(title) != L"Tarvik Browser installer") return TRUE;
  search->box = window;
  return FALSE;
}

BOOL CALLBACK AppendChildText(HWND child, LPARAM parameter) {
  wchar_t text[512] = {};
  ::GetWindowTextW(child, text, 512);
  *reinterpret_cast<std::wstring*>(parameter) += std::wstring(text) + L"|";
  return TRUE;
}

TEST_F(DelayLoadProcessTest, WithUser32InUseTheMessageIsShownBeforeTheProcessEnds) {
  ScopedKernelHandle process = testing::StartProcess(Command(L"use-user32 missing-function"));
  ASSERT_TRUE(process.IsValid());
  BoxSearch search = {::GetProcessId(process.Get()), nullptr};
  for (int i = 0; i < 200 && !search.box; ++i) {
    ::Sleep(50);
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  }
  ASSERT_NE(search.box, nullptr) << "no message box";
  EXPECT_EQ(::WaitForSingleObject(process.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // waits for the user
  std::wstring texts;
  ::EnumChildWindows(search.box, AppendChildText, reinterpret_cast<LPARAM>(&texts));
  EXPECT_NE(texts.find(L"Function TarvikNoSuchFunction not found in Windows dll version.dll"), std::wstring::npos);

  ::PostMessageW(search.box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 0;
  ::GetExitCodeProcess(process.Get(), &exit_code);
  EXPECT_EQ(exit_code, static_cast<DWORD>(kMissingSystemLibraryExitCode));
}

}  // namespace
}  // namespace ostrel
