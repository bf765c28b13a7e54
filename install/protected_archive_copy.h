// What the elevated copy takes from the first copy by name. The names come
// from memory and events any process of the user can write or signal, and a
// link in a name can be retargeted at any moment; so the archive is run only
// as a private copy made through one handle, in a directory that only
// administrators and SYSTEM may change, and verified and started from there.
#ifndef INSTALL_PROTECTED_ARCHIVE_COPY_H_
#define INSTALL_PROTECTED_ARCHIVE_COPY_H_

#include <windows.h>

#include <string>

#include "base/installer_command_line.h"
#include "base/scoped_handle.h"
#include "install/delayed_params_layout.h"
#include "install/protected_directory.h"

namespace ostrel {

// Why a handed-over path may not be used; empty when it names a plain file:
// absolute, without a ".." component, an existing file that is neither a
// directory nor a reparse point (a junction or symbolic link).
std::string HandedOverPathProblem(const std::wstring& path);

// Clears every data-file path of `params` (installer data, clids, icon, brand
// and partner packages) that HandedOverPathProblem refuses, each with a
// WARNING line; setup then runs without that file. The archive is not
// looked at here: without it nothing runs.
void DropUnsafeHandedOverPaths(DelayedParams* params);

class ProtectedArchiveCopy {
 public:
  ProtectedArchiveCopy() = default;
  ProtectedArchiveCopy(const ProtectedArchiveCopy&) = delete;
  ProtectedArchiveCopy& operator=(const ProtectedArchiveCopy&) = delete;
  // Closes the copy and removes it with its directory.
  ~ProtectedArchiveCopy();

  // Copies `source`, opened without following a reparse point at its name,
  // into a new directory inside `parent_directory` whose only writers are
  // administrators and SYSTEM. False (logged) on any failure; nothing is left
  // behind then.
  bool Create(const std::wstring& source, const std::wstring& parent_directory);

  // The copy, open for reading and execution and shared with readers only:
  // nobody can change it while it is held.
  HANDLE file() const { return file_.Get(); }
  const std::wstring& path() const { return path_; }

  // Copies `source`, a data file setup will read, into the same directory
  // through one handle that does not follow a reparse point at its name;
  // the copy's path, or empty (logged) when it is no plain file or the copy
  // fails. Removed with the archive.
  std::wstring AddDataFile(const std::wstring& source);

 private:
  void Remove();

  ProtectedDirectory directory_;
  std::wstring path_;
  ScopedFileHandle file_;
  int data_files_ = 0;
};

// Points every data-file switch of `setup` at a copy in `copy`'s directory,
// dropping (with a WARNING line) a switch whose file cannot be copied: setup
// runs with these rights and must read nothing a normal user can still
// change or retarget.
void CopyDataFilesForSetup(ProtectedArchiveCopy* copy, InstallerCommandLine* setup);

}  // namespace ostrel

#endif  // INSTALL_PROTECTED_ARCHIVE_COPY_H_
