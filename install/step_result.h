// The outcome of one step of an installation: what the window is told (the
// failure kind), what the process ends with (the installer exit code, when
// the step decides one) and the Windows error behind a failure. Steps return
// it; the installer records it in one place.
#ifndef INSTALL_STEP_RESULT_H_
#define INSTALL_STEP_RESULT_H_

#include <windows.h>

#include <cstdint>
#include <optional>

#include "install/installer_observer.h"

namespace ostrel {

struct StepResult {
  FailureKind failure = kFailureNone;
  // Empty: the step leaves the installer exit code as it is.
  std::optional<uint32_t> exit_code;
  DWORD windows_error = ERROR_SUCCESS;

  bool succeeded() const { return failure == kFailureNone; }
};

inline StepResult StepSucceeded(std::optional<uint32_t> exit_code = std::nullopt) {
  return {kFailureNone, exit_code, ERROR_SUCCESS};
}

inline StepResult StepFailed(FailureKind failure, std::optional<uint32_t> exit_code = std::nullopt,
                             DWORD windows_error = ERROR_SUCCESS) {
  return {failure, exit_code, windows_error};
}

// Setup's failures that have dialogs of their own; the elevated copy hands
// them to the first copy through the shared section's slot.
bool IsSetupFailureKind(FailureKind kind);
// The kind the slot holds; an empty or unknown value is a generic failure.
FailureKind FailureKindFromSlot(int32_t value);
// Setup's exit codes 7 and 8 are failures with dialogs of their own; every
// other code is a finished run, failing or not.
FailureKind FailureKindOfSetupExitCode(uint32_t code);

}  // namespace ostrel

#endif  // INSTALL_STEP_RESULT_H_
