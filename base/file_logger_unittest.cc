#include "base/file_logger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "base/file_util.h"
#include "base/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "testing/fake_os_facts.h"
#include "testing/platform_log_capture.h"
#include "testing/test_util.h"

namespace ostrel {
namespace {

using ostrel::testing::Quote;
using ostrel::testing::ReadFileOrEmpty;
using ostrel::testing::SplitLines;

// Header, level, text and location of one record line.
const std::regex kLinePattern(
    R"(^(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) (\d+):(\d+) (INFO|ERROR|WARNING): (.*) \(([^ :]*):(\d+)\)$)");

// How many names the file at `path` has (one, unless hard-linked).
DWORD LinkCount(const std::wstring& path) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file.IsValid() || !::GetFileInformationByHandle(file.Get(), &info)) return 0;
  return info.nNumberOfLinks;
}

// A symbolic link at `link`, when this system makes one: Windows needs the
// privilege or developer mode, and Wine 8 reports success and makes none.
bool MakeSymbolicLink(const std::wstring& link, const std::wstring& target, DWORD flags) {
  if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
    ::CreateSymbolicLinkW(link.c_str(), target.c_str(), flags);
  DWORD attributes = ::GetFileAttributesW(link.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A disk that fills up: the next `g_refused_writes` writes get half their
// bytes in, then fail as a full disk does.
int g_refused_writes = 0;
BOOL WINAPI HalfThenDiskFull(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (g_refused_writes == 0) return ::WriteFile(file, data, size, written, overlapped);
  --g_refused_writes;
  ::WriteFile(file, data, size / 2, written, overlapped);
  ::SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

class FileLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { log_path_ = dir_.Append(L"ostrel.log"); }

  std::wstring HelperCommand(const std::wstring& arguments) {
    return Quote(ostrel::testing::TestHelperPath()) + L" " + arguments;
  }

  DWORD RunHelper(const std::wstring& arguments) {
    DWORD exit_code = 0xFFFFFFFF;
    EXPECT_TRUE(ostrel::testing::RunProcessAndWait(HelperCommand(arguments), 60000, &exit_code));
    return exit_code;
  }

  // Emits one record through `logger` as the installer's macros would.
  static void EmitThrough(FileLogger& logger, const std::string& text, const char* function = "TestFunction") {
    LogMessage record(LOG_INFO, function, 42);
    record.stream() << text;
    logger.Emit(record);
  }

  bool WaitUntilMutexIsHeldElsewhere() {
    for (int i = 0; i < 200; ++i) {
      ScopedKernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, FileLogger::MutexNameForPath(log_path_).c_str()));
      if (mutex.IsValid()) {
        DWORD wait = ::WaitForSingleObject(mutex.Get(), 0);
        if (wait == WAIT_TIMEOUT) return true;
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ::ReleaseMutex(mutex.Get());
      }
      ::Sleep(25);
    }
    return false;
  }

  // Not elevated unless a test says so, whatever the host's token is (Wine's
  // is elevated); the test_helper processes ask the real facts.
  ostrel::testing::ScopedFakeOsFacts facts_;
  ostrel::testing::ScopedTempDir dir_;
  std::wstring log_path_;
};

TEST_F(FileLoggerTest, WritesOneWholeLinePerRecord) {
  FileLogger logger(log_path_, kLogFileMaxSize);
  EmitThrough(logger, "Installer process id: 4120", "wWinMain");
  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 1u);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, kLinePattern)) << lines[0];
  EXPECT_EQ(match[8].str(), std::to_string(::GetCurrentProcessId()));
  EXPECT_EQ(match[9].str(), std::to_string(::GetCurrentThreadId()));
  EXPECT_EQ(match[10].str(), "INFO");
  EXPECT_EQ(match[11].str(), "Installer process id: 4120");
  EXPECT_EQ(match[12].str(), "wWinMain");
  EXPECT_EQ(match[13].str(), "42");
}

