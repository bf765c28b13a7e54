// The feature switches of module verification: feature "win7update" with its
// parameters. They come from the field-trial state; until a seed sets them
// the defaults hold. Tests set them with ScopedVerificationFeatures. Pure.
#ifndef TRUST_VERIFICATION_FEATURES_H_
#define TRUST_VERIFICATION_FEATURES_H_

#include <functional>
#include <string>

#include "base/version.h"
#include "base/windows_version.h"

namespace ostrel {

struct VerificationFeatures {
  // Feature "win7update": enabled unless the seed disables it.
  bool win7update_enabled = true;
  // Parameter "win7-version": on Windows versions at or below it no extended
  // check is needed.
  std::string win7_version;
  // Parameter "crypt-version": the extended check is needed only with a newer
  // crypt32.dll than this.
  std::string crypt_version;
  // Parameter "verify_signer".
  bool verify_signer = false;
};

// The process's current values.
VerificationFeatures GetVerificationFeatures();
// Replaces them (the field-trial state calls this once its seed is read).
void SetVerificationFeatures(const VerificationFeatures& features);

// Sets the features while it lives (tests only).
class ScopedVerificationFeatures {
 public:
  explicit ScopedVerificationFeatures(const VerificationFeatures& features);
  ScopedVerificationFeatures(const ScopedVerificationFeatures&) = delete;
  ScopedVerificationFeatures& operator=(const ScopedVerificationFeatures&) = delete;
  ~ScopedVerificationFeatures();

 private:
  VerificationFeatures previous_;
};

// "major.minor.build.revision" of `numbers`; invalid (and the warning "Failed
// to get Windows version") when no major version is known.
Version GetWindowsVersion(const WindowsVersionNumbers& numbers);

// Whether a signature the system refused is verified once more: never on
// Windows 10 and later or with win7update disabled; never on a Windows
// version at or below win7-version; otherwise only when crypt32.dll is newer
// than crypt-version (always when crypt-version is not a version).
// `crypt32_version` is asked only when needed.
bool IsExtendedCheckNeeded(const WindowsVersionNumbers& windows, const VerificationFeatures& features,
                           const std::function<Version()>& crypt32_version);

}  // namespace ostrel

#endif  // TRUST_VERIFICATION_FEATURES_H_
