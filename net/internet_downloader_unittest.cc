#include "net/internet_downloader.h"

#include <gtest/gtest.h>
#include <wininet.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/structured_exception.h"
#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/standin_test_util.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ScopedFakeOsFacts;
using testing::ScopedLogCapture;
using testing::ScopedTempDir;
using testing::FindLoggedRequests;

constexpr uint32_t kBlobPeriod = 251;  // the stand-in's /__blob/<n> serves byte i = i % 251
constexpr char kPlainOrigin[] = "http://127.0.0.1:47440";

std::string Cdn(const std::string& path) { return std::string(hosts::kDownloadCdn) + path; }
std::wstring WideCdn(const std::string& path) { return AsciiToWide(Cdn(path)); }

std::string Blob(uint32_t offset, uint32_t size) {
  std::string bytes(size, '\0');
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((offset + i) % kBlobPeriod);
  return bytes;
}

// The logged request whose query holds `token`, as its JSON line.
std::string FindLoggedRequest(const std::string& token) {
  std::vector<std::string> found = FindLoggedRequests(token);
  return found.empty() ? std::string() : found.front();
}

class RecordingObserver : public DownloadProgressObserver {
 public:
  void OnProgress(float fraction) override { events.push_back("progress " + std::to_string(fraction)); }
  void OnSlowDownload() override { events.push_back("slow"); }
  void OnRemainingTime(int32_t seconds, int32_t state) override {
    events.push_back("remaining " + std::to_string(seconds) + " " + std::to_string(state));
  }
  std::vector<std::string> events;
};

std::string Progress(float fraction) { return "progress " + std::to_string(fraction); }

// Serves scripted chunks and moves a fake clock after every read.
class ScriptedDownloader : public InternetDownloader {
 public:
  ScriptedDownloader(std::vector<uint32_t> chunks, uint32_t announced, uint64_t ms_per_read)
      : chunks_(std::move(chunks)), announced_(announced), ms_per_read_(ms_per_read) {
    set_tick_source_for_testing([this] { return now_; });
    // Scripts about progress reports are slow on purpose; the rule has its own test.
    RequestOptions limits;
    limits.progress_window_min_bytes = 1;
    set_options(limits);
  }
  bool OpenDownload(const std::wstring& url, DownloadSink* sink) override {
    url_ = url;
    sink_ = sink;
    return true;
  }
  uint32_t ReadChunk() override {
    ++reads;
    if (next_ == chunks_.size()) return 0;
    uint32_t n = chunks_[next_++];
    std::string bytes(n, 'x');
    sink_->Write(bytes.data(), n);
    content_length_ = announced_;
    now_ += ms_per_read_;
    return n;
  }
  bool FinalizeDownload(uint32_t*) override { return true; }

  int reads = 0;

 private:
  std::vector<uint32_t> chunks_;
  size_t next_ = 0;
  uint32_t announced_;
  uint64_t ms_per_read_;
  uint64_t now_ = 5000000;
};

TEST(InternetDownloaderTest, ExceptionTextsAndCryptoProClassification) {
  DownloadErrorInfo info;
  info.code = kDelayLoadModuleNotFound;
  EXPECT_EQ("Exception with code=3228369022", DescribeDownloadException(info));
  info.dll_name = "CPLib.DLL";
  info.proc_name = "InitProvider";
  EXPECT_EQ("Exception with code=3228369022dll_name=CPLib.DLLproc_name=InitProvider",
            DescribeDownloadException(info));
  EXPECT_FALSE(IsCryptoProFailure(info));
  info.proc_name = "xxCRYPTOPROyy";
  EXPECT_TRUE(IsCryptoProFailure(info));
  info.code = kDelayLoadProcNotFound;
  EXPECT_FALSE(IsCryptoProFailure(info));
  info.code = kDelayLoadModuleNotFound;
  info.dll_name = "cplib2.dll";
  EXPECT_FALSE(IsCryptoProFailure(info));
  EXPECT_FALSE(IsCryptoProFailure(DownloadErrorInfo()));
}

