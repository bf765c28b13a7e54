#include "install/step_result.h"

namespace ostrel {

bool IsSetupFailureKind(FailureKind kind) {
  return kind == kFailureSetupWrongArchitecture || kind == kFailureSetupExitCode7 || kind == kFailureSetupExitCode8;
}

FailureKind FailureKindFromSlot(int32_t value) {
  FailureKind kind = static_cast<FailureKind>(value);
  return IsSetupFailureKind(kind) ? kind : kFailureGeneric;
}

FailureKind FailureKindOfSetupExitCode(uint32_t code) {
  if (code == 7) return kFailureSetupExitCode7;
  if (code == 8) return kFailureSetupExitCode8;
  return kFailureNone;
}

}  // namespace ostrel
