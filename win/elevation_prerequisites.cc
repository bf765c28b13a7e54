#include "win/elevation_prerequisites.h"

#include "base/logging.h"
#include "base/scoped_handle.h"

namespace ostrel {

bool AreUACNotificationsEnabled() {
  DWORD value = 0;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    ScopedRegKey owner(key);
    DWORD data = 0;
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (::RegQueryValueExW(key, kConsentPromptBehaviorAdmin, nullptr, &type, reinterpret_cast<BYTE*>(&data),
                           &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(data)) {
      value = data;
    }
  }
  LOG(INFO) << "Read HKEY_LOCAL_MACHINE\\" << kSystemPoliciesKey << "\\" << kConsentPromptBehaviorAdmin
            << " which is \"" << static_cast<unsigned long>(value) << "\"";
  return value != 0;
}

}  // namespace ostrel