// Text from a tag, the command line or the network cannot end its record and
// forge another one.
TEST_F(FileLoggerTest, ControlCharactersInTheTextCannotStartARecord) {
  FileLogger logger(log_path_, kLogFileMaxSize);
  EmitThrough(logger, "Tag value: x\r\n2026-01-01 00:00:00.000 1:1 INFO: Verification succeeded: forged\x1b\t\x7f",
              "ReadTag");
  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 1u);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, kLinePattern)) << lines[0];
  EXPECT_EQ(match[11].str(),
            "Tag value: x\\r\\n2026-01-01 00:00:00.000 1:1 INFO: Verification succeeded: forged\\x1b\\t\\x7f");
  EXPECT_EQ(match[12].str(), "ReadTag");

  // What some viewers take for a line's end or use to reorder its display;
  // other letters of those ranges stay as they are.
  EXPECT_EQ(EscapeLogText("a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9" "d\xE2\x80\xAE" "e\xE2\x81\xA6" "f\xE2\x80\x8F"
                          "g\xD8\x9C" "h\xE2\x80\x94\xC3\xA9\xE2\x81\xAA"),
            "a\\u0085b\\u2028c\\u2029d\\u202ee\\u2066f\\u200fg\\u061ch\xE2\x80\x94\xC3\xA9\xE2\x81\xAA");
}

// A record the disk takes only in part is taken back, never fused with the
// next; the first whole write says how many were lost, and a logger that
// ends after a loss says it at its end.
TEST_F(FileLoggerTest, ARecordTheDiskRefusesIsTakenBackAndCounted) {
  {
    FileLogger logger(log_path_, kLogFileMaxSize);
    logger.set_write_for_testing(HalfThenDiskFull);
    EmitThrough(logger, "before");
    g_refused_writes = 2;
    EmitThrough(logger, "lost one");
    EmitThrough(logger, "lost two");
    EmitThrough(logger, "after");
    g_refused_writes = 1;
    EmitThrough(logger, "lost at the end");
  }
  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 4u) << ReadFileOrEmpty(log_path_);
  const std::string note = " LOGGING: Failed to write ";
  const std::string file_part = " to log file " + ostrel::WideToUtf8(log_path_) + ": -8";
  for (size_t i : {0u, 2u}) EXPECT_TRUE(std::regex_match(lines[i], kLinePattern)) << lines[i];
  EXPECT_NE(lines[0].find("INFO: before"), std::string::npos);
  EXPECT_NE(lines[1].find(note + "2 records" + file_part), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find("INFO: after"), std::string::npos);
  EXPECT_NE(lines[3].find(note + "1 record" + file_part), std::string::npos) << lines[3];
}

TEST_F(FileLoggerTest, CreatesMissingDirectoriesUnlessElevated) {
  std::wstring nested = dir_.Append(L"a\\b\\ostrel.log");
  FileLogger logger(nested, kLogFileMaxSize);
  EmitThrough(logger, "hello");
  EXPECT_EQ(SplitLines(ReadFileOrEmpty(nested)).size(), 1u);

  // Elevated, folders are the user's to make: creating them by name would
  // follow the user's links.
  facts_.process_elevated = true;
  std::wstring elevated_nested = dir_.Append(L"c\\ostrel.log");
  FileLogger elevated_logger(elevated_nested, kLogFileMaxSize);
  EmitThrough(elevated_logger, "hello");
  EXPECT_FALSE(PathExists(dir_.Append(L"c")));
}

TEST_F(FileLoggerTest, DropsRecordsWhoseLocationDoesNotFitTheBuffer) {
  FileLogger logger(log_path_, kLogFileMaxSize);
  std::string long_tag(200, 'f');
  EmitThrough(logger, "lost", long_tag.c_str());
  EmitThrough(logger, "kept");
  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("kept"), std::string::npos);
}

