#include "win/ostrel_helpers.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string_view>
#include <vector>

#include "base/file_util.h"
#include "base/logging.h"
#include "base/scoped_handle.h"
#include "base/system_queries.h"
#include "base/utf_string_conversions.h"
#include "base/version.h"

namespace ostrel {
namespace {

constexpr DWORD kMaxValueBytes = 4096;
constexpr wchar_t kCorporateTrue[] = L"true";
constexpr wchar_t kProgramFilesVariable[] = L"PROGRAMFILES";

const ProductRegistryReader* g_reader_override = nullptr;

const ProductRegistryReader& Reader() {
  static const ProductRegistryReader real;
  return g_reader_override ? *g_reader_override : real;
}

bool HasParentReference(std::wstring_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = path.size();
    if (path.substr(start, end - start) == L"..") return true;
    start = end + 1;
  }
  return false;
}

// "C:", "C:\", "\\server\share" and the like: a directory that is its own parent.
bool IsFileSystemRoot(const std::wstring& directory) {
  if (directory.empty()) return true;
  if (directory.size() == 2 && directory[1] == L':') return true;
  std::wstring with_separator = directory;
  if (with_separator.back() != L'\\' && with_separator.back() != L'/') with_separator.push_back(L'\\');
  return ::PathIsRootW(with_separator.c_str()) != FALSE;
}

std::wstring ReadInstalledVersion(bool system_level) {
  std::wstring text;
  if (!Reader().ReadString(system_level, kInstalledVersionValue, &text) || text.empty())
    Reader().ReadString(system_level, kInstalledVersionFallbackValue, &text);
  return text;
}

std::wstring ProgramFilesFolder() {
  PWSTR known = nullptr;
  std::wstring folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &known)) && known) folder = known;
  ::CoTaskMemFree(known);
  if (!folder.empty() && DirectoryExists(folder)) return folder;

  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = ::GetEnvironmentVariableW(kProgramFilesVariable, buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  folder.assign(buffer, length);
  if (!IsAbsolutePath(folder) || HasParentReference(folder) || !DirectoryExists(folder)) return std::wstring();
  return folder;
}

}  // namespace

bool ProductRegistryReader::ReadString(bool system_level, const wchar_t* name, std::wstring* value) const {
  value->clear();
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(system_level ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ProductKey(), 0,
                      KEY_QUERY_VALUE | KEY_WOW64_32KEY, &raw) != ERROR_SUCCESS) {
    return false;
  }
  ScopedRegKey key(raw);
  std::vector<BYTE> buffer(kMaxValueBytes + sizeof(wchar_t), 0);
  DWORD size = kMaxValueBytes;
  DWORD type = 0;
  if (::RegQueryValueExW(key.Get(), name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  value->assign(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t));
  while (!value->empty() && value->back() == L'\0') value->pop_back();
  return true;
}

ScopedProductRegistryReaderOverride::ScopedProductRegistryReaderOverride(const ProductRegistryReader* reader)
    : previous_(g_reader_override) {
  g_reader_override = reader;
}

ScopedProductRegistryReaderOverride::~ScopedProductRegistryReaderOverride() { g_reader_override = previous_; }

std::wstring FindExistingInstallation(bool system_level) {
  const char* level = system_level ? "system" : "user";
  Version version(WideToUtf8(ReadInstalledVersion(system_level)));
  if (!version.IsValid()) {
    LOG(INFO) << "No existing Basalt " << level << " install found.";
    return std::wstring();
  }
  LOG(INFO) << "Existing Basalt " << level << " version found: " << version.ToString();

  std::wstring setup_path;
  if (!Reader().ReadString(system_level, kUninstallStringValue, &setup_path) || setup_path.empty() ||
      !IsAbsolutePath(setup_path) || HasParentReference(setup_path)) {
    return std::wstring();
  }
  // setup.exe -> Installer -> version -> Application.
  std::wstring directory = DirName(DirName(DirName(setup_path)));
  if (IsFileSystemRoot(directory) || !DirectoryExists(directory)) return std::wstring();
  return directory;
}

bool IsCorporateInstallation() {
  std::wstring value;
  return Reader().ReadString(true, kCorporateValue, &value) && value == kCorporateTrue;
}

bool HasNonCorporateInstallation() {
  if (!FindExistingInstallation(false).empty()) return !IsCorporateInstallation();
  if (!FindExistingInstallation(true).empty()) return !IsCorporateInstallation();
  return false;
}

bool HasCorporateSystemInstallation() {
  return !FindExistingInstallation(true).empty() && IsCorporateInstallation();
}

std::wstring BrowserPresentValue() {
  if (HasCorporateSystemInstallation()) return L"corporate";
  if (HasNonCorporateInstallation()) return L"user";
  return L"none";
}

std::wstring GetSystemInstallDirectory() {
  std::wstring existing = FindExistingInstallation(true);
  if (!existing.empty()) return existing;
  std::wstring program_files = ProgramFilesFolder();
  if (program_files.empty()) return std::wstring();
  return JoinPath(program_files, kProgramFilesProductPath);
}

bool LaunchInstalledBrowser() {
  std::wstring directory = GetSystemInstallDirectory();
  if (directory.empty()) {
    LOG(WARNING) << "No browser directory to launch from";
    return false;
  }
  std::wstring path = JoinPath(directory, kBrowserExecutable);
  std::wstring command_line = L"\"" + path + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    PLOG(ERROR) << "Cannot start " << path;
    return false;
  }
  ScopedKernelHandle process_handle(process.hProcess);
  ScopedKernelHandle thread_handle(process.hThread);
  return true;
}

}  // namespace ostrel