TEST(InternetDownloaderTest, SinksCountAcceptedBytesAndReset) {
  ScopedTempDir dir;
  std::wstring path = dir.Append(L"sink.bin");
  {
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    FileDownloadSink sink(file.Get());
    EXPECT_TRUE(sink.Write("abcdef", 6));
    sink.Reset();
    EXPECT_EQ(0u, sink.bytes_written());
    EXPECT_TRUE(sink.Write("xy", 2));
    EXPECT_EQ(2u, sink.bytes_written());
  }
  EXPECT_EQ("xy", testing::ReadFileOrEmpty(path));  // truncated by the reset
  {
    ScopedFileHandle read_only(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                             nullptr));
    FileDownloadSink sink(read_only.Get());
    EXPECT_FALSE(sink.Write("z", 1));
    EXPECT_EQ(0u, sink.bytes_written());
  }
  StringDownloadSink strings;
  strings.Write("ab", 2);
  strings.Write("c", 1);
  EXPECT_EQ("abc", strings.data());
  EXPECT_EQ(3u, strings.bytes_written());
  strings.Reset();
  EXPECT_EQ("", strings.data());
  EXPECT_EQ(0u, strings.bytes_written());
}

TEST(DownloadLoopTest, ProgressAndRemainingTimeOncePerMinute) {
  // 1000 bytes in chunks of 100, 30 s per read: estimates at 60 s and 120 s...
  ScriptedDownloader downloader(std::vector<uint32_t>(10, 100), 1000, 30000);
  RecordingObserver observer;
  StringDownloadSink sink;
  DownloadLoopResult result;
  EXPECT_TRUE(RunDownloadLoop(&downloader, L"https://x/", &sink, nullptr, &observer, nullptr, &result));
  std::vector<std::string> expected = {Progress(0.0f), "remaining -1 0", Progress(0.1f), Progress(0.2f),
                                       "slow",         "remaining 240 1", Progress(0.3f), Progress(0.4f),
                                       "slow",         "remaining 180 1", Progress(0.5f), Progress(0.6f),
                                       "slow",         "remaining 120 1", Progress(0.7f), Progress(0.8f),
                                       "slow",         "remaining 60 1",  Progress(0.9f), Progress(1.0f),
                                       "slow",         "remaining 0 1",   Progress(1.0f), "remaining 0 2"};
  EXPECT_EQ(expected, observer.events);
  EXPECT_EQ(1000u, result.content_length);
}

TEST(DownloadLoopTest, FastDownloadIsNotSlowAndResumedSinkSkipsTheStartReport) {
  ScriptedDownloader fast({900, 100}, 1000, 60000);
  RecordingObserver observer;
  StringDownloadSink sink;
  EXPECT_TRUE(RunDownloadLoop(&fast, L"https://x/", &sink, nullptr, &observer, nullptr, nullptr));
  // 60 s for 900 bytes: 6 s to go, 66 s in all, not slow; 120 s is not more than 120.
  std::vector<std::string> expected = {Progress(0.0f), "remaining -1 0", Progress(0.9f), "remaining 6 1",
                                       Progress(1.0f), "remaining 0 1", Progress(1.0f), "remaining 0 2"};
  EXPECT_EQ(expected, observer.events);

  ScriptedDownloader resumed({100}, 0, 1);
  RecordingObserver resumed_observer;
  sink.Reset();
  sink.Write("already", 7);
  EXPECT_TRUE(RunDownloadLoop(&resumed, L"https://x/", &sink, nullptr, &resumed_observer, nullptr, nullptr));
  // Unknown length: no progress until the end.
  EXPECT_EQ((std::vector<std::string>{Progress(1.0f), "remaining 0 2"}), resumed_observer.events);
}

TEST(DownloadLoopTest, SignalledStopEndsTheLoopWithoutText) {
  ScriptedDownloader downloader({100, 100}, 200, 1);
  ScopedKernelHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  RecordingObserver observer;
  StringDownloadSink sink;
  DownloadLoopResult result;
  EXPECT_FALSE(RunDownloadLoop(&downloader, L"https://x/", &sink, stop.Get(), &observer, nullptr, &result));
  EXPECT_EQ(0, downloader.reads);
  EXPECT_EQ("", result.error_text);
}

