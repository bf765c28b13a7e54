// Which setup archive URLs an installation tries, in which order and how
// often, and when a partly downloaded archive is worth resuming. Pure: the
// brand's URLs, the Windows version and the clock come in as values.
#ifndef INSTALL_SETUP_DOWNLOAD_URLS_H_
#define INSTALL_SETUP_DOWNLOAD_URLS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/windows_version.h"

namespace ostrel {

struct DownloadUrlEntry {
  std::string url;
  // Attempts to make on this URL; an entry with 0 is skipped.
  int32_t attempts = 0;
};
using DownloadUrlList = std::vector<DownloadUrlEntry>;

// The brand's setup URLs and the maker's download host.
struct SetupUrlConfig {
  std::string download_cdn;  // origin, no trailing slash
  std::string brand_id;
  std::string setup_url;
  std::string setup_url64;
  std::string setup_url_version;
  std::string setup_url_win7;
};

inline constexpr char kFromInstallerQuery[] = "?from_installer=true";
inline constexpr char kXpVistaSetupPath[] = "/browser-partners/_xp_builds/browser-setup.arc";
inline constexpr int32_t kSingleUrlAttempts = 6;
inline constexpr int32_t kUrlAttempts = 3;
inline constexpr int32_t kWin7UrlAttempts = 1;

// A versioned setup URL is offered by installers younger than this.
inline constexpr int64_t kVersionedSetupUrlMaxAgeMicros = 2592000000000;  // 30 days

// The candidates in order of trial, each with "?from_installer=true"
// appended. `is_versioned_url_allowed` is asked about the brand's versioned
// URL only where the list may hold it.
DownloadUrlList GetDownloadUrlsFromBrandConfig(const SetupUrlConfig& config, WindowsVersion version, bool x64,
                                               const std::function<bool(const std::string&)>& is_versioned_url_allowed);

// The installer's creation time, microseconds since 1601-01-01 UTC; false
// when it cannot be told.
using CreationTimeSource = std::function<bool(int64_t* micros)>;

// A versioned URL is used only by a young installer: false for an empty URL,
// an unexpanded template ("{") or an unknown creation time.
bool IsVersionedSetupUrlAllowed(const std::string& url, const CreationTimeSource& creation_time, int64_t now_micros);

// After a failed attempt: a file holding less than a tenth of the announced
// length is started again from zero rather than resumed.
bool ShouldRestartPartialDownload(uint32_t bytes_written, uint32_t total_length);

}  // namespace ostrel

#endif  // INSTALL_SETUP_DOWNLOAD_URLS_H_
