#include "install/setup_exit_code.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(SetupExitCodeTest, KnownTopBytesByName) {
  EXPECT_EQ(FormatSetupExitCode(0), "SUCCESS_EXIT_CODE(0); error: 0");
  // Below 2^24 the whole code is the error of the success class.
  EXPECT_EQ(FormatSetupExitCode(7), "SUCCESS_EXIT_CODE(0); error: 7");
  EXPECT_EQ(FormatSetupExitCode(0xFFFFFF), "SUCCESS_EXIT_CODE(0); error: 16777215");
  EXPECT_EQ(FormatSetupExitCode(0x01000000), "GENERIC_ERROR(1); error: 0");
  EXPECT_EQ(FormatSetupExitCode((110u << 24) | 5), "UNABLE_TO_FIND_REGISTRY_KEY(110); error: 5");
  EXPECT_EQ(FormatSetupExitCode(116u << 24), "UNABLE_TO_EXTRACT_SETUP(116); error: 0");
  EXPECT_EQ(FormatSetupExitCode((117u << 24) | 0xABCDEF), "UNABLE_TO_SET_DIRECTORY_ACL(117); error: 11259375");
}

TEST(SetupExitCodeTest, UnknownTopBytesByNumber) {
  EXPECT_EQ(FormatSetupExitCode(0x02000001), "Exit code: 2; error: 1");
  EXPECT_EQ(FormatSetupExitCode(0xFFFFFFFF), "Exit code: 255; error: 16777215");  // -1
  EXPECT_EQ(FormatSetupExitCode(0xC0000005), "Exit code: 192; error: 5");         // a crash
  // The two values of setup's table above a byte never name a top byte.
  EXPECT_STREQ(SetupExitCodeClassName(512), "FAILED_TO_CREATE_INSTALLER_MUTEX");
  EXPECT_EQ(FormatSetupExitCode(513), "SUCCESS_EXIT_CODE(0); error: 513");
}

}  // namespace
}  // namespace ostrel
