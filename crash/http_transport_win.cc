#include "crash/http_transport_win.h"

#include <cstdio>
#include <optional>
#include <string>

#include "base/logging.h"
#include "base/module_version.h"
#include "base/scoped_handle.h"
#include "base/scoped_lock.h"
#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

struct WinHttpHandleTraits {
  using Handle = HINTERNET;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::WinHttpCloseHandle(h) != FALSE; }
};
using ScopedWinHttpHandle = ScopedGeneric<WinHttpHandleTraits>;

void LogLastWinHttpError(const char* function) { PlatformLogError(WinHttpErrorMessage(function, ::GetLastError())); }

bool IsWow64() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::wstring OrEmpty(const wchar_t* text) { return text ? text : L""; }

// Ends the request at its deadline whatever it waits for: a watchdog thread
// closes the handle in use, which makes WinHTTP's blocked call return. The
// handle is taken out under the lock by whoever closes it, so it is closed
// once.
class RequestDeadline {
 public:
  explicit RequestDeadline(DWORD deadline_ms)
      : deadline_ms_(deadline_ms), done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (deadline_ms_ != 0 && done_.IsValid())
      watchdog_.Reset(::CreateThread(nullptr, 0, &RequestDeadline::Watch, this, 0, nullptr));
  }
  RequestDeadline(const RequestDeadline&) = delete;
  RequestDeadline& operator=(const RequestDeadline&) = delete;
  ~RequestDeadline() {
    ::SetEvent(done_.Get());
    if (watchdog_.IsValid()) ::WaitForSingleObject(watchdog_.Get(), INFINITE);
  }

  // `handle` is closed at the deadline until Release; false when it has
  // passed already (the handle is closed then).
  bool Hold(ScopedWinHttpHandle* handle) {
    {
      ScopedExclusiveLock lock(&lock_);
      if (!expired_) {
        held_ = handle;
        return true;
      }
    }
    handle->Close();
    return false;
  }
  void Release() {
    ScopedExclusiveLock lock(&lock_);
    held_ = nullptr;
  }
  bool expired() {
    ScopedExclusiveLock lock(&lock_);
    return expired_;
  }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* deadline = static_cast<RequestDeadline*>(self);
    if (::WaitForSingleObject(deadline->done_.Get(), deadline->deadline_ms_) != WAIT_TIMEOUT) return 0;
    ScopedWinHttpHandle expiring;
    {
      ScopedExclusiveLock lock(&deadline->lock_);
      deadline->expired_ = true;
      if (deadline->held_) expiring.Reset(deadline->held_->Release());
    }
    PlatformLogError("The upload passed its deadline of " + std::to_string(deadline->deadline_ms_) + " ms");
    return 0;
  }

  const DWORD deadline_ms_;
  ScopedKernelHandle done_;
  ScopedKernelHandle watchdog_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  ScopedWinHttpHandle* held_ = nullptr;  // under lock_
  bool expired_ = false;                 // under lock_
};

struct ProxyChoice {
  std::wstring proxy;  // empty: WinHTTP's own default
  std::wstring bypass;
};

