// The rules of the installation window that need no window: which choices
// the distribution parameters already made, whether the first screen is
// skipped, the elevation mode, and how progress from the download, setup's
// stages and the import map onto one 0..100 bar.
#ifndef UI_WINDOW_CHOICES_H_
#define UI_WINDOW_CHOICES_H_

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel {

class DistribInfoParams;

// What the distribution parameters decided before the user saw anything.
struct WindowChoices {
  std::optional<bool> make_default;     // "def"
  std::optional<bool> send_statistics;  // "stat", else "statpromo" ("true" is yes)
  bool skip_requested = false;          // "first" is "1"
  std::optional<int> uac;               // "uac", a base-10 integer
};

WindowChoices ReadWindowChoices(const DistribInfoParams& params);

// Every choice of the first screen is known and the brand or the
// parameters ask not to show it.
bool ShouldSkipFirstScreen(bool brand_first_screen_off, const WindowChoices& choices);

// 0: elevate at the Install click; 1: at window start; 2: never (setup asks
// at the browser's first start). Per-machine switches force 0.
int ElevationMode(bool per_machine_switch, bool first_screen_skipped, const WindowChoices& choices);

// Send-statistics value handed to the Installer: the parameters' choice,
// else the check box, else 255 (the user was not asked).
uint8_t SendStatisticsValue(const WindowChoices& choices, std::optional<bool> check_box);
bool MakeDefaultValue(const WindowChoices& choices, std::optional<bool> check_box);

inline constexpr uint8_t kStatisticsNotAsked = 255;

// The download fills 5..40 of the bar.
int DownloadProgressPosition(float fraction);
// Setup's stages 5 and 7; nullopt for every other stage.
std::optional<int> SetupStageProgressPosition(uintptr_t stage);
// The import fills 80..100.
int ImportProgressPosition(uintptr_t percent);

// Which of the three status prefixes a position shows.
enum class StatusPhase { kDownloading, kInstalling, kAlmostDone };
StatusPhase StatusPhaseForPosition(int position);
// "<prefix> <position>%".
std::wstring StatusText(const std::wstring& prefix, int position);

// The statistics check box's label: the consent text ending in a full stop
// (a CJK one counts), then the privacy-policy link in link markup.
std::wstring StatisticsLabelMarkup(const std::wstring& consent, const std::wstring& privacy_policy);

}  // namespace ostrel

#endif  // UI_WINDOW_CHOICES_H_
