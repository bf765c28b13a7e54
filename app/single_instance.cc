#include "app/single_instance.h"

#include "base/logging.h"

namespace ostrel {
namespace {

// Initialised data, read, write, shared: one value for every process mapped
// from the same executable file. Never cleared: it lives as long as any
// process maps the file.
volatile uint32_t g_master_process_id __attribute__((section("SHARED"), shared)) = 0;

struct WindowSearch {
  DWORD process_id;
  HWND window;
  HWND first = nullptr;
};

// The installation window's shadow is owned by it and so lies above it, and
// hidden helper windows come first too: the first visible window without an
// owner is the one the user knows, else the first window of the process.
BOOL CALLBACK FindProcessWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id) return TRUE;
  if (!search->first) search->first = window;
  if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER)) return TRUE;
  search->window = window;
  return FALSE;
}

// Foreground changes are refused to processes that do not own the foreground;
// sharing the foreground thread's input state lifts that.
bool BringToTopWithAttachedInput(HWND window) {
  DWORD window_thread = ::GetWindowThreadProcessId(window, nullptr);
  DWORD foreground_thread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
  if (!::AttachThreadInput(window_thread, foreground_thread, TRUE)) return false;
  ::BringWindowToTop(window);
  ::SetForegroundWindow(window);
  ::AttachThreadInput(window_thread, foreground_thread, FALSE);
  return ::GetForegroundWindow() == window;
}

void BringToTopWithoutForegroundLock(HWND window) {
  DWORD timeout = 0;
  ::SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
  ::BringWindowToTop(window);
  ::SetForegroundWindow(window);
  ::SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)),
                          SPIF_SENDCHANGE);
}

}  // namespace

uint32_t ReadMasterProcessId() { return g_master_process_id; }

void WriteMasterProcessId(uint32_t process_id) { g_master_process_id = process_id; }

SingleInstanceLock::SingleInstanceLock(const wchar_t* name) : mutex_(::CreateMutexW(nullptr, FALSE, name)) {
  if (!mutex_.IsValid()) return;
  DWORD wait = ::WaitForSingleObject(mutex_.Get(), 0);
  acquired_ = wait == WAIT_OBJECT_0;
  // An abandoned mutex counts as held by another instance, but the wait made
  // this process its owner: give it back, or it would look abandoned again
  // to the next instance.
  owned_ = acquired_ || wait == WAIT_ABANDONED;
}

SingleInstanceLock::~SingleInstanceLock() {
  if (owned_) ::ReleaseMutex(mutex_.Get());
}

void BringProcessWindowToTop(uint32_t process_id) {
  if (process_id == 0) {
    PLOG(ERROR) << "Failed to bring process window to top: wrong process id";
    return;
  }
  WindowSearch search = {process_id, nullptr};
  ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
  if (!search.window) search.window = search.first;
  if (!search.window) return;
  if (BringToTopWithAttachedInput(search.window)) return;
  BringToTopWithoutForegroundLock(search.window);
}

}  // namespace ostrel
