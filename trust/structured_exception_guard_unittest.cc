#include "trust/structured_exception_guard.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

struct Calls {
  int before = 0;
  int after = 0;
};

void Raise(void* context) {
  auto* calls = static_cast<Calls*>(context);
  ++calls->before;
  ::RaiseException(0xE0071234, 0, 0, nullptr);
  ++calls->after;
}

void WriteThroughNull(void* context) {
  ++static_cast<Calls*>(context)->before;
  *static_cast<volatile int*>(nullptr) = 1;
}

void Return(void* context) { ++static_cast<Calls*>(context)->after; }

void GuardedRaiseInside(void* context) {
  auto* calls = static_cast<Calls*>(context);
  Calls inner;
  uint32_t code = 0;
  if (!RunWithExceptionGuard(Raise, &inner, &code) && code == 0xE0071234) ++calls->after;
}

TEST(StructuredExceptionGuardTest, NormalReturnIsNoException) {
  Calls calls;
  uint32_t code = 7;
  EXPECT_TRUE(RunWithExceptionGuard(Return, &calls, &code));
  EXPECT_EQ(calls.after, 1);
  EXPECT_EQ(code, 7u);
}

TEST(StructuredExceptionGuardTest, RaisedExceptionBecomesItsCode) {
  Calls calls;
  uint32_t code = 0;
  EXPECT_FALSE(RunWithExceptionGuard(Raise, &calls, &code));
  EXPECT_EQ(code, 0xE0071234u);
  EXPECT_EQ(calls.before, 1);
  EXPECT_EQ(calls.after, 0);
  // The guard is usable again afterwards.
  EXPECT_TRUE(RunWithExceptionGuard(Return, &calls, &code));
}

TEST(StructuredExceptionGuardTest, AccessViolationIsCaught) {
  Calls calls;
  uint32_t code = 0;
  EXPECT_FALSE(RunWithExceptionGuard(WriteThroughNull, &calls, &code));
  EXPECT_EQ(code, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
}

TEST(StructuredExceptionGuardTest, ExceptionHandledInsideDoesNotReachTheOuterGuard) {
  Calls calls;
  uint32_t code = 0;
  EXPECT_TRUE(RunWithExceptionGuard(GuardedRaiseInside, &calls, &code));
  EXPECT_EQ(calls.after, 1);
}

}  // namespace
}  // namespace ostrel
