// The start-up sequence and the run modes of the installer process.
#ifndef APP_ENTRY_POINT_H_
#define APP_ENTRY_POINT_H_

#include <windows.h>

namespace ostrel {

// Runs the whole process and returns its exit code.
int InstallerMain(HINSTANCE instance);

}  // namespace ostrel

#endif  // APP_ENTRY_POINT_H_
