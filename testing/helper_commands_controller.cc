// test_helper commands for the installer controller.
//   try-replace <archive path> <replacement path>
//       Tries what a program racing the installer would do to its archive:
//       open it for writing, move another file over it, delete it. Prints
//       "write=<0|1> replace=<0|1> delete=<0|1>" (1 = it worked) with the
//       errors seen.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

int TryReplace(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  ScopedFileHandle writer(::CreateFileW(a[0].c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  DWORD write_error = writer.IsValid() ? 0 : ::GetLastError();
  bool written = writer.IsValid();
  writer.Close();
  if (!WriteBytesToFile(a[1], "not setup")) return 3;
  bool replaced = ::MoveFileExW(a[1].c_str(), a[0].c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  DWORD replace_error = replaced ? 0 : ::GetLastError();
  bool deleted = ::DeleteFileW(a[0].c_str()) != FALSE;
  DWORD delete_error = deleted ? 0 : ::GetLastError();
  std::printf("write=%d replace=%d delete=%d errors=%lu,%lu,%lu\n", written ? 1 : 0, replaced ? 1 : 0,
              deleted ? 1 : 0, write_error, replace_error, delete_error);
  std::fflush(stdout);
  return 0;
}

HelperCommandRegistrar try_replace_command(L"try-replace", TryReplace);

}  // namespace
}  // namespace ostrel::testing
