// The Installer's setup archive download: the URL list, the attempts and
// their waits, the resume decision.

#include <algorithm>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/module_version.h"
#include "base/os_facts.h"
#include "base/switches.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/brand_info.h"
#include "config/maker_hosts.h"
#include "install/installer.h"
#include "reporting/stat_reporter.h"

namespace ostrel {
namespace {

constexpr uint16_t kProcessorArchitectureAmd64 = 9;
constexpr wchar_t kInstallTypeNormal[] = L"normal";

}  // namespace

bool ShouldDownloadX64(const InstallerCommandLine& command_line) {
  if (command_line.IsSwitchPresent(switches::kDownloadX64)) return true;
  if (command_line.IsSwitchPresent(switches::kDownloadX32)) return false;
  return GetOsFacts().GetNativeProcessorArchitecture() == kProcessorArchitectureAmd64;
}

bool GetModuleCreationTime(const std::wstring& path, int64_t* micros) {
  VS_FIXEDFILEINFO info;
  if (!GetModuleVersionAndType(path, &info)) {
    LOG(ERROR) << "File version resource is absent in " << path;
  } else {
    uint64_t date = (static_cast<uint64_t>(info.dwFileDateMS) << 32) | info.dwFileDateLS;
    if (date != 0) {
      *micros = static_cast<int64_t>(date);
      return true;
    }
    LOG(ERROR) << "Version time is 0 in " << path;
  }
  LOG(ERROR) << "Used the last write file time";
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return false;
  uint64_t write_time =
      (static_cast<uint64_t>(attributes.ftLastWriteTime.dwHighDateTime) << 32) | attributes.ftLastWriteTime.dwLowDateTime;
  *micros = static_cast<int64_t>(write_time / 10);
  return true;
}

DownloadUrlList Installer::GetDownloadUrls(bool x64) const {
  SetupUrlConfig config;
  config.download_cdn = hosts::kDownloadCdn;
  if (brand_) {
    config.brand_id = brand_->brand_id();
    config.setup_url = brand_->setup_url();
    config.setup_url64 = brand_->setup_url64();
    config.setup_url_version = brand_->setup_url_version();
    config.setup_url_win7 = brand_->setup_url_win7();
  }
  return GetDownloadUrlsFromBrandConfig(config, CurrentWindowsVersion(), x64, [](const std::string& url) {
    return IsVersionedSetupUrlAllowed(
        url, [](int64_t* micros) { return GetModuleCreationTime(GetOwnExecutablePath(), micros); },
        GetOsFacts().GetCurrentTimeMicros());
  });
}

StepResult Installer::GetModule(const std::wstring& path, ScopedFileHandle* lock_holder) {
  uint64_t start = MonotonicMicros();
  bool downloaded = false;
  StepResult result = DownloadOrExtractModule(path, lock_holder, &downloaded);
  // Without a target file (the one generic failure here) nothing was
  // downloaded: the final report then carries no download time.
  if (result.failure != kFailureGeneric) download_duration_ = MonotonicMicros() - start;
  if (!result.succeeded()) {
    PLOG(WARNING) << "Module was not downloaded: " << path;
    result.exit_code = kInstallerExitCodeDownloadFailed;
    return result;
  }
  LOG(INFO) << "Module downloaded: " << path;
  new_version_ = GetFileVersionString(path);
  stat_reporter_->SetParam(StatParam::kNewVersion, AsciiToWide(new_version_));
  stat_reporter_->SetParam(StatParam::kInstallType, kInstallTypeNormal);
  ReportDownloadFinished();
  return StepSucceeded();
}

StepResult Installer::DownloadOrExtractModule(const std::wstring& path, ScopedFileHandle* lock_holder,
                                                  bool* downloaded) {
  *downloaded = false;
  ScopedFileHandle own_file;
  ScopedFileHandle* file = lock_holder ? lock_holder : &own_file;
  // The lock holder keeps its handle beyond the download, letting others read only.
  // The name's own file, reserved when the name was made, not one a link there
  // leads to; emptied through the handle.
  file->Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, lock_holder ? FILE_SHARE_READ : 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (file->IsValid() && (!::GetFileInformationByHandle(file->Get(), &info) || info.nNumberOfLinks > 1 ||
                          (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
                          !::SetEndOfFile(file->Get()))) {
    LOG(ERROR) << "Not a plain file of its own: " << path;
    file->Close();
    ::SetLastError(ERROR_ACCESS_DENIED);
  }
  if (!file->IsValid()) {
    DWORD error = ::GetLastError();
    PLOG(WARNING) << "Cannot create file:" << path;
    return StepFailed(kFailureGeneric, std::nullopt, error);
  }
  LOG(INFO) << "Try to download module:" << path;
  StepResult result = DownloadModule(file->Get(), InstallerCommandLine::ProcessCommandLine());
  *downloaded = result.succeeded();
  return result;
}

StepResult Installer::DownloadModule(HANDLE file, const InstallerCommandLine& command_line) {
  FileDownloadSink sink(file);
  x64_download_ = ShouldDownloadX64(command_line);
  DownloadUrlList urls = GetDownloadUrls(x64_download_);
  if (urls.empty()) {
    LOG(WARNING) << "Setup url is empty.";
    return StepFailed(kFailureDownload);
  }
  LOG(INFO) << "Selected download urls:";
  for (const DownloadUrlEntry& entry : urls) LOG(INFO) << entry.url;
  ReportDownloadStarted();

  // Nothing follows the very last attempt, so no wait either.
  int32_t attempts_left = 0;
  for (const DownloadUrlEntry& entry : urls) attempts_left += std::max<int32_t>(entry.attempts, 0);
  for (const DownloadUrlEntry& entry : urls) {
    sink.Reset();
    for (int32_t attempt = 1; attempt <= entry.attempts; ++attempt) {
      if (IsStopped()) {
        LOG(INFO) << "Installation stopped";
        return StepFailed(kFailureDownload);
      }
      --attempts_left;
      std::unique_ptr<InternetDownloader> downloader = downloader_factory_();
      downloader->set_stopper(download_stopper_.get());
      RequestOptions options = downloader->options();
      options.expect_executable = true;
      downloader->set_options(options);
      DownloadErrorInfo error_info;
      DownloadLoopResult loop;
      bool ok = RunDownloadLoop(downloader.get(), AsciiToWide(entry.url), &sink, stop_event_.Get(), &download_observer_,
                                &error_info, &loop);

      DownloadAttemptReport report;
      report.attempt_number = attempt;
      report.success = ok;
      report.error_text = loop.error_text;
      report.total_size = loop.content_length;
      report.url = AsciiToWide(entry.url);
      report.redirect_host = GetRedirectHost(loop.redirect_url);
      report.x64 = x64_download_;
      if (ok) {
        report.downloaded_size = sink.bytes_written();
        if (cancel_count_.load() == 0) ReportDownloadAttempt(report);
        return StepSucceeded();
      }
      if (error_info.code != 0) {
        LOG(WARNING) << DescribeDownloadException(error_info);
        return StepFailed(IsCryptoProFailure(error_info) ? kFailureDownloadCryptoProvider : kFailureDownload);
      }
      LOG(WARNING) << "Download attempt " << attempt << " of " << entry.attempts << " failed: " << loop.error_text;
      // Nothing of a network's own page or of a body past the limit is resumed.
      if (loop.error_text.rfind(kErrorCaptivePortal, 0) == 0 || loop.error_text.rfind(kErrorTooLarge, 0) == 0 ||
          ShouldRestartPartialDownload(sink.bytes_written(), loop.content_length)) {
        sink.Reset();
      }
      report.downloaded_size = sink.bytes_written();
      if (cancel_count_.load() == 0) {
        ReportDownloadError(report);
        ReportDownloadAttempt(report);
      }
      // A stop ends the wait; the next round sees it.
      if (attempts_left > 0) ::WaitForSingleObject(stop_event_.Get(), timings_.retry_wait_ms);
    }
  }
  LOG(WARNING) << "Max download attempts failed";
  return StepFailed(kFailureDownload);
}

bool Installer::Download(const std::wstring& url, DownloadSink* sink, std::string* error_text,
                         std::wstring* redirect_url, DownloadStopper* stopper, DWORD timeout_ms) {
  if (!stopper) stopper = download_stopper_.get();
  LOG(INFO) << "Attempt to download module: " << url;
  sink->Reset();
  std::unique_ptr<InternetDownloader> downloader = downloader_factory_();
  downloader->set_stopper(stopper);
  if (timeout_ms != 0) {
    RequestOptions options = downloader->options();
    options.connect_timeout_ms = options.send_timeout_ms = options.receive_timeout_ms = timeout_ms;
    downloader->set_options(options);
  }
  DownloadLoopResult loop;
  bool ok = RunDownloadLoop(downloader.get(), url, sink, stopper->stop_event(), nullptr, nullptr, &loop);
  if (error_text) *error_text = loop.error_text;
  if (redirect_url) *redirect_url = loop.redirect_url;
  return ok;
}

}  // namespace ostrel
