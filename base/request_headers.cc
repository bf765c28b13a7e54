#include "base/request_headers.h"

#include "base/os_facts.h"

namespace ostrel {

std::wstring BuildRequestHeaders() {
  WindowsVersionNumbers version = GetOsFacts().GetVersionNumbers();
  return L"Accept: */*\r\nSec-CH-UA-Platform: \"Windows\"\r\nSec-CH-UA-Platform-Version: \"" +
         std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L"." +
         std::to_wstring(version.revision) + L"\"";
}

}  // namespace ostrel
