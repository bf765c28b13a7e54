#include "install/async_install_tasks.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/base64.h"
#include "base/build_version.h"
#include "base/file_util.h"
#include "base/json_reader.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "config/distrib_info_syntax.h"
#include "config/maker_hosts.h"
#include "net/internet_downloader.h"
#include "reporting/user_id.h"
#include "testing/log_capture.h"
#include "testing/platform_log_capture.h"
#include "testing/standin_test_util.h"
#include "testing/test_util.h"
#include "testing/user_id_test_util.h"

namespace ostrel {
namespace {

using testing::ScopedLogCapture;
using testing::ScopedTempDir;
using testing::FindLoggedRequests;

constexpr char kUserId[] = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
constexpr char kBareUserId[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
// What the stand-in's seed endpoints send with every seed.
constexpr char kStandinSignature[] = "c3RhbmQtaW4gc2VlZCBzaWduYXR1cmU=";
constexpr char kStandinLastModified[] = "Wed, 21 Oct 2015 07:28:00 GMT";
constexpr DWORD kHangGuardMs = 120000;

// Unique per process and call, so parallel test processes never match each
// other's requests in the shared log.
std::string UniqueToken(const char* prefix) {
  static int counter = 0;
  return prefix + std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(::GetTickCount()) + "x" +
         std::to_string(++counter);
}

// Polls `condition` every 50 ms until it holds or the guard runs out.
template <typename Condition>
bool WaitFor(Condition condition, DWORD guard_ms = kHangGuardMs) {
  ULONGLONG deadline = ::GetTickCount64() + guard_ms;
  while (!condition()) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(50);
  }
  return true;
}

class FakeDistribInfoParams : public DistribInfoParams {
 public:
  explicit FakeDistribInfoParams(const std::string& text)
      : DistribInfoParams(GetTempDirectory()), params_(ParseDistribInfoParams(text)) {}
  bool Get(const std::string& key, std::string* value) const override {
    auto found = params_.find(key);
    if (found == params_.end()) return false;
    *value = found->second;
    return true;
  }

 private:
  DistribParamMap params_;
};


HANDLE FailToStartThread(AsyncInstallTasks::ThreadRoutine, void*) {
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

class AsyncInstallTasksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryRecursive(app_data_.Append(L"Tarvik")));
    ASSERT_TRUE(WriteBytesToFile(app_data_.Append(L"Tarvik\\ui"), kUserId));
  }

  // `brand_json`: a configuration document merged before the defaults.
  std::unique_ptr<BrandInfo> MakeBrand(const std::string& brand_json = "{}") {
    auto brand = std::make_unique<BrandInfo>(GetTempDirectory());
    brand->ApplyBrandInfo(brand_json);
    brand->ApplyDefaults();
    log_.Clear();
    return brand;
  }

  // Paths of one object; deleted when the test ends, whatever Stop keeps.
  void Track(const AsyncInstallTasks& tasks) {
    for (const std::wstring* path : Paths(tasks)) {
      if (!path->empty()) reserved_.push_back(*path);
    }
  }
  void TearDown() override {
    for (const std::wstring& path : reserved_) ::DeleteFileW(path.c_str());
  }

  static std::vector<const std::wstring*> Paths(const AsyncInstallTasks& tasks) {
    return {&tasks.variations_update_path(), &tasks.abt_update_path(), &tasks.webntp_path(),
            &tasks.server_config_bundle_path(), &tasks.preloaded_wallpaper_bundle_path()};
  }
  // Which of the five paths are set, in getter order: "vawsp", "-" for an empty one.
  static std::string SetPaths(const AsyncInstallTasks& tasks) {
    std::string set;
    const char names[] = "vawsp";
    std::vector<const std::wstring*> paths = Paths(tasks);
    for (size_t i = 0; i < paths.size(); ++i) set += paths[i]->empty() ? '-' : names[i];
    return set;
  }

