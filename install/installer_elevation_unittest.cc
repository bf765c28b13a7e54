// The elevated installation with real processes: this test process plays the
// first copy (the Installer with its real ElevatedCopy, sharing the Shared
// section of TarvikBrowserInstaller.exe by mapping that file as an image),
// and the real installer executable, started with "runas", is the elevated
// copy. Under Wine "runas" starts it without a prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/json_reader.h"
#include "base/scoped_handle.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "config/brand_info.h"
#include "install/delayed_params.h"
#include "install/elevated_process.h"
#include "install/installer.h"
#include "install/installer_test_util.h"
#include "install/progress_relay.h"
#include "install/protected_archive_copy.h"
#include "install/setup_command_line.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"
#include "testing/shared_section_test_lock.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::Quote;
using testing::RecordingInstaller;
using testing::RecordingObserver;
using testing::ScriptedDownloads;

constexpr DWORD kTestWaitMs = 60000;
// wait-hand-over's exit code when it saw the cancel event.
constexpr DWORD kHelperCancelled = 41;

// The Shared section of an executable mapped as an image.
DelayedParamsImage* FindSharedSection(HMODULE image) {
  auto* base = reinterpret_cast<BYTE*>(image);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::strncmp(reinterpret_cast<const char*>(section->Name), kDelayedParamsSectionName, IMAGE_SIZEOF_SHORT_NAME) ==
            0 &&
        section->Misc.VirtualSize >= sizeof(DelayedParamsImage))
      return reinterpret_cast<DelayedParamsImage*>(base + section->VirtualAddress);
  }
  return nullptr;
}

// One record of an installer log file ("date time pid:tid LEVEL: text (operation:line)").
struct FileLogRecord {
  std::string level;
  std::string function;
  std::string text;
};

std::vector<FileLogRecord> ReadLogRecords(const std::wstring& path) {
  // A record's text may carry line breaks (system error texts do).
  std::vector<std::string> raw;
  for (const std::string& line : testing::SplitLines(testing::ReadFileOrEmpty(path))) {
    bool starts_record = line.size() > 4 && line[4] == '-' && line[0] >= '0' && line[0] <= '9';
    if (starts_record || raw.empty()) {
      raw.push_back(line);
    } else {
      raw.back() += "\n" + line;
    }
  }
  std::vector<FileLogRecord> records;
  for (const std::string& line : raw) {
    for (const char* level : {"INFO", "ERROR", "WARNING"}) {
      std::string marker = std::string(" ") + level + ": ";
      size_t at = line.find(marker);
      size_t open = line.rfind(" (");
      size_t colon = line.rfind(':');
      if (at == std::string::npos || open == std::string::npos || open < at || colon < open) continue;
      records.push_back({level, line.substr(open + 2, colon - open - 2), line.substr(at + marker.size(), open - at - marker.size())});
      break;
    }
  }
  return records;
}

// "function: text" of the records of the given operations.
std::vector<std::string> LinesOf(const std::vector<FileLogRecord>& records, std::vector<std::string> functions) {
  std::vector<std::string> lines;
  for (const FileLogRecord& record : records) {
    for (const std::string& function : functions)
      if (record.function == function) lines.push_back(record.level + " " + function + ": " + record.text);
  }
  return lines;
}

// The first copy's installation window on its own thread: it records the
// relay's progress messages and has a stop button.
class ProgressWindowThread {
 public:
  ProgressWindowThread() : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] { Run(); });
    ::WaitForSingleObject(ready_.Get(), kTestWaitMs);
  }
  ProgressWindowThread(const ProgressWindowThread&) = delete;
  ProgressWindowThread& operator=(const ProgressWindowThread&) = delete;
  ~ProgressWindowThread() {
    ::PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }

  HWND window() const { return window_; }
  bool stop_shown() const { return (::GetWindowLongPtrW(stop_, GWL_STYLE) & WS_VISIBLE) != 0; }
  std::vector<WPARAM> positions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return positions_;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<ProgressWindowThread*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kProgressPositionMessage) {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->positions_.push_back(wparam);
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  void Run() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TarvikElevationTestWindow";
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                window_class.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    stop_ = ::CreateWindowExW(0, L"BUTTON", L"Stop", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStopButtonId)), nullptr, nullptr);
    thread_id_ = ::GetCurrentThreadId();
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before the test goes on
    ::SetEvent(ready_.Get());
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::DestroyWindow(window_);
  }

  ScopedKernelHandle ready_;
  std::thread thread_;
  DWORD thread_id_ = 0;
  HWND window_ = nullptr;
  HWND stop_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<WPARAM> positions_;
};

