# System libraries the installer binds to. kernel32 is always linked by the toolchain.
set(TARVIK_SYSTEM_LIBRARIES
  user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 uuid comctl32 gdiplus msimg32
  uxtheme wininet winhttp crypt32 wintrust version bcrypt userenv winmm oleacc)
