#include "base/windows_version.h"

namespace ostrel {

WindowsVersion ClassifyWindowsVersion(const WindowsVersionNumbers& n) {
  if (n.major < 5) return VERSION_PRE_XP;
  if (n.major == 5) return n.minor >= 2 ? VERSION_SERVER_2003 : (n.minor == 1 ? VERSION_XP : VERSION_PRE_XP);
  if (n.major == 6) {
    switch (n.minor) {
      case 0:
        return VERSION_VISTA;
      case 1:
        return VERSION_WIN7;
      case 2:
        return VERSION_WIN8;
      default:
        return VERSION_WIN8_1;
    }
  }
  if (n.major > 10) return VERSION_WIN_LAST;
  struct Release {
    uint32_t first_build;
    WindowsVersion version;
  };
  static constexpr Release kReleases[] = {
      {26100, VERSION_WIN11_24H2}, {22631, VERSION_WIN11_23H2}, {22621, VERSION_WIN11_22H2},
      {22000, VERSION_WIN11},      {20348, VERSION_SERVER_2022}, {19045, VERSION_WIN10_22H2},
      {19044, VERSION_WIN10_21H2}, {19043, VERSION_WIN10_21H1}, {19042, VERSION_WIN10_20H2},
      {19041, VERSION_WIN10_20H1}, {18363, VERSION_WIN10_19H2}, {18362, VERSION_WIN10_19H1},
      {17763, VERSION_WIN10_RS5},  {17134, VERSION_WIN10_RS4},  {16299, VERSION_WIN10_RS3},
      {15063, VERSION_WIN10_RS2},  {14393, VERSION_WIN10_RS1},  {10586, VERSION_WIN10_TH2},
  };
  for (const Release& release : kReleases) {
    if (n.build >= release.first_build) return release.version;
  }
  return VERSION_WIN10;
}

std::string FormatWindowsVersionNumbers(const WindowsVersionNumbers& n) {
  return std::to_string(n.major) + "." + std::to_string(n.minor) + "." + std::to_string(n.build) + "." +
         std::to_string(n.revision);
}

}  // namespace ostrel