class WindowObserver : public RecordingObserver {
 public:
  explicit WindowObserver(HWND window) : window_(window) {}
  HWND GetWindow() override { return window_; }

 private:
  HWND window_;
};

// What StartElevatedCopy handed to ShellExecuteExW.
struct ShellExecuteCall {
  DWORD size = 0;
  ULONG mask = 0;
  HWND window = nullptr;
  std::wstring verb;
  std::wstring file;
  std::wstring parameters;
  bool has_directory = false;
  int show = 0;
};

// Sets an environment variable while it lives.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(name, old, MAX_PATH);
    if (length > 0 && length < MAX_PATH) old_ = std::wstring(old, length);
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
  ~ScopedEnvironmentVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

std::string ReadArchive(const wchar_t* name) {
  std::string bytes;
  ReadFileToBytes(testing::TestBinaryDirectory() + L"\\..\\standins\\" + name, &bytes);
  return bytes;
}

class ElevatedInstallationTest : public ::testing::Test {
 protected:
  ElevatedInstallationTest()
      : work_dir_(temp_.path() + L"\\"),
        copy_temp_(temp_.Append(L"copy-temp")),
        brand_(work_dir_),
        temp_variable_(L"TEMP", copy_temp_),
        tmp_variable_(L"TMP", copy_temp_) {
    CreateDirectoryRecursive(copy_temp_);
    brand_.ApplyBrandInfo(R"({"install": {"setup_url": "https://a.example/main.arc"}})");
    brand_.ApplyDefaults();
    SetProcessSwitches(L"");
  }

  void SetUp() override {
    ASSERT_TRUE(lock_.owned());
    ASSERT_TRUE(current_user_.active());
    ASSERT_FALSE(archive_.empty()) << "browser-setup.arc is missing from the build";
    installer_image_.Reset(
        ::LoadLibraryExW(testing::InstallerExecutablePath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    ASSERT_TRUE(installer_image_.IsValid());
    DelayedParamsImage* section = FindSharedSection(installer_image_.Get());
    ASSERT_TRUE(section);
    std::memset(section, 0, sizeof(*section));
    section_override_ = std::make_unique<ScopedDelayedParamsSectionOverride>(section);
    log_.Clear();
  }

  // The process command line: the installer hands it on to setup (through
  // the elevated copy's setup-cmd-line), so the stand-in setup installs into
  // the test folder and records its run there, without starting a browser.
  void SetProcessSwitches(const std::wstring& switches) {
    command_line_.reset();
    command_line_ = std::make_unique<ScopedProcessCommandLineOverride>(
        InstallerCommandLine::ParseString(Quote(testing::InstallerExecutablePath()) + L" " + SetupSwitches() + L" " +
                                          switches));
  }

  std::wstring SetupSwitches() const {
    return L"--do-not-launch-browser --standin-install-root=" + Quote(temp_.Append(L"root")) +
           L" --standin-record=" + Quote(record_path());
  }

  // ShellExecuteExW as the installer calls it, but starting the installer
  // executable where the first copy would start its own file.
  void RedirectShellExecute(Installer* installer) {
    installer->set_shell_execute_for_testing([this](SHELLEXECUTEINFOW* info) {
      Record(*info);
      installer_path_ = testing::InstallerExecutablePath();
      info->lpFile = installer_path_.c_str();
      return ::ShellExecuteExW(info);
    });
  }

  void Record(const SHELLEXECUTEINFOW& info) {
    ShellExecuteCall call;
    call.size = info.cbSize;
    call.mask = info.fMask;
    call.window = info.hwnd;
    call.verb = info.lpVerb ? info.lpVerb : L"";
    call.file = info.lpFile ? info.lpFile : L"";
    call.parameters = info.lpParameters ? info.lpParameters : L"";
    call.has_directory = info.lpDirectory != nullptr;
    call.show = info.nShow;
    calls_.push_back(call);
  }

  std::unique_ptr<RecordingInstaller> MakeInstaller(InstallerObserver* observer, ScriptedDownloads* script,
                                                    DWORD elevated_finish_wait_ms = kElevatedFinishWaitMs) {
    auto installer = std::make_unique<RecordingInstaller>(observer, &brand_, nullptr, false);
    installer->set_downloader_factory_for_testing(script->Factory());
    InstallerTimings timings;
    timings.retry_wait_ms = 0;
    timings.browser_window_poll_ms = 10;
    timings.elevated_finish_wait_ms = elevated_finish_wait_ms;
    installer->set_timings_for_testing(timings);
    RedirectShellExecute(installer.get());
    return installer;
  }

  static ElevatedCopy* CopyOf(const Installer& installer) {
    return static_cast<ElevatedCopy*>(installer.elevated_process());
  }

  std::vector<FileLogRecord> CopyLog() const { return ReadLogRecords(copy_temp_ + L"\\ostrel.log"); }

  // Waits until the copy has logged `text` (it then waits for the hand-over).
  bool WaitForCopyLine(const std::string& text) {
    for (int i = 0; i < 600; ++i) {
      for (const FileLogRecord& record : CopyLog())
        if (record.text == text) return true;
      ::Sleep(50);
    }
    return false;
  }

  std::wstring record_path() const { return temp_.Append(L"setup-record.jsonl"); }

  // The switches of setup's last run, from the stand-in's record.
  Value::Dict SetupSwitchesRun() const {
    std::vector<std::string> lines = testing::SplitLines(testing::ReadFileOrEmpty(record_path()));
    if (lines.empty()) return {};
    std::optional<Value> record = Deserialize(lines.back(), kInstallerJsonOptions);
    const Value::Dict* switches = record ? record->FindDictKey("switches") : nullptr;
    return switches ? *switches : Value::Dict();
  }
  static std::string SwitchValue(const Value::Dict& switches, const std::string& name) {
    auto it = switches.find(name);
    return it != switches.end() && it->second.is_string() ? it->second.GetString() : "<absent>";
  }

  testing::ScopedFakeOsFacts facts_;
  testing::ScopedHkcuOverride current_user_;
  testing::ScopedSharedSectionTestLock lock_;
  testing::ScopedTempDir temp_;
  std::wstring work_dir_;
  std::wstring copy_temp_;
  BrandInfo brand_;
  // The elevated copy inherits the environment: its log lands in copy_temp_.
  ScopedEnvironmentVariable temp_variable_;
  ScopedEnvironmentVariable tmp_variable_;
  std::string archive_ = ReadArchive(L"browser-setup.arc");
  ScopedLibrary installer_image_;
  std::unique_ptr<ScopedDelayedParamsSectionOverride> section_override_;
  std::unique_ptr<ScopedProcessCommandLineOverride> command_line_;
  std::wstring installer_path_;
  std::vector<ShellExecuteCall> calls_;
  testing::ScopedLogCapture log_;
};

TEST_F(ElevatedInstallationTest, GoAheadRunsSetupInTheCopyAndLeavesTheExitCodeAt400) {
  ProgressWindowThread window;
  WindowObserver observer(window.window());
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(&observer, &script);
  ASSERT_TRUE(installer->StartElevatedCopy());
  ElevatedCopy* copy = CopyOf(*installer);
  ASSERT_TRUE(copy && copy->process());
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(copy->process());
  HWND owner = copy->owner_window();
  EXPECT_TRUE(::IsWindow(owner));

  installer->InstallSynchronously();

  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), 0u);
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);
  EXPECT_EQ(installer->elevated_process(), nullptr);
  EXPECT_FALSE(::IsWindow(owner));
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"progress 100", "finished 1"}));
  std::vector<std::string> events = installer->events();
  EXPECT_NE(std::find(events.begin(), events.end(), "setup_exited 1"), events.end());
  EXPECT_EQ(events.back(), "installation_finished 1");

  std::vector<std::string> first_copy;
  for (const auto& record : log_.records())
    if (record.function == "RunModuleInElevatedProcess" || record.function == "RunModule")
      first_copy.push_back(record.function + ": " + record.text);
  EXPECT_EQ(first_copy, (std::vector<std::string>{
                            "RunModuleInElevatedProcess: Started waiting the elevated installer has finished its work.",
                            "RunModuleInElevatedProcess: The elevated installer has finished, success=1"}));

  std::vector<FileLogRecord> copy_log = CopyLog();
  std::vector<std::string> lines = LinesOf(copy_log, {"ExecuteAsAdmin", "RunModuleAndWait"});
  ASSERT_EQ(lines.size(), 6u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "INFO ExecuteAsAdmin: Start installer as admin");
  // The copy runs its own copy of the archive, from an administrators-only
  // directory of the Windows temporary folder that is gone afterwards.
  InstallerCommandLine run = InstallerCommandLine::ParseString(Utf8ToWide(lines[1].substr(lines[1].find("Run: ") + 5)));
  EXPECT_EQ(DirName(DirName(run.ProgramPath())), WindowsTempDirectory()) << lines[1];
  EXPECT_EQ(BaseName(run.ProgramPath()), BaseName(installer->module_path()));
  EXPECT_FALSE(PathExists(DirName(run.ProgramPath())));
  EXPECT_NE(lines[1].find(" --source=lite"), std::string::npos);
  EXPECT_EQ(lines[2].rfind("INFO RunModuleAndWait: Process created: ", 0), 0u);
  EXPECT_EQ(lines[3], "INFO RunModuleAndWait: Wait for process finish.");
  EXPECT_EQ(lines[4], "INFO RunModuleAndWait: Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 0");
  EXPECT_EQ(lines[5], "INFO ExecuteAsAdmin: RunModule results: success=1 error_code=0");

  // Setup got what the copy received on its command line and what came
  // through the Shared section, its data files as copies beside the archive.
  Value::Dict switches = SetupSwitchesRun();
  EXPECT_EQ(SwitchValue(switches, "source"), "lite");
  EXPECT_EQ(SwitchValue(switches, "progress-window"),
            std::to_string(reinterpret_cast<uintptr_t>(window.window())));
  const std::string protected_folder = WideToUtf8(DirName(run.ProgramPath())) + "\\";
  EXPECT_EQ(SwitchValue(switches, "installerdata").rfind(protected_folder, 0), 0u);
  EXPECT_EQ(SwitchValue(switches, "clids-file").rfind(protected_folder, 0), 0u);
  EXPECT_TRUE(SwitchValue(switches, "installerdata").ends_with("-master_preferences"));
  EXPECT_TRUE(SwitchValue(switches, "clids-file").ends_with("-clids.xml"));
  EXPECT_EQ(SwitchValue(switches, "install-start-time-no-uac"), std::to_string(installer->proceed_time()));
  // Whole seconds of the scripted download: 0, or more on a loaded machine.
  EXPECT_EQ(SwitchValue(switches, "histogram-download-time"), std::to_string(installer->download_duration() / 1000000));
  EXPECT_EQ(SwitchValue(switches, "standin-record"), WideToUtf8(record_path()));
  EXPECT_EQ(switches.count("disable-uac"), 0u);
  EXPECT_EQ(switches.count("run-as-admin"), 0u);

  // The relay reached the first copy's window.
  for (int i = 0; i < 100 && window.positions().empty(); ++i) ::Sleep(20);
  std::vector<WPARAM> positions = window.positions();
  EXPECT_FALSE(positions.empty());
  if (!positions.empty()) {
    EXPECT_EQ(positions.front(), 40u);
  }
  EXPECT_FALSE(window.stop_shown());
}

