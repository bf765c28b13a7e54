#include "install/setup_download_urls.h"

#include "base/logging.h"

namespace ostrel {
namespace {

constexpr char kDefaultBrandId[] = "tarvik";
constexpr char kSetupArchiveName[] = "browser-setup.arc";

}  // namespace

DownloadUrlList GetDownloadUrlsFromBrandConfig(const SetupUrlConfig& config, WindowsVersion version, bool x64,
                                               const std::function<bool(const std::string&)>& is_versioned_url_allowed) {
  DownloadUrlList urls;
  if (version <= VERSION_VISTA) {
    urls.push_back({config.download_cdn + kXpVistaSetupPath, kSingleUrlAttempts});
  } else {
    if (version <= VERSION_WIN8_1) {
      std::string win7_url = config.setup_url_win7;
      if (win7_url.empty()) {
        const std::string& brand_id = config.brand_id.empty() ? std::string(kDefaultBrandId) : config.brand_id;
        win7_url = config.download_cdn + "/browser/win7/" + brand_id + "/" + kSetupArchiveName;
      }
      urls.push_back({win7_url, kWin7UrlAttempts});
    }
    if (x64) {
      if (config.setup_url64.empty()) {
        LOG(ERROR) << "Setup url x64 empty!";
      } else {
        urls.push_back({config.setup_url64, kUrlAttempts});
      }
    }
    if (is_versioned_url_allowed && is_versioned_url_allowed(config.setup_url_version))
      urls.push_back({config.setup_url_version, kUrlAttempts});
    urls.push_back({config.setup_url, kUrlAttempts});
    if (urls.size() == 1) urls[0].attempts = kSingleUrlAttempts;
  }
  for (DownloadUrlEntry& entry : urls) entry.url += kFromInstallerQuery;
  return urls;
}

bool IsVersionedSetupUrlAllowed(const std::string& url, const CreationTimeSource& creation_time, int64_t now_micros) {
  if (url.empty()) return false;
  if (url.find('{') != std::string::npos) {
    LOG(WARNING) << "Wrong setup url:" << url;
    return false;
  }
  int64_t created = 0;
  if (!creation_time || !creation_time(&created)) return false;
  // The date is outside data: the age is taken without signed overflow (a
  // date after now is young, as the plain difference said).
  if (created > now_micros) return true;
  return static_cast<uint64_t>(now_micros) - static_cast<uint64_t>(created) <
         static_cast<uint64_t>(kVersionedSetupUrlMaxAgeMicros);
}

// In 64 bits: a tenth of a length above 429 MB would wrap in 32.
bool ShouldRestartPartialDownload(uint32_t bytes_written, uint32_t total_length) {
  return bytes_written < uint64_t{total_length} * 10 / 100;
}

}  // namespace ostrel
