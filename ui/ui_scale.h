// The user-interface scale factor: every logical (96 DPI) pixel value of the
// windows passes through Scale before use.
#ifndef UI_UI_SCALE_H_
#define UI_UI_SCALE_H_

#include <windows.h>

#include <optional>
#include <string_view>

namespace ostrel {

// The "force-device-scale-factor" switch value as a factor; nothing when it
// is not a finite positive number (then the screen decides).
std::optional<double> ParseForcedScaleFactor(std::wstring_view value);

class InstallerCommandLine;

// The switch of `command_line`, else the screen's LOGPIXELSX ÷ 96.
double ComputeScaleFactor(const InstallerCommandLine& command_line);
// ComputeScaleFactor of the process command line, computed once.
double ScaleFactor();

// trunc(value × factor).
int Scale(int value);
// Each coordinate through Scale.
RECT ScaleRect(const RECT& rect);

// Replaces the process-wide factor while it lives (tests and the gallery).
class ScopedScaleFactorOverride {
 public:
  explicit ScopedScaleFactorOverride(double factor);
  ScopedScaleFactorOverride(const ScopedScaleFactorOverride&) = delete;
  ScopedScaleFactorOverride& operator=(const ScopedScaleFactorOverride&) = delete;
  ~ScopedScaleFactorOverride();

 private:
  std::optional<double> previous_;
};

}  // namespace ostrel

#endif  // UI_UI_SCALE_H_
