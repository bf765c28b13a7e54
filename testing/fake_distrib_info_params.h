// Distribution parameters as a test gives them, without the registry and
// file side effects of Load.
#ifndef TESTING_FAKE_DISTRIB_INFO_PARAMS_H_
#define TESTING_FAKE_DISTRIB_INFO_PARAMS_H_

#include <map>
#include <string>
#include <utility>

#include "config/distrib_info_params.h"

namespace ostrel::testing {

class FakeDistribInfoParams : public DistribInfoParams {
 public:
  explicit FakeDistribInfoParams(std::map<std::string, std::string> values, std::wstring work_dir = L"")
      : DistribInfoParams(std::move(work_dir)), values_(std::move(values)) {}
  bool Get(const std::string& key, std::string* value) const override {
    auto found = values_.find(key);
    if (found == values_.end()) return false;
    *value = found->second;
    return true;
  }

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace ostrel::testing

#endif  // TESTING_FAKE_DISTRIB_INFO_PARAMS_H_
