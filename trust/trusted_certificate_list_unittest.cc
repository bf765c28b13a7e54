#include "trust/trusted_certificate_list.h"

#include <gtest/gtest.h>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

using ::ostrel::testing::ScopedLogCapture;

constexpr char kKeyHex[] = "f223cd5cb5c2fa6e68efdb15e17104928b4202fe09695552eda3d92b56d566ac";

std::string KeyBytes() { return DecodePublicKeyDigest(kKeyHex); }

TEST(TrustedCertificateListTest, ReadsIdsAndKeys) {
  TrustedCertificateList list;
  ASSERT_TRUE(GetTrustedFiles(R"({"trusted_info": {"certificates": [
      {"id": "fhGpwwC1LwwdTg==", "pub_key": "F223CD5CB5C2FA6E68EFDB15E17104928B4202FE09695552EDA3D92B56D566AC"},
      {"id": "fhGpw1oXwN4B"}]}, "other": 1})",
                              &list));
  ASSERT_EQ(list.size(), 2u);
  const std::string sha256_id("\x7E\x11\xA9\xC3\x00\xB5\x2F\x0C\x1D\x4E", 10);
  ASSERT_TRUE(list.count(sha256_id));
  EXPECT_EQ(list.at(sha256_id).id, sha256_id);
  EXPECT_EQ(list.at(sha256_id).public_key_sha256, KeyBytes());
  EXPECT_EQ(list.at(std::string("\x7E\x11\xA9\xC3\x5A\x17\xC0\xDE\x01", 9)).public_key_sha256, "");
}

TEST(TrustedCertificateListTest, SkipsEntriesWithoutAUsableIdSilently) {
  ScopedLogCapture log;
  TrustedCertificateList list;
  ASSERT_TRUE(GetTrustedFiles(R"({"trusted_info": {"certificates": [
      {"id": "fhGpwwC1LwwdTg"}, {"id": "fhGp wwC1LwwdTg=="}, {"id": 5}, {"pub_key": "00"}, "AAAA", [],
      {"id": "AQID"}]}})",
                              &list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list.count("\x01\x02\x03"));
  EXPECT_TRUE(log.records().empty());
}

TEST(TrustedCertificateListTest, KeyOtherThanSixtyFourHexDigitsLeavesTheEntryWithoutKey) {
  std::string key63 = std::string(kKeyHex).substr(0, 63);
  std::string key65 = std::string(kKeyHex) + "0";
  std::string not_hex = std::string(kKeyHex).substr(0, 63) + "g";
  TrustedCertificateList list;
  ASSERT_TRUE(GetTrustedFiles(R"({"trusted_info": {"certificates": [
      {"id": "AQ==", "pub_key": ")" + key63 + R"("}, {"id": "Ag==", "pub_key": ")" + key65 +
                                  R"("}, {"id": "Aw==", "pub_key": ")" + not_hex +
                                  R"("}, {"id": "BA==", "pub_key": 7}]}})",
                              &list));
  ASSERT_EQ(list.size(), 4u);
  for (const auto& [id, entry] : list) EXPECT_TRUE(entry.public_key_sha256.empty());
}

TEST(TrustedCertificateListTest, FirstOfTwoEqualIdsStays) {
  TrustedCertificateList list;
  ASSERT_TRUE(GetTrustedFiles(std::string(R"({"trusted_info": {"certificates": [
      {"id": "AQ==", "pub_key": ")") + kKeyHex + R"("}, {"id": "AQ=="}]}})",
                              &list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.begin()->second.public_key_sha256, KeyBytes());
}

TEST(TrustedCertificateListTest, EmptyArrayIsAnEmptyList) {
  TrustedCertificateList list{{"x", {"x", ""}}};
  EXPECT_TRUE(GetTrustedFiles(R"({"trusted_info": {"certificates": []}})", &list));
  EXPECT_TRUE(list.empty());
}

TEST(TrustedCertificateListTest, RejectsDocumentsOfAnotherShape) {
  for (const char* json : {R"([1])", R"({"certificates": []})", R"({"trusted_info": []})",
                           R"({"trusted_info": {"certificates": {}}})", R"({"trusted_info": {}})"}) {
    ScopedLogCapture log;
    TrustedCertificateList list{{"x", {"x", ""}}};
    EXPECT_FALSE(GetTrustedFiles(json, &list)) << json;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(log.texts(), std::vector<std::string>{"Incorrect format of json"}) << json;
  }
}

TEST(TrustedCertificateListTest, LogsTheParserMessage) {
  ScopedLogCapture log;
  TrustedCertificateList list;
  EXPECT_FALSE(GetTrustedFiles("{\"trusted_info\": }", &list));
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, LOG_WARNING);
  EXPECT_EQ(log.records()[0].function, "GetTrustedFiles");
  EXPECT_EQ(log.texts()[0].rfind("Failed to read json : Line: 1, column: 18, ", 0), 0u) << log.texts()[0];
}

TEST(TrustedCertificateListTest, ToleratesTheInstallerJsonDialect) {
  TrustedCertificateList list;
  EXPECT_TRUE(GetTrustedFiles("// signed list\n{\"trusted_info\": {/* c */ \"certificates\": [{\"id\": \"AQ==\"}]}}",
                              &list));
  EXPECT_EQ(list.size(), 1u);
}

}  // namespace
}  // namespace ostrel
