// Setup's exit code as the log names it: the top byte is one of setup's
// error classes, the low 24 bits the error within it.
#ifndef INSTALL_SETUP_EXIT_CODE_H_
#define INSTALL_SETUP_EXIT_CODE_H_

#include <cstdint>
#include <string>

namespace ostrel {

// Name of a known top byte ("UNABLE_TO_EXTRACT_SETUP"); null otherwise.
const char* SetupExitCodeClassName(uint32_t top_byte);

// NAME(top byte) or "Exit code: <top byte>", then "; error: <low 24 bits>".
std::string FormatSetupExitCode(uint32_t code);

}  // namespace ostrel

#endif  // INSTALL_SETUP_EXIT_CODE_H_
