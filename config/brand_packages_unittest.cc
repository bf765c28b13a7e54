// The loading sequence of the brand information from packages.
#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/resource_source.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/cabinet_test_util.h"
#include "config/config_constants.h"
#include "config/config_test_util.h"
#include "config/maker_hosts.h"
#include "resources/resource_ids.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::MakeCabinet;
using testing::ScopedFakeOsFacts;
using testing::ScopedLogCapture;
using testing::ScopedProductValues;
using testing::ScopedTempDir;

std::string Package(const std::string& name, const std::string& json) {
  return MakeCabinet({{name, "//" + std::string(172, 'S') + "\r\n" + json}});
}

struct Region {
  int32_t geo;
  const wchar_t* iso2;
  uint16_t ui_language;
  const char* brand;
};

TEST(BrandPackagesTest, AutodetectBrandName) {
  const Region kCases[] = {
      {203, L"RU", 0x0422, "ua_uk"}, {203, L"RU", 0x0419, "tarvik"}, {203, L"RU", 0x0409, "tarvik"},
      {241, L"UA", 0x0419, "ua_ru"}, {241, L"UA", 0x0422, "ua_uk"},  {241, L"UA", 0x0409, "ua_uk"},
      {235, L"TR", 0x0409, "tb"},    {94, L"DE", 0x0419, "tarvik"},  {94, L"DE", 0x0422, "ua_uk"},
      {94, L"DE", 0x041f, "tb"},     {-1, L"", 0x041f, "tb"},        {-1, L"", 0x0409, "tarvik"},
      {244, L"US", 0x0819, "tarvik"},
  };
  for (const Region& region : kCases) {
    ScopedFakeOsFacts facts;
    facts.geo_id = region.geo;
    facts.geo_iso2 = region.iso2;
    facts.ui_language = region.ui_language;
    EXPECT_EQ(AutodetectBrandName(), region.brand) << WideToUtf8(region.iso2) << " " << region.ui_language;
  }
}

TEST(BrandPackagesTest, AutodetectLogsRegionAndLocale) {
  ScopedFakeOsFacts facts;
  facts.geo_id = -1;
  facts.ui_language = 0x0409;
  ScopedLogCapture log;
  EXPECT_EQ(AutodetectBrandName(), "tarvik");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"User region: ", "User locale: en",
                                                    "Didn't found brand-name. Use default: tarvik"}));
  // A geo query that does not return exactly three units gives no region.
  facts.geo_id = 241;
  facts.geo_iso2 = L"UA";
  facts.geo_iso2_result = 0;
  facts.ui_language = 0x0419;
  log.Clear();
  EXPECT_EQ(AutodetectBrandName(), "tarvik");
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"User region: ", "User locale: ru",
                                                    "Detected brand-name: tarvik"}));
  for (const auto& record : log.records()) EXPECT_EQ(record.function, "AutodetectBrandName");
}

class BrandPackagesFileTest : public ::testing::Test {
 protected:
  std::wstring work_dir() const { return dir_.path() + L"\\"; }
  std::string ReadWorkFile(const wchar_t* name) const { return testing::ReadFileOrEmpty(work_dir() + name); }

  ScopedTempDir dir_;
  // GetInfo removes the hand-over values.
  ScopedProductValues values_{config::kRegistryBrand, config::kRegistryBrandFile, config::kRegistryPartnerFile,
                              config::kRegistryLanguage};
};

