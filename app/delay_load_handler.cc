#include "app/delay_load_handler.h"

#include "base/logging.h"

namespace ostrel {
namespace {

constexpr char kUser32Prefix[] = "user32.dll";
constexpr size_t kUser32PrefixLength = sizeof(kUser32Prefix) - 1;

bool BeginsWithUser32(const char* dll) {
  if (!dll) return false;
  for (size_t i = 0; i < kUser32PrefixLength; ++i) {
    char c = dll[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kUser32Prefix[i]) return false;  // also stops at a shorter name's terminator
  }
  return true;
}

void ShowMessageWithLoadedUser32(const char* text) {
  // user32 is in use, so it is loaded; taking MessageBoxA from it directly
  // keeps this path free of delay-loaded calls.
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (!user32) return;
  using MessageBoxAFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
  auto message_box =
      reinterpret_cast<MessageBoxAFunction>(reinterpret_cast<void*>(::GetProcAddress(user32, "MessageBoxA")));
  if (message_box) message_box(nullptr, text, kMissingSystemLibraryCaption, MB_OK);
}

void TerminateCurrentProcess(int exit_code) {
  // Other threads may hold locks that an orderly exit would wait for.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exit_code));
  ::ExitProcess(static_cast<UINT>(exit_code));
}

const wchar_t* ProcessRawCommandLine() { return ::GetCommandLineW(); }

DelayLoadWatcher& ProcessWatcher() {
  static DelayLoadWatcher* watcher = new DelayLoadWatcher(DefaultDelayLoadActions());
  return *watcher;
}

}  // namespace

const DelayLoadWatcher::Actions& DefaultDelayLoadActions() {
  static const DelayLoadWatcher::Actions actions = {ShowMessageWithLoadedUser32, TerminateCurrentProcess,
                                                    ProcessRawCommandLine};
  return actions;
}

std::string DelayLoadFailureMessage(unsigned notification, const DelayLoadInfo& info) {
  const char* dll = info.szDll ? info.szDll : "";
  std::string message;
  if (notification == dliFailLoadLib) {
    message.append("Windows dll is not found: ").append(dll);
  } else if (notification == dliFailGetProc) {
    message.append("Function ");
    if (info.dlp.fImportByName) {
      message.append(info.dlp.szProcName ? info.dlp.szProcName : "");
    } else {
      message.append("#").append(std::to_string(info.dlp.dwOrdinal));
    }
    message.append(" not found in Windows dll ").append(dll);
  }
  return message;
}

bool ShouldShowDelayLoadFailure(bool user32_in_use, std::wstring_view raw_command_line) {
  return user32_in_use && raw_command_line.find(L"--silent") == std::wstring_view::npos;
}

FARPROC DelayLoadWatcher::Notify(unsigned notification, const DelayLoadInfo& info) {
  switch (notification) {
    case dliNotePreLoadLibrary:
    case dliNotePreGetProcAddress:
      if (BeginsWithUser32(info.szDll)) user32_in_use_.store(true);
      return nullptr;
    case dliFailLoadLib:
    case dliFailGetProc: {
      std::string message = DelayLoadFailureMessage(notification, info);
      LOG_TAG(ERROR, "DelayLoadHook") << message;
      const wchar_t* command_line = actions_.raw_command_line();
      if (ShouldShowDelayLoadFailure(user32_in_use(), command_line ? command_line : L""))
        actions_.show_message(message.c_str());
      actions_.end_process(kMissingSystemLibraryExitCode);
      return nullptr;
    }
    default:
      return nullptr;
  }
}

FARPROC WINAPI DelayLoadHook(unsigned notification, PDelayLoadInfo info) {
  if (!info) return nullptr;
  return ProcessWatcher().Notify(notification, *info);
}

}  // namespace ostrel
