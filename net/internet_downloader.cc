#include "net/internet_downloader.h"

#include <wininet.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/request_headers.h"
#include "base/scoped_lock.h"
#include "base/structured_exception.h"
#include "net/download_rules.h"

namespace ostrel {
namespace {

constexpr wchar_t kTempFilePrefix[] = L"dl";
constexpr char kErrorCreateFile[] = "create_file-";
constexpr char kErrorMoveFile[] = "move_file-";

void* DefaultOpenUrl(void* internet, const wchar_t* url, const wchar_t* headers, DWORD headers_length, DWORD flags,
                     DWORD_PTR context) {
  return ::InternetOpenUrlW(static_cast<HINTERNET>(internet), url, headers, headers_length, flags, context);
}

DWORD DefaultSetFilePointer(void* request, LONG distance, LONG* distance_high, DWORD move_method,
                            DWORD_PTR context) {
  return ::InternetSetFilePointer(static_cast<HINTERNET>(request), distance, distance_high, move_method, context);
}

LONG RecordOpenException(EXCEPTION_POINTERS* pointers, void* context) {
  auto* info = static_cast<DownloadErrorInfo*>(context);
  info->code = pointers->ExceptionRecord->ExceptionCode;
  if (info->code == kDelayLoadModuleNotFound)
    GetDelayLoadFailureNames(pointers->ExceptionRecord, &info->dll_name, &info->proc_name);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The first bytes of a Windows executable: what the archive starts with.
constexpr char kExecutableStart[] = "MZ";
constexpr size_t kExecutableStartLength = sizeof(kExecutableStart) - 1;

std::string ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string DescribeDownloadException(const DownloadErrorInfo& info) {
  std::string text = "Exception with code=" + std::to_string(info.code);
  if (!info.dll_name.empty()) text += "dll_name=" + info.dll_name;
  if (!info.proc_name.empty()) text += "proc_name=" + info.proc_name;
  return text;
}

bool IsCryptoProFailure(const DownloadErrorInfo& info) {
  return info.code == kDelayLoadModuleNotFound && ToLowerAscii(info.dll_name) == "cplib.dll" &&
         ToLowerAscii(info.proc_name).find("cryptopro") != std::string::npos;
}

void DownloadStopper::Stop() {
  ::SetEvent(stop_event_);
  ScopedExclusiveLock lock(&lock_);
  stopped_ = true;
  if (active_) active_->Abort();
}

bool DownloadStopper::PublishUnlessStopped(const std::function<bool()>& publish) {
  ScopedExclusiveLock lock(&lock_);
  if (stopped_ || ::WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) {
    ::SetLastError(ERROR_CANCELLED);
    return false;
  }
  return publish();
}

bool DownloadStopper::Attach(InternetDownloader* downloader) {
  ScopedExclusiveLock lock(&lock_);
  // Checked under the lock: a Stop either sees this download or comes first.
  bool stopped = ::WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0;
  if (!stopped) active_ = downloader;
  return !stopped;
}

void DownloadStopper::Detach(InternetDownloader* downloader) {
  ScopedExclusiveLock lock(&lock_);
  if (active_ == downloader) active_ = nullptr;
}

InternetDownloader::InternetDownloader()
    : buffer_(new char[kDownloadBufferSize]), open_url_(DefaultOpenUrl), set_file_pointer_(DefaultSetFilePointer) {}

InternetDownloader::~InternetDownloader() {
  // Detached first: a Stop in progress finishes its Abort before the handles go.
  if (attached_) stopper_->Detach(this);
  ResetState();
}

void InternetDownloader::ResetState() {
  url_.clear();
  error_text_.clear();
  redirect_url_.clear();
  exception_ = DownloadErrorInfo();
  content_length_ = 0;
  resume_offset_ = 0;
  body_start_.clear();
  redirect_count_ = 0;
  CloseHandles(false);
}

void InternetDownloader::Abort() { CloseHandles(true); }

void InternetDownloader::CloseHandles(bool abort) {
  ScopedInternetHandle request;
  ScopedInternetHandle internet;
  {
    ScopedExclusiveLock lock(&handles_lock_);
    if (abort) aborted_ = true;
    request = std::move(request_);
    internet = std::move(internet_);
  }
  // The session last: closing it also ends an open still in progress.
  request.Close();
  internet.Close();
}

void* InternetDownloader::request() const {
  ScopedSharedLock lock(&handles_lock_);
  return request_.Get();
}

void InternetDownloader::SetTimeouts(void* handle) const {
  SetInternetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, options_.connect_timeout_ms);
  SetInternetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, options_.send_timeout_ms);
  SetInternetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, options_.receive_timeout_ms);
}

