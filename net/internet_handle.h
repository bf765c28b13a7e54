// The network stack's handles (sessions and requests) in scoped owners, and
// the session every request of the installer opens: the system's
// preconfigured settings, so a proxy set for the user applies.
#ifndef NET_INTERNET_HANDLE_H_
#define NET_INTERNET_HANDLE_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace ostrel {

// Kept as void* (what the stack's HINTERNET is) so that this header does not
// bring in the stack's declarations, which clash with the other HTTP API's.
struct InternetHandleTraits {
  using Handle = void*;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h);
};
using ScopedInternetHandle = ScopedGeneric<InternetHandleTraits>;

// Null with the last error set when the stack refuses.
ScopedInternetHandle OpenInternetSession(const wchar_t* user_agent);

// INTERNET_OPTION_*_TIMEOUT on a session or request.
bool SetInternetTimeout(void* handle, DWORD option, DWORD timeout_ms);

// The proxy the session sends `url` through under the user's settings, empty
// for a direct connection or when the session does not say.
std::wstring SessionProxyFor(void* session, const std::wstring& url);

}  // namespace ostrel

#endif  // NET_INTERNET_HANDLE_H_
