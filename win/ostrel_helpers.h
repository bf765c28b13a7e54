// Whether the browser is already installed for this user or for the whole
// machine, whether a machine-wide installation is administrator-managed, and
// starting an installed browser. Every registry or file-system failure reads
// as "not installed" / "not corporate".
#ifndef WIN_OSTREL_HELPERS_H_
#define WIN_OSTREL_HELPERS_H_

#include <string>

namespace ostrel {

// The product key's string values at one level, read in the 32-bit registry
// view (the browser is a 32-bit program's registration on every system).
// Replaceable so each rule is tested without the machine's registry.
class ProductRegistryReader {
 public:
  virtual ~ProductRegistryReader() = default;
  // HKEY_LOCAL_MACHINE when `system_level`, else HKEY_CURRENT_USER; false
  // when the key or value is missing or not a string.
  virtual bool ReadString(bool system_level, const wchar_t* name, std::wstring* value) const;
};

// Replaces the reader for the lifetime of the object (tests).
class ScopedProductRegistryReaderOverride {
 public:
  explicit ScopedProductRegistryReaderOverride(const ProductRegistryReader* reader);
  ScopedProductRegistryReaderOverride(const ScopedProductRegistryReaderOverride&) = delete;
  ScopedProductRegistryReaderOverride& operator=(const ScopedProductRegistryReaderOverride&) = delete;
  ~ScopedProductRegistryReaderOverride();

 private:
  const ProductRegistryReader* previous_;
};

// The "Application" directory of the installation at that level, or empty.
std::wstring FindExistingInstallation(bool system_level);
// The machine key's "corporate" value is exactly "true".
bool IsCorporateInstallation();
// An installation exists (the per-user one first) and the machine is not
// marked corporate.
bool HasNonCorporateInstallation();
bool HasCorporateSystemInstallation();
// The statistics value: "corporate", "user" or "none".
std::wstring BrowserPresentValue();
// The machine-wide installation's directory, else where one would go under
// Program Files; empty when no Program Files folder exists.
std::wstring GetSystemInstallDirectory();
// Starts browser.exe of the machine-wide directory without waiting; false
// (and nothing started) when there is no such directory or the start fails.
bool LaunchInstalledBrowser();

inline constexpr wchar_t kInstalledVersionValue[] = L"ypv";
inline constexpr wchar_t kInstalledVersionFallbackValue[] = L"pv";
inline constexpr wchar_t kUninstallStringValue[] = L"UninstallString";
inline constexpr wchar_t kCorporateValue[] = L"corporate";
inline constexpr wchar_t kProgramFilesProductPath[] = L"Tarvik\\TarvikBrowser\\Application";
inline constexpr wchar_t kBrowserExecutable[] = L"browser.exe";

}  // namespace ostrel

#endif  // WIN_OSTREL_HELPERS_H_
