// Test support for the Installer: scripted downloads instead of the network,
// the statistics events it would send, its observer calls, and a private
// HKEY_CURRENT_USER so its hand-over values never meet other tests' values.
#ifndef INSTALL_INSTALLER_TEST_UTIL_H_
#define INSTALL_INSTALLER_TEST_UTIL_H_

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "install/installer.h"
#include "net/internet_downloader.h"
#include "reporting/stat_reporter.h"

namespace ostrel::testing {

// What one download attempt does.
struct ScriptedAttempt {
  // Body bytes delivered from where the sink stands (a resumed request
  // continues there); the rest of the body when larger than what is left.
  uint32_t deliver = UINT32_MAX;
  // Non-empty: the attempt fails with this downloader error text.
  std::string error;
  // Non-zero: opening raises this exception (delay-load names beside it).
  uint32_t exception = 0;
  std::string dll_name;
  std::string proc_name;
  // Reading waits for this event (and nothing else) before delivering.
  HANDLE block = nullptr;
  // The downloader reports a redirect to this URL.
  std::wstring redirect_url;
  // No announced length (the body ends with the connection).
  bool unknown_length = false;
};

inline ScriptedAttempt FailsAfter(uint32_t deliver, std::string error) {
  ScriptedAttempt attempt;
  attempt.deliver = deliver;
  attempt.error = std::move(error);
  return attempt;
}

inline ScriptedAttempt ThrowsOnOpen(uint32_t code, std::string dll_name = "", std::string proc_name = "") {
  ScriptedAttempt attempt;
  attempt.exception = code;
  attempt.dll_name = std::move(dll_name);
  attempt.proc_name = std::move(proc_name);
  return attempt;
}

inline ScriptedAttempt BlocksUntil(HANDLE event) {
  ScriptedAttempt attempt;
  attempt.block = event;
  return attempt;
}

// The attempts of one test, in order; once they are used up every attempt
// delivers the whole body. Shared by every downloader the factory makes.
class ScriptedDownloads {
 public:
  explicit ScriptedDownloads(std::string body, std::vector<ScriptedAttempt> attempts = {})
      : body_(std::move(body)), attempts_(std::move(attempts)), finished_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  Installer::DownloaderFactory Factory();

  // URL and resume offset of every attempt made, in order.
  std::vector<std::wstring> urls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }
  std::vector<uint32_t> resume_offsets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offsets_;
  }
  size_t attempts_made() const { return urls().size(); }
  // Signalled when an attempt has ended (successfully or not).
  HANDLE attempt_finished() const { return finished_.Get(); }
  const std::string& body() const { return body_; }

 private:
  friend class ScriptedDownloader;
  ScriptedAttempt Next(const std::wstring& url, uint32_t offset) {
    std::lock_guard<std::mutex> lock(mutex_);
    urls_.push_back(url);
    offsets_.push_back(offset);
    size_t index = next_++;
    return index < attempts_.size() ? attempts_[index] : ScriptedAttempt();
  }

  std::string body_;
  std::vector<ScriptedAttempt> attempts_;
  mutable std::mutex mutex_;
  size_t next_ = 0;
  std::vector<std::wstring> urls_;
  std::vector<uint32_t> offsets_;
  ScopedKernelHandle finished_;
};

class ScriptedDownloader : public InternetDownloader {
 public:
  explicit ScriptedDownloader(ScriptedDownloads* script) : script_(script) {}

  bool OpenDownload(const std::wstring& url, DownloadSink* sink) override {
    ResetState();
    url_ = url;
    sink_ = sink;
    resume_offset_ = sink->bytes_written();
    attempt_ = script_->Next(url, resume_offset_);
    redirect_url_ = attempt_.redirect_url;
    if (attempt_.exception != 0) {
      exception_.code = attempt_.exception;
      exception_.dll_name = attempt_.dll_name;
      exception_.proc_name = attempt_.proc_name;
      ::SetEvent(script_->attempt_finished());
      return false;
    }
    uint32_t left = static_cast<uint32_t>(script_->body().size()) - std::min<uint32_t>(
        resume_offset_, static_cast<uint32_t>(script_->body().size()));
    remaining_ = std::min(attempt_.deliver, left);
    return true;
  }

  uint32_t ReadChunk() override {
    if (attempt_.block) {
      ::WaitForSingleObject(attempt_.block, INFINITE);
      attempt_.block = nullptr;
    }
    if (remaining_ == 0) return 0;
    uint32_t count = std::min<uint32_t>(remaining_, kDownloadBufferSize);
    uint32_t at = sink_->bytes_written();
    sink_->Write(script_->body().data() + at, count);
    remaining_ -= count;
    content_length_ = attempt_.unknown_length ? 0 : static_cast<uint32_t>(script_->body().size());
    return count;
  }

  bool FinalizeDownload(uint32_t*) override {
    error_text_ = attempt_.error;
    ::SetEvent(script_->attempt_finished());
    return error_text_.empty();
  }

 private:
  ScriptedDownloads* script_;
  ScriptedAttempt attempt_;
  uint32_t remaining_ = 0;
};

inline Installer::DownloaderFactory ScriptedDownloads::Factory() {
  return [this] { return std::make_unique<ScriptedDownloader>(this); };
}

