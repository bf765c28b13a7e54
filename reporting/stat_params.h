// The statistics request format: standing parameters merged with one event
// and packed into the "/vars=" path segment of one GET request, plus the text
// form in which the parameters are handed to the browser's setup program.
// Platform-neutral: the segment escaping is passed in.
#ifndef REPORTING_STAT_PARAMS_H_
#define REPORTING_STAT_PARAMS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace ostrel {

// Key (ASCII) to value, ordered by key bytes. Keys are unique per event.
using StatEvent = std::map<std::string, std::wstring>;
// The standing parameters: the same shape, kept for every request.
using StatParams = std::map<std::string, std::wstring>;

// Where a request is filed: cid and path segment per path kind.
struct StatPathKind {
  int32_t kind;
  int32_t cid;
  const char* path;
};
inline constexpr int32_t kStatPathKindDefault = 0;
inline constexpr int32_t kStatPathKindDialog = 1;
// Null for a kind not in the table.
const StatPathKind* FindStatPathKind(int32_t kind);

// Installer types: 0 "lite" (this installer) .. 5; others in decimal.
inline constexpr int32_t kInstallerTypeLite = 0;
inline constexpr int32_t kInstallerTypeUpdater = 2;
std::string InstallerTypeName(int32_t installer_type);
// Targets: 0 "" (this installer) .. 6; others in decimal.
std::string StatTargetName(int32_t target);

inline constexpr char kStatSendPath[] = "/installstats/send/dtype=stred/pid=457";

// Standing parameter keys.
inline constexpr char kStatKeyLaunched[] = "launched";
inline constexpr char kStatKeyUserId[] = "ui";
inline constexpr char kStatKeyOldVersion[] = "old_ver";
inline constexpr char kStatKeyLiteVersion[] = "lite_ver";
inline constexpr char kStatKeyVersion[] = "ver";
inline constexpr char kStatKeyInstallerType[] = "installer_type";
inline constexpr char kStatKeyBrandId[] = "brand_id";
inline constexpr char kStatKeyOldStyle[] = "old_style";
inline constexpr char kStatKeyTarget[] = "target";
inline constexpr wchar_t kStatUnknownValue[] = L"unknown";

// "key\nvalue\n" for every parameter in key order.
std::wstring SerializeStatParams(const StatParams& params);
// Lines alternate key, value; each complete pair is stored (overwriting), a
// final key without its value is dropped. A line feed ends a line, so a
// trailing one does not start another.
void ParseStatParams(std::wstring_view text, StatParams* params);

// The parameters of one request: the standing ones, then the event's entries
// whose keys are not standing ones, then the format keys (old_style, target,
// a default brand_id).
StatParams MergeStatParams(const StatParams& params, const StatEvent& event, int32_t target,
                           int32_t installer_type);

// ',', '-' and '=' carry the item syntax, so they become '_' in keys and values.
std::wstring ReplaceStatSeparators(std::wstring text);

// Escapes one key or value for a path segment; empty on failure.
using StatSegmentEscaper = std::function<std::wstring(const std::wstring&)>;

// origin + kStatSendPath + "/cid=<cid>/path=<path>[/vars=-k=v,-k=v...]/*".
// Empty for an unknown path kind.
std::wstring BuildStatQueryUrl(std::string_view origin, const StatParams& merged, int32_t path_kind,
                               const StatSegmentEscaper& escape);

}  // namespace ostrel

#endif  // REPORTING_STAT_PARAMS_H_
