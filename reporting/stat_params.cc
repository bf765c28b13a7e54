#include "reporting/stat_params.h"

#include "base/utf_string_conversions.h"

namespace ostrel {
namespace {

constexpr StatPathKind kPathKinds[] = {
    {0, 72992, "extended_stat"},
    {1, 72696, "qobrowser_reinstall_dialog"},
    {2, 72696, "qobrowser_pf_migration"},
    {3, 72924, "zombo_window"},
};

constexpr const char* kInstallerTypeNames[] = {"lite", "full", "updater", "service", "service_audit",
                                               "browser_diagnostics"};

constexpr const char* kTargetNames[] = {"",        "mini", "service", "unknown", "icu_dat", "icu_dat_lock_failed",
                                        "version_folder_files_check"};

template <size_t N>
std::string NameOrDecimal(const char* const (&names)[N], int32_t value) {
  if (value >= 0 && static_cast<size_t>(value) < N) return names[value];
  return std::to_string(value);
}

}  // namespace

const StatPathKind* FindStatPathKind(int32_t kind) {
  for (const StatPathKind& entry : kPathKinds) {
    if (entry.kind == kind) return &entry;
  }
  return nullptr;
}

std::string InstallerTypeName(int32_t installer_type) { return NameOrDecimal(kInstallerTypeNames, installer_type); }

std::string StatTargetName(int32_t target) { return NameOrDecimal(kTargetNames, target); }

std::wstring SerializeStatParams(const StatParams& params) {
  std::wstring text;
  // Keys are stored as UTF-8 (ParseStatParams); a handed-over key is not
  // always ASCII, and must come back as the same text.
  for (const auto& [key, value] : params) {
    text += Utf8ToWide(key);
    text += L'\n';
    text += value;
    text += L'\n';
  }
  return text;
}

void ParseStatParams(std::wstring_view text, StatParams* params) {
  size_t start = 0;
  std::wstring key;
  bool have_key = false;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring_view::npos) end = text.size();
    std::wstring_view line = text.substr(start, end - start);
    if (!have_key) {
      key.assign(line);
      have_key = true;
    } else {
      (*params)[WideToUtf8(key)] = std::wstring(line);
      have_key = false;
    }
    start = end + 1;
  }
}

StatParams MergeStatParams(const StatParams& params, const StatEvent& event, int32_t target,
                           int32_t installer_type) {
  StatParams merged = params;
  for (const auto& entry : event) merged.insert(entry);  // keeps a standing value
  if (installer_type == -1) {
    merged[kStatKeyOldStyle] = L"1";
    merged[kStatKeyInstallerType] = AsciiToWide(StatTargetName(target));
  } else {
    merged[kStatKeyOldStyle] = L"0";
    if (target != 0) merged[kStatKeyTarget] = AsciiToWide(StatTargetName(target));
  }
  merged.emplace(kStatKeyBrandId, kStatUnknownValue);
  return merged;
}

std::wstring ReplaceStatSeparators(std::wstring text) {
  for (wchar_t& c : text) {
    if (c == L',' || c == L'-' || c == L'=') c = L'_';
  }
  return text;
}

std::wstring BuildStatQueryUrl(std::string_view origin, const StatParams& merged, int32_t path_kind,
                               const StatSegmentEscaper& escape) {
  const StatPathKind* kind = FindStatPathKind(path_kind);
  if (!kind) return std::wstring();
  std::wstring items;
  for (const auto& [key, value] : merged) {
    if (!items.empty()) items += L',';
    items += L'-';
    items += escape(ReplaceStatSeparators(Utf8ToWide(key)));
    items += L'=';
    items += escape(ReplaceStatSeparators(value));
  }
  std::wstring url = AsciiToWide(origin) + AsciiToWide(kStatSendPath) + L"/cid=" + std::to_wstring(kind->cid) +
                     L"/path=" + AsciiToWide(kind->path);
  if (!items.empty()) url += L"/vars=" + items;
  url += L"/*";
  return url;
}

}  // namespace ostrel
