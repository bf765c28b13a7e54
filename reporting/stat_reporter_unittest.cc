#include "reporting/stat_reporter.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/scoped_handle.h"
#include "base/system_queries.h"
#include "reporting/user_id.h"
#include "testing/registry_override.h"
#include "testing/test_util.h"
#include "testing/user_id_test_util.h"

namespace ostrel {
namespace {

using testing::ScopedHkcuOverride;

// Keeps the URLs instead of sending them.
class CollectingSender : public AsyncUrlSender {
 public:
  explicit CollectingSender(std::vector<std::wstring>* urls, std::mutex* mutex) : urls_(urls), mutex_(mutex) {}
  bool Send(const std::wstring& url) override {
    std::lock_guard<std::mutex> lock(*mutex_);
    urls_->push_back(url);
    return true;
  }

 private:
  std::vector<std::wstring>* urls_;
  std::mutex* mutex_;
};

class StatReporterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hkcu_.active()); }

  std::unique_ptr<StatReporter> MakeReporter() {
    return std::make_unique<StatReporter>("{USER}", std::make_unique<CollectingSender>(&urls_, &mutex_));
  }
  std::vector<std::wstring> urls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }

  ScopedHkcuOverride hkcu_;
  std::mutex mutex_;
  std::vector<std::wstring> urls_;
};

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

TEST_F(StatReporterTest, DialogEventsUseTheDialogPathOnlyForThemselves) {
  auto reporter = MakeReporter();
  reporter->Send(DownloadStartedEvent());
  reporter->SendDialogEvent(ButtonEvent(kButtonCancel));
  reporter->Send(VerificationFailedEvent());
  std::vector<std::wstring> sent = urls();
  ASSERT_EQ(3u, sent.size());
  EXPECT_TRUE(Contains(sent[0], L"/cid=72992/path=extended_stat/vars=-action=download,")) << sent[0];
  EXPECT_TRUE(Contains(sent[1], L"/cid=72696/path=qobrowser_reinstall_dialog/vars=")) << sent[1];
  EXPECT_TRUE(Contains(sent[1], L",-clicked_button=cancel,-dialog_window=liteinstall,")) << sent[1];
  EXPECT_TRUE(Contains(sent[2], L"/cid=72992/path=extended_stat/vars=-action=verification,")) << sent[2];
}

TEST_F(StatReporterTest, ParametersByNumber) {
  auto reporter = MakeReporter();
  reporter->SetParam(StatParam::kBannerId, L"b1");
  reporter->SetParam(StatParam::kTarvikUid, L"t1");
  reporter->SetParam(StatParam::kDistrTarvikUid, L"d1");
  reporter->SetParam(StatParam::kNewVersion, L"24.1.0.5");
  reporter->SetParam(StatParam::kInstallType, L"normal");
  reporter->SetParam(StatParam::kBrowserPresent, L"user");
  reporter->SetParam(StatParam::kBrowserPresent, L"none");  // overwrites
  EXPECT_EQ(L"none", reporter->GetParam(StatParam::kBrowserPresent));
  EXPECT_EQ(L"", reporter->GetParam(StatParam::kOldVersion));
  EXPECT_FALSE(reporter->IsUpdate());
  reporter->SetParam(static_cast<StatParam>(42), L"ignored");

  reporter->Send(StatEvent{{"action", L"x"}});
  std::wstring url = urls().at(0);
  for (const wchar_t* item : {L"-banner_id=b1,", L"-tarvik_uid=t1,", L"-distr_tarvik_uid=d1,",
                              L"-new_ver=24.1.0.5,", L"-install_type=normal,", L"-browser_present=none,"}) {
    EXPECT_TRUE(Contains(url, item)) << item << " in " << url;
  }
  EXPECT_FALSE(Contains(url, L"ignored"));
}

TEST_F(StatReporterTest, BrandParametersWithAndWithoutBrandInformation) {
  auto reporter = MakeReporter();
  reporter->SetBrandParams(nullptr);
  reporter->Send(StatEvent{{"brand_id", L"from_event"}});
  std::wstring url = urls().at(0);
  EXPECT_TRUE(Contains(url, L"/vars=-brand_id=unknown,")) << url;
  EXPECT_TRUE(Contains(url, L",-partner_id=unknown,")) << url;
  EXPECT_TRUE(Contains(url, L",-testids=,")) << url;

  BrandStatValues brand{L"tarvik", L"p-7", {L"101", L"202"}};
  reporter->SetBrandParams(&brand);
  reporter->Send({});
  url = urls().at(1);
  EXPECT_TRUE(Contains(url, L"/vars=-brand_id=tarvik,")) << url;
  EXPECT_TRUE(Contains(url, L",-partner_id=p_7,")) << url;
  EXPECT_TRUE(Contains(url, L",-testids=101%3B202,")) << url;
}

