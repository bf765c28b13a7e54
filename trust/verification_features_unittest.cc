#include "trust/verification_features.h"

#include <gtest/gtest.h>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

using ::ostrel::testing::ScopedLogCapture;

const WindowsVersionNumbers kWindows7{6, 1, 7601, 24000};
const WindowsVersionNumbers kWindows10{10, 0, 19045, 3803};

// A crypt32.dll version source that counts how often it is asked.
struct Crypt32 {
  Version version;
  int asked = 0;
  std::function<Version()> Source() {
    return [this] {
      ++asked;
      return version;
    };
  }
};

TEST(ExtendedCheckTest, NeverOnWindows10OrWithTheFeatureOff) {
  Crypt32 crypt32{Version("10.0.0.1")};
  EXPECT_FALSE(IsExtendedCheckNeeded(kWindows10, {}, crypt32.Source()));
  VerificationFeatures off;
  off.win7update_enabled = false;
  EXPECT_FALSE(IsExtendedCheckNeeded(kWindows7, off, crypt32.Source()));
  EXPECT_TRUE(IsExtendedCheckNeeded(kWindows7, {}, crypt32.Source()));
  EXPECT_EQ(crypt32.asked, 0);
}

TEST(ExtendedCheckTest, Win7VersionAtOrAboveTheMachineMeansNoCheck) {
  Crypt32 crypt32{Version("6.1.7601.1")};
  VerificationFeatures features;
  for (const char* at_or_above : {"6.1.7601.99999", "6.1.7601.24000", "6.2", "7"}) {
    features.win7_version = at_or_above;
    EXPECT_FALSE(IsExtendedCheckNeeded(kWindows7, features, crypt32.Source())) << at_or_above;
  }
  for (const char* below_or_invalid : {"6.1.7601.23999", "6.1", "6.1.7601.x", ""}) {
    features.win7_version = below_or_invalid;
    EXPECT_TRUE(IsExtendedCheckNeeded(kWindows7, features, crypt32.Source())) << below_or_invalid;
  }
}

TEST(ExtendedCheckTest, CryptVersionAsksForANewerCrypt32) {
  VerificationFeatures features;
  features.win7_version = "6.1.7601.23999";
  features.crypt_version = "6.1.7601.24000";
  Crypt32 newer{Version("6.1.7601.24001")};
  EXPECT_TRUE(IsExtendedCheckNeeded(kWindows7, features, newer.Source()));
  Crypt32 equal{Version("6.1.7601.24000")};
  EXPECT_FALSE(IsExtendedCheckNeeded(kWindows7, features, equal.Source()));
  Crypt32 unknown{Version()};
  EXPECT_FALSE(IsExtendedCheckNeeded(kWindows7, features, unknown.Source()));
  EXPECT_EQ(newer.asked + equal.asked + unknown.asked, 3);
}

TEST(ExtendedCheckTest, UnreadableCryptVersionMeansCheckWithoutAskingCrypt32) {
  VerificationFeatures features;
  features.crypt_version = "latest";
  Crypt32 crypt32{Version("1.0")};
  EXPECT_TRUE(IsExtendedCheckNeeded(kWindows7, features, crypt32.Source()));
  EXPECT_EQ(crypt32.asked, 0);
}

TEST(ExtendedCheckTest, FeaturesCanBeSetForAScope) {
  VerificationFeatures features;
  features.verify_signer = true;
  features.crypt_version = "1.2";
  {
    ScopedVerificationFeatures scoped(features);
    EXPECT_TRUE(GetVerificationFeatures().verify_signer);
    EXPECT_EQ(GetVerificationFeatures().crypt_version, "1.2");
  }
  EXPECT_FALSE(GetVerificationFeatures().verify_signer);
  EXPECT_TRUE(GetVerificationFeatures().win7update_enabled);
}

TEST(WindowsVersionTest, DottedWithTheUpdateRevisionLast) {
  EXPECT_EQ(GetWindowsVersion(kWindows7).ToString(), "6.1.7601.24000");
  ScopedLogCapture log;
  EXPECT_FALSE(GetWindowsVersion(WindowsVersionNumbers{}).IsValid());
  EXPECT_EQ(log.texts(), std::vector<std::string>{"Failed to get Windows version"});
}

}  // namespace
}  // namespace ostrel
