#include "reporting/async_url_sender.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "net/internet_downloader.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/standin_test_util.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ScopedLogCapture;

// Records URLs; the first one can be held until the test releases it.
class RecordingSender : public AsyncUrlSender {
 public:
  explicit RecordingSender(bool hold_first = false)
      : hold_first_(hold_first),
        entered_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~RecordingSender() override { Shutdown(); }

  std::vector<std::wstring> sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }
  HANDLE entered() const { return entered_.Get(); }
  void Release() { ::SetEvent(release_.Get()); }

 protected:
  void SendUrl(const std::wstring& url) override {
    bool first;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      first = sent_.empty();
      sent_.push_back(url);
    }
    ::SetEvent(entered_.Get());
    if (first && hold_first_) ::WaitForSingleObject(release_.Get(), INFINITE);
  }

 private:
  bool hold_first_;
  ScopedKernelHandle entered_;
  ScopedKernelHandle release_;
  std::mutex mutex_;
  std::vector<std::wstring> sent_;
};

// Lets tests run the real request directly.
class DirectSender : public AsyncUrlSender {
 public:
  using AsyncUrlSender::SendUrl;
};

TEST(AsyncUrlSenderTest, SendsInQueueOrderAndBecomesIdle) {
  RecordingSender sender;
  EXPECT_TRUE(sender.WaitForIdle(0));  // nothing queued yet
  for (const wchar_t* url : {L"u1", L"u2", L"u3"}) EXPECT_TRUE(sender.Send(url));
  ASSERT_TRUE(sender.WaitForIdle(30000));
  EXPECT_EQ((std::vector<std::wstring>{L"u1", L"u2", L"u3"}), sender.sent());
  EXPECT_TRUE(sender.Send(L"u4"));  // the worker waits for more
  ASSERT_TRUE(sender.WaitForIdle(30000));
  EXPECT_EQ(4u, sender.sent().size());

  sender.Shutdown();
  EXPECT_FALSE(sender.Send(L"late"));
  EXPECT_EQ(4u, sender.sent().size());
}

TEST(AsyncUrlSenderTest, ShutdownDropsQueuedUrlsAfterTheRequestInProgress) {
  RecordingSender sender(/*hold_first=*/true);
  sender.Send(L"in-progress");
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(sender.entered(), 30000));
  sender.Send(L"queued-1");
  sender.Send(L"queued-2");
  EXPECT_FALSE(sender.WaitForIdle(0));

  std::thread shutdown([&sender] { sender.Shutdown(); });
  // Refused sends tell that the stop flag is set; probes queued before it
  // are dropped with the rest.
  for (int i = 0; i < 3000 && sender.Send(L"probe"); ++i) ::Sleep(10);
  sender.Release();
  shutdown.join();
  EXPECT_EQ((std::vector<std::wstring>{L"in-progress"}), sender.sent());
  EXPECT_TRUE(sender.WaitForIdle(0));
}

TEST(AsyncUrlSenderTest, ShutdownGivesUpOnAWorkerStuckPastTheDeadline) {
  ScopedLogCapture log;
  RecordingSender sender(/*hold_first=*/true);
  sender.Send(L"stuck");
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(sender.entered(), 30000));
  uint64_t start = ::GetTickCount64();
  sender.Shutdown();
  uint64_t elapsed = ::GetTickCount64() - start;
  EXPECT_GE(elapsed + 50, kSenderShutdownDeadlineMs);
  EXPECT_LT(elapsed, kSenderShutdownDeadlineMs + 2000);
  EXPECT_TRUE(log.ContainsPrefix("The statistics worker did not end within 3000 ms"));
  EXPECT_FALSE(sender.Send(L"late"));
  // The worker returns into the shared state alone and ends.
  sender.Release();
}

TEST(AsyncUrlSenderTest, ShutdownWithoutAnyRequestReturns) {
  RecordingSender sender;
  sender.Shutdown();
  sender.Shutdown();
  EXPECT_TRUE(sender.sent().empty());
}

// Waits (bounded, as a hang guard only) until `count` requests with `token` are logged.
bool WaitForLoggedRequests(const std::string& token, size_t count) {
  for (int i = 0; i < 300; ++i) {
    if (testing::FindLoggedRequests(token).size() >= count) return true;
    ::Sleep(100);
  }
  return false;
}

