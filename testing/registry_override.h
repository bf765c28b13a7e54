// Redirects HKEY_CURRENT_USER of this process to a fresh private key while it
// lives, so tests that read and write per-user values neither see the Wine
// prefix user's values nor collide with tests running in parallel. The
// network stack's settings and the certificate stores are per-user as well:
// nothing reaches the stand-ins over HTTPS while the override is in place.
#ifndef TESTING_REGISTRY_OVERRIDE_H_
#define TESTING_REGISTRY_OVERRIDE_H_

#include <windows.h>

#include <string>

namespace ostrel::testing {

class ScopedHkcuOverride {
 public:
  ScopedHkcuOverride() {
    static LONG counter = 0;
    key_name_ = L"Software\\TarvikTests\\hkcu-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::InterlockedIncrement(&counter));
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_name_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key_, nullptr) == ERROR_SUCCESS) {
      active_ = ::RegOverridePredefKey(HKEY_CURRENT_USER, key_) == ERROR_SUCCESS;
    }
  }
  ScopedHkcuOverride(const ScopedHkcuOverride&) = delete;
  ScopedHkcuOverride& operator=(const ScopedHkcuOverride&) = delete;
  ~ScopedHkcuOverride() {
    if (active_) ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (key_) ::RegCloseKey(key_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key_name_.c_str());
  }

  // False when the redirection could not be set up (tests should stop).
  bool active() const { return active_; }

 private:
  std::wstring key_name_;
  HKEY key_ = nullptr;
  bool active_ = false;
};

}  // namespace ostrel::testing

#endif  // TESTING_REGISTRY_OVERRIDE_H_
