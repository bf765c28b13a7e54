#include "base/token_queries.h"

#include <gtest/gtest.h>

#include "base/os_facts.h"
#include "testing/log_capture.h"

namespace ostrel {
namespace {

// Every process under Wine runs as an elevated administrator.
TEST(TokenQueriesTest, AdministratorsGroupIsFoundInTheProcessToken) {
  testing::ScopedLogCapture log;
  EXPECT_TRUE(IsUserAnAdminGroup(::GetCurrentProcess()));
  EXPECT_TRUE(GetOsFacts().IsUserInAdminGroup());
  EXPECT_TRUE(IsProcessTokenElevated(::GetCurrentProcess()));
  EXPECT_TRUE(GetOsFacts().IsProcessElevated());
  EXPECT_TRUE(log.texts().empty());

  ScopedKernelHandle token = GetProcessToken(::GetCurrentProcess());
  ASSERT_TRUE(token.IsValid());
  std::vector<uint8_t> user;
  ASSERT_TRUE(GetTokenInfo(token.Get(), TokenUser, &user));
  EXPECT_GE(user.size(), sizeof(TOKEN_USER));
}

TEST(TokenQueriesTest, WithoutATokenTheUserIsNoAdministrator) {
  testing::ScopedLogCapture log;
  HANDLE not_a_process = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x7ff0));
  EXPECT_FALSE(GetProcessToken(not_a_process).IsValid());
  EXPECT_FALSE(IsUserAnAdminGroup(not_a_process));
  ASSERT_EQ(log.records().size(), 2u);
  for (const auto& record : log.records()) {
    EXPECT_EQ(record.level, LOG_ERROR);
    EXPECT_EQ(record.function, "GetProcessToken");
    EXPECT_EQ(record.text.rfind("OpenProcessToken fail - 6, ", 0), 0u) << record.text;
  }
}

}  // namespace
}  // namespace ostrel
