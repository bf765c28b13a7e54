// The stand-in setup program against its contract: run as the installer runs
// it (the signed archive, CREATE_NO_WINDOW), with a window of this test
// receiving its registered messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/json_reader.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "standins/setup/standin_contract.h"
#include "testing/test_util.h"

namespace ostrel::standin {
namespace {

using ::ostrel::testing::ScopedTempDir;

struct Received {
  std::wstring name;
  WPARAM wparam;
  bool operator==(const Received& other) const { return name == other.name && wparam == other.wparam; }
};

// A message-only window that records the registered messages of the contract
// and answers "tarvik.corp.user_browser_exists" with `answer`.
class ProgressWindow {
 public:
  ProgressWindow() {
    for (const wchar_t* name : {kSetInstallProgressMessage, kSetImportProgressMessage, kCloseWindowMessage,
                                kHigherVersionExistMessage, kCorpUserHigherVersionExistMessage,
                                kCorpUserBrowserExistsMessage}) {
      ids_.emplace_back(::RegisterWindowMessageW(name), name);
    }
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"StandinSetupTestProgressWindow";
    ::RegisterClassExW(&window_class);
    window_.Reset(::CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    window_class.hInstance, this));
    ::SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  HWND handle() const { return window_.Get(); }
  std::wstring HandleText() const { return std::to_wstring(reinterpret_cast<uintptr_t>(window_.Get())); }

  LRESULT answer = 1;
  std::vector<Received> received;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<ProgressWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
      for (const auto& [id, name] : self->ids_) {
        if (id != message) continue;
        self->received.push_back({name, wparam});
        return name == kCorpUserBrowserExistsMessage ? self->answer : 0;
      }
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  std::vector<std::pair<UINT, std::wstring>> ids_;
  ScopedWindow window_;
};

std::wstring StandinFile(const std::wstring& name) {
  return JoinPath(JoinPath(DirName(::ostrel::testing::TestBinaryDirectory()), L"standins"), name);
}

// The product key's two installation values, per level.
std::optional<std::wstring> ReadInstallValue(HKEY root, const wchar_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, kProductRegistryKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
    return std::nullopt;
  ScopedRegKey owner(key);
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

void DeleteInstallValues() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, kProductRegistryKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
      continue;
    ScopedRegKey owner(key);
    ::RegDeleteValueW(key, kVersionValue);
    ::RegDeleteValueW(key, kUninstallStringValue);
  }
}

bool BrowserWindowExists() { return ::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserWindowClass, nullptr) != nullptr; }

class StandinSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteInstallValues();
    archive_ = temp_.Append(L"browser-setup.arc");
    ASSERT_TRUE(::CopyFileW(StandinFile(L"browser-setup.arc").c_str(), archive_.c_str(), FALSE));
    record_ = temp_.Append(L"record.jsonl");
    install_root_ = temp_.Append(L"root");
  }
  void TearDown() override {
    // The browser lives 500 ms; wait until it is gone so the next test
    // starts without a browser window.
    for (int i = 0; i < 300 && BrowserWindowExists(); ++i) ::Sleep(10);
    DeleteInstallValues();
  }

  // Runs setup the way the installer does and pumps the window meanwhile.
  DWORD RunSetup(const std::wstring& switches) {
    std::wstring command = QuoteForCommandLine(archive_) + L" --standin-record=" + QuoteForCommandLine(record_) +
                           L" --standin-install-root=" + QuoteForCommandLine(install_root_) +
                           L" --standin-browser-lifetime-ms=500 --standin-step-delay-ms=1 " + switches;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info)) {
      ADD_FAILURE() << "CreateProcess failed: " << ::GetLastError();
      return 0xFFFFFFFF;
    }
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);
    DWORD start = ::GetTickCount();
    while (::MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
      Pump();
      if (::GetTickCount() - start > 30000) {
        ::TerminateProcess(info.hProcess, 1);
        ADD_FAILURE() << "setup did not end";
      }
    }
    Pump();  // messages posted just before the end
    DWORD exit_code = 0;
    ::GetExitCodeProcess(info.hProcess, &exit_code);
    return exit_code;
  }

  static void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }

  // The record lines of one role.
  std::vector<Value> Records(const std::string& role) {
    std::vector<Value> records;
    for (const std::string& line : ::ostrel::testing::SplitLines(::ostrel::testing::ReadFileOrEmpty(record_))) {
      std::optional<Value> value = Deserialize(line, 0);
      EXPECT_TRUE(value && value->is_dict()) << line;
      if (value && value->is_dict() && *value->FindStringKey("role") == role) records.push_back(std::move(*value));
    }
    return records;
  }

  std::wstring ApplicationDir() const { return JoinPath(install_root_, L"Tarvik\\TarvikBrowser\\Application"); }

  ScopedTempDir temp_;
  std::wstring archive_;
  std::wstring record_;
  std::wstring install_root_;
  ProgressWindow window_;
};

