// The HTTP(S) client every fetch of the installer goes through (setup
// archive, final report, data bundles, slides): one URL into a sink, with
// progress, resume of a partly filled sink, redirect capture and a short
// error text for the statistics.
#ifndef NET_INTERNET_DOWNLOADER_H_
#define NET_INTERNET_DOWNLOADER_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/download_sink.h"
#include "net/internet_handle.h"
#include "net/request_options.h"

namespace ostrel {

// Filled when a structured exception is caught while a URL is opened.
struct DownloadErrorInfo {
  uint32_t code = 0;      // 0: no exception
  std::string dll_name;   // from delay-load failure information
  std::string proc_name;  // empty for an import by ordinal
};

// "Exception with code=<code>[dll_name=<dll>][proc_name=<proc>]".
std::string DescribeDownloadException(const DownloadErrorInfo& info);
// A delay-load failure of the cryptography-provider library that breaks the
// network stack.
bool IsCryptoProFailure(const DownloadErrorInfo& info);

class DownloadProgressObserver {
 public:
  enum RemainingTimeState : int32_t {
    kRemainingUnknown = 0,    // seconds is -1
    kRemainingEstimated = 1,
    kRemainingFinished = 2,   // seconds is 0
  };

  virtual ~DownloadProgressObserver() = default;
  virtual void OnProgress(float fraction) = 0;
  virtual void OnSlowDownload() = 0;
  virtual void OnRemainingTime(int32_t seconds, int32_t state) = 0;
};

// Texts of InternetDownloader::error_text(): a fixed prefix and a decimal.
inline constexpr char kErrorInternetOpen[] = "internet_open-";
inline constexpr char kErrorInternetOpenUrl[] = "internet_open_url-";
inline constexpr char kErrorSetFilePointer[] = "internet_set_file_pointer-";
inline constexpr char kErrorInternetRead[] = "internet_read-";
inline constexpr char kErrorWriteFile[] = "write_file-";
inline constexpr char kErrorFinalQueryInfo[] = "final_query_info-";
// The response ended before the announced length arrived; the decimal is
// the number of body bytes this request delivered.
inline constexpr char kErrorIncompleteDownload[] = "incomplete_download-";
// More redirects than kMaxRedirects; the decimal is the number followed.
inline constexpr char kErrorTooManyRedirects[] = "too_many_redirects-";
// A progress window brought too few body bytes; the decimal is how many.
inline constexpr char kErrorNoProgress[] = "no_progress-";
// The body would pass its sink's limit (kMaxFileBodyBytes, kMaxMemoryBodyBytes);
// the decimal is the limit.
inline constexpr char kErrorTooLarge[] = "too_large-";
// A redirect from https to plain http was refused; the decimal is the hop
// that asked for it (1 for the first redirect).
inline constexpr char kErrorInsecureRedirect[] = "insecure_redirect-";
// The user's proxy could not be reached; the decimal is the stack's error.
inline constexpr char kErrorProxyConnect[] = "proxy_connect-";
// The proxy asks for credentials the installer does not have; the decimal is
// its status (407).
inline constexpr char kErrorProxyAuthRequired[] = "proxy_auth_required-";
// A body that must be an executable is not: a network's sign-in page (a
// captive portal) answered instead. The decimal is the status it came with.
inline constexpr char kErrorCaptivePortal[] = "captive_portal-";
// The server's certificate is not trusted: it chains to no trusted root or
// its revocation cannot be checked (a middlebox that re-signs connections
// with its own root); the decimal is the stack's error.
inline constexpr char kErrorUntrustedCertificate[] = "untrusted_certificate-";

class InternetDownloader;

// Stops downloads from another thread: sets the stop event and closes the
// handles of the download in progress, so a blocked open or read returns at
// once rather than when the time-outs end it. A downloader given a stopper
// joins it when it opens and leaves it when destroyed; once the event is set,
// no download opens.
class DownloadStopper {
 public:
  explicit DownloadStopper(HANDLE stop_event) : stop_event_(stop_event) {}
  DownloadStopper(const DownloadStopper&) = delete;
  DownloadStopper& operator=(const DownloadStopper&) = delete;

  void Stop();
  HANDLE stop_event() const { return stop_event_; }

  // Runs `publish`, the step that puts a finished download where others
  // read it, unless Stop came first; a Stop meanwhile waits for it. So a
  // worker that outlives its Stop changes no file. False when stopped.
  bool PublishUnlessStopped(const std::function<bool()>& publish);

 private:
  friend class InternetDownloader;
  // False when the stop event is set already.
  bool Attach(InternetDownloader* downloader);
  void Detach(InternetDownloader* downloader);

  HANDLE stop_event_;  // not owned
  SRWLOCK lock_ = SRWLOCK_INIT;
  InternetDownloader* active_ = nullptr;  // under lock_
  bool stopped_ = false;                  // under lock_
};

// One object per download.
class InternetDownloader {
 public:
  // The WinINet calls tests replace to raise exceptions or to observe a
  // resume (Wine's InternetSetFilePointer does nothing).
  using OpenUrlFunction = void* (*)(void* internet, const wchar_t* url, const wchar_t* headers,
                                    DWORD headers_length, DWORD flags, DWORD_PTR context);
  using SetFilePointerFunction = DWORD (*)(void* request, LONG distance, LONG* distance_high,
                                           DWORD move_method, DWORD_PTR context);

