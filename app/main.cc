// The installer's entry point; everything it does lives in app/entry_point.
#include <windows.h>

#include "app/entry_point.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return ostrel::InstallerMain(instance); }