TEST_F(StatReporterTest, ParametersAreHandedOverToSetupWhileTheReporterLives) {
  StoreProductValue(kInstallStatValueName, L"old_ver\n21.0.0.0\ncustom\nkept\n");
  StoreProductValue(kProductVersionValueName, L"23.0.0.0");
  auto reporter = MakeReporter();
  EXPECT_EQ(L"21.0.0.0", reporter->GetParam(StatParam::kOldVersion));
  EXPECT_TRUE(reporter->IsUpdate());
  reporter->SetParam(StatParam::kNewVersion, L"24.0.0.0");
  ASSERT_TRUE(reporter->SaveParams());
  std::wstring saved = ReadProductValue(kInstallStatValueName);
  StatParams parsed;
  ParseStatParams(saved, &parsed);
  EXPECT_EQ(L"kept", parsed["custom"]);
  EXPECT_EQ(L"24.0.0.0", parsed["new_ver"]);
  EXPECT_EQ(L"USER", parsed["ui"]);
  EXPECT_EQ(L"lite", parsed["installer_type"]);

  reporter.reset();
  std::wstring value;
  EXPECT_FALSE(ReadValueFromRegistry(ProductKey(), kInstallStatValueName, &value));
}

// While the window thread builds a dialog URL (it logs the entries while the
// dialog path kind is set), the install thread sends an event.
class InterleavingSink : public LogSink {
 public:
  explicit InterleavingSink(StatReporter* reporter) : reporter_(reporter) {}
  void Emit(const LogMessage& record) override {
    if (install_thread_.joinable() || record.text() != "chosen_checkbox=default") return;
    ScopedKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE done_handle = done.Get();
    install_thread_ = std::thread([this, done_handle] {
      reporter_->Send(DownloadStartedEvent());
      ::SetEvent(done_handle);
    });
    // Returns at once unless the reporter holds the install thread back.
    install_finished_early_ = ::WaitForSingleObject(done_handle, 1000) == WAIT_OBJECT_0;
  }
  void Join() { install_thread_.join(); }
  bool install_finished_early() const { return install_finished_early_; }

 private:
  StatReporter* reporter_;
  std::thread install_thread_;
  bool install_finished_early_ = false;
};

TEST_F(StatReporterTest, EventsFromTwoThreadsKeepTheirOwnPathKind) {
  auto reporter = MakeReporter();
  InterleavingSink sink(reporter.get());
  LogSink* previous = SwapLogSink(&sink);
  reporter->SendDialogEvent(CheckBoxEvent(kCheckBoxDefault));
  SwapLogSink(previous);
  sink.Join();
  EXPECT_FALSE(sink.install_finished_early());
  std::vector<std::wstring> sent = urls();
  ASSERT_EQ(2u, sent.size());
  // Each thread queues its own event once the lock is free, in either order.
  if (Contains(sent[0], L"action=download")) std::swap(sent[0], sent[1]);
  EXPECT_TRUE(Contains(sent[0], L"/cid=72696/path=qobrowser_reinstall_dialog/vars=-brand_id=unknown,-chosen_checkbox=")) << sent[0];
  EXPECT_TRUE(Contains(sent[1], L"/cid=72992/path=extended_stat/vars=-action=download,")) << sent[1];
}

TEST_F(StatReporterTest, ShutdownDropsLaterEvents) {
  auto sender = std::make_unique<AsyncUrlSender>();
  AsyncUrlSender* raw = sender.get();
  StatReporter reporter("{USER}", std::move(sender));
  reporter.Shutdown();
  reporter.Send(DownloadStartedEvent());
  EXPECT_FALSE(raw->Send(L"https://localhost:1/"));
}


TEST_F(StatReporterTest, DefaultReporterSendsTheUserIdentifierWithoutBraces) {
  testing::ScopedTempDir app_data;
  ASSERT_TRUE(CreateDirectoryRecursive(app_data.Append(L"Tarvik")));
  ASSERT_TRUE(WriteBytesToFile(app_data.Append(L"Tarvik\\ui"), "{0A1B2C3D-0000-4000-8000-00000000ABCD}"));
  testing::FolderUserIdEnvironment environment(app_data.path(), L"stat-reporter-test-" + std::to_wstring(::GetCurrentProcessId()));
  ScopedUserIdEnvironmentOverride environment_override(&environment);
  StatReporter reporter;
  ASSERT_TRUE(reporter.SaveParams());
  StatParams saved;
  ParseStatParams(ReadProductValue(kInstallStatValueName), &saved);
  EXPECT_EQ(L"0A1B2C3D-0000-4000-8000-00000000ABCD", saved["ui"]);
}

TEST(StatReporterHelpersTest, RedirectHostIsTheDecodedHostName) {
  EXPECT_EQ(L"mirror.example", GetRedirectHost(L"https://mirror.example:8443/a/b?c=d#e"));
  EXPECT_EQ(L"127.0.0.1", GetRedirectHost(L"http://127.0.0.1:47440/browser/tarvik/browser-setup.arc"));
  EXPECT_EQ(L"", GetRedirectHost(L""));
  // Longer than the canonicalisation buffer: no host rather than a cut one.
  EXPECT_EQ(L"", GetRedirectHost(L"https://h.example/" + std::wstring(2100, L'a')));
  EXPECT_EQ(L"", GetRedirectHost(L"no scheme at all"));
}

TEST(StatReporterHelpersTest, StartEventForThisScreen) {
  StatEvent event = InstallerStartedEventForScreen(1.25);
  EXPECT_EQ(L"installer_started", event["action"]);
  EXPECT_EQ(L"125", event["dpi"]);
  EXPECT_EQ(std::to_wstring(::GetSystemMetrics(SM_CXSCREEN)) + L"x" + std::to_wstring(::GetSystemMetrics(SM_CYSCREEN)),
            event["resolution"]);
}

}  // namespace
}  // namespace ostrel