// Not every stack passes the session's time-outs on to its requests, hence
// the per-request setting; the context is the downloader.
void CALLBACK InternetDownloader::StatusCallback(void* handle, DWORD_PTR context, DWORD status, void*, DWORD) {
  auto* downloader = reinterpret_cast<InternetDownloader*>(context);
  if (downloader && (status == INTERNET_STATUS_CONNECTING_TO_SERVER || status == INTERNET_STATUS_SENDING_REQUEST))
    downloader->SetTimeouts(handle);
}

bool InternetDownloader::IsAborted() const {
  ScopedSharedLock lock(&handles_lock_);
  return aborted_;
}

// The absolute URL a redirect answer points to; empty for any other answer
// and for a target that is not HTTP(S).
std::wstring InternetDownloader::RedirectTarget(void* request, const std::wstring& from) {
  HINTERNET handle = static_cast<HINTERNET>(request);
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    return std::wstring();
  }
  if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return std::wstring();
  std::wstring location(2048, L'\0');
  size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(handle, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return std::wstring();
  location.resize(size / sizeof(wchar_t));
  std::wstring combined(INTERNET_MAX_URL_LENGTH, L'\0');
  DWORD length = static_cast<DWORD>(combined.size());
  if (!::InternetCombineUrlW(from.c_str(), location.c_str(), combined.data(), &length, ICU_NO_ENCODE))
    return std::wstring();
  combined.resize(length);
  if (!HasScheme(combined, L"http://") && !IsHttps(combined)) return std::wstring();
  return combined;
}

void InternetDownloader::FailForNoProgress(uint64_t window_bytes) {
  error_text_ = kErrorNoProgress + std::to_string(window_bytes);
  LOG(ERROR) << "Download makes no progress: " << url_ << " (" << window_bytes << " bytes in "
             << options_.progress_window_ms / 1000 << " s)";
}

void InternetDownloader::SetErrorFromLastError(const char* prefix) {
  error_text_ = prefix + std::to_string(::GetLastError());
}

