// The installer's own windows on show, for screenshots and measurements: the
// real installation window (its first screen, the progress screen on the
// built-in and on a downloaded slide, the progress screen of a skipped first
// screen) without an installation, and every dialog of both families, in any
// language, theme and scale. scripts/screenshots.sh photographs them under
// the virtual display.
//
//   ui_gallery.exe --screen=first|progress|slide|skipped [--theme=light|dark]
//                  [--force-device-scale-factor=2] [--language=ru|ja|zh-CN|...]
//                  [--slide=FILE.png] [--ready=FILE] [--seconds=N]
//     --slide is the picture the "slide" screen shows as a downloaded slide
//     (default: the built-in first slide again). --high-contrast (with any
//     screen or dialog) draws as the user's high-contrast setting asks.
//   ui_gallery.exe --dialog=kind-0..kind-12|notice-0|notice-1|notice-3|notice-4|resume|old-windows
//                  [--family=classic|redesigned] [--language=...] [--seconds=N]
//     runs one of the installer's own dialogs (kinds are always redesigned).
//   ui_gallery.exe --idle-paints=N --report=FILE [--theme=...] [--language=...]
//     runs the installation window itself on its first screen, without an
//     installation, and writes "paints=P seconds=N" to FILE: the WM_PAINT
//     messages its thread got in N seconds after the first painted second
//     (scripts/bench.sh: an idle window paints nothing).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_logger.h"
#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/scoped_handle.h"
#include "config/brand_info.h"
#include "config/distrib_info_params.h"
#include "install/window_protocol.h"
#include "resources/resource_ids.h"
#include "testing/fake_distrib_info_params.h"
#include "testing/fake_os_facts.h"
#include "ui/installer_dialogs.h"
#include "ui/lite_main_window.h"
#include "ui/scripted_main_window.h"
#include "ui/slide_source.h"
#include "ui/slideshow.h"
#include "ui/ui_scale.h"

namespace ostrel {
namespace {

constexpr UINT_PTR kReadyTimer = 1;
constexpr UINT_PTR kQuitTimer = 2;
constexpr UINT kReadyDelayMs = 700;
constexpr int kGalleryProgress = 60;

// The slideshow's clock: still until the "slide" screen moves it on by one
// interval, so the downloaded slide stays for the picture.
uint64_t g_slide_clock = 0;

// The picture the "slide" screen shows as downloaded; empty: the first slide.
std::wstring g_slide_file;

std::unique_ptr<ProgressSlides> GallerySlides(const ProgressSlidesSettings& settings) {
  std::vector<ScaledImage> images = settings.initial_images;
  ScaledImage downloaded;
  std::string bytes;
  // A window that fetches no slides (high contrast) shows none downloaded.
  if (!settings.base_url.empty() && !g_slide_file.empty() && ReadFileToBytes(g_slide_file, &bytes)) {
    ScopedComPtr<IStream> stream(
        ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    // Slides are downloaded from the double-resolution folder, as SlideSource reads them.
    if (stream) downloaded.LoadFromStream(stream.Get(), ScaleFactor() / 2);
  }
  images.push_back(downloaded.IsEmpty() ? images.back() : downloaded);
  auto source = std::make_unique<SlideSource>(std::move(images), "", false, ScaleFactor());
  return std::make_unique<Slideshow>(settings.size, std::move(source), settings.brush, settings.interval_ms, 1,
                                     [] { return g_slide_clock; });
}

// The real installation window with no installation behind it: the screen
// asked for is reached as the user and setup would reach it, then the
// window says it is ready and closes after `seconds`.
class GalleryMainWindow : public testing::ScriptedMainWindow {
 public:
  GalleryMainWindow(const BrandInfo* brand, const DistribInfoParams* params, std::wstring screen, int seconds,
                    std::wstring ready_file)
      : ScriptedMainWindow(brand, params, Services(), [this](ScriptedMainWindow&) { ReachScreen(); },
                           Ending::kLeftToTheWindow),
        screen_(std::move(screen)),
        seconds_(seconds),
        ready_file_(std::move(ready_file)) {}

 protected:
  bool HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (window == this->window() && message == WM_TIMER && (wparam == kReadyTimer || wparam == kQuitTimer)) {
      ::KillTimer(window, wparam);
      if (wparam == kReadyTimer) {
        if (!ready_file_.empty()) WriteBytesToFile(ready_file_, "ready\n");
      } else {
        // As setup ends it: closing during an installation would ask first.
        ::PostMessageW(window, WindowMessages::Register().close_window, 0, 0);
      }
      return true;
    }
    return ScriptedMainWindow::HandleMessage(window, message, wparam, lparam, result);
  }

 private:
  static MainWindowServices Services() {
    MainWindowServices services;
    services.slides = &GallerySlides;
    services.open_url = [](const std::wstring&) {};
    return services;
  }

  void ReachScreen() {
    HWND window = this->window();
    if (screen_ != L"first" && !first_screen_skipped())
      ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kInstallButtonId, BN_CLICKED), 0);
    if (screen_ != L"first") ::SendMessageW(window, kProgressPositionMessage, kGalleryProgress, 0);
    if (screen_ == L"slide") g_slide_clock += kSlideIntervalMs;
    ::SetTimer(window, kReadyTimer, kReadyDelayMs, nullptr);
    ::SetTimer(window, kQuitTimer, static_cast<UINT>(seconds_) * 1000, nullptr);
  }

