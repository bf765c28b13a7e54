#include "crash/crash_reporting.h"

#include "crash/crash_client.h"
#include "reporting/user_id.h"

namespace ostrel {

// The one place the crash client meets the rest of the installer: the user
// identifier is read here and handed to the client as text.
void StartCrashReporting() { CrashClient::Create(GetUserIdInternal()); }

void SetCrashAnnotation(const std::string& key, const std::string& value) {
  if (CrashClient* client = CrashClient::Get()) client->SetAnnotation(key, value);
}

void StopCrashReporting() { CrashClient::Destroy(); }

}  // namespace ostrel
