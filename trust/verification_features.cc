#include "trust/verification_features.h"

#include <mutex>

#include "base/logging.h"

namespace ostrel {
namespace {

std::mutex& FeaturesLock() {
  static std::mutex* lock = new std::mutex();
  return *lock;
}

VerificationFeatures& CurrentFeatures() {
  static VerificationFeatures* features = new VerificationFeatures();
  return *features;
}

}  // namespace

VerificationFeatures GetVerificationFeatures() {
  std::lock_guard<std::mutex> hold(FeaturesLock());
  return CurrentFeatures();
}

void SetVerificationFeatures(const VerificationFeatures& features) {
  std::lock_guard<std::mutex> hold(FeaturesLock());
  CurrentFeatures() = features;
}

ScopedVerificationFeatures::ScopedVerificationFeatures(const VerificationFeatures& features)
    : previous_(GetVerificationFeatures()) {
  SetVerificationFeatures(features);
}

ScopedVerificationFeatures::~ScopedVerificationFeatures() { SetVerificationFeatures(previous_); }

Version GetWindowsVersion(const WindowsVersionNumbers& numbers) {
  if (numbers.major == 0) {
    LOG(WARNING) << "Failed to get Windows version";
    return Version();
  }
  return Version({numbers.major, numbers.minor, numbers.build, numbers.revision});
}

bool IsExtendedCheckNeeded(const WindowsVersionNumbers& windows, const VerificationFeatures& features,
                           const std::function<Version()>& crypt32_version) {
  if (ClassifyWindowsVersion(windows) >= VERSION_WIN10 || !features.win7update_enabled) return false;
  Version last_version_without_check(features.win7_version);
  if (last_version_without_check.IsValid()) {
    Version running = GetWindowsVersion(windows);
    if (running.IsValid() && last_version_without_check >= running) return false;
  }
  Version crypt_version(features.crypt_version);
  if (!crypt_version.IsValid()) return true;
  Version installed = crypt32_version();
  return installed.IsValid() && installed > crypt_version;
}

}  // namespace ostrel
