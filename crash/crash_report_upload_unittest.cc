#include "crash/crash_report_upload.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "base/build_version.h"
#include "base/file_util.h"
#include "config/maker_hosts.h"
#include "testing/crash_test_util.h"
#include "testing/log_capture.h"
#include "testing/platform_log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

constexpr char kUid[] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

class SendReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_filter_ = ::SetUnhandledExceptionFilter(nullptr);
    client_ = CrashClient::Create(kUid);
    std::mt19937 generator(7);
    dump_.resize(70000);
    for (char& c : dump_) c = static_cast<char>(generator());
    // As WriteDump leaves it: written through the handle the upload reads.
    dump_file_.Reset(::CreateFileW(client_->dump_path().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(dump_file_.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(dump_file_.Get(), dump_.data(), static_cast<DWORD>(dump_.size()), &written, nullptr));
  }
  void TearDown() override {
    dump_file_.Close();
    ::DeleteFileW(client_->dump_path().c_str());
    CrashClient::Destroy();
    ::SetUnhandledExceptionFilter(saved_filter_);
  }

  // The recorded request taken apart as the collector would.
  struct Request {
    std::map<std::string, std::string> fields;
    std::vector<testing::FormPart> parts;
  };
  Request Decode(const testing::RecordingTransport& transport) {
    Request request;
    std::string boundary = transport.headers().at("Content-Type").substr(strlen("multipart/form-data; boundary="));
    std::optional<testing::Chunks> chunks = testing::Dechunk(transport.channel.written());
    EXPECT_TRUE(chunks);
    if (!chunks) return request;
    std::optional<std::string> body = testing::Gunzip(chunks->payload);
    EXPECT_TRUE(body);
    if (!body) return request;
    std::optional<std::vector<testing::FormPart>> parts = testing::ParseMultipart(*body, boundary);
    EXPECT_TRUE(parts);
    if (!parts) return request;
    request.parts = *parts;
    for (const testing::FormPart& part : *parts) {
      if (part.content_type.empty()) {
        std::string name = part.disposition.substr(strlen("form-data; name=\""));
        name.pop_back();
        request.fields[name] = part.content;
      }
    }
    return request;
  }

  LPTOP_LEVEL_EXCEPTION_FILTER saved_filter_ = nullptr;
  CrashClient* client_ = nullptr;
  std::string dump_;
  ScopedFileHandle dump_file_;
  testing::ScopedLogCapture log_;
};

TEST_F(SendReportTest, AcceptedReportIsTheWholeFormAndTheDumpIsDeleted) {
  client_->SetAnnotation("ptype", "installer");
  client_->SetAnnotation("brand_name", "\xC3\x89tude \"quoted\"");
  testing::RecordingTransport transport;
  ASSERT_TRUE(SendReport(*client_, dump_file_.Get(), &transport));
  dump_file_.Close();
  EXPECT_FALSE(PathExists(client_->dump_path()));

  EXPECT_EQ(transport.method(), "POST");
  EXPECT_EQ(transport.timeout_seconds(), 60);
  EXPECT_EQ(transport.url(), std::string(hosts::kCrashCollector) + "/submit?product=Tarvik&version=" +
                                 TARVIK_INSTALLER_VERSION_STRING);
  ASSERT_EQ(transport.channel.header_lines.size(), 3u);
  EXPECT_EQ(transport.channel.header_lines[0], "Content-Encoding: gzip\r\n");
  EXPECT_EQ(transport.channel.header_lines[1].rfind(
                "Content-Type: multipart/form-data; boundary=---MultipartBoundary-", 0),
            0u);
  EXPECT_EQ(transport.channel.header_lines[2], "Transfer-Encoding: chunked\r\n");
  EXPECT_EQ(transport.channel.sent_total_length, 0u);

  Request request = Decode(transport);
  EXPECT_EQ(request.fields, client_->annotations());
  ASSERT_FALSE(request.parts.empty());
  const testing::FormPart& attachment = request.parts.back();
  EXPECT_EQ(attachment.disposition,
            "form-data; name=\"upload_file_minidump\"; filename=\"" + std::string(kUid) + ".dmp\"");
  EXPECT_EQ(attachment.content_type, "application/octet-stream");
  EXPECT_EQ(attachment.content, dump_);
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(SendReportTest, ReservedKeyIsNeverAFormField) {
  client_->SetAnnotation("upload_file_minidump", "sneaky");
  client_->SetAnnotation("a\"b", "quoted name");
  testing::RecordingTransport transport;
  ASSERT_TRUE(SendReport(*client_, dump_file_.Get(), &transport));

  Request request = Decode(transport);
  EXPECT_EQ(request.fields.count("upload_file_minidump"), 0u);
  EXPECT_EQ(request.fields.at("a%22b"), "quoted name");
  size_t dump_parts = 0;
  for (const testing::FormPart& part : request.parts)
    if (part.disposition.find("name=\"upload_file_minidump\"") != std::string::npos) ++dump_parts;
  EXPECT_EQ(dump_parts, 1u);
  EXPECT_EQ(request.parts.back().content, dump_);

  ASSERT_EQ(log_.records().size(), 1u);
  EXPECT_EQ(log_.records()[0].level, LOG_WARNING);
  EXPECT_EQ(log_.records()[0].function, "SendReport");
  EXPECT_EQ(log_.records()[0].text, "reserved key upload_file_minidump, discarding value sneaky");
}

TEST_F(SendReportTest, QueryItemsArePercentEncoded) {
  client_->SetAnnotation("ver", "1.2 beta \xC3\xA9");
  client_->SetAnnotation("guid", "{g}");
  testing::RecordingTransport transport;
  ASSERT_TRUE(SendReport(*client_, dump_file_.Get(), &transport));
  EXPECT_EQ(transport.url(), std::string(hosts::kCrashCollector) +
                                 "/submit?product=Tarvik&version=1.2%20beta%20%C3%A9&guid=%7Bg%7D");
}

TEST_F(SendReportTest, RefusedReportKeepsTheDump) {
  for (uint32_t status : {204u, 500u}) {
    testing::ScopedPlatformLogCapture platform_log;
    testing::RecordingTransport transport;
    transport.channel.status = status;
    // Sent whole each time: the upload reads from the start.
    EXPECT_FALSE(SendReport(*client_, dump_file_.Get(), &transport));
    EXPECT_EQ(Decode(transport).parts.back().content, dump_);
    EXPECT_EQ(platform_log.lines(), std::vector<std::string>{"HTTP status " + std::to_string(status)});
  }
  dump_file_.Close();
  EXPECT_EQ(testing::ReadFileOrEmpty(client_->dump_path()), dump_);
}

TEST_F(SendReportTest, MissingDumpSendsNothing) {
  testing::RecordingTransport transport;
  EXPECT_FALSE(SendReport(*client_, INVALID_HANDLE_VALUE, &transport));
  EXPECT_EQ(transport.executions, 0);
}

TEST_F(SendReportTest, CollectorNotListeningFailsAndKeepsTheDump) {
  testing::ScopedPlatformLogCapture platform_log;
  client_->set_upload_url("https://localhost:1/submit");
  EXPECT_FALSE(SendReport(*client_, dump_file_.Get()));
  dump_file_.Close();
  EXPECT_EQ(testing::ReadFileOrEmpty(client_->dump_path()), dump_);
  std::vector<std::string> lines = platform_log.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("WinHttpSendRequest: ", 0), 0u) << lines[0];
}

}  // namespace
}  // namespace ostrel