std::wstring StatUrl(const std::string& fault, const std::string& token) {
  std::string prefix = fault.empty() ? "" : "/__fault/" + fault;
  return AsciiToWide(std::string(hosts::kBrowserApiInternational) + prefix +
                     "/installstats/send/dtype=stred/pid=457/cid=72992/path=extended_stat/vars=-t=" + token + "/*");
}

std::string Token(const char* name) { return std::string(name) + std::to_string(::GetTickCount64()); }

TEST(AsyncUrlSenderTest, RequestReachesTheServerWithTheInstallerHeaders) {
  REQUIRE_STANDIN();
  testing::ScopedFakeOsFacts facts;
  facts.SetWindows(10, 0, 19045, 4170);
  ScopedLogCapture log;
  std::string token = Token("plain");
  {
    AsyncUrlSender sender;
    ASSERT_TRUE(sender.Send(StatUrl("", token)));
    ASSERT_TRUE(WaitForLoggedRequests(token, 1));
    ASSERT_TRUE(sender.WaitForIdle(30000));
  }
  std::string logged = testing::FindLoggedRequests(token)[0];
  EXPECT_NE(std::string::npos, logged.find(R"(["User-Agent", "Tarvik.Browser installer"])")) << logged;
  EXPECT_NE(std::string::npos, logged.find(R"(["Sec-CH-UA-Platform-Version", "\"10.0.4170\""])")) << logged;
  EXPECT_NE(std::string::npos, logged.find(R"("method": "GET")")) << logged;
  // The abandoned request is the normal outcome, not a failure.
  for (const std::string& line : log.texts()) EXPECT_EQ(std::string::npos, line.find("Failed")) << line;
}

TEST(AsyncUrlSenderTest, UnreachableHostIsLoggedAndTheWorkerGoesOn) {
  REQUIRE_STANDIN();
  ScopedLogCapture log;
  std::string token = Token("after");
  std::wstring unreachable = L"https://localhost:47439/installstats/send/x/*";
  {
    AsyncUrlSender sender;
    sender.Send(unreachable);
    sender.Send(StatUrl("", token));
    ASSERT_TRUE(sender.WaitForIdle(60000));
  }
  EXPECT_TRUE(log.Contains("Failed to open " + WideToUtf8(unreachable)));
  EXPECT_EQ(1u, testing::FindLoggedRequests(token).size());
}

TEST(AsyncUrlSenderTest, HostThatNeverAnswersDoesNotHoldTheWorker) {
  REQUIRE_STANDIN();
  std::string token = Token("stalled");
  DirectSender sender;
  // On its own thread so that a hang fails the test instead of the run; the
  // stall outlasts the guard by far (the stand-in ends it when the client
  // goes away).
  ScopedKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE done_handle = done.Get();
  std::thread request([&sender, &token, done_handle] {
    sender.SendUrl(StatUrl("stall=120000", token));
    ::SetEvent(done_handle);
  });
  bool returned = ::WaitForSingleObject(done_handle, 30000) == WAIT_OBJECT_0;
  request.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(1u, testing::FindLoggedRequests(token).size());
}

TEST(AsyncUrlSenderTest, DestructionWhileTheServerStallsDropsTheQueueWithoutWaitingForIt) {
  REQUIRE_STANDIN();
  std::string token = Token("queued");
  auto sender = std::make_unique<AsyncUrlSender>();
  sender->Send(StatUrl("stall=120000", token + "-first"));
  ASSERT_TRUE(WaitForLoggedRequests(token + "-first", 1));
  sender->Send(StatUrl("", token + "-second"));
  sender->Send(StatUrl("", token + "-third"));

  ScopedKernelHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE done_handle = done.Get();
  std::thread destroy([&sender, done_handle] {
    sender.reset();
    ::SetEvent(done_handle);
  });
  bool returned = ::WaitForSingleObject(done_handle, 30000) == WAIT_OBJECT_0;
  destroy.join();
  EXPECT_TRUE(returned);
  EXPECT_TRUE(testing::FindLoggedRequests(token + "-second").empty());
  EXPECT_TRUE(testing::FindLoggedRequests(token + "-third").empty());
}

}  // namespace
}  // namespace ostrel
