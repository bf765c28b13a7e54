#include "config/cabinet_extractor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/resource_source.h"
#include "config/cabinet_test_util.h"
#include "resources/resource_ids.h"

namespace ostrel {
namespace {

using testing::CabinetFile;
using testing::MakeCabinet;

bool Extract(const std::string& cabinet, CabinetFiles* files, const std::string& wanted = std::string()) {
  return ExtractFilesFromCabinet(cabinet.data(), cabinet.size(), files, wanted);
}

TEST(CabinetExtractorTest, ExtractsTheWantedFileOrAll) {
  std::string big(70000, 'z');  // spans three data blocks
  std::string cabinet = MakeCabinet({{"brand_config", "//sig\r\n{}"}, {"other", big}, {"Brand_Config", "x"}});
  CabinetFiles files = {{"stale", "entry"}};
  ASSERT_TRUE(Extract(cabinet, &files, "brand_config"));
  EXPECT_EQ(files, (CabinetFiles{{"brand_config", "//sig\r\n{}"}}));

  ASSERT_TRUE(Extract(cabinet, &files));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files["other"], big);
  EXPECT_EQ(files["Brand_Config"], "x");

  ASSERT_TRUE(Extract(cabinet, &files, "partner_config"));
  EXPECT_TRUE(files.empty());
}

TEST(CabinetExtractorTest, EmptyInputsFail) {
  CabinetFiles files = {{"stale", "entry"}};
  EXPECT_FALSE(ExtractFilesFromCabinet(nullptr, 0, &files));
  EXPECT_TRUE(files.empty());
  std::string not_a_cabinet = "this is not a cabinet at all, just some text of a reasonable length";
  EXPECT_FALSE(Extract(not_a_cabinet, &files));
  // A well-formed cabinet without folders or files holds nothing.
  Extract(MakeCabinet({}), &files);
  EXPECT_TRUE(files.empty());
}

TEST(CabinetExtractorTest, MultiVolumeCabinetsStop) {
  CabinetFiles files;
  // A file continued into the next volume: the library asks for it and is
  // refused. Files completed before are kept.
  std::string next = MakeCabinet({{"first", "complete"}, {"brand_config", "half", 0xfffe, 4}}, {.flags = 2, .announce_huge_size = false});
  EXPECT_FALSE(Extract(next, &files));
  EXPECT_EQ(files.count("brand_config"), 0u);
  EXPECT_EQ(files["first"], "complete");
  // A file continued from the previous volume.
  std::string previous = MakeCabinet({{"brand_config", "rest", 0xfffd, 4}}, {.flags = 1, .announce_huge_size = false});
  EXPECT_FALSE(Extract(previous, &files));
  EXPECT_TRUE(files.empty());
}

TEST(CabinetExtractorTest, HugeAnnouncedSizeDoesNotExhaustMemory) {
  CabinetFiles files;
  EXPECT_FALSE(Extract(MakeCabinet({{"brand_config", "tiny"}}, {.flags = 0, .announce_huge_size = true}), &files));
  EXPECT_TRUE(files.empty());
}

TEST(CabinetExtractorTest, TruncatedAndCorruptCabinetsNeverCrash) {
  std::string cabinet = MakeCabinet({{"a", "alpha"}, {"brand_config", "{\"brand_id\": \"x\"}"}});
  CabinetFiles files;
  for (size_t size = 0; size < cabinet.size(); ++size) {
    EXPECT_FALSE(ExtractFilesFromCabinet(cabinet.data(), size, &files, "brand_config")) << size;
    EXPECT_TRUE(files.empty()) << size;
  }
  for (size_t at = 0; at < cabinet.size(); ++at) {
    std::string corrupt = cabinet;
    corrupt[at] = static_cast<char>(corrupt[at] ^ 0xa5);
    Extract(corrupt, &files);
  }
}

// Found by fuzz_replay (testing/fuzz_corpus/cabinet_extractor): a file entry
// whose folder index lies past the folder list made the library read
// through a null pointer. Such a table is refused before the library sees it.
TEST(CabinetExtractorTest, FileInAMissingFolderIsRefused) {
  CabinetFiles files;
  EXPECT_FALSE(Extract(MakeCabinet({{"a", "alpha"}, {"brand_config", "{}", /*folder=*/1}}), &files));
  EXPECT_TRUE(files.empty());
  EXPECT_FALSE(Extract(MakeCabinet({{"brand_config", "{}", /*folder=*/0xfffc}}), &files));
}

// The packages the executable carries are real MSZIP cabinets.
TEST(CabinetExtractorTest, ShippedPackagesHoldASignedDocument) {
  for (const std::wstring& name : {ResourceIdName(IDR_DEFAULT_BRAND_PACKAGE), std::wstring(L"BRAND_TARVIK"),
                                   std::wstring(L"BRAND_UA_UK"), std::wstring(L"BRAND_UA_RU"),
                                   std::wstring(L"BRAND_TB")}) {
    std::string package = LoadBinResource(name);
    ASSERT_GT(package.size(), 36u);
    EXPECT_EQ(package.substr(0, 4), "MSCF");
    EXPECT_EQ(package[24], 3);  // format 1.3
    EXPECT_EQ(package[25], 1);
    EXPECT_EQ(package[36 + 6], 1) << "MSZIP";
    CabinetFiles files;
    ASSERT_TRUE(Extract(package, &files, "brand_config"));
    const std::string& document = files["brand_config"];
    ASSERT_GT(document.size(), 2 + 172 + 2u);
    EXPECT_EQ(document.substr(0, 2), "//");
    EXPECT_EQ(document.substr(2 + 172, 2), "\r\n");
    EXPECT_EQ(document.find('\n'), 2 + 172 + 1);
    EXPECT_EQ(document.back(), '\n');
    EXPECT_EQ(document[document.size() - 2], '\r');
  }
}

TEST(CabinetExtractorTest, CorruptCompressedPackagesNeverCrash) {
  std::string package = LoadBinResource(IDR_DEFAULT_BRAND_PACKAGE);
  ASSERT_FALSE(package.empty());
  CabinetFiles files;
  for (size_t size = 0; size < package.size(); size += 7) {
    EXPECT_FALSE(ExtractFilesFromCabinet(package.data(), size, &files, "brand_config")) << size;
  }
  for (size_t at = 0; at < package.size(); ++at) {
    std::string corrupt = package;
    corrupt[at] = static_cast<char>(corrupt[at] ^ 0xff);
    Extract(corrupt, &files, "brand_config");
  }
}

}  // namespace
}  // namespace ostrel
