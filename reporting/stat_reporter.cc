#include "reporting/stat_reporter.h"

#include <wininet.h>

#include <iterator>

#include "base/scoped_lock.h"
#include "base/system_queries.h"
#include "reporting/user_id.h"

namespace ostrel {
namespace {

constexpr const char* kParamKeys[] = {
    "brand_id",  "partner_id",          "banner_id",       "tarvik_uid", "distr_tarvik_uid",
    "new_ver",   "old_ver",             "install_type",    "nerin",      "corporate_installer",
    "browser_present", "testids",       "update_origin",
};

constexpr wchar_t kTestIdSeparator[] = L"%3B";
constexpr DWORD kCanonicalUrlChars = 2084;

std::unique_ptr<InstallStatSender> MakeSender(const std::string& user_id) {
  return std::make_unique<InstallStatSender>(0, kInstallerTypeLite, ReadProductValue(kInstallStatValueName),
                                             StatParams(), kStatPathKindDefault, user_id);
}

}  // namespace

const char* StatParamKey(StatParam param) {
  auto index = static_cast<size_t>(param);
  return index < std::size(kParamKeys) ? kParamKeys[index] : "";
}

StatReporter::StatReporter() : StatReporter(GetUserIdInternal(), std::make_unique<AsyncUrlSender>()) {}

StatReporter::StatReporter(const std::string& user_id, std::unique_ptr<AsyncUrlSender> url_sender)
    : sender_(MakeSender(user_id)), url_sender_(std::move(url_sender)) {}

StatReporter::~StatReporter() { Shutdown(); }

void StatReporter::Send(const StatEvent& event) { Queue(event, kStatPathKindDefault); }

void StatReporter::SendDialogEvent(const StatEvent& event) { Queue(event, kStatPathKindDialog); }

void StatReporter::Queue(const StatEvent& event, int32_t path_kind) {
  std::wstring url;
  {
    ScopedExclusiveLock lock(&lock_);
    int32_t previous = sender_->path_kind();
    sender_->set_path_kind(path_kind);
    url = sender_->GetQueryUrl(event);
    sender_->set_path_kind(previous);
  }
  if (!url.empty()) url_sender_->Send(url);
}

bool StatReporter::SaveParams() {
  std::wstring text;
  {
    ScopedExclusiveLock lock(&lock_);
    text = sender_->SerializeStatParams();
  }
  return StoreProductValue(kInstallStatValueName, text);
}

void StatReporter::SetParam(StatParam param, const std::wstring& value) {
  const char* key = StatParamKey(param);
  if (!*key) return;
  ScopedExclusiveLock lock(&lock_);
  sender_->SetParam(key, value);
}

std::wstring StatReporter::GetParam(StatParam param) const {
  const char* key = StatParamKey(param);
  if (!*key) return std::wstring();
  ScopedExclusiveLock lock(&lock_);
  return sender_->GetParam(key);
}

void StatReporter::SetBrandParams(const BrandStatValues* brand) {
  if (!brand) {
    SetParam(StatParam::kBrandId, kStatUnknownValue);
    SetParam(StatParam::kPartnerId, kStatUnknownValue);
    SetParam(StatParam::kTestIds, std::wstring());
    return;
  }
  std::wstring test_ids;
  for (const std::wstring& id : brand->test_ids) {
    if (!test_ids.empty()) test_ids += kTestIdSeparator;
    test_ids += id;
  }
  SetParam(StatParam::kBrandId, brand->brand_id);
  SetParam(StatParam::kPartnerId, brand->partner_id);
  SetParam(StatParam::kTestIds, test_ids);
}

void StatReporter::Shutdown() { url_sender_->Shutdown(); }

std::wstring GetRedirectHost(const std::wstring& redirect_url) {
  if (redirect_url.empty()) return std::wstring();
  wchar_t canonical[kCanonicalUrlChars];
  DWORD length = kCanonicalUrlChars;
  if (!::InternetCanonicalizeUrlW(redirect_url.c_str(), canonical, &length, ICU_BROWSER_MODE)) return std::wstring();
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  components.lpszHostName = host;
  components.dwHostNameLength = static_cast<DWORD>(std::size(host));
  if (!::InternetCrackUrlW(canonical, 0, ICU_DECODE, &components)) return std::wstring();
  return std::wstring(host, components.dwHostNameLength);
}

StatEvent InstallerStartedEventForScreen(double scale_factor) {
  return InstallerStartedEvent(DpiPercent(scale_factor), ::GetSystemMetrics(SM_CXSCREEN),
                               ::GetSystemMetrics(SM_CYSCREEN));
}

}  // namespace ostrel
