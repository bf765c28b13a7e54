#include "reporting/install_stat_sender.h"

#include <gtest/gtest.h>

#include "base/build_version.h"
#include "base/scoped_handle.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "testing/log_capture.h"
#include "testing/registry_override.h"

namespace ostrel {
namespace {

using testing::ScopedHkcuOverride;
using testing::ScopedLogCapture;

#define REQUIRE_PRIVATE_HKCU(override) \
  ASSERT_TRUE((override).active()) << "RegOverridePredefKey is needed to keep these tests off the user's registry"

InstallStatSender MakeSender(const std::wstring& hand_over = L"", int32_t type = kInstallerTypeLite) {
  return InstallStatSender(0, type, hand_over, StatParams(), kStatPathKindDefault, "{6F2C-AB}");
}

TEST(InstallStatSenderTest, StandingParametersOfALiteInstaller) {
  ScopedHkcuOverride hkcu;
  REQUIRE_PRIVATE_HKCU(hkcu);
  StoreProductValue(kProductVersionValueName, L"23.1.0.1");
  InstallStatSender sender = MakeSender();
  EXPECT_EQ((StatParams{{"installer_type", L"lite"},
                        {"launched", L"false"},
                        {"lite_ver", AsciiToWide(TARVIK_INSTALLER_VERSION_STRING)},
                        {"old_ver", L"23.1.0.1"},
                        {"ui", L"6F2C-AB"}}),
            sender.params());

  // "ypv" (the version being replaced) comes before "pv".
  StoreProductValue(kPreviousVersionValueName, L"22.9.0.0");
  EXPECT_EQ(L"22.9.0.0", MakeSender().GetParam("old_ver"));
}

TEST(InstallStatSenderTest, HandOverValuesComeFirstButRunFactsAreRefreshed) {
  ScopedHkcuOverride hkcu;
  REQUIRE_PRIVATE_HKCU(hkcu);
  StoreProductValue(kPreviousVersionValueName, L"22.9.0.0");
  InstallStatSender sender = MakeSender(L"old_ver\n\nui\nstale\nlaunched\ntrue\nbrand_id\ntarvik\npartner_id\n");
  EXPECT_EQ(L"", sender.GetParam("old_ver"));  // handed over, even empty
  EXPECT_EQ(L"6F2C-AB", sender.GetParam("ui"));
  EXPECT_EQ(L"false", sender.GetParam("launched"));
  EXPECT_EQ(L"tarvik", sender.GetParam("brand_id"));
  EXPECT_EQ(0u, sender.params().count("partner_id"));

  // An updater keeps a handed-over launched and reports its own version as ver.
  InstallStatSender updater = MakeSender(L"launched\ntrue\n", kInstallerTypeUpdater);
  EXPECT_EQ(L"true", updater.GetParam("launched"));
  EXPECT_EQ(L"updater", updater.GetParam("installer_type"));
  EXPECT_EQ(AsciiToWide(TARVIK_INSTALLER_VERSION_STRING), updater.GetParam("ver"));
  EXPECT_EQ(0u, updater.params().count("lite_ver"));
  EXPECT_EQ(L"false", MakeSender(L"", kInstallerTypeUpdater).GetParam("launched"));
}

TEST(InstallStatSenderTest, LaunchedWhenTheBrowserHoldsTheEventOfItsCommandLine) {
  EXPECT_EQ(L"", LaunchEventName(L"\"\""));
  EXPECT_EQ(L"Global\\a", LaunchEventName(L"\"a\""));
  // Only the very first and very last quotation marks go.
  EXPECT_EQ(L"Global\\c:!program files!tarvik!browser.exe\" --from-installer",
            LaunchEventName(L"\"C:\\Program Files\\Tarvik\\Browser.exe\" --FROM-INSTALLER"));

  ScopedHkcuOverride hkcu;
  REQUIRE_PRIVATE_HKCU(hkcu);
  std::wstring folder = L"C:\\Test " + std::to_wstring(::GetCurrentProcessId()) + L"\\Browser.exe";
  StoreProductValue(kLaunchCommandLineValueName, L"\"" + folder + L"\" --Profile=\"x\"");
  EXPECT_EQ(L"false", MakeSender().GetParam("launched"));

  std::wstring name = L"Global\\c:!test " + std::to_wstring(::GetCurrentProcessId()) + L"!browser.exe\" --profile=\"x";
  ScopedKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(event.IsValid());
  EXPECT_EQ(L"true", MakeSender().GetParam("launched"));

  StoreProductValue(kLaunchCommandLineValueName, L"ab");
  EXPECT_EQ(L"false", MakeSender().GetParam("launched"));
}

TEST(InstallStatSenderTest, QueryUrlLogsTheParametersAndEscapesEachItem) {
  ScopedHkcuOverride hkcu;
  REQUIRE_PRIVATE_HKCU(hkcu);
  InstallStatSender sender(0, kInstallerTypeLite, L"", {{"brand_id", L"tarvik"}}, kStatPathKindDefault, "U");
  ScopedLogCapture log;
  std::wstring url = sender.GetQueryUrl(
      {{"brand_id", L"other"}, {"error", L"attempt-1-x=y,z"}, {"url", L"https://h:1/a b?c=d#e"}});
  std::wstring expected_prefix = AsciiToWide(hosts::kBrowserApiInternational) +
                                 L"/installstats/send/dtype=stred/pid=457/cid=72992/path=extended_stat/vars=";
  ASSERT_EQ(expected_prefix, url.substr(0, expected_prefix.size())) << url;
  EXPECT_NE(std::wstring::npos, url.find(L"/vars=-brand_id=tarvik,")) << url;
  EXPECT_NE(std::wstring::npos, url.find(L",-error=attempt_1_x_y_z,")) << url;
  EXPECT_NE(std::wstring::npos, url.find(L",-url=https:%2F%2Fh:1%2Fa%20b%3Fc_d%23e/*")) << url;

  std::vector<std::string> lines = log.texts();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("InstallStatSender::Send:", lines[0]);
  std::vector<std::string> entries(lines.begin() + 1, lines.end());
  EXPECT_EQ((std::vector<std::string>{"brand_id=tarvik", "error=attempt-1-x=y,z", "installer_type=lite",
                                      "launched=false", "lite_ver=" TARVIK_INSTALLER_VERSION_STRING, "old_style=0",
                                      "old_ver=", "ui=U", "url=https://h:1/a b?c=d#e"}),
            entries);

  sender.set_path_kind(kStatPathKindDialog);
  EXPECT_NE(std::wstring::npos, sender.GetQueryUrl({}).find(L"/cid=72696/path=qobrowser_reinstall_dialog/vars="));
}

TEST(InstallStatSenderTest, TextThatDoesNotFitTheEscapeBufferIsSentEmpty) {
  EXPECT_EQ(std::wstring(2083, L'a'), EscapeStatSegment(std::wstring(2083, L'a')));
  EXPECT_EQ(L"", EscapeStatSegment(std::wstring(2084, L'a')));
  EXPECT_EQ(L"", EscapeStatSegment(std::wstring(2080, L'a') + L"   "));  // fits only unescaped
}

TEST(InstallStatSenderTest, HandOverValueIsRemovedWithTheSender) {
  ScopedHkcuOverride hkcu;
  REQUIRE_PRIVATE_HKCU(hkcu);
  {
    InstallStatSender sender = MakeSender();
    ASSERT_TRUE(StoreProductValue(kInstallStatValueName, sender.SerializeStatParams()));
  }
  std::wstring value;
  EXPECT_FALSE(ReadValueFromRegistry(ProductKey(), kInstallStatValueName, &value));
  {
    InstallStatSender updater = MakeSender(L"", kInstallerTypeUpdater);
    ASSERT_TRUE(StoreProductValue(kInstallStatValueName, L"a\nb\n"));
  }
  EXPECT_EQ(L"a\nb\n", ReadProductValue(kInstallStatValueName));
}

}  // namespace
}  // namespace ostrel