TEST_F(ElevatedInstallationTest, SetupFailingWithEightInTheCopyGivesKindSixHere) {
  SetProcessSwitches(L"--standin-exit-code=8");
  RecordingObserver observer;
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(&observer, &script);
  ASSERT_TRUE(installer->StartElevatedCopy());
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(CopyOf(*installer)->process());

  installer->InstallSynchronously();

  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), static_cast<DWORD>(-1));
  EXPECT_EQ(GetSharedFailureKind(), kFailureSetupExitCode8);
  EXPECT_EQ(observer.calls(), (std::vector<std::string>{"error 6", "finished 1"}));
  EXPECT_EQ(installer->installer_exit_code(), kInstallerExitCodeNotFinished);
  EXPECT_TRUE(log_.Contains("The elevated installer has finished, success=0"));
  EXPECT_EQ(installer->events().back(), "installation_finished 0");

  std::vector<std::string> lines = LinesOf(CopyLog(), {"ExecuteAsAdmin"});
  EXPECT_EQ(lines, (std::vector<std::string>{"INFO ExecuteAsAdmin: Start installer as admin",
                                             "INFO ExecuteAsAdmin: RunModule results: success=0 error_code=8"}));
  EXPECT_EQ(LinesOf(CopyLog(), {"RunModuleAndWait"}).back(),
            "INFO RunModuleAndWait: Setup process exit with code: SUCCESS_EXIT_CODE(0); error: 8");
}

