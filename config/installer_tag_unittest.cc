#include "config/installer_tag.h"

#include <gtest/gtest.h>

#include <random>

#include "config/installer_tag_test_util.h"

namespace ostrel {
namespace {

using namespace ostrel::testing;

DummyCertificateTagStatus Extract(const std::string& file, std::string* tag) {
  return ExtractDummyCertificateTag(file, tag);
}

TEST(DummyCertificateTagTest, ReadsTheSlotOfEachDummyCertificate) {
  std::string tag = "x";
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(DummyCertificate(""))), &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "");

  std::string one = PeWithCertificateTable(ContentInfo(OtherCertificate() + DummyCertificate("a=1&b=2")));
  EXPECT_EQ(Extract(one, &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "a=1&b=2");

  // Two dummy certificates concatenate, whatever lies between them.
  std::string two = PeWithCertificateTable(
      ContentInfo(DummyCertificate("a=1") + OtherCertificate() + DummyCertificate("&b=2")));
  EXPECT_EQ(Extract(two, &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "a=1&b=2");

  // The position of the table in the directory differs for PE32+.
  std::string plus = PeWithCertificateTable(ContentInfo(DummyCertificate("k=v")), {.pe32_plus = true, .after_entry = ""});
  EXPECT_EQ(Extract(plus, &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "k=v");
}

TEST(DummyCertificateTagTest, TagFillingTheWholeSlot) {
  std::string text(10240, 'q');
  std::string cert = Certificate(DummyPrefix(), Slot(text, 10242));
  std::string tag;
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(cert)), &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, text);
}

TEST(DummyCertificateTagTest, SlotsThatCannotBeReachedContributeNothing) {
  std::string tag;
  // Slot length beyond the OCTET STRING, or not even the two length bytes.
  std::string overlong = Certificate(DummyPrefix(), Be16(10) + "abc");
  std::string one_byte = Certificate(DummyPrefix(), "\x01");
  std::string three_extensions = Certificate(DummyPrefix(), Slot("a=1"), 3);
  // The prefix differs in its last byte.
  std::string prefix = DummyPrefix();
  prefix.back() = 'E';
  std::string not_dummy = Certificate(prefix, Slot("a=1"));
  std::string set = overlong + one_byte + three_extensions + not_dummy + DummyCertificate("ok=1");
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(set)), &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "ok=1");
}

TEST(DummyCertificateTagTest, SetEndingInsideTheLastCertificateIsInvalid) {
  std::string tag = "x";
  std::string file = PeWithCertificateTable(ContentInfo(DummyCertificate("a=1") + DummyCertificate("b=2"), 1));
  EXPECT_EQ(Extract(file, &tag), DummyCertificateTagStatus::kInvalidCertificateSet);
  EXPECT_EQ(tag, "");
}

TEST(DummyCertificateTagTest, ShortTbsCertificateIsSkippedWithoutReadingPastIt) {
  // A non-dummy certificate at the very end of the table whose TBSCertificate
  // is far shorter than the prefix.
  std::string tag;
  std::string file = PeWithCertificateTable(ContentInfo(DummyCertificate("a=1") + OtherCertificate()));
  EXPECT_EQ(Extract(file, &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "a=1");
  // An empty certificates set holds no tag.
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo("")), &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "");
}

TEST(DummyCertificateTagTest, BadLengthEncodings) {
  std::string tag;
  // Five length bytes, and the indefinite form, for a certificate.
  std::string five = std::string("\x30\x85\x00\x00\x00\x00\x05", 7) + "abcde";
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(five)), &tag),
            DummyCertificateTagStatus::kInvalidCertificateSet);
  std::string indefinite = std::string("\x30\x80\x00\x00", 4);
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(indefinite)), &tag),
            DummyCertificateTagStatus::kInvalidCertificateSet);
  // A four-byte length that wraps a 32-bit offset.
  std::string huge = std::string("\x30\x84\xff\xff\xff\xf0", 6);
  EXPECT_EQ(Extract(PeWithCertificateTable(ContentInfo(huge)), &tag),
            DummyCertificateTagStatus::kInvalidCertificateSet);
}

