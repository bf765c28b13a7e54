#include "base/structured_exception.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace ostrel {
namespace {

void WriteThroughNull() {
  volatile uintptr_t address = 0;
  *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(address)) = 1;
}

// Deep frames between the guard and the fault must be unwound cleanly.
__attribute__((noinline)) int Recurse(int depth) {
  volatile char local[64] = {};
  if (depth == 0) {
    ::RaiseException(0xE0000001, 0, 0, nullptr);
    return 0;
  }
  return Recurse(depth - 1) + local[0];
}

struct FilterLog {
  int calls = 0;
  DWORD code = 0;
  LONG answer = EXCEPTION_EXECUTE_HANDLER;
};

LONG RecordingFilter(EXCEPTION_POINTERS* pointers, void* context) {
  auto* log = static_cast<FilterLog*>(context);
  ++log->calls;
  log->code = pointers->ExceptionRecord->ExceptionCode;
  return log->answer;
}

TEST(StructuredExceptionTest, NormalReturnRunsTheFunctionOnce) {
  int runs = 0;
  uint32_t code = 7;
  EXPECT_TRUE(RunGuarded([&] { ++runs; }, nullptr, nullptr, &code));
  EXPECT_EQ(1, runs);
  EXPECT_EQ(7u, code);  // untouched
}

TEST(StructuredExceptionTest, HardwareFaultsAndRaisedExceptionsAreHandled) {
  uint32_t code = 0;
  EXPECT_FALSE(RunGuarded([] { WriteThroughNull(); }, nullptr, nullptr, &code));
  EXPECT_EQ(0xC0000005u, code);

  FilterLog log;
  EXPECT_FALSE(RunGuarded([] { Recurse(50); }, RecordingFilter, &log, &code));
  EXPECT_EQ(0xE0000001u, code);
  EXPECT_EQ(1, log.calls);
  EXPECT_EQ(0xE0000001u, log.code);
}

TEST(StructuredExceptionTest, ContinueSearchReachesTheOuterGuard) {
  FilterLog inner;
  inner.answer = EXCEPTION_CONTINUE_SEARCH;
  FilterLog outer;
  bool inner_returned = true;
  uint32_t code = 0;
  EXPECT_FALSE(RunGuarded(
      [&] { inner_returned = RunGuarded([] { ::RaiseException(0xE0000002, 0, 0, nullptr); }, RecordingFilter, &inner); },
      RecordingFilter, &outer, &code));
  EXPECT_EQ(1, inner.calls);
  EXPECT_EQ(1, outer.calls);
  EXPECT_EQ(0xE0000002u, code);
  EXPECT_TRUE(inner_returned);  // never assigned: the inner frame was unwound
}

TEST(StructuredExceptionTest, GuardStaysUsableAfterManyHandledExceptions) {
  // A handler chain or stack left behind by a handled exception would break
  // later guards or the normal return path.
  int handled = 0;
  for (int i = 0; i < 2000; ++i) {
    if (!RunGuarded([] { WriteThroughNull(); })) ++handled;
  }
  EXPECT_EQ(2000, handled);
  int value = 0;
  EXPECT_TRUE(RunGuarded([&] { value = 42; }));
  EXPECT_EQ(42, value);
  // And exceptions outside any guard still reach an outer guard.
  EXPECT_FALSE(RunGuarded([] { RunGuarded([] {}); WriteThroughNull(); }));
}

TEST(StructuredExceptionTest, DelayLoadNamesComeFromTheExceptionInformation) {
  DelayLoadInformation info = {};
  info.size = sizeof(info);
  info.dll_name = "cplib.dll";
  info.procedure.import_by_name = TRUE;
  info.procedure.name = "CryptoProInit";
  std::string dll, proc;
  auto raise_with = [](DelayLoadInformation* information) {
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(information);
    ::RaiseException(kDelayLoadModuleNotFound, 0, 1, &argument);
  };
  struct Capture {
    std::string dll, proc;
    bool ok = false;
  } capture;
  ExceptionFilter filter = [](EXCEPTION_POINTERS* pointers, void* context) -> LONG {
    auto* c = static_cast<Capture*>(context);
    c->ok = GetDelayLoadFailureNames(pointers->ExceptionRecord, &c->dll, &c->proc);
    return EXCEPTION_EXECUTE_HANDLER;
  };
  EXPECT_FALSE(RunGuarded([&] { raise_with(&info); }, filter, &capture));
  EXPECT_TRUE(capture.ok);
  EXPECT_EQ("cplib.dll", capture.dll);
  EXPECT_EQ("CryptoProInit", capture.proc);

  info.procedure.import_by_name = FALSE;
  info.procedure.ordinal = 12;
  EXPECT_FALSE(RunGuarded([&] { raise_with(&info); }, filter, &capture));
  EXPECT_EQ("cplib.dll", capture.dll);
  EXPECT_EQ("", capture.proc);

  EXPECT_FALSE(RunGuarded([] { ::RaiseException(kDelayLoadModuleNotFound, 0, 0, nullptr); }, filter, &capture));
  EXPECT_FALSE(capture.ok);
  EXPECT_EQ("", capture.dll);
}

}  // namespace
}  // namespace ostrel
