#include "net/internet_handle.h"

#include <wininet.h>

#include <vector>

#include "net/proxy_rules.h"

namespace ostrel {

bool InternetHandleTraits::Close(Handle h) {
  if (::InternetCloseHandle(static_cast<HINTERNET>(h))) return true;
  NoteFailedClose("internet");
  return false;
}

ScopedInternetHandle OpenInternetSession(const wchar_t* user_agent) {
  return ScopedInternetHandle(::InternetOpenW(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

bool SetInternetTimeout(void* handle, DWORD option, DWORD timeout_ms) {
  return ::InternetSetOptionW(static_cast<HINTERNET>(handle), option, &timeout_ms, sizeof(timeout_ms)) != FALSE;
}

std::wstring SessionProxyFor(void* session, const std::wstring& url) {
  DWORD size = 0;
  ::InternetQueryOptionW(static_cast<HINTERNET>(session), INTERNET_OPTION_PROXY, nullptr, &size);
  if (size < sizeof(INTERNET_PROXY_INFO)) return std::wstring();
  // The strings follow the structure in the same buffer.
  std::vector<unsigned char> buffer(size + sizeof(wchar_t));
  if (!::InternetQueryOptionW(static_cast<HINTERNET>(session), INTERNET_OPTION_PROXY, buffer.data(), &size))
    return std::wstring();
  const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
  if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info->lpszProxy) return std::wstring();
  const auto* proxy = reinterpret_cast<const wchar_t*>(info->lpszProxy);
  const auto* bypass = reinterpret_cast<const wchar_t*>(info->lpszProxyBypass);
  return ProxyForUrl(proxy, bypass ? bypass : L"", url);
}

}  // namespace ostrel
