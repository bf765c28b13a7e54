// The standing statistics parameters of one installer run and the URL of
// each statistics request. The parameters are also handed to the browser's
// setup program through the registry ("install_stat" under the product key).
#ifndef REPORTING_INSTALL_STAT_SENDER_H_
#define REPORTING_INSTALL_STAT_SENDER_H_

#include <cstdint>
#include <string>

#include "reporting/stat_params.h"

namespace ostrel {

// Values under the product key (HKEY_CURRENT_USER).
inline constexpr wchar_t kInstallStatValueName[] = L"install_stat";
inline constexpr wchar_t kLaunchCommandLineValueName[] = L"InstallerSuccessLaunchCmdLine";
inline constexpr wchar_t kPreviousVersionValueName[] = L"ypv";
inline constexpr wchar_t kProductVersionValueName[] = L"pv";

// The name of the event a running browser started with `command_line`
// holds: one leading and one trailing quotation mark removed, backslashes
// as '!', lower case, in the global namespace. Empty for fewer than 3
// characters.
std::wstring LaunchEventName(const std::wstring& command_line);

// UrlEscapeW(URL_ESCAPE_SEGMENT_ONLY) into a 2084-character buffer; empty
// when the text does not fit or cannot be escaped.
std::wstring EscapeStatSegment(const std::wstring& text);

class InstallStatSender {
 public:
  // Reads the registry and the own file version (see the .cc for the
  // order); `hand_over` is the text of a previous SerializeStatParams,
  // `user_id` the user identifier (braces are removed).
  InstallStatSender(int32_t target, int32_t installer_type, const std::wstring& hand_over, StatParams initial_params,
                    int32_t path_kind, const std::string& user_id);
  InstallStatSender(const InstallStatSender&) = delete;
  InstallStatSender& operator=(const InstallStatSender&) = delete;
  // Removes the hand-over value again (installer types below 2).
  virtual ~InstallStatSender();

  // The statistics URL of `event` with the current path kind. Logs the
  // merged parameters.
  virtual std::wstring GetQueryUrl(const StatEvent& event);

  std::wstring SerializeStatParams() const { return ostrel::SerializeStatParams(params_); }

  // Overwrites any earlier value of `key`.
  void SetParam(const std::string& key, const std::wstring& value) { params_[key] = value; }
  // Empty when absent.
  std::wstring GetParam(const std::string& key) const;
  const StatParams& params() const { return params_; }

  int32_t path_kind() const { return path_kind_; }
  void set_path_kind(int32_t kind) { path_kind_ = kind; }

 private:
  int32_t target_;
  int32_t installer_type_;
  StatParams params_;
  int32_t path_kind_;
};

}  // namespace ostrel

#endif  // REPORTING_INSTALL_STAT_SENDER_H_
