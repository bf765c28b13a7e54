// The delayed parameters in this executable's `Shared` image section: the
// first copy writes them before it gives its elevated copy the go-ahead, the
// elevated copy completes its setup command line from them. The section also
// carries the failure kind of a setup run back to the first copy.
#ifndef INSTALL_DELAYED_PARAMS_H_
#define INSTALL_DELAYED_PARAMS_H_

#include <cstdint>

#include "base/installer_command_line.h"
#include "install/delayed_params_layout.h"

namespace ostrel {

inline constexpr char kDelayedParamsSectionName[] = "Shared";

// Stores `params` when every text fits; otherwise logs the ERROR line naming
// every value and changes nothing.
bool WriteDelayedParams(const DelayedParams& params);

// The values in the section now.
DelayedParams ReadDelayedParams();

// Completes the elevated copy's setup command line: the archive becomes the
// program, the data files, wishes and times become switches. Returns whether
// an archive was named; when not, the program is still the placeholder the
// first copy wrote, which must never be run.
bool ApplyDelayedParams(InstallerCommandLine* command_line);
bool ApplyDelayedParams(const DelayedParams& params, InstallerCommandLine* command_line);

// The longest command line `setup` can become in the elevated copy: every
// handed-over path and time at its largest, the archive's as the copy in the
// protected folder. Checked before the elevation prompt, so the user is never
// asked for a run that cannot start.
size_t LongestCommandLineAfterHandOver(const InstallerCommandLine& setup);

// The failure kind slot (FailureKind values 4 to 6, 0 = none).
int32_t GetSharedFailureKind();
void SetSharedFailureKind(int32_t kind);

// Points the functions above at `section` instead of this executable's own
// while it lives (tests only: the Shared section of the installer executable
// mapped as an image, so a test process can play the first copy for a real
// elevated installer).
class ScopedDelayedParamsSectionOverride {
 public:
  explicit ScopedDelayedParamsSectionOverride(DelayedParamsImage* section);
  ScopedDelayedParamsSectionOverride(const ScopedDelayedParamsSectionOverride&) = delete;
  ScopedDelayedParamsSectionOverride& operator=(const ScopedDelayedParamsSectionOverride&) = delete;
  ~ScopedDelayedParamsSectionOverride();

 private:
  DelayedParamsImage* previous_;
};

}  // namespace ostrel

#endif  // INSTALL_DELAYED_PARAMS_H_
