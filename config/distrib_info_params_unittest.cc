#include "config/distrib_info_params.h"

#include <gtest/gtest.h>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/utf_string_conversions.h"
#include "config/config_constants.h"
#include "config/config_test_util.h"
#include "config/installer_tag_test_util.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using namespace ostrel::testing;

// Reads the tag from a chosen file and records what would go to the registry.
class TestParams : public DistribInfoParams {
 public:
  TestParams(std::wstring work_dir, std::wstring executable)
      : DistribInfoParams(std::move(work_dir)), executable_(std::move(executable)) {}
  void StoreInRegistry(const std::string& raw) const override { stored_.push_back(raw); }
  std::wstring ExecutablePath() const override {
    ++executable_reads_;
    return executable_;
  }

  mutable std::vector<std::string> stored_;
  mutable int executable_reads_ = 0;

 private:
  std::wstring executable_;
};

InstallerCommandLine WithParams(const std::string& text) {
  InstallerCommandLine command_line;
  command_line.PutSwitch("distr-info-params", text);
  return command_line;
}

class DistribInfoParamsTest : public ::testing::Test {
 protected:
  std::wstring work_dir() const { return dir_.path() + L"\\"; }
  std::wstring WriteExecutable(const std::string& bytes) const {
    std::wstring path = dir_.Append(L"tagged.exe");
    EXPECT_TRUE(WriteBytesToFile(path, bytes));
    return path;
  }

  ScopedTempDir dir_;
  // A normal user's run, which replaces a dump an earlier load left.
  testing::ScopedFakeOsFacts facts_;
};

TEST_F(DistribInfoParamsTest, SwitchWinsAndTheTagIsNotRead) {
  std::wstring executable = WriteExecutable(PeWithCertificateTable(ContentInfo(DummyCertificate("tag=1"))));
  TestParams params(work_dir(), executable);
  EXPECT_TRUE(params.Load(WithParams("a=1&b=&c&=x&a=2")));
  EXPECT_EQ(params.executable_reads_, 0);
  EXPECT_EQ(params.stored_, (std::vector<std::string>{"a=1&b=&c&=x&a=2"}));
  EXPECT_EQ(params.json_path(), work_dir() + L"distrib_info");
  EXPECT_EQ(ReadFileOrEmpty(params.json_path()), R"({"":"x","a":"2","b":"","c":""})");
  std::string value;
  EXPECT_TRUE(params.Get("a", &value));
  EXPECT_EQ(value, "2");
  EXPECT_TRUE(params.Get("", &value));
  EXPECT_EQ(value, "x");
  EXPECT_FALSE(params.Get("d", &value));
}

TEST_F(DistribInfoParamsTest, DummyCertificateTagThenTrailerTag) {
  std::string both = PeWithCertificateTable(ContentInfo(DummyCertificate("from=certificate")),
                                            {.pe32_plus = false, .after_entry = TrailerBlock("from=trailer")});
  TestParams from_certificate(work_dir(), WriteExecutable(both));
  EXPECT_TRUE(from_certificate.Load(InstallerCommandLine()));
  EXPECT_EQ(from_certificate.params(), (DistribParamMap{{"from", "certificate"}}));

  // An empty switch value counts as no value.
  std::string trailer_only = PeWithCertificateTable(ContentInfo(DummyCertificate("")),
                                                    {.pe32_plus = false, .after_entry = TrailerBlock("from=trailer&x=%41")});
  TestParams from_trailer(work_dir(), WriteExecutable(trailer_only));
  EXPECT_TRUE(from_trailer.Load(WithParams("")));
  EXPECT_EQ(from_trailer.params(), (DistribParamMap{{"from", "trailer"}, {"x", "%41"}}));
  EXPECT_EQ(from_trailer.stored_, (std::vector<std::string>{"from=trailer&x=%41"}));
  EXPECT_EQ(ReadFileOrEmpty(from_trailer.json_path()), R"({"from":"trailer","x":"%41"})");
}

TEST_F(DistribInfoParamsTest, NoParametersAnywhere) {
  ScopedLogCapture log;
  TestParams params(work_dir(), WriteExecutable(PeWithCertificateTable(ContentInfo(DummyCertificate("")))));
  EXPECT_FALSE(params.Load(InstallerCommandLine()));
  EXPECT_TRUE(params.params().empty());
  EXPECT_EQ(params.json_path(), L"");
  EXPECT_TRUE(params.stored_.empty());
  EXPECT_FALSE(FileExists(work_dir() + L"distrib_info"));
  // An untagged copy is normal: nothing is logged.
  EXPECT_TRUE(log.records().empty());
}

TEST_F(DistribInfoParamsTest, DumpWriteFailureKeepsThePath) {
  ScopedLogCapture log;
  std::wstring missing = dir_.Append(L"missing\\");
  TestParams params(missing, L"");
  EXPECT_TRUE(params.Load(WithParams("a=1")));
  EXPECT_EQ(params.json_path(), missing + L"distrib_info");
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].level, LOG_ERROR);
  EXPECT_EQ(log.records()[0].function, "CreateJsonFromDistribParams");
  EXPECT_EQ(log.records()[0].text.rfind("Write json to file error - ", 0), 0u);
}

TEST_F(DistribInfoParamsTest, Flags) {
  TestParams params(work_dir(), L"");
  params.Load(WithParams("one=1&two=2&zero=0&yes=yes&eleven=11&empty="));
  auto flag = [&](const char* key, bool* value) {
    *value = true;
    return params.GetFlag(key, value);
  };
  bool value;
  EXPECT_TRUE(flag("one", &value));
  EXPECT_TRUE(value);
  EXPECT_TRUE(flag("two", &value));
  EXPECT_FALSE(value);
  for (const char* key : {"zero", "yes", "eleven", "empty", "absent"}) {
    EXPECT_FALSE(flag(key, &value)) << key;
    EXPECT_FALSE(value) << key;
  }
}

TEST_F(DistribInfoParamsTest, StoresTheRawTextInTheRegistry) {
  ScopedProductValues values{config::kRegistryDistribInfoParams};
  DistribInfoParams params(work_dir());
  EXPECT_TRUE(params.Load(WithParams("banerid=5&lang=uk")));
  EXPECT_EQ(ScopedProductValues::Read(config::kRegistryDistribInfoParams), L"banerid=5&lang=uk");
}

}  // namespace
}  // namespace ostrel