// The statistics requests an Installer makes through its reporter, kept
// instead of sent.
class StatRecord {
 public:
  // A reporter for set_stat_reporter_for_testing; it must not outlive this.
  std::unique_ptr<StatReporter> MakeReporter(const std::string& user_id = "{USER}") {
    return std::make_unique<StatReporter>(user_id, std::make_unique<Sender>(this));
  }
  std::vector<std::wstring> urls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_;
  }
  // Each request's "/vars=" items, percent-decoded.
  std::vector<StatEvent> events() const {
    std::vector<StatEvent> decoded;
    for (const std::wstring& url : urls()) decoded.push_back(DecodeStatVars(url));
    return decoded;
  }

  static StatEvent DecodeStatVars(const std::wstring& url) {
    StatEvent items;
    size_t start = url.find(L"/vars=");
    if (start == std::wstring::npos) return items;
    start += 6;
    size_t end = url.find(L'/', start);
    std::wstring vars = url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    size_t position = 0;
    while (position <= vars.size()) {
      size_t comma = vars.find(L',', position);
      if (comma == std::wstring::npos) comma = vars.size();
      std::wstring item = vars.substr(position, comma - position);
      size_t equals = item.find(L'=');
      if (item.size() > 1 && item[0] == L'-' && equals != std::wstring::npos) {
        std::wstring key = PercentDecode(item.substr(1, equals - 1));
        items[WideToUtf8(key)] = PercentDecode(item.substr(equals + 1));
      } else if (!item.empty()) {
        items["<malformed>"] += item;
      }
      position = comma + 1;
    }
    return items;
  }

 private:
  class Sender : public AsyncUrlSender {
   public:
    explicit Sender(StatRecord* record) : record_(record) {}
    bool Send(const std::wstring& url) override {
      std::lock_guard<std::mutex> lock(record_->mutex_);
      record_->urls_.push_back(url);
      return true;
    }

   private:
    StatRecord* record_;
  };

  static std::wstring PercentDecode(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'%' && i + 2 < text.size() && iswxdigit(text[i + 1]) && iswxdigit(text[i + 2])) {
        out += static_cast<wchar_t>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        out += text[i];
      }
    }
    return out;
  }

  mutable std::mutex mutex_;
  std::vector<std::wstring> urls_;
};

// The statistics events by name ("download_attempt failed 1 ..."), in order.
class RecordingInstaller : public Installer {
 public:
  using Installer::Installer;

  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<DownloadAttemptReport> attempts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return attempts_;
  }

 private:
  void ReportInstallerStarted() override { Add("installer_started"); }
  void ReportDownloadStarted() override { Add("download_started"); }
  void ReportDownloadError(const DownloadAttemptReport& report) override {
    Add("download_error attempt-" + std::to_string(report.attempt_number) + "-" + report.error_text);
  }
  void ReportDownloadAttempt(const DownloadAttemptReport& report) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      attempts_.push_back(report);
    }
    Add(std::string("download_attempt ") + (report.success ? "success" : "failed"));
  }
  void ReportDownloadFinished() override { Add("download_finished"); }
  void ReportSetupArcLockError() override { Add("setup_arc_lock_error"); }
  void ReportVerificationError() override { Add("verification_error"); }
  void ReportSetupLaunched() override { Add("setup_launched"); }
  void ReportSetupExited(const StepResult& setup) override {
    Add(std::string("setup_exited ") + (setup.succeeded() ? "1" : "0"));
  }
  void ReportInstallationFinished(bool success) override {
    Add(std::string("installation_finished ") + (success ? "1" : "0"));
  }
  void ReportUacDeclined() override { Add("uac_declined"); }

  void Add(std::string event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<DownloadAttemptReport> attempts_;
};

// Every observer call as text ("progress 40", "error 5", "finished 1").
class RecordingObserver : public InstallerObserver {
 public:
  RecordingObserver() : finished_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  void OnDownloadProgress(float) override { downloaded_progress_ = true; }
  void OnSlowDownload() override { AddDownload("slow"); }
  void OnRemainingTime(int32_t seconds, int32_t state) override {
    AddDownload("remaining " + std::to_string(seconds) + " " + std::to_string(state));
  }
  void OnInstallFinished(int result) override {
    Add("finished " + std::to_string(result));
    if (on_finished) on_finished();
    ::SetEvent(finished_.Get());
  }
  void OnInstallError(int32_t kind) override {
    Add("error " + std::to_string(kind));
    ::SetEvent(finished_.Get());
  }
  HWND GetWindow() override { return nullptr; }
  void SetProgress(int percentage) override {
    Add("progress " + std::to_string(percentage));
    if (on_progress) on_progress(percentage);
  }
  void RemoveStopButton() override { Add("remove_stop_button"); }

  // Calls other than the download's.
  std::vector<std::string> calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // The slow-download and remaining-time calls.
  std::vector<std::string> download_calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return download_calls_;
  }
  bool downloaded_progress() const { return downloaded_progress_; }
  // Signalled by OnInstallFinished and OnInstallError.
  HANDLE done() const { return finished_.Get(); }

  // Run on the install thread inside the call.
  std::function<void(int)> on_progress;
  std::function<void()> on_finished;

 private:
  void Add(std::string call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  void AddDownload(std::string call) {
    std::lock_guard<std::mutex> lock(mutex_);
    download_calls_.push_back(std::move(call));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::string> download_calls_;
  bool downloaded_progress_ = false;
  ScopedKernelHandle finished_;
};

}  // namespace ostrel::testing

#endif  // INSTALL_INSTALLER_TEST_UTIL_H_