TEST(DummyCertificateTagTest, CertificateTableOutOfBounds) {
  std::string tag;
  std::string good = PeWithCertificateTable(ContentInfo(DummyCertificate("a=1")));
  EXPECT_EQ(Extract("", &tag), DummyCertificateTagStatus::kNoCertificateTable);
  EXPECT_EQ(Extract(good.substr(0, 63), &tag), DummyCertificateTagStatus::kNoCertificateTable);
  EXPECT_EQ(Extract(good.substr(0, good.size() - 1), &tag), DummyCertificateTagStatus::kNoCertificateTable);

  const size_t security = 0x40 + 24 + 96 + 32;
  std::string no_table = good;
  PutLe32(&no_table, security, 0);
  EXPECT_EQ(Extract(no_table, &tag), DummyCertificateTagStatus::kNoCertificateTable);
  std::string wrapping = good;
  PutLe32(&wrapping, security, 0xfffffff8);
  PutLe32(&wrapping, security + 4, 0x100);
  EXPECT_EQ(Extract(wrapping, &tag), DummyCertificateTagStatus::kNoCertificateTable);
  std::string bad_lfanew = good;
  PutLe32(&bad_lfanew, 60, 0xfffffffe);
  EXPECT_EQ(Extract(bad_lfanew, &tag), DummyCertificateTagStatus::kNoCertificateTable);
  std::string bad_magic = good;
  PutLe16(&bad_magic, 0x40 + 24, 0x10c);
  EXPECT_EQ(Extract(bad_magic, &tag), DummyCertificateTagStatus::kNoCertificateTable);
  // A ContentInfo longer than the table that holds it.
  std::string long_content = good;
  PutLe32(&long_content, security + 4, 8 + 4 + 10);
  long_content.resize(long_content.size() + 64);  // bytes after the table must not count
  EXPECT_EQ(Extract(long_content, &tag), DummyCertificateTagStatus::kNoCertificateTable);
}

TEST(DummyCertificateTagTest, EveryTruncationAndMutationIsHandled) {
  std::string file = PeWithCertificateTable(
      ContentInfo(OtherCertificate() + DummyCertificate("a=1") + DummyCertificate("b=2")));
  std::string tag;
  for (size_t size = 0; size < file.size(); ++size) {
    EXPECT_NE(Extract(file.substr(0, size), &tag), DummyCertificateTagStatus::kOk) << size;
  }
  std::mt19937 random(4);
  for (int i = 0; i < 20000; ++i) {
    std::string mutated = file;
    for (int j = 0; j < 3; ++j) mutated[random() % mutated.size()] = static_cast<char>(random());
    Extract(mutated, &tag);
    FindTrailerTag(mutated);
  }
}

TEST(TrailerTagTest, ReadsTheBlockAfterTheFirstEntry) {
  std::string file = PeWithCertificateTable(ContentInfo(DummyCertificate("")), {.pe32_plus = false, .after_entry = TrailerBlock("a=1&b=2")});
  EXPECT_EQ(FindTrailerTag(file), std::optional<std::string_view>("a=1&b=2"));
  std::string empty = PeWithCertificateTable(ContentInfo(""), {.pe32_plus = false, .after_entry = TrailerBlock("")});
  EXPECT_EQ(FindTrailerTag(empty), std::optional<std::string_view>(""));
}

TEST(TrailerTagTest, RejectsBadBlocks) {
  std::string content = ContentInfo(DummyCertificate(""));
  // No block, a wrong magic, a declared length past the end of the file.
  EXPECT_FALSE(FindTrailerTag(PeWithCertificateTable(content)));
  std::string wrong = TrailerBlock("a=1");
  wrong[0] = 'q';
  EXPECT_FALSE(FindTrailerTag(PeWithCertificateTable(content, {.pe32_plus = false, .after_entry = wrong})));
  std::string overlong = std::string(kTrailerTagMagic, 4) + Be16(4) + "a=1";
  EXPECT_FALSE(FindTrailerTag(PeWithCertificateTable(content, {.pe32_plus = false, .after_entry = overlong})));
  std::string good = PeWithCertificateTable(content, {.pe32_plus = false, .after_entry = TrailerBlock("a=1")});
  for (size_t size = 0; size < good.size(); ++size) EXPECT_FALSE(FindTrailerTag(good.substr(0, size))) << size;
  // The ContentInfo must use the two-byte length form.
  std::string short_form = good;
  size_t table = 0x40 + 24 + 96 + 16 * 8;
  short_form[table + 9] = static_cast<char>(0x83);
  EXPECT_FALSE(FindTrailerTag(short_form));
}

TEST(TrailerTagTest, OnlyPe32IsSupported) {
  std::string file = PeWithCertificateTable(ContentInfo(DummyCertificate("d=1")),
                                            {.pe32_plus = true, .after_entry = TrailerBlock("t=1")});
  EXPECT_FALSE(FindTrailerTag(file));
  std::string tag;
  EXPECT_EQ(ExtractDummyCertificateTag(file, &tag), DummyCertificateTagStatus::kOk);
  EXPECT_EQ(tag, "d=1");
}

}  // namespace
}  // namespace ostrel