TEST_F(StandinSetupTest, InstallsPerUserReportsProgressAndStartsTheBrowser) {
  EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() + L" --brand-name=tarvik --verbose-logging"), 0u);

  std::wstring setup_path = JoinPath(ApplicationDir(), L"25.2.0.1234\\Installer\\setup.exe");
  EXPECT_EQ(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue), L"25.2.0.1234");
  EXPECT_EQ(ReadInstallValue(HKEY_CURRENT_USER, kUninstallStringValue), setup_path);
  EXPECT_FALSE(ReadInstallValue(HKEY_LOCAL_MACHINE, kVersionValue));
  EXPECT_TRUE(FileExists(setup_path));
  EXPECT_TRUE(FileExists(JoinPath(ApplicationDir(), L"browser.exe")));
  // Setup ends only once the browser's window is there.
  EXPECT_TRUE(BrowserWindowExists());

  std::vector<Received> expected = {{kSetInstallProgressMessage, 5}, {kSetInstallProgressMessage, 7},
                                    {kSetImportProgressMessage, 0},  {kSetImportProgressMessage, 25},
                                    {kSetImportProgressMessage, 50}, {kSetImportProgressMessage, 75},
                                    {kSetImportProgressMessage, 100}, {kCloseWindowMessage, 0}};
  EXPECT_EQ(window_.received, expected);

  std::vector<Value> setup = Records("setup");
  ASSERT_EQ(setup.size(), 1u);
  EXPECT_EQ(*setup[0].FindStringKey("program"), WideToUtf8(archive_));
  EXPECT_EQ(*setup[0].FindStringPath("switches.brand-name"), "tarvik");
  EXPECT_EQ(*setup[0].FindStringPath("switches.verbose-logging"), "");
  EXPECT_EQ(*setup[0].FindStringPath("switches.progress-window"), WideToUtf8(window_.HandleText()));
  EXPECT_EQ(setup[0].FindBoolKey("browser_started"), true);
  EXPECT_EQ(setup[0].FindIntKey("exit_code"), 0);
  EXPECT_EQ(Records("browser").size(), 1u);
}

TEST_F(StandinSetupTest, RecordsTheStatisticsHandOverFoundAtStart) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  ScopedRegKey owner(key);
  const std::wstring text = L"brand_id\ntarvik\nnew_ver\n25.2.0.1234\n";
  ASSERT_EQ(::RegSetValueExW(key, kInstallStatValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  EXPECT_EQ(RunSetup(L"--do-not-launch-browser"), 0u);
  ::RegDeleteValueW(key, kInstallStatValue);
  EXPECT_EQ(RunSetup(L"--do-not-launch-browser"), 0u);

  std::vector<Value> setup = Records("setup");
  ASSERT_EQ(setup.size(), 2u);
  ASSERT_TRUE(setup[0].FindStringKey("install_stat"));
  EXPECT_EQ(*setup[0].FindStringKey("install_stat"), WideToUtf8(text));
  EXPECT_FALSE(setup[1].FindKey("install_stat"));
}

TEST_F(StandinSetupTest, DoNotLaunchBrowserAndNoWindow) {
  EXPECT_EQ(RunSetup(L"--progress-window=0 --do-not-launch-browser"), 0u);
  EXPECT_TRUE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue));
  EXPECT_FALSE(BrowserWindowExists());
  EXPECT_TRUE(window_.received.empty());
  ASSERT_EQ(Records("setup").size(), 1u);
  EXPECT_EQ(Records("setup")[0].FindBoolKey("browser_started"), false);
  EXPECT_TRUE(Records("browser").empty());
}