  std::wstring screen_;
  int seconds_;
  std::wstring ready_file_;
};

InstallerDialog* g_shown_dialog = nullptr;

void CALLBACK EndShownDialog(HWND, UINT, UINT_PTR, DWORD) {
  if (g_shown_dialog) g_shown_dialog->End(kDialogClose);
}

// One of the installer's dialogs by name, ended after `seconds`.
int ShowInstallerDialog(const std::wstring& name, bool redesigned, const std::string& language, int seconds) {
  BrandInfo brand(L"");
  brand.ApplyBrandInfo(R"({"languages": {"interface": ")" + (language.empty() ? std::string("en") : language) +
                       R"("}, "overridden_features": {"InstallerNewIdentity2024": {"params": {"dialogsRedesign": )" +
                       (redesigned ? "true" : "false") + "}}}}");
  DistribInfoParams params(L"");
  DialogServices services;
  services.open_url = [](const std::wstring&) {};
  services.launch_browser = [] { return true; };
  InstallerDialogFactory factory(&brand, &params, services);
  std::unique_ptr<InstallerDialog> dialog;
  if (name.starts_with(L"kind-")) {
    int kind = _wtoi(name.c_str() + 5);
    if (kind < 0 || kind >= kRedesignedKindCount) return 2;
    dialog = kind == kKindSupportError
                 ? factory.errors().CreateKindDialog(
                       kind, [](const std::wstring& text) { return text + L"\r\n" + GetLogFilePath(); })
                 : factory.errors().CreateKindDialog(kind);
  } else if (name.starts_with(L"notice-")) {
    int type = _wtoi(name.c_str() + 7);
    if (type != 0 && type != 1 && type != 3 && type != 4) return 2;
    dialog = type == kNoticeNotEnoughDiskSpace && !redesigned
                 ? CreateNotEnoughDiskSpaceNotice(static_cast<LANGID>(brand.language_id()))
                 : factory.CreateNotice(static_cast<NoticeType>(type));
  } else if (name == L"resume") {
    dialog = factory.CreateResumeDialog();
  } else if (name == L"old-windows") {
    dialog = factory.CreateOldWindowsDialog();
  } else {
    return 2;
  }
  g_shown_dialog = dialog.get();
  ::SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, &EndShownDialog);
  dialog->Run(nullptr);
  g_shown_dialog = nullptr;
  return 0;
}

