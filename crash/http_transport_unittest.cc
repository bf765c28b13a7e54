#include "crash/http_transport.h"

#include <gtest/gtest.h>

#include "testing/crash_test_util.h"
#include "testing/platform_log_capture.h"

namespace ostrel {
namespace {

using testing::RecordingChannel;

TEST(ChunkSizeLineTest, EightHexDigitsWithUpToFourLeadingZerosDropped) {
  EXPECT_EQ(ChunkSizeLine(32768), "8000");
  EXPECT_EQ(ChunkSizeLine(4464), "1170");
  EXPECT_EQ(ChunkSizeLine(16), "0010");
  EXPECT_EQ(ChunkSizeLine(0), "0000");
  EXPECT_EQ(ChunkSizeLine(0xabcde), "abcde");
  EXPECT_EQ(ChunkSizeLine(0x12345678), "12345678");
}

TEST(UserAgentTest, VersionsAndWow64) {
  EXPECT_EQ(BuildUserAgent(std::nullopt, std::nullopt, false), "Crashpad/0.8.0 WinHTTP");
  EXPECT_EQ(BuildUserAgent("10.0.19041.1", "10.0.19041.2", false),
            "Crashpad/0.8.0 WinHTTP/10.0.19041.1 Windows_NT/10.0.19041.2 (x86)");
  EXPECT_EQ(BuildUserAgent(std::nullopt, "6.1.7601.17514", true),
            "Crashpad/0.8.0 WinHTTP Windows_NT/6.1.7601.17514 (x86; WoW64)");
}

TEST(ExecuteRequestTest, BodyOf70000BytesIsSentInThreeChunksAndTheTerminator) {
  std::string body(70000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
  RecordingChannel channel;
  StringHttpBodyStream stream(body);
  std::string response;
  ASSERT_TRUE(ExecuteRequestOverChannel(
      &channel, {{"Content-Encoding", "gzip"}, {"Content-Type", "multipart/form-data; boundary=B"}}, &stream,
      &response));

  EXPECT_EQ(channel.header_lines, (std::vector<std::string>{"Content-Encoding: gzip\r\n",
                                                            "Content-Type: multipart/form-data; boundary=B\r\n",
                                                            "Transfer-Encoding: chunked\r\n"}));
  EXPECT_EQ(channel.sent_total_length, 0u);
  std::string expected = "8000\r\n" + body.substr(0, 32768) + "\r\n" + "8000\r\n" + body.substr(32768, 32768) +
                         "\r\n" + "1170\r\n" + body.substr(65536) + "\r\n" + "0000\r\n\r\n";
  EXPECT_EQ(channel.written(), expected);
  ASSERT_EQ(channel.writes.size(), 4u);  // one write per chunk
  EXPECT_EQ(channel.writes.back(), "0000\r\n\r\n");
  EXPECT_EQ(response, "report-id");
}

TEST(ExecuteRequestTest, ShortReadsStillGiveFullChunks) {
  // A stream that never returns more than 1000 bytes at once.
  struct Trickle : HttpBodyStream {
    size_t left = 40000;
    int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override {
      size_t count = std::min({max_length, left, size_t{1000}});
      std::memset(buffer, 'x', count);
      left -= count;
      return static_cast<int64_t>(count);
    }
  } stream;
  RecordingChannel channel;
  ASSERT_TRUE(ExecuteRequestOverChannel(&channel, {}, &stream, nullptr));
  std::optional<testing::Chunks> chunks = testing::Dechunk(channel.written());
  ASSERT_TRUE(chunks);
  EXPECT_EQ(chunks->size_lines, (std::vector<std::string>{"8000", "1c40", "0000"}));
  EXPECT_EQ(chunks->payload, std::string(40000, 'x'));
}

TEST(ExecuteRequestTest, EmptyBodyIsOnlyTheTerminator) {
  RecordingChannel channel;
  StringHttpBodyStream stream("");
  ASSERT_TRUE(ExecuteRequestOverChannel(&channel, {}, &stream, nullptr));
  EXPECT_EQ(channel.written(), "0000\r\n\r\n");
  RecordingChannel no_body;
  ASSERT_TRUE(ExecuteRequestOverChannel(&no_body, {}, nullptr, nullptr));
  EXPECT_EQ(no_body.written(), "0000\r\n\r\n");
}

TEST(ExecuteRequestTest, ContentLengthSendsTheBodyAsItIs) {
  RecordingChannel channel;
  StringHttpBodyStream stream("hello");
  ASSERT_TRUE(ExecuteRequestOverChannel(&channel, {{"content-length", "5"}}, &stream, nullptr));
  EXPECT_EQ(channel.header_lines, std::vector<std::string>{"content-length: 5\r\n"});
  EXPECT_EQ(channel.sent_total_length, 5u);
  EXPECT_EQ(channel.written(), "hello");

  testing::ScopedPlatformLogCapture log;
  RecordingChannel bad;
  EXPECT_FALSE(ExecuteRequestOverChannel(&bad, {{"Content-Length", "5x"}}, &stream, nullptr));
  EXPECT_FALSE(bad.sent_total_length);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"invalid Content-Length: 5x"});

