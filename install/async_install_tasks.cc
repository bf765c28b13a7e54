#include "install/async_install_tasks.h"

#include <process.h>

#include <utility>

#include "base/base64.h"
#include "base/build_version.h"
#include "base/file_util.h"
#include "base/json_writer.h"
#include "base/logging.h"
#include "base/values.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "config/maker_hosts.h"
#include "net/internet_downloader.h"
#include "reporting/user_id.h"

namespace ostrel {
namespace {

constexpr wchar_t kReservedPathPrefix[] = L"ait";
constexpr wchar_t kVariationsTempPrefix[] = L"var";

HANDLE StartThreadWithCrt(AsyncInstallTasks::ThreadRoutine routine, void* argument) {
  return reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, routine, argument, 0, nullptr));
}

// The identifier is stored as a braced GUID; the services want it bare.
std::string StripBraces(std::string id) {
  if (!id.empty() && id.front() == '{') id.erase(0, 1);
  if (!id.empty() && id.back() == '}') id.pop_back();
  return id;
}

// A name no other file in the work directory has (where the data files go:
// an elevated run's is its own). The file itself is deleted at once: a
// download or save creates it when its content is whole.
std::wstring ReservePath(const std::wstring& work_dir) {
  std::wstring path = CreateUniqueTempFile(work_dir, kReservedPathPrefix);
  if (path.empty()) {
    PLOG(WARNING) << "Cannot create a temporary file for a downloaded bundle";
    return path;
  }
  ::DeleteFileW(path.c_str());
  return path;
}

HANDLE StopEventOf(DownloadStopper* stopper) { return stopper ? stopper->stop_event() : nullptr; }

void DownloadServerConfigBundle(const std::string& url, const std::wstring& path, DownloadStopper* stopper) {
  InternetDownloader downloader;
  downloader.set_stopper(stopper);
  if (!downloader.DownloadToFile(url, StopEventOf(stopper), path))
    PlatformLogError("Failed to download server config bundle: " + downloader.error_text());
}

void DownloadWallpaperBundle(const std::string& url, const std::wstring& path, DownloadStopper* stopper) {
  InternetDownloader downloader;
  downloader.set_stopper(stopper);
  if (!downloader.DownloadToFile(url, StopEventOf(stopper), path))
    PlatformLogError("Failed to download wallpaper bundle: " + downloader.error_text());
}

}  // namespace

struct AsyncInstallTasks::Worker {
  Worker() : stop_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), stopper(stop_event.Get()) {}

  void Run() {
    for (const std::function<void()>& task : tasks) {
      if (::WaitForSingleObject(stop_event.Get(), 0) == WAIT_OBJECT_0) return;
      task();
    }
  }

  ScopedKernelHandle stop_event;
  DownloadStopper stopper;
  std::vector<std::function<void()>> tasks;
};

std::string AppendBrandQuery(std::string url, const BrandQuery& query) {
  const std::pair<const char*, const std::string*> pairs[] = {
      {"brand", &query.brand}, {"partner", &query.partner}, {"uid", &query.uid}, {"version", &query.version}};
  for (const auto& [key, value] : pairs) {
    if (value->empty()) continue;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += key;
    url += '=';
    url += *value;
  }
  return url;
}

std::string GetServerConfigBundleUrl(const std::string& brand_id, const std::string& partner_id) {
  std::string query;
  if (!brand_id.empty()) query = "brandID=" + brand_id;
  if (!partner_id.empty()) {
    if (!query.empty()) query += '&';
    query += "partnerID=" + partner_id;
  }
  std::string url = std::string(hosts::kBrowserApiInternational) + kServerConfigBundleUrlPath;
  if (!query.empty()) url += "?" + query;
  return url;
}

std::string SerializeVariations(const VariationsData& data) {
  Value::Dict file;
  file[kVariationsSeedKey] = Value(Base64Encode(data.seed));
  file[kVariationsSignatureKey] = Value(data.signature);
  file[kVariationsLastModifiedKey] = Value(data.last_modified);
  file[kVariationsCountryKey] = Value(data.country);
  return WriteJson(Value(std::move(file)), /*pretty=*/true);
}