TEST_F(BrandPackagesFileTest, PartnerDocumentComesFirst) {
  InMemoryResourceSource resources;
  std::string partner = Package("partner_config", R"({"brand_id": "partner", "partner_id": "p1",
      "install": {"send_statistics": false}})");
  std::string brand = Package("brand_config", R"({"brand_id": "brand", "brand_name": "b",
      "install": {"send_statistics": true, "make_browser_default": false}})");
  resources.Set(L"BIN", L"#320", partner);
  resources.Set(L"BIN", L"#319", brand);
  ScopedLogCapture log;
  BrandInfo info(work_dir());
  info.GetInfo("", resources);
  EXPECT_EQ(info.brand_id(), "partner");
  EXPECT_EQ(info.brand_name(), "b");
  EXPECT_EQ(info.partner_id(), "p1");
  EXPECT_FALSE(info.sends_statistics());
  EXPECT_FALSE(info.makes_browser_default());
  EXPECT_TRUE(info.partner_package_present());
  EXPECT_TRUE(info.brand_package_present());
  EXPECT_EQ(info.brand_package_path(), work_dir() + L"BrandFile");
  EXPECT_EQ(info.partner_package_path(), work_dir() + L"PartnerFile");
  // The packages are written unchanged.
  EXPECT_EQ(ReadWorkFile(L"PartnerFile"), partner);
  EXPECT_EQ(ReadWorkFile(L"BrandFile"), brand);

  const std::string dir = WideToUtf8(work_dir());
  std::vector<std::string> texts = log.texts();
  auto position = [&](const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) - texts.begin();
  };
  EXPECT_LT(position("Brand package path: " + dir + "BrandFile"), position("Partner package path: " + dir + "PartnerFile"));
  EXPECT_LT(position("Partner package path: " + dir + "PartnerFile"),
            position("Extract Partner package: " + dir + "PartnerFile [" + std::to_string(partner.size()) + "B]"));
  EXPECT_LT(position("Fetching default package"),
            position("Extract Brand package: " + dir + "BrandFile [" + std::to_string(brand.size()) + "B]"));
  EXPECT_LT(position("Extract Brand package: " + dir + "BrandFile [" + std::to_string(brand.size()) + "B]"),
            static_cast<long>(texts.size()));
}

TEST_F(BrandPackagesFileTest, PartnerPackageWithoutItsDocumentStillCounts) {
  InMemoryResourceSource resources;
  std::string partner = Package("brand_config", R"({"brand_id": "wrong"})");
  resources.Set(L"BIN", L"#320", partner);
  resources.Set(L"BIN", L"#319", Package("brand_config", R"({"brand_id": "right"})"));
  BrandInfo info(work_dir());
  info.GetInfo("", resources);
  EXPECT_TRUE(info.partner_package_present());
  EXPECT_EQ(ReadWorkFile(L"PartnerFile"), partner);
  EXPECT_EQ(info.brand_id(), "right");
}

TEST_F(BrandPackagesFileTest, EmptyPackagesCountAsAbsent) {
  InMemoryResourceSource resources;
  resources.Set(L"BIN", L"#320", "");
  resources.Set(L"BIN", L"BRAND_X", "");
  ScopedLogCapture log;
  BrandInfo info(work_dir());
  info.GetInfo("x", resources);
  EXPECT_FALSE(info.partner_package_present());
  EXPECT_FALSE(info.brand_package_present());
  EXPECT_FALSE(FileExists(work_dir() + L"PartnerFile"));
  EXPECT_FALSE(FileExists(work_dir() + L"BrandFile"));
  EXPECT_TRUE(log.Contains("Partner package is empty."));
  EXPECT_TRUE(log.Contains("Fetching defined x package"));
  EXPECT_TRUE(log.Contains("Fetching default package"));
  EXPECT_TRUE(log.Contains("Brand package is empty."));
  info.ApplyDefaults();
  EXPECT_EQ(info.brand_id(), "tarvik");
}

TEST_F(BrandPackagesFileTest, BrokenPackagesAreWrittenButNotApplied) {
  InMemoryResourceSource resources;
  std::string truncated = LoadBinResource(L"BRAND_UA_UK");
  truncated.resize(truncated.size() / 2);
  std::string multi_volume = MakeCabinet({{"brand_config", R"({"brand_id": "half")", 0xfffe, 10}}, {.flags = 2, .announce_huge_size = false});
  resources.Set(L"BIN", L"#320", multi_volume);
  resources.Set(L"BIN", L"BRAND_UA_UK", truncated);
  BrandInfo info(work_dir());
  info.GetInfo("ua_uk", resources);
  EXPECT_TRUE(info.partner_package_present());
  EXPECT_TRUE(info.brand_package_present());
  EXPECT_EQ(ReadWorkFile(L"BrandFile"), truncated);
  EXPECT_EQ(info.brand_id(), "");
  info.ApplyDefaults();
  EXPECT_EQ(info.brand_id(), "tarvik");
}

