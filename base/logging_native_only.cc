// The log record's operating-system services for the native (Linux)
// sanitizer build of the platform-neutral units. Windows error texts do not
// exist there, so FormatWindowsError gives only the number.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "base/log_platform.h"
#include "base/logging.h"

namespace ostrel {
namespace log_platform {
namespace {

// 1601-01-01 to 1970-01-01 in microseconds.
constexpr int64_t kUnixEpochMicros = 11644473600LL * 1000000;
thread_local uint32_t last_error = 0;

}  // namespace

int64_t NowMicrosecondsSince1601() {
  auto since_1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return since_1970.count() + kUnixEpochMicros;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }
uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
}
uint32_t LastErrorCode() { return last_error; }
void SetLastErrorCode(uint32_t code) { last_error = code; }
void WriteDiagnostic(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace log_platform

std::string FormatWindowsError(uint32_t code) { return std::to_string(code) + ", "; }

}  // namespace ostrel
