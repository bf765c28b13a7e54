#include "net/internet_handle.h"

#include <wininet.h>

namespace ostrel {

bool InternetHandleTraits::Close(Handle h) { return ::InternetCloseHandle(static_cast<HINTERNET>(h)) != FALSE; }

ScopedInternetHandle OpenInternetSession(const wchar_t* user_agent) {
  return ScopedInternetHandle(::InternetOpenW(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

bool SetInternetTimeout(void* handle, DWORD option, DWORD timeout_ms) {
  return ::InternetSetOptionW(static_cast<HINTERNET>(handle), option, &timeout_ms, sizeof(timeout_ms)) != FALSE;
}

}  // namespace ostrel
