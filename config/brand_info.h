// The brand information: one record per process into which the partner and
// brand configuration documents are merged (the first document to set a
// value wins), completed by built-in defaults. Read-only once
// ApplyDefaults has run; the entry point owns it and lends it out.
#ifndef CONFIG_BRAND_INFO_H_
#define CONFIG_BRAND_INFO_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {

class DistribInfoParams;
class InstallerCommandLine;
class ResourceSource;
class Value;

// A setting a document may leave unsaid: 0 unset, 1 true, 2 false.
enum TriState : int32_t {
  kTriStateUnset = 0,
  kTriStateTrue = 1,
  kTriStateFalse = 2,
};

class BrandInfo {
 public:
  // `work_dir`: the user's temporary directory, with trailing backslash.
  explicit BrandInfo(std::wstring work_dir);
  BrandInfo(const BrandInfo&) = delete;
  BrandInfo& operator=(const BrandInfo&) = delete;
  virtual ~BrandInfo();

  // Empties everything read from configuration; keeps work_dir and the two
  // package-present flags.
  virtual void Clear();

  // Merges one configuration document (JSON, comments allowed, so the
  // signature line is skipped). Only fills what is still empty, except the
  // overridden-feature flags, which the last document decides.
  void ApplyBrandInfo(std::string_view json_text);
  // Fills the defaults, then logs the block.
  void ApplyDefaults();
  void LogBrandInfo() const;

  // The whole loading sequence from the executable's packages (or `resources`).
  void GetInfo(const std::string& brand_name);
  void GetInfo(const std::string& brand_name, const ResourceSource& resources);
  // Chooses and applies the partner and brand packages.
  void GetInfoFromResources(const std::string& brand_name, const ResourceSource& resources);
  // Extracts `file_name` from a package and applies it when it is there.
  void ApplyConfigFromPackage(std::string_view package, const std::string& file_name);

  // Hand-over values for setup and the browser.
  void SaveToRegistry() const;
  void SaveLanguageToRegistry() const;
  void RemoveFromRegistry() const;

  // The pin trial state 0..3.
  int GetQopinTrialState(const DistribInfoParams& params, const InstallerCommandLine& command_line) const;
  // slide_url, or the slides folder of the interface language on the CDN.
  std::string GetSlidesBaseUrl(std::string_view subdirectory) const;
  std::wstring GetLicenseUrlWithLanguage() const;
  // The browser's download page, offered when installation fails.
  std::string GetManualDownloadUrl(const DistribInfoParams& params) const;

  const std::string& setup_url() const { return setup_url_; }
  const std::string& setup_url_version() const { return setup_url_version_; }
  const std::string& setup_url64() const { return setup_url64_; }
  const std::string& setup_url_version64() const { return setup_url_version64_; }
  const std::string& setup_url32() const { return setup_url32_; }
  const std::string& setup_url_win7() const { return setup_url_win7_; }
  const std::string& brand_id() const { return brand_id_; }
  const std::string& brand_name() const { return brand_name_; }
  const std::string& interface_language() const { return interface_language_; }
  // The distribution parameter "lang" replaces the documents' choice.
  void set_interface_language(std::string language) { interface_language_ = std::move(language); }
  uint32_t language_id() const { return language_id_; }
  const std::string& license_url() const { return license_url_; }
  const std::string& conf_policy_url() const { return conf_policy_url_; }
  const std::wstring& work_dir() const { return work_dir_; }
  const std::wstring& brand_package_path() const { return brand_package_path_; }
  const std::wstring& partner_package_path() const { return partner_package_path_; }
  const std::string& partner_id() const { return partner_id_; }
  const std::string& scenarios_url() const { return scenarios_url_; }
  const std::string& slide_url() const { return slide_url_; }
  const std::string& slide_url_if_tagged() const { return slide_url_if_tagged_; }
  const std::string& variations_url() const { return variations_url_; }
  const std::string& abt_url() const { return abt_url_; }
  const std::string& preloaded_wallpapers_url() const { return preloaded_wallpapers_url_; }
  bool has_install_pin() const { return has_install_pin_; }
  const std::string& qopin_trial_state() const { return qopin_trial_state_; }
  bool first_screen_off() const { return first_screen_off_; }
  bool dialogs_redesign() const { return dialogs_redesign_; }
  bool dark_theme_enabled() const { return dark_theme_enabled_; }
  const std::vector<std::string>& forced_test_ids() const { return forced_test_ids_; }
  bool brand_package_present() const { return brand_package_present_; }
  bool partner_package_present() const { return partner_package_present_; }
  // False when a package setup is pointed at could not be written.
  bool package_files_written() const { return package_files_written_; }
  int32_t alternate_installer_title() const { return alternate_installer_title_; }
  int32_t send_statistics() const { return send_statistics_; }
  int32_t make_browser_default() const { return make_browser_default_; }

  // Only an explicit false turns these off.
  bool sends_statistics() const { return send_statistics_ < kTriStateFalse; }
  bool makes_browser_default() const { return make_browser_default_ < kTriStateFalse; }
  // Only an explicit true turns this on.
  bool shows_international_title() const { return alternate_installer_title_ == kTriStateTrue; }

 private:
  void WritePackage(const std::wstring& path, std::string_view bytes);
  void ApplyString(const Value& root, std::string_view path, std::string* field);
  void ApplyTriState(const Value& root, std::string_view path, int32_t* field);

  std::string setup_url_;
  std::string setup_url_version_;
  std::string setup_url64_;
  std::string setup_url_version64_;
  std::string setup_url32_;
  std::string setup_url_win7_;
  std::string brand_id_;
  std::string brand_name_;
  std::string interface_language_;
  uint32_t language_id_;
  std::string license_url_;
  std::string conf_policy_url_;
  std::wstring work_dir_;
  std::wstring brand_package_path_;
  std::wstring partner_package_path_;
  std::string partner_id_;
  std::string scenarios_url_;
  std::string slide_url_;
  std::string slide_url_if_tagged_;
  std::string variations_url_;
  std::string abt_url_;
  std::string preloaded_wallpapers_url_;
  bool has_install_pin_ = false;
  std::string qopin_trial_state_;
  bool first_screen_off_ = false;
  bool dialogs_redesign_ = false;
  bool dark_theme_enabled_ = false;
  std::vector<std::string> forced_test_ids_;
  bool brand_package_present_ = false;
  bool partner_package_present_ = false;
  bool package_files_written_ = true;
  int32_t alternate_installer_title_ = kTriStateUnset;
  int32_t send_statistics_ = kTriStateUnset;
  int32_t make_browser_default_ = kTriStateUnset;
};

// The brand for the user's region and UI language (OS facts).
std::string AutodetectBrandName();

}  // namespace ostrel

#endif  // CONFIG_BRAND_INFO_H_
