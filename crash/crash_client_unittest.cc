#include "crash/crash_client.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/build_version.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "testing/crash_test_util.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

LONG WINAPI SentinelFilter(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

// The process's current filter, read by swapping it out and back.
LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER current = ::SetUnhandledExceptionFilter(nullptr);
  ::SetUnhandledExceptionFilter(current);
  return current;
}

class CrashClientTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_filter_ = ::SetUnhandledExceptionFilter(&SentinelFilter); }
  void TearDown() override {
    if (CrashClient* client = CrashClient::Get()) ::DeleteFileW(client->dump_path().c_str());
    CrashClient::Destroy();
    ::SetUnhandledExceptionFilter(saved_filter_);
  }

  LPTOP_LEVEL_EXCEPTION_FILTER saved_filter_ = nullptr;
  testing::ScopedLogCapture log_;
};

TEST_F(CrashClientTest, CreateSetsTheSixAnnotationsAndTheDumpPath) {
  CrashClient* client = CrashClient::Create("{6f9619ff-8b86-d011-b42d-00c04fc964ff}");
  ASSERT_EQ(client, CrashClient::Get());
  EXPECT_EQ(FormatGuid(client->client_id()), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  std::string report_id = FormatGuid(client->report_id());
  EXPECT_NE(report_id, FormatGuid(GuidBytes{}));
  EXPECT_EQ(client->annotations(), (CrashClient::Annotations{{"uid", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
                                                             {"report_id", report_id},
                                                             {"ver", TARVIK_INSTALLER_VERSION_STRING},
                                                             {"plat", "Win32"},
                                                             {"prod", "Tarvik"},
                                                             {"gzip_enabled", "true"}}));
  EXPECT_EQ(client->dump_path(), GetTempDirectory() + Utf8ToWide(report_id) + L".dmp");
  EXPECT_EQ(client->upload_url(), std::string(hosts::kCrashCollector) + "/submit");
  EXPECT_TRUE(client->upload_enabled());
  EXPECT_TRUE(client->gzip_enabled());
  EXPECT_TRUE(log_.records().empty());

  // One client per process; every process gets a new report id.
  EXPECT_EQ(CrashClient::Create("other"), client);
  CrashClient::Destroy();
  EXPECT_EQ(CrashClient::Get(), nullptr);
  EXPECT_NE(FormatGuid(CrashClient::Create("6F9619FF-8B86-D011-B42D-00C04FC964FF")->report_id()), report_id);
  EXPECT_EQ(CrashClient::Get()->annotations().at("uid"), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
}

TEST_F(CrashClientTest, UserIdThatIsNotAGuidGivesTheZeroClientIdAndAWarning) {
  for (const char* user_id : {"abc", "", "{abc}", "6F9619FF-8B86-D011-B42D-00C04FC964F"}) {
    SCOPED_TRACE(user_id);
    log_.Clear();
    CrashClient* client = CrashClient::Create(user_id);
    EXPECT_EQ(client->client_id(), GuidBytes{});
    EXPECT_EQ(client->annotations().at("uid"), "00000000-0000-0000-0000-000000000000");
    ASSERT_EQ(log_.records().size(), 1u);
    EXPECT_EQ(log_.records()[0].level, LOG_WARNING);
    EXPECT_EQ(log_.records()[0].function, "Impl");
    EXPECT_EQ(log_.records()[0].text, "uid not found, use empty");
    CrashClient::Destroy();
  }
}

TEST_F(CrashClientTest, SetAnnotationIgnoresEmptyTextsAndKeepsTheLastValue) {
  CrashClient* client = CrashClient::Create("abc");
  client->SetAnnotation("brand", "first");
  client->SetAnnotation("brand", "second");
  client->SetAnnotation("brand", "");
  client->SetAnnotation("", "value");
  client->SetAnnotation("ptype", "installer");
  EXPECT_EQ(client->annotations().at("brand"), "second");
  EXPECT_EQ(client->annotations().count(""), 0u);
  EXPECT_EQ(client->annotations().size(), 8u);
}

TEST_F(CrashClientTest, FilterIsInstalledAndThePreviousOneRestored) {
  CrashClient* client = CrashClient::Create("abc");
  EXPECT_TRUE(client->filter_installed());
  EXPECT_EQ(client->previous_filter(), &SentinelFilter);
  EXPECT_NE(CurrentFilter(), &SentinelFilter);
  CrashClient::Destroy();
  EXPECT_EQ(CurrentFilter(), &SentinelFilter);
}

TEST_F(CrashClientTest, WithoutTheDumpLibraryNoFilterIsInstalledAndDestroyRestoresNone) {
  CrashClient* client = CrashClient::Create("abc", L"ostrel_missing_dbghelp.dll");
  EXPECT_FALSE(client->filter_installed());
  EXPECT_EQ(client->previous_filter(), nullptr);
  EXPECT_EQ(CurrentFilter(), &SentinelFilter);
  ScopedFileHandle dump;
  EXPECT_FALSE(client->WriteDump(nullptr, &dump));
  EXPECT_FALSE(dump.IsValid());
  EXPECT_FALSE(PathExists(client->dump_path()));
  CrashClient::Destroy();
  EXPECT_EQ(CurrentFilter(), nullptr);

  // A library without the dump writer counts as missing.
  client = CrashClient::Create("abc", L"kernel32.dll");
  EXPECT_FALSE(client->filter_installed());
}

// Elevated or not (asked when the client is made), the dump is the same.
TEST_F(CrashClientTest, DumpCarriesTheAnnotationsAtAbsolutePositions) {
  for (bool elevated : {false, true}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    testing::ScopedFakeOsFacts facts;
    facts.process_elevated = elevated;
    CrashClient* client = CrashClient::Create("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    client->SetAnnotation("ptype", "installer");
    client->SetAnnotation("brand_name", "\xC3\x89tude");
    client->SetAnnotation("partner", std::string(300, 'p'));

    CONTEXT context = {};
    ::RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = 0xE0000001;
    EXCEPTION_POINTERS pointers = {&record, &context};
    ScopedFileHandle file;
    ASSERT_TRUE(client->WriteDump(&pointers, &file));
    // Held for the upload: nobody else opens it meanwhile.
    EXPECT_EQ(testing::ReadFileOrEmpty(client->dump_path()), "");
    file.Close();

    std::string dump = testing::ReadFileOrEmpty(client->dump_path());
    std::optional<testing::CrashInfo> info = testing::ReadCrashInfo(dump);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->annotations, client->annotations());
    EXPECT_EQ(info->report_id, client->report_id());
    EXPECT_EQ(info->client_id, client->client_id());
    EXPECT_GT(info->annotations_position, 52u);

    // The file is created new: a second dump under the same name fails and
    // leaves the first one as it was.
    EXPECT_FALSE(client->WriteDump(&pointers, &file));
    EXPECT_EQ(testing::ReadFileOrEmpty(client->dump_path()), dump);
    ::DeleteFileW(client->dump_path().c_str());
    CrashClient::Destroy();
  }
}

// Elevated, the dump goes to the user's %TEMP% as well, but is only ever a
// new plain file there: a hard link planted at its name is refused and its
// target left as it was. (No dump is written here: the i686 emulation cannot
// run an in-process minidump.)
TEST_F(CrashClientTest, ElevatedDumpIsOnlyEverANewPlainFile) {
  testing::ScopedTempDir temp;
  testing::ScopedEnvironmentVariable tmp(L"TMP", temp.path() + L"\\");
  testing::ScopedFakeOsFacts facts;
  facts.process_elevated = true;
  CrashClient* client = CrashClient::Create("abc");
  ASSERT_EQ(DirName(client->dump_path()), temp.path());
  // Taken when the client was made: the filter asks nothing.
  facts.process_elevated = false;

  std::wstring victim = temp.Append(L"victim.txt");
  ASSERT_TRUE(WriteBytesToFile(victim, "not a dump\n"));
  ASSERT_TRUE(::CreateHardLinkW(client->dump_path().c_str(), victim.c_str(), nullptr));
  ScopedFileHandle dump;
  EXPECT_FALSE(client->WriteDump(nullptr, &dump));
  EXPECT_EQ(testing::ReadFileOrEmpty(victim), "not a dump\n");
}

}  // namespace
}  // namespace ostrel
