// A user identifier kept in a private application-data folder, so tests
// never touch the Wine prefix user's own identifier and registry marker.
#ifndef TESTING_USER_ID_TEST_UTIL_H_
#define TESTING_USER_ID_TEST_UTIL_H_

#include <string>

#include "reporting/user_id.h"

namespace ostrel::testing {

class FolderUserIdEnvironment : public UserIdEnvironment {
 public:
  FolderUserIdEnvironment(std::wstring folder, std::wstring user_name)
      : folder_(std::move(folder)), user_name_(std::move(user_name)) {}
  bool GetAppDataFolder(bool, std::wstring* out) override {
    *out = folder_;
    return true;
  }
  bool QueryUserName(std::wstring* out) override {
    *out = user_name_;
    return true;
  }

 private:
  std::wstring folder_;
  std::wstring user_name_;
};

}  // namespace ostrel::testing

#endif  // TESTING_USER_ID_TEST_UTIL_H_
