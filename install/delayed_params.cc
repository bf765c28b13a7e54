#include "install/delayed_params.h"

#include <windows.h>

#include <cstring>

#include "base/logging.h"
#include "base/scoped_handle.h"
#include "base/switches.h"

namespace ostrel {

// Initialised data, read, write, shared between every process mapped from
// this executable file: the first copy and its elevated copy. The explicit
// alignment keeps the compiler from padding the section beyond the layout.
// Unmangled, so the executable's link can insist on it (CMakeLists.txt).
extern "C" {
alignas(4) DelayedParamsImage ostrel_delayed_params __attribute__((section("Shared"), shared)) = {};
}

namespace {

DelayedParamsImage* section_override = nullptr;

DelayedParamsImage* Section() { return section_override ? section_override : &ostrel_delayed_params; }

// Only this process's view matters for the compiler; the other process
// writes while this one waits on a kernel object, which orders the accesses.
volatile LONG* FailureKindSlot() { return reinterpret_cast<volatile LONG*>(&Section()->failure_kind); }

// A website icon is only handed on when setup could use it.
bool IsReadableNonEmptyFile(const std::wstring& path) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  char byte = 0;
  DWORD read = 0;
  return ::ReadFile(file.Get(), &byte, 1, &read, nullptr) && read == 1;
}

}  // namespace

bool WriteDelayedParams(const DelayedParams& params) {
  if (StoreDelayedParams(params, Section())) return true;
  PLOG_TAG(ERROR, "WriteDelayedParams") << "Too large string length,"
                                        << " browser_arc_path=" << params.browser_arc_path
                                        << " clids_file_path=" << params.clids_file_path
                                        << " tarvik_website_icon_file_path=" << params.tarvik_website_icon_file_path
                                        << " installer_data_path=" << params.installer_data_path
                                        << " brand_package_path=" << params.brand_package_path
                                        << " partner_package_path=" << params.partner_package_path
                                        << " partner_package_override_path=" << params.partner_package_override_path
                                        << " histogram_download_time=" << params.histogram_download_time
                                        << " histogram_full_time=" << params.histogram_full_time
                                        << " send_statistics=" << (params.send_statistics != 0)
                                        << " make_default=" << (params.make_default != 0)
                                        << " install_qopin=" << (params.install_qopin != 0);
  return false;
}

DelayedParams ReadDelayedParams() {
  DelayedParamsImage snapshot;
  std::memcpy(&snapshot, Section(), sizeof(snapshot));
  return LoadDelayedParams(snapshot);
}

bool ApplyDelayedParams(InstallerCommandLine* command_line) {
  return ApplyDelayedParams(ReadDelayedParams(), command_line);
}

bool ApplyDelayedParams(const DelayedParams& params, InstallerCommandLine* command_line) {
  namespace s = switches;
  if (!params.browser_arc_path.empty()) command_line->SetProgramPath(params.browser_arc_path);
  if (!params.installer_data_path.empty())
    command_line->PutSwitch(s::kInstallerData, std::wstring_view(params.installer_data_path));
  if (!params.clids_file_path.empty())
    command_line->PutSwitch(s::kClidsFile, std::wstring_view(params.clids_file_path));
  if (!params.tarvik_website_icon_file_path.empty() && IsReadableNonEmptyFile(params.tarvik_website_icon_file_path))
    command_line->PutSwitch(s::kTarvikWebsiteIconFile, std::wstring_view(params.tarvik_website_icon_file_path));
  if (!params.brand_package_path.empty())
    command_line->PutSwitch(s::kBrandPackage, std::wstring_view(params.brand_package_path));
  if (!params.partner_package_path.empty())
    command_line->PutSwitch(s::kPartnerPackage, std::wstring_view(params.partner_package_path));
  if (!params.histogram_full_time.empty())
    command_line->PutSwitch(s::kInstallStartTimeNoUac, std::wstring_view(params.histogram_full_time));
  command_line->PutSwitchIf(params.send_statistics != 0, s::kSendStatistics);
  command_line->PutSwitchIf(params.make_default != 0, s::kMakeBrowserDefaultAfterImport);
  command_line->PutSwitchIf(params.install_qopin == 0, s::kDisableQopin);
  command_line->PutSwitch(s::kHistogramDownloadTime, std::wstring_view(params.histogram_download_time));
  return !params.browser_arc_path.empty();
}

size_t LongestCommandLineAfterHandOver(const InstallerCommandLine& setup) {
  // With a space, so that each value is quoted as a real path may be.
  std::wstring path(kDelayedPathMaxLength, L'x');
  path[1] = L' ';
  DelayedParams longest;
  for (std::wstring* value : {&longest.clids_file_path, &longest.installer_data_path, &longest.brand_package_path,
                              &longest.partner_package_path}) {
    *value = path;
  }
  // The protected folder (within MAX_PATH, plus "\tbi", 16 digits and a
  // separator) holds the archive under its own name.
  longest.browser_arc_path = std::wstring(MAX_PATH + 21, L'x') + path;
  longest.histogram_download_time = longest.histogram_full_time = std::wstring(kDelayedTimeMaxLength, L'9');
  longest.send_statistics = longest.make_default = 1;
  InstallerCommandLine handed_over = setup;
  ApplyDelayedParams(longest, &handed_over);
  // The icon is applied only when its file exists.
  handed_over.PutSwitch(switches::kTarvikWebsiteIconFile, std::wstring_view(path));
  return handed_over.Render().size();
}

int32_t GetSharedFailureKind() { return ::InterlockedCompareExchange(FailureKindSlot(), 0, 0); }

void SetSharedFailureKind(int32_t kind) { ::InterlockedExchange(FailureKindSlot(), kind); }

ScopedDelayedParamsSectionOverride::ScopedDelayedParamsSectionOverride(DelayedParamsImage* section)
    : previous_(section_override) {
  section_override = section;
}

ScopedDelayedParamsSectionOverride::~ScopedDelayedParamsSectionOverride() { section_override = previous_; }

}  // namespace ostrel
