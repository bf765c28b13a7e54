// The crash upload URL: the collector's "/submit" with product, version and
// guid as query items. Platform-neutral.
#ifndef CRASH_CRASH_UPLOAD_URL_H_
#define CRASH_CRASH_UPLOAD_URL_H_

#include <map>
#include <string>
#include <string_view>

namespace ostrel {

// Each query item ("?" or "&", name, "=", value) is at most this long.
inline constexpr size_t kMaxQueryItemLength = 127;

// Letters, digits and "-_.~" stay; every other byte becomes "%XX".
std::string PercentEncode(std::string_view text);

// `url` with the items for the annotations "prod" (product), "ver" (version)
// and "guid" (guid) that exist, in that order.
std::string AppendCrashQueryItems(std::string url, const std::map<std::string, std::string>& annotations);

}  // namespace ostrel

#endif  // CRASH_CRASH_UPLOAD_URL_H_
