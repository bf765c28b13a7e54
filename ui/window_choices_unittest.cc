#include "ui/window_choices.h"

#include <gtest/gtest.h>

#include <map>

#include "config/distrib_info_params.h"
#include "testing/fake_distrib_info_params.h"

namespace ostrel {
namespace {

using FakeParams = testing::FakeDistribInfoParams;

WindowChoices Choices(std::map<std::string, std::string> values) { return ReadWindowChoices(FakeParams(values)); }

TEST(WindowChoicesTest, ParametersThatDecideEveryChoiceSkipTheFirstScreen) {
  WindowChoices all = Choices({{"def", "1"}, {"stat", "2"}, {"first", "1"}});
  EXPECT_TRUE(ShouldSkipFirstScreen(false, all));
  EXPECT_TRUE(MakeDefaultValue(all, false));
  EXPECT_EQ(SendStatisticsValue(all, true), 0);
  EXPECT_EQ(ElevationMode(false, true, all), 0);

  // "statpromo" counts as given whatever its value; only "true" is consent.
  WindowChoices promo = Choices({{"def", "2"}, {"statpromo", "false"}});
  EXPECT_TRUE(ShouldSkipFirstScreen(true, promo));
  EXPECT_FALSE(ShouldSkipFirstScreen(false, promo));
  EXPECT_EQ(SendStatisticsValue(promo, std::nullopt), 0);
  EXPECT_EQ(SendStatisticsValue(Choices({{"statpromo", "true"}}), false), 1);

  // A missing or malformed flag leaves the choice to the first screen.
  for (const auto& values : std::vector<std::map<std::string, std::string>>{
           {{"stat", "1"}, {"first", "1"}}, {{"def", "yes"}, {"stat", "1"}, {"first", "1"}},
           {{"def", "1"}, {"stat", "1"}, {"first", "2"}}}) {
    EXPECT_FALSE(ShouldSkipFirstScreen(false, Choices(values)));
  }
  WindowChoices none = Choices({});
  EXPECT_EQ(SendStatisticsValue(none, std::nullopt), kStatisticsNotAsked);
  EXPECT_EQ(SendStatisticsValue(none, true), 1);
  EXPECT_FALSE(MakeDefaultValue(none, std::nullopt));
}

TEST(WindowChoicesTest, ElevationModeFromUacParameterAndSwitches) {
  EXPECT_EQ(ElevationMode(false, false, Choices({{"uac", "0"}})), 0);
  EXPECT_EQ(ElevationMode(false, true, Choices({{"uac", "0"}})), 1);
  EXPECT_EQ(ElevationMode(false, false, Choices({{"uac", "1"}})), 1);
  EXPECT_EQ(ElevationMode(false, false, Choices({{"uac", "2"}})), 2);
  EXPECT_EQ(ElevationMode(true, false, Choices({{"uac", "2"}})), 0);
  for (const char* other : {"3", "-1", "1x", "", "99999999999"})
    EXPECT_EQ(ElevationMode(false, true, Choices({{"uac", other}})), 0) << other;
  EXPECT_EQ(ElevationMode(false, true, Choices({})), 0);
}

TEST(WindowChoicesTest, OneBarForDownloadSetupStagesAndImport) {
  EXPECT_EQ(DownloadProgressPosition(0.0f), 5);
  EXPECT_EQ(DownloadProgressPosition(0.5f), 22);
  EXPECT_EQ(DownloadProgressPosition(1.0f), 40);
  EXPECT_EQ(DownloadProgressPosition(7.0f), 40);
  EXPECT_EQ(SetupStageProgressPosition(5), 75);
  EXPECT_EQ(SetupStageProgressPosition(7), 79);
  EXPECT_EQ(SetupStageProgressPosition(6), std::nullopt);
  EXPECT_EQ(ImportProgressPosition(0), 80);
  EXPECT_EQ(ImportProgressPosition(50), 90);
  EXPECT_EQ(ImportProgressPosition(100), 100);
  EXPECT_EQ(ImportProgressPosition(100000), 100);

  EXPECT_EQ(StatusPhaseForPosition(40), StatusPhase::kDownloading);
  EXPECT_EQ(StatusPhaseForPosition(41), StatusPhase::kInstalling);
  EXPECT_EQ(StatusPhaseForPosition(90), StatusPhase::kInstalling);
  EXPECT_EQ(StatusPhaseForPosition(91), StatusPhase::kAlmostDone);
  EXPECT_EQ(StatusText(L"Installing...", 75), L"Installing... 75%");
}

TEST(WindowChoicesTest, StatisticsLabelEndsItsSentenceBeforeThePrivacyLink) {
  EXPECT_EQ(StatisticsLabelMarkup(L"Send usage statistics", L"Privacy policy"),
            L"Send usage statistics. ((Privacy policy))");
  EXPECT_EQ(StatisticsLabelMarkup(L"Send usage statistics.", L"Privacy policy"),
            L"Send usage statistics. ((Privacy policy))");
  EXPECT_EQ(StatisticsLabelMarkup(L"\u53d1\u9001\u7edf\u8ba1\u3002", L"\u9690\u79c1"),
            L"\u53d1\u9001\u7edf\u8ba1\u3002 ((\u9690\u79c1))");
}

}  // namespace
}  // namespace ostrel
