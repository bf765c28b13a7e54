// Facts about the machine that tests cannot set on the host: every rule that
// depends on them asks this interface, so each branch can be tested with a
// fake (testing/fake_os_facts.h). Production uses the real queries.
#ifndef BASE_OS_FACTS_H_
#define BASE_OS_FACTS_H_

#include <cstdint>
#include <string>

#include "base/windows_version.h"

namespace ostrel {

class OsFacts {
 public:
  virtual ~OsFacts() = default;

  // major.minor.build and the update build revision of the running Windows.
  virtual WindowsVersionNumbers GetVersionNumbers() = 0;
  // PROCESSOR_ARCHITECTURE_* of GetNativeSystemInfo (9 = AMD64).
  virtual uint16_t GetNativeProcessorArchitecture() = 0;
  // IsProcessorFeaturePresent.
  virtual bool IsProcessorFeaturePresent(uint32_t feature) = 0;
  // Membership of the process's user in the built-in Administrators group.
  virtual bool IsUserInAdminGroup() = 0;
  // Whether this process runs elevated (or as SYSTEM): what it writes must not
  // go where a normal user can interfere.
  virtual bool IsProcessElevated() = 0;
  // GetDiskFreeSpaceExW: bytes available to the caller in `folder`.
  virtual bool GetFreeDiskSpace(const std::wstring& folder, uint64_t* bytes_available) = 0;
  // GetUserGeoID(GEOCLASS_NATION); -1 when not available.
  virtual int32_t GetUserGeoId() = 0;
  // GetGeoInfoW(geo, GEO_ISO2, 3-unit buffer): its return value; `iso2` gets the text.
  virtual int GetGeoIso2(int32_t geo_id, std::wstring* iso2) = 0;
  // GetUserDefaultUILanguage.
  virtual uint16_t GetUserDefaultUiLanguage() = 0;
  // Wall-clock time, microseconds since 1601-01-01 UTC.
  virtual int64_t GetCurrentTimeMicros() = 0;
  // The user's high-contrast setting (SPI_GETHIGHCONTRAST, HCF_HIGHCONTRASTON).
  virtual bool IsHighContrastOn() = 0;
};

// The process-wide facts: the real ones unless a test installed others.
OsFacts& GetOsFacts();

// Installs `facts` for the lifetime of this object (tests only).
class ScopedOsFactsOverride {
 public:
  explicit ScopedOsFactsOverride(OsFacts* facts);
  ScopedOsFactsOverride(const ScopedOsFactsOverride&) = delete;
  ScopedOsFactsOverride& operator=(const ScopedOsFactsOverride&) = delete;
  ~ScopedOsFactsOverride();

 private:
  OsFacts* previous_;
};

// Shorthands through GetOsFacts().
WindowsVersion CurrentWindowsVersion();
WindowsVersionNumbers CurrentWindowsVersionNumbers();

}  // namespace ostrel

#endif  // BASE_OS_FACTS_H_
