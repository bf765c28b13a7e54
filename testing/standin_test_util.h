// Unit tests that talk to the running stand-in server (scripts/test.sh starts
// it before the tests and trusts its CA in the Wine prefix).
#ifndef TESTING_STANDIN_TEST_UTIL_H_
#define TESTING_STANDIN_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/maker_hosts.h"

namespace ostrel::testing {

struct Standin {
  bool running = false;
  // The server's request log (JSON lines), as Wine sees it on drive Z:.
  std::wstring log_path;
};

// Asked once per process through the server's health answer.
const Standin& GetStandin();

// The logged requests that contain `token`, as their JSON lines.
std::vector<std::string> FindLoggedRequests(const std::string& token);

}  // namespace ostrel::testing

// Skips the test, with the reason, when the stand-in cannot be reached.
#define REQUIRE_STANDIN()                                                                  \
  if (!::ostrel::testing::GetStandin().running)                                            \
  GTEST_SKIP() << "The stand-in server is not reachable at " << ::ostrel::hosts::kDownloadCdn \
               << " (or its test CA is not trusted in this Wine prefix); scripts/test.sh starts it"

#endif  // TESTING_STANDIN_TEST_UTIL_H_