TEST_F(ElevatedInstallationTest, TheFirstCopyGivingUpBeforeTheGoAheadCancelsTheCopy) {
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script);
  ASSERT_TRUE(installer->StartElevatedCopy());
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(CopyOf(*installer)->process());
  ASSERT_TRUE(WaitForCopyLine("Start installer as admin"));

  installer.reset();

  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), static_cast<DWORD>(-1));
  EXPECT_EQ(LinesOf(CopyLog(), {"ExecuteAsAdmin"}),
            (std::vector<std::string>{"INFO ExecuteAsAdmin: Start installer as admin",
                                      "ERROR ExecuteAsAdmin: Installer started as admin has been unexpectedly synced, wr=1"}));
  EXPECT_FALSE(log_.ContainsPrefix("The elevated installer hangs"));
  EXPECT_TRUE(testing::ReadFileOrEmpty(record_path()).empty()) << "setup never ran";
}

TEST_F(ElevatedInstallationTest, StoppingWhileSetupRunsInTheCopyEndsTheCopyAfterTheLimit) {
  SetProcessSwitches(L"--standin-delay-ms=60000");
  RecordingObserver observer;
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(&observer, &script, 1000);
  ASSERT_TRUE(installer->StartElevatedCopy());
  ScopedKernelHandle watch = testing::DuplicateProcessHandle(CopyOf(*installer)->process());
  HWND owner = CopyOf(*installer)->owner_window();
  ASSERT_TRUE(installer->StartInstallThread());
  installer->Proceed();
  ASSERT_TRUE(WaitForCopyLine("Wait for process finish."));

  EXPECT_TRUE(installer->WaitForInstallAsync());

  // The copy is ended as failed; setup, which it started, is left alone.
  EXPECT_EQ(testing::ExitCodeAfterEnd(watch.Get()), static_cast<DWORD>(-1));
  std::vector<std::string> lines = LinesOf(CopyLog(), {"RunModuleAndWait"});
  ASSERT_EQ(lines.size(), 3u);
  ASSERT_EQ(lines[1].rfind("INFO RunModuleAndWait: Process created: ", 0), 0u);
  ScopedKernelHandle setup(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                         static_cast<DWORD>(std::stoul(lines[1].substr(40)))));
  EXPECT_TRUE(setup.IsValid()) << "setup still runs";
  if (setup.IsValid()) {
    ::TerminateProcess(setup.Get(), 1);
    ::WaitForSingleObject(setup.Get(), kTestWaitMs);
  }
  EXPECT_EQ(LinesOf(CopyLog(), {"ExecuteAsAdmin"}).back(), "INFO ExecuteAsAdmin: Start installer as admin");

  std::vector<std::string> first_copy;
  for (const auto& record : log_.records()) {
    if (record.function == "RunModuleInElevatedProcess" || record.function == "RunModule" ||
        record.function == "EnsureProcessFinished")
      first_copy.push_back((record.level == LOG_ERROR ? "ERROR " : "INFO ") + record.function + ": " +
                           record.text.substr(0, record.text.find(" - ")));
  }
  EXPECT_EQ(first_copy,
            (std::vector<std::string>{
                "INFO RunModuleInElevatedProcess: Started waiting the elevated installer has finished its work.",
                "ERROR RunModule: The elevated installer was terminated due to stop event.",
                "INFO RunModuleInElevatedProcess: The elevated installer has finished, success=0",
                "ERROR EnsureProcessFinished: The elevated installer hangs and must be forcibly terminated."}));
  EXPECT_TRUE(observer.calls().empty()) << "the user stopped: no error shown";

  // The install thread ended the copy; the owner window goes on its own thread.
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  EXPECT_FALSE(::IsWindow(owner));
}

