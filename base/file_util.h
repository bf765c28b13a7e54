// Paths and files: the small set of file-system services every layer uses.
#ifndef BASE_FILE_UTIL_H_
#define BASE_FILE_UTIL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/scoped_handle.h"

namespace ostrel {

// GetTempPathW with a 260-unit buffer; empty when it fails or needs 260 or
// more units. Ends with a backslash when not empty.
std::wstring GetTempDirectory();

// GetModuleFileNameW of the running executable; empty on failure or truncation.
std::wstring GetOwnExecutablePath();

// Text before the last separator ('\\' or '/'); empty when there is none.
std::wstring DirName(std::wstring_view path);
// Text after the last separator.
std::wstring BaseName(std::wstring_view path);
// `directory` + separator (unless it ends with one or is empty) + `name`.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);
// Drive letter, colon and separator, or two leading separators.
bool IsAbsolutePath(std::wstring_view path);

bool PathExists(const std::wstring& path);
bool FileExists(const std::wstring& path);  // exists and is not a directory
bool DirectoryExists(const std::wstring& path);

// Creates `path` and its missing parents; true when it exists afterwards.
bool CreateDirectoryRecursive(const std::wstring& path);
// Deletes a directory and everything in it.
bool DeleteDirectoryRecursive(const std::wstring& path);

// Whole file into `bytes`; false when it cannot be opened or read completely.
bool ReadFileToBytes(const std::wstring& path, std::string* bytes);
// Creates or replaces `path` with `bytes`.
bool WriteBytesToFile(const std::wstring& path, std::string_view bytes);
// Creates `path`, which must not exist, with `bytes`; a file it could not
// write whole is deleted.
bool WriteNewFile(const std::wstring& path, std::string_view bytes);
// A file setup will read. An elevated process writes it only as a new file:
// its work directory is its own, so a name already there is nobody's it can
// trust. Others replace what an earlier run left.
bool WriteDataFile(const std::wstring& path, std::string_view bytes);

// GetTempFileNameW(directory, prefix, 0): a new empty file; empty on failure.
std::wstring CreateUniqueTempFile(const std::wstring& directory, const wchar_t* prefix);
// A new uniquely named directory inside `parent`; empty on failure.
std::wstring CreateUniqueTempDirectory(const std::wstring& parent, const wchar_t* prefix);

// Opening files without following links, for a process that runs elevated (or
// as SYSTEM) and writes in a folder a normal user controls, such as the
// user's %TEMP%: a link there would make it create, append to or replace a
// file of that user's choosing.
enum class NoFollowOpen {
  kOpened,
  // Nothing was opened; GetLastError() says why.
  kFailed,
  // Something other than a plain file or folder is at the name, and nothing
  // was opened through it.
  kNotPlain,
};

// Opens the folder `path` without following a reparse point at its name and
// holds it without delete sharing, so that it can be neither renamed nor
// removed while files are opened in it. kNotPlain for a reparse point (a
// junction, mount point or symbolic link) or anything but a directory.
NoFollowOpen OpenFolderNoFollow(const std::wstring& path, ScopedFileHandle* folder);

// Opens `path`, a name directly inside the folder held as `folder`, without
// following a reparse point at its name, and keeps it only when the handle
// shows a plain file: on a disk, neither a directory nor a reparse point, with
// no other name (a hard link shares its data with a name elsewhere), and in
// that folder as the file system itself resolved both, whatever names led
// there. A file this call created and then refused is deleted again, which
// needs DELETE in `access` or FILE_SHARE_DELETE in `share`.
NoFollowOpen OpenPlainFileNoFollow(HANDLE folder, const std::wstring& path, DWORD access, DWORD share,
                                   DWORD disposition, ScopedFileHandle* file);
// `name`, a bare file name, opened relative to the folder held as `folder`
// itself, so that no folder on the way to it, renamed or replaced by a link in
// between, can lead elsewhere; with the same checks on what it opened (no
// reparse point followed at the name, a plain file with no other name) and
// the same deletion of a file it created and then refused.
NoFollowOpen OpenPlainFileInFolder(HANDLE folder, std::wstring_view name, DWORD access, DWORD share,
                                   DWORD disposition, ScopedFileHandle* file);

// The path of the file or folder open as `handle` as the file system resolved
// it (an NT path, links followed); empty when it cannot be had.
std::wstring FinalPathOf(HANDLE handle);

// Marks the file open as `file` for deletion when its last handle closes,
// through a second handle with DELETE when `file` lacks it; no name is looked
// up again. False when neither could, with the last error set.
bool DeleteThroughHandle(HANDLE file);

}  // namespace ostrel

#endif  // BASE_FILE_UTIL_H_
