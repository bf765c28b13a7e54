// Small data bundles the browser wants on its first start (variations seed,
// A/B-test configuration, server configuration bundle, preloaded wallpapers),
// fetched one after another on a background thread while the setup archive
// downloads. They never block or fail the installation: setup gets the paths
// whether the files are there or not, and a file appears at its path only
// once it is complete.
#ifndef INSTALL_ASYNC_INSTALL_TASKS_H_
#define INSTALL_ASYNC_INSTALL_TASKS_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace ostrel {

class BrandInfo;
class DistribInfoParams;
class DownloadStopper;

// How long Stop waits for the worker once its download is closed.
inline constexpr DWORD kAsyncTasksStopWaitMs = 500;

// Distribution parameters switching the tasks on or off.
inline constexpr char kVariationsUpdateParam[] = "vup";
inline constexpr char kAbtUpdateParam[] = "abtup";
inline constexpr char kWebntpParam[] = "webntp";
inline constexpr char kServerConfigUpdateParam[] = "scup";
inline constexpr char kPreloadedWallpapersParam[] = "pwexp";

// Response headers of the seed endpoints.
inline constexpr char kSeedSignatureHeader[] = "X-Seed-Signature";
inline constexpr char kLastModifiedHeader[] = "Last-Modified";
inline constexpr char kCountryHeader[] = "X-Country";

// Members of a variations file.
inline constexpr char kVariationsSeedKey[] = "variations_seed_base64";
inline constexpr char kVariationsSignatureKey[] = "variations_seed_signature";
inline constexpr char kVariationsLastModifiedKey[] = "variations_last_modified_time";
inline constexpr char kVariationsCountryKey[] = "variations_country";

inline constexpr char kServerConfigBundleUrlPath[] = "/configs/all_zip";

// The query pairs identifying this installation to the maker's services.
struct BrandQuery {
  std::string brand;
  std::string partner;
  std::string uid;
  std::string version;
};

// Appends "brand", "partner", "uid" and "version" in that order, skipping
// empty values; each pair is joined with "?" while the URL has none yet,
// then with "&". Values go in unescaped.
std::string AppendBrandQuery(std::string url, const BrandQuery& query);

// The server configuration bundle on the international browser API host.
std::string GetServerConfigBundleUrl(const std::string& brand_id, const std::string& partner_id);

// One downloaded seed with the response headers that vouch for it.
struct VariationsData {
  std::string seed;  // response body, raw bytes
  std::string signature;
  std::string last_modified;
  std::string country;
};

// The variations file: a pretty JSON object with the seed in base64.
std::string SerializeVariations(const VariationsData& data);
// Writes the file next to `path` and moves it into place, so a reader sees
// no file or a whole one.
// `stopper`, when given, may refuse the final rename: a stopped worker
// changes no file.
bool SaveVariations(const std::wstring& path, const VariationsData& data, DownloadStopper* stopper = nullptr);
// Downloads a seed and saves it at `path`; nothing is written when the
// download fails or the signature header is missing. `stopper` may be null.
bool DownloadAndSaveVariations(const std::string& url, const std::wstring& path, DownloadStopper* stopper);

class AsyncInstallTasks {
 public:
  // Starts a thread running `routine(argument)`; a null handle (last error
  // set) on failure. Tests substitute one that fails.
  using ThreadRoutine = unsigned(__stdcall*)(void* argument);
  using StartThreadFunction = HANDLE (*)(ThreadRoutine routine, void* argument);

  // Reserves the paths, schedules the tasks and, when there are any, starts
  // the worker. Both arguments are only read here.
  AsyncInstallTasks(const BrandInfo* brand_info, const DistribInfoParams* params);
  AsyncInstallTasks(const BrandInfo* brand_info, const DistribInfoParams* params, StartThreadFunction start_thread);
  AsyncInstallTasks(const AsyncInstallTasks&) = delete;
  AsyncInstallTasks& operator=(const AsyncInstallTasks&) = delete;
  ~AsyncInstallTasks();

  // Interrupts the running task (its requests are closed), waits at most
  // `max_wait_ms` for the worker and deletes the variations, A/B and server
  // configuration files (setup has copied them by now). The new-tab and
  // wallpaper files stay. A worker that does not end in time is left to the
  // process's end with what it uses. Safe to call twice.
  void Stop(DWORD max_wait_ms = kAsyncTasksStopWaitMs);

  // Until Stop: the paths are to be handed to setup.
  bool active() const { return !stopped_; }
  bool has_worker() const { return thread_.IsValid(); }
  // The worker did not end within Stop's wait.
  bool worker_abandoned() const { return worker_abandoned_; }

  // The query of this installation (brand, partner, user identifier, the
  // installer's own version) appended to `url`.
  std::string AppendBrandQuery(const std::string& url) const;

  // Empty when the task is off (or no path could be reserved).
  const std::wstring& variations_update_path() const { return variations_update_path_; }
  const std::wstring& abt_update_path() const { return abt_update_path_; }
  const std::wstring& webntp_path() const { return webntp_path_; }
  const std::wstring& server_config_bundle_path() const { return server_config_bundle_path_; }
  const std::wstring& preloaded_wallpaper_bundle_path() const { return preloaded_wallpaper_bundle_path_; }

 private:
  // Reserves the paths and binds the tasks; true when any was scheduled.
  bool Prepare(const BrandInfo& brand_info, const DistribInfoParams& params);
  void InitializeThread(StartThreadFunction start_thread);
  static unsigned __stdcall ThreadMain(void* argument);

  std::string brand_id_;
  std::string partner_id_;

  std::wstring variations_update_path_;
  std::wstring abt_update_path_;
  std::wstring webntp_path_;
  std::wstring server_config_bundle_path_;
  std::wstring preloaded_wallpaper_bundle_path_;

  // What the worker thread uses: the stop event, its stopper and the tasks.
  // Everything a task needs is copied into it, so the worker shares only this
  // with the thread that owns this object. Released, not freed, when the
  // worker outlives Stop.
  struct Worker;
  std::unique_ptr<Worker> worker_;
  ScopedKernelHandle thread_;
  bool stopped_ = false;
  bool worker_abandoned_ = false;
};

}  // namespace ostrel

#endif  // INSTALL_ASYNC_INSTALL_TASKS_H_