TEST_F(ElevatedInstallationTest, TheFirstCopyDyingEndsTheWaitingCopy) {
  std::wstring ready = temp_.Append(L"copy.pid");
  ScopedKernelHandle first_copy = testing::StartProcess(
      Quote(testing::TestHelperPath()) + L" start-elevated-copy " + Quote(testing::InstallerExecutablePath()) + L" " +
      Quote(copy_temp_) + L" " + Quote(ready) + L" --standin-record=" + Quote(record_path()));
  ASSERT_TRUE(first_copy.IsValid());
  std::string pid;
  for (int i = 0; i < 600 && pid.empty(); ++i) {
    pid = testing::ReadFileOrEmpty(ready);
    if (pid.empty()) ::Sleep(50);
  }
  ASSERT_FALSE(pid.empty());
  ScopedKernelHandle copy(
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(std::stoul(pid))));
  ASSERT_TRUE(copy.IsValid());
  ASSERT_TRUE(WaitForCopyLine("Start installer as admin"));

  ::TerminateProcess(first_copy.Get(), 1);

  EXPECT_EQ(testing::ExitCodeAfterEnd(copy.Get()), static_cast<DWORD>(-1));
  EXPECT_EQ(LinesOf(CopyLog(), {"ExecuteAsAdmin"}),
            (std::vector<std::string>{"INFO ExecuteAsAdmin: Start installer as admin",
                                      "ERROR ExecuteAsAdmin: Installer started as admin has been unexpectedly synced, wr=2"}));
  EXPECT_TRUE(testing::ReadFileOrEmpty(record_path()).empty()) << "setup never ran";
}