bool SaveVariations(const std::wstring& path, const VariationsData& data, DownloadStopper* stopper) {
  // Setup may read the file at any moment: it is written beside its final
  // name and renamed over it, which readers see as one step.
  std::string text = SerializeVariations(data);
  std::wstring directory = DirName(path);
  std::wstring temp_path = CreateUniqueTempFile(directory.empty() ? GetTempDirectory() : directory,
                                                kVariationsTempPrefix);
  auto rename = [&] { return ::MoveFileExW(temp_path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; };
  bool ok = !text.empty() && !temp_path.empty() && WriteBytesToFile(temp_path, text) &&
            (stopper ? stopper->PublishUnlessStopped(rename) : rename());
  if (!ok) {
    DWORD error = ::GetLastError();
    if (!temp_path.empty()) ::DeleteFileW(temp_path.c_str());
    ::SetLastError(error);
    PLOG(ERROR) << "Failed to save downloaded variations update to " << path;
  }
  return ok;
}

bool DownloadAndSaveVariations(const std::string& url, const std::wstring& path, DownloadStopper* stopper) {
  InternetDownloader downloader;
  downloader.set_stopper(stopper);
  VariationsData data;
  if (!downloader.DownloadToString(url, StopEventOf(stopper), &data.seed)) {
    PLOG(ERROR) << "Failed to download variations seed: " << downloader.error_text();
    return false;
  }
  data.signature = downloader.GetResponseHeader(kSeedSignatureHeader);
  if (data.signature.empty()) {
    PLOG(ERROR) << "Failed to get variations seed signature";
    return false;
  }
  data.last_modified = downloader.GetResponseHeader(kLastModifiedHeader);
  data.country = downloader.GetResponseHeader(kCountryHeader);
  if (!SaveVariations(path, data, stopper)) {
    PLOG(ERROR) << "Failed to save variations in " << path;
    return false;
  }
  LOG(INFO) << "Variations are saved in " << path;
  return true;
}

AsyncInstallTasks::AsyncInstallTasks(const BrandInfo* brand_info, const DistribInfoParams* params)
    : AsyncInstallTasks(brand_info, params, StartThreadWithCrt) {}

AsyncInstallTasks::AsyncInstallTasks(const BrandInfo* brand_info, const DistribInfoParams* params,
                                     StartThreadFunction start_thread)
    : brand_id_(brand_info->brand_id()),
      partner_id_(brand_info->partner_id()),
      worker_(std::make_unique<Worker>()) {
  if (Prepare(*brand_info, *params)) InitializeThread(start_thread);
}

AsyncInstallTasks::~AsyncInstallTasks() {
  Stop();
  // Still in use by a worker that outlived Stop; the process's end takes it.
  if (worker_abandoned_) static_cast<void>(worker_.release());
}

std::string AsyncInstallTasks::AppendBrandQuery(const std::string& url) const {
  return ostrel::AppendBrandQuery(
      url, {brand_id_, partner_id_, StripBraces(GetUserIdInternal()), TARVIK_INSTALLER_VERSION_STRING});
}

bool AsyncInstallTasks::Prepare(const BrandInfo& brand_info, const DistribInfoParams& params) {
  struct TaskSwitch {
    const char* param;
    const char* default_value;  // null: off unless given
    bool any_value;             // on for any non-empty value, else only for "1"
    std::wstring AsyncInstallTasks::*path;
  };
  static constexpr TaskSwitch kSwitches[] = {
      {kVariationsUpdateParam, "1", false, &AsyncInstallTasks::variations_update_path_},
      {kAbtUpdateParam, "1", false, &AsyncInstallTasks::abt_update_path_},
      {kWebntpParam, nullptr, false, &AsyncInstallTasks::webntp_path_},
      {kServerConfigUpdateParam, nullptr, false, &AsyncInstallTasks::server_config_bundle_path_},
      {kPreloadedWallpapersParam, nullptr, true, &AsyncInstallTasks::preloaded_wallpaper_bundle_path_},
  };
  for (const TaskSwitch& entry : kSwitches) {
    std::string value;
    if (!params.Get(entry.param, &value)) {
      if (!entry.default_value) continue;
      value = entry.default_value;
    }
    bool on = entry.any_value ? !value.empty() : value == "1";
    if (on) this->*entry.path = ReservePath(brand_info.work_dir());
  }

  DownloadStopper* stopper = &worker_->stopper;
  std::vector<std::function<void()>>& tasks = worker_->tasks;
  if (!variations_update_path_.empty()) {
    tasks.push_back([url = AppendBrandQuery(brand_info.variations_url()), path = variations_update_path_,
                     stopper] { DownloadAndSaveVariations(url, path, stopper); });
  }
  if (!abt_update_path_.empty()) {
    tasks.push_back([url = AppendBrandQuery(brand_info.abt_url()), path = abt_update_path_, stopper] {
      DownloadAndSaveVariations(url, path, stopper);
    });
  }
  if (!server_config_bundle_path_.empty()) {
    tasks.push_back([url = GetServerConfigBundleUrl(brand_id_, partner_id_), path = server_config_bundle_path_,
                     stopper] { DownloadServerConfigBundle(url, path, stopper); });
  }
  if (!preloaded_wallpaper_bundle_path_.empty() && !brand_info.preloaded_wallpapers_url().empty()) {
    std::string value;
    params.Get(kPreloadedWallpapersParam, &value);
    tasks.push_back([url = brand_info.preloaded_wallpapers_url() + value, path = preloaded_wallpaper_bundle_path_,
                     stopper] { DownloadWallpaperBundle(url, path, stopper); });
  }
  return !tasks.empty();
}

void AsyncInstallTasks::InitializeThread(StartThreadFunction start_thread) {
  // Without a stop event the worker could not be interrupted, and Stop
  // would wait for every download to end on its own.
  if (worker_->stop_event.IsValid()) thread_.Reset(start_thread(&AsyncInstallTasks::ThreadMain, worker_.get()));
  if (!thread_.IsValid()) PLOG(ERROR) << "Failed to create thread for async install tasks";
}

unsigned __stdcall AsyncInstallTasks::ThreadMain(void* argument) {
  static_cast<Worker*>(argument)->Run();
  return 0;
}

void AsyncInstallTasks::Stop(DWORD max_wait_ms) {
  if (stopped_) return;
  stopped_ = true;
  if (thread_.IsValid()) {
    worker_->stopper.Stop();
    if (::WaitForSingleObject(thread_.Get(), max_wait_ms) != WAIT_OBJECT_0) {
      LOG(ERROR) << "Async install tasks did not stop within " << max_wait_ms << " ms; left to the process's end";
      worker_abandoned_ = true;
    }
  }
  for (const std::wstring* path : {&variations_update_path_, &abt_update_path_, &server_config_bundle_path_}) {
    if (!path->empty()) ::DeleteFileW(path->c_str());
  }
  if (!worker_abandoned_) worker_->tasks.clear();
  thread_.Reset();
}

}  // namespace ostrel