TEST_F(FileLoggerTest, TwoProcessesNeverInterleaveTheirLines) {
  const std::string a_text(300, 'A');
  const std::string b_text(300, 'B');
  std::wstring path = Quote(log_path_);
  ScopedKernelHandle a = ostrel::testing::StartProcess(
      HelperCommand(L"log " + path + L" 400 " + std::wstring(a_text.begin(), a_text.end())));
  ScopedKernelHandle b = ostrel::testing::StartProcess(
      HelperCommand(L"log " + path + L" 400 " + std::wstring(b_text.begin(), b_text.end())));
  ASSERT_TRUE(a.IsValid() && b.IsValid());
  HANDLE both[] = {a.Get(), b.Get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, both, TRUE, 120000), WAIT_OBJECT_0);

  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 800u);
  int a_lines = 0;
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kLinePattern)) << line;
    std::string text = match[11].str();
    bool is_a = text.rfind(a_text + " ", 0) == 0;
    bool is_b = text.rfind(b_text + " ", 0) == 0;
    EXPECT_TRUE(is_a || is_b) << line;
    a_lines += is_a;
  }
  EXPECT_EQ(a_lines, 400);
}

TEST_F(FileLoggerTest, RotatesWhenTheLimitWouldBeReachedReplacingTheOldCopy) {
  std::wstring rotated = dir_.Append(L"ostrel_old.log");
  ASSERT_TRUE(ostrel::WriteBytesToFile(rotated, "an older rotated log\n"));
  // About 60 bytes per line: one rotation after some 17 records.
  DWORD exit_code = RunHelper(L"log " + Quote(log_path_) + L" 30 record 1000");
  EXPECT_EQ(exit_code, 0u);

  std::vector<std::string> old_lines = SplitLines(ReadFileOrEmpty(rotated));
  std::vector<std::string> new_lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_FALSE(old_lines.empty());
  ASSERT_FALSE(new_lines.empty());
  EXPECT_EQ(old_lines.size() + new_lines.size(), 30u);
  EXPECT_NE(old_lines[0].find("record 0"), std::string::npos);
  EXPECT_NE(new_lines[0].find("record " + std::to_string(old_lines.size())), std::string::npos);
  // The rule counts header and text, not the level and source suffix, so the
  // old copy stays under the limit until its last record.
  EXPECT_LT(ReadFileOrEmpty(rotated).size() - (old_lines.back().size() + 1), 1000u);
}

