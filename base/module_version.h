// File versions from a module's version resource.
#ifndef BASE_MODULE_VERSION_H_
#define BASE_MODULE_VERSION_H_

#include <windows.h>

#include <string>

namespace ostrel {

// The fixed file information of the root block of `path`'s version resource
// (GetFileVersionInfoW / VerQueryValueW "\").
bool GetModuleVersionAndType(const std::wstring& path, VS_FIXEDFILEINFO* info);

// "a.b.c.d" of the file version (the four 16-bit parts).
std::string FormatFileVersion(const VS_FIXEDFILEINFO& info);

}  // namespace ostrel

#endif  // BASE_MODULE_VERSION_H_