  ScopedTempDir app_data_;
  testing::FolderUserIdEnvironment environment_{app_data_.path(), L"ostrel-async-tasks-test"};
  ScopedUserIdEnvironmentOverride environment_override_{&environment_};
  ScopedLogCapture log_;
  std::vector<std::wstring> reserved_;
};

TEST(AsyncInstallTasksQueryTest, BrandQueryJoinsNonEmptyPairsInOrder) {
  EXPECT_EQ("https://h/p?brand=b&partner=p&uid=u&version=1.2.3.4",
            AppendBrandQuery("https://h/p", {"b", "p", "u", "1.2.3.4"}));
  // Empty values are skipped; the first pair present takes the "?".
  EXPECT_EQ("https://h/p?uid=u&version=1.2.3.4", AppendBrandQuery("https://h/p", {"", "", "u", "1.2.3.4"}));
  EXPECT_EQ("https://h/p?brand=b", AppendBrandQuery("https://h/p", {"b", "", "", ""}));
  EXPECT_EQ("https://h/p", AppendBrandQuery("https://h/p", {}));
  // A URL with a query of its own is continued with "&"; values go in as given.
  EXPECT_EQ("https://h/p?x=1&brand=a b&partner=c&d", AppendBrandQuery("https://h/p?x=1", {"a b", "c&d", "", ""}));
  EXPECT_EQ("https://h/p?&brand=b", AppendBrandQuery("https://h/p?", {"b", "", "", ""}));
}

TEST(AsyncInstallTasksQueryTest, ServerConfigBundleUrlCarriesBrandAndPartner) {
  std::string base = std::string(hosts::kBrowserApiInternational) + "/configs/all_zip";
  EXPECT_EQ(base + "?brandID=tarvik", GetServerConfigBundleUrl("tarvik", ""));
  EXPECT_EQ(base + "?brandID=tarvik&partnerID=p1", GetServerConfigBundleUrl("tarvik", "p1"));
  EXPECT_EQ(base + "?partnerID=p1", GetServerConfigBundleUrl("", "p1"));
  EXPECT_EQ(base, GetServerConfigBundleUrl("", ""));
}

TEST(AsyncInstallTasksSaveTest, VariationsFileIsPrettyJsonWithTheSeedInBase64) {
  std::string seed;
  for (int i = 0; i < 256; ++i) seed += static_cast<char>(i);
  VariationsData data{seed, "sig+/=", "Wed, 21 Oct 2015 07:28:00 GMT", ""};
  std::string expected = "{\r\n"
                         "   \"variations_country\": \"\",\r\n"
                         "   \"variations_last_modified_time\": \"Wed, 21 Oct 2015 07:28:00 GMT\",\r\n"
                         "   \"variations_seed_base64\": \"" + Base64Encode(seed) + "\",\r\n"
                         "   \"variations_seed_signature\": \"sig+/=\"\r\n"
                         "}\r\n";
  EXPECT_EQ(expected, SerializeVariations(data));

  ScopedTempDir dir;
  std::wstring path = dir.Append(L"seed");
  ASSERT_TRUE(WriteBytesToFile(path, "older content, replaced"));
  ASSERT_TRUE(SaveVariations(path, data));
  EXPECT_EQ(expected, testing::ReadFileOrEmpty(path));
  // Written beside the target and renamed: nothing else is left behind.
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(::FindFirstFileW(dir.Append(L"*.tmp").c_str(), &found));
  EXPECT_FALSE(find.IsValid());
}

TEST(AsyncInstallTasksSaveTest, UnwritableTargetFailsWithTheErrorLine) {
  ScopedLogCapture log;
  ScopedTempDir dir;
  std::wstring path = dir.Append(L"missing-folder\\seed");
  EXPECT_FALSE(SaveVariations(path, VariationsData{"s", "g", "", ""}));
  std::vector<testing::CapturedRecord> records = log.records();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(LOG_ERROR, records[0].level);
  EXPECT_EQ("SaveVariations", records[0].function);
  EXPECT_EQ(0u, records[0].text.rfind("Failed to save downloaded variations update to " + WideToUtf8(path) + " - ", 0))
      << records[0].text;
  EXPECT_FALSE(PathExists(path));
}

