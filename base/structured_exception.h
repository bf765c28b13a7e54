// A structured-exception guard for code built without compiler SEH support:
// the callee runs inside a frame that owns a real exception handler (a
// registration record on i686, unwind data on x86_64), so the system
// dispatches to it like to any compiled handler, and a handled exception
// unwinds the frames in between (their termination handlers run) before the
// guard returns.
#ifndef BASE_STRUCTURED_EXCEPTION_H_
#define BASE_STRUCTURED_EXCEPTION_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace ostrel {

// Called on the faulting thread before anything is unwound. Returns
// EXCEPTION_EXECUTE_HANDLER (the guard returns false),
// EXCEPTION_CONTINUE_SEARCH (handlers further out decide) or
// EXCEPTION_CONTINUE_EXECUTION.
using ExceptionFilter = LONG (*)(EXCEPTION_POINTERS* pointers, void* context);
using GuardedFunction = void (*)(void* context);

// Runs function(context). True when it returned normally; false when a
// structured exception raised inside it was handled (`filter` may be null:
// every exception is then handled). `exception_code` (optional) receives the
// code of a handled exception.
bool RunWithExceptionGuard(GuardedFunction function, void* context, ExceptionFilter filter,
                           void* filter_context, uint32_t* exception_code = nullptr);

// Convenience for lambdas: RunGuarded([&] { ... }, filter, filter_context).
template <typename Callable>
bool RunGuarded(Callable&& callable, ExceptionFilter filter = nullptr, void* filter_context = nullptr,
                uint32_t* exception_code = nullptr) {
  return RunWithExceptionGuard(
      [](void* context) { (*static_cast<Callable*>(context))(); },
      const_cast<void*>(static_cast<const void*>(&callable)), filter, filter_context, exception_code);
}

// Raised when a delay-loaded module cannot be found or a procedure is missing.
inline constexpr uint32_t kDelayLoadModuleNotFound = 0xC06D007E;
inline constexpr uint32_t kDelayLoadProcNotFound = 0xC06D007F;

// The DLL and procedure named by the delay-load information of a delay-load
// exception (its first exception parameter). Empty procedure for an import by
// ordinal. False when the record carries no readable information.
bool GetDelayLoadFailureNames(const EXCEPTION_RECORD* record, std::string* dll_name, std::string* proc_name);

// The layout of the delay-load information the helper passes with its
// exceptions (the first exception parameter points at it).
struct DelayLoadProcedure {
  BOOL import_by_name;
  union {
    const char* name;
    DWORD ordinal;
  };
};
struct DelayLoadInformation {
  DWORD size;
  const void* descriptor;
  FARPROC* import_address;
  const char* dll_name;
  DelayLoadProcedure procedure;
  HMODULE module;
  FARPROC function;
  DWORD last_error;
};

}  // namespace ostrel

#endif  // BASE_STRUCTURED_EXCEPTION_H_
