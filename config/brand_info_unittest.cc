#include "config/brand_info.h"

#include <gtest/gtest.h>

#include "base/installer_command_line.h"
#include "base/utf_string_conversions.h"
#include "config/distrib_info_params.h"
#include "config/maker_hosts.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ScopedFakeOsFacts;
using testing::ScopedLogCapture;

// Parameters given as a switch, so no tag is read; the dump goes to a
// directory of its own.
class TestParams : private testing::ScopedTempDir, public DistribInfoParams {
 public:
  explicit TestParams(const std::string& text) : DistribInfoParams(path() + L"\\") {
    if (text.empty()) return;
    InstallerCommandLine command_line;
    command_line.PutSwitch("distr-info-params", text);
    Load(command_line);
  }
  void StoreInRegistry(const std::string&) const override {}
  std::wstring ExecutablePath() const override { return L""; }
};

TEST(BrandInfoTest, SignatureLineIsAComment) {
  const std::string document = "{\r\n  \"brand_id\": \"ua\",\r\n  \"install\": {\"setup_url\": \"https://x/a\"}\r\n}\r\n";
  BrandInfo signed_info(L"C:\\work\\");
  signed_info.ApplyBrandInfo("//" + std::string(172, 'A') + "\r\n" + document);
  BrandInfo plain_info(L"C:\\work\\");
  plain_info.ApplyBrandInfo(document);
  EXPECT_EQ(signed_info.brand_id(), "ua");
  EXPECT_EQ(signed_info.setup_url(), "https://x/a");
  EXPECT_EQ(plain_info.brand_id(), signed_info.brand_id());
  EXPECT_EQ(plain_info.setup_url(), signed_info.setup_url());
}

TEST(BrandInfoTest, FirstDocumentWins) {
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"brand_id": "a", "install": {"send_statistics": false}})");
  info.ApplyBrandInfo(R"({"brand_id": "b", "brand_name": "B", "install": {"send_statistics": true}})");
  EXPECT_EQ(info.brand_id(), "a");
  EXPECT_EQ(info.brand_name(), "B");
  EXPECT_EQ(info.send_statistics(), kTriStateFalse);
  EXPECT_FALSE(info.sends_statistics());
}

TEST(BrandInfoTest, InstallPathsMayBeWrittenAtTopLevel) {
  BrandInfo top(L"");
  top.ApplyBrandInfo(R"({"send_statistics": false, "setup_url64": "u64", "qopin_trial_state": "2"})");
  EXPECT_EQ(top.send_statistics(), kTriStateFalse);
  EXPECT_EQ(top.setup_url64(), "u64");
  EXPECT_EQ(top.qopin_trial_state(), "2");

  // A key that holds a dot is not a path.
  BrandInfo dotted(L"");
  dotted.ApplyBrandInfo(R"({"install.send_statistics": false, "urls.abt": "x"})");
  EXPECT_EQ(dotted.send_statistics(), kTriStateUnset);
  EXPECT_EQ(dotted.abt_url(), "");
  // Only "install." paths fall back: "variations" alone is not "urls.variations".
  dotted.ApplyBrandInfo(R"({"variations": "v", "license_url": "l"})");
  EXPECT_EQ(dotted.variations_url(), "");
  EXPECT_EQ(dotted.license_url(), "l");
}

TEST(BrandInfoTest, ValuesOfTheWrongTypeAreIgnored) {
  BrandInfo info(L"");
  info.ApplyBrandInfo(
      R"({"brand_id": 5, "install": {"make_browser_default": "false", "alternate_installer_title": 1}})");
  EXPECT_EQ(info.brand_id(), "");
  EXPECT_EQ(info.make_browser_default(), kTriStateUnset);
  EXPECT_EQ(info.alternate_installer_title(), kTriStateUnset);
  EXPECT_TRUE(info.makes_browser_default());
  EXPECT_FALSE(info.shows_international_title());
  // A later document may still fill them.
  info.ApplyBrandInfo(R"({"brand_id": "b", "install": {"alternate_installer_title": true}})");
  EXPECT_EQ(info.brand_id(), "b");
  EXPECT_TRUE(info.shows_international_title());
}

