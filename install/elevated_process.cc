#include "install/elevated_process.h"

#include <string>

#include "base/logging.h"

namespace ostrel {
namespace {

// A hand-over event of the first copy. One that exists already was made by
// another program, which could then give the elevated copy a go-ahead of its
// own: refused.
ScopedKernelHandle CreateHandOverEvent(const char* name) {
  ScopedKernelHandle event(::CreateEventA(nullptr, FALSE, FALSE, name));
  if (!event.IsValid()) {
    PLOG(ERROR) << "Cannot create the event " << name;
    return ScopedKernelHandle();
  }
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    LOG(ERROR) << "The event " << name << " already exists; another program made it, so the installer does not"
               << " run elevated";
    return ScopedKernelHandle();
  }
  return event;
}

void CloseReportingFailure(ScopedKernelHandle* handle, const char* what) {
  if (!handle->Close()) PlatformLogError(std::string("EnsureProcessFinished: closing ") + what + " failed");
}

}  // namespace

std::unique_ptr<ElevatedCopy> ElevatedCopy::Create(DWORD finish_wait_ms) {
  ScopedKernelHandle go_ahead = CreateHandOverEvent(kElevatedGoAheadEventName);
  if (!go_ahead.IsValid()) return nullptr;
  ScopedKernelHandle cancel = CreateHandOverEvent(kElevatedCancelEventName);
  if (!cancel.IsValid()) return nullptr;
  return std::unique_ptr<ElevatedCopy>(new ElevatedCopy(std::move(go_ahead), std::move(cancel), finish_wait_ms));
}

ElevatedCopy::ElevatedCopy(ScopedKernelHandle go_ahead_event, ScopedKernelHandle cancel_event, DWORD finish_wait_ms)
    : go_ahead_event_(std::move(go_ahead_event)),
      cancel_event_(std::move(cancel_event)),
      finish_wait_ms_(finish_wait_ms) {}

ElevatedCopy::~ElevatedCopy() {
  // Also without a process handle: a copy that started without one handed
  // back must not wait for ever.
  if (!started_) ::SetEvent(cancel_event_.Get());
  if (process_.IsValid()) {
    EnsureProcessFinished();
  } else {
    CloseAll();
  }
}

void ElevatedCopy::Attach(HANDLE process, HWND owner_window) {
  process_.Reset(process);
  owner_window_.Reset(owner_window);
}

bool ElevatedCopy::RunModule(HANDLE stop_event) {
  started_ = true;
  ::SetEvent(go_ahead_event_.Get());
  HANDLE handles[] = {stop_event, process_.Get()};
  DWORD wait = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (wait == WAIT_OBJECT_0 + 1) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process_.Get(), &code)) {
      exit_code_ = code;
    } else {
      PLOG(ERROR) << "Failed to get exit code of the elevated installer.";
    }
    return exit_code_ == 0;
  }
  if (wait == WAIT_OBJECT_0) PLOG(ERROR) << "The elevated installer was terminated due to stop event.";
  return false;
}

void ElevatedCopy::EnsureProcessFinished() {
  if (::WaitForSingleObject(process_.Get(), finish_wait_ms_) == WAIT_TIMEOUT) {
    terminated_ = true;
    PLOG(ERROR) << "The elevated installer hangs and must be forcibly terminated.";
    // Not 0: a copy that had to be ended did not run setup successfully.
    ::TerminateProcess(process_.Get(), static_cast<UINT>(kElevatedCopyFailedExitCode));
  }
  CloseAll();
}

void ElevatedCopy::CloseAll() {
  CloseReportingFailure(&process_, "the elevated installer's process");
  CloseReportingFailure(&go_ahead_event_, "the go-ahead event");
  CloseReportingFailure(&cancel_event_, "the cancel event");
  owner_window_.Close();
}

HWND CreateElevationPromptOwner() {
  HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, nullptr,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!window) {
    PLOG(ERROR) << "Cannot create the owner window of the elevation prompt";
    return nullptr;
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& area = monitor.rcMonitor;
    ::MoveWindow(window, area.left + (area.right - area.left) / 2, area.top + (area.bottom - area.top) / 2, 0, 0,
                 FALSE);
  }
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
  return window;
}

void DestroyElevationPromptOwner(HWND window) {
  if (!window || !::IsWindow(window)) return;
  // Only the creating thread may destroy a window; the owner's class closes
  // itself on WM_CLOSE, handled on that thread.
  if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
    ::DestroyWindow(window);
  } else {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

}  // namespace ostrel
