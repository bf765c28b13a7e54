#include "crash/multipart_form.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "testing/crash_test_util.h"

namespace ostrel {
namespace {

std::string Body(MultipartForm* form) {
  std::string body;
  EXPECT_TRUE(ReadWholeBodyStream(form->GetBodyStream().get(), &body));
  return body;
}

TEST(MultipartFormTest, BoundaryIsRandomFromTheAlphabet) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    std::string boundary = GenerateMultipartBoundary();
    ASSERT_EQ(boundary.size(), 21u + 32u + 3u);
    EXPECT_EQ(boundary.substr(0, 21), "---MultipartBoundary-");
    EXPECT_EQ(boundary.substr(53), "---");
    for (char c : boundary.substr(21, 32)) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << boundary;
    seen.insert(boundary);
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST(MultipartFormTest, MimeFieldEncodingEscapesOnlyTheFourBytes) {
  EXPECT_EQ(EncodeMimeField("a\"b\r\nc%d"), "a%22b%0d%0ac%25d");
  EXPECT_EQ(EncodeMimeField("plain ;=/ \xC3\xA9"), "plain ;=/ \xC3\xA9");
}

TEST(MultipartFormTest, BodyHasFieldsThenAttachmentsInNameOrder) {
  MultipartForm form;
  form.set_boundary_for_testing("BB");
  StringFileReader dump(std::string("MDMP\0\r\n", 7));
  StringFileReader log("log text");
  form.SetFileAttachment("upload_file_minidump", "abc.dmp", &dump, "application/octet-stream");
  form.SetFormData("ver", "1.0.0.1");
  form.SetFormData("a\"quote", "x");
  form.SetFileAttachment("log", "a\nb.txt", &log, "");

  EXPECT_EQ(Body(&form),
            "--BB\r\nContent-Disposition: form-data; name=\"a%22quote\"\r\n\r\nx\r\n"
            "--BB\r\nContent-Disposition: form-data; name=\"ver\"\r\n\r\n1.0.0.1\r\n"
            "--BB\r\nContent-Disposition: form-data; name=\"log\"; filename=\"a%0ab.txt\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\nlog text\r\n"
            "--BB\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; filename=\"abc.dmp\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" +
                std::string("MDMP\0\r\n", 7) +
                "\r\n"
                "--BB--\r\n");
  EXPECT_EQ(form.GetContentHeaders(), (HttpHeaders{{"Content-Type", "multipart/form-data; boundary=BB"}}));
}

TEST(MultipartFormTest, ANameIsAFieldOrAnAttachmentNeverBoth) {
  MultipartForm form;
  form.set_boundary_for_testing("B");
  StringFileReader file("F");
  form.SetFormData("one", "field");
  form.SetFileAttachment("one", "f", &file, "text/plain");
  form.SetFileAttachment("two", "f", &file, "text/plain");
  form.SetFormData("two", "field");
  form.SetFormData("two", "last");

  EXPECT_EQ(Body(&form),
            "--B\r\nContent-Disposition: form-data; name=\"two\"\r\n\r\nlast\r\n"
            "--B\r\nContent-Disposition: form-data; name=\"one\"; filename=\"f\"\r\n"
            "Content-Type: text/plain\r\n\r\nF\r\n--B--\r\n");
}

TEST(MultipartFormTest, EmptyBuilderGivesOnlyTheClosingBoundary) {
  MultipartForm form;
  form.set_boundary_for_testing("B");
  EXPECT_EQ(Body(&form), "--B--\r\n");
}

TEST(MultipartFormTest, GzipBodyDecompressesToThePlainBody) {
  std::string dump(100000, '\0');
  for (size_t i = 0; i < dump.size(); ++i) dump[i] = static_cast<char>((i * 7919) >> 3);
  MultipartForm plain;
  MultipartForm gzip;
  gzip.SetGzipEnabled(true);
  gzip.set_boundary_for_testing(plain.boundary());
  StringFileReader plain_reader(dump);
  StringFileReader gzip_reader(dump);
  for (MultipartForm* form : {&plain, &gzip}) form->SetFormData("prod", "Tarvik");
  plain.SetFileAttachment("upload_file_minidump", ".dmp", &plain_reader, "application/octet-stream");
  gzip.SetFileAttachment("upload_file_minidump", ".dmp", &gzip_reader, "application/octet-stream");

  std::string compressed = Body(&gzip);
  std::optional<std::string> decompressed = testing::Gunzip(compressed);
  ASSERT_TRUE(decompressed);
  EXPECT_EQ(*decompressed, Body(&plain));
  EXPECT_EQ(decompressed->rfind("--" + plain.boundary() + "\r\n", 0), 0u);
  EXPECT_EQ(gzip.GetContentHeaders(),
            (HttpHeaders{{"Content-Encoding", "gzip"},
                         {"Content-Type", "multipart/form-data; boundary=" + plain.boundary()}}));
}

TEST(MultipartFormTest, FileReadErrorFailsTheBody) {
  struct FailingReader : FileReaderInterface {
    int64_t Read(void*, size_t) override { return -1; }
  } reader;
  MultipartForm form;
  form.SetFileAttachment("f", "f", &reader, "");
  std::string body;
  EXPECT_FALSE(ReadWholeBodyStream(form.GetBodyStream().get(), &body));
}

TEST(MultipartFormDeathTest, UnsafeContentTypeStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  StringFileReader file("x");
  MultipartForm form;
  EXPECT_DEATH(form.SetFileAttachment("f", "f", &file, "text/plain\r\nX-Injected: 1"), "");
}

}  // namespace
}  // namespace ostrel
