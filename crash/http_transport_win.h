// The WinHTTP side of the crash upload transport.
#ifndef CRASH_HTTP_TRANSPORT_WIN_H_
#define CRASH_HTTP_TRANSPORT_WIN_H_

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "crash/http_transport.h"

namespace ostrel {

// The user agent from the versions of winhttp.dll and kernel32.dll.
std::string WinHttpUserAgent();

// "<function>: <winhttp.dll's or the system's text> (0x<code>)".
std::string WinHttpErrorMessage(const char* function, DWORD code);

// The channel steps as WinHTTP calls on an opened request handle (not owned).
class WinHttpRequestChannel final : public HttpRequestChannel {
 public:
  explicit WinHttpRequestChannel(HINTERNET request) : request_(request) {}

  bool AddHeader(const std::string& line) override;
  bool SendRequest(uint32_t total_length) override;
  bool WriteData(const void* data, size_t size) override;
  bool ReceiveResponse(uint32_t* status_code) override;
  bool ReadResponseBody(std::string* body) override;

 private:
  HINTERNET request_;
};

class WinHttpTransport final : public HttpTransport {
 public:
  bool ExecuteSynchronously(std::string* response_body) override;
};

}  // namespace ostrel

#endif  // CRASH_HTTP_TRANSPORT_WIN_H_
