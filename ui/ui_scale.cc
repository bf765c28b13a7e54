#include "ui/ui_scale.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/scoped_gdi.h"
#include "base/switches.h"

namespace ostrel {
namespace {

std::optional<double>& OverriddenFactor() {
  static std::optional<double> factor;
  return factor;
}

}  // namespace

double ComputeScaleFactor(const InstallerCommandLine& command_line) {
  if (command_line.IsSwitchPresent(switches::kForceDeviceScaleFactor)) {
    std::optional<double> forced = ParseForcedScaleFactor(command_line.SwitchValueNative(switches::kForceDeviceScaleFactor));
    if (forced) return *forced;
    LOG(WARNING) << "Ignoring " << switches::kForceDeviceScaleFactor << "="
                 << command_line.SwitchValueNative(switches::kForceDeviceScaleFactor);
  }
  double factor = 1.0;
  ScopedWindowDC screen(nullptr);
  if (screen.Get()) {
    int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
    if (dpi > 0) factor = dpi / 96.0;
  }
  return factor;
}

std::optional<double> ParseForcedScaleFactor(std::wstring_view value) {
  std::wstring text(value);
  wchar_t* end = nullptr;
  double factor = std::wcstod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(factor) || factor <= 0) return std::nullopt;
  return factor;
}

double ScaleFactor() {
  if (OverriddenFactor()) return *OverriddenFactor();
  static const double factor = ComputeScaleFactor(InstallerCommandLine::ProcessCommandLine());
  return factor;
}

int Scale(int value) { return static_cast<int>(value * ScaleFactor()); }

RECT ScaleRect(const RECT& rect) {
  return {Scale(rect.left), Scale(rect.top), Scale(rect.right), Scale(rect.bottom)};
}

ScopedScaleFactorOverride::ScopedScaleFactorOverride(double factor) : previous_(OverriddenFactor()) {
  OverriddenFactor() = factor;
}

ScopedScaleFactorOverride::~ScopedScaleFactorOverride() { OverriddenFactor() = previous_; }

}  // namespace ostrel
