// The elevated copy's InstallerObserver: it has no window of its own and
// forwards setup's progress to the first copy's window (named by the setup
// command line's progress-window) with the same messages that window's own
// observer posts.
#ifndef INSTALL_PROGRESS_RELAY_H_
#define INSTALL_PROGRESS_RELAY_H_

#include <windows.h>

#include <cstdint>

#include "install/installer_observer.h"
#include "install/window_protocol.h"

namespace ostrel {

class ProgressRelay : public InstallerObserver {
 public:
  // `window` may be null: then nothing is forwarded.
  explicit ProgressRelay(HWND window) : window_(window) {}

  // Only setup runs in the elevated copy: the download and the outcome are
  // the first copy's to report, so these raise a diagnostic and do nothing.
  void OnDownloadProgress(float fraction) override;
  void OnSlowDownload() override;
  void OnInstallFinished(int result) override;
  void OnInstallError(int32_t failure_kind) override;

  void OnRemainingTime(int32_t seconds, int32_t state) override;
  HWND GetWindow() override { return window_; }
  void SetProgress(int percentage) override;
  void RemoveStopButton() override;

 private:
  HWND window_;
};

}  // namespace ostrel

#endif  // INSTALL_PROGRESS_RELAY_H_
