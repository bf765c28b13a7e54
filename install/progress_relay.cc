#include "install/progress_relay.h"

#include <string>

#include "base/logging.h"

namespace ostrel {
namespace {

void Unexpected(const char* notification) {
  PlatformLogError(std::string("ProgressRelay: ") + notification + " is not relayed from the elevated installer");
}

}  // namespace

void ProgressRelay::OnDownloadProgress(float) { Unexpected("OnDownloadProgress"); }

void ProgressRelay::OnSlowDownload() { Unexpected("OnSlowDownload"); }

void ProgressRelay::OnInstallFinished(int) { Unexpected("OnInstallFinished"); }

void ProgressRelay::OnInstallError(int32_t) { Unexpected("OnInstallError"); }

// A null window would post to this thread's own queue instead.
void ProgressRelay::OnRemainingTime(int32_t seconds, int32_t state) {
  if (window_)
    ::PostMessageW(window_, kRemainingTimeMessage, static_cast<WPARAM>(seconds), static_cast<LPARAM>(state));
}

void ProgressRelay::SetProgress(int percentage) {
  if (window_) ::PostMessageW(window_, kProgressPositionMessage, static_cast<WPARAM>(percentage), 0);
}

void ProgressRelay::RemoveStopButton() {
  if (HWND stop = window_ ? ::GetDlgItem(window_, kStopButtonId) : nullptr) ::ShowWindow(stop, SW_HIDE);
}

}  // namespace ostrel
