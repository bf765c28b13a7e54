// Helpers shared by the unit tests.
#ifndef TESTING_TEST_UTIL_H_
#define TESTING_TEST_UTIL_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace ostrel::testing {

// Folder of the running test executable (also holds test_helper.exe,
// launcher.exe and TarvikBrowserInstaller.exe).
std::wstring TestBinaryDirectory();
std::wstring TestHelperPath();
std::wstring InstallerExecutablePath();

// A new directory under %TEMP%, deleted with everything in it on destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  ~ScopedTempDir();

  const std::wstring& path() const { return path_; }
  std::wstring Append(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Starts `command_line` (optionally in `directory`); invalid handle on failure.
ScopedKernelHandle StartProcess(const std::wstring& command_line, const std::wstring& directory = L"");

// A second handle to `process`, owned by the caller: it outlives the owner
// under test.
ScopedKernelHandle DuplicateProcessHandle(HANDLE process);

// The exit code once `process` ends; STILL_ACTIVE if it has not ended within
// `timeout_ms`.
DWORD ExitCodeAfterEnd(HANDLE process, DWORD timeout_ms = 60000);

// Runs and waits; false on start failure or time-out (the process is killed).
bool RunProcessAndWait(const std::wstring& command_line, DWORD timeout_ms, DWORD* exit_code,
                       const std::wstring& directory = L"");

// Whole file, empty when missing.
std::string ReadFileOrEmpty(const std::wstring& path);
std::vector<std::string> SplitLines(const std::string& text);

// Quotes a path for a command line.
std::wstring Quote(const std::wstring& text);

// Sets an environment variable of this process (and so of the children it
// starts) while it lives, then puts the previous value back.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value);
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;
  ~ScopedEnvironmentVariable();

 private:
  const wchar_t* name_;
  bool had_value_ = false;
  std::wstring previous_;
};

}  // namespace ostrel::testing

#endif  // TESTING_TEST_UTIL_H_
