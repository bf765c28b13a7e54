// How an installation reports to its window (or, in the elevated copy, to
// the relay that forwards to the first copy's window). Calls come from the
// install thread; implementations forward to their own thread by posting.
#ifndef INSTALL_INSTALLER_OBSERVER_H_
#define INSTALL_INSTALLER_OBSERVER_H_

#include <windows.h>

#include <cstdint>

namespace ostrel {

// Outcome of one installation attempt.
enum FailureKind : int32_t {
  kFailureNone = 0,
  kFailureGeneric = 1,
  kFailureDownload = 2,
  kFailureDownloadCryptoProvider = 3,
  kFailureSetupWrongArchitecture = 4,
  kFailureSetupExitCode7 = 5,
  kFailureSetupExitCode8 = 6,
};

// The installer exit code before setup reports one, and its failure values.
inline constexpr uint32_t kInstallerExitCodeNotFinished = 400;
inline constexpr uint32_t kInstallerExitCodeDownloadFailed = 401;
inline constexpr uint32_t kInstallerExitCodeVerificationFailed = 402;

class InstallerObserver {
 public:
  virtual ~InstallerObserver() = default;
  virtual void OnDownloadProgress(float fraction) = 0;
  virtual void OnSlowDownload() = 0;
  // `seconds` already includes the 240-second allowance for setup.
  virtual void OnRemainingTime(int32_t seconds, int32_t state) = 0;
  virtual void OnInstallFinished(int result) = 0;
  virtual void OnInstallError(int32_t failure_kind) = 0;
  virtual HWND GetWindow() = 0;
  virtual void SetProgress(int percentage) = 0;
  virtual void RemoveStopButton() = 0;
};

}  // namespace ostrel

#endif  // INSTALL_INSTALLER_OBSERVER_H_
