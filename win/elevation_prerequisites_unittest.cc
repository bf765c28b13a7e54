#include "win/elevation_prerequisites.h"

#include <gtest/gtest.h>

#include <optional>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

// Sets ConsentPromptBehaviorAdmin for a test and puts the old state back.
class ConsentPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSystemPoliciesKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                nullptr, &key_, nullptr),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key_, kConsentPromptBehaviorAdmin, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                           &size) == ERROR_SUCCESS) {
      saved_ = value;
    }
  }
  void TearDown() override {
    if (saved_) {
      Set(*saved_);
    } else {
      ::RegDeleteValueW(key_, kConsentPromptBehaviorAdmin);
    }
    ::RegCloseKey(key_);
  }
  void Set(DWORD value) {
    ::RegSetValueExW(key_, kConsentPromptBehaviorAdmin, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof(value));
  }

  HKEY key_ = nullptr;
  std::optional<DWORD> saved_;
};

TEST_F(ConsentPromptTest, PromptsAreOnUnlessTheValueIsZeroOrMissing) {
  testing::ScopedLogCapture log;
  const std::string kLine =
      "Read HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\"
      "ConsentPromptBehaviorAdmin which is ";
  Set(5);
  EXPECT_TRUE(AreUACNotificationsEnabled());
  Set(0);
  EXPECT_FALSE(AreUACNotificationsEnabled());
  ::RegDeleteValueW(key_, kConsentPromptBehaviorAdmin);
  EXPECT_FALSE(AreUACNotificationsEnabled());
  EXPECT_EQ(log.texts(), (std::vector<std::string>{kLine + "\"5\"", kLine + "\"0\"", kLine + "\"0\""}));
  EXPECT_EQ(log.records()[0].function, "AreUACNotificationsEnabled");
}

}  // namespace
}  // namespace ostrel
