#include "base/os_facts.h"

#include <windows.h>

#include "base/scoped_handle.h"
#include "base/token_queries.h"

namespace ostrel {
namespace {

// GetVersionExW reports what the manifest allows; RtlGetVersion the truth.
WindowsVersionNumbers QueryVersionNumbers() {
  WindowsVersionNumbers numbers;
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto rtl_get_version =
      ntdll ? reinterpret_cast<RtlGetVersionFunction>(
                  reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (rtl_get_version && rtl_get_version(&info) == 0) {
    numbers.major = info.dwMajorVersion;
    numbers.minor = info.dwMinorVersion;
    numbers.build = info.dwBuildNumber;
  }
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    ScopedRegKey owner(key);
    DWORD ubr = 0;
    DWORD size = sizeof(ubr);
    DWORD type = 0;
    if (::RegQueryValueExW(key, L"UBR", nullptr, &type, reinterpret_cast<BYTE*>(&ubr), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD) {
      numbers.revision = ubr;
    }
  }
  return numbers;
}

class RealOsFacts final : public OsFacts {
 public:
  WindowsVersionNumbers GetVersionNumbers() override {
    static const WindowsVersionNumbers numbers = QueryVersionNumbers();
    return numbers;
  }
  uint16_t GetNativeProcessorArchitecture() override {
    SYSTEM_INFO info = {};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
  }
  bool IsProcessorFeaturePresent(uint32_t feature) override {
    return ::IsProcessorFeaturePresent(feature) != FALSE;
  }
  bool IsUserInAdminGroup() override { return IsUserAnAdminGroup(::GetCurrentProcess()); }
  bool IsProcessElevated() override { return IsProcessTokenElevated(::GetCurrentProcess()); }
  bool GetFreeDiskSpace(const std::wstring& folder, uint64_t* bytes_available) override {
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    *bytes_available = available.QuadPart;
    return true;
  }
  int32_t GetUserGeoId() override { return static_cast<int32_t>(::GetUserGeoID(GEOCLASS_NATION)); }
  int GetGeoIso2(int32_t geo_id, std::wstring* iso2) override {
    wchar_t buffer[3] = {};
    int result = ::GetGeoInfoW(static_cast<GEOID>(geo_id), GEO_ISO2, buffer, 3, 0);
    iso2->assign(buffer, result > 0 ? wcsnlen(buffer, 3) : 0);
    return result;
  }
  uint16_t GetUserDefaultUiLanguage() override { return ::GetUserDefaultUILanguage(); }
  bool IsHighContrastOn() override {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
  }
  int64_t GetCurrentTimeMicros() override {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER value;
    value.LowPart = ft.dwLowDateTime;
    value.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(value.QuadPart / 10);
  }
};

OsFacts*& CurrentFacts() {
  static OsFacts* facts = nullptr;
  return facts;
}

}  // namespace

OsFacts& GetOsFacts() {
  if (OsFacts* facts = CurrentFacts()) return *facts;
  static RealOsFacts* real = new RealOsFacts();  // lives until the process ends
  return *real;
}

ScopedOsFactsOverride::ScopedOsFactsOverride(OsFacts* facts) : previous_(CurrentFacts()) {
  CurrentFacts() = facts;
}

ScopedOsFactsOverride::~ScopedOsFactsOverride() { CurrentFacts() = previous_; }

WindowsVersion CurrentWindowsVersion() { return ClassifyWindowsVersion(GetOsFacts().GetVersionNumbers()); }

WindowsVersionNumbers CurrentWindowsVersionNumbers() { return GetOsFacts().GetVersionNumbers(); }

}  // namespace ostrel
