// Outside brand URLs, Windows version, clock and file date through the
// setup URL rules: every candidate carries the installer query and makes at
// least one attempt, a single candidate gets all six, the versioned URL
// appears only when allowed, and the age and resume rules hold for any
// numbers (no overflow).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "install/setup_download_urls.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "setup_download_urls_fuzzer: %s\n", message);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  ostrel::SetupUrlConfig config;
  config.download_cdn = input.ConsumeRandomLengthString(64);
  config.brand_id = input.ConsumeRandomLengthString(32);
  config.setup_url = input.ConsumeRandomLengthString(128);
  config.setup_url64 = input.ConsumeRandomLengthString(128);
  config.setup_url_version = input.ConsumeRandomLengthString(128);
  config.setup_url_win7 = input.ConsumeRandomLengthString(128);
  auto version = static_cast<ostrel::WindowsVersion>(input.ConsumeIntegralInRange<int>(0, ostrel::VERSION_WIN_LAST));
  const bool x64 = input.ConsumeBool();
  const bool known_time = input.ConsumeBool();
  const int64_t created = input.ConsumeIntegral<int64_t>();
  const int64_t now = input.ConsumeIntegral<int64_t>();
  const uint32_t written = input.ConsumeIntegral<uint32_t>();
  const uint32_t total = input.ConsumeIntegral<uint32_t>();

  const bool allowed = ostrel::IsVersionedSetupUrlAllowed(
      config.setup_url_version,
      [&](int64_t* micros) {
        *micros = created;
        return known_time;
      },
      now);
  const __int128 age = static_cast<__int128>(now) - created;
  const bool expected_allowed = !config.setup_url_version.empty() &&
                                config.setup_url_version.find('{') == std::string::npos && known_time &&
                                age < ostrel::kVersionedSetupUrlMaxAgeMicros;
  if (allowed != expected_allowed) Fail("the versioned URL's age rule is wrong");

  int asked = 0;
  ostrel::DownloadUrlList urls =
      ostrel::GetDownloadUrlsFromBrandConfig(config, version, x64, [&](const std::string& url) {
        ++asked;
        if (url != config.setup_url_version) Fail("asked about another URL than the versioned one");
        return allowed;
      });
  if (urls.empty()) Fail("no candidate at all");
  const std::string query = ostrel::kFromInstallerQuery;
  for (const ostrel::DownloadUrlEntry& entry : urls) {
    if (entry.attempts <= 0) Fail("a candidate without attempts");
    if (entry.url.size() < query.size() || entry.url.compare(entry.url.size() - query.size(), query.size(), query) != 0)
      Fail("a candidate without the installer query");
  }
  if (urls.size() == 1 && urls[0].attempts != ostrel::kSingleUrlAttempts) Fail("a single candidate has fewer attempts");
  if (urls.back().url != (version <= ostrel::VERSION_VISTA ? config.download_cdn + ostrel::kXpVistaSetupPath
                                                           : config.setup_url) + query)
    Fail("the last candidate is not the main URL");
  if (version <= ostrel::VERSION_VISTA && asked != 0) Fail("the versioned URL was asked about on an old system");
  if (version > ostrel::VERSION_VISTA && asked != 1) Fail("the versioned URL was not asked about once");

  const bool restart = ostrel::ShouldRestartPartialDownload(written, total);
  // "Less than a tenth" in whole bytes, as the rule is stated; a 32-bit
  // product would wrap above 429 MB.
  if (restart != (written < total / 10)) Fail("the resume rule is wrong");
  return 0;
}
