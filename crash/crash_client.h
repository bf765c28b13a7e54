// The in-process crash client: annotations, the top-level unhandled-exception
// filter, and the minidump with its crash information stream. On a crash the
// filter writes the dump to the temporary directory and uploads it at once
// (crash_report_upload). Uses base/ only, so it works however broken the rest
// of the installer is.
#ifndef CRASH_CRASH_CLIENT_H_
#define CRASH_CRASH_CLIENT_H_

#include <windows.h>

#include <map>
#include <string>

#include "base/scoped_handle.h"
#include "crash/crash_info_stream.h"

namespace ostrel {

inline constexpr wchar_t kDbgHelpLibraryName[] = L"dbghelp.dll";
inline constexpr char kMinidumpAttachmentName[] = "upload_file_minidump";

class CrashClient {
 public:
  using Annotations = std::map<std::string, std::string>;

  // Makes the process's client from the user identifier (any text; one that
  // is not a GUID gives an all-zero client id) and installs the filter when
  // `dbghelp_name` loads and has MiniDumpWriteDump. A second call returns
  // the existing client.
  static CrashClient* Create(const std::string& user_id, const wchar_t* dbghelp_name = kDbgHelpLibraryName);
  // The process's client, or null.
  static CrashClient* Get();
  // Puts the previous filter back (none if there was none) and frees the client.
  static void Destroy();

  CrashClient(const CrashClient&) = delete;
  CrashClient& operator=(const CrashClient&) = delete;

  // Ignored when either is empty; a key set again keeps the last value.
  void SetAnnotation(const std::string& key, const std::string& value);

  // Writes the minidump with the crash information stream to dump_path(), a
  // new file. In a process that ran elevated when the client was made, only
  // as a plain file in a real folder, never through a link (the folder is the
  // user's %TEMP%). `exception` may be null for a dump without exception
  // information.
  // `dump` receives the file, open for reading and deletion, for the upload.
  bool WriteDump(EXCEPTION_POINTERS* exception, ScopedFileHandle* dump);

  const Annotations& annotations() const { return annotations_; }
  const std::wstring& dump_path() const { return dump_path_; }
  const GuidBytes& client_id() const { return client_id_; }
  const GuidBytes& report_id() const { return report_id_; }
  bool upload_enabled() const { return upload_enabled_; }
  bool gzip_enabled() const { return gzip_enabled_; }
  bool filter_installed() const { return filter_installed_; }
  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter() const { return previous_filter_; }

  // Where reports go: the crash collector's "/submit". Tests send elsewhere.
  const std::string& upload_url() const { return upload_url_; }
  void set_upload_url(std::string url) { upload_url_ = std::move(url); }

 private:
  CrashClient() = default;
  static LONG WINAPI ExceptionFilter(EXCEPTION_POINTERS* exception);

  std::wstring dump_path_;
  bool elevated_ = false;
  GuidBytes client_id_ = {};
  GuidBytes report_id_ = {};
  bool upload_enabled_ = true;
  bool gzip_enabled_ = true;
  Annotations annotations_;
  std::string upload_url_;
  ScopedLibrary dbghelp_;
  FARPROC minidump_write_dump_ = nullptr;
  bool filter_installed_ = false;
  LPTOP_LEVEL_EXCEPTION_FILTER previous_filter_ = nullptr;
};

}  // namespace ostrel

#endif  // CRASH_CRASH_CLIENT_H_
