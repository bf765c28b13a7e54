// The delayed parameters: what the first copy of the installer hands to its
// elevated copy once the archive is downloaded and verified. They travel in
// an image section that every process of the same executable file shares,
// so its layout is fixed byte for byte; both copies are the same build, but
// the layout is still checked here so that no compiler or pointer size can
// shift a field.
#ifndef INSTALL_DELAYED_PARAMS_LAYOUT_H_
#define INSTALL_DELAYED_PARAMS_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// Longest texts the slots take (the slots hold one more unit, the zero).
inline constexpr size_t kDelayedPathMaxLength = 260;
inline constexpr size_t kDelayedTimeMaxLength = 32;

// The section's contents. Texts are UTF-16, zero-terminated.
struct DelayedParamsImage {
  char16_t browser_arc_path[kDelayedPathMaxLength + 1];
  char16_t clids_file_path[kDelayedPathMaxLength + 1];
  char16_t tarvik_website_icon_file_path[kDelayedPathMaxLength + 1];
  char16_t installer_data_path[kDelayedPathMaxLength + 1];
  char16_t brand_package_path[kDelayedPathMaxLength + 1];
  char16_t partner_package_path[kDelayedPathMaxLength + 1];
  char16_t partner_package_override_path[kDelayedPathMaxLength + 1];
  char16_t histogram_download_time[kDelayedTimeMaxLength + 1];
  char16_t histogram_full_time[kDelayedTimeMaxLength + 1];
  uint8_t send_statistics;
  uint8_t make_default;
  uint8_t install_qopin;
  uint8_t padding[3];
  // Written by whichever process ran setup, read by the first copy once that
  // process has ended; 0 = none.
  int32_t failure_kind;
};

static_assert(offsetof(DelayedParamsImage, browser_arc_path) == 0x000);
static_assert(offsetof(DelayedParamsImage, clids_file_path) == 0x20A);
static_assert(offsetof(DelayedParamsImage, tarvik_website_icon_file_path) == 0x414);
static_assert(offsetof(DelayedParamsImage, installer_data_path) == 0x61E);
static_assert(offsetof(DelayedParamsImage, brand_package_path) == 0x828);
static_assert(offsetof(DelayedParamsImage, partner_package_path) == 0xA32);
static_assert(offsetof(DelayedParamsImage, partner_package_override_path) == 0xC3C);
static_assert(offsetof(DelayedParamsImage, histogram_download_time) == 0xE46);
static_assert(offsetof(DelayedParamsImage, histogram_full_time) == 0xE88);
static_assert(offsetof(DelayedParamsImage, send_statistics) == 0xECA);
static_assert(offsetof(DelayedParamsImage, make_default) == 0xECB);
static_assert(offsetof(DelayedParamsImage, install_qopin) == 0xECC);
static_assert(offsetof(DelayedParamsImage, failure_kind) == 0xED0);
static_assert(sizeof(DelayedParamsImage) == 0xED4);

// The values, as the first copy gives them and the elevated copy reads them.
struct DelayedParams {
  std::wstring browser_arc_path;
  std::wstring clids_file_path;
  std::wstring tarvik_website_icon_file_path;
  std::wstring installer_data_path;
  std::wstring brand_package_path;
  std::wstring partner_package_path;
  std::wstring partner_package_override_path;
  // Download duration in whole seconds and the proceed time in
  // microseconds, both decimal.
  std::wstring histogram_download_time;
  std::wstring histogram_full_time;
  uint8_t send_statistics = 0;  // the statistics consent byte; 0 = no
  uint8_t make_default = 0;
  uint8_t install_qopin = 0;
};

// Every path within kDelayedPathMaxLength and both times within
// kDelayedTimeMaxLength.
bool DelayedParamsFit(const DelayedParams& params);

// Stores `params` in `image`, leaving the failure kind alone. False (and
// nothing changed) when they do not fit.
bool StoreDelayedParams(const DelayedParams& params, DelayedParamsImage* image);

// Reads the values back. A slot without its terminating zero was not written
// by StoreDelayedParams and reads as empty.
DelayedParams LoadDelayedParams(const DelayedParamsImage& image);

}  // namespace ostrel

#endif  // INSTALL_DELAYED_PARAMS_LAYOUT_H_
