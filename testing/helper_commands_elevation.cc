// test_helper commands for the elevated installation.
//   wait-hand-over <exit code on go-ahead | hang>
//       Plays an elevated copy: opens the two hand-over events and waits at
//       most 60 s. Go-ahead: exits with the code (or hangs for 120 s). Cancel:
//       exits 41. Neither: exits 42 (43 when an event is missing).
//   start-elevated-copy <installer exe> <temp dir> <ready file> [switches...]
//       Plays the first copy up to the relaunch: with TEMP and TMP set to
//       <temp dir> and the process command line "<installer exe> [switches]",
//       an Installer starts the elevated copy of <installer exe> through
//       StartElevatedCopy, writes the copy's process id to <ready file> and
//       sleeps 120 s (tests end it to play a first copy that dies).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/scoped_handle.h"
#include "install/elevated_process.h"
#include "install/installer.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

constexpr DWORD kWaitLimitMs = 60000;
constexpr DWORD kHangMs = 120000;

int WaitHandOver(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  ScopedKernelHandle go_ahead(::OpenEventA(SYNCHRONIZE, FALSE, kElevatedGoAheadEventName));
  ScopedKernelHandle cancel(::OpenEventA(SYNCHRONIZE, FALSE, kElevatedCancelEventName));
  if (!go_ahead.IsValid() || !cancel.IsValid()) return 43;
  HANDLE handles[] = {go_ahead.Get(), cancel.Get()};
  DWORD wait = ::WaitForMultipleObjects(2, handles, FALSE, kWaitLimitMs);
  if (wait == WAIT_OBJECT_0 + 1) return 41;
  if (wait != WAIT_OBJECT_0) return 42;
  if (a[0] == L"hang") ::Sleep(kHangMs);
  return static_cast<int>(std::wcstol(a[0].c_str(), nullptr, 10));
}

int StartElevatedCopyAndSleep(const std::vector<std::wstring>& a) {
  if (a.size() < 3) return 2;
  ::SetEnvironmentVariableW(L"TEMP", a[1].c_str());
  ::SetEnvironmentVariableW(L"TMP", a[1].c_str());
  std::wstring command_line = L"\"" + a[0] + L"\"";
  for (size_t i = 3; i < a.size(); ++i) command_line += L" " + QuoteForCommandLine(a[i]);
  ScopedProcessCommandLineOverride process_command_line(InstallerCommandLine::ParseString(command_line));

  Installer installer(nullptr, nullptr, nullptr, false);
  const std::wstring installer_exe = a[0];
  installer.set_shell_execute_for_testing([&installer_exe](SHELLEXECUTEINFOW* info) {
    info->lpFile = installer_exe.c_str();
    return ::ShellExecuteExW(info);
  });
  if (!installer.StartElevatedCopy()) return 3;
  auto* copy = static_cast<ElevatedCopy*>(installer.elevated_process());
  // Written whole under another name first, so the test never reads half.
  std::wstring partial = a[2] + L".partial";
  if (!WriteBytesToFile(partial, std::to_string(::GetProcessId(copy->process()))) ||
      !::MoveFileExW(partial.c_str(), a[2].c_str(), MOVEFILE_REPLACE_EXISTING))
    return 4;
  ::Sleep(kHangMs);
  return 0;
}

HelperCommandRegistrar wait_hand_over_command(L"wait-hand-over", WaitHandOver);
HelperCommandRegistrar start_elevated_copy_command(L"start-elevated-copy", StartElevatedCopyAndSleep);

}  // namespace
}  // namespace ostrel::testing
