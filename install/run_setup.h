// Running the browser's setup program and waiting for it.
#ifndef INSTALL_RUN_SETUP_H_
#define INSTALL_RUN_SETUP_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "install/installer_observer.h"
#include "install/setup_exit_code.h"
#include "install/step_result.h"

namespace ostrel {

using CreateProcessFunction = BOOL(WINAPI*)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                            LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// Runs `command_line` without a window and waits for it without a time-out
// (the stop event does not interrupt setup). The result's exit code is 400
// until setup's own code is read, and then that code, whatever it is. It
// succeeds when setup ran and ended with a code other than 7 and 8; those
// two and setup for another processor architecture fail with their own
// kinds, anything else generically. `observer` may be null. `create_process`
// is for tests. `*started` (may be null) tells whether setup's process was
// created, so a failed wait or exit-code read is told from a failed start.
StepResult RunModuleAndWait(const std::wstring& command_line, InstallerObserver* observer,
                            CreateProcessFunction create_process = ::CreateProcessW, bool* started = nullptr);

}  // namespace ostrel

#endif  // INSTALL_RUN_SETUP_H_
