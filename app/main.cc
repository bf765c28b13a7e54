// The installer's entry point; everything it does lives in app/entry_point.
#include <windows.h>

#include "app/delay_load_handler.h"
#include "app/entry_point.h"

// Every system library but kernel32 and oleacc is delay-loaded; this handler
// watches the binding and ends the process when a library or function is
// missing.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = ostrel::DelayLoadHook;
PfnDliHook __pfnDliFailureHook2 = ostrel::DelayLoadHook;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return ostrel::InstallerMain(instance); }