TEST(DownloadLoopTest, WindowWithTooFewBytesFailsTheAttempt) {
  RequestOptions limits;  // 30-s windows of at least 32 KiB
  // 100 bytes every 10 s: the first window brings 300.
  ScriptedDownloader trickle(std::vector<uint32_t>(10, 100), 1000, 10000);
  trickle.set_options(limits);
  StringDownloadSink sink;
  DownloadLoopResult result;
  EXPECT_FALSE(RunDownloadLoop(&trickle, L"https://x/", &sink, nullptr, nullptr, nullptr, &result));
  EXPECT_EQ(std::string(kErrorNoProgress) + "300", result.error_text);
  EXPECT_EQ(3, trickle.reads);

  // 32 KiB every 10 s keeps going to the end, however long that takes.
  ScriptedDownloader steady(std::vector<uint32_t>(20, 32768), 20 * 32768, 10000);
  steady.set_options(limits);
  sink.Reset();
  EXPECT_TRUE(RunDownloadLoop(&steady, L"https://x/", &sink, nullptr, nullptr, nullptr, &result));
}

// Raises what the delay-load helper raises when cplib.dll is missing.
void* OpenUrlRaisingDelayLoadFailure(void*, const wchar_t*, const wchar_t*, DWORD, DWORD, DWORD_PTR) {
  static DelayLoadInformation info = [] {
    DelayLoadInformation value = {};
    value.size = sizeof(value);
    value.dll_name = "cplib.dll";
    value.procedure.import_by_name = TRUE;
    value.procedure.name = "CryptoProHook";
    return value;
  }();
  ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(&info);
  ::RaiseException(kDelayLoadModuleNotFound, 0, 1, &argument);
  return nullptr;
}

void* OpenUrlFaulting(void*, const wchar_t*, const wchar_t*, DWORD, DWORD, DWORD_PTR) {
  volatile uintptr_t address = 0;
  return reinterpret_cast<void*>(*reinterpret_cast<volatile uintptr_t*>(static_cast<uintptr_t>(address)));
}

TEST(InternetDownloaderTest, ExceptionWhileOpeningIsCaughtAndClassified) {
  ScopedLogCapture log;
  InternetDownloader downloader;
  downloader.set_open_url_function_for_testing(OpenUrlRaisingDelayLoadFailure);
  StringDownloadSink sink;
  DownloadErrorInfo info;
  DownloadLoopResult result;
  EXPECT_FALSE(RunDownloadLoop(&downloader, L"https://localhost:1/a", &sink, nullptr, nullptr, &info, &result));
  EXPECT_EQ(kDelayLoadModuleNotFound, info.code);
  EXPECT_EQ("cplib.dll", info.dll_name);
  EXPECT_EQ("CryptoProHook", info.proc_name);
  EXPECT_TRUE(IsCryptoProFailure(info));
  EXPECT_EQ("", result.error_text);
  EXPECT_TRUE(log.Contains("An attempt to open url https://localhost:1/a generated an exception 3228369022"));

  // Any other exception: code only; the next open starts clean.
  downloader.set_open_url_function_for_testing(OpenUrlFaulting);
  info = DownloadErrorInfo();
  EXPECT_FALSE(RunDownloadLoop(&downloader, L"https://localhost:1/b", &sink, nullptr, nullptr, &info, nullptr));
  EXPECT_EQ(0xC0000005u, info.code);
  EXPECT_EQ("", info.dll_name);
  EXPECT_FALSE(IsCryptoProFailure(info));
}