  // A body of another length than announced never finishes the request, nor
  // is more than announced written.
  for (const char* length : {"3", "9"}) {
    testing::ScopedPlatformLogCapture mismatch_log;
    RecordingChannel mismatch;
    StringHttpBodyStream body("hello");
    EXPECT_FALSE(ExecuteRequestOverChannel(&mismatch, {{"Content-Length", length}}, &body, nullptr)) << length;
    EXPECT_FALSE(mismatch.response_received) << length;
    EXPECT_LE(mismatch.written().size(), std::stoul(length));
    ASSERT_EQ(mismatch_log.lines().size(), 1u);
  }
}

TEST(ExecuteRequestTest, OnlyStatus200Succeeds) {
  for (uint32_t status : {204u, 201u, 302u, 500u}) {
    testing::ScopedPlatformLogCapture log;
    RecordingChannel channel;
    channel.status = status;
    StringHttpBodyStream stream("x");
    std::string response = "untouched";
    EXPECT_FALSE(ExecuteRequestOverChannel(&channel, {}, &stream, &response));
    EXPECT_EQ(response, "untouched");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"HTTP status " + std::to_string(status)});
  }
}

TEST(ExecuteRequestTest, EveryFailingStepFailsTheRequestAndStopsThere) {
  for (const char* step : {"AddHeader", "SendRequest", "WriteData", "ReceiveResponse", "ReadResponseBody"}) {
    SCOPED_TRACE(step);
    RecordingChannel channel;
    channel.failing_step = step;
    StringHttpBodyStream stream("body");
    std::string response;
    EXPECT_FALSE(ExecuteRequestOverChannel(&channel, {{"A", "b"}}, &stream, &response));
    bool before_send = channel.failing_step == "AddHeader";
    EXPECT_EQ(channel.sent_total_length.has_value(), !before_send);
    EXPECT_EQ(channel.response_received, channel.failing_step == "ReceiveResponse" ||
                                             channel.failing_step == "ReadResponseBody");
  }
}

TEST(ExecuteRequestTest, BodyReadErrorFailsBeforeTheResponse) {
  struct Broken : HttpBodyStream {
    int64_t GetBytesBuffer(uint8_t*, size_t) override { return -1; }
  } stream;
  testing::ScopedPlatformLogCapture log;
  RecordingChannel channel;
  EXPECT_FALSE(ExecuteRequestOverChannel(&channel, {}, &stream, nullptr));
  EXPECT_TRUE(channel.writes.empty());
  EXPECT_FALSE(channel.response_received);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"error reading the request body"});
}

}  // namespace
}  // namespace ostrel
