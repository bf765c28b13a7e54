// What bounds and shapes a request of the installer: who it says it is, how
// long each network wait may last, how many redirects it follows, and how
// fast a body must arrive.
#ifndef NET_REQUEST_OPTIONS_H_
#define NET_REQUEST_OPTIONS_H_

#include <windows.h>

#include <cstdint>

namespace ostrel {

// The downloader's requests (archive, final report, data bundles, slides).
inline constexpr wchar_t kDownloaderUserAgent[] = L"Tarvik.Browser lite installer";
// Statistics requests, sent without reading the answer.
inline constexpr wchar_t kStatUserAgent[] = L"Tarvik.Browser installer";
inline constexpr DWORD kStatRequestTimeoutMs = 2000;

inline constexpr uint32_t kDownloadBufferSize = 0x8000;

// What a host may make the installer keep: far above the real setup archive
// (about 200 MB) and the bundles, far below a disk's or the 32-bit address
// space's end. A body that passes its sink's limit fails the attempt.
inline constexpr uint64_t kMaxFileBodyBytes = uint64_t{1} << 30;
// Bodies kept in memory (seeds, slides, answers) are small.
inline constexpr uint64_t kMaxMemoryBodyBytes = uint64_t{8} << 20;

// So that no host can hold an attempt for long: a host that accepts and
// never answers fails it by the time-outs, a redirect loop by the redirect
// limit, a trickling body by the progress rule (each window of the body must
// bring a minimum of bytes). The retries and the next URL then get their
// turn.
struct RequestOptions {
  DWORD connect_timeout_ms = 20000;
  DWORD send_timeout_ms = 20000;
  DWORD receive_timeout_ms = 20000;
  uint32_t max_redirects = 10;
  uint64_t progress_window_ms = 30000;
  uint32_t progress_window_min_bytes = 32768;  // about 1 KiB/s
  // False keeps the body out of the system's URL cache (a benchmark that
  // measures the download alone).
  bool write_to_cache = true;
  // The body must be a Windows executable (the setup archive): anything else
  // with status 200 is a network's own page, failed as such before it is kept.
  bool expect_executable = false;
};

}  // namespace ostrel

#endif  // NET_REQUEST_OPTIONS_H_