TEST(InternetDownloaderTest, WholeBodyArrivesWithTheHeadersTheServerRelies) {
  REQUIRE_STANDIN();
  ScopedFakeOsFacts facts;
  facts.SetWindows(10, 0, 19045, 5011);
  ScopedLogCapture log;
  InternetDownloader downloader;
  std::string token = "t=whole" + std::to_string(::GetTickCount64());
  std::string url = Cdn("/__blob/300000?" + token);
  std::string data;
  ASSERT_TRUE(downloader.DownloadToString(url, nullptr, &data)) << downloader.error_text();
  EXPECT_EQ(Blob(0, 300000), data);
  EXPECT_EQ(300000u, downloader.content_length());
  EXPECT_EQ("", downloader.error_text());
  EXPECT_EQ(L"", downloader.redirect_url());
  EXPECT_TRUE(log.Contains("Connection established: " + url));

  std::string logged = FindLoggedRequest(token);
  ASSERT_NE("", logged) << "request not in the stand-in's log";
  EXPECT_NE(std::string::npos, logged.find(R"(["User-Agent", "Tarvik.Browser lite installer"])")) << logged;
  EXPECT_NE(std::string::npos, logged.find(R"(["Sec-CH-UA-Platform", "\"Windows\""])")) << logged;
  EXPECT_NE(std::string::npos, logged.find(R"(["Sec-CH-UA-Platform-Version", "\"10.0.5011\""])")) << logged;
}

TEST(InternetDownloaderTest, ErrorStatusesFailWithTheStatusInTheText) {
  REQUIRE_STANDIN();
  for (int status : {404, 500}) {
    ScopedLogCapture log;
    InternetDownloader downloader;
    std::string url = Cdn("/__fault/status=" + std::to_string(status) + "/__blob/1000");
    std::string data = "untouched";
    EXPECT_FALSE(downloader.DownloadToString(url, nullptr, &data));
    EXPECT_EQ("untouched", data);
    std::string prefix = "final_query_info-" + std::to_string(status) + "-";
    EXPECT_EQ(prefix, downloader.error_text().substr(0, prefix.size())) << downloader.error_text();
    EXPECT_TRUE(log.Contains("Unsuccessful download: " + url));
    // Once failed, every further step fails quietly.
    EXPECT_EQ(0u, downloader.ReadChunk());
    EXPECT_FALSE(downloader.FinalizeDownload());
  }
}