TEST_F(ElevatedInstallationTest, TheCopysCommandLineCarriesTheSetupCommandLineAndTheParent) {
  SetProcessSwitches(L"--brand-name=partner --send-statistics");
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script);
  // A stand-in copy: the real one is started in the other tests.
  std::vector<ScopedKernelHandle> watches;
  installer->set_shell_execute_for_testing([&](SHELLEXECUTEINFOW* info) {
    Record(*info);
    ScopedKernelHandle helper = testing::StartProcess(Quote(testing::TestHelperPath()) + L" wait-hand-over 0");
    watches.emplace_back(testing::DuplicateProcessHandle(helper.Get()));
    info->hProcess = helper.Release();
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
    return TRUE;
  });

  ASSERT_TRUE(installer->StartElevatedCopy());
  ASSERT_EQ(calls_.size(), 1u);
  const ShellExecuteCall& call = calls_[0];
  EXPECT_EQ(call.size, sizeof(SHELLEXECUTEINFOW));
  EXPECT_EQ(call.mask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
  EXPECT_EQ(call.verb, L"runas");
  EXPECT_EQ(call.file, GetOwnExecutablePath()) << "this very file, whatever the command line names";
  EXPECT_FALSE(call.has_directory);
  EXPECT_EQ(call.show, SW_SHOW);
  EXPECT_EQ(call.window, CopyOf(*installer)->owner_window());
  EXPECT_TRUE(::IsWindow(call.window));

  // The parameters are the process command line without its program, plus
  // the three switches of the elevated copy.
  EXPECT_EQ(call.parameters.rfind(L" --", 0), 0u);
  InstallerCommandLine parameters = InstallerCommandLine::ParseString(L"x.exe" + call.parameters);
  InstallerCommandLine expected = InstallerCommandLine::ProcessCommandLine();
  expected.SetProgramPath(L"x.exe");
  expected.PutSwitch("run-as-admin");
  expected.PutSwitch("parent-installer-process-id", std::to_string(::GetCurrentProcessId()));
  expected.PutSwitch("setup-cmd-line",
                     std::wstring_view(installer->BuildSetupCommandLine(kFakeBrowserArcPath, false).Render()));
  EXPECT_EQ(parameters.Render(), expected.Render());
  InstallerCommandLine setup = InstallerCommandLine::ParseString(parameters.SwitchValueNative("setup-cmd-line"));
  EXPECT_EQ(setup.ProgramPath(), L"fake_browser_arc");
  EXPECT_FALSE(setup.IsSwitchPresent("installerdata"));
  EXPECT_FALSE(setup.IsSwitchPresent("clids-file"));
  EXPECT_EQ(setup.SwitchValueNative("progress-window"), L"0");

  // A second start replaces the first copy, which is cancelled; the new
  // events are made after the old ones are gone.
  ASSERT_TRUE(installer->StartElevatedCopy());
  EXPECT_EQ(testing::ExitCodeAfterEnd(watches[0].Get()), kHelperCancelled);
  EXPECT_FALSE(::IsWindow(call.window));
  installer.reset();
  EXPECT_EQ(testing::ExitCodeAfterEnd(watches[1].Get()), kHelperCancelled);
  EXPECT_FALSE(::IsWindow(calls_[1].window));
}

