// Small system services used everywhere: per-user registry values (their log
// lines are a large part of every log), file versions, the disk-space and
// processor checks of start-up.
#ifndef BASE_SYSTEM_QUERIES_H_
#define BASE_SYSTEM_QUERIES_H_

#include <cstdint>
#include <string>

namespace ostrel {

// "Software\Tarvik\TarvikBrowser" plus the (empty) install suffix, under
// HKEY_CURRENT_USER.
const wchar_t* ProductKey();

// REG_SZ values under HKEY_CURRENT_USER\<key>.
bool StoreValueInRegistry(const std::wstring& key, const std::wstring& name, const std::wstring& value);
bool ReadValueFromRegistry(const std::wstring& key, const std::wstring& name, std::wstring* value);
bool RemoveValueFromRegistry(const std::wstring& key, const std::wstring& name);

// The same under the product key.
bool StoreProductValue(const std::wstring& name, const std::wstring& value);
std::wstring ReadProductValue(const std::wstring& name);
bool RemoveProductValue(const std::wstring& name);

// The fixed file version (dwFileVersionMS << 32 | dwFileVersionLS).
bool GetFileVersion(const std::wstring& path, uint64_t* version);
// "a.b.c.d"; "0.0.0.0" when the file has no version resource.
std::string GetFileVersionString(const std::wstring& path);

// Free space of Program Files (system level) or local application data.
// A failed query counts as enough space.
bool HasEnoughDiskSpace(bool system_level, uint64_t required_bytes);

// The processor feature the installer needs and lacks; without SSE3 it
// says SSE3 whatever else is missing.
enum class MissingProcessorFeature { kNone, kSse2, kSse3 };

// SSE2 and SSE3; on failure `missing` says which is reported.
bool CheckProcessorFeatures(MissingProcessorFeature* missing);

inline constexpr uint64_t kRequiredDiskSpace = 629145600;  // 600 MiB

}  // namespace ostrel

#endif  // BASE_SYSTEM_QUERIES_H_