// A failure that is not a link (here a sharing violation) costs the rotation,
// not the log, elevated or not.
TEST_F(FileLoggerTest, ALockedOldCopyStopsRotationWithOneNote) {
  std::wstring rotated = dir_.Append(L"ostrel_old.log");
  ASSERT_TRUE(ostrel::WriteBytesToFile(rotated, "held\n"));
  // Held open without delete sharing: it can be neither replaced nor removed.
  ScopedFileHandle holder(::CreateFileW(rotated.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());

  for (bool elevated : {false, true}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    ::DeleteFileW(log_path_.c_str());
    facts_.process_elevated = elevated;
    FileLogger logger(log_path_, 400);
    for (int i = 0; i < 10; ++i) EmitThrough(logger, "line " + std::to_string(i));

    std::string content = ReadFileOrEmpty(log_path_);
    EXPECT_GT(content.size(), 400u);
    std::vector<std::string> lines = SplitLines(content);
    int notes = 0;
    std::string path_utf8(log_path_.begin(), log_path_.end());
    std::regex note_pattern(".* LOGGING: Failed to rotate log file (.*): (-[0-9]+)$");
    for (const std::string& line : lines) {
      std::smatch match;
      if (std::regex_match(line, match, note_pattern)) {
        ++notes;
        EXPECT_EQ(match[1].str(), path_utf8);
        int code = std::stoi(match[2].str());
        EXPECT_TRUE(code == -2 || code == -5 || code == -3) << line;
      }
    }
    EXPECT_EQ(notes, 1);
    EXPECT_EQ(lines.size(), 11u);
    EXPECT_EQ(ReadFileOrEmpty(rotated), "held\n");
  }
}

// Elevated: the log is renamed through its own handle onto the old copy's
// name (a plain old copy goes first); a link put at that name is neither
// written through nor replaced, and the logger stops instead.
TEST_F(FileLoggerTest, ElevatedRotatesByHandleAndNeverThroughALinkedOldCopy) {
  facts_.process_elevated = true;
  ostrel::testing::ScopedPlatformLogCapture diagnostics;
  std::wstring rotated = dir_.Append(L"ostrel_old.log");
  ASSERT_TRUE(ostrel::WriteBytesToFile(rotated, "an older rotated log\n"));
  // About 70 bytes per line: a rotation every five or six records.
  FileLogger logger(log_path_, 400);
  for (int i = 0; i < 8; ++i) EmitThrough(logger, "record " + std::to_string(i));

  std::vector<std::string> old_lines = SplitLines(ReadFileOrEmpty(rotated));
  std::vector<std::string> new_lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_FALSE(old_lines.empty());
  ASSERT_FALSE(new_lines.empty());
  EXPECT_EQ(old_lines.size() + new_lines.size(), 8u);
  EXPECT_NE(old_lines[0].find("INFO: record 0 ("), std::string::npos) << old_lines[0];
  EXPECT_NE(new_lines[0].find("INFO: record " + std::to_string(old_lines.size()) + " ("), std::string::npos)
      << new_lines[0];

  std::wstring victim = dir_.Append(L"victim.txt");
  ASSERT_TRUE(ostrel::WriteBytesToFile(victim, "not a log\n"));
  ASSERT_TRUE(::DeleteFileW(rotated.c_str()));
  ASSERT_TRUE(::CreateHardLinkW(rotated.c_str(), victim.c_str(), nullptr));
  for (int i = 8; i < 16; ++i) EmitThrough(logger, "record " + std::to_string(i));

  EXPECT_EQ(ReadFileOrEmpty(victim), "not a log\n");
  EXPECT_EQ(LinkCount(victim), 2u);
  // Written up to the rotation the link refused, and nothing after it (line
  // lengths vary with the process and thread numbers: records are counted).
  std::string log = ReadFileOrEmpty(log_path_);
  EXPECT_LT(SplitLines(log).size(), 8u) << log;
  EXPECT_EQ(log.find("record 15"), std::string::npos) << log;
  EXPECT_EQ(diagnostics.lines(),
            std::vector<std::string>{"Not a plain file, logging stopped: " + WideToUtf8(log_path_)});
}

TEST_F(FileLoggerTest, ElevatedRefusesAHardLinkInPlaceOfTheLogAndThenLogsNowhere) {
  std::wstring victim = dir_.Append(L"victim.txt");
  ASSERT_TRUE(ostrel::WriteBytesToFile(victim, "not a log\n"));
  ASSERT_TRUE(::CreateHardLinkW(log_path_.c_str(), victim.c_str(), nullptr));
  facts_.process_elevated = true;
  FileLogger logger(log_path_, kLogFileMaxSize);
  EmitThrough(logger, "first");
  EXPECT_EQ(ReadFileOrEmpty(victim), "not a log\n");
  EXPECT_EQ(LinkCount(victim), 2u);

  // The user can change the name again at any time: the logger does not come
  // back to it.
  ASSERT_TRUE(::DeleteFileW(log_path_.c_str()));
  EmitThrough(logger, "second");
  EXPECT_FALSE(PathExists(log_path_));
}

// The folder is opened once and held: while the process logs, nobody can
// move it away and put another (or a link) in its place. Wine 8 lets a held
// folder be renamed, so this runs only where the system refuses it.
TEST_F(FileLoggerTest, ElevatedHoldsTheLogFolderSoItCannotBeSwapped) {
  std::wstring folder = dir_.Append(L"logs");
  std::wstring moved = dir_.Append(L"moved");
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  facts_.process_elevated = true;
  std::wstring path = JoinPath(folder, L"ostrel.log");
  {
    FileLogger logger(path, kLogFileMaxSize);
    EmitThrough(logger, "first");
    if (::MoveFileW(folder.c_str(), moved.c_str())) GTEST_SKIP() << "this system renames a folder held open";
    EmitThrough(logger, "second");
    EXPECT_EQ(SplitLines(ReadFileOrEmpty(path)).size(), 2u);
  }
  EXPECT_TRUE(::MoveFileW(folder.c_str(), moved.c_str()));
}

// Wine 8 makes neither symbolic links nor junctions, so this runs only where
// the system makes symbolic links.
TEST_F(FileLoggerTest, ElevatedNeverFollowsASymbolicLinkAtTheLogOrItsFolder) {
  std::wstring target = dir_.Append(L"made_through_a_link.log");
  if (!MakeSymbolicLink(log_path_, target, 0)) GTEST_SKIP() << "this system makes no symbolic links";
  facts_.process_elevated = true;
  FileLogger logger(log_path_, kLogFileMaxSize);
  EmitThrough(logger, "through the log's name");
  EXPECT_FALSE(PathExists(target));

  std::wstring real_folder = dir_.Append(L"real");
  std::wstring linked_folder = dir_.Append(L"linked");
  ASSERT_TRUE(::CreateDirectoryW(real_folder.c_str(), nullptr));
  ASSERT_TRUE(MakeSymbolicLink(linked_folder, real_folder, SYMBOLIC_LINK_FLAG_DIRECTORY));
  FileLogger folder_logger(JoinPath(linked_folder, L"ostrel.log"), kLogFileMaxSize);
  EmitThrough(folder_logger, "through the folder's name");
  EXPECT_FALSE(PathExists(JoinPath(real_folder, L"ostrel.log")));
}

TEST_F(FileLoggerTest, AMutexHeldElsewhereIsNotedOnceAndRecordsStillWritten) {
  // Held until terminated below: a fixed hold could end before both writes
  // on a loaded machine, and the lock would then simply succeed.
  ScopedKernelHandle holder =
      ostrel::testing::StartProcess(HelperCommand(L"hold-log-mutex " + Quote(log_path_) + L" 600000"));
  ASSERT_TRUE(holder.IsValid());
  ASSERT_TRUE(WaitUntilMutexIsHeldElsewhere());

  FileLogger logger(log_path_, kLogFileMaxSize);
  // Only the first record waits for the holder: 30 records at one second
  // each held an installation for minutes.
  constexpr int kRecords = 30;
  ULONGLONG start = ::GetTickCount64();
  for (int i = 0; i < kRecords; ++i) EmitThrough(logger, "record " + std::to_string(i));
  ULONGLONG elapsed_ms = ::GetTickCount64() - start;
  ::TerminateProcess(holder.Get(), 0);
  EXPECT_LT(elapsed_ms, 10000u);

  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), kRecords + 1u);
  std::string path_utf8(log_path_.begin(), log_path_.end());
  EXPECT_NE(lines[0].find(" LOGGING: Failed to lock log file " + path_utf8), std::string::npos) << lines[0];
  for (int i = 0; i < kRecords; ++i)
    EXPECT_NE(lines[i + 1].find("INFO: record " + std::to_string(i) + " ("), std::string::npos) << lines[i + 1];

  // Once the holder is gone the lock is taken (and waited for) again.
  ASSERT_EQ(::WaitForSingleObject(holder.Get(), 10000), WAIT_OBJECT_0);
  EmitThrough(logger, "after");
  lines = SplitLines(ReadFileOrEmpty(log_path_));
  EXPECT_NE(lines.back().find("INFO: after ("), std::string::npos) << lines.back();
}

