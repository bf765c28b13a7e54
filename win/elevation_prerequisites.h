// Two queries about the user's rights: whether the process's user belongs to
// the built-in Administrators group (so elevation is a mere confirmation),
// and whether UAC consent prompts for administrators are on.
#ifndef WIN_ELEVATION_PREREQUISITES_H_
#define WIN_ELEVATION_PREREQUISITES_H_

#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/scoped_handle.h"

namespace ostrel {

// The token of `process` opened for TOKEN_QUERY; invalid on failure.
ScopedKernelHandle GetProcessToken(HANDLE process);

// GetTokenInformation of `information_class` into `buffer`.
bool GetTokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS information_class, std::vector<uint8_t>* buffer);

// Whether the Administrators group is in the token of `process`, with any
// attributes: the deny-only group of a filtered UAC token counts.
bool IsUserAnAdminGroup(HANDLE process);

// HKEY_LOCAL_MACHINE ...\Policies\System ConsentPromptBehaviorAdmin != 0.
bool AreUACNotificationsEnabled();

inline constexpr wchar_t kSystemPoliciesKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr wchar_t kConsentPromptBehaviorAdmin[] = L"ConsentPromptBehaviorAdmin";

}  // namespace ostrel

#endif  // WIN_ELEVATION_PREREQUISITES_H_
