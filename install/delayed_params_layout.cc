#include "install/delayed_params_layout.h"

#include <algorithm>
#include <iterator>

namespace ostrel {
namespace {

template <size_t N>
void StoreText(std::wstring_view text, char16_t (&slot)[N]) {
  // Units past the terminator are cleared too, so a shorter text never
  // leaves the tail of an earlier one behind.
  std::fill(std::begin(slot), std::end(slot), u'\0');
  for (size_t i = 0; i < text.size() && i + 1 < N; ++i) slot[i] = static_cast<char16_t>(text[i]);
}

template <size_t N>
std::wstring LoadText(const char16_t (&slot)[N]) {
  const char16_t* end = std::find(std::begin(slot), std::end(slot), u'\0');
  if (end == std::end(slot)) return std::wstring();
  std::wstring text;
  text.reserve(static_cast<size_t>(end - slot));
  for (const char16_t* unit = slot; unit != end; ++unit) text.push_back(static_cast<wchar_t>(*unit));
  return text;
}

}  // namespace

bool DelayedParamsFit(const DelayedParams& params) {
  for (const std::wstring* path :
       {&params.browser_arc_path, &params.clids_file_path, &params.tarvik_website_icon_file_path,
        &params.installer_data_path, &params.brand_package_path, &params.partner_package_path,
        &params.partner_package_override_path}) {
    if (path->size() > kDelayedPathMaxLength) return false;
  }
  return params.histogram_download_time.size() <= kDelayedTimeMaxLength &&
         params.histogram_full_time.size() <= kDelayedTimeMaxLength;
}

bool StoreDelayedParams(const DelayedParams& params, DelayedParamsImage* image) {
  if (!DelayedParamsFit(params)) return false;
  StoreText(params.browser_arc_path, image->browser_arc_path);
  StoreText(params.clids_file_path, image->clids_file_path);
  StoreText(params.tarvik_website_icon_file_path, image->tarvik_website_icon_file_path);
  StoreText(params.installer_data_path, image->installer_data_path);
  StoreText(params.brand_package_path, image->brand_package_path);
  StoreText(params.partner_package_path, image->partner_package_path);
  StoreText(params.partner_package_override_path, image->partner_package_override_path);
  StoreText(params.histogram_download_time, image->histogram_download_time);
  StoreText(params.histogram_full_time, image->histogram_full_time);
  image->send_statistics = params.send_statistics;
  image->make_default = params.make_default;
  image->install_qopin = params.install_qopin;
  return true;
}

DelayedParams LoadDelayedParams(const DelayedParamsImage& image) {
  DelayedParams params;
  params.browser_arc_path = LoadText(image.browser_arc_path);
  params.clids_file_path = LoadText(image.clids_file_path);
  params.tarvik_website_icon_file_path = LoadText(image.tarvik_website_icon_file_path);
  params.installer_data_path = LoadText(image.installer_data_path);
  params.brand_package_path = LoadText(image.brand_package_path);
  params.partner_package_path = LoadText(image.partner_package_path);
  params.partner_package_override_path = LoadText(image.partner_package_override_path);
  params.histogram_download_time = LoadText(image.histogram_download_time);
  params.histogram_full_time = LoadText(image.histogram_full_time);
  params.send_statistics = image.send_statistics;
  params.make_default = image.make_default;
  params.install_qopin = image.install_qopin;
  return params;
}

}  // namespace ostrel