TEST_F(StandinSetupTest, SystemLevelInstallsForTheMachine) {
  EXPECT_EQ(RunSetup(L"--system-level --do-not-launch-browser --standin-browser-version=1.2.3.4"), 0u);
  EXPECT_EQ(ReadInstallValue(HKEY_LOCAL_MACHINE, kVersionValue), L"1.2.3.4");
  EXPECT_EQ(ReadInstallValue(HKEY_LOCAL_MACHINE, kUninstallStringValue),
            JoinPath(ApplicationDir(), L"1.2.3.4\\Installer\\setup.exe"));
  EXPECT_FALSE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue));
}

TEST_F(StandinSetupTest, ChosenExitCodeEndsAFailedRunThatInstallsNothing) {
  for (DWORD code : {7u, 8u, 0x74000000u, 0x6E000005u, 0xFFFFFFFFu}) {
    window_.received.clear();
    wchar_t text[16];
    swprintf(text, 16, L"0x%08X", code);
    EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() + L" --standin-exit-code=" + text), code);
    EXPECT_FALSE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue)) << code;
    EXPECT_EQ(window_.received, (std::vector<Received>{{kSetInstallProgressMessage, 5}})) << code;
  }
  EXPECT_FALSE(BrowserWindowExists());
  EXPECT_EQ(RunSetup(L"--standin-exit-code=-200"), static_cast<DWORD>(-200));
}

TEST_F(StandinSetupTest, ExitCodeFromTheEnvironmentUnlessTheSwitchIsGiven) {
  ASSERT_TRUE(::SetEnvironmentVariableW(kExitCodeEnv, L"8"));
  EXPECT_EQ(RunSetup(L""), 8u);
  EXPECT_EQ(RunSetup(L"--standin-exit-code=7"), 7u);
  ::SetEnvironmentVariableW(kExitCodeEnv, nullptr);
  EXPECT_EQ(RunSetup(L"--do-not-launch-browser"), 0u);
}

TEST_F(StandinSetupTest, CorporateQuestionIsSentAndAnswered) {
  window_.answer = 0;
  EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() + L" --standin-mode=corp-browser-exists"), 0u);
  EXPECT_EQ(window_.received, (std::vector<Received>{{kCorpUserBrowserExistsMessage, 0}}));
  EXPECT_FALSE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue));
  EXPECT_EQ(Records("setup").back().FindIntKey("answer"), 0);

  window_.answer = 1;
  window_.received.clear();
  EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() +
                     L" --standin-mode=corp-browser-exists --do-not-launch-browser"),
            0u);
  EXPECT_TRUE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue));
  ASSERT_FALSE(window_.received.empty());
  EXPECT_EQ(window_.received.back().name, kCloseWindowMessage);
}

TEST_F(StandinSetupTest, HigherVersionNoticesInsteadOfInstalling) {
  EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() + L" --standin-mode=higher-version"), 0u);
  EXPECT_EQ(RunSetup(L"--progress-window=" + window_.HandleText() + L" --standin-mode=corp-higher-version"), 0u);
  EXPECT_EQ(window_.received, (std::vector<Received>{{kHigherVersionExistMessage, 0},
                                                     {kCorpUserHigherVersionExistMessage, 0}}));
  EXPECT_FALSE(ReadInstallValue(HKEY_CURRENT_USER, kVersionValue));
}

}  // namespace
}  // namespace ostrel::standin