  InternetDownloader();
  InternetDownloader(const InternetDownloader&) = delete;
  InternetDownloader& operator=(const InternetDownloader&) = delete;
  virtual ~InternetDownloader();

  // Downloads through a temporary file that is moved onto `target_path`
  // only when the whole body arrived; the target is untouched otherwise.
  virtual bool DownloadToFile(const std::string& url, HANDLE cancel_event, const std::wstring& target_path);
  virtual bool DownloadToString(const std::string& url, HANDLE cancel_event, std::string* data);
  virtual bool OpenDownload(const std::wstring& url, DownloadSink* sink);
  // Bytes read; 0 means stop (end of body, error, or a status other than 200).
  virtual uint32_t ReadChunk();
  virtual bool FinalizeDownload(uint32_t* status_out = nullptr);

  // A response header of the open request; empty when absent.
  std::string GetResponseHeader(const std::string& name);

  // From any thread: closes the handles, so a blocked open or read returns
  // and the download fails; no later open succeeds. Closing a handle is how
  // a synchronous request is cancelled.
  void Abort();
  // Joined on the next open; must outlive this downloader.
  void set_stopper(DownloadStopper* stopper) { stopper_ = stopper; }
  const RequestOptions& options() const { return options_; }
  // The download loop's progress rule failed the attempt.
  void FailForNoProgress(uint64_t window_bytes);
  void set_options(const RequestOptions& options) { options_ = options; }

  const std::wstring& url() const { return url_; }
  const std::string& error_text() const { return error_text_; }
  const std::wstring& redirect_url() const { return redirect_url_; }
  const DownloadErrorInfo& exception() const { return exception_; }
  uint32_t content_length() const { return content_length_; }

  // Milliseconds of a monotonic clock, for the remaining-time estimate.
  uint64_t NowMilliseconds() const { return tick_source_ ? tick_source_() : ::GetTickCount64(); }
  void set_tick_source_for_testing(std::function<uint64_t()> source) { tick_source_ = std::move(source); }
  void set_open_url_function_for_testing(OpenUrlFunction function) { open_url_ = function; }
  void set_file_pointer_function_for_testing(SetFilePointerFunction function) { set_file_pointer_ = function; }

 protected:
  // Closes the handles and forgets everything about the last request.
  void ResetState();
  void SetErrorFromLastError(const char* prefix);

  std::wstring url_;
  std::string error_text_;
  std::wstring redirect_url_;
  DownloadErrorInfo exception_;
  uint32_t content_length_ = 0;
  DownloadSink* sink_ = nullptr;
  // Sink size when the request was opened (a resumed request continues there).
  uint64_t resume_offset_ = 0;
  // The body's first bytes, while they decide whether it can be an executable.
  std::string body_start_;

 private:
  bool DownloadToSink(const std::string& url, HANDLE cancel_event, DownloadSink* sink);
  bool QueryStatus(uint32_t* status);
  bool IsShortOfAnnouncedLength();
  // Fails the attempt when `total` bytes would pass the sink's limit.
  bool PassesSinkLimit(uint64_t total, const char* what);
  // False, with the error set, once the body's first bytes show it is not
  // the executable the options ask for.
  bool IsStillExecutableStart(uint32_t read);
  // The error text and log line of an open that returned no request.
  void SetOpenError(const std::wstring& target, DWORD error);
  // The request handle, null once closed (also by Abort on another thread).
  void* request() const;
  void SetTimeouts(void* handle) const;
  bool IsAborted() const;
  static std::wstring RedirectTarget(void* request, const std::wstring& from);
  static void CALLBACK StatusCallback(void* handle, DWORD_PTR context, DWORD status, void* information,
                                      DWORD length);

  // Takes both handles out under the lock and closes them outside it, the
  // request first; `abort` also refuses every later open.
  void CloseHandles(bool abort);

  // Abort may close them from another thread: both are read and replaced
  // under the lock, and whoever takes a handle out closes it.
  mutable SRWLOCK handles_lock_ = SRWLOCK_INIT;
  ScopedInternetHandle internet_;
  ScopedInternetHandle request_;
  bool aborted_ = false;
  DownloadStopper* stopper_ = nullptr;
  bool attached_ = false;
  RequestOptions options_;
  uint32_t redirect_count_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::function<uint64_t()> tick_source_;
  OpenUrlFunction open_url_;
  SetFilePointerFunction set_file_pointer_;
};

// What one run of the download loop leaves for its caller, success or not.
struct DownloadLoopResult {
  std::string error_text;
  std::wstring redirect_url;
  uint32_t content_length = 0;
};

// Opens `url` into `sink` and reads until the end, the stop event or an
// error, reporting progress and (at most once a minute) the remaining time.
// `stop_event`, `observer` and `error_info` may be null.
bool RunDownloadLoop(InternetDownloader* downloader, const std::wstring& url, DownloadSink* sink,
                     HANDLE stop_event, DownloadProgressObserver* observer, DownloadErrorInfo* error_info,
                     DownloadLoopResult* result);

inline constexpr uint64_t kRemainingTimeIntervalMs = 60000;
inline constexpr uint64_t kSlowDownloadSeconds = 120;

}  // namespace ostrel

#endif  // NET_INTERNET_DOWNLOADER_H_
