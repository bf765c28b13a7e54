#include "install/setup_download_urls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

constexpr char kCdn[] = "https://cdn.example";
constexpr int64_t kDayMicros = 86400000000;

SetupUrlConfig FullConfig() {
  SetupUrlConfig config;
  config.download_cdn = kCdn;
  config.brand_id = "tb";
  config.setup_url = "https://a.example/main.arc";
  config.setup_url64 = "https://a.example/x64.arc";
  config.setup_url_version = "https://a.example/25.2/main.arc";
  config.setup_url_win7 = "https://a.example/win7.arc";
  return config;
}

// "url xN" per entry, for compact expectations.
std::vector<std::string> Describe(const DownloadUrlList& urls) {
  std::vector<std::string> result;
  for (const DownloadUrlEntry& entry : urls) result.push_back(entry.url + " x" + std::to_string(entry.attempts));
  return result;
}

bool Always(const std::string&) { return true; }
bool Never(const std::string&) { return false; }

TEST(DownloadUrlListTest, Windows10WithOnlyTheMainUrlTriesItSixTimes) {
  SetupUrlConfig config;
  config.download_cdn = kCdn;
  config.setup_url = "https://a.example/main.arc";
  for (WindowsVersion version : {VERSION_WIN10, VERSION_WIN10_22H2, VERSION_WIN11_24H2}) {
    EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, version, false, Never)),
              std::vector<std::string>{"https://a.example/main.arc?from_installer=true x6"});
  }
}

TEST(DownloadUrlListTest, OrderOnEveryWindowsVersion) {
  SetupUrlConfig config = FullConfig();
  const std::vector<std::string> windows10 = {
      "https://a.example/x64.arc?from_installer=true x3",
      "https://a.example/25.2/main.arc?from_installer=true x3",
      "https://a.example/main.arc?from_installer=true x3",
  };
  EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, VERSION_WIN10_RS5, true, Always)), windows10);

  std::vector<std::string> windows7 = windows10;
  windows7.insert(windows7.begin(), "https://a.example/win7.arc?from_installer=true x1");
  for (WindowsVersion version : {VERSION_WIN7, VERSION_WIN8, VERSION_WIN8_1})
    EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, version, true, Always)), windows7) << version;

  const std::vector<std::string> xp = {std::string(kCdn) + "/browser-partners/_xp_builds/browser-setup.arc" +
                                       "?from_installer=true x6"};
  for (WindowsVersion version : {VERSION_XP, VERSION_SERVER_2003, VERSION_VISTA}) {
    bool asked = false;
    auto ask = [&](const std::string&) { return asked = true; };
    EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, version, true, ask)), xp) << version;
    EXPECT_FALSE(asked);
  }
}

TEST(DownloadUrlListTest, ArchitectureAndVersionedUrlChooseTheMiddleEntries) {
  SetupUrlConfig config = FullConfig();
  // 32-bit archive, old installer: only the main URL is left, so it gets six attempts.
  EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, VERSION_WIN10, false, Never)),
            std::vector<std::string>{"https://a.example/main.arc?from_installer=true x6"});

  std::string asked_about;
  auto remember = [&](const std::string& url) {
    asked_about = url;
    return false;
  };
  GetDownloadUrlsFromBrandConfig(config, VERSION_WIN10, false, remember);
  EXPECT_EQ(asked_about, config.setup_url_version);
}

TEST(DownloadUrlListTest, MissingUrlsAndDefaults) {
  testing::ScopedLogCapture log;
  SetupUrlConfig config = FullConfig();
  config.setup_url64.clear();
  config.setup_url_win7.clear();
  config.setup_url = "https://a.example/main.arc?lang=ru";
  EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(config, VERSION_WIN8_1, true, Never)),
            (std::vector<std::string>{
                std::string(kCdn) + "/browser/win7/tb/browser-setup.arc?from_installer=true x1",
                // The suffix goes on verbatim, also after a query.
                "https://a.example/main.arc?lang=ru?from_installer=true x3",
            }));
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log.records()[0].text, "Setup url x64 empty!");
  EXPECT_EQ(log.records()[0].function, "GetDownloadUrlsFromBrandConfig");

  config.brand_id.clear();
  EXPECT_EQ(GetDownloadUrlsFromBrandConfig(config, VERSION_WIN7, false, Never)[0].url,
            std::string(kCdn) + "/browser/win7/tarvik/browser-setup.arc?from_installer=true");

  // The main URL is always listed, even empty.
  SetupUrlConfig empty;
  EXPECT_EQ(Describe(GetDownloadUrlsFromBrandConfig(empty, VERSION_WIN10, false, Never)),
            std::vector<std::string>{"?from_installer=true x6"});
}

