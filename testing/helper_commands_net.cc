// test_helper commands for the network area.
//   add-root-cert <DER certificate path>   trusts a test CA in this prefix
//   download-to-file <url> <target path> [--no-cache-write]
//                                           DownloadToFile; prints the result,
//                                           bytes, milliseconds and the
//                                           process's peak working set. The
//                                           option (benchmark diagnostics
//                                           only) keeps the stack from copying
//                                           the body into its URL cache
#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "net/internet_downloader.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

int AddRootCert(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  std::string der;
  if (!ReadFileToBytes(a[0], &der)) {
    std::fprintf(stderr, "cannot read %ls\n", a[0].c_str());
    return 3;
  }
  if (!::CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                 static_cast<DWORD>(der.size()))) {
    std::fprintf(stderr, "CertAddEncodedCertificateToSystemStoreW failed: %lu\n", ::GetLastError());
    return 4;
  }
  return 0;
}

int DownloadToFileCommand(const std::vector<std::wstring>& a) {
  if (a.size() < 2) return 2;
  InternetDownloader downloader;
  if (a.size() >= 3 && a[2] == L"--no-cache-write") {
    RequestOptions options = downloader.options();
    options.write_to_cache = false;
    downloader.set_options(options);
  }
  ULONGLONG start = ::GetTickCount64();
  bool ok = downloader.DownloadToFile(WideToUtf8(a[0]), nullptr, a[1]);
  ULONGLONG elapsed = ::GetTickCount64() - start;
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  unsigned long long size = 0;
  if (ok && ::GetFileAttributesExW(a[1].c_str(), GetFileExInfoStandard, &attributes))
    size = (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  std::printf("result=%s error=%s bytes=%llu ms=%llu peak_working_set=%llu\n", ok ? "ok" : "failed",
              downloader.error_text().c_str(), size, static_cast<unsigned long long>(elapsed),
              static_cast<unsigned long long>(counters.PeakWorkingSetSize));
  return ok ? 0 : 1;
}

HelperCommandRegistrar add_root_cert_command(L"add-root-cert", AddRootCert);
HelperCommandRegistrar download_to_file_command(L"download-to-file", DownloadToFileCommand);

}  // namespace
}  // namespace ostrel::testing
