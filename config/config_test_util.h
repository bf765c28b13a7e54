// Test support for the hand-over values under the product key: tests run in
// parallel processes in one Wine prefix, so those touching the same values
// take a named mutex, and the values are put back as they were.
#ifndef CONFIG_CONFIG_TEST_UTIL_H_
#define CONFIG_CONFIG_TEST_UTIL_H_

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "base/system_queries.h"

namespace ostrel::testing {

class ScopedProductValues {
 public:
  ScopedProductValues(std::initializer_list<const wchar_t*> names)
      : mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\ostrel-config-tests-product-values")) {
    if (mutex_.IsValid()) ::WaitForSingleObject(mutex_.Get(), INFINITE);
    for (const wchar_t* name : names) {
      std::wstring value;
      bool present = ReadValueFromRegistry(ProductKey(), name, &value);
      saved_.emplace_back(name, present ? std::optional<std::wstring>(value) : std::nullopt);
    }
  }
  ScopedProductValues(const ScopedProductValues&) = delete;
  ScopedProductValues& operator=(const ScopedProductValues&) = delete;
  ~ScopedProductValues() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        StoreProductValue(name, *value);
      } else {
        RemoveProductValue(name);
      }
    }
    if (mutex_.IsValid()) ::ReleaseMutex(mutex_.Get());
  }

  // The value now in the registry; nothing when it is absent.
  static std::optional<std::wstring> Read(const wchar_t* name) {
    std::wstring value;
    if (!ReadValueFromRegistry(ProductKey(), name, &value)) return std::nullopt;
    return value;
  }

 private:
  ScopedKernelHandle mutex_;
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

}  // namespace ostrel::testing

#endif  // CONFIG_CONFIG_TEST_UTIL_H_