TEST_F(FileLoggerTest, AnAbandonedMutexIsNotedByTheNextWriter) {
  // Keep the named mutex alive after its owner dies, as another writer would.
  ScopedKernelHandle keep_alive(::CreateMutexW(nullptr, FALSE, FileLogger::MutexNameForPath(log_path_).c_str()));
  ASSERT_TRUE(keep_alive.IsValid());
  EXPECT_EQ(RunHelper(L"die-holding-log-mutex " + Quote(log_path_)), 0u);
  FileLogger logger(log_path_, kLogFileMaxSize);
  EmitThrough(logger, "after");
  std::vector<std::string> lines = SplitLines(ReadFileOrEmpty(log_path_));
  ASSERT_EQ(lines.size(), 2u);
  std::string path_utf8(log_path_.begin(), log_path_.end());
  EXPECT_NE(lines[0].find(" LOGGING: Abandoned log mutex recovered for file " + path_utf8), std::string::npos);
  EXPECT_NE(lines[1].find("INFO: after ("), std::string::npos);
}

TEST_F(FileLoggerTest, ErrorRecordCarriesTheCodeAndSystemText) {
  EXPECT_EQ(RunHelper(L"log-error " + Quote(log_path_) + L" 5"), 0u);
  std::string content = ReadFileOrEmpty(log_path_);
  std::string expected = "ERROR: Failed on purpose - " + EscapeLogText(FormatWindowsError(5)) + " (wmain:";
  EXPECT_EQ(FormatWindowsError(5).rfind("5, ", 0), 0u);
  EXPECT_NE(content.find(expected), std::string::npos) << content;
  // The system text's own line break is escaped: the record stays one line.
  EXPECT_NE(FormatWindowsError(5).find("\n"), std::string::npos);
  EXPECT_EQ(SplitLines(content).size(), 1u) << content;
}

