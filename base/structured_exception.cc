#include "base/structured_exception.h"

#include <cstddef>

namespace ostrel {
namespace {

// What the guard frame carries for its handler.
struct GuardData {
  ExceptionFilter filter;
  void* filter_context;
  uint32_t exception_code;
};

constexpr DWORD kUnwindFlags = 0x2 | 0x4;  // EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND

LONG Filter(GuardData* data, EXCEPTION_RECORD* record, CONTEXT* context) {
  if (!data->filter) return EXCEPTION_EXECUTE_HANDLER;
  EXCEPTION_POINTERS pointers = {record, context};
  return data->filter(&pointers, data->filter_context);
}

}  // namespace
}  // namespace ostrel

// The guard frames are written in assembly: GCC has no __try, and the handler
// must be attached to the frame that calls the guarded function.
extern "C" int ostrel_seh_guard_call(ostrel::GuardedFunction function, void* context,
                                     ostrel::GuardData* data);

#if defined(__x86_64__)

// Unwind data names the handler; the guard data pointer sits at
// [establisher frame + 32], just above the callee's home area. A handled
// exception unwinds to ostrel_seh_x64_resume with rax = 0.
asm(R"(
    .text
    .p2align 4
    .globl ostrel_seh_guard_call
    .def ostrel_seh_guard_call; .scl 2; .type 32; .endef
    .seh_proc ostrel_seh_guard_call
ostrel_seh_guard_call:
    pushq %rbp
    .seh_pushreg %rbp
    subq $48, %rsp
    .seh_stackalloc 48
    .seh_endprologue
    .seh_handler ostrel_seh_x64_handler, @except
    movq %r8, 32(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    movl $1, %eax
    .globl ostrel_seh_x64_resume
ostrel_seh_x64_resume:
    addq $48, %rsp
    popq %rbp
    ret
    .seh_endproc
)");

extern "C" void ostrel_seh_x64_resume();

extern "C" EXCEPTION_DISPOSITION ostrel_seh_x64_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                        DISPATCHER_CONTEXT* dispatcher) {
  if (record->ExceptionFlags & ostrel::kUnwindFlags) return ExceptionContinueSearch;
  auto* data = *reinterpret_cast<ostrel::GuardData**>(static_cast<char*>(frame) + 32);
  LONG disposition = ostrel::Filter(data, record, context);
  if (disposition == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
  if (disposition != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
  data->exception_code = record->ExceptionCode;
  // Runs the termination handlers of the frames in between and continues at
  // the resume label of the guard frame; does not return.
  ::RtlUnwindEx(frame, reinterpret_cast<void*>(&ostrel_seh_x64_resume), record, nullptr,
                dispatcher->ContextRecord, dispatcher->HistoryTable);
  return ExceptionContinueSearch;
}

#elif defined(__i386__)

// A registration record on the stack, linked into fs:[0]:
//   +0 previous record, +4 handler, +8 the guard's ebp, +12 guard data.
// A handled exception unwinds the records above it (RtlUnwind) and resumes
// at _ostrel_seh_x86_resume with esp = the record and eax = 0.
asm(R"(
    .text
    .p2align 4
    .globl _ostrel_seh_guard_call
    .def _ostrel_seh_guard_call; .scl 2; .type 32; .endef
_ostrel_seh_guard_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl 16(%ebp)
    pushl %ebp
    pushl $_ostrel_seh_x86_handler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    movl $1, %eax
_ostrel_seh_x86_resume:
    movl (%esp), %ecx
    movl %ecx, %fs:0
    addl $16, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .p2align 4
    .globl _ostrel_seh_x86_unwind_and_resume
    .def _ostrel_seh_x86_unwind_and_resume; .scl 2; .type 32; .endef
_ostrel_seh_x86_unwind_and_resume:
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    pushl %eax
    pushl $0
    pushl %ecx
    pushl $0
    pushl %eax
    call _RtlUnwind@16
    popl %edx
    movl 8(%edx), %ebp
    movl %edx, %esp
    xorl %eax, %eax
    jmp _ostrel_seh_x86_resume
)");

// RtlUnwind keeps only esp reliably, so the jump back is done in assembly
// with the record address kept on the stack across the call.
extern "C" void ostrel_seh_x86_unwind_and_resume(void* frame, EXCEPTION_RECORD* record);

extern "C" EXCEPTION_DISPOSITION __cdecl ostrel_seh_x86_handler(EXCEPTION_RECORD* record, void* frame,
                                                                CONTEXT* context, void*) {
  if (record->ExceptionFlags & ostrel::kUnwindFlags) return ExceptionContinueSearch;
  auto* data = *reinterpret_cast<ostrel::GuardData**>(static_cast<char*>(frame) + 12);
  LONG disposition = ostrel::Filter(data, record, context);
  if (disposition == EXCEPTION_CONTINUE_EXECUTION) return ExceptionContinueExecution;
  if (disposition != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
  data->exception_code = record->ExceptionCode;
  ostrel_seh_x86_unwind_and_resume(frame, record);
  return ExceptionContinueSearch;
}

#else
#error "structured exception guard: unsupported processor"
#endif

namespace ostrel {

bool RunWithExceptionGuard(GuardedFunction function, void* context, ExceptionFilter filter, void* filter_context,
                           uint32_t* exception_code) {
  GuardData data = {filter, filter_context, 0};
  bool returned = ostrel_seh_guard_call(function, context, &data) != 0;
  if (!returned && exception_code) *exception_code = data.exception_code;
  return returned;
}

bool GetDelayLoadFailureNames(const EXCEPTION_RECORD* record, std::string* dll_name, std::string* proc_name) {
  dll_name->clear();
  proc_name->clear();
  if (!record || record->NumberParameters < 1 || !record->ExceptionInformation[0]) return false;
  const auto* info = reinterpret_cast<const DelayLoadInformation*>(record->ExceptionInformation[0]);
  if (info->size < offsetof(DelayLoadInformation, module)) return false;
  if (info->dll_name) dll_name->assign(info->dll_name);
  if (info->procedure.import_by_name && info->procedure.name) proc_name->assign(info->procedure.name);
  return true;
}

}  // namespace ostrel