// A worker that outlives its Stop (abandoned after Stop's wait) renames
// nothing into place: the path Stop removed stays removed.
TEST(AsyncInstallTasksSaveTest, AStoppedWorkerChangesNoFile) {
  ScopedTempDir dir;
  std::wstring path = dir.Append(L"seed");
  ScopedKernelHandle stop_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DownloadStopper stopper(stop_event.Get());
  ASSERT_TRUE(SaveVariations(path, VariationsData{"s", "g", "", ""}, &stopper));
  ASSERT_TRUE(::DeleteFileW(path.c_str()));

  stopper.Stop();
  ScopedLogCapture log;
  EXPECT_FALSE(SaveVariations(path, VariationsData{"s", "g", "", ""}, &stopper));
  EXPECT_FALSE(PathExists(path));
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(::FindFirstFileW(dir.Append(L"*").c_str(), &found));
  int entries = 0;
  if (find.IsValid()) {
    do entries += found.cFileName[0] != L'.';
    while (::FindNextFileW(find.Get(), &found));
  }
  EXPECT_EQ(entries, 0) << "the temporary file is gone too";
}

// Which paths each parameter set reserves. The worker never starts here, so
// these need no network.
TEST_F(AsyncInstallTasksTest, ParametersChooseThePathsAndDefaultsApply) {
  std::unique_ptr<BrandInfo> brand = MakeBrand();
  struct Case {
    const char* params;
    const char* paths;
  } cases[] = {
      {"", "va---"},
      {"vup=0", "-a---"},
      {"vup=&abtup=1", "-a---"},
      {"vup=2&abtup=true", "-----"},
      {"webntp=1", "vaw--"},
      {"webntp=2&scup=yes", "va---"},
      {"scup=1", "va-s-"},
      {"pwexp=bundle.zip", "va--p"},
      {"pwexp=", "va---"},
      {"vup=0&abtup=0&webntp=1&scup=1&pwexp=0", "--wsp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.params);
    FakeDistribInfoParams params(c.params);
    AsyncInstallTasks tasks(brand.get(), &params, FailToStartThread);
    Track(tasks);
    EXPECT_EQ(c.paths, SetPaths(tasks));
    std::vector<std::wstring> seen;
    for (const std::wstring* path : Paths(tasks)) {
      if (path->empty()) continue;
      // A fresh name in the temporary directory, whose file is gone again.
      EXPECT_EQ(GetTempDirectory(), DirName(*path) + L"\\");
      EXPECT_FALSE(PathExists(*path));
      for (const std::wstring& other : seen) EXPECT_NE(other, *path);
      seen.push_back(*path);
    }
  }
}

TEST_F(AsyncInstallTasksTest, ThreadFailureIsLoggedAndThePathsStay) {
  std::unique_ptr<BrandInfo> brand = MakeBrand();
  FakeDistribInfoParams params("webntp=1");
  AsyncInstallTasks tasks(brand.get(), &params, FailToStartThread);
  Track(tasks);
  EXPECT_FALSE(tasks.has_worker());
  EXPECT_TRUE(tasks.active());
  EXPECT_EQ("vaw--", SetPaths(tasks));
  std::vector<testing::CapturedRecord> records = log_.records();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(LOG_ERROR, records[0].level);
  EXPECT_EQ("InitializeThread", records[0].function);
  EXPECT_EQ(0u, records[0].text.rfind("Failed to create thread for async install tasks - 8,", 0)) << records[0].text;

  tasks.Stop();
  EXPECT_FALSE(tasks.active());
  tasks.Stop();  // the destructor stops again: harmless
}

TEST_F(AsyncInstallTasksTest, NoWorkerWithoutWork) {
  // A wallpaper path without a wallpapers URL is reserved, but there is
  // nothing to fetch; the new-tab path never has work.
  std::unique_ptr<BrandInfo> brand = MakeBrand();
  FakeDistribInfoParams params("vup=0&abtup=0&webntp=1&pwexp=bundle.zip");
  AsyncInstallTasks tasks(brand.get(), &params);
  Track(tasks);
  EXPECT_EQ("--w-p", SetPaths(tasks));
  EXPECT_FALSE(tasks.has_worker());
  EXPECT_TRUE(log_.records().empty());
}

TEST_F(AsyncInstallTasksTest, BrandQueryUsesTheBareUserIdAndOwnVersion) {
  std::unique_ptr<BrandInfo> brand = MakeBrand(R"({"brand_id": "b1", "partner_id": "p1"})");
  FakeDistribInfoParams params("vup=0&abtup=0");
  AsyncInstallTasks tasks(brand.get(), &params);
  EXPECT_EQ(std::string("https://h/x?brand=b1&partner=p1&uid=") + kBareUserId +
                "&version=" TARVIK_INSTALLER_VERSION_STRING,
            tasks.AppendBrandQuery("https://h/x"));
}

// The seed body the stand-in sends names the path and query it was asked for.
std::string StandinSeed(const std::string& path, const std::string& query) {
  return "stand-in variations seed for " + path + "?" + query;
}

// The variations file at `path`, checked member by member.
void ExpectVariationsFile(const std::wstring& path, const std::string& seed) {
  std::string text = testing::ReadFileOrEmpty(path);
  std::optional<Value> root = Deserialize(text, kInstallerJsonOptions);
  ASSERT_TRUE(root && root->is_dict()) << text;
  EXPECT_EQ(4u, root->GetDict().size());
  const std::string* seed_base64 = root->FindStringKey("variations_seed_base64");
  ASSERT_TRUE(seed_base64);
  std::string decoded;
  ASSERT_TRUE(Base64Decode(*seed_base64, &decoded));
  EXPECT_EQ(seed, decoded);
  const std::string* signature = root->FindStringKey("variations_seed_signature");
  const std::string* last_modified = root->FindStringKey("variations_last_modified_time");
  const std::string* country = root->FindStringKey("variations_country");
  ASSERT_TRUE(signature && last_modified && country);
  EXPECT_EQ(kStandinSignature, *signature);
  EXPECT_EQ(kStandinLastModified, *last_modified);
  EXPECT_EQ("ru", *country);
  // The pretty form: one member per CR LF line, a final CR LF.
  EXPECT_EQ(SerializeVariations({seed, kStandinSignature, kStandinLastModified, "ru"}), text);
}

TEST_F(AsyncInstallTasksTest, DefaultsFetchBothSeedsAndStopDeletesThem) {
  REQUIRE_STANDIN();
  std::string partner = UniqueToken("pa");
  std::unique_ptr<BrandInfo> brand = MakeBrand(R"({"partner_id": ")" + partner + R"("})");
  FakeDistribInfoParams params("");
  AsyncInstallTasks tasks(brand.get(), &params);
  Track(tasks);
  ASSERT_TRUE(tasks.has_worker());
  ASSERT_EQ("va---", SetPaths(tasks));
  ASSERT_TRUE(WaitFor([&] {
    return FileExists(tasks.variations_update_path()) && FileExists(tasks.abt_update_path());
  }));
  std::string query = "brand=tarvik&partner=" + partner + "&uid=" + kBareUserId +
                      "&version=" TARVIK_INSTALLER_VERSION_STRING;
  ExpectVariationsFile(tasks.variations_update_path(),
                       StandinSeed("/content/get/experiments/browser.proto", query));
  ExpectVariationsFile(tasks.abt_update_path(), StandinSeed("/ab/get", query));
  ASSERT_TRUE(WaitFor([&] { return log_.Contains("Variations are saved in " + WideToUtf8(tasks.abt_update_path())); }));
  EXPECT_TRUE(log_.Contains("Variations are saved in " + WideToUtf8(tasks.variations_update_path())));

  tasks.Stop();
  EXPECT_FALSE(PathExists(tasks.variations_update_path()));
  EXPECT_FALSE(PathExists(tasks.abt_update_path()));
}

TEST_F(AsyncInstallTasksTest, BundlesAreFetchedAndOnlyTheWallpaperOutlivesStop) {
  REQUIRE_STANDIN();
  testing::ScopedPlatformLogCapture platform_log;
  std::string partner = UniqueToken("pb");
  std::string wallpapers = std::string(hosts::kDownloadCdn) + "/wallpapers/" + partner + "/";
  std::unique_ptr<BrandInfo> brand = MakeBrand(R"({"brand_id": "tarvik", "partner_id": ")" + partner +
                                               R"(", "install": {"preloaded_wallpapers_url": ")" + wallpapers +
                                               R"("}})");
  FakeDistribInfoParams params("webntp=1&scup=1&pwexp=bundle.zip");
  AsyncInstallTasks tasks(brand.get(), &params);
  Track(tasks);
  ASSERT_EQ("vawsp", SetPaths(tasks));
  // The wallpaper bundle is the last task.
  ASSERT_TRUE(WaitFor([&] { return FileExists(tasks.preloaded_wallpaper_bundle_path()); }));
  for (const std::wstring* path :
       {&tasks.variations_update_path(), &tasks.abt_update_path(), &tasks.server_config_bundle_path()}) {
    EXPECT_TRUE(FileExists(*path)) << WideToUtf8(*path);
  }
  EXPECT_FALSE(PathExists(tasks.webntp_path()));
  EXPECT_EQ("PK", testing::ReadFileOrEmpty(tasks.server_config_bundle_path()).substr(0, 2));
  EXPECT_EQ("PK", testing::ReadFileOrEmpty(tasks.preloaded_wallpaper_bundle_path()).substr(0, 2));
  EXPECT_TRUE(platform_log.lines().empty());

  std::vector<std::string> bundle = FindLoggedRequests("partnerID=" + partner);
  ASSERT_EQ(1u, bundle.size());
  EXPECT_NE(std::string::npos, bundle[0].find(R"("host_kind": "browser_api_international")")) << bundle[0];
  EXPECT_NE(std::string::npos, bundle[0].find(R"("path": "/configs/all_zip")")) << bundle[0];
  EXPECT_NE(std::string::npos, bundle[0].find(R"("query": "brandID=tarvik&partnerID=)" + partner + "\""))
      << bundle[0];
  std::vector<std::string> wallpaper = FindLoggedRequests("/wallpapers/" + partner + "/");
  ASSERT_EQ(1u, wallpaper.size());
  EXPECT_NE(std::string::npos, wallpaper[0].find(R"("path": "/wallpapers/)" + partner + R"(/bundle.zip")"))
      << wallpaper[0];
  EXPECT_NE(std::string::npos, wallpaper[0].find(R"("query": "")")) << wallpaper[0];

  tasks.Stop();
  EXPECT_FALSE(PathExists(tasks.variations_update_path()));
  EXPECT_FALSE(PathExists(tasks.abt_update_path()));
  EXPECT_FALSE(PathExists(tasks.server_config_bundle_path()));
  EXPECT_TRUE(FileExists(tasks.preloaded_wallpaper_bundle_path()));
  EXPECT_FALSE(PathExists(tasks.webntp_path()));
}

