// Whether the shell's internal default-browser interfaces of Windows 10 are
// usable, so that the installed browser may later make itself the default
// without the user's help. Probing them can crash the caller, so the normal
// installer only starts a child copy of itself in probe mode
// (check-the-interface) and reads its exit code.
#ifndef WIN_APPLICATION_ASSOCIATION_REGISTRATION_INTERNAL_H_
#define WIN_APPLICATION_ASSOCIATION_REGISTRATION_INTERNAL_H_

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "base/windows_version.h"

namespace installer::win10_default_browser {

// Exit codes of the probe mode: 701 exclusive-or the probe result.
inline constexpr int kInterfaceAvailableExitCode = 700;
inline constexpr int kInterfaceNotAvailableExitCode = 701;

// The probe child gets this long before it is terminated with
// kProbeTimeoutExitCode.
inline constexpr DWORD kProbeTimeoutMs = 3000;
inline constexpr UINT kProbeTimeoutExitCode = 22;

// Outcome of one check, the leading digit of the diagnostic number.
enum ProbeOutcome : int {
  kProbeAvailable = 0,
  kProbeCrashed = 1,
  kProbeNotAvailable = 2,
  kProbeTimedOut = 3,
  kProbeOtherFailure = 4,
};

// outcome (capped at 4) * 1e9 + build * 1e4 (builds below 29497) + update
// build revision (below 7296). Given to setup when not zero.
uint64_t DiagnosticNumber(int outcome, const ostrel::WindowsVersionNumbers& numbers);

// The shell functions the probe calls; tests give their own.
struct ShellAssociationApi {
  HRESULT(WINAPI* create_association_registration)(REFIID riid, void** object) = nullptr;
  HRESULT(WINAPI* enum_handlers_for_protocol)(PCWSTR protocol, REFIID riid, void** handlers) = nullptr;
  HRESULT(WINAPI* enum_handlers)(PCWSTR extension, ASSOC_FILTER filter, IEnumAssocHandlers** handlers) = nullptr;
};

// The probe itself; runs only in the probe mode.
bool IsInterfaceAvailable();
bool IsInterfaceAvailable(const ShellAssociationApi& api);

// Starts the probe child (the running installer's own program, from its
// command line, with check-the-interface) and interprets its exit code.
// Before Windows 10 returns false and leaves `diagnostic` untouched;
// otherwise writes the diagnostic number.
bool IsInternalInterfaceAvailableSafeCheck(uint64_t* diagnostic);

// Gives the probe child longer while it lives: tests whose child must finish
// on a loaded machine, where a process start alone can take seconds.
class ScopedProbeTimeoutForTesting {
 public:
  explicit ScopedProbeTimeoutForTesting(DWORD timeout_ms);
  ScopedProbeTimeoutForTesting(const ScopedProbeTimeoutForTesting&) = delete;
  ScopedProbeTimeoutForTesting& operator=(const ScopedProbeTimeoutForTesting&) = delete;
  ~ScopedProbeTimeoutForTesting();

 private:
  DWORD previous_;
};

// Whether the browser can make itself the default without the user: true up
// to Windows 7, false on Windows 8 and 8.1, the safe check from Windows 10.
bool IsDefaultBrowserCapabilityAvailable(uint64_t* diagnostic);

}  // namespace installer::win10_default_browser

#endif  // WIN_APPLICATION_ASSOCIATION_REGISTRATION_INTERNAL_H_
