#include "base/module_version.h"

#include <cstdio>
#include <vector>

namespace ostrel {

bool GetModuleVersionAndType(const std::wstring& path, VS_FIXEDFILEINFO* info) {
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) || !fixed ||
      fixed_size < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *info = *fixed;
  return true;
}

std::string FormatFileVersion(const VS_FIXEDFILEINFO& info) {
  char text[64];
  std::snprintf(text, sizeof(text), "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(info.dwFileVersionMS)),
                static_cast<unsigned long>(LOWORD(info.dwFileVersionMS)),
                static_cast<unsigned long>(HIWORD(info.dwFileVersionLS)),
                static_cast<unsigned long>(LOWORD(info.dwFileVersionLS)));
  return text;
}

}  // namespace ostrel
