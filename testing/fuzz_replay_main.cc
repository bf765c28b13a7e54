// Replays a fuzz corpus under Wine: every file of CORPUS_DIR, then N
// mutations of each, all derived from SEED, so a failure names an input that
// is saved and can be replayed alone.
//
//   fuzz_replay TARGET CORPUS_DIR [--mutations N] [--seed S]
//   fuzz_replay TARGET --input FILE
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "testing/fuzz_replay.h"

namespace {

using ostrel::testing::FuzzEntryPoint;

const std::map<std::wstring, FuzzEntryPoint>& Targets() {
  static const std::map<std::wstring, FuzzEntryPoint> targets = {
      {L"installer_command_line", ostrel::testing::FuzzInstallerCommandLine},
      {L"cabinet_extractor", ostrel::testing::FuzzCabinetExtractor},
  };
  return targets;
}

bool ReadWhole(const std::wstring& path, std::string* bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  bytes->clear();
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes->append(buffer, count);
  std::fclose(file);
  return true;
}

// A crash inside a target still leaves the input behind.
std::wstring g_target;
const std::string* g_current = nullptr;
std::wstring g_current_name;

std::wstring SaveInput(const std::string& bytes) {
  std::wstring path = L"fuzz_replay-" + g_target + L"-failure.bin";
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  wchar_t full[MAX_PATH];
  DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  return length && length < MAX_PATH ? std::wstring(full, length) : path;
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  if (g_current) {
    // Which module faulted tells a fault of ours from one of the system's.
    wchar_t module_name[MAX_PATH] = L"?";
    HMODULE module = nullptr;
    if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             static_cast<LPCWSTR>(info->ExceptionRecord->ExceptionAddress), &module))
      ::GetModuleFileNameW(module, module_name, MAX_PATH);
    std::fprintf(stderr, "fuzz_replay: exception 0x%08lx at %ls+0x%llx on %ls; input saved as %ls\n",
                 info->ExceptionRecord->ExceptionCode, module_name,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress) -
                                                 reinterpret_cast<uintptr_t>(module)),
                 g_current_name.c_str(), SaveInput(*g_current).c_str());
    std::fflush(stderr);
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

bool RunOne(FuzzEntryPoint entry, const std::string& input, const std::wstring& name) {
  g_current = &input;
  g_current_name = name;
  std::string failure = entry(input);
  g_current = nullptr;
  if (failure.empty()) return true;
  std::fprintf(stderr, "fuzz_replay: %ls: %s; input saved as %ls\n", name.c_str(), failure.c_str(),
               SaveInput(input).c_str());
  return false;
}

uint64_t Hash(const std::wstring& text, uint64_t seed) {
  uint64_t hash = 1469598103934665603ull ^ seed;
  for (wchar_t c : text) hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
  return hash;
}

int Usage() {
  std::fprintf(stderr, "usage: fuzz_replay TARGET CORPUS_DIR [--mutations N] [--seed S] | TARGET --input FILE\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || !Targets().count(argv[1])) return Usage();
  g_target = argv[1];
  FuzzEntryPoint entry = Targets().at(g_target);
  ::SetUnhandledExceptionFilter(OnCrash);
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

  if (std::wstring(argv[2]) == L"--input") {
    std::string bytes;
    if (argc != 4 || !ReadWhole(argv[3], &bytes)) return Usage();
    return RunOne(entry, bytes, argv[3]) ? 0 : 1;
  }
  std::wstring directory = argv[2];
  unsigned long mutations = 0;
  unsigned long long seed = 1;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::wstring(argv[i]) == L"--mutations") {
      mutations = std::wcstoul(argv[i + 1], nullptr, 10);
    } else if (std::wstring(argv[i]) == L"--seed") {
      seed = std::wcstoull(argv[i + 1], nullptr, 10);
    } else {
      return Usage();
    }
  }

  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((directory + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return Usage();
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  std::vector<std::string> corpus(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    if (!ReadWhole(directory + L"\\" + names[i], &corpus[i])) return Usage();
  }
  if (corpus.empty()) return Usage();

  std::printf("fuzz_replay %ls: %zu corpus files from %ls\n", g_target.c_str(), corpus.size(), directory.c_str());
  std::fflush(stdout);
  size_t failures = 0;
  for (size_t i = 0; i < corpus.size(); ++i) failures += !RunOne(entry, corpus[i], names[i]);
  unsigned long runs = static_cast<unsigned long>(corpus.size());
  for (size_t i = 0; i < corpus.size() && !failures; ++i) {
    for (unsigned long k = 0; k < mutations && !failures; ++k) {
      const std::string& other = corpus[(i + k + 1) % corpus.size()];
      std::string mutated = ostrel::testing::MutateInput(corpus[i], other, Hash(names[i], seed) + k);
      failures += !RunOne(entry, mutated, names[i] + L" mutation " + std::to_wstring(k) + L" (seed " +
                                               std::to_wstring(seed) + L")");
      ++runs;
    }
  }
  std::printf("fuzz_replay %ls: %zu corpus files, %lu mutations each, %lu runs, %zu failures\n", g_target.c_str(),
              corpus.size(), mutations, runs, failures);
  return failures ? 1 : 0;
}