TEST_F(BrandPackagesFileTest, ShippedPackages) {
  ScopedFakeOsFacts facts;
  facts.geo_id = 241;
  facts.geo_iso2 = L"UA";
  facts.ui_language = 0x0419;
  {
    ScopedLogCapture log;
    BrandInfo info(work_dir());
    info.GetInfo("auto");
    EXPECT_TRUE(log.Contains("Fetching autodetected UA_RU package"));
    EXPECT_FALSE(log.Contains("Fetching default package"));
    EXPECT_EQ(info.brand_id(), "ua-ru");
    EXPECT_EQ(info.brand_name(), "ua_ru");
    EXPECT_EQ(info.interface_language(), "ru");
    EXPECT_FALSE(info.partner_package_present());
    EXPECT_EQ(ReadWorkFile(L"BrandFile"), LoadBinResource(L"BRAND_UA_RU"));
  }
  {
    ScopedLogCapture log;
    BrandInfo info(work_dir());
    info.GetInfo("ua_uk");
    EXPECT_TRUE(log.Contains("Fetching defined ua_uk package"));
    EXPECT_EQ(info.brand_id(), "ua-uk");
    EXPECT_EQ(info.interface_language(), "uk");
  }
  {
    // No brand name: the default package, whose URLs point at the maker's
    // hosts of this build.
    ScopedLogCapture log;
    BrandInfo info(work_dir());
    info.GetInfo("");
    EXPECT_TRUE(log.Contains("Fetching default package"));
    info.ApplyDefaults();
    EXPECT_EQ(info.brand_id(), "tarvik");
    EXPECT_EQ(info.interface_language(), "ru");  // from the UI language
    EXPECT_EQ(info.setup_url(), std::string(hosts::kDownloadCdn) + "/browser/tarvik/browser-setup.arc");
    EXPECT_EQ(info.setup_url64().rfind(hosts::kDownloadCdn, 0), 0u);
    EXPECT_EQ(info.license_url().rfind(hosts::kLegalDocuments, 0), 0u);
    EXPECT_EQ(info.abt_url().rfind(hosts::kBrowserApiNational, 0), 0u);
  }
}

TEST_F(BrandPackagesFileTest, AutodetectedBrandWithoutPackageFallsBack) {
  ScopedFakeOsFacts facts;
  facts.geo_id = 241;
  facts.geo_iso2 = L"UA";
  facts.ui_language = 0x0419;
  InMemoryResourceSource resources;
  resources.Set(L"BIN", L"#319", Package("brand_config", R"({"brand_id": "default"})"));
  ScopedLogCapture log;
  BrandInfo info(work_dir());
  info.GetInfo("auto", resources);
  EXPECT_TRUE(log.Contains("Fetching autodetected UA_RU package"));
  EXPECT_TRUE(log.Contains("Fetching default package"));
  EXPECT_EQ(info.brand_id(), "default");
}

TEST_F(BrandPackagesFileTest, HandOverValues) {
  StoreProductValue(config::kRegistryBrand, L"stale");
  StoreProductValue(config::kRegistryBrandFile, L"stale");
  StoreProductValue(config::kRegistryPartnerFile, L"stale");
  StoreProductValue(config::kRegistryLanguage, L"xx");
  InMemoryResourceSource resources;
  resources.Set(L"BIN", L"#319", Package("brand_config", R"({"brand_name": "ua_uk", "languages": {"interface": "uk"}})"));
  BrandInfo info(work_dir());
  info.GetInfo("", resources);
  // GetInfo drops what an earlier run left, except the language.
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryBrand));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryBrandFile));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryPartnerFile));
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryLanguage), L"xx");

  info.SaveLanguageToRegistry();
  info.SaveToRegistry();
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryLanguage), L"uk");
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryBrand), L"ua_uk");
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryBrandFile), work_dir() + L"BrandFile");
  // No partner package, so no partner value.
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryPartnerFile));

  InMemoryResourceSource with_partner;
  with_partner.Set(L"BIN", L"#320", Package("partner_config", "{}"));
  BrandInfo partnered(work_dir());
  partnered.GetInfo("", with_partner);
  partnered.SaveToRegistry();
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryPartnerFile), work_dir() + L"PartnerFile");

  partnered.RemoveFromRegistry();
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryBrand));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryBrandFile));
  EXPECT_FALSE(ScopedProductValues::Read(config::kRegistryPartnerFile));
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryLanguage), L"uk");
}

}  // namespace
}  // namespace ostrel
