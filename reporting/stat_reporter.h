// The installer's statistics: one StatReporter per Installer keeps the
// standing parameters and sends each event as one background request. The
// caller never waits and never learns whether an event arrived.
#ifndef REPORTING_STAT_REPORTER_H_
#define REPORTING_STAT_REPORTER_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reporting/async_url_sender.h"
#include "reporting/install_stat_sender.h"
#include "reporting/stat_events.h"

namespace ostrel {

// Standing parameters by the numbers the Installer and the window use.
enum class StatParam : int32_t {
  kBrandId = 0,
  kPartnerId = 1,
  kBannerId = 2,
  kTarvikUid = 3,
  kDistrTarvikUid = 4,
  kNewVersion = 5,
  kOldVersion = 6,
  kInstallType = 7,
  kNerin = 8,
  kCorporateInstaller = 9,
  kBrowserPresent = 10,
  kTestIds = 11,
  kUpdateOrigin = 12,
};
// "brand_id", "partner_id", ...; empty for a number outside the table.
const char* StatParamKey(StatParam param);

// What the statistics take from the brand information.
struct BrandStatValues {
  std::wstring brand_id;
  std::wstring partner_id;
  std::vector<std::wstring> test_ids;  // the forced test identifiers
};

class StatReporter {
 public:
  // The user identifier of this Windows user, the hand-over value left in
  // the registry, and a real background sender.
  StatReporter();
  // Tests choose the identifier and the sender.
  StatReporter(const std::string& user_id, std::unique_ptr<AsyncUrlSender> url_sender);
  StatReporter(const StatReporter&) = delete;
  StatReporter& operator=(const StatReporter&) = delete;
  ~StatReporter();

  // Queues the event with the default path kind.
  void Send(const StatEvent& event);
  // Queues a window event under the dialog path kind.
  void SendDialogEvent(const StatEvent& event);
  // Writes the parameters to the registry for setup ("install_stat").
  bool SaveParams();

  // A setter overwrites any earlier value.
  void SetParam(StatParam param, const std::wstring& value);
  // Empty when not set.
  std::wstring GetParam(StatParam param) const;
  // brand_id, partner_id and testids (joined with "%3B"); without brand
  // information (null) "unknown", "unknown" and empty.
  void SetBrandParams(const BrandStatValues* brand);
  // An earlier browser version is known: setup events say "update".
  bool IsUpdate() const { return !GetParam(StatParam::kOldVersion).empty(); }

  // Waits until the queued events have been sent; false after `timeout_ms`.
  bool Drain(DWORD timeout_ms) { return url_sender_->WaitForIdle(timeout_ms); }
  // Ends the background sender; events not yet sent are dropped. Later
  // events are dropped too.
  void Shutdown();

  AsyncUrlSender* url_sender() { return url_sender_.get(); }

 private:
  void Queue(const StatEvent& event, int32_t path_kind);

  // The window thread and the install thread both build URLs and set
  // parameters; building with the dialog kind changes the path kind for a
  // moment. Both must stay with their own request.
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  std::unique_ptr<InstallStatSender> sender_;
  std::unique_ptr<AsyncUrlSender> url_sender_;
};

// The host name of a redirect target for the download events: the URL is
// canonicalised (browser mode, 2084 characters) and cracked (decoded); empty
// when either step fails.
std::wstring GetRedirectHost(const std::wstring& redirect_url);

// The start event for this screen: dpi from `scale_factor` (the user
// interface's), resolution from the primary screen's size.
StatEvent InstallerStartedEventForScreen(double scale_factor);

}  // namespace ostrel

#endif  // REPORTING_STAT_REPORTER_H_
