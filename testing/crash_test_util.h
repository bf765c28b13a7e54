// Test support for the crash client: a channel and a transport that record
// the request bytes, and readers that take a recorded request and a
// minidump apart the way the crash collector does.
#ifndef TESTING_CRASH_TEST_UTIL_H_
#define TESTING_CRASH_TEST_UTIL_H_

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crash/crash_info_stream.h"
#include "crash/http_transport.h"

namespace ostrel::testing {

// Records what the transport does with a request; answers with `status`.
class RecordingChannel : public HttpRequestChannel {
 public:
  uint32_t status = 200;
  std::string response = "report-id";
  // The step that fails: "AddHeader", "SendRequest", "WriteData", "ReceiveResponse", "ReadResponseBody".
  std::string failing_step;

  std::vector<std::string> header_lines;
  std::optional<uint32_t> sent_total_length;
  std::vector<std::string> writes;
  bool response_received = false;

  std::string written() const {
    std::string all;
    for (const std::string& piece : writes) all += piece;
    return all;
  }

  bool AddHeader(const std::string& line) override {
    header_lines.push_back(line);
    return failing_step != "AddHeader";
  }
  bool SendRequest(uint32_t total_length) override {
    sent_total_length = total_length;
    return failing_step != "SendRequest";
  }
  bool WriteData(const void* data, size_t size) override {
    writes.emplace_back(static_cast<const char*>(data), size);
    return failing_step != "WriteData";
  }
  bool ReceiveResponse(uint32_t* status_code) override {
    response_received = true;
    *status_code = status;
    return failing_step != "ReceiveResponse";
  }
  bool ReadResponseBody(std::string* body) override {
    *body = response;
    return failing_step != "ReadResponseBody";
  }
};

// A transport that runs the real request logic over a RecordingChannel.
class RecordingTransport : public HttpTransport {
 public:
  RecordingChannel channel;
  int executions = 0;

  bool ExecuteSynchronously(std::string* response_body) override {
    ++executions;
    return ExecuteRequestOverChannel(&channel, headers(), body(), response_body);
  }
};

// The chunk payloads of a chunked body, checking each size line against its
// payload and the final zero chunk; nullopt when the framing is wrong.
struct Chunks {
  std::vector<std::string> size_lines;
  std::string payload;
};
inline std::optional<Chunks> Dechunk(const std::string& body) {
  Chunks chunks;
  size_t position = 0;
  for (;;) {
    size_t line_end = body.find("\r\n", position);
    if (line_end == std::string::npos) return std::nullopt;
    std::string line = body.substr(position, line_end - position);
    if (line.empty() || line.find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
    size_t size = std::strtoul(line.c_str(), nullptr, 16);
    chunks.size_lines.push_back(line);
    position = line_end + 2;
    if (size == 0) {
      if (body.compare(position, std::string::npos, "\r\n") != 0) return std::nullopt;
      return chunks;
    }
    if (body.size() < position + size + 2 || body.compare(position + size, 2, "\r\n") != 0) return std::nullopt;
    chunks.payload += body.substr(position, size);
    position += size + 2;
  }
}

inline std::optional<std::string> Gunzip(const std::string& data) {
  z_stream stream = {};
  if (inflateInit2(&stream, 31) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  int result = Z_OK;
  while (result == Z_OK) {
    char buffer[16384];
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - stream.avail_out);
  }
  bool complete = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  if (!complete) return std::nullopt;
  return out;
}

// One part of a multipart/form-data body.
struct FormPart {
  std::string disposition;  // the Content-Disposition line's value
  std::string content_type;
  std::string content;
};
// Parts by boundary; nullopt unless the body is exactly a sequence of parts
// closed by the final boundary and a line end.
inline std::optional<std::vector<FormPart>> ParseMultipart(const std::string& body, const std::string& boundary) {
  std::vector<FormPart> parts;
  std::string delimiter = "--" + boundary;
  if (body.compare(0, delimiter.size(), delimiter) != 0) return std::nullopt;
  size_t position = delimiter.size();
  for (;;) {
    if (body.compare(position, std::string::npos, "--\r\n") == 0) return parts;
    if (body.compare(position, 2, "\r\n") != 0) return std::nullopt;
    position += 2;
    size_t headers_end = body.find("\r\n\r\n", position);
    if (headers_end == std::string::npos) return std::nullopt;
    FormPart part;
    size_t line_start = position;
    while (line_start < headers_end + 2) {
      size_t line_end = body.find("\r\n", line_start);
      std::string line = body.substr(line_start, line_end - line_start);
      if (line.rfind("Content-Disposition: ", 0) == 0) part.disposition = line.substr(21);
      if (line.rfind("Content-Type: ", 0) == 0) part.content_type = line.substr(14);
      line_start = line_end + 2;
    }
    size_t content_start = headers_end + 4;
    size_t next = body.find("\r\n" + delimiter, content_start);
    if (next == std::string::npos) return std::nullopt;
    part.content = body.substr(content_start, next - content_start);
    parts.push_back(part);
    position = next + 2 + delimiter.size();
  }
}

// The crash information stream of a minidump read the way the collector
// reads it: through the directory, then through the absolute positions.
// Each string must be followed by its zero byte.
struct CrashInfo {
  GuidBytes report_id;
  GuidBytes client_id;
  std::map<std::string, std::string> annotations;
  uint32_t annotations_position = 0;
};
inline std::optional<CrashInfo> ReadCrashInfo(const std::string& dump) {
  auto u32 = [&](uint64_t offset, uint32_t* value) {
    if (offset + 4 > dump.size()) return false;
    *value = ReadUint32Le(reinterpret_cast<const uint8_t*>(dump.data() + offset));
    return true;
  };
  auto string_at = [&](uint32_t position, std::string* text) {
    uint32_t length = 0;
    if (!u32(position, &length) || uint64_t{position} + 4 + length + 1 > dump.size()) return false;
    if (dump[position + 4 + length] != '\0') return false;
    *text = dump.substr(position + 4, length);
    return true;
  };
  uint32_t signature = 0, count = 0, directory = 0;
  if (!u32(0, &signature) || signature != 0x504D444D || !u32(8, &count) || !u32(12, &directory)) return std::nullopt;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t type = 0, position = 0;
    if (!u32(directory + 12ull * i, &type) || !u32(directory + 12ull * i + 8, &position)) return std::nullopt;
    if (type != kCrashInfoStreamType) continue;
    CrashInfo info;
    if (position + 52ull > dump.size()) return std::nullopt;
    std::memcpy(info.report_id.data(), dump.data() + position + 4, 16);
    std::memcpy(info.client_id.data(), dump.data() + position + 20, 16);
    uint32_t n = 0;
    if (!u32(position + 40, &info.annotations_position) || !u32(info.annotations_position, &n)) return std::nullopt;
    for (uint32_t k = 0; k < n; ++k) {
      uint32_t key_position = 0, value_position = 0;
      std::string key, value;
      if (!u32(info.annotations_position + 4 + 8ull * k, &key_position) ||
          !u32(info.annotations_position + 8 + 8ull * k, &value_position) || !string_at(key_position, &key) ||
          !string_at(value_position, &value)) {
        return std::nullopt;
      }
      info.annotations[key] = value;
    }
    return info;
  }
  return std::nullopt;
}

}  // namespace ostrel::testing

#endif  // TESTING_CRASH_TEST_UTIL_H_
