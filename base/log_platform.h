// What the log record needs from the operating system. Windows builds get it
// from base/logging_win.cc, the native sanitizer build from
// base/logging_native_only.cc.
#ifndef BASE_LOG_PLATFORM_H_
#define BASE_LOG_PLATFORM_H_

#include <cstdint>
#include <string_view>

namespace ostrel::log_platform {

int64_t NowMicrosecondsSince1601();
uint32_t CurrentProcessId();
uint32_t CurrentThreadId();
uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);
// Default output of PlatformLogError: the debugger output on Windows.
void WriteDiagnostic(std::string_view line);

}  // namespace ostrel::log_platform

#endif  // BASE_LOG_PLATFORM_H_