TEST(BrandInfoTest, InstallPinIsAnyValueAndStays) {
  ScopedLogCapture log;
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"pin": true})");
  EXPECT_FALSE(info.has_install_pin());
  info.ApplyBrandInfo(R"({"install": {"pin": {}}})");
  EXPECT_TRUE(info.has_install_pin());
  EXPECT_TRUE(log.Contains("Found install.pin"));
  info.ApplyBrandInfo(R"({"install": {}})");
  EXPECT_TRUE(info.has_install_pin());
}

TEST(BrandInfoTest, OverriddenFeaturesFollowTheLastDocument) {
  ScopedLogCapture log;
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"overridden_features": {
      "InstallerNewIdentity2024": {"enabled": false, "params": {"firstScreenOff": true, "dialogsRedesign": true}},
      "InstallerDarkTheme2024": {"enabled": true}}})");
  EXPECT_TRUE(info.first_screen_off());
  EXPECT_TRUE(info.dialogs_redesign());
  EXPECT_TRUE(info.dark_theme_enabled());
  EXPECT_TRUE(log.Contains("InstallerNewIdentity2024: firstScreenOff = 1, dialogsRedesign = 1"));
  EXPECT_TRUE(log.Contains("InstallerDarkTheme2024: enabled = 1"));

  log.Clear();
  info.ApplyBrandInfo(R"({"overridden_features": {
      "InstallerNewIdentity2024": {"params": {"firstScreenOff": false, "dialogsRedesign": "no"}},
      "InstallerDarkTheme2024": {}}})");
  EXPECT_FALSE(info.first_screen_off());
  EXPECT_TRUE(info.dialogs_redesign());
  EXPECT_TRUE(info.dark_theme_enabled());
  EXPECT_TRUE(log.Contains("InstallerNewIdentity2024: firstScreenOff = 0, dialogsRedesign = 1"));
  EXPECT_TRUE(log.Contains("InstallerDarkTheme2024: enabled = 1"));

  // Without the feature objects nothing is logged.
  log.Clear();
  info.ApplyBrandInfo("{}");
  EXPECT_FALSE(log.ContainsPrefix("Installer"));
}

TEST(BrandInfoTest, ForcedTestIdsKeepStringsOfTheFirstList) {
  ScopedLogCapture log;
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"install": {"forced_testids": ["9"]}})");
  EXPECT_TRUE(info.forced_test_ids().empty());
  info.ApplyBrandInfo(R"({"forced_testids": ["1", 2, "3", null, ["4"]]})");
  info.ApplyBrandInfo(R"({"forced_testids": ["5"]})");
  EXPECT_EQ(info.forced_test_ids(), (std::vector<std::string>{"1", "3"}));
  info.LogBrandInfo();
  EXPECT_TRUE(log.Contains("Test ids: 1, 3"));
}

TEST(BrandInfoTest, BadDocumentsAreLoggedAndSkipped) {
  ScopedLogCapture log;
  BrandInfo info(L"");
  info.ApplyBrandInfo("{\"brand_id\": \"a\",,}");
  info.ApplyBrandInfo("[\"brand_id\"]");
  info.ApplyBrandInfo("");
  EXPECT_EQ(info.brand_id(), "");
  std::vector<testing::CapturedRecord> records = log.records();
  ASSERT_EQ(records.size(), 3u);
  for (const auto& record : records) {
    EXPECT_EQ(record.level, LOG_ERROR);
    EXPECT_EQ(record.function, "ApplyBrandInfo");
  }
  EXPECT_EQ(records[0].text.rfind("Failed to load json : Line: 1, column: ", 0), 0u) << records[0].text;
  EXPECT_EQ(records[1].text.rfind("Incorrect format of json - ", 0), 0u) << records[1].text;
  EXPECT_EQ(records[2].text.rfind("Failed to load json : ", 0), 0u) << records[2].text;
}

TEST(BrandInfoTest, LanguageIdFollowsTheInterfaceLanguage) {
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"languages": {"interface": "pt-br"}})");
  EXPECT_EQ(info.interface_language(), "pt-br");
  EXPECT_EQ(info.language_id(), 1033u);
  BrandInfo other(L"");
  other.ApplyBrandInfo(R"({"languages": {"interface": "kk"}})");
  EXPECT_EQ(other.language_id(), 1087u);
}