TEST_F(ElevatedInstallationTest, ADeclinedPromptInstallsHereWithDisableUac) {
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script);
  installer->set_shell_execute_for_testing([this](SHELLEXECUTEINFOW* info) {
    Record(*info);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_ACCESSDENIED));
    ::SetLastError(ERROR_CANCELLED);
    return FALSE;
  });

  EXPECT_FALSE(installer->StartElevatedCopy());
  EXPECT_TRUE(installer->uac_declined());
  EXPECT_EQ(installer->elevated_process(), nullptr);
  EXPECT_EQ(installer->events(), std::vector<std::string>{"uac_declined"});
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_FALSE(::IsWindow(calls_[0].window));
  EXPECT_TRUE(ElevatedCopy::Create()) << "the events were released";

  installer->InstallSynchronously();
  EXPECT_EQ(installer->installer_exit_code(), 0u);
  Value::Dict switches = SetupSwitchesRun();
  EXPECT_EQ(switches.count("disable-uac"), 1u);
  EXPECT_EQ(switches.count("installerdata"), 1u);
}

TEST_F(ElevatedInstallationTest, AFailedStartIsReportedButIsNoRefusal) {
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script);
  // As for a missing file (ShellExecuteExW would also show its error box).
  installer->set_shell_execute_for_testing([this](SHELLEXECUTEINFOW* info) {
    Record(*info);
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF));
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  });

  EXPECT_FALSE(installer->StartElevatedCopy());
  EXPECT_FALSE(installer->uac_declined());
  EXPECT_EQ(installer->elevated_process(), nullptr);
  EXPECT_EQ(installer->events(), std::vector<std::string>{"uac_declined"});
  EXPECT_TRUE(log_.ContainsPrefix("The elevated installer was not started, hInstApp=2 - 2, "));
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_FALSE(::IsWindow(calls_[0].window));
}

