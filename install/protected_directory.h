// A folder that only administrators and SYSTEM may change, for what an
// elevated process hands to setup: a folder a normal user can write lets
// that user plant a file (a DLL setup loads, a data file it reads) or take
// a name first.
#ifndef INSTALL_PROTECTED_DIRECTORY_H_
#define INSTALL_PROTECTED_DIRECTORY_H_

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace ostrel {

// "<Windows directory>\Temp": users may create there but not delete or rename
// what others created. Empty when unknown.
std::wstring WindowsTempDirectory();

class ProtectedDirectory {
 public:
  ProtectedDirectory() = default;
  ProtectedDirectory(const ProtectedDirectory&) = delete;
  ProtectedDirectory& operator=(const ProtectedDirectory&) = delete;
  // Removes the directory with every file in it.
  ~ProtectedDirectory();

  // A new directory with a random name inside `parent`, whose DACL admits
  // only administrators and SYSTEM. False (logged) when `parent` is not an
  // absolute path, is missing or not writable, or no name is free.
  bool Create(const std::wstring& parent);

  // Without a trailing separator; empty before Create.
  const std::wstring& path() const { return path_; }

  // Deletes the files in the directory, then the directory.
  void Remove();

 private:
  std::wstring path_;
  // Held without delete sharing so the directory cannot be renamed away.
  ScopedFileHandle handle_;
};

}  // namespace ostrel

#endif  // INSTALL_PROTECTED_DIRECTORY_H_
