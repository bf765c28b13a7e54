#include "base/scoped_handle.h"

#include <gtest/gtest.h>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

// Two owners of one handle: the second close is refused and said in the log,
// where a run's double close shows up (the end-to-end runs look for it).
TEST(ScopedHandleTest, ASecondCloseIsLogged) {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ScopedKernelHandle first(event);
  { ScopedKernelHandle second(event); }
  testing::ScopedLogCapture log;
  EXPECT_FALSE(first.Close());
  EXPECT_EQ(log.texts(), std::vector<std::string>{"Closed a kernel handle that was not open"});
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
}  // namespace ostrel
