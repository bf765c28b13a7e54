#include "crash/http_transport.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/logging.h"
#include "base/string_number_conversions.h"

namespace ostrel {
namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Reads until `buffer` is full or the body ends, so every chunk but the last
// has the full piece size whatever the stream's own read sizes are.
int64_t FillPiece(HttpBodyStream* body, uint8_t* buffer, size_t size) {
  size_t filled = 0;
  while (body && filled < size) {
    int64_t count = body->GetBytesBuffer(buffer + filled, size - filled);
    if (count < 0) return -1;
    if (count == 0) break;
    filled += static_cast<size_t>(count);
  }
  return static_cast<int64_t>(filled);
}

}  // namespace

std::string ChunkSizeLine(size_t size) {
  char digits[24];
  std::snprintf(digits, sizeof(digits), "%08llx", static_cast<unsigned long long>(size));
  std::string line = digits;
  size_t zeros = 0;
  while (zeros < 4 && line[zeros] == '0') ++zeros;
  return line.substr(zeros);
}

std::string BuildUserAgent(const std::optional<std::string>& winhttp_version,
                           const std::optional<std::string>& windows_nt_version, bool wow64) {
  std::string agent = "Crashpad/0.8.0 WinHTTP";
  if (winhttp_version) agent += "/" + *winhttp_version;
  if (windows_nt_version) {
    // The installer ships as a 32-bit program; the x64 build only runs tests.
    agent += " Windows_NT/" + *windows_nt_version + " (x86";
    if (wow64) agent += "; WoW64";
    agent += ")";
  }
  return agent;
}

bool ExecuteRequestOverChannel(HttpRequestChannel* channel, const HttpHeaders& headers, HttpBodyStream* body,
                               std::string* response_body) {
  bool chunked = true;
  uint32_t content_length = 0;
  for (const auto& [name, value] : headers) {
    if (!channel->AddHeader(name + ": " + value + "\r\n")) return false;
    if (EqualsIgnoringAsciiCase(name, kContentLengthHeader)) {
      if (!StringToUint32(value, &content_length)) {
        PlatformLogError("invalid Content-Length: " + value);
        return false;
      }
      chunked = false;
    }
  }
  if (chunked && !channel->AddHeader("Transfer-Encoding: chunked\r\n")) return false;
  if (!channel->SendRequest(chunked ? 0 : content_length)) return false;

  // One chunk is framed in place: room for the size line and its line end
  // before a full piece, and for the closing line end after it.
  static constexpr size_t kFrameReserve = 32;
  std::vector<uint8_t> frame(kFrameReserve + kHttpBodyPieceSize + 2);
  uint64_t sent = 0;
  for (;;) {
    uint8_t* piece = frame.data() + (chunked ? kFrameReserve : 0);
    int64_t count = FillPiece(body, piece, kHttpBodyPieceSize);
    if (count < 0) {
      PlatformLogError("error reading the request body");
      return false;
    }
    if (count == 0) break;
    size_t size = static_cast<size_t>(count);
    if (!chunked) {
      // More than announced would end the request early or run into the next one.
      if (sent + size > content_length) {
        PlatformLogError("request body longer than its Content-Length: " + std::to_string(content_length));
        return false;
      }
      if (!channel->WriteData(piece, size)) return false;
      sent += size;
      continue;
    }
    std::string size_line = ChunkSizeLine(size) + "\r\n";
    uint8_t* start = piece - size_line.size();
    std::memcpy(start, size_line.data(), size_line.size());
    std::memcpy(piece + size, "\r\n", 2);
    if (!channel->WriteData(start, size_line.size() + size + 2)) return false;
  }
  if (chunked && !channel->WriteData(kChunkedTerminator, std::strlen(kChunkedTerminator))) return false;
  // Less than announced would leave the peer waiting for the rest.
  if (!chunked && sent != content_length) {
    PlatformLogError("request body shorter than its Content-Length: " + std::to_string(sent) + " of " +
                     std::to_string(content_length));
    return false;
  }

  uint32_t status = 0;
  if (!channel->ReceiveResponse(&status)) return false;
  if (status != 200) {
    PlatformLogError("HTTP status " + std::to_string(status));
    return false;
  }
  if (response_body) return channel->ReadResponseBody(response_body);
  return true;
}

}  // namespace ostrel
