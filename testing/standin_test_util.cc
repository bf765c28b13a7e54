#include "testing/standin_test_util.h"

#include "base/utf_string_conversions.h"
#include "net/internet_downloader.h"
#include "testing/test_util.h"

namespace ostrel::testing {

const Standin& GetStandin() {
  static const Standin standin = [] {
    Standin result;
    InternetDownloader downloader;
    std::string health;
    if (!downloader.DownloadToString(std::string(hosts::kDownloadCdn) + "/__control/health", nullptr, &health))
      return result;
    result.running = true;
    size_t key = health.find("\"log\": \"");
    if (key != std::string::npos) {
      size_t start = key + 8;
      std::string path = health.substr(start, health.find('"', start) - start);
      for (char& c : path) c = c == '/' ? '\\' : c;
      result.log_path = L"Z:" + AsciiToWide(path);
    }
    return result;
  }();
  return standin;
}

std::vector<std::string> FindLoggedRequests(const std::string& token) {
  std::vector<std::string> found;
  for (const std::string& line : SplitLines(ReadFileOrEmpty(GetStandin().log_path))) {
    if (line.find(token) != std::string::npos) found.push_back(line);
  }
  return found;
}

}  // namespace ostrel::testing
