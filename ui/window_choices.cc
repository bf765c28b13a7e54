#include "ui/window_choices.h"

#include "base/string_number_conversions.h"
#include "config/distrib_info_params.h"

namespace ostrel {
namespace {

constexpr char kMakeDefaultParam[] = "def";
constexpr char kStatisticsParam[] = "stat";
constexpr char kStatisticsPromoParam[] = "statpromo";
constexpr char kFirstScreenParam[] = "first";
constexpr char kElevationParam[] = "uac";

constexpr int kDownloadStart = 5;
constexpr int kDownloadEnd = 40;
constexpr int kImportStart = 80;
constexpr int kPositionMax = 100;
constexpr int kAlmostDoneAbove = 90;

std::optional<bool> Flag(const DistribInfoParams& params, const char* key) {
  bool flag = false;
  if (!params.GetFlag(key, &flag)) return std::nullopt;
  return flag;
}

}  // namespace

WindowChoices ReadWindowChoices(const DistribInfoParams& params) {
  WindowChoices choices;
  choices.make_default = Flag(params, kMakeDefaultParam);
  choices.send_statistics = Flag(params, kStatisticsParam);
  std::string value;
  if (!choices.send_statistics && params.Get(kStatisticsPromoParam, &value)) choices.send_statistics = value == "true";
  choices.skip_requested = params.Get(kFirstScreenParam, &value) && value == "1";
  if (params.Get(kElevationParam, &value)) {
    // Signs and overflow read as "anything else", which means 0 as well.
    uint32_t mode = 0;
    if (StringToUint32(value, &mode) && mode <= 2) choices.uac = static_cast<int>(mode);
  }
  return choices;
}

bool ShouldSkipFirstScreen(bool brand_first_screen_off, const WindowChoices& choices) {
  return (brand_first_screen_off || choices.skip_requested) && choices.make_default.has_value() &&
         choices.send_statistics.has_value();
}

int ElevationMode(bool per_machine_switch, bool first_screen_skipped, const WindowChoices& choices) {
  if (per_machine_switch) return 0;
  if (!choices.uac) return 0;
  switch (*choices.uac) {
    case 0:
      return first_screen_skipped ? 1 : 0;
    case 1:
    case 2:
      return *choices.uac;
    default:
      return 0;
  }
}

uint8_t SendStatisticsValue(const WindowChoices& choices, std::optional<bool> check_box) {
  if (choices.send_statistics) return *choices.send_statistics ? 1 : 0;
  if (check_box) return *check_box ? 1 : 0;
  return kStatisticsNotAsked;
}

bool MakeDefaultValue(const WindowChoices& choices, std::optional<bool> check_box) {
  if (choices.make_default) return *choices.make_default;
  return check_box.value_or(false);
}

int DownloadProgressPosition(float fraction) {
  if (!(fraction >= 0.0f)) fraction = 0.0f;  // NaN too
  if (fraction > 1.0f) fraction = 1.0f;
  return static_cast<int>(fraction * kDownloadEnd + (1.0f - fraction) * kDownloadStart);
}

std::optional<int> SetupStageProgressPosition(uintptr_t stage) {
  if (stage == 5) return 75;
  if (stage == 7) return 79;
  return std::nullopt;
}

int ImportProgressPosition(uintptr_t percent) {
  // A setup that sends more than 100 must not push the bar past its end.
  float share = static_cast<float>(percent > kPositionMax ? kPositionMax : percent) / 100.0f;
  return static_cast<int>(share * kPositionMax + (1.0f - share) * kImportStart);
}

StatusPhase StatusPhaseForPosition(int position) {
  if (position <= kDownloadEnd) return StatusPhase::kDownloading;
  if (position > kAlmostDoneAbove) return StatusPhase::kAlmostDone;
  return StatusPhase::kInstalling;
}

std::wstring StatusText(const std::wstring& prefix, int position) {
  return prefix + L" " + std::to_wstring(position) + L"%";
}

std::wstring StatisticsLabelMarkup(const std::wstring& consent, const std::wstring& privacy_policy) {
  std::wstring label = consent;
  if (label.empty() || (label.back() != L'.' && label.back() != L'\u3002')) label += L'.';
  return label + L" ((" + privacy_policy + L"))";
}

}  // namespace ostrel
