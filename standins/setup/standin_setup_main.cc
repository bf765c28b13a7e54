// The stand-in of the browser's setup program (the downloaded archive). It
// honours the installer's side of the contract: it records the command line
// it was given, installs a small stand-in browser per user or per machine,
// reports its progress to the installer's window, starts the browser and
// ends with the exit code the test chose. Settings: standin_contract.h.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "standins/setup/standin_common.h"
#include "standins/setup/standin_contract.h"
#include "standins/setup/standin_resource_ids.h"

namespace ostrel::standin {
namespace {

struct Run {
  InstallerCommandLine command_line;
  HWND progress_window = nullptr;
  uint32_t step_delay_ms = 20;
  RecordLine record;
};

// The installer writes the handle as unsigned decimal; 0 means no window.
HWND ProgressWindow(const InstallerCommandLine& command_line) {
  std::wstring text = command_line.SwitchValueNative(kProgressWindowSwitch);
  if (text.empty()) return nullptr;
  unsigned long long value = wcstoull(text.c_str(), nullptr, 10);
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

void Post(const Run& run, const wchar_t* message_name, WPARAM wparam) {
  if (!run.progress_window) return;
  ::PostMessageW(run.progress_window, ::RegisterWindowMessageW(message_name), wparam, 0);
  ::Sleep(run.step_delay_ms);
}

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::wstring result;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  ::CoTaskMemFree(path);
  return result;
}

bool ExtractBrowser(const std::wstring& target) {
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_STANDIN_BROWSER), RT_RCDATA);
  HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return false;
  return WriteBytesToFile(target, std::string_view(static_cast<const char*>(data),
                                                   ::SizeofResource(nullptr, resource)));
}

// A string value of the per-user product key; false when it is absent.
bool ReadUserProductValue(const wchar_t* name, std::wstring* value) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  ScopedRegKey owner(key);
  DWORD size = 0;
  if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, buffer.data(), &size) != ERROR_SUCCESS)
    return false;
  buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
  *value = std::move(buffer);
  return true;
}

bool WriteProductValues(bool system_level, bool corporate, const std::wstring& version,
                        const std::wstring& setup_path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(system_level ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kProductRegistryKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  ScopedRegKey owner(key);
  auto set = [key](const wchar_t* name, const std::wstring& value) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  };
  if (!set(kVersionValue, version) || !set(kUninstallStringValue, setup_path)) return false;
  return !(system_level && corporate) || set(kCorporateMarkValue, L"true");
}

bool HasBrowserWindowOf(DWORD process_id) {
  for (HWND window = ::FindWindowExW(HWND_MESSAGE, nullptr, kBrowserWindowClass, nullptr); window;
       window = ::FindWindowExW(HWND_MESSAGE, window, kBrowserWindowClass, nullptr)) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == process_id) return true;
  }
  return false;
}

// The browser's window exists once this returns true, so whoever looks for
// it right after setup ends finds it.
bool StartBrowser(const std::wstring& browser_path, uint32_t lifetime_ms, const std::wstring& record_path) {
  std::wstring command = QuoteForCommandLine(browser_path) + L" --" + AsciiToWide(kBrowserLifetimeArgument) +
                         L"=" + std::to_wstring(lifetime_ms) + L" --" + AsciiToWide(kRecordSwitch) + L"=" +
                         QuoteForCommandLine(record_path);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  // Generous: a first start of a freshly written executable on a loaded test
  // machine can take seconds.
  // Only the started browser's own window counts: a browser left running by
  // an earlier run would otherwise end the wait before this one recorded.
  for (int i = 0; i < 3000; ++i) {
    if (HasBrowserWindowOf(info.dwProcessId)) return true;
    if (::WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0) return false;
  }
  return false;
}