TEST(BrandInfoTest, ClearKeepsTheWorkDirAndThePackageFlags) {
  ScopedLogCapture log;
  BrandInfo info(L"C:\\t\\");
  EXPECT_EQ(info.language_id(), 0u);
  info.ApplyBrandInfo(R"({"brand_id": "a", "languages": {"interface": "ru"}, "install": {"pin": 1,
      "send_statistics": false}, "forced_testids": ["1"],
      "overridden_features": {"InstallerDarkTheme2024": {"enabled": true}}})");
  info.Clear();
  EXPECT_TRUE(log.Contains("Reset brand info."));
  EXPECT_EQ(log.records().back().function, "Clear");
  EXPECT_EQ(info.brand_id(), "");
  EXPECT_EQ(info.interface_language(), "");
  EXPECT_EQ(info.language_id(), 1033u);
  EXPECT_FALSE(info.has_install_pin());
  EXPECT_FALSE(info.dark_theme_enabled());
  EXPECT_TRUE(info.forced_test_ids().empty());
  EXPECT_EQ(info.send_statistics(), kTriStateUnset);
  EXPECT_EQ(info.work_dir(), L"C:\\t\\");
}

TEST(BrandInfoTest, DefaultsWithoutAnyDocument) {
  ScopedFakeOsFacts facts;
  facts.ui_language = 0x0407;
  ScopedLogCapture log;
  BrandInfo info(L"");
  info.ApplyDefaults();
  const std::string cdn = hosts::kDownloadCdn;
  EXPECT_EQ(info.brand_id(), "tarvik");
  EXPECT_EQ(info.brand_name(), "tarvik");
  EXPECT_EQ(info.partner_id(), "");
  EXPECT_EQ(info.setup_url(), cdn + "/browser/tarvik/browser-setup.arc");
  EXPECT_EQ(info.scenarios_url(), cdn + "/browser/installer/nerin/scenarios/");
  EXPECT_EQ(info.license_url(), std::string(hosts::kLegalDocuments) + "/browser_agreement/");
  EXPECT_EQ(info.conf_policy_url(), std::string(hosts::kLegalDocuments) + "/confidential/");
  EXPECT_EQ(info.variations_url(),
            std::string(hosts::kBrowserApiInternational) + "/content/get/experiments/browser.proto");
  EXPECT_EQ(info.abt_url(), std::string(hosts::kBrowserApiNational) + "/ab/get");
  EXPECT_EQ(info.interface_language(), "de");
  EXPECT_EQ(info.language_id(), 1031u);
  EXPECT_TRUE(info.sends_statistics());
  EXPECT_TRUE(info.makes_browser_default());

  const std::vector<std::string> expected = {
      "Brand id: tarvik",
      "Brand name: tarvik",
      "Setup url: " + cdn + "/browser/tarvik/browser-setup.arc",
      "Versioned setup url: ",
      "Setup url64: ",
      "Versioned setup url64: ",
      "Setup url32: ",
      "Setup url for Win7: ",
      "Default language: de",
      "Nerin install scenarios url: " + cdn + "/browser/installer/nerin/scenarios/",
      "Install slide url by default: ",
      "Install slide url if tagged installer: ",
      "Show international title: 0",
      "Send browser's statistics: 1",
      "Make browser default after import: 1",
      "Preloaded wallpapers url: ",
      "Test ids: ",
  };
  EXPECT_EQ(log.texts(), expected);
  for (const auto& record : log.records()) EXPECT_EQ(record.function, "LogBrandInfo");
}

