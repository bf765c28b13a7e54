#include "base/scoped_lock.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// A guard that failed to release would hang the next acquisition here
// rather than fail an expectation; the time-out names the test.
TEST(ScopedLockTest, SharedGuardsCoexistAndExcludeWritersUntilTheLastGoes) {
  SRWLOCK lock = SRWLOCK_INIT;
  {
    ScopedSharedLock reader(&lock);
    {
      ScopedSharedLock second_reader(&lock);
      EXPECT_FALSE(::TryAcquireSRWLockExclusive(&lock));
    }
    EXPECT_FALSE(::TryAcquireSRWLockExclusive(&lock));
  }
  {
    ScopedExclusiveLock writer(&lock);
    EXPECT_FALSE(::TryAcquireSRWLockShared(&lock));
  }
  // Would wait for ever had the writer kept it.
  ScopedSharedLock after(&lock);
}

}  // namespace
}  // namespace ostrel
