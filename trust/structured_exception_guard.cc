#include "trust/structured_exception_guard.h"

#include <windows.h>

namespace ostrel {
namespace {

thread_local bool g_raised = false;
thread_local uint32_t g_exception_code = 0;

}  // namespace
}  // namespace ostrel

#if defined(__x86_64__)

// x64 exceptions are table based: the guarded range below gets a scope-table
// entry handled by the C runtime's __C_specific_handler, which asks this
// filter and, when it answers EXCEPTION_EXECUTE_HANDLER, unwinds the frames
// above and resumes at the end of the range.
extern "C" LONG TarvikExceptionGuardFilter(EXCEPTION_POINTERS* pointers, void* /*establisher_frame*/) {
  ostrel::g_raised = true;
  ostrel::g_exception_code = pointers->ExceptionRecord->ExceptionCode;
  return EXCEPTION_EXECUTE_HANDLER;
}

namespace ostrel {
namespace {

// The range labels are fixed, so this is the only guarded range of the file;
// noinline keeps it single.
__attribute__((noinline)) void CallInGuardedRange(GuardedFunction function, void* context) {
  __asm__ __volatile__(
      ".l_tarvik_guard_start:\n"
      "\t.seh_handler __C_specific_handler, @except\n"
      "\t.seh_handlerdata\n"
      "\t.long 1\n"
      "\t.rva .l_tarvik_guard_start, .l_tarvik_guard_end, TarvikExceptionGuardFilter, .l_tarvik_guard_end\n"
      "\t.text\n" ::: "memory");
  function(context);
  __asm__ __volatile__(
      "\tnop\n"
      ".l_tarvik_guard_end:\n"
      "\tnop\n" ::: "memory");
}

}  // namespace

bool RunWithExceptionGuard(GuardedFunction function, void* context, uint32_t* exception_code) {
  g_raised = false;
  CallInGuardedRange(function, context);
  // Cleared again so that a guard around this one sees only its own result.
  bool raised = g_raised;
  g_raised = false;
  if (!raised) return true;
  *exception_code = g_exception_code;
  return false;
}

}  // namespace ostrel

#elif defined(__i386__)

// x86 exceptions walk the frame chain at fs:[0]: the guard links a record
// there whose handler unwinds the frames above it (running their unwind
// handlers) and jumps back into the guard.
namespace ostrel {
namespace {

struct GuardRecord {
  EXCEPTION_REGISTRATION_RECORD registration;  // first: the handler's establisher frame
  void* jump_buffer[5];
};

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisher_frame,
                                                       CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  g_raised = true;
  g_exception_code = record->ExceptionCode;
  auto* guard = static_cast<GuardRecord*>(establisher_frame);
  // Leaves fs:[0] pointing at this record again.
  ::RtlUnwind(establisher_frame, nullptr, record, nullptr);
  __builtin_longjmp(guard->jump_buffer, 1);
}

}  // namespace

bool RunWithExceptionGuard(GuardedFunction function, void* context, uint32_t* exception_code) {
  g_raised = false;
  volatile GuardRecord guard;
  guard.registration.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
  guard.registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&GuardHandler);
  if (__builtin_setjmp(const_cast<void**>(guard.jump_buffer)) == 0) {
    __writefsdword(0, reinterpret_cast<DWORD>(&guard.registration));
    function(context);
  }
  __writefsdword(0, reinterpret_cast<DWORD>(guard.registration.Next));
  // Cleared again so that a guard around this one sees only its own result.
  bool raised = g_raised;
  g_raised = false;
  if (!raised) return true;
  *exception_code = g_exception_code;
  return false;
}

}  // namespace ostrel

#else
#error "Unsupported architecture"
#endif
