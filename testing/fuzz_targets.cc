// The Windows-only fuzz entry points: the command line through the real
// CommandLineToArgvW, and cabinets through the system's FDI.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/installer_command_line.h"
#include "base/utf_string_conversions.h"
#include "config/cabinet_extractor.h"
#include "testing/fuzz_replay.h"

namespace ostrel::testing {
namespace {

// splitmix64: small, and the same sequence on every build.
class Generator {
 public:
  explicit Generator(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t limit) { return limit ? static_cast<size_t>(Next() % limit) : 0; }

 private:
  uint64_t state_;
};

std::vector<std::wstring> SplitWithSystem(const std::wstring& text) {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(text.c_str(), &count);
  if (!argv) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(argv[i]);
  ::LocalFree(argv);
  return arguments;
}

}  // namespace

std::string MutateInput(const std::string& input, const std::string& other, uint64_t seed) {
  static constexpr char kInteresting[] = {'"', '\\', ' ', '\t', '=', '-', '/', '\0', '\x7f', '\x80', '\xff', '\n'};
  static constexpr uint32_t kInterestingWords[] = {0, 1, 0x7f, 0x80, 0xff, 0xffff, 0x7fffffff, 0x80000000, 0xffffffff};
  Generator random(seed);
  std::string data = input;
  const size_t edits = 1 + random.Below(4);
  for (size_t edit = 0; edit < edits; ++edit) {
    const size_t at = random.Below(data.size() + 1);
    switch (random.Below(8)) {
      case 0:
        if (at < data.size()) data[at] = static_cast<char>(data[at] ^ (1 << random.Below(8)));
        break;
      case 1:
        if (at < data.size()) data[at] = static_cast<char>(random.Next());
        break;
      case 2:
        data.insert(at, 1 + random.Below(4), kInteresting[random.Below(sizeof(kInteresting))]);
        break;
      case 3:
        data.erase(at, 1 + random.Below(16));
        break;
      case 4: {
        size_t from = random.Below(data.size() + 1);
        data.insert(at, data.substr(from, 1 + random.Below(32)));
        break;
      }
      case 5:
        if (at < data.size()) data[at] = kInteresting[random.Below(sizeof(kInteresting))];
        break;
      case 6: {
        uint32_t word = kInterestingWords[random.Below(std::size(kInterestingWords))];
        size_t width = random.Below(2) ? 4 : 2;
        for (size_t i = 0; i < width && at + i < data.size(); ++i) data[at + i] = static_cast<char>(word >> (8 * i));
        break;
      }
      default: {
        size_t from = random.Below(other.size() + 1);
        data.replace(at, random.Below(16), other.substr(from, random.Below(64)));
        break;
      }
    }
  }
  return data;
}

// Text (UTF-8 in the corpus) parsed, rendered and parsed again must give
// the same program and switches; each quoted value must come back from the
// system's own splitting exactly, white space included.
std::string FuzzInstallerCommandLine(const std::string& input) {
  std::wstring text = Utf8ToWide(input);
  text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
  InstallerCommandLine parsed = InstallerCommandLine::ParseString(text);
  // An empty program renders as nothing: the text then starts with a space
  // for ShellExecuteExW's parameters, and is not meant to parse alone.
  if (parsed.ProgramPath().empty()) parsed.SetProgramPath(L"setup.exe");
  const std::wstring rendered = parsed.Render();
  InstallerCommandLine again = InstallerCommandLine::ParseString(rendered);
  if (again.ProgramPath() != parsed.ProgramPath())
    return "the program did not survive render and parse: " + WideToUtf8(rendered);
  if (again.switches() != parsed.switches())
    return "the switches did not survive render and parse: " + WideToUtf8(rendered);
  for (const auto& [name, value] : parsed.switches()) {
    if (value.empty()) continue;
    std::vector<std::wstring> arguments = SplitWithSystem(L"p " + QuoteForCommandLine(value));
    if (arguments.size() != 2 || arguments[1] != value)
      return "a quoted value does not split back: " + WideToUtf8(QuoteForCommandLine(value));
  }
  return std::string();
}

// Arbitrary bytes as a cabinet: extraction must not crash, must be
// repeatable, and a wanted name must give only that file, with the same
// content as when every file is extracted.
std::string FuzzCabinetExtractor(const std::string& input) {
  CabinetFiles all;
  const bool whole = ExtractFilesFromCabinet(input.data(), input.size(), &all);
  CabinetFiles again;
  if (ExtractFilesFromCabinet(input.data(), input.size(), &again) != whole || again != all)
    return "a second extraction differs";
  // An empty wanted name means every file.
  auto named = std::find_if(all.begin(), all.end(), [](const auto& entry) { return !entry.first.empty(); });
  if (named == all.end()) return std::string();
  const std::string& name = named->first;
  CabinetFiles one;
  ExtractFilesFromCabinet(input.data(), input.size(), &one, name);
  for (const auto& [file, content] : one) {
    if (file != name) return "a file other than the wanted one was extracted: " + file;
  }
  if (whole && (one.size() != 1 || one[name] != all[name])) return "the wanted file differs from the full extraction";
  return std::string();
}

}  // namespace ostrel::testing
