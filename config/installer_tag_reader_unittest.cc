#include "config/installer_tag_reader.h"

#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "config/installer_tag_test_util.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using namespace ostrel::testing;

class InstallerTagReaderTest : public ::testing::Test {
 protected:
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    std::wstring path = dir_.Append(name);
    EXPECT_TRUE(WriteBytesToFile(path, bytes));
    return path;
  }

  // One error record of ExtractTagFromFakeCertificate, with a system error suffix.
  void ExpectSingleError(const ScopedLogCapture& log, const std::string& text) {
    std::vector<CapturedRecord> records = log.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].level, LOG_ERROR);
    EXPECT_EQ(records[0].function, "ExtractTagFromFakeCertificate");
    EXPECT_EQ(records[0].text.rfind(text + " - ", 0), 0u) << records[0].text;
  }

  ScopedTempDir dir_;
};

TEST_F(InstallerTagReaderTest, DummyCertificateTag) {
  ScopedLogCapture log;
  std::wstring tagged = Write(L"tagged.exe", PeWithCertificateTable(
      ContentInfo(DummyCertificate("a=1") + OtherCertificate() + DummyCertificate("&b=2"))));
  EXPECT_EQ(ExtractTagFromFakeCertificate(tagged), "a=1&b=2");
  std::wstring untagged = Write(L"untagged.exe", PeWithCertificateTable(ContentInfo(DummyCertificate(""))));
  EXPECT_EQ(ExtractTagFromFakeCertificate(untagged), "");
  EXPECT_TRUE(log.records().empty());
}

TEST_F(InstallerTagReaderTest, MissingFile) {
  ScopedLogCapture log;
  std::wstring path = dir_.Append(L"missing.exe");
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "");
  std::vector<CapturedRecord> records = log.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].function, "ReadAllBytesFromFile");
  EXPECT_EQ(records[0].text.rfind("Can't open file " + WideToUtf8(path) + " - 2, ", 0), 0u) << records[0].text;
  EXPECT_EQ(records[1].function, "ExtractTagFromFakeCertificate");
  EXPECT_EQ(records[1].text.rfind("Failed to read file " + WideToUtf8(path) + " - ", 0), 0u) << records[1].text;
}

TEST_F(InstallerTagReaderTest, NoCertificateTable) {
  ScopedLogCapture log;
  std::wstring path = Write(L"short.exe", "MZ too short");
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "");
  ExpectSingleError(log, "Failed to find certificate table in " + WideToUtf8(path));
}

TEST_F(InstallerTagReaderTest, SetEndingEarlyDropsTagsFoundBefore) {
  ScopedLogCapture log;
  std::wstring path = Write(L"early.exe", PeWithCertificateTable(
      ContentInfo(DummyCertificate("a=1") + DummyCertificate("b=2"), 1)));
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "");
  ExpectSingleError(log, "Invalid ASN1 format of certificate table in " + WideToUtf8(path));
}

TEST_F(InstallerTagReaderTest, TrailerTag) {
  std::string file = PeWithCertificateTable(ContentInfo(DummyCertificate("")),
                                            {.pe32_plus = false, .after_entry = TrailerBlock("x=1&y=2")});
  std::wstring path = Write(L"trailer.exe", file);
  TrailerTagReader reader;
  ASSERT_TRUE(reader.Open(path));
  EXPECT_EQ(reader.Size(), 8u);
  char small[7];
  EXPECT_FALSE(reader.Copy(small, sizeof(small)));
  char buffer[8];
  ASSERT_TRUE(reader.Copy(buffer, sizeof(buffer)));
  EXPECT_STREQ(buffer, "x=1&y=2");
  EXPECT_EQ(ReadTrailerTag(path), "x=1&y=2");
}

TEST_F(InstallerTagReaderTest, TrailerTagMustEndWithinTheFile) {
  ScopedLogCapture log;
  // The declared length reaches one byte past the end of the file, which
  // still lies within the last mapped page.
  std::string block = std::string(kTrailerTagMagic, 4) + Be16(8) + "x=1&y=2";
  std::wstring path = Write(L"overlong.exe", PeWithCertificateTable(ContentInfo(DummyCertificate("")),
                                                                     {.pe32_plus = false, .after_entry = block}));
  TrailerTagReader reader;
  EXPECT_FALSE(reader.Open(path));
  EXPECT_EQ(reader.Size(), 0u);
  char buffer[16];
  EXPECT_FALSE(reader.Copy(buffer, sizeof(buffer)));
  EXPECT_EQ(ReadTrailerTag(dir_.Append(L"missing.exe")), "");
  EXPECT_EQ(ReadTrailerTag(Write(L"empty.exe", "")), "");
  // The trailer reader never logs.
  EXPECT_TRUE(log.records().empty());
}

TEST_F(InstallerTagReaderTest, Pe32PlusHasOnlyTheCertificateTag) {
  std::wstring path = Write(L"plus.exe", PeWithCertificateTable(ContentInfo(DummyCertificate("d=1")),
                                                                {.pe32_plus = true, .after_entry = TrailerBlock("t=1")}));
  EXPECT_EQ(ExtractTagFromFakeCertificate(path), "d=1");
  EXPECT_EQ(ReadTrailerTag(path), "");
}

}  // namespace
}  // namespace ostrel
