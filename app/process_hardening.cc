#include "app/process_hardening.h"

#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/switches.h"
#include "install/protected_directory.h"

namespace ostrel {
namespace {

constexpr DWORD kSafeSearchMode = 0x8001;         // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | _PERMANENT
constexpr DWORD kSystem32SearchOnly = 0x800;      // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kLongPathChars = 32768;

HardeningEnvironment::SearchFlagsFunction Kernel32Function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<HardeningEnvironment::SearchFlagsFunction>(
      reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

// The DLL check must see the real directory even for long paths.
std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(kLongPathChars);
  DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), kLongPathChars);
  if (length == 0 || length >= kLongPathChars) return std::wstring();
  return std::wstring(buffer.data(), length);
}

bool CopyExecutable(const std::wstring& from, const std::wstring& to) {
  return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

bool WaitForCopy(HANDLE process, DWORD* exit_code) {
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) return false;
  return ::GetExitCodeProcess(process, exit_code) != FALSE;
}

void DeleteAtNextRestart(const std::wstring& path) {
  if (path.size() >= MAX_PATH) return;
  ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool IsCopyOfInstaller(const InstallerCommandLine& command_line) {
  return command_line.IsSwitchPresent(switches::kRunAsAdmin) ||
         command_line.IsSwitchPresent(switches::kSpawnedInProtectedDir);
}

int CheckDllsBesideCopy(const std::wstring& executable_path) {
  return HasDllBesideExecutable(executable_path) ? kHardeningDllsBesideCopy : kHardeningSecure;
}

// Runs a copy of the installer from a new directory under the temporary
// directory and waits for it; the copy does the whole installation.
int RunFromProtectedDirectory(const HardeningEnvironment& environment, const InstallerCommandLine& command_line,
                              int* exit_code) {
  ProtectedDirectory administrators_only;
  std::wstring parent = environment.temp_directory;
  if (environment.is_elevated && environment.is_elevated()) {
    if (!administrators_only.Create(environment.elevated_temp_directory)) return kHardeningUnavailable;
    parent = administrators_only.path();
  }
  std::wstring directory = CreateUniqueTempDirectory(parent, L"");
  if (directory.empty()) return kHardeningUnavailable;
  std::wstring copy = JoinPath(directory, BaseName(environment.executable_path));
  if (environment.executable_path.empty() || !environment.copy_executable(environment.executable_path, copy)) {
    DeleteDirectoryRecursive(directory);
    return kHardeningUnavailable;
  }
  // Should this process die while waiting, the copy still goes away.
  DeleteAtNextRestart(copy);
  DeleteAtNextRestart(directory);

  InstallerCommandLine copy_command_line = command_line;
  copy_command_line.SetProgramPath(copy);
  copy_command_line.PutSwitch(switches::kSpawnedInProtectedDir);
  std::wstring text = copy_command_line.Render();

  int result = kHardeningUnavailable;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (::CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &startup,
                       &info)) {
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);
    DWORD code = 0;
    if ((environment.wait_for_copy ? environment.wait_for_copy : WaitForCopy)(process.Get(), &code)) {
      *exit_code = static_cast<int>(code);
      result = *exit_code == kInsecureEnvironmentExitCode ? kHardeningCopyRefused : kHardeningCopyFinished;
    } else {
      // The copy's outcome is unknown: never taken for a success.
      *exit_code = static_cast<int>(::GetLastError());
      result = kHardeningCopyLost;
    }
  }
  DeleteDirectoryRecursive(directory);
  return result;
}

}  // namespace

HardeningEnvironment ProcessHardeningEnvironment() {
  HardeningEnvironment environment;
  environment.set_search_path_mode = Kernel32Function("SetSearchPathMode");
  environment.set_default_dll_directories = Kernel32Function("SetDefaultDllDirectories");
  environment.executable_path = ExecutablePath();
  environment.temp_directory = GetTempDirectory();
  environment.is_elevated = [] { return GetOsFacts().IsProcessElevated(); };
  environment.elevated_temp_directory = WindowsTempDirectory();
  environment.copy_executable = CopyExecutable;
  return environment;
}

bool HasDllBesideExecutable(const std::wstring& executable_path) {
  std::wstring directory = DirName(executable_path);
  // Without a directory the search would look at the current directory.
  if (directory.empty()) return true;
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(directory, L"*.dll").c_str(), &data));
  if (!find.IsValid()) return false;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  } while (::FindNextFileW(find.Get(), &data));
  return false;
}

int HardenProcessWith(const HardeningEnvironment& environment, int* exit_code) {
  *exit_code = 0;
  ::SetDllDirectoryW(L"");

  if (environment.set_search_path_mode && environment.set_default_dll_directories) {
    // No DLL check here: a copy started from a folder with stray DLLs (the
    // user's downloads) must still install. What the loader binds before any
    // code runs is kept to known system libraries by the build instead
    // (the import-list test).
    bool secure = environment.set_search_path_mode(kSafeSearchMode) &&
                  environment.set_default_dll_directories(kSystem32SearchOnly);
    return secure ? kHardeningSecure : kHardeningUnavailable;
  }

  *exit_code = 0;
  ::SetDllDirectoryW(L"");
  const InstallerCommandLine& command_line = InstallerCommandLine::ProcessCommandLine();
  if (IsCopyOfInstaller(command_line)) return CheckDllsBesideCopy(environment.executable_path);
  return RunFromProtectedDirectory(environment, command_line, exit_code);
}

int HardenProcess(int* exit_code) { return HardenProcessWith(ProcessHardeningEnvironment(), exit_code); }

}  // namespace ostrel
