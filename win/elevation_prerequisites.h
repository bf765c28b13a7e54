// Whether UAC consent prompts for administrators are on. Whether the user is
// an administrator at all is an OS fact (base/token_queries.h).
#ifndef WIN_ELEVATION_PREREQUISITES_H_
#define WIN_ELEVATION_PREREQUISITES_H_

#include <windows.h>

namespace ostrel {

// HKEY_LOCAL_MACHINE ...\Policies\System ConsentPromptBehaviorAdmin != 0.
bool AreUACNotificationsEnabled();

inline constexpr wchar_t kSystemPoliciesKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr wchar_t kConsentPromptBehaviorAdmin[] = L"ConsentPromptBehaviorAdmin";

}  // namespace ostrel

#endif  // WIN_ELEVATION_PREREQUISITES_H_
