#include "base/request_headers.h"

#include <gtest/gtest.h>

#include "testing/fake_os_facts.h"

namespace ostrel {
namespace {

TEST(RequestHeadersTest, CarryVersionAndUpdateRevision) {
  testing::ScopedFakeOsFacts facts;
  facts.SetWindows(10, 0, 22631, 4317);
  EXPECT_EQ(L"Accept: */*\r\nSec-CH-UA-Platform: \"Windows\"\r\nSec-CH-UA-Platform-Version: \"10.0.4317\"",
            BuildRequestHeaders());
}

}  // namespace
}  // namespace ostrel