// Returns false when something failed; the failure is in the record.
bool Install(Run& run) {
  bool system_level = run.command_line.IsSwitchPresent(kSystemLevelSwitch);
  std::wstring root = Setting(run.command_line, kInstallRootSwitch, kInstallRootEnv);
  if (root.empty()) root = KnownFolder(system_level ? FOLDERID_ProgramFiles : FOLDERID_LocalAppData);
  std::wstring version = Setting(run.command_line, kBrowserVersionSwitch, kBrowserVersionEnv, kDefaultBrowserVersion);
  std::wstring application = JoinPath(JoinPath(root, kProductRelativePath), L"Application");
  std::wstring installer_dir = JoinPath(JoinPath(application, version), L"Installer");
  std::wstring setup_path = JoinPath(installer_dir, L"setup.exe");
  std::wstring browser_path = JoinPath(application, kBrowserExeName);
  run.record.Add("install_dir", application);

  Post(run, kSetInstallProgressMessage, kInstallStageStarted);
  if (!CreateDirectoryRecursive(installer_dir)) {
    run.record.Add("error", L"cannot create the installation directory");
    return false;
  }
  std::string own_image;
  if (!ReadFileToBytes(GetOwnExecutablePath(), &own_image) || !WriteBytesToFile(setup_path, own_image) ||
      !ExtractBrowser(browser_path)) {
    run.record.Add("error", L"cannot write the installed files");
    return false;
  }
  bool corporate = run.command_line.IsSwitchPresent(kCorporateSwitch);
  if (!WriteProductValues(system_level, corporate, version, setup_path)) {
    run.record.Add("error", L"cannot write the product key");
    return false;
  }
  Post(run, kSetInstallProgressMessage, kInstallStageFilesInPlace);
  for (WPARAM percent = 0; percent <= 100; percent += 25) Post(run, kSetImportProgressMessage, percent);

  bool launch = !run.command_line.IsSwitchPresent(kDoNotLaunchBrowserSwitch);
  bool started = false;
  if (launch) {
    started = StartBrowser(browser_path,
                           NumericSetting(run.command_line, kBrowserLifetimeSwitch, kBrowserLifetimeEnv, 30000),
                           RecordPath(run.command_line));
    if (!started) run.record.Add("error", L"the browser did not start");
  }
  run.record.AddBool("browser_started", started);
  Post(run, kCloseWindowMessage, 0);
  return !launch || started;
}

int SetupMain() {
  Run run;
  run.command_line = InstallerCommandLine::ParseString(::GetCommandLineW());
  run.progress_window = ProgressWindow(run.command_line);
  run.step_delay_ms = NumericSetting(run.command_line, kStepDelaySwitch, kStepDelayEnv, 20);
  uint32_t exit_code = NumericSetting(run.command_line, kExitCodeSwitch, kExitCodeEnv, 0);
  std::wstring mode = Setting(run.command_line, kModeSwitch, kModeEnv, L"install");

  run.record.Add("role", L"setup");
  run.record.Add("pid", static_cast<int>(::GetCurrentProcessId()));
  run.record.Add("command_line", ::GetCommandLineW());
  run.record.Add("program", run.command_line.ProgramPath());
  run.record.AddObject("switches", run.command_line.switches());
  run.record.Add("mode", mode);
  // What the installer handed over must be there before setup does anything.
  std::wstring install_stat;
  if (ReadUserProductValue(kInstallStatValue, &install_stat)) run.record.Add("install_stat", install_stat);

  ::Sleep(NumericSetting(run.command_line, kDelaySwitch, kDelayEnv, 0));

  bool install = exit_code == 0;
  if (mode == L"higher-version") {
    Post(run, kHigherVersionExistMessage, 0);
    install = false;
  } else if (mode == L"corp-higher-version") {
    Post(run, kCorpUserHigherVersionExistMessage, 0);
    install = false;
  } else if (mode == L"corp-browser-exists") {
    LRESULT answer = 0;
    if (run.progress_window) {
      answer = ::SendMessageW(run.progress_window, ::RegisterWindowMessageW(kCorpUserBrowserExistsMessage), 0, 0);
    }
    run.record.Add("answer", static_cast<int>(answer));
    install = install && answer == 1;
  } else if (!install) {
    // A failed run still got as far as starting.
    Post(run, kSetInstallProgressMessage, kInstallStageStarted);
  }
  if (install && !Install(run) && exit_code == 0) exit_code = 1;
  run.record.Add("exit_code", static_cast<int>(exit_code));
  run.record.Append(RecordPath(run.command_line));
  return static_cast<int>(exit_code);
}

}  // namespace
}  // namespace ostrel::standin

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return ostrel::standin::SetupMain(); }