TEST(VersionedSetupUrlTest, OnlyAYoungInstallerWithARealUrlUsesIt) {
  constexpr int64_t now = 13400000000000000;
  int calls = 0;
  auto created = [&](int64_t age_micros) {
    return [&calls, age_micros](int64_t* micros) {
      ++calls;
      *micros = now - age_micros;
      return true;
    };
  };
  const std::string url = "https://a.example/25.2/main.arc";
  EXPECT_TRUE(IsVersionedSetupUrlAllowed(url, created(29 * kDayMicros), now));
  EXPECT_TRUE(IsVersionedSetupUrlAllowed(url, created(kVersionedSetupUrlMaxAgeMicros - 1), now));
  EXPECT_FALSE(IsVersionedSetupUrlAllowed(url, created(kVersionedSetupUrlMaxAgeMicros), now));
  EXPECT_FALSE(IsVersionedSetupUrlAllowed(url, created(400 * kDayMicros), now));
  EXPECT_TRUE(IsVersionedSetupUrlAllowed(url, created(-kDayMicros), now));  // clock behind the build
  EXPECT_EQ(calls, 5);

  EXPECT_FALSE(IsVersionedSetupUrlAllowed(url, [](int64_t*) { return false; }, now));

  testing::ScopedLogCapture log;
  calls = 0;
  EXPECT_FALSE(IsVersionedSetupUrlAllowed("", created(0), now));
  EXPECT_TRUE(log.records().empty());
  EXPECT_FALSE(IsVersionedSetupUrlAllowed("https://a.example/{version}/main.arc", created(0), now));
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, LOG_WARNING);
  EXPECT_EQ(log.records()[0].text, "Wrong setup url:https://a.example/{version}/main.arc");
}

// The file date is read from the executable: a date with its top bit set
// reads as a huge negative time, whose age overflowed (found by the fuzzer;
// native/fuzz/corpus/setup_download_urls/age_overflow).
TEST(VersionedSetupUrlTest, AnyFileDateGivesAnAnswerWithoutOverflow) {
  const std::string url = "https://a.example/25.2/main.arc";
  auto at = [](int64_t date) {
    return [date](int64_t* micros) {
      *micros = date;
      return true;
    };
  };
  EXPECT_FALSE(IsVersionedSetupUrlAllowed(url, at(INT64_MIN), INT64_MAX));
  EXPECT_FALSE(IsVersionedSetupUrlAllowed(url, at(-821195047809547777), 9223372036854710272));
  EXPECT_TRUE(IsVersionedSetupUrlAllowed(url, at(INT64_MAX), INT64_MIN));
  EXPECT_TRUE(IsVersionedSetupUrlAllowed(url, at(INT64_MAX - 1), INT64_MAX));
}

TEST(PartialDownloadTest, LessThanATenthStartsAgainMoreIsResumed) {
  constexpr uint32_t kHundredMegabytes = 100u << 20;
  EXPECT_TRUE(ShouldRestartPartialDownload(kHundredMegabytes / 20, kHundredMegabytes));  // 5%
  EXPECT_FALSE(ShouldRestartPartialDownload(kHundredMegabytes / 2, kHundredMegabytes));  // 50%
  EXPECT_FALSE(ShouldRestartPartialDownload(100, 1000));  // exactly a tenth
  EXPECT_TRUE(ShouldRestartPartialDownload(99, 1000));
  // An unknown length never discards what arrived.
  EXPECT_FALSE(ShouldRestartPartialDownload(0, 0));
  EXPECT_FALSE(ShouldRestartPartialDownload(5000, 0));
  // A tenth of a length beyond 429 MB does not wrap around.
  EXPECT_TRUE(ShouldRestartPartialDownload(8u << 20, 500u << 20));
  EXPECT_FALSE(ShouldRestartPartialDownload(60u << 20, 500u << 20));
}

}  // namespace
}  // namespace ostrel
