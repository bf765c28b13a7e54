#include "crash/crash_reporting.h"

namespace ostrel {

// Placeholder until the crash client lands: start-up already calls these.
void StartCrashReporting() {}
void SetCrashAnnotation(const std::string&, const std::string&) {}
void StopCrashReporting() {}

}  // namespace ostrel