TEST(FileLoggerNamesTest, RotatedPathAndMutexName) {
  EXPECT_EQ(RotatedLogPath(L"C:\\Temp\\ostrel.log"), L"C:\\Temp\\ostrel_old.log");
  EXPECT_EQ(RotatedLogPath(L"C:\\a.b\\log"), L"C:\\a.b\\log_old");
  // MD5 of the UTF-8 path, lower-case hexadecimal.
  EXPECT_EQ(FileLogger::MutexNameForPath(L"abc"), L"kelupdater log 900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(FileLogger::MutexNameForPath(L"\u00e9"), L"kelupdater log 66ddcd97cfdeabb2f6fb8a999b4bc76f");
}

TEST(FileLoggerNamesTest, FileErrorMapping) {
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_FILE_NOT_FOUND), -4);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_PATH_NOT_FOUND), -4);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_ACCESS_DENIED), -5);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_LOCK_VIOLATION), -5);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_SHARING_VIOLATION), -2);
  for (DWORD code : {1175u, 1176u, 1177u}) EXPECT_EQ(FileErrorFromWindowsError(code), -2);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_FILE_EXISTS), -3);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_ALREADY_EXISTS), -3);
  EXPECT_EQ(FileErrorFromWindowsError(ERROR_TOO_MANY_OPEN_FILES), -6);
  for (DWORD code : {8u, 14u}) EXPECT_EQ(FileErrorFromWindowsError(code), -7);
  for (DWORD code : {39u, 112u, 314u}) EXPECT_EQ(FileErrorFromWindowsError(code), -8);
  EXPECT_EQ(FileErrorFromWindowsError(1224), -10);
  for (DWORD code : {21u, 27u, 31u, 55u, 1117u, 1127u, 1392u, 1393u}) EXPECT_EQ(FileErrorFromWindowsError(code), -16);
  EXPECT_EQ(FileErrorFromWindowsError(87), -1);
}

TEST(FileLoggerNamesTest, HeaderFormat) {
  // 2024-05-01 10:20:30.456 UTC in microseconds since 1601.
  SYSTEMTIME st = {2024, 5, 3, 1, 10, 20, 30, 456};
  FILETIME ft;
  ASSERT_TRUE(::SystemTimeToFileTime(&st, &ft));
  int64_t micros = ((static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10;
  EXPECT_EQ(FormatLogHeader(micros, 4120, 7), "2024-05-01 10:20:30.456 4120:07 ");
}

}  // namespace
}  // namespace ostrel
