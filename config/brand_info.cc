#include "config/brand_info.h"

#include <optional>

#include "base/installer_command_line.h"
#include "base/json_reader.h"
#include "base/logging.h"
#include "base/switches.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"
#include "config/distrib_info_params.h"
#include "config/languages.h"
#include "config/maker_hosts.h"

namespace ostrel {
namespace {

constexpr std::string_view kInstallPrefix = "install.";

// Lookup rule of the configuration documents: the dotted path, and for
// "install." paths also the rest of the path from the top level.
const Value* FindConfigValue(const Value& root, std::string_view path) {
  const Value* value = root.FindPath(path);
  if (!value && path.substr(0, kInstallPrefix.size()) == kInstallPrefix)
    value = root.FindPath(path.substr(kInstallPrefix.size()));
  return value;
}

// Decimal integer with an optional sign; nothing else, not even blanks.
std::optional<int> ParseInt(const std::string& text) {
  size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (start == text.size()) return std::nullopt;
  long long value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return std::nullopt;
  }
  return static_cast<int>(text[0] == '-' ? -value : value);
}

// National domain of the browser web site per brand.
std::string NationalDomain(const std::string& brand_id) {
  static constexpr struct {
    const char* brand_id;
    const char* domain;
  } kDomains[] = {
      {"by", "by"}, {"int", "com"}, {"tb", "com.tr"}, {"ua", "ua"},
      {"ua-uk", "ua"}, {"ua-ru", "ua"}, {"tarvik", "ru"},
  };
  for (const auto& entry : kDomains) {
    if (brand_id == entry.brand_id) return entry.domain;
  }
  return "ru";
}

std::string BrowserWebSite(const std::string& domain) {
  std::string site = hosts::kBrowserWebSiteTemplate;
  static constexpr std::string_view kPlaceholder = "{domain}";
  size_t at = site.find(kPlaceholder);
  if (at != std::string::npos) site.replace(at, kPlaceholder.size(), domain);
  return site;
}

// Distribution parameters the download page understands.
constexpr const char* kDownloadPageParams[] = {
    "banerid", "beta", "betacusto", "bgid", "calypso", "custo", "expcalypso",
    "football", "lang", "partner_id", "tablo", "qopartner_id",
};

bool IsDownloadPageParam(const std::string& key) {
  for (const char* name : kDownloadPageParams) {
    if (key == name) return true;
  }
  return false;
}

}  // namespace

BrandInfo::BrandInfo(std::wstring work_dir) : language_id_(0), work_dir_(std::move(work_dir)) {}

BrandInfo::~BrandInfo() = default;

void BrandInfo::Clear() {
  LOG(INFO) << "Reset brand info.";
  for (std::string* field :
       {&setup_url_, &setup_url_version_, &setup_url64_, &setup_url_version64_, &setup_url32_, &setup_url_win7_,
        &brand_id_, &brand_name_, &interface_language_, &license_url_, &conf_policy_url_, &partner_id_,
        &scenarios_url_, &slide_url_, &slide_url_if_tagged_, &variations_url_, &abt_url_,
        &preloaded_wallpapers_url_, &qopin_trial_state_}) {
    field->clear();
  }
  language_id_ = kFallbackLanguageId;
  brand_package_path_.clear();
  partner_package_path_.clear();
  has_install_pin_ = false;
  first_screen_off_ = false;
  dialogs_redesign_ = false;
  dark_theme_enabled_ = false;
  forced_test_ids_.clear();
  alternate_installer_title_ = kTriStateUnset;
  send_statistics_ = kTriStateUnset;
  make_browser_default_ = kTriStateUnset;
}

void BrandInfo::ApplyString(const Value& root, std::string_view path, std::string* field) {
  if (!field->empty()) return;
  const Value* value = FindConfigValue(root, path);
  if (value && value->is_string()) *field = value->GetString();
}

