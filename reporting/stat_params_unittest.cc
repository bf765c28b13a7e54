#include "reporting/stat_params.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

std::wstring Identity(const std::wstring& text) { return text; }

TEST(StatParamsTest, StandingParametersWinAndFormatKeysAreAdded) {
  StatParams standing = {{"brand_id", L"tarvik"}, {"ui", L"U"}};
  StatEvent event = {{"action", L"download"}, {"brand_id", L"from-event"}};
  StatParams merged = MergeStatParams(standing, event, 0, kInstallerTypeLite);
  EXPECT_EQ((StatParams{{"action", L"download"}, {"brand_id", L"tarvik"}, {"old_style", L"0"}, {"ui", L"U"}}),
            merged);

  // Without a brand the request still names one; a target is named.
  merged = MergeStatParams({}, {{"action", L"x"}}, 4, kInstallerTypeLite);
  EXPECT_EQ((StatParams{{"action", L"x"}, {"brand_id", L"unknown"}, {"old_style", L"0"}, {"target", L"icu_dat"}}),
            merged);

  // The old-style request of installer type -1.
  merged = MergeStatParams({{"installer_type", L"-1"}}, {}, 1, -1);
  EXPECT_EQ(L"1", merged["old_style"]);
  EXPECT_EQ(L"mini", merged["installer_type"]);
  EXPECT_EQ(0u, merged.count("target"));
}

TEST(StatParamsTest, NamesOfTypesAndTargets) {
  EXPECT_EQ("lite", InstallerTypeName(0));
  EXPECT_EQ("browser_diagnostics", InstallerTypeName(5));
  EXPECT_EQ("-1", InstallerTypeName(-1));
  EXPECT_EQ("6", InstallerTypeName(6));
  EXPECT_EQ("", StatTargetName(0));
  EXPECT_EQ("version_folder_files_check", StatTargetName(6));
  EXPECT_EQ("-1", StatTargetName(-1));
}

TEST(StatParamsTest, HandOverTextRoundTripsAndIncompletePairsAreDropped) {
  StatParams params = {{"b", L"2"}, {"a", L""}, {"c", L"x y\x0416"}};
  std::wstring text = SerializeStatParams(params);
  EXPECT_EQ(L"a\n\nb\n2\nc\nx y\x0416\n", text);
  StatParams parsed;
  ParseStatParams(text, &parsed);
  EXPECT_EQ(params, parsed);

  // Three lines: key, value, key.
  for (const wchar_t* three_lines : {L"k1\nv1\nk2\n", L"k1\nv1\nk2"}) {
    StatParams result = {{"k1", L"old"}};
    ParseStatParams(three_lines, &result);
    EXPECT_EQ((StatParams{{"k1", L"v1"}}), result) << three_lines;
  }
  StatParams empty;
  ParseStatParams(L"", &empty);
  ParseStatParams(L"lonely", &empty);
  EXPECT_TRUE(empty.empty());
}

// Keys are kept as UTF-8: a handed-over key that is not ASCII came back
// as its UTF-8 bytes read as Latin-1, in the next hand-over and in the URL
// (found by the fuzzer; native/fuzz/corpus/stat_params/non_ascii).
TEST(StatParamsTest, NonAsciiKeyKeepsItsTextThroughHandOverAndUrl) {
  StatParams params;
  ParseStatParams(L"\x043a\x043b\x044e\x0447\nv\n", &params);
  EXPECT_EQ(SerializeStatParams(params), L"\x043a\x043b\x044e\x0447\nv\n");
  std::wstring url = BuildStatQueryUrl("o", params, 0, Identity);
  EXPECT_NE(std::wstring::npos, url.find(L"/vars=-\x043a\x043b\x044e\x0447=v/*")) << url;
}

TEST(StatParamsTest, UrlCarriesThePathKindAndEveryItem) {
  StatParams merged = {{"action", L"download"}, {"brand_id", L"tarvik"}, {"old_ver", L""}};
  EXPECT_EQ(
      L"https://api.example/installstats/send/dtype=stred/pid=457/cid=72992/path=extended_stat"
      L"/vars=-action=download,-brand_id=tarvik,-old_ver=/*",
      BuildStatQueryUrl("https://api.example", merged, kStatPathKindDefault, Identity));
  EXPECT_EQ(L"https://h/installstats/send/dtype=stred/pid=457/cid=72696/path=qobrowser_reinstall_dialog/*",
            BuildStatQueryUrl("https://h", {}, kStatPathKindDialog, Identity));
  EXPECT_EQ(L"", BuildStatQueryUrl("https://h", merged, 4, Identity));
}

TEST(StatParamsTest, SeparatorsBecomeUnderscoresBeforeEscaping) {
  EXPECT_EQ(L"a_b_c_d", ReplaceStatSeparators(L"a,b-c=d"));
  StatParams merged = {{"key-with=sep,s", L"attempt-1-final_query_info-404=,"}};
  std::wstring url = BuildStatQueryUrl("o", merged, 0, [](const std::wstring& text) { return L"[" + text + L"]"; });
  EXPECT_NE(std::wstring::npos, url.find(L"/vars=-[key_with_sep_s]=[attempt_1_final_query_info_404__]/*")) << url;
}

}  // namespace
}  // namespace ostrel