bool InternetDownloader::OpenDownload(const std::wstring& url, DownloadSink* sink) {
  ResetState();
  if (stopper_ && !attached_) {
    attached_ = stopper_->Attach(this);
    if (!attached_) {
      ScopedExclusiveLock lock(&handles_lock_);
      aborted_ = true;
    }
  }
  ScopedInternetHandle session = OpenInternetSession(kDownloaderUserAgent);
  if (!session) {
    SetErrorFromLastError(kErrorInternetOpen);
    return false;
  }
  HINTERNET internet = static_cast<HINTERNET>(session.Get());
  bool aborted = false;
  {
    ScopedExclusiveLock lock(&handles_lock_);
    aborted = aborted_;
    if (!aborted) internet_ = std::move(session);
  }
  if (aborted) {
    session.Close();
    ::SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    SetErrorFromLastError(kErrorInternetOpen);
    return false;
  }
  SetTimeouts(internet);
  if (::InternetSetStatusCallbackW(internet, &InternetDownloader::StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK)
    LOG(WARNING) << "SetStatusCallback failed";

  // Redirects are followed here rather than by the stack, which would follow
  // a loop without end: each hop is counted and recorded.
  std::wstring headers = BuildRequestHeaders();
  std::wstring target = url;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (!options_.write_to_cache) flags |= INTERNET_FLAG_NO_CACHE_WRITE;
  ScopedInternetHandle opened;
  DWORD open_error = 0;
  bool too_many_redirects = false;
  bool insecure_redirect = false;
  for (;;) {
    RunGuarded(
        [&] {
          opened.Reset(open_url_(internet, target.c_str(), headers.c_str(), static_cast<DWORD>(-1), flags,
                                 reinterpret_cast<DWORD_PTR>(this)));
          open_error = ::GetLastError();
        },
        RecordOpenException, &exception_);
    if (!opened || exception_.code != 0 || IsAborted()) break;
    std::wstring next = RedirectTarget(opened.Get(), target);
    if (next.empty()) break;
    opened.Close();
    redirect_url_ = next;
    // The system's own stack refuses to leave https too.
    RedirectVerdict verdict = JudgeRedirect(target, next, ++redirect_count_, options_.max_redirects);
    too_many_redirects = verdict == RedirectVerdict::kTooMany;
    insecure_redirect = verdict == RedirectVerdict::kLeavesHttps;
    if (verdict != RedirectVerdict::kFollow) break;
    target = next;
  }
  // An Abort during the open closed the session; a request it still
  // returned is this thread's to close.
  void* request = opened.Get();
  {
    ScopedExclusiveLock lock(&handles_lock_);
    aborted = aborted_;
    if (!aborted) {
      ::InternetSetStatusCallbackW(internet, nullptr);
      request_ = std::move(opened);
    }
  }
  if (aborted) {
    opened.Close();
    request = nullptr;
    if (open_error == 0) open_error = ERROR_INTERNET_OPERATION_CANCELLED;
  }
  if (exception_.code != 0) {
    LOG(WARNING) << "An attempt to open url " << url << " generated an exception " << exception_.code;
    return false;
  }
  if (too_many_redirects && !aborted) {
    error_text_ = kErrorTooManyRedirects + std::to_string(options_.max_redirects);
    LOG(ERROR) << "Too many redirects: " << url << " (last to " << redirect_url_ << ")";
    return false;
  }
  if (insecure_redirect && !aborted) {
    error_text_ = kErrorInsecureRedirect + std::to_string(redirect_count_);
    LOG(ERROR) << "Refused a redirect from https to plain http: " << target << " to " << redirect_url_;
    return false;
  }
  if (!request) {
    SetOpenError(target, open_error);
    return false;
  }

  // Resume where the sink stopped. A refused position empties the sink:
  // this attempt fails and the next one starts from zero.
  uint64_t written = sink->bytes_written();
  if (written > 0) {
    LONG high = static_cast<LONG>(written >> 32);
    DWORD position = set_file_pointer_(request, static_cast<LONG>(written & 0xFFFFFFFF), &high, FILE_BEGIN, 0);
    if (position != static_cast<DWORD>(written) || static_cast<DWORD>(high) != (written >> 32)) {
      SetErrorFromLastError(kErrorSetFilePointer);
      sink->Reset();
    }
  }
  resume_offset_ = sink->bytes_written();

  url_ = url;
  sink_ = sink;
  LOG(INFO) << "Connection established: " << url;
  return true;
}

void InternetDownloader::SetOpenError(const std::wstring& target, DWORD error) {
  error_text_ = kErrorInternetOpenUrl + std::to_string(error);
  if (error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_INVALID_CERT ||
      error == ERROR_INTERNET_SEC_CERT_REV_FAILED) {
    error_text_ = kErrorUntrustedCertificate + std::to_string(error);
    LOG(ERROR) << "The certificate of " << target
               << " is not trusted (a network that inspects HTTPS may be re-signing it): " << error;
    return;
  }
  if (error != ERROR_INTERNET_CANNOT_CONNECT && error != ERROR_INTERNET_NAME_NOT_RESOLVED) return;
  // Through a proxy, the stack resolves and connects to the proxy alone.
  std::wstring proxy;
  {
    ScopedSharedLock lock(&handles_lock_);
    if (internet_) proxy = SessionProxyFor(internet_.Get(), target);
  }
  if (proxy.empty()) return;
  error_text_ = kErrorProxyConnect + std::to_string(error);
  LOG(ERROR) << "Cannot reach the proxy " << proxy << " for " << target << ": " << error;
}

bool InternetDownloader::QueryStatus(uint32_t* status) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  HINTERNET handle = static_cast<HINTERNET>(request());
  if (!handle || !::HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) {
    return false;
  }
  *status = value;
  return true;
}