void BrandInfo::ApplyTriState(const Value& root, std::string_view path, int32_t* field) {
  if (*field != kTriStateUnset) return;
  const Value* value = FindConfigValue(root, path);
  if (value && value->is_bool()) *field = value->GetBool() ? kTriStateTrue : kTriStateFalse;
}

void BrandInfo::ApplyBrandInfo(std::string_view json_text) {
  std::string error_message;
  std::optional<Value> root = Deserialize(json_text, kInstallerJsonOptions, nullptr, &error_message);
  if (!root) {
    PLOG(ERROR) << "Failed to load json : " << error_message;
    return;
  }
  if (!root->is_dict()) {
    PLOG(ERROR) << "Incorrect format of json";
    return;
  }

  ApplyString(*root, "languages.interface", &interface_language_);
  language_id_ = LanguageIdFromCode(interface_language_);
  ApplyString(*root, "brand_id", &brand_id_);
  ApplyString(*root, "brand_name", &brand_name_);
  ApplyString(*root, "install.setup_url", &setup_url_);
  ApplyString(*root, "install.setup_url_version", &setup_url_version_);
  ApplyString(*root, "install.setup_url64", &setup_url64_);
  ApplyString(*root, "install.setup_url_version64", &setup_url_version64_);
  ApplyString(*root, "install.setup_url32", &setup_url32_);
  ApplyString(*root, "install.setup_url_win7", &setup_url_win7_);
  ApplyString(*root, "license_url", &license_url_);
  ApplyString(*root, "install.conf_policy_url", &conf_policy_url_);
  ApplyTriState(*root, "install.alternate_installer_title", &alternate_installer_title_);
  ApplyTriState(*root, "install.send_statistics", &send_statistics_);
  ApplyTriState(*root, "install.make_browser_default", &make_browser_default_);
  ApplyString(*root, "partner_id", &partner_id_);
  ApplyString(*root, "install.scenarios_url", &scenarios_url_);
  ApplyString(*root, "install.slide_url", &slide_url_);
  ApplyString(*root, "install.slide_url_if_tagged", &slide_url_if_tagged_);
  ApplyString(*root, "urls.variations", &variations_url_);
  ApplyString(*root, "urls.abt", &abt_url_);
  ApplyString(*root, "install.preloaded_wallpapers_url", &preloaded_wallpapers_url_);

  if (root->FindPath("install.pin")) {
    has_install_pin_ = true;
    LOG(INFO) << "Found install.pin";
  }
  ApplyString(*root, "install.qopin_trial_state", &qopin_trial_state_);

  if (root->FindPath("overridden_features.InstallerNewIdentity2024")) {
    if (std::optional<bool> value =
            root->FindBoolPath("overridden_features.InstallerNewIdentity2024.params.firstScreenOff")) {
      first_screen_off_ = *value;
    }
    if (std::optional<bool> value =
            root->FindBoolPath("overridden_features.InstallerNewIdentity2024.params.dialogsRedesign")) {
      dialogs_redesign_ = *value;
    }
    LOG(INFO) << "InstallerNewIdentity2024: firstScreenOff = " << first_screen_off_
              << ", dialogsRedesign = " << dialogs_redesign_;
  }
  if (root->FindPath("overridden_features.InstallerDarkTheme2024")) {
    if (std::optional<bool> value = root->FindBoolPath("overridden_features.InstallerDarkTheme2024.enabled"))
      dark_theme_enabled_ = *value;
    LOG(INFO) << "InstallerDarkTheme2024: enabled = " << dark_theme_enabled_;
  }

  if (forced_test_ids_.empty()) {
    if (const Value::List* ids = root->FindListKey("forced_testids")) {
      for (const Value& id : *ids) {
        if (id.is_string()) forced_test_ids_.push_back(id.GetString());
      }
    }
  }
}

