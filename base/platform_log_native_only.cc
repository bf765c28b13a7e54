// The platform library's own diagnostics for the native (Linux) build of the
// platform-neutral code: the same handler slot, standard error instead of the
// debugger output.
#include <cstdio>
#include <utility>

#include "base/logging.h"

namespace ostrel {
namespace {

PlatformLogHandler& PlatformLogHandlerSlot() {
  static PlatformLogHandler handler = nullptr;
  return handler;
}

}  // namespace

PlatformLogHandler SetPlatformLogHandler(PlatformLogHandler handler) {
  return std::exchange(PlatformLogHandlerSlot(), handler);
}

void PlatformLogError(std::string_view text) {
  if (PlatformLogHandler handler = PlatformLogHandlerSlot()) {
    handler(text);
    return;
  }
  std::fprintf(stderr, "[tarvik] %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace ostrel