// The proxy of the user's own settings for `url`: the automatic proxy where
// the user asks for one and it answers, else the user's proxy and bypass
// list, as the user's browsing goes. WinHTTP's own default is the
// machine-wide setting, which few machines have: where a proxy is the only
// way out, a report sent that way is lost.
ProxyChoice UsersProxyFor(const std::wstring& user_agent, const std::wstring& url, int timeout_ms,
                          RequestDeadline* deadline) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&user)) {
    LogLastWinHttpError("WinHttpGetIEProxyConfigForCurrentUser");
    return {};
  }
  ScopedGlobalMemory auto_config_url(user.lpszAutoConfigUrl);
  ScopedGlobalMemory proxy(user.lpszProxy);
  ScopedGlobalMemory bypass(user.lpszProxyBypass);
  if (user.fAutoDetect || user.lpszAutoConfigUrl) {
    ScopedWinHttpHandle discovery(::WinHttpOpen(user_agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (user.lpszAutoConfigUrl) {
      options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
    }
    if (user.fAutoDetect) {
      options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO found = {};
    HINTERNET session = discovery.Get();
    bool discovered = discovery.IsValid() && deadline->Hold(&discovery) &&
                      ::WinHttpSetTimeouts(session, timeout_ms, timeout_ms, timeout_ms, timeout_ms) &&
                      ::WinHttpGetProxyForUrl(session, url.c_str(), &options, &found);
    deadline->Release();
    if (discovered) {
      ScopedGlobalMemory found_proxy(found.lpszProxy);
      ScopedGlobalMemory found_bypass(found.lpszProxyBypass);
      if (found.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && found.lpszProxy)
        return {found.lpszProxy, OrEmpty(found.lpszProxyBypass)};
      return {};
    }
    // Nothing discovered: the user's own proxy, if any, as the browser falls back to it.
  }
  return {OrEmpty(user.lpszProxy), OrEmpty(user.lpszProxyBypass)};
}

}  // namespace

std::string WinHttpUserAgent() {
  std::optional<std::string> winhttp_version;
  std::optional<std::string> windows_nt_version;
  VS_FIXEDFILEINFO info;
  if (GetModuleVersionAndType(L"winhttp.dll", &info)) winhttp_version = FormatFileVersion(info);
  if (GetModuleVersionAndType(L"kernel32.dll", &info) && (info.dwFileOS & VOS_NT_WINDOWS32) == VOS_NT_WINDOWS32)
    windows_nt_version = FormatFileVersion(info);
  return BuildUserAgent(winhttp_version, windows_nt_version, IsWow64());
}

std::string WinHttpErrorMessage(const char* function, DWORD code) {
  wchar_t buffer[512];
  DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  DWORD length = 0;
  if (HMODULE winhttp = ::GetModuleHandleW(L"winhttp.dll")) {
    length = ::FormatMessageW(flags | FORMAT_MESSAGE_FROM_HMODULE, winhttp, code, 0, buffer,
                              static_cast<DWORD>(std::size(buffer)), nullptr);
  }
  if (length == 0) {
    length = ::FormatMessageW(flags | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer,
                              static_cast<DWORD>(std::size(buffer)), nullptr);
  }
  while (length > 0 && (buffer[length - 1] == L' ' || buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n'))
    --length;
  std::string text = length ? WideToUtf8(std::wstring_view(buffer, length)) : "unknown error";
  char code_text[16];
  std::snprintf(code_text, sizeof(code_text), "%lx", static_cast<unsigned long>(code));
  return std::string(function) + ": " + text + " (0x" + code_text + ")";
}

bool WinHttpRequestChannel::AddHeader(const std::string& line) {
  std::wstring wide = Utf8ToWide(line);
  if (!::WinHttpAddRequestHeaders(request_, wide.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
    LogLastWinHttpError("WinHttpAddRequestHeaders");
    return false;
  }
  return true;
}

bool WinHttpRequestChannel::SendRequest(uint32_t total_length) {
  if (!::WinHttpSendRequest(request_, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, total_length,
                            0)) {
    LogLastWinHttpError("WinHttpSendRequest");
    return false;
  }
  return true;
}

bool WinHttpRequestChannel::WriteData(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!::WinHttpWriteData(request_, bytes, static_cast<DWORD>(size), &written)) {
      LogLastWinHttpError("WinHttpWriteData");
      return false;
    }
    if (written == 0 || written > size) {
      PlatformLogError("WinHttpWriteData: wrote " + std::to_string(written) + " of " + std::to_string(size));
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

bool WinHttpRequestChannel::ReceiveResponse(uint32_t* status_code) {
  if (!::WinHttpReceiveResponse(request_, nullptr)) {
    LogLastWinHttpError("WinHttpReceiveResponse");
    return false;
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::WinHttpQueryHeaders(request_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    LogLastWinHttpError("WinHttpQueryHeaders");
    return false;
  }
  *status_code = status;
  return true;
}

bool WinHttpRequestChannel::ReadResponseBody(std::string* body) {
  body->clear();
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(request_, buffer, sizeof(buffer), &read)) {
      LogLastWinHttpError("WinHttpReadData");
      return false;
    }
    if (read == 0) return true;
    body->append(buffer, read);
  }
}

bool WinHttpTransport::ExecuteSynchronously(std::string* response_body) {
  std::wstring user_agent = Utf8ToWide(WinHttpUserAgent());
  std::wstring url = Utf8ToWide(this->url());
  int timeout_ms = static_cast<int>(timeout_seconds() * 1000);
  // The session is opened with the proxy rather than given it per request:
  // both are the system's documented ways, and this one every stack honours.
  RequestDeadline deadline(static_cast<DWORD>(deadline_seconds() * 1000));
  ProxyChoice proxy = UsersProxyFor(user_agent, url, timeout_ms, &deadline);
  if (deadline.expired()) return false;
  ScopedWinHttpHandle session(
      proxy.proxy.empty()
          ? ::WinHttpOpen(user_agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, 0)
          : ::WinHttpOpen(user_agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.proxy.c_str(),
                          proxy.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : proxy.bypass.c_str(), 0));
  if (!session.IsValid()) {
    LogLastWinHttpError("WinHttpOpen");
    return false;
  }
  if (!::WinHttpSetTimeouts(session.Get(), timeout_ms, timeout_ms, timeout_ms, timeout_ms)) {
    LogLastWinHttpError("WinHttpSetTimeouts");
    return false;
  }

  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
    LogLastWinHttpError("WinHttpCrackUrl");
    return false;
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path_and_query(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) path_and_query.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

  ScopedWinHttpHandle connection(::WinHttpConnect(session.Get(), host.c_str(), parts.nPort, 0));
  if (!connection.IsValid()) {
    LogLastWinHttpError("WinHttpConnect");
    return false;
  }
  std::wstring method = Utf8ToWide(this->method());
  ScopedWinHttpHandle request(::WinHttpOpenRequest(connection.Get(), method.c_str(), path_and_query.c_str(), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                   parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!request.IsValid()) {
    LogLastWinHttpError("WinHttpOpenRequest");
    return false;
  }
  HINTERNET request_handle = request.Get();
  if (!deadline.Hold(&request)) return false;
  WinHttpRequestChannel channel(request_handle);
  bool ok = ExecuteRequestOverChannel(&channel, headers(), body(), response_body);
  deadline.Release();
  return ok && !deadline.expired();
}

std::unique_ptr<HttpTransport> HttpTransport::Create() { return std::make_unique<WinHttpTransport>(); }

}  // namespace ostrel
