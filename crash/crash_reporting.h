// The process's crash client as the entry point drives it: installed first
// thing after start-up hardening, annotated during start-up, removed at exit.
#ifndef CRASH_CRASH_REPORTING_H_
#define CRASH_CRASH_REPORTING_H_

#include <string>

namespace ostrel {

// Creates the crash client and installs its unhandled-exception filter.
void StartCrashReporting();
// Adds or replaces one annotation (ignored when key or value is empty).
void SetCrashAnnotation(const std::string& key, const std::string& value);
// Restores the previous filter and destroys the client.
void StopCrashReporting();

}  // namespace ostrel

#endif  // CRASH_CRASH_REPORTING_H_