uint32_t InternetDownloader::ReadChunk() {
  if (!error_text_.empty()) return 0;
  // A read waits until the buffer is full or the body ends. Asking only for
  // what has arrived lets the caller see its stop event between pieces of a
  // slow body instead of after 32 KiB of it. The query waits for the
  // connection like a read, so its failure is a read error.
  HINTERNET handle = static_cast<HINTERNET>(request());
  DWORD available = 0;
  if (!::InternetQueryDataAvailable(handle, &available, 0, 0)) {
    SetErrorFromLastError(kErrorInternetRead);
    return 0;
  }
  DWORD to_read = available > 0 ? std::min<DWORD>(available, kDownloadBufferSize) : kDownloadBufferSize;
  DWORD read = 0;
  if (!::InternetReadFile(handle, buffer_.get(), to_read, &read)) {
    SetErrorFromLastError(kErrorInternetRead);
    return 0;
  }
  uint32_t status = 0;
  if (QueryStatus(&status) && status != HTTP_STATUS_OK) return 0;
  if (read > 0 && !IsStillExecutableStart(read)) return 0;
  if (content_length_ == 0) {
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (::HttpQueryInfoW(handle, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                         &size, nullptr)) {
      content_length_ = length;
      // An announced length beyond the limit fails now, not a gigabyte later.
      uint64_t announced_end = AnnouncedBodyEnd(!GetResponseHeader("Content-Range").empty(), resume_offset_, length);
      if (PassesSinkLimit(announced_end, "announced length")) return 0;
    }
  }
  if (PassesSinkLimit(BodyEndAfter(sink_->bytes_written(), read), "body")) return 0;
  if (read > 0 && !sink_->Write(buffer_.get(), read)) {
    SetErrorFromLastError(kErrorWriteFile);
    return 0;
  }
  return read;
}

// A network that signs its users in answers every request with its own
// page and status 200. Decided on the first bytes, before any is kept, so a
// retry starts clean. A resumed body starts mid-file and is not checked.
bool InternetDownloader::IsStillExecutableStart(uint32_t read) {
  if (!options_.expect_executable || resume_offset_ != 0 || body_start_.size() >= kExecutableStartLength)
    return true;
  body_start_.append(buffer_.get(), std::min<size_t>(kExecutableStartLength - body_start_.size(), read));
  if (std::memcmp(body_start_.data(), kExecutableStart, body_start_.size()) == 0) return true;
  error_text_ = kErrorCaptivePortal + std::to_string(HTTP_STATUS_OK);
  std::string content_type = GetResponseHeader("Content-Type");
  LOG(ERROR) << "Not the archive but a page of the network (a sign-in page?): " << url_ << " answered with "
             << (content_type.empty() ? "no content type" : content_type);
  return false;
}

bool InternetDownloader::PassesSinkLimit(uint64_t total, const char* what) {
  if (total <= sink_->max_bytes()) return false;
  error_text_ = kErrorTooLarge + std::to_string(sink_->max_bytes());
  LOG(ERROR) << "The " << what << " of " << url_ << " passes the limit of " << sink_->max_bytes() << " bytes ("
             << total << ")";
  return true;
}

