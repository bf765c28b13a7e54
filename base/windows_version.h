// The platform's Windows version classification. Rules compare against these
// values (3 = Vista ... 7 and higher = Windows 10 releases, 22 and higher =
// Windows 11 releases). Pure: the numbers come from the OS-facts seam.
#ifndef BASE_WINDOWS_VERSION_H_
#define BASE_WINDOWS_VERSION_H_

#include <cstdint>
#include <string>

namespace ostrel {

enum WindowsVersion : int {
  VERSION_PRE_XP = 0,
  VERSION_XP = 1,
  VERSION_SERVER_2003 = 2,
  VERSION_VISTA = 3,
  VERSION_WIN7 = 4,
  VERSION_WIN8 = 5,
  VERSION_WIN8_1 = 6,
  VERSION_WIN10 = 7,         // 1507, build 10240
  VERSION_WIN10_TH2 = 8,     // 1511, build 10586
  VERSION_WIN10_RS1 = 9,     // 1607, build 14393
  VERSION_WIN10_RS2 = 10,    // 1703, build 15063
  VERSION_WIN10_RS3 = 11,    // 1709, build 16299
  VERSION_WIN10_RS4 = 12,    // 1803, build 17134
  VERSION_WIN10_RS5 = 13,    // 1809, build 17763
  VERSION_WIN10_19H1 = 14,   // 1903, build 18362
  VERSION_WIN10_19H2 = 15,   // 1909, build 18363
  VERSION_WIN10_20H1 = 16,   // 2004, build 19041
  VERSION_WIN10_20H2 = 17,   // build 19042
  VERSION_WIN10_21H1 = 18,   // build 19043
  VERSION_WIN10_21H2 = 19,   // build 19044
  VERSION_WIN10_22H2 = 20,   // build 19045
  VERSION_SERVER_2022 = 21,  // build 20348
  VERSION_WIN11 = 22,        // 21H2, build 22000
  VERSION_WIN11_22H2 = 23,   // build 22621
  VERSION_WIN11_23H2 = 24,   // build 22631
  VERSION_WIN11_24H2 = 25,   // build 26100
  VERSION_WIN_LAST = 26,
};

struct WindowsVersionNumbers {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t revision = 0;  // update build revision (UBR)
};

WindowsVersion ClassifyWindowsVersion(const WindowsVersionNumbers& numbers);

// "major.minor.build.revision".
std::string FormatWindowsVersionNumbers(const WindowsVersionNumbers& numbers);

}  // namespace ostrel

#endif  // BASE_WINDOWS_VERSION_H_
