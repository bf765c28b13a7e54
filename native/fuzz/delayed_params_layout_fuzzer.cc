// The shared section as outside bytes, and outside values stored into it:
// reading never runs past a slot, reads are stable under a store, and values
// that fit come back unchanged (up to a first zero unit) with the failure
// kind left alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "install/delayed_params_layout.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "delayed_params_layout_fuzzer: %s\n", message);
  std::abort();
}

std::vector<std::wstring*> Texts(ostrel::DelayedParams* params) {
  return {&params->browser_arc_path,        &params->clids_file_path,     &params->tarvik_website_icon_file_path,
          &params->installer_data_path,     &params->brand_package_path,  &params->partner_package_path,
          &params->partner_package_override_path, &params->histogram_download_time, &params->histogram_full_time};
}

bool Same(ostrel::DelayedParams a, ostrel::DelayedParams b) {
  std::vector<std::wstring*> x = Texts(&a), y = Texts(&b);
  for (size_t i = 0; i < x.size(); ++i)
    if (*x[i] != *y[i]) return false;
  return a.send_statistics == b.send_statistics && a.make_default == b.make_default &&
         a.install_qopin == b.install_qopin;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ostrel::DelayedParamsImage image;
  std::memset(&image, 0, sizeof(image));
  std::memcpy(&image, data, std::min(size, sizeof(image)));
  ostrel::DelayedParams loaded = ostrel::LoadDelayedParams(image);
  std::vector<std::wstring*> texts = Texts(&loaded);
  for (size_t i = 0; i < texts.size(); ++i) {
    size_t limit = i < 7 ? ostrel::kDelayedPathMaxLength : ostrel::kDelayedTimeMaxLength;
    if (texts[i]->size() > limit || texts[i]->find(L'\0') != std::wstring::npos) Fail("a slot read past its end");
  }
  ostrel::DelayedParamsImage copy = image;
  if (!ostrel::StoreDelayedParams(loaded, &copy)) Fail("what was read does not store again");
  if (!Same(ostrel::LoadDelayedParams(copy), loaded)) Fail("reading is not stable under a store");
  if (copy.failure_kind != image.failure_kind) Fail("a store changed the failure kind");

  if (size <= sizeof(image)) return 0;
  FuzzedDataProvider input(data + sizeof(image), size - sizeof(image));
  ostrel::DelayedParams params;
  for (std::wstring* text : Texts(&params)) {
    size_t length = input.ConsumeIntegralInRange<size_t>(0, ostrel::kDelayedPathMaxLength + 2);
    for (size_t i = 0; i < length && input.remaining_bytes(); ++i)
      text->push_back(static_cast<wchar_t>(input.ConsumeIntegral<uint16_t>()));
  }
  params.send_statistics = input.ConsumeIntegral<uint8_t>();
  params.make_default = input.ConsumeIntegral<uint8_t>();
  params.install_qopin = input.ConsumeIntegral<uint8_t>();
  ostrel::DelayedParamsImage target = image;
  const bool stored = ostrel::StoreDelayedParams(params, &target);
  if (stored != ostrel::DelayedParamsFit(params)) Fail("a store disagrees with the fit check");
  if (!stored) {
    if (std::memcmp(&target, &image, sizeof(image)) != 0) Fail("a refused store changed the section");
    return 0;
  }
  if (target.failure_kind != image.failure_kind) Fail("a store changed the failure kind");
  for (std::wstring* text : Texts(&params)) text->resize(std::min(text->size(), text->find(L'\0')));
  if (!Same(ostrel::LoadDelayedParams(target), params)) Fail("stored values do not read back");
  return 0;
}
