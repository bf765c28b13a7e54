// Commands of test_helper.exe. Each area adds its commands in its own
// testing/helper_commands_<area>.cc with a static HelperCommandRegistrar, so
// teams never edit one shared dispatch table.
#ifndef TESTING_HELPER_COMMANDS_H_
#define TESTING_HELPER_COMMANDS_H_

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ostrel::testing {

// Arguments after the command name; returns the process exit code.
using HelperCommand = std::function<int(const std::vector<std::wstring>& arguments)>;

std::map<std::wstring, HelperCommand>& HelperCommands();

struct HelperCommandRegistrar {
  HelperCommandRegistrar(const wchar_t* name, HelperCommand command) {
    HelperCommands()[name] = std::move(command);
  }
};

}  // namespace ostrel::testing

#endif  // TESTING_HELPER_COMMANDS_H_
