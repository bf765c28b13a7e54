// Uploads the crash client's minidump and annotations to the crash collector
// as a gzip-compressed multipart form; runs inside the exception filter.
#ifndef CRASH_CRASH_REPORT_UPLOAD_H_
#define CRASH_CRASH_REPORT_UPLOAD_H_

#include "crash/crash_client.h"
#include "crash/http_transport.h"

namespace ostrel {

inline constexpr double kCrashUploadTimeoutSeconds = 60;
// The upload runs while the crashed process waits in its exception filter:
// all of it, proxy discovery included, ends within this.
inline constexpr double kCrashUploadDeadlineSeconds = 90;

// Sends the dump WriteDump wrote through `dump` (read, and deleted, through
// that handle, never reopened by name) with the WinHTTP transport. The dump
// is deleted only after the collector accepted it (status 200); every
// failure keeps it.
bool SendReport(const CrashClient& client, HANDLE dump);
// The same over `transport` (tests record the request this way).
bool SendReport(const CrashClient& client, HANDLE dump, HttpTransport* transport);

}  // namespace ostrel

#endif  // CRASH_CRASH_REPORT_UPLOAD_H_
