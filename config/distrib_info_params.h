// Distribution parameters: the key/value string stamped on one download
// (campaign, partner, banner, experiments, UI switches). Loaded once by the
// entry point from the "distr-info-params" switch or the executable's tag,
// stored for the browser and dumped as JSON for setup.
#ifndef CONFIG_DISTRIB_INFO_PARAMS_H_
#define CONFIG_DISTRIB_INFO_PARAMS_H_

#include <string>

#include "config/distrib_info_syntax.h"

namespace ostrel {

class InstallerCommandLine;

class DistribInfoParams {
 public:
  // `work_dir`: the user's temporary directory, with trailing backslash.
  explicit DistribInfoParams(std::wstring work_dir);
  DistribInfoParams(const DistribInfoParams&) = delete;
  DistribInfoParams& operator=(const DistribInfoParams&) = delete;
  virtual ~DistribInfoParams();

  // The value of `key`; false when it is absent.
  virtual bool Get(const std::string& key, std::string* value) const;
  // Stores the raw parameter text in the registry value "DistribInfoParams".
  virtual void StoreInRegistry(const std::string& raw) const;
  // The executable whose tag is read: the running one.
  virtual std::wstring ExecutablePath() const;

  // Reads the switch, else the dummy-certificate tag, else the trailer tag;
  // stores and parses what it found and writes the JSON dump. True when
  // there are parameters (json_path() is set).
  bool Load();
  bool Load(const InstallerCommandLine& command_line);

  // A flag is one character: "1" is true and "2" is false, both returning
  // true (present and valid). Anything else returns false, flag false.
  bool GetFlag(const std::string& key, bool* flag) const;

  // work_dir + "distrib_info"; empty when there are no parameters.
  const std::wstring& json_path() const { return json_path_; }
  // False when json_path() is set but its file could not be written.
  bool json_written() const { return json_written_; }
  const DistribParamMap& params() const { return params_; }
  const std::wstring& work_dir() const { return work_dir_; }

 private:
  void CreateJsonFromDistribParams();

  std::wstring work_dir_;
  std::wstring json_path_;
  bool json_written_ = true;
  DistribParamMap params_;
};

}  // namespace ostrel

#endif  // CONFIG_DISTRIB_INFO_PARAMS_H_
