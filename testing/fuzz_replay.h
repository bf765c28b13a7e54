// Fuzz entry points of Windows-only code, run by fuzz_replay.exe over a
// corpus in the repository plus deterministic mutations of it.
#ifndef TESTING_FUZZ_REPLAY_H_
#define TESTING_FUZZ_REPLAY_H_

#include <cstdint>
#include <string>

namespace ostrel::testing {

// Runs one input; empty when every invariant holds, else what broke.
using FuzzEntryPoint = std::string (*)(const std::string& input);

std::string FuzzInstallerCommandLine(const std::string& input);
std::string FuzzCabinetExtractor(const std::string& input);

// The mutation step of the replay: 1 to 4 byte-level edits chosen by a
// generator seeded with `seed`; `other` is a second corpus file to splice from.
std::string MutateInput(const std::string& input, const std::string& other, uint64_t seed);

}  // namespace ostrel::testing

#endif  // TESTING_FUZZ_REPLAY_H_
