// Settable OS facts for tests; install with ScopedFakeOsFacts.
#ifndef TESTING_FAKE_OS_FACTS_H_
#define TESTING_FAKE_OS_FACTS_H_

#include <map>
#include <set>
#include <string>

#include "base/os_facts.h"

namespace ostrel::testing {

class FakeOsFacts : public OsFacts {
 public:
  // Windows 10 22H2 on a 64-bit machine with SSE2 and SSE3 by default.
  WindowsVersionNumbers version{10, 0, 19045, 3803};
  uint16_t native_architecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
  std::set<uint32_t> missing_processor_features;
  bool user_in_admin_group = true;
  bool process_elevated = false;
  bool disk_query_ok = true;
  uint64_t free_disk_bytes = 100ull << 30;
  std::wstring last_disk_folder;
  int32_t geo_id = 244;
  int geo_iso2_result = 3;
  std::wstring geo_iso2 = L"US";
  uint16_t ui_language = 0x0409;
  int64_t now_micros = 13400000000000000;  // 2025-08-22
  bool high_contrast = false;

  void SetWindows(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision = 0) {
    version = {major, minor, build, revision};
  }

  WindowsVersionNumbers GetVersionNumbers() override { return version; }
  uint16_t GetNativeProcessorArchitecture() override { return native_architecture; }
  bool IsProcessorFeaturePresent(uint32_t feature) override { return !missing_processor_features.count(feature); }
  bool IsUserInAdminGroup() override { return user_in_admin_group; }
  bool IsProcessElevated() override { return process_elevated; }
  bool GetFreeDiskSpace(const std::wstring& folder, uint64_t* bytes) override {
    last_disk_folder = folder;
    if (!disk_query_ok) return false;
    *bytes = free_disk_bytes;
    return true;
  }
  int32_t GetUserGeoId() override { return geo_id; }
  int GetGeoIso2(int32_t, std::wstring* iso2) override {
    *iso2 = geo_iso2;
    return geo_iso2_result;
  }
  uint16_t GetUserDefaultUiLanguage() override { return ui_language; }
  int64_t GetCurrentTimeMicros() override { return now_micros; }
  bool IsHighContrastOn() override { return high_contrast; }
};

// A FakeOsFacts installed for the lifetime of the object.
class ScopedFakeOsFacts : public FakeOsFacts {
 public:
  ScopedFakeOsFacts() : override_(this) {}

 private:
  ScopedOsFactsOverride override_;
};

}  // namespace ostrel::testing

#endif  // TESTING_FAKE_OS_FACTS_H_