// A response that ends early still ends with status 200; only the announced
// length tells. For a range response the length is that of the remaining
// part; otherwise it is the whole entity, of which a resumed request hands
// over only the part after the resume offset.
bool InternetDownloader::IsShortOfAnnouncedLength() {
  if (content_length_ == 0 || !sink_) return false;
  bool range_response = !GetResponseHeader("Content-Range").empty();
  uint64_t expected_end = range_response ? resume_offset_ + content_length_ : content_length_;
  uint64_t written = sink_->bytes_written();
  if (written >= expected_end) return false;
  uint64_t received = written - resume_offset_;
  uint64_t expected = expected_end - resume_offset_;
  error_text_ = kErrorIncompleteDownload + std::to_string(received);
  LOG(ERROR) << "Incomplete download: " << url_ << " (" << received << " of " << expected << " bytes)";
  return true;
}

bool InternetDownloader::FinalizeDownload(uint32_t* status_out) {
  if (!error_text_.empty()) return false;
  uint32_t status = 0;
  bool queried = QueryStatus(&status);
  if (queried && status == HTTP_STATUS_OK) {
    if (status_out) *status_out = status;
    if (IsShortOfAnnouncedLength()) return false;
    // An empty or one-byte body cannot be an executable either.
    if (options_.expect_executable && resume_offset_ == 0 && body_start_.size() < kExecutableStartLength) {
      error_text_ = kErrorCaptivePortal + std::to_string(status);
      LOG(ERROR) << "Not the archive: " << url_ << " answered with " << body_start_.size() << " bytes";
      return false;
    }
    return true;
  }
  DWORD error = ::GetLastError();
  if (!queried) status = 0;
  if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
    error_text_ = kErrorProxyAuthRequired + std::to_string(status);
    LOG(ERROR) << "The proxy asks for credentials (407), which the installer cannot give: " << url_;
    if (status_out) *status_out = status;
    return false;
  }
  error_text_ = kErrorFinalQueryInfo + std::to_string(status) + "-" + std::to_string(error);
  LOG(ERROR) << "Unsuccessful download: " << url_;
  if (status_out) *status_out = status;
  return false;
}

std::string InternetDownloader::GetResponseHeader(const std::string& name) {
  HINTERNET handle = static_cast<HINTERNET>(request());
  if (!handle || name.empty()) return std::string();
  std::string buffer(std::max<size_t>(256, name.size() + 1), '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::memcpy(buffer.data(), name.c_str(), name.size() + 1);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (::HttpQueryInfoA(handle, HTTP_QUERY_CUSTOM, buffer.data(), &size, nullptr)) {
      buffer.resize(size);
      return buffer;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buffer.assign(std::max<size_t>(size_t{size} + 1, name.size() + 1), '\0');
  }
  return std::string();
}

bool InternetDownloader::DownloadToSink(const std::string& url, HANDLE cancel_event, DownloadSink* sink) {
  std::wstring wide_url(url.size(), L'\0');
  for (size_t i = 0; i < url.size(); ++i) wide_url[i] = static_cast<wchar_t>(static_cast<unsigned char>(url[i]));
  return RunDownloadLoop(this, wide_url, sink, cancel_event, nullptr, nullptr, nullptr);
}