TEST_F(AsyncInstallTasksTest, FailedBundleDownloadsGoToThePlatformLog) {
  REQUIRE_STANDIN();
  testing::ScopedPlatformLogCapture platform_log;
  std::string wallpapers = std::string(hosts::kDownloadCdn) + "/__fault/status=404/wallpapers/";
  std::unique_ptr<BrandInfo> brand =
      MakeBrand(R"({"install": {"preloaded_wallpapers_url": ")" + wallpapers + R"("}})");
  FakeDistribInfoParams params("vup=0&abtup=0&pwexp=w.zip");
  {
    AsyncInstallTasks tasks(brand.get(), &params);
    Track(tasks);
    ASSERT_TRUE(WaitFor([&] { return !platform_log.lines().empty(); }));
  }
  std::vector<std::string> lines = platform_log.lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(0u, lines[0].rfind("Failed to download wallpaper bundle: final_query_info-404-", 0)) << lines[0];
  // Not in the installer log, which has only the downloader's own line.
  for (const std::string& text : log_.texts()) EXPECT_EQ(std::string::npos, text.find("wallpaper bundle")) << text;
}

TEST_F(AsyncInstallTasksTest, SeedFailuresWriteNothing) {
  REQUIRE_STANDIN();
  ScopedTempDir dir;
  std::wstring path = dir.Append(L"seed");
  EXPECT_FALSE(DownloadAndSaveVariations(std::string(hosts::kBrowserApiNational) + "/__fault/status=503/ab/get",
                                         path, nullptr));
  EXPECT_FALSE(PathExists(path));
  EXPECT_TRUE(log_.ContainsPrefix("Failed to download variations seed: final_query_info-503-"));
  log_.Clear();

  std::string url = std::string(hosts::kBrowserApiInternational) +
                    "/__fault/omit_header=X-Seed-Signature/content/get/experiments/browser.proto";
  EXPECT_FALSE(DownloadAndSaveVariations(url, path, nullptr));
  EXPECT_FALSE(PathExists(path));
  bool logged = false;
  for (const testing::CapturedRecord& record : log_.records()) {
    if (record.level != LOG_ERROR) continue;
    EXPECT_EQ("DownloadAndSaveVariations", record.function);
    EXPECT_EQ(0u, record.text.rfind("Failed to get variations seed signature - ", 0)) << record.text;
    logged = true;
  }
  EXPECT_TRUE(logged);

  // A missing country is no reason to refuse the seed.
  url = std::string(hosts::kBrowserApiInternational) +
        "/__fault/omit_header=X-Country/content/get/experiments/browser.proto";
  ASSERT_TRUE(DownloadAndSaveVariations(url, path, nullptr));
  std::optional<Value> root = Deserialize(testing::ReadFileOrEmpty(path), kInstallerJsonOptions);
  ASSERT_TRUE(root);
  const std::string* country = root->FindStringKey("variations_country");
  ASSERT_TRUE(country);
  EXPECT_EQ("", *country);
}