void BrandInfo::ApplyDefaults() {
  if (brand_id_.empty()) brand_id_ = "tarvik";
  if (brand_name_.empty()) brand_name_ = brand_id_;
  if (scenarios_url_.empty())
    scenarios_url_ = std::string(hosts::kDownloadCdn) + "/browser/installer/nerin/scenarios/";
  if (setup_url_.empty())
    setup_url_ = std::string(hosts::kDownloadCdn) + "/browser/" + brand_id_ + "/browser-setup.arc";
  if (license_url_.empty()) license_url_ = std::string(hosts::kLegalDocuments) + "/browser_agreement/";
  if (conf_policy_url_.empty()) conf_policy_url_ = std::string(hosts::kLegalDocuments) + "/confidential/";
  if (interface_language_.empty()) interface_language_ = UserUiLanguageCode();
  language_id_ = LanguageIdFromCode(interface_language_);
  if (variations_url_.empty())
    variations_url_ = std::string(hosts::kBrowserApiInternational) + "/content/get/experiments/browser.proto";
  if (abt_url_.empty()) abt_url_ = std::string(hosts::kBrowserApiNational) + "/ab/get";
  LogBrandInfo();
}

void BrandInfo::LogBrandInfo() const {
  std::string test_ids;
  for (const std::string& id : forced_test_ids_) {
    if (!test_ids.empty()) test_ids += ", ";
    test_ids += id;
  }
  LOG(INFO) << "Brand id: " << brand_id_;
  LOG(INFO) << "Brand name: " << brand_name_;
  LOG(INFO) << "Setup url: " << setup_url_;
  LOG(INFO) << "Versioned setup url: " << setup_url_version_;
  LOG(INFO) << "Setup url64: " << setup_url64_;
  LOG(INFO) << "Versioned setup url64: " << setup_url_version64_;
  LOG(INFO) << "Setup url32: " << setup_url32_;
  LOG(INFO) << "Setup url for Win7: " << setup_url_win7_;
  LOG(INFO) << "Default language: " << interface_language_;
  LOG(INFO) << "Nerin install scenarios url: " << scenarios_url_;
  LOG(INFO) << "Install slide url by default: " << slide_url_;
  LOG(INFO) << "Install slide url if tagged installer: " << slide_url_if_tagged_;
  LOG(INFO) << "Show international title: " << shows_international_title();
  LOG(INFO) << "Send browser's statistics: " << sends_statistics();
  LOG(INFO) << "Make browser default after import: " << makes_browser_default();
  LOG(INFO) << "Preloaded wallpapers url: " << preloaded_wallpapers_url_;
  LOG(INFO) << "Test ids: " << test_ids;
}

int BrandInfo::GetQopinTrialState(const DistribInfoParams& params, const InstallerCommandLine& command_line) const {
  if (!has_install_pin_) {
    if (!qopin_trial_state_.empty()) LOG(WARNING) << "No install.pin for qopin_state=" << qopin_trial_state_;
    return 1;
  }
  std::string text = qopin_trial_state_;
  if (text.empty()) text = WideToUtf8(command_line.SwitchValueNative(switches::kQopinState));
  if (text.empty()) params.Get("qopin", &text);
  if (text.empty()) return 0;
  std::optional<int> state = ParseInt(text);
  return state && *state >= 0 && *state <= 3 ? *state : 0;
}

std::string BrandInfo::GetSlidesBaseUrl(std::string_view subdirectory) const {
  if (!slide_url_.empty()) return slide_url_;
  return std::string(hosts::kDownloadCdn) + "/browser/installer/" + std::string(subdirectory) +
         interface_language_ + "/";
}

std::wstring BrandInfo::GetLicenseUrlWithLanguage() const {
  return Utf8ToWide(license_url_ + "?lang=" + interface_language_);
}

std::string BrandInfo::GetManualDownloadUrl(const DistribInfoParams& params) const {
  std::string url = BrowserWebSite(NationalDomain(brand_id_)) + "/download?";
  for (const auto& [key, value] : params.params()) {
    if (IsDownloadPageParam(key)) url += key + "=" + value + "&";
  }
  return url + "full=1" + "&code=" + "lite_install_failed";
}

}  // namespace ostrel