TEST(BrandInfoTest, DefaultsOnlyFillGaps) {
  ScopedFakeOsFacts facts;
  BrandInfo info(L"");
  info.ApplyBrandInfo(R"({"brand_id": "tb", "languages": {"interface": "tr"}, "urls": {"abt": "https://a/"}})");
  info.ApplyDefaults();
  EXPECT_EQ(info.brand_name(), "tb");
  EXPECT_EQ(info.setup_url(), std::string(hosts::kDownloadCdn) + "/browser/tb/browser-setup.arc");
  EXPECT_EQ(info.interface_language(), "tr");
  EXPECT_EQ(info.language_id(), 1055u);
  EXPECT_EQ(info.abt_url(), "https://a/");
}

TEST(BrandInfoTest, QopinTrialState) {
  ScopedLogCapture log;
  InstallerCommandLine no_switches;
  TestParams no_params("");
  BrandInfo no_pin(L"");
  no_pin.ApplyBrandInfo(R"({"install": {"qopin_trial_state": "3"}})");
  EXPECT_EQ(no_pin.GetQopinTrialState(no_params, no_switches), 1);
  EXPECT_TRUE(log.Contains("No install.pin for qopin_state=3"));
  EXPECT_EQ(BrandInfo(L"").GetQopinTrialState(no_params, no_switches), 1);

  auto state = [&](const std::string& text) {
    BrandInfo info(L"");
    info.ApplyBrandInfo(R"({"install": {"pin": {}, "qopin_trial_state": ")" + text + R"("}})");
    return info.GetQopinTrialState(no_params, no_switches);
  };
  EXPECT_EQ(state("0"), 0);
  EXPECT_EQ(state("3"), 3);
  EXPECT_EQ(state("4"), 0);
  EXPECT_EQ(state("-1"), 0);
  EXPECT_EQ(state("x"), 0);
  EXPECT_EQ(state("2 "), 0);
  EXPECT_EQ(state("99999999999"), 0);

  // With no state in the documents: the switch, then the parameter.
  BrandInfo pinned(L"");
  pinned.ApplyBrandInfo(R"({"install": {"pin": {}}})");
  EXPECT_EQ(pinned.GetQopinTrialState(no_params, no_switches), 0);
  TestParams params("qopin=2");
  EXPECT_EQ(pinned.GetQopinTrialState(params, no_switches), 2);
  InstallerCommandLine with_switch;
  with_switch.PutSwitch("qopin-state", "3");
  EXPECT_EQ(pinned.GetQopinTrialState(params, with_switch), 3);
}

TEST(BrandInfoTest, DerivedUrls) {
  ScopedFakeOsFacts facts;
  facts.ui_language = 0x0419;
  BrandInfo info(L"");
  info.ApplyDefaults();
  const std::string cdn = hosts::kDownloadCdn;
  EXPECT_EQ(info.GetSlidesBaseUrl(""), cdn + "/browser/installer/ru/");
  EXPECT_EQ(info.GetSlidesBaseUrl("dark/"), cdn + "/browser/installer/dark/ru/");
  EXPECT_EQ(info.GetLicenseUrlWithLanguage(),
            Utf8ToWide(std::string(hosts::kLegalDocuments) + "/browser_agreement/?lang=ru"));

  BrandInfo slides(L"");
  slides.ApplyBrandInfo(R"({"install": {"slide_url": "https://s/"}})");
  EXPECT_EQ(slides.GetSlidesBaseUrl("new-identity/"), "https://s/");
}

std::string Site(const std::string& domain) {
  std::string site = hosts::kBrowserWebSiteTemplate;
  site.replace(site.find("{domain}"), 8, domain);
  return site;
}

TEST(BrandInfoTest, ManualDownloadUrl) {
  TestParams params("tablo=5&zz=1&banerid=7&lang=uk&custo=a%20b&partner_id=");
  auto url = [&](const std::string& brand_id) {
    BrandInfo info(L"");
    info.ApplyBrandInfo(R"({"brand_id": ")" + brand_id + R"("})");
    return info.GetManualDownloadUrl(params);
  };
  const std::string query = "/download?banerid=7&custo=a%20b&lang=uk&partner_id=&tablo=5&full=1&code=lite_install_failed";
  EXPECT_EQ(url("ua-uk"), Site("ua") + query);
  EXPECT_EQ(url("tb"), Site("com.tr") + query);
  EXPECT_EQ(url("int"), Site("com") + query);
  EXPECT_EQ(url("by"), Site("by") + query);
  EXPECT_EQ(url("tarvik"), Site("ru") + query);
  EXPECT_EQ(url("other"), Site("ru") + query);

  BrandInfo info(L"");
  EXPECT_EQ(info.GetManualDownloadUrl(TestParams("")), Site("ru") + "/download?full=1&code=lite_install_failed");
}

}  // namespace
}  // namespace ostrel
