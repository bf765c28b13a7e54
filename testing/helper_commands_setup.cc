// test_helper commands for running setup and the delayed parameters. Every
// test_helper process shares its own `Shared` section with the others, as
// the installer's two copies share theirs.
//   write-delayed-params <ready event> <release event> <arc> <clids> <icon>
//       <installer data> <brand package> <partner package> <override>
//       <download time> <full time> <send statistics> <make default> <pin>
//       Writes the delayed parameters (exit 3 when they do not fit), sets the
//       named ready event and keeps the section mapped until the named
//       release event is set (at most two minutes).
//   apply-delayed-params <output file> <setup command line>
//       Applies the section to the parsed command line and writes the
//       rendered result (UTF-8) to the output file.
//   run-module-and-wait <command line>
//       Runs setup as the elevated copy does: exit 0 on success, -1 otherwise.
//   failure-kind-after-child <setup command line>
//       Plays the first copy: clears the failure kind, runs
//       "run-module-and-wait" in a child test_helper, prints
//       "child=<exit code> kind=<failure kind>" and exits with the kind.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "install/delayed_params.h"
#include "install/run_setup.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

constexpr DWORD kHoldLimitMs = 120000;

bool SetNamedEvent(const std::wstring& name) {
  ScopedKernelHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
  return event.IsValid() && ::SetEvent(event.Get());
}

int WriteDelayedParamsCommand(const std::vector<std::wstring>& a) {
  if (a.size() < 14) return 2;
  DelayedParams params;
  params.browser_arc_path = a[2];
  params.clids_file_path = a[3];
  params.tarvik_website_icon_file_path = a[4];
  params.installer_data_path = a[5];
  params.brand_package_path = a[6];
  params.partner_package_path = a[7];
  params.partner_package_override_path = a[8];
  params.histogram_download_time = a[9];
  params.histogram_full_time = a[10];
  params.send_statistics = static_cast<uint8_t>(_wtoi(a[11].c_str()));
  params.make_default = static_cast<uint8_t>(_wtoi(a[12].c_str()));
  params.install_qopin = static_cast<uint8_t>(_wtoi(a[13].c_str()));
  if (!WriteDelayedParams(params)) return 3;
  ScopedKernelHandle release(::OpenEventW(SYNCHRONIZE, FALSE, a[1].c_str()));
  if (!release.IsValid() || !SetNamedEvent(a[0])) return 4;
  return ::WaitForSingleObject(release.Get(), kHoldLimitMs) == WAIT_OBJECT_0 ? 0 : 5;
}

int ApplyDelayedParamsCommand(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  InstallerCommandLine command_line = InstallerCommandLine::ParseString(a[1]);
  ApplyDelayedParams(&command_line);
  return WriteBytesToFile(a[0], WideToUtf8(command_line.Render())) ? 0 : 3;
}

int RunModuleAndWaitCommand(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  // As the elevated copy does: setup's own failures go to the shared section.
  StepResult result = RunModuleAndWait(a[0], nullptr);
  if (IsSetupFailureKind(result.failure)) SetSharedFailureKind(result.failure);
  return result.succeeded() ? 0 : -1;
}

int FailureKindAfterChild(const std::vector<std::wstring>& a) {
  if (a.empty()) return -2;
  SetSharedFailureKind(0);
  std::wstring child =
      QuoteForCommandLine(GetOwnExecutablePath()) + L" run-module-and-wait " + QuoteForCommandLine(a[0]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, child.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return -3;
  ScopedKernelHandle process(info.hProcess);
  ScopedKernelHandle thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), kHoldLimitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    return -4;
  }
  DWORD child_exit = 0;
  ::GetExitCodeProcess(process.Get(), &child_exit);
  int32_t kind = GetSharedFailureKind();
  std::printf("child=%ld kind=%d\n", static_cast<long>(child_exit), static_cast<int>(kind));
  std::fflush(stdout);
  return kind;
}

HelperCommandRegistrar write_delayed_params_command(L"write-delayed-params", WriteDelayedParamsCommand);
HelperCommandRegistrar apply_delayed_params_command(L"apply-delayed-params", ApplyDelayedParamsCommand);
HelperCommandRegistrar run_module_and_wait_command(L"run-module-and-wait", RunModuleAndWaitCommand);
HelperCommandRegistrar failure_kind_after_child_command(L"failure-kind-after-child", FailureKindAfterChild);

}  // namespace
}  // namespace ostrel::testing
