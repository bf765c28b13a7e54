#include "app/process_hardening.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/utf_string_conversions.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using testing::ScopedEnvironmentVariable;

std::vector<DWORD>* g_calls = nullptr;
BOOL WINAPI Succeeds(DWORD flags) {
  g_calls->push_back(flags);
  return TRUE;
}
BOOL WINAPI Fails(DWORD flags) {
  g_calls->push_back(flags);
  return FALSE;
}

bool RefuseCopy(const std::wstring&, const std::wstring&) { return false; }
// The copy ends, but its exit code cannot be read.
bool WaitThenFail(HANDLE process, DWORD*) {
  ::WaitForSingleObject(process, 60000);
  ::SetLastError(ERROR_ACCESS_DENIED);
  return false;
}


// Names in `directory`, without "." and "..".
std::vector<std::wstring> Entries(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(JoinPath(directory, L"*").c_str(), &data));
  if (!find.IsValid()) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.Get(), &data));
  return names;
}

std::wstring* g_copied_to = nullptr;
bool CopyExecutableFile(const std::wstring& from, const std::wstring& to) {
  if (g_copied_to) *g_copied_to = to;
  return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

class HardenProcessTest : public ::testing::Test {
 protected:
  HardenProcessTest() { g_calls = &calls_; }
  ~HardenProcessTest() override { g_calls = nullptr; }

  int Harden(const HardeningEnvironment& environment, const wchar_t* command_line) {
    ScopedProcessCommandLineOverride override_command_line(InstallerCommandLine::ParseString(command_line));
    exit_code_ = 12345;
    return HardenProcessWith(environment, &exit_code_);
  }

  // An executable in its own folder, optionally beside other entries.
  std::wstring ExecutableIn(const std::wstring& folder) {
    CreateDirectoryRecursive(folder);
    std::wstring path = JoinPath(folder, L"installer.exe");
    WriteBytesToFile(path, "MZ");
    return path;
  }

  std::vector<DWORD> calls_;
  int exit_code_ = 0;
  testing::ScopedTempDir dir_;
};

TEST_F(HardenProcessTest, SafeSearchWhenWindowsHasIt) {
  HardeningEnvironment environment;
  environment.set_search_path_mode = Succeeds;
  environment.set_default_dll_directories = Succeeds;
  environment.executable_path = ExecutableIn(dir_.Append(L"app"));
  WriteBytesToFile(dir_.Append(L"app\\planted.dll"), "MZ");
  // A normal start beside DLLs runs: safe search keeps them out.
  EXPECT_EQ(Harden(environment, L"installer.exe --silent"), kHardeningSecure);
  EXPECT_EQ(exit_code_, 0);
  EXPECT_EQ(calls_, (std::vector<DWORD>{0x8001, 0x800}));

  calls_.clear();
  environment.set_default_dll_directories = Fails;
  EXPECT_EQ(Harden(environment, L"installer.exe"), kHardeningUnavailable);
  environment.set_search_path_mode = Fails;
  EXPECT_EQ(Harden(environment, L"installer.exe"), kHardeningUnavailable);
  // The second function is not called once the first failed.
  EXPECT_EQ(calls_, (std::vector<DWORD>{0x8001, 0x800, 0x8001}));
}

// Only on the fallback path: with safe search a copy beside stray DLLs (an
// elevated copy started from the downloads folder) runs.
TEST_F(HardenProcessTest, WithoutSafeSearchCopiesAndElevatedCopiesRefuseDllsBesideThem) {
  HardeningEnvironment environment;  // no safe search: never relaunches a copy
  environment.executable_path = ExecutableIn(dir_.Append(L"clean"));
  CreateDirectoryRecursive(dir_.Append(L"clean\\plugins.dll"));  // a directory does not count
  WriteBytesToFile(dir_.Append(L"clean\\readme.dl"), "x");
  EXPECT_EQ(Harden(environment, L"installer.exe --run-as-admin"), kHardeningSecure);
  EXPECT_EQ(Harden(environment, L"installer.exe --spawned_in_protected_dir --silent"), kHardeningSecure);

  environment.executable_path = ExecutableIn(dir_.Append(L"planted"));
  WriteBytesToFile(dir_.Append(L"planted\\Version.DLL"), "MZ");
  EXPECT_EQ(Harden(environment, L"installer.exe --run-as-admin"), kHardeningDllsBesideCopy);
  EXPECT_EQ(Harden(environment, L"installer.exe --SPAWNED_IN_PROTECTED_DIR"), kHardeningDllsBesideCopy);
  EXPECT_EQ(exit_code_, 0);

  environment.set_search_path_mode = Succeeds;
  environment.set_default_dll_directories = Succeeds;
  EXPECT_EQ(Harden(environment, L"installer.exe --run-as-admin"), kHardeningSecure);
  EXPECT_EQ(Harden(environment, L"installer.exe --spawned_in_protected_dir"), kHardeningSecure);
}

// Without safe search a normal start runs a copy of itself from a new
// directory: here a real copy of the installer, which exits with 701 in
// probe mode. (A copy beside a planted DLL: e2e.test_process_frame.)
TEST_F(HardenProcessTest, WithoutSafeSearchACopyRunsFromAProtectedDirectory) {
  testing::ScopedTempDir log_dir;
  ScopedEnvironmentVariable temp(L"TEMP", log_dir.path());
  ScopedEnvironmentVariable tmp(L"TMP", log_dir.path());
  HardeningEnvironment environment;
  environment.executable_path = testing::InstallerExecutablePath();
  environment.temp_directory = dir_.path();
  environment.copy_executable = CopyExecutableFile;

  // Every switch reaches the copy; plain arguments do not exist for it.
  EXPECT_EQ(Harden(environment, L"installer.exe plain --check-the-interface"), kHardeningCopyFinished);
  EXPECT_EQ(exit_code_, 701);


  // A copy whose outcome cannot be read is lost, not finished with 0.
  environment.copy_executable = CopyExecutableFile;
  environment.wait_for_copy = WaitThenFail;
  EXPECT_EQ(Harden(environment, L"installer.exe --check-the-interface"), kHardeningCopyLost);
  EXPECT_EQ(exit_code_, static_cast<int>(ERROR_ACCESS_DENIED));

  // Elevated, the copy's directory lies in one only administrators may change.
  environment.wait_for_copy = nullptr;
  environment.is_elevated = [] { return true; };
  environment.elevated_temp_directory = dir_.path();
  std::wstring copied_to;
  g_copied_to = &copied_to;
  EXPECT_EQ(Harden(environment, L"installer.exe --check-the-interface"), kHardeningCopyFinished);
  g_copied_to = nullptr;
  EXPECT_EQ(exit_code_, 701);
  EXPECT_EQ(DirName(DirName(DirName(copied_to))), dir_.path()) << WideToUtf8(copied_to);
  EXPECT_EQ(BaseName(DirName(DirName(copied_to))).rfind(L"tbi", 0), 0u) << WideToUtf8(copied_to);

  // The directories and the copies are gone again.
  EXPECT_TRUE(Entries(dir_.path()).empty());

  // The copy logged its start-up.
  std::string log = testing::ReadFileOrEmpty(JoinPath(log_dir.path(), L"ostrel.log"));
  EXPECT_NE(log.find("ret code: 701"), std::string::npos) << log;
}

TEST_F(HardenProcessTest, FailuresOfTheRelaunchContinueWithoutHardening) {
  HardeningEnvironment environment;
  environment.executable_path = testing::InstallerExecutablePath();
  environment.temp_directory = dir_.Append(L"missing\\deeper");
  environment.copy_executable = RefuseCopy;
  EXPECT_EQ(Harden(environment, L"installer.exe"), kHardeningUnavailable);

  environment.temp_directory = dir_.path();
  EXPECT_EQ(Harden(environment, L"installer.exe"), kHardeningUnavailable);
  EXPECT_EQ(exit_code_, 0);
  EXPECT_TRUE(Entries(dir_.path()).empty()) << "the new directory was left behind";

  // A copy that is not a program does not start.
  environment.executable_path = ExecutableIn(dir_.Append(L"app"));
  environment.temp_directory = dir_.Append(L"protected");
  CreateDirectoryRecursive(environment.temp_directory);
  environment.copy_executable = CopyExecutableFile;
  EXPECT_EQ(Harden(environment, L"installer.exe"), kHardeningUnavailable);
  EXPECT_TRUE(Entries(environment.temp_directory).empty()) << "the new directory was left behind";
}

TEST(HardenProcessRealTest, WindowsWithSafeSearchNeedsNoCopy) {
  HardeningEnvironment environment = ProcessHardeningEnvironment();
  EXPECT_NE(environment.set_search_path_mode, nullptr);
  EXPECT_NE(environment.set_default_dll_directories, nullptr);
  EXPECT_EQ(environment.executable_path, GetOwnExecutablePath());
  int exit_code = -1;
  ScopedProcessCommandLineOverride override_command_line(InstallerCommandLine::ParseString(L"x.exe"));
  EXPECT_EQ(HardenProcess(&exit_code), kHardeningSecure);
  EXPECT_EQ(exit_code, 0);
}

}  // namespace
}  // namespace ostrel