TEST_F(AsyncInstallTasksTest, DestructionInterruptsASeedDownloadFromASilentHost) {
  REQUIRE_STANDIN();
  // The host never answers: the open would wait for the receive time-out.
  std::string token = UniqueToken("slow");
  std::unique_ptr<BrandInfo> brand = MakeBrand(
      R"({"urls": {"variations": ")" + std::string(hosts::kBrowserApiInternational) +
      "/__fault/stall=120000/content/get/experiments/browser.proto?t=" + token + R"("}})");
  FakeDistribInfoParams params("");
  auto tasks = std::make_unique<AsyncInstallTasks>(brand.get(), &params);
  Track(*tasks);
  std::wstring variations = tasks->variations_update_path();
  ASSERT_TRUE(WaitFor([&] { return !FindLoggedRequests(token).empty(); }));
  ::Sleep(500);  // the open waits for an answer

  ScopedKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE done_handle = done.Get();
  std::thread destroyer([&tasks, done_handle] {
    tasks.reset();
    ::SetEvent(done_handle);
  });
  // Well inside the downloader's 20-s receive time-out: the request was
  // closed (Windows ends the call at once) or the worker left behind (Wine
  // lets the call run to its time-out).
  bool returned = ::WaitForSingleObject(done_handle, 10000) == WAIT_OBJECT_0;
  destroyer.join();
  ASSERT_TRUE(returned) << "destruction waited for the silent host";

  // The seed download never completed, and the A/B task never started.
  EXPECT_FALSE(log_.ContainsPrefix("Variations are saved in "));
  for (const std::string& text : log_.texts()) EXPECT_EQ(std::string::npos, text.find("/ab/get")) << text;
  EXPECT_FALSE(PathExists(variations));
}

}  // namespace
}  // namespace ostrel
