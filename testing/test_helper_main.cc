// A small program that tests start as real processes when a behaviour only
// shows between processes. Usage: test_helper <command> [arguments...]; the
// commands live in testing/helper_commands_*.cc.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testing/helper_commands.h"

namespace ostrel::testing {

std::map<std::wstring, HelperCommand>& HelperCommands() {
  static std::map<std::wstring, HelperCommand> commands;
  return commands;
}

}  // namespace ostrel::testing

int wmain(int argc, wchar_t** argv) {
  auto& commands = ostrel::testing::HelperCommands();
  if (argc < 2 || !commands.count(argv[1])) {
    std::fprintf(stderr, "usage: test_helper <command> [arguments...]; commands:\n");
    for (const auto& [name, command] : commands) std::fprintf(stderr, "  %ls\n", name.c_str());
    return 2;
  }
  std::vector<std::wstring> arguments(argv + 2, argv + argc);
  return commands[argv[1]](arguments);
}
