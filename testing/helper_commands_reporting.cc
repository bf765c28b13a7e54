// test_helper commands for statistics.
//   stat-events catalogue <user id>   sends a fixed set of events through a
//                                     real StatReporter, waits until they are
//                                     sent, prints its own file version
//                                     (lite_ver=...), resolution=... and idle=
//   stat-events stalled <user id>     sends seq 1..3, waits until idle and
//                                     prints idle=0|1, sends seq 4 and 5 and
//                                     destroys the reporter at once
// Both build the reporter with HKEY_CURRENT_USER redirected to a private key
// holding pv=23.1.0.1, so they do not read the prefix user's values.
//   screen-metrics                    prints the screen's logical pixels per
//                                     inch (logpixels=...) and resolution=WxH
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/file_util.h"
#include "base/scoped_gdi.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "reporting/stat_reporter.h"
#include "testing/helper_commands.h"
#include "testing/registry_override.h"

namespace ostrel::testing {
namespace {

constexpr DWORD kIdleGuardMs = 60000;

StatEvent Sequence(int n) { return StatEvent{{"action", L"stalled_test"}, {"seq", std::to_wstring(n)}}; }

void SendCatalogue(StatReporter* reporter) {
  reporter->Send(InstallerStartedEventForScreen(1.5));
  reporter->Send(DownloadStartedEvent());
  DownloadAttemptReport attempt;
  attempt.attempt_number = 1;
  attempt.error_text = "final_query_info-404-0";
  attempt.downloaded_size = 0;
  attempt.total_size = 0;
  attempt.url = L"https://localhost:47441/browser/tarvik/browser-setup.arc?from_installer=true";
  attempt.redirect_host = GetRedirectHost(L"http://127.0.0.1:47440/browser/tarvik/browser-setup.arc");
  reporter->Send(DownloadErrorEvent(attempt));
  reporter->Send(DownloadAttemptEvent(attempt));
  reporter->SendDialogEvent(CheckBoxEvent(kCheckBoxSendStat));
  reporter->SendDialogEvent(LinkEvent(L"https://localhost:47446/browser_agreement/?lang=ru&x=a,b"));
}

int StatEvents(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  auto sender = std::make_unique<AsyncUrlSender>();
  AsyncUrlSender* url_sender = sender.get();
  std::unique_ptr<StatReporter> reporter;
  {
    // Only while the registry is read: the network stack's settings and
    // certificate stores are per-user too.
    ScopedHkcuOverride hkcu;
    if (!hkcu.active()) return 3;
    StoreProductValue(L"pv", L"23.1.0.1");
    reporter = std::make_unique<StatReporter>(WideToUtf8(a[1]), std::move(sender));
  }
  reporter->SetBrandParams(nullptr);

  if (a[0] == L"catalogue") {
    SendCatalogue(reporter.get());
    bool idle = url_sender->WaitForIdle(kIdleGuardMs);
    std::printf("lite_ver=%s\nresolution=%dx%d\nidle=%d\n", GetFileVersionString(GetOwnExecutablePath()).c_str(),
                ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), idle ? 1 : 0);
    return 0;
  }
  if (a[0] == L"stalled") {
    for (int n = 1; n <= 3; ++n) reporter->Send(Sequence(n));
    std::printf("idle=%d\n", url_sender->WaitForIdle(kIdleGuardMs) ? 1 : 0);
    reporter->Send(Sequence(4));
    reporter->Send(Sequence(5));
    reporter.reset();
    std::printf("destroyed\n");
    return 0;
  }
  return 2;
}

int ScreenMetrics(const std::vector<std::wstring>&) {
  ScopedWindowDC screen(nullptr);
  int logpixels = screen.Get() ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
  std::printf("logpixels=%d\nresolution=%dx%d\n", logpixels, ::GetSystemMetrics(SM_CXSCREEN),
              ::GetSystemMetrics(SM_CYSCREEN));
  return 0;
}

HelperCommandRegistrar stat_events_command(L"stat-events", StatEvents);
HelperCommandRegistrar screen_metrics_command(L"screen-metrics", ScreenMetrics);

}  // namespace
}  // namespace ostrel::testing