TEST(InternetDownloaderTest, ANetworksOwnPageIsNotTakenForTheArchive) {
  REQUIRE_STANDIN();
  RequestOptions options;
  options.expect_executable = true;
  ScopedLogCapture log;
  for (const char* path : {"/__fault/portal=1/browser/tarvik/browser-setup.arc", "/__blob/0"}) {
    InternetDownloader downloader;
    downloader.set_options(options);
    StringDownloadSink sink;
    EXPECT_FALSE(RunDownloadLoop(&downloader, AsciiToWide(Cdn(path)), &sink, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("captive_portal-200", downloader.error_text()) << path;
    EXPECT_EQ(0u, sink.bytes_written()) << "nothing of the page is kept: " << path;
  }
  EXPECT_TRUE(log.Contains("Not the archive but a page of the network (a sign-in page?): " +
                           Cdn("/__fault/portal=1/browser/tarvik/browser-setup.arc") + " answered with text/html"));
  InternetDownloader archive;
  archive.set_options(options);
  std::string data;
  ASSERT_TRUE(archive.DownloadToString(Cdn("/browser/tarvik/browser-setup.arc"), nullptr, &data)) << archive.error_text();
  EXPECT_EQ("MZ", data.substr(0, 2));
}

TEST(InternetDownloaderTest, BodyPastTheSinksLimitFailsAnnouncedOrNot) {
  REQUIRE_STANDIN();
  ScopedLogCapture log;
  for (const char* path : {"/__blob/5000", "/__fault/no_length=1/__blob/500000"}) {
    InternetDownloader downloader;
    StringDownloadSink sink(1000);
    EXPECT_FALSE(RunDownloadLoop(&downloader, AsciiToWide(Cdn(path)), &sink, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("too_large-1000", downloader.error_text()) << path;
    EXPECT_LE(sink.bytes_written(), 1000u) << path;
  }
  EXPECT_TRUE(log.ContainsPrefix("The announced length of " + Cdn("/__blob/5000") + " passes the limit of 1000 bytes"));
  EXPECT_TRUE(log.ContainsPrefix("The body of " + Cdn("/__fault/no_length=1/__blob/500000") + " passes the limit"));
}

TEST(InternetDownloaderTest, BodyCutShortOfTheAnnouncedLengthFails) {
  REQUIRE_STANDIN();
  ScopedLogCapture log;
  InternetDownloader downloader;
  StringDownloadSink sink;
  DownloadLoopResult result;
  std::wstring url = WideCdn("/__fault/cut=70000/__blob/100000");
  EXPECT_FALSE(RunDownloadLoop(&downloader, url, &sink, nullptr, nullptr, nullptr, &result));
  EXPECT_EQ("incomplete_download-70000", result.error_text);
  EXPECT_EQ(100000u, result.content_length);
  EXPECT_EQ(Blob(0, 70000), sink.data());  // what arrived is kept for a resume
  EXPECT_TRUE(log.Contains("Incomplete download: " + WideToUtf8(url) + " (70000 of 100000 bytes)"));

  // Without an announced length an early end cannot be told from the end.
  sink.Reset();
  EXPECT_TRUE(RunDownloadLoop(&downloader, WideCdn("/__fault/cut=70000,no_length=1/__blob/100000"), &sink, nullptr,
                              nullptr, nullptr, &result));
  EXPECT_EQ(0u, result.content_length);
}

TEST(InternetDownloaderTest, DroppedConnectionsFailWithTheStepThatSawThem) {
  REQUIRE_STANDIN();
  InternetDownloader downloader;
  StringDownloadSink sink;
  DownloadLoopResult result;
  // Reset while the body is being read.
  EXPECT_FALSE(RunDownloadLoop(&downloader, WideCdn("/__fault/throttle=400000,drop=60000/__blob/200000"), &sink,
                               nullptr, nullptr, nullptr, &result));
  EXPECT_EQ("internet_read-", result.error_text.substr(0, 14)) << result.error_text;
  // Reset before any answer: the stack reports it while opening or, having
  // taken the silence for a headerless answer, as a missing status.
  sink.Reset();
  EXPECT_FALSE(RunDownloadLoop(&downloader, WideCdn("/__fault/drop=-1/__blob/1000"), &sink, nullptr, nullptr,
                               nullptr, &result));
  EXPECT_TRUE(result.error_text.rfind("internet_open_url-", 0) == 0 ||
              result.error_text.rfind("final_query_info-0-", 0) == 0)
      << result.error_text;
  EXPECT_EQ(0u, sink.bytes_written());
  // Nothing listens.
  EXPECT_FALSE(RunDownloadLoop(&downloader, L"https://localhost:47439/x", &sink, nullptr, nullptr, nullptr, &result));
  EXPECT_EQ("internet_open_url-12029", result.error_text);
}

TEST(InternetDownloaderTest, StopEventInterruptsASlowDownload) {
  REQUIRE_STANDIN();
  InternetDownloader downloader;
  StringDownloadSink sink;
  ScopedKernelHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE stop_handle = stop.Get();
  std::thread stopper([stop_handle] {
    ::Sleep(1000);
    ::SetEvent(stop_handle);
  });
  ULONGLONG start = ::GetTickCount64();
  DownloadLoopResult result;
  bool ok = RunDownloadLoop(&downloader, WideCdn("/__fault/throttle=20000/__blob/2000000"), &sink, stop_handle,
                            nullptr, nullptr, &result);
  ULONGLONG elapsed = ::GetTickCount64() - start;
  stopper.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ("", result.error_text);
  EXPECT_LT(sink.bytes_written(), 2000000u);
  EXPECT_LT(elapsed, 30000u);  // the whole body would take 100 s

  // A body smaller than the buffer, one byte a second: the loop sees the
  // event between bytes, not once the body is complete.
  // The stop follows the first byte, however long the machine takes to it.
  class FirstByteObserver : public RecordingObserver {
   public:
    explicit FirstByteObserver(HANDLE event) : event_(event) {}
    void OnProgress(float fraction) override {
      if (fraction > 0.0f) ::SetEvent(event_);
    }

   private:
    HANDLE event_;
  };
  ::ResetEvent(stop_handle);
  sink.Reset();
  ScopedKernelHandle first_byte(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE first_byte_handle = first_byte.Get();
  FirstByteObserver observer(first_byte_handle);
  std::thread late_stopper([stop_handle, first_byte_handle] {
    ::WaitForSingleObject(first_byte_handle, 60000);
    ::SetEvent(stop_handle);
  });
  ok = RunDownloadLoop(&downloader, WideCdn("/__fault/throttle=1/__blob/100"), &sink, stop_handle, &observer, nullptr,
                       &result);
  late_stopper.join();
  EXPECT_FALSE(ok);
  EXPECT_GT(sink.bytes_written(), 0u);
  EXPECT_LT(sink.bytes_written(), 100u);
}

// Hosts that would hold an attempt without end: each fails it within the
// limits, with a text of its own.
TEST(InternetDownloaderTest, StalledTricklingAndLoopingHostsFailTheAttempt) {
  REQUIRE_STANDIN();
  RequestOptions limits;
  limits.receive_timeout_ms = 2000;
  limits.progress_window_ms = 2000;
  limits.progress_window_min_bytes = 1000;
  StringDownloadSink sink;
  DownloadLoopResult result;

  InternetDownloader stalled;
  stalled.set_options(limits);
  ULONGLONG start = ::GetTickCount64();
  EXPECT_FALSE(RunDownloadLoop(&stalled, WideCdn("/__fault/stall=60000/__blob/1000"), &sink, nullptr, nullptr,
                               nullptr, &result));
  EXPECT_LT(::GetTickCount64() - start, 30000u);  // the host would stay silent for 60 s
  EXPECT_TRUE(result.error_text.rfind("internet_open_url-", 0) == 0 ||
              result.error_text.rfind("final_query_info-0-", 0) == 0)
      << result.error_text;

  InternetDownloader trickle;  // 20 bytes a second
  trickle.set_options(limits);
  sink.Reset();
  start = ::GetTickCount64();
  EXPECT_FALSE(RunDownloadLoop(&trickle, WideCdn("/__fault/throttle=20/__blob/100000"), &sink, nullptr, nullptr,
                               nullptr, &result));
  EXPECT_LT(::GetTickCount64() - start, 30000u);
  EXPECT_EQ(kErrorNoProgress, result.error_text.substr(0, sizeof(kErrorNoProgress) - 1)) << result.error_text;
  EXPECT_GT(sink.bytes_written(), 0u);

  InternetDownloader looping;
  std::string mark = "loop" + std::to_string(::GetTickCount64());
  sink.Reset();
  EXPECT_FALSE(RunDownloadLoop(&looping, WideCdn("/__fault/redirect=loop/__blob/10?" + mark), &sink, nullptr,
                               nullptr, nullptr, &result));
  EXPECT_EQ(std::string(kErrorTooManyRedirects) + "10", result.error_text);
  // The first request and the redirects the limit allows.
  EXPECT_EQ(11u, FindLoggedRequests(mark).size());
}

// Another thread's Stop closes the requests of an open that waits for a
// silent host, and no download opens after it. (Windows cancels the waiting
// call at once; Wine 8 lets it run to the receive time-out.)
TEST(InternetDownloaderTest, StopFromAnotherThreadEndsABlockedOpen) {
  REQUIRE_STANDIN();
  ScopedKernelHandle stop_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DownloadStopper stopper(stop_event.Get());
  ScopedKernelHandle opening(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE opening_handle = opening.Get();
  std::thread stopping([&stopper, opening_handle] {
    ::WaitForSingleObject(opening_handle, INFINITE);
    ::Sleep(500);  // into the open
    stopper.Stop();
  });
  std::string data;
  {
    InternetDownloader downloader;
    RequestOptions limits;
    limits.receive_timeout_ms = 3000;
    downloader.set_options(limits);
    downloader.set_stopper(&stopper);
    ::SetEvent(opening_handle);
    EXPECT_FALSE(downloader.DownloadToString(Cdn("/__fault/stall=60000/__blob/1000"), stop_event.Get(), &data));
  }
  stopping.join();

  InternetDownloader later;
  later.set_stopper(&stopper);
  EXPECT_FALSE(later.DownloadToString(Cdn("/__blob/10"), nullptr, &data));
  EXPECT_EQ(std::string(kErrorInternetOpen) + std::to_string(ERROR_INTERNET_OPERATION_CANCELLED), later.error_text());
}

TEST(InternetDownloaderTest, RedirectTargetIsCaptured) {
  REQUIRE_STANDIN();
  InternetDownloader downloader;
  std::string data;
  // A redirect that leaves https is refused, not followed, and named.
  ScopedLogCapture log;
  std::string token = "t=plain" + std::to_string(::GetTickCount64());
  EXPECT_FALSE(downloader.DownloadToString(Cdn("/__fault/redirect=plain/__blob/5000?" + token), nullptr, &data));
  EXPECT_EQ("insecure_redirect-1", downloader.error_text());
  EXPECT_EQ(AsciiToWide(std::string(kPlainOrigin) + "/__blob/5000?" + token), downloader.redirect_url());
  EXPECT_TRUE(log.ContainsPrefix("Refused a redirect from https to plain http: "));
  EXPECT_EQ(1u, FindLoggedRequests(token).size()) << "the plain host must not be asked";

  ASSERT_TRUE(downloader.DownloadToString(Cdn("/__fault/redirect=browser_api_national/__blob/10"), nullptr, &data));
  EXPECT_EQ(AsciiToWide(std::string(hosts::kBrowserApiNational) + "/__blob/10"), downloader.redirect_url());
}

TEST(InternetDownloaderTest, ResponseHeadersAreReadByName) {
  REQUIRE_STANDIN();
  InternetDownloader downloader;
  EXPECT_EQ("", downloader.GetResponseHeader("X-Seed-Signature"));  // nothing open yet
  std::string long_value(700, 'v');
  std::string data;
  ASSERT_TRUE(downloader.DownloadToString(Cdn("/__fault/header=X-Long:" + long_value + "/__blob/10"), nullptr, &data));
  EXPECT_EQ(long_value, downloader.GetResponseHeader("X-Long"));  // larger than the first buffer
  EXPECT_EQ("", downloader.GetResponseHeader("X-Missing"));

  ASSERT_TRUE(downloader.DownloadToString(Cdn("/content/get/experiments/browser.proto"), nullptr, &data));
  EXPECT_FALSE(downloader.GetResponseHeader("X-Seed-Signature").empty());
  EXPECT_EQ("ru", downloader.GetResponseHeader("X-Country"));
  ASSERT_TRUE(downloader.DownloadToString(
      Cdn("/__fault/omit_header=X-Seed-Signature/content/get/experiments/browser.proto"), nullptr, &data));
  EXPECT_EQ("", downloader.GetResponseHeader("X-Seed-Signature"));
}

size_t CountTempDownloads() {
  size_t count = 0;
  WIN32_FIND_DATAW found;
  ScopedFindHandle find(::FindFirstFileW((GetTempDirectory() + L"dl*.tmp").c_str(), &found));
  if (!find.IsValid()) return 0;
  do {
    ++count;
  } while (::FindNextFileW(find.Get(), &found));
  return count;
}

TEST(InternetDownloaderTest, DownloadToFileReplacesTheTargetOnlyAfterSuccess) {
  REQUIRE_STANDIN();
  ScopedTempDir dir;
  std::wstring target = dir.Append(L"bundle.zip");
  ASSERT_TRUE(WriteBytesToFile(target, "previous"));
  size_t temp_files = CountTempDownloads();
  InternetDownloader downloader;

  EXPECT_FALSE(downloader.DownloadToFile(Cdn("/__fault/status=404/__blob/10"), nullptr, target));
  EXPECT_FALSE(downloader.DownloadToFile(Cdn("/__fault/cut=1000/__blob/5000"), nullptr, target));
  EXPECT_EQ("incomplete_download-1000", downloader.error_text());
  ScopedKernelHandle cancelled(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  EXPECT_FALSE(downloader.DownloadToFile(Cdn("/__blob/5000"), cancelled.Get(), target));
  EXPECT_EQ("previous", testing::ReadFileOrEmpty(target));

  EXPECT_TRUE(downloader.DownloadToFile(Cdn("/__blob/150000"), nullptr, target)) << downloader.error_text();
  EXPECT_EQ(Blob(0, 150000), testing::ReadFileOrEmpty(target));
  EXPECT_EQ(temp_files, CountTempDownloads());
}

// Wine's InternetSetFilePointer does nothing, so the resume is observed here
// and the server is told to answer as a resumed request would be answered.
struct SeekCapture {
  static inline std::vector<std::pair<LONG, DWORD>> calls;
  static inline DWORD answer_offset = 0;  // added to the requested position
};

DWORD CapturingSetFilePointer(void*, LONG distance, LONG* high, DWORD method, DWORD_PTR) {
  SeekCapture::calls.emplace_back(distance, method);
  if (high) *high = 0;
  ::SetLastError(SeekCapture::answer_offset ? 12016 : 0);
  return static_cast<DWORD>(distance) + SeekCapture::answer_offset;
}

TEST(InternetDownloaderTest, ResumeContinuesAtTheSinkLengthAndChecksTheRest) {
  REQUIRE_STANDIN();
  InternetDownloader downloader;
  downloader.set_file_pointer_function_for_testing(CapturingSetFilePointer);
  StringDownloadSink sink;
  DownloadLoopResult result;
  SeekCapture::calls.clear();
  SeekCapture::answer_offset = 0;

  // Fresh sink: no seek at all.
  EXPECT_TRUE(RunDownloadLoop(&downloader, WideCdn("/__blob/100"), &sink, nullptr, nullptr, nullptr, &result));
  EXPECT_TRUE(SeekCapture::calls.empty());

  // Whole-entity answer (the stack skips what the sink holds): 100 announced,
  // 40 held, 60 must arrive.
  sink.Reset();
  sink.Write(Blob(0, 40).data(), 40);
  EXPECT_FALSE(RunDownloadLoop(&downloader, WideCdn("/__fault/cut=50/__blob/100"), &sink, nullptr, nullptr, nullptr,
                               &result));
  ASSERT_EQ(1u, SeekCapture::calls.size());
  EXPECT_EQ((std::pair<LONG, DWORD>(40, FILE_BEGIN)), SeekCapture::calls[0]);
  EXPECT_EQ("incomplete_download-50", result.error_text);

  // Range answer: the announced length is that of the remaining part.
  sink.Reset();
  sink.Write(Blob(0, 10).data(), 10);
  std::string range = "/__fault/header=Content-Range:bytes%2010-99%2F100";
  EXPECT_FALSE(RunDownloadLoop(&downloader, WideCdn(range + ",cut=85/__blob/90"), &sink, nullptr, nullptr, nullptr,
                               &result));
  EXPECT_EQ("incomplete_download-85", result.error_text);
  sink.Reset();
  sink.Write(Blob(0, 10).data(), 10);
  EXPECT_TRUE(RunDownloadLoop(&downloader, WideCdn(range + "/__blob/90"), &sink, nullptr, nullptr, nullptr, &result))
      << result.error_text;
  EXPECT_EQ(100u, sink.bytes_written());

  // A refused position empties the sink and fails the attempt.
  SeekCapture::answer_offset = 1;
  sink.Reset();
  sink.Write("12345", 5);
  EXPECT_FALSE(RunDownloadLoop(&downloader, WideCdn("/__blob/100"), &sink, nullptr, nullptr, nullptr, &result));
  EXPECT_EQ("internet_set_file_pointer-12016", result.error_text);
  EXPECT_EQ(0u, sink.bytes_written());
}

}  // namespace
}  // namespace ostrel
