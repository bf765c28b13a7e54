// Sends outside bytes as a request body through the request logic over a
// recording channel, with reads of outside sizes and an optional outside
// Content-Length. Chunked, the bytes sent must de-chunk to the body exactly,
// in full 32 KiB chunks but the last, one write each; with the body's own
// length they go unframed; with another length the request fails without
// writing past it; with an invalid one nothing is sent.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "base/string_number_conversions.h"
#include "crash/http_transport.h"
#include "testing/crash_test_util.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "http_transport_fuzzer: %s\n", message);
  std::abort();
}

// Hands the body out in reads of the sizes the input asks for; -1 at the
// error position, if any.
class ScriptedStream : public ostrel::HttpBodyStream {
 public:
  ScriptedStream(std::string body, std::string steps, std::optional<size_t> error_at)
      : body_(std::move(body)), steps_(std::move(steps)), error_at_(error_at) {}
  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override {
    if (error_at_ && position_ >= *error_at_) return -1;
    size_t step = steps_.empty() ? max_length : static_cast<uint8_t>(steps_[read_++ % steps_.size()]) * 257 + 1;
    size_t count = std::min({max_length, step, body_.size() - position_});
    std::memcpy(buffer, body_.data() + position_, count);
    position_ += count;
    return static_cast<int64_t>(count);
  }

 private:
  std::string body_;
  std::string steps_;
  std::optional<size_t> error_at_;
  size_t position_ = 0;
  size_t read_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int mode = input.ConsumeIntegralInRange<int>(0, 3);  // 0, 1: chunked; 2: length; 3: read error
  std::string length_text = mode == 2 ? input.ConsumeRandomLengthString(12) : std::string();
  std::string steps = input.ConsumeRandomLengthString(16);
  const size_t times = input.ConsumeIntegralInRange<size_t>(1, 64);
  std::string piece = input.ConsumeRemainingBytesAsString();
  std::string body;
  for (size_t i = 0; i < times; ++i) body += piece;
  std::optional<size_t> error_at;
  if (mode == 3) error_at = body.size() / 2;

  ostrel::HttpHeaders headers = {{"Content-Type", "multipart/form-data; boundary=B"}};
  if (mode == 2) headers["content-length"] = length_text;
  ScriptedStream stream(body, steps, error_at);
  ostrel::testing::RecordingChannel channel;
  std::string response;
  const bool ok = ostrel::ExecuteRequestOverChannel(&channel, headers, &stream, &response);

  for (const std::string& line : channel.header_lines) {
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0 || line.find(": ") == std::string::npos)
      Fail("a header line is not 'Name: value\\r\\n'");
  }
  if (mode == 2) {
    uint32_t length = 0;
    if (!ostrel::StringToUint32(length_text, &length)) {
      if (ok || channel.sent_total_length || !channel.writes.empty()) Fail("an invalid length still sent a request");
      return 0;
    }
    if (length != body.size()) {
      // Never more than announced, and never a finished request.
      if (ok || channel.response_received || channel.written().size() > length)
        Fail("a body of another length than announced still went out");
      return 0;
    }
    if (!ok || channel.sent_total_length != length || channel.written() != body)
      Fail("a body with a length did not go out as it is");
    for (const std::string& line : channel.header_lines)
      if (line == "Transfer-Encoding: chunked\r\n") Fail("a body with a length was also chunked");
    return 0;
  }
  if (channel.header_lines.back() != "Transfer-Encoding: chunked\r\n" || channel.sent_total_length != 0u)
    Fail("a body without a length was not announced as chunked");
  if (mode == 3) {
    if (ok || channel.response_received) Fail("a body read error still finished the request");
    if (!channel.writes.empty() && channel.writes.back() == ostrel::kChunkedTerminator)
      Fail("a body read error ended the body as if it were complete");
    return 0;
  }
  if (!ok || response != "report-id") Fail("the request failed");
  std::optional<ostrel::testing::Chunks> chunks = ostrel::testing::Dechunk(channel.written());
  if (!chunks) Fail("the chunk framing does not parse");
  if (chunks->payload != body) Fail("de-chunking does not give back the body");
  if (channel.writes.size() != chunks->size_lines.size()) Fail("not one write per chunk");
  for (size_t i = 0; i + 1 < chunks->size_lines.size(); ++i) {
    size_t expected = i + 2 < chunks->size_lines.size() ? ostrel::kHttpBodyPieceSize
                                                        : body.size() - i * ostrel::kHttpBodyPieceSize;
    if (chunks->size_lines[i] != ostrel::ChunkSizeLine(expected)) Fail("a chunk is not full or its size line is wrong");
  }
  return 0;
}
