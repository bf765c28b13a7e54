#include "testing/test_util.h"

#include "base/file_util.h"
#include "base/installer_command_line.h"

namespace ostrel::testing {

std::wstring TestBinaryDirectory() { return DirName(GetOwnExecutablePath()); }

std::wstring TestHelperPath() { return JoinPath(TestBinaryDirectory(), L"test_helper.exe"); }

std::wstring InstallerExecutablePath() { return JoinPath(TestBinaryDirectory(), L"TarvikBrowserInstaller.exe"); }

ScopedTempDir::ScopedTempDir() { path_ = CreateUniqueTempDirectory(GetTempDirectory(), L"ut"); }

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty()) DeleteDirectoryRecursive(path_);
}

std::wstring ScopedTempDir::Append(const std::wstring& name) const { return JoinPath(path_, name); }

ScopedKernelHandle StartProcess(const std::wstring& command_line, const std::wstring& directory) {
  std::wstring mutable_command_line = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, mutable_command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    return ScopedKernelHandle();
  }
  ::CloseHandle(info.hThread);
  return ScopedKernelHandle(info.hProcess);
}

ScopedKernelHandle DuplicateProcessHandle(HANDLE process) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return ScopedKernelHandle();
  return ScopedKernelHandle(copy);
}

DWORD ExitCodeAfterEnd(HANDLE process, DWORD timeout_ms) {
  if (::WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process, &code);
  return code;
}

bool RunProcessAndWait(const std::wstring& command_line, DWORD timeout_ms, DWORD* exit_code,
                       const std::wstring& directory) {
  ScopedKernelHandle process = StartProcess(command_line, directory);
  if (!process.IsValid()) return false;
  if (::WaitForSingleObject(process.Get(), timeout_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    return false;
  }
  return ::GetExitCodeProcess(process.Get(), exit_code) != FALSE;
}

std::string ReadFileOrEmpty(const std::wstring& path) {
  std::string bytes;
  ReadFileToBytes(path, &bytes);
  return bytes;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::wstring Quote(const std::wstring& text) { return QuoteForCommandLine(text); }

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
  std::wstring buffer(32768, L'\0');
  DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), 32768);
  had_value_ = length > 0 && length < 32768;
  if (had_value_) previous_.assign(buffer.data(), length);
  ::SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  ::SetEnvironmentVariableW(name_, had_value_ ? previous_.c_str() : nullptr);
}

}  // namespace ostrel::testing
