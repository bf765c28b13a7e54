#include "install/setup_exit_code.h"

namespace ostrel {
namespace {

struct ExitCodeClass {
  uint32_t value;
  const char* name;
};

// 512 and 513 share setup's table but are larger than a byte, so they never
// match a top byte; they are listed to keep the table whole.
constexpr ExitCodeClass kExitCodeClasses[] = {
    {0, "SUCCESS_EXIT_CODE"},
    {1, "GENERIC_ERROR"},
    {101, "GENERIC_INITIALIZATION_FAILURE"},
    {105, "COMMAND_STRING_OVERFLOW"},
    {107, "WAIT_FOR_PROCESS_FAILED"},
    {108, "PATH_STRING_OVERFLOW"},
    {109, "UNABLE_TO_GET_WORK_DIRECTORY"},
    {110, "UNABLE_TO_FIND_REGISTRY_KEY"},
    {111, "PATCH_NOT_FOR_INSTALLED_VERSION"},
    {112, "UNABLE_TO_EXTRACT_BASALT_ARCHIVE"},
    {115, "UNABLE_TO_EXTRACT_SETUP_EXE"},
    {116, "UNABLE_TO_EXTRACT_SETUP"},
    {117, "UNABLE_TO_SET_DIRECTORY_ACL"},
    {512, "FAILED_TO_CREATE_INSTALLER_MUTEX"},
    {513, "ANOTHER_INSTALLER_RUNNING"},
};

}  // namespace

const char* SetupExitCodeClassName(uint32_t top_byte) {
  for (const ExitCodeClass& entry : kExitCodeClasses) {
    if (entry.value == top_byte) return entry.name;
  }
  return nullptr;
}

std::string FormatSetupExitCode(uint32_t code) {
  uint32_t top_byte = code >> 24;
  uint32_t error = code & 0xFFFFFFu;
  std::string text;
  if (const char* name = SetupExitCodeClassName(top_byte)) {
    text = std::string(name) + "(" + std::to_string(top_byte) + ")";
  } else {
    text = "Exit code: " + std::to_string(top_byte);
  }
  return text + "; error: " + std::to_string(error);
}

}  // namespace ostrel
