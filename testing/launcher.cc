// Starts one or more copies of a command and prints each copy's full 32-bit
// exit code, which a Linux shell cannot see (it gets only the low 8 bits).
//
//   launcher [--copies=N] [--timeout=MS] [--stagger=MS] -- <command line>
//
// Prints one line per copy: "exit[<i>]=<signed decimal> 0x<hex>", or
// "exit[<i>]=timeout" (the copy is then killed) or "exit[<i>]=start-failed <error>".
// The launcher's own exit code is 0 when every copy ran to its end, else 1.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace {

// The text after the first " -- " of the raw command line, quoting intact.
std::wstring CommandAfterSeparator() {
  std::wstring raw = ::GetCommandLineW();
  size_t separator = raw.find(L" -- ");
  if (separator == std::wstring::npos) return std::wstring();
  return raw.substr(separator + 4);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int copies = 1;
  DWORD timeout_ms = INFINITE;
  DWORD stagger_ms = 0;
  for (int i = 1; i < argc; ++i) {
    std::wstring argument = argv[i];
    if (argument == L"--") break;
    if (argument.rfind(L"--copies=", 0) == 0) copies = _wtoi(argument.c_str() + 9);
    if (argument.rfind(L"--timeout=", 0) == 0) timeout_ms = static_cast<DWORD>(_wtoi(argument.c_str() + 10));
    if (argument.rfind(L"--stagger=", 0) == 0) stagger_ms = static_cast<DWORD>(_wtoi(argument.c_str() + 10));
  }
  std::wstring command = CommandAfterSeparator();
  if (command.empty() || copies < 1) {
    std::fprintf(stderr, "usage: launcher [--copies=N] [--timeout=MS] [--stagger=MS] -- <command line>\n");
    return 2;
  }

  std::vector<ostrel::ScopedKernelHandle> processes(static_cast<size_t>(copies));
  std::vector<DWORD> start_errors(static_cast<size_t>(copies), 0);
  for (int i = 0; i < copies; ++i) {
    if (i > 0 && stagger_ms) ::Sleep(stagger_ms);
    std::wstring mutable_command = command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (::CreateProcessW(nullptr, mutable_command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &info)) {
      ::CloseHandle(info.hThread);
      processes[static_cast<size_t>(i)].Reset(info.hProcess);
    } else {
      start_errors[static_cast<size_t>(i)] = ::GetLastError();
    }
  }

  int result = 0;
  DWORD deadline = timeout_ms == INFINITE ? 0 : ::GetTickCount() + timeout_ms;
  for (int i = 0; i < copies; ++i) {
    ostrel::ScopedKernelHandle& process = processes[static_cast<size_t>(i)];
    if (!process.IsValid()) {
      std::printf("exit[%d]=start-failed %lu\n", i, start_errors[static_cast<size_t>(i)]);
      result = 1;
      continue;
    }
    DWORD wait = INFINITE;
    if (timeout_ms != INFINITE) {
      LONG left = static_cast<LONG>(deadline - ::GetTickCount());
      wait = left > 0 ? static_cast<DWORD>(left) : 0;
    }
    if (::WaitForSingleObject(process.Get(), wait) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.Get(), 1);
      std::printf("exit[%d]=timeout\n", i);
      result = 1;
      continue;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    std::printf("exit[%d]=%ld 0x%08lx\n", i, static_cast<long>(code), code);
  }
  std::fflush(stdout);
  return result;
}
