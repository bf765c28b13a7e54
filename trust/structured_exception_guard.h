// Runs a function and turns a structured exception that escapes it into a
// result, the way a __try/__except block would (GCC has no such block).
// Frames between the guard and the fault are unwound properly, and handlers
// inside the function still see their own exceptions first.
#ifndef TRUST_STRUCTURED_EXCEPTION_GUARD_H_
#define TRUST_STRUCTURED_EXCEPTION_GUARD_H_

#include <cstdint>

namespace ostrel {

using GuardedFunction = void (*)(void* context);

// False when `function` raised an exception nobody inside it handled; its
// code is then in `*exception_code`.
bool RunWithExceptionGuard(GuardedFunction function, void* context, uint32_t* exception_code);

}  // namespace ostrel

#endif  // TRUST_STRUCTURED_EXCEPTION_GUARD_H_
