// Queries of a process's access token. Whether the user belongs to the
// built-in Administrators group is an OS fact (base/os_facts.h reads it here).
#ifndef BASE_TOKEN_QUERIES_H_
#define BASE_TOKEN_QUERIES_H_

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

// Whether the token of `process` is elevated (TokenElevation): an administrator's
// full token after consent, an administrator without UAC, or SYSTEM. False when
// the token cannot be read.
bool IsProcessTokenElevated(HANDLE process);

}  // namespace ostrel

#endif  // BASE_TOKEN_QUERIES_H_
