// One synchronous HTTP request with a streamed body. The request itself (the
// headers, the chunk framing, the status rule) is decided here, over a small
// channel interface; http_transport_win puts WinHTTP behind that interface,
// and tests put a recorder there to see the exact bytes. Platform-neutral.
#ifndef CRASH_HTTP_TRANSPORT_H_
#define CRASH_HTTP_TRANSPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "crash/http_body.h"
#include "crash/multipart_form.h"

namespace ostrel {

// The body is read in pieces of this size; each piece is one chunk.
inline constexpr size_t kHttpBodyPieceSize = 32768;
inline constexpr char kChunkedTerminator[] = "0000\r\n\r\n";

// The size of a chunk as eight lower-case hexadecimal digits with up to four
// leading zeros dropped: 32768 is "8000", 16 is "0010", 0x123456 "123456".
std::string ChunkSizeLine(size_t size);

// "Crashpad/0.8.0 WinHTTP", then "/" and the WinHTTP library version when
// known, then " Windows_NT/" + the kernel version + " (x86[; WoW64])" when the
// kernel is known to be a 32-bit Windows NT one. Versions are "a.b.c.d".
std::string BuildUserAgent(const std::optional<std::string>& winhttp_version,
                           const std::optional<std::string>& windows_nt_version, bool wow64);

// The steps of one request after it has been opened, in the order the
// transport takes them.
class HttpRequestChannel {
 public:
  virtual ~HttpRequestChannel() = default;
  // One header as "Name: value\r\n".
  virtual bool AddHeader(const std::string& line) = 0;
  // Sends the request line and headers; `total_length` 0 when chunked.
  virtual bool SendRequest(uint32_t total_length) = 0;
  virtual bool WriteData(const void* data, size_t size) = 0;
  virtual bool ReceiveResponse(uint32_t* status_code) = 0;
  virtual bool ReadResponseBody(std::string* body) = 0;
};

// Headers, body and response over `channel`. Without a Content-Length header
// the body goes chunked. Only status 200 succeeds. `response_body` may be null.
bool ExecuteRequestOverChannel(HttpRequestChannel* channel, const HttpHeaders& headers, HttpBodyStream* body,
                               std::string* response_body);

class HttpTransport {
 public:
  // The WinHTTP transport.
  static std::unique_ptr<HttpTransport> Create();

  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;
  virtual ~HttpTransport() = default;

  void SetUrl(const std::string& url) { url_ = url; }
  void SetMethod(const std::string& method) { method_ = method; }
  void SetHeader(const std::string& name, const std::string& value) { headers_[name] = value; }
  void SetBodyStream(std::unique_ptr<HttpBodyStream> body) { body_ = std::move(body); }
  void SetTimeout(double seconds) { timeout_seconds_ = seconds; }
  // The whole request's limit, whatever it waits for (proxy discovery, name
  // resolution, a trickling peer); 0: none beyond the per-operation time-out.
  void SetDeadline(double seconds) { deadline_seconds_ = seconds; }

  // Sends the request and waits; `response_body` (may be null) gets the
  // body of a successful response.
  virtual bool ExecuteSynchronously(std::string* response_body) = 0;

  const std::string& url() const { return url_; }
  const std::string& method() const { return method_; }
  const HttpHeaders& headers() const { return headers_; }
  HttpBodyStream* body() const { return body_.get(); }
  double timeout_seconds() const { return timeout_seconds_; }
  double deadline_seconds() const { return deadline_seconds_; }

 protected:
  HttpTransport() = default;

 private:
  std::string url_;
  std::string method_ = "POST";
  HttpHeaders headers_;
  std::unique_ptr<HttpBodyStream> body_;
  double timeout_seconds_ = 15;
  double deadline_seconds_ = 0;
};

}  // namespace ostrel

#endif  // CRASH_HTTP_TRANSPORT_H_