bool InternetDownloader::DownloadToFile(const std::string& url, HANDLE cancel_event, const std::wstring& target_path) {
  // Beside the target: the move is a rename on one volume, and the body is
  // never in a folder other users (or the user of an elevated run) can write.
  std::wstring target_directory = DirName(target_path);
  std::wstring temp_path =
      CreateUniqueTempFile(target_directory.empty() ? GetTempDirectory() : target_directory, kTempFilePrefix);
  ScopedFileHandle file;
  if (!temp_path.empty()) {
    file.Reset(::CreateFileW(temp_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  }
  if (!file.IsValid()) {
    ResetState();
    SetErrorFromLastError(kErrorCreateFile);
    if (!temp_path.empty()) ::DeleteFileW(temp_path.c_str());
    return false;
  }
  FileDownloadSink sink(file.Get());
  bool ok = DownloadToSink(url, cancel_event, &sink);
  file.Close();
  sink_ = nullptr;
  auto move = [&] {
    return ::MoveFileExW(temp_path.c_str(), target_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) !=
           FALSE;
  };
  if (ok && !(stopper_ ? stopper_->PublishUnlessStopped(move) : move())) {
    SetErrorFromLastError(kErrorMoveFile);
    PLOG(ERROR) << "Cannot move the download to " << target_path;
    ok = false;
  }
  ::DeleteFileW(temp_path.c_str());
  return ok;
}

bool InternetDownloader::DownloadToString(const std::string& url, HANDLE cancel_event, std::string* data) {
  StringDownloadSink sink;
  bool ok = DownloadToSink(url, cancel_event, &sink);
  sink_ = nullptr;
  if (ok) *data = sink.TakeData();
  return ok;
}

bool RunDownloadLoop(InternetDownloader* downloader, const std::wstring& url, DownloadSink* sink, HANDLE stop_event,
                     DownloadProgressObserver* observer, DownloadErrorInfo* error_info, DownloadLoopResult* result) {
  bool ok = false;
  if (!downloader->OpenDownload(url, sink)) {
    if (error_info) *error_info = downloader->exception();
  } else {
    if (observer && sink->bytes_written() == 0) {
      observer->OnProgress(0.0f);
      observer->OnRemainingTime(-1, DownloadProgressObserver::kRemainingUnknown);
    }
    const RequestOptions& options = downloader->options();
    uint64_t start = downloader->NowMilliseconds();
    uint64_t last_estimate = 0;
    uint64_t window_start = start;
    uint64_t window_bytes = 0;
    for (;;) {
      // A stopped download fails: its sink holds only part of the body.
      if (stop_event && ::WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0) break;
      uint32_t read = downloader->ReadChunk();
      // A trickle keeps every read inside the time-outs; the window rule
      // ends it.
      window_bytes += read;
      uint64_t now = downloader->NowMilliseconds();
      if (read != 0 && now - window_start >= options.progress_window_ms) {
        if (window_bytes < options.progress_window_min_bytes) {
          downloader->FailForNoProgress(window_bytes);
          break;
        }
        window_start = now;
        window_bytes = 0;
      }
      if (read == 0) {
        ok = downloader->FinalizeDownload();
        if (ok && observer) {
          observer->OnProgress(1.0f);
          observer->OnRemainingTime(0, DownloadProgressObserver::kRemainingFinished);
        }
        break;
      }
      uint32_t length = downloader->content_length();
      if (length == 0) continue;
      uint64_t written = sink->bytes_written();
      if (observer) observer->OnProgress(static_cast<float>(written) / static_cast<float>(length));
      if (written == 0) continue;
      uint64_t elapsed = now - start;
      if (elapsed - last_estimate < kRemainingTimeIntervalMs) continue;
      // A resumed range response can announce less than the sink holds.
      uint64_t remaining = written >= length ? 0 : elapsed * (length - written) / written / 1000;
      last_estimate = elapsed;
      if (observer) {
        if (remaining + elapsed / 1000 > kSlowDownloadSeconds) observer->OnSlowDownload();
        observer->OnRemainingTime(
            static_cast<int32_t>(std::min<uint64_t>(remaining, std::numeric_limits<int32_t>::max())),
            DownloadProgressObserver::kRemainingEstimated);
      }
    }
  }
  if (result) {
    result->error_text = downloader->error_text();
    result->redirect_url = downloader->redirect_url();
    result->content_length = downloader->content_length();
  }
  return ok;
}

}  // namespace ostrel