TEST_F(ElevatedInstallationTest, TheRefusalGoesOutAsTheWindowsDialogEvent) {
  testing::StatRecord record;
  Installer installer(nullptr, &brand_, nullptr, false);
  installer.set_stat_reporter_for_testing(record.MakeReporter());
  installer.set_shell_execute_for_testing([](SHELLEXECUTEINFOW* info) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_ACCESSDENIED));
    ::SetLastError(ERROR_CANCELLED);
    return FALSE;
  });

  EXPECT_FALSE(installer.StartElevatedCopy());
  std::vector<std::wstring> urls = record.urls();
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_NE(urls[0].find(L"/cid=72696/path=qobrowser_reinstall_dialog/vars="), std::wstring::npos) << urls[0];
  StatEvent event = testing::StatRecord::DecodeStatVars(urls[0]);
  EXPECT_EQ(event["clicked_button"], L"uac_declined");
  EXPECT_EQ(event["dialog_window"], L"liteinstall");
}

TEST_F(ElevatedInstallationTest, AHandOverEventMadeByAnotherProgramStopsTheElevation) {
  ScopedKernelHandle planted(::CreateEventA(nullptr, FALSE, FALSE, kElevatedCancelEventName));
  ASSERT_TRUE(planted.IsValid());
  ScriptedDownloads script(archive_);
  auto installer = MakeInstaller(nullptr, &script);

  EXPECT_FALSE(installer->StartElevatedCopy());
  EXPECT_TRUE(calls_.empty()) << "nothing was started";
  EXPECT_EQ(installer->elevated_process(), nullptr);
  EXPECT_FALSE(installer->uac_declined());
  EXPECT_TRUE(installer->events().empty());
  EXPECT_TRUE(log_.Contains(std::string("The event ") + kElevatedCancelEventName +
                            " already exists; another program made it, so the installer does not run elevated"));
}

class NeedStartThisProcessAsAdminTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(current_user_.active()); }

  bool NeedStart(const std::wstring& command_line) {
    ScopedProcessCommandLineOverride process(InstallerCommandLine::ParseString(L"i.exe " + command_line));
    log_.Clear();
    Installer installer(nullptr, nullptr, nullptr, false);
    return installer.NeedStartThisProcessAsAdmin();
  }
  // The one line of the last call, "" when there was none. The installer's
  // own start and end may log lines of their own.
  std::string Line() {
    std::vector<testing::CapturedRecord> records;
    for (const auto& record : log_.records())
      if (record.function == "NeedStartThisProcessAsAdmin") records.push_back(record);
    if (records.empty()) return "";
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, LOG_INFO);
    return records[0].text;
  }

  testing::ScopedFakeOsFacts facts_;
  // The installers' reporters remove hand-over values other tests read.
  testing::ScopedHkcuOverride current_user_;
  testing::ScopedLogCapture log_;
};

TEST_F(NeedStartThisProcessAsAdminTest, TheFirstRuleThatAppliesDecides) {
  EXPECT_TRUE(NeedStart(L"--silent"));
  EXPECT_EQ(Line(), "");

  facts_.user_in_admin_group = false;
  EXPECT_FALSE(NeedStart(L"--patch --run-as-admin"));
  EXPECT_EQ(Line(), "User is not in admin group.");
  facts_.user_in_admin_group = true;

  facts_.SetWindows(5, 1, 2600);
  EXPECT_FALSE(NeedStart(L"--patch"));
  EXPECT_EQ(Line(), "Windows version is not suitable for elevated restart.");
  facts_.SetWindows(6, 0, 6002);
  EXPECT_TRUE(NeedStart(L""));

  // Tested in the table's order, so patch is named before pttw0.
  EXPECT_FALSE(NeedStart(L"--pttw0 --patch --run-as-admin"));
  EXPECT_EQ(Line(), "Found non install-switch:patch");
  for (const char* name : switches::kNonInstallSwitches) {
    EXPECT_FALSE(NeedStart(L"--" + AsciiToWide(name)));
    EXPECT_EQ(Line(), std::string("Found non install-switch:") + name);
  }

  EXPECT_FALSE(NeedStart(L"--run-as-admin"));
  EXPECT_EQ(Line(), "Run-as-admin functionality is already enabled.");
}

}  // namespace
}  // namespace ostrel
