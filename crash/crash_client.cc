#include "crash/crash_client.h"

#include <windows.h>
#include <dbghelp.h>
#include <objbase.h>

#include <atomic>
#include <cstring>

#include "base/build_version.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/utf_string_conversions.h"
#include "config/maker_hosts.h"
#include "crash/crash_report_upload.h"
#include "crash/file_io_win.h"

namespace ostrel {
namespace {

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

// Read by the filter on whichever thread crashes.
std::atomic<CrashClient*> g_client{nullptr};
// Set by the first crash: a second crash (another thread, or one inside the
// upload) goes straight to the previous filter instead of writing again.
std::atomic<bool> g_handling_crash{false};

GuidBytes ToBytes(const GUID& guid) {
  GuidBytes bytes;
  static_assert(sizeof(GUID) == sizeof(GuidBytes));
  std::memcpy(bytes.data(), &guid, sizeof(guid));
  return bytes;
}

bool ParseClientId(const std::string& user_id, GuidBytes* client_id) {
  if (user_id.empty()) return false;
  std::string braced = user_id.front() == '{' ? user_id : "{" + user_id + "}";
  std::wstring wide = Utf8ToWide(braced);
  CLSID clsid;
  if (FAILED(::CLSIDFromString(wide.c_str(), &clsid))) return false;
  *client_id = ToBytes(clsid);
  return true;
}

}  // namespace

CrashClient* CrashClient::Create(const std::string& user_id, const wchar_t* dbghelp_name) {
  if (CrashClient* existing = g_client.load()) return existing;
  auto* client = new CrashClient();

  if (!ParseClientId(user_id, &client->client_id_)) {
    client->client_id_ = {};
    LOG_TAG(WARNING, "Impl") << "uid not found, use empty";
  }
  GUID report_id = {};
  ::CoCreateGuid(&report_id);
  client->report_id_ = ToBytes(report_id);

  client->SetAnnotation("uid", FormatGuid(client->client_id_));
  client->SetAnnotation("report_id", FormatGuid(client->report_id_));
  client->SetAnnotation("ver", TARVIK_INSTALLER_VERSION_STRING);
  client->SetAnnotation("plat", "Win32");
  client->SetAnnotation("prod", "Tarvik");
  client->SetAnnotation("gzip_enabled", client->gzip_enabled_ ? "true" : "false");

  std::wstring directory = GetTempDirectory();
  if (directory.empty() || directory.back() != L'\\') directory.push_back(L'\\');
  client->dump_path_ = directory + Utf8ToWide(FormatGuid(client->report_id_)) + L".dmp";
  client->upload_url_ = std::string(hosts::kCrashCollector) + "/submit";
  // Asked now: the filter runs in a broken process and asks nothing.
  client->elevated_ = GetOsFacts().IsProcessElevated();

  client->dbghelp_.Reset(::LoadLibraryW(dbghelp_name));
  if (client->dbghelp_.IsValid())
    client->minidump_write_dump_ = ::GetProcAddress(client->dbghelp_.Get(), "MiniDumpWriteDump");
  if (client->minidump_write_dump_) {
    client->previous_filter_ = ::SetUnhandledExceptionFilter(&CrashClient::ExceptionFilter);
    client->filter_installed_ = true;
  } else {
    // Without the dump writer crashes go unreported.
    client->dbghelp_.Close();
  }

  g_client.store(client);
  return client;
}

CrashClient* CrashClient::Get() { return g_client.load(); }

void CrashClient::Destroy() {
  CrashClient* client = g_client.load();
  if (!client) return;
  ::SetUnhandledExceptionFilter(client->previous_filter_);
  g_client.store(nullptr);
  g_handling_crash.store(false);
  delete client;
}

void CrashClient::SetAnnotation(const std::string& key, const std::string& value) {
  if (key.empty() || value.empty()) return;
  annotations_[key] = value;
}

LONG WINAPI CrashClient::ExceptionFilter(EXCEPTION_POINTERS* exception) {
  CrashClient* client = g_client.load();
  if (!client) return EXCEPTION_CONTINUE_SEARCH;
  if (!g_handling_crash.exchange(true)) {
    ScopedFileHandle dump;
    if (client->WriteDump(exception, &dump) && client->upload_enabled_) SendReport(*client, dump.Get());
  }
  if (client->previous_filter_) return client->previous_filter_(exception);
  return EXCEPTION_CONTINUE_SEARCH;
}

bool CrashClient::WriteDump(EXCEPTION_POINTERS* exception, ScopedFileHandle* dump) {
  auto write_dump = reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(minidump_write_dump_));
  if (!write_dump) return false;
  // Held while the dump is created (elevated only).
  ScopedFileHandle folder;
  ScopedFileHandle file;
  if (elevated_) {
    // The temporary folder is the user's: the dump is made new, in a real
    // folder, as a plain file, never through a link the user put there.
    NoFollowOpen opened = OpenFolderNoFollow(DirName(dump_path_), &folder);
    if (opened == NoFollowOpen::kOpened) {
      opened =
          OpenPlainFileNoFollow(folder.Get(), dump_path_, GENERIC_READ | GENERIC_WRITE | DELETE, 0, CREATE_NEW, &file);
    }
    if (opened == NoFollowOpen::kNotPlain) {
      PlatformLogError("Not a plain file: " + WideToUtf8(dump_path_));
      return false;
    }
  } else {
    file = CreateNewFileForReadWrite(dump_path_);
  }
  if (!file.IsValid()) {
    PlatformLogError("CreateFileW: " + FormatLastError());
    return false;
  }
  std::string stream = BuildCrashInfoStream(report_id_, client_id_, annotations_);

  MINIDUMP_EXCEPTION_INFORMATION exception_information = {};
  exception_information.ThreadId = ::GetCurrentThreadId();
  exception_information.ExceptionPointers = exception;
  exception_information.ClientPointers = FALSE;
  MINIDUMP_USER_STREAM user_stream = {};
  user_stream.Type = kCrashInfoStreamType;
  user_stream.BufferSize = static_cast<ULONG>(stream.size());
  user_stream.Buffer = stream.data();
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {};
  user_streams.UserStreamCount = 1;
  user_streams.UserStreamArray = &user_stream;

  if (!write_dump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.Get(), MiniDumpWithIndirectlyReferencedMemory,
                  exception ? &exception_information : nullptr, &user_streams, nullptr)) {
    PlatformLogError("MiniDumpWriteDump: " + FormatLastError());
    return false;
  }
  WinPositionedFile positioned(file.Get());
  if (!FixUpCrashInfoStream(&positioned, static_cast<uint32_t>(annotations_.size()))) {
    PlatformLogError("the crash information stream could not be fixed up");
    return false;
  }
  *dump = std::move(file);
  return true;
}

}  // namespace ostrel