// The idle-paint count: WM_PAINT messages this thread takes from its queue
// after the window's first second, until the window is closed.
struct IdleCount {
  bool counting = false;
  int paints = 0;
};
IdleCount g_idle;

LRESULT CALLBACK CountPaints(int code, WPARAM removal, LPARAM message) {
  const MSG* taken = reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removal == PM_REMOVE && g_idle.counting && taken->message == WM_PAINT) ++g_idle.paints;
  return ::CallNextHookEx(nullptr, code, removal, message);
}

BOOL CALLBACK CloseVisibleWindow(HWND window, LPARAM) {
  if (::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER))
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;
}

void CALLBACK StartCounting(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_idle.counting = true;
}

void CALLBACK StopCounting(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  g_idle.counting = false;
  ::EnumThreadWindows(::GetCurrentThreadId(), CloseVisibleWindow, 0);
}

int CountIdlePaints(const BrandInfo* brand, int seconds, const std::wstring& report) {
  ScopedWindowsHook hook(::SetWindowsHookExW(WH_GETMESSAGE, CountPaints, nullptr, ::GetCurrentThreadId()));
  if (!hook.IsValid()) return 1;
  ::SetTimer(nullptr, 0, 1000, StartCounting);
  ::SetTimer(nullptr, 0, 1000 + static_cast<UINT>(seconds) * 1000, StopCounting);
  LiteMainWindow window(brand, nullptr, false);
  window.Run();
  std::string line = "paints=" + std::to_string(g_idle.paints) + " seconds=" + std::to_string(seconds) + "\n";
  return WriteBytesToFile(report, line) ? 0 : 1;
}

}  // namespace
}  // namespace ostrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  using namespace ostrel;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const InstallerCommandLine& command_line = InstallerCommandLine::ProcessCommandLine();
  // High contrast asked for: the machine's Windows version, the setting on.
  std::optional<testing::ScopedFakeOsFacts> facts;
  if (command_line.IsSwitchPresent("high-contrast")) {
    WindowsVersionNumbers version = CurrentWindowsVersionNumbers();
    facts.emplace();
    facts->version = version;
    facts->high_contrast = true;
  }
  std::wstring screen = command_line.SwitchValueNative("screen");
  if (screen.empty()) screen = L"first";
  bool dark = command_line.SwitchValueAscii("theme") == "dark";
  BrandInfo brand(L"");
  std::string language = command_line.SwitchValueAscii("language");
  // The dark theme is the brand's to allow.
  brand.ApplyBrandInfo(R"({"languages": {"interface": ")" + (language.empty() ? std::string("en") : language) +
                       R"("}, "overridden_features": {"InstallerDarkTheme2024": {"enabled": true}}})");
  int seconds = 30;
  std::string seconds_text = command_line.SwitchValueAscii("seconds");
  if (!seconds_text.empty()) seconds = std::max(1, std::atoi(seconds_text.c_str()));
  std::string idle_seconds = command_line.SwitchValueAscii("idle-paints");
  if (!idle_seconds.empty())
    return CountIdlePaints(&brand, std::max(1, std::atoi(idle_seconds.c_str())), command_line.SwitchValueNative("report"));
  std::wstring dialog = command_line.SwitchValueNative("dialog");
  if (!dialog.empty())
    return ShowInstallerDialog(dialog, command_line.SwitchValueAscii("family") != "classic", language, seconds);
  g_slide_file = command_line.SwitchValueNative("slide");
  std::map<std::string, std::string> values = {{"darktheme", dark ? "1" : "0"}};
  // The first screen is skipped when asked to and every choice on it is given.
  if (screen == L"skipped") values.insert({{"first", "1"}, {"def", "1"}, {"stat", "1"}});
  testing::FakeDistribInfoParams params(values);
  GalleryMainWindow window(&brand, &params, screen, seconds, command_line.SwitchValueNative("ready"));
  window.Run();
  return 0;
}
