#include "reporting/install_stat_sender.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/scoped_handle.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "reporting/user_id.h"

namespace ostrel {
namespace {

constexpr DWORD kEscapeBufferChars = 2084;

// A running browser that was started with the stored command line holds an
// event named after it.
bool IsBrowserLaunched() {
  std::wstring name = LaunchEventName(ReadProductValue(kLaunchCommandLineValueName));
  if (name.empty()) return false;
  ScopedKernelHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  return event.IsValid();
}

}  // namespace

std::wstring LaunchEventName(const std::wstring& command_line) {
  if (command_line.size() < 3) return std::wstring();
  std::wstring text = command_line;
  if (text.front() == L'"') text.erase(0, 1);
  if (!text.empty() && text.back() == L'"') text.pop_back();
  for (wchar_t& c : text) {
    if (c == L'\\') c = L'!';
  }
  if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return L"Global\\" + text;
}

std::wstring EscapeStatSegment(const std::wstring& text) {
  wchar_t buffer[kEscapeBufferChars];
  DWORD size = kEscapeBufferChars;
  if (FAILED(::UrlEscapeW(text.c_str(), buffer, &size, URL_ESCAPE_SEGMENT_ONLY)) || size >= kEscapeBufferChars)
    return std::wstring();
  return std::wstring(buffer, size);
}

InstallStatSender::InstallStatSender(int32_t target, int32_t installer_type, const std::wstring& hand_over,
                                     StatParams initial_params, int32_t path_kind, const std::string& user_id)
    : target_(target), installer_type_(installer_type), params_(std::move(initial_params)), path_kind_(path_kind) {
  if (!hand_over.empty()) ParseStatParams(hand_over, &params_);

  if (installer_type_ < kInstallerTypeUpdater) {
    params_[kStatKeyLaunched] = IsBrowserLaunched() ? L"true" : L"false";
  } else {
    params_.emplace(kStatKeyLaunched, L"false");
  }

  params_[kStatKeyUserId] = AsciiToWide(UserIdWithoutBraces(user_id));

  // A version handed over by an earlier installer of this run wins.
  if (params_.find(kStatKeyOldVersion) == params_.end()) {
    std::wstring old_version = ReadProductValue(kPreviousVersionValueName);
    if (old_version.empty()) old_version = ReadProductValue(kProductVersionValueName);
    params_[kStatKeyOldVersion] = old_version;
  }

  std::wstring own_version = AsciiToWide(GetFileVersionString(GetOwnExecutablePath()));
  if (installer_type_ == kInstallerTypeLite) {
    params_[kStatKeyLiteVersion] = own_version;
  } else if (installer_type_ == kInstallerTypeUpdater) {
    params_[kStatKeyVersion] = own_version;
  }

  params_[kStatKeyInstallerType] = AsciiToWide(InstallerTypeName(installer_type_));
}

InstallStatSender::~InstallStatSender() {
  if (installer_type_ < kInstallerTypeUpdater) RemoveProductValue(kInstallStatValueName);
}

std::wstring InstallStatSender::GetParam(const std::string& key) const {
  auto it = params_.find(key);
  return it == params_.end() ? std::wstring() : it->second;
}

std::wstring InstallStatSender::GetQueryUrl(const StatEvent& event) {
  StatParams merged = MergeStatParams(params_, event, target_, installer_type_);
  LOG(INFO) << "InstallStatSender::Send:";
  for (const auto& [key, value] : merged) LOG(INFO) << key << "=" << value;
  std::wstring url = BuildStatQueryUrl(hosts::kBrowserApiInternational, merged, path_kind_, EscapeStatSegment);
  if (url.empty()) LOG(WARNING) << "No statistics path for kind " << path_kind_;
  return url;
}

}  // namespace ostrel
