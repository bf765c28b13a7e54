#include "win/application_association_registration_internal.h"

#include <cstdio>
#include <string>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/switches.h"

namespace installer::win10_default_browser {
namespace {

DWORD g_probe_timeout_ms = kProbeTimeoutMs;

using ostrel::ScopedComPtr;

// IApplicationAssociationRegistrationInternal of the Windows 10 builds, in
// the order they are tried. Kind 1 objects also need the default-browser
// interface and working handler enumeration; kind 0 objects suffice alone.
struct Candidate {
  GUID iid;
  int kind;
};
constexpr Candidate kCandidates[] = {
    {{0x2A848E25, 0xD688, 0x4AA3, {0x8E, 0x55, 0x0C, 0x16, 0xCB, 0x3A, 0x2D, 0xFB}}, 1},
    {{0xFC0BE3A5, 0x6BE4, 0x423C, {0xB2, 0x87, 0x24, 0x89, 0x34, 0xE3, 0x79, 0xC7}}, 1},
    {{0x14EBCC88, 0x2831, 0x4FC8, {0xA5, 0xDF, 0x9F, 0x36, 0xA8, 0x1D, 0xB1, 0x2C}}, 0},
    {{0x1C5C9D10, 0x1225, 0x4C97, {0x8C, 0x51, 0x98, 0xE1, 0xB6, 0xF0, 0xD4, 0xE0}}, 0},
    {{0x229D59E2, 0xF94A, 0x402E, {0x9A, 0x9F, 0x3B, 0x84, 0xA1, 0xAC, 0xED, 0x77}}, 0},
};
constexpr GUID kIidSetAppAsDefaultBrowserInternal = {
    0xB00DC47B, 0xBFF4, 0x4318, {0xBE, 0x5B, 0xA5, 0x85, 0x6F, 0x91, 0x69, 0xA2}};
constexpr GUID kIidEnumAssocHandlers = {
    0x973810AE, 0x9599, 0x4B88, {0x9E, 0x4D, 0x6E, 0xE9, 0x8C, 0x95, 0x52, 0xDA}};
constexpr GUID kIidAssocHandlerMakeDefault = {
    0xCA635855, 0xB44E, 0x4541, {0x95, 0x91, 0x9F, 0xAA, 0x53, 0x35, 0x4A, 0x53}};

constexpr const wchar_t* kProtocols[] = {L"http", L"https"};
constexpr const wchar_t* kFileTypes[] = {L".htm", L".html"};

constexpr uint32_t kBuildWithInterface = 17703;  // builds above it have the interface
constexpr uint32_t kRs4Build = 17134;
constexpr uint32_t kRs4RevisionWithInterface = 319;
constexpr uint32_t kDiagnosticBuildLimit = 29497;
constexpr uint32_t kDiagnosticRevisionLimit = 7296;

constexpr HRESULT kFunctionMissing = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

std::string FirstEightHexDigits(const GUID& iid) {
  char digits[9];
  std::snprintf(digits, sizeof(digits), "%08lX", static_cast<unsigned long>(iid.Data1));
  return digits;
}

// The first handler whose display name can be read must be able to become
// the default; nothing is changed.
bool CheckHandlers(IEnumAssocHandlers* handlers) {
  for (;;) {
    IAssocHandler* next = nullptr;
    ULONG fetched = 0;
    HRESULT hr = handlers->Next(1, &next, &fetched);
    ScopedComPtr<IAssocHandler> handler(next);
    if (FAILED(hr) || fetched == 0 || !handler) {
      LOG(ERROR) << "IEnumAssocHandlers::Next error, hr=" << hr << ", failed to find ";
      return false;
    }
    LPWSTR name = nullptr;
    hr = handler->GetUIName(&name);
    if (FAILED(hr)) {
      LOG(ERROR) << "IAssocHandler::GetUIName error, hr=" << hr << ", failed to find ";
      continue;
    }
    ::CoTaskMemFree(name);
    ScopedComPtr<IUnknown> make_default;
    hr = handler->QueryInterface(kIidAssocHandlerMakeDefault, make_default.ReceiveVoid());
    if (FAILED(hr)) {
      LOG(ERROR) << "QueryInterface(IAssocHandlerMakeDefault) error, hr=" << hr;
      return false;
    }
    return true;
  }
}

bool CheckProtocols(const ShellAssociationApi& api) {
  for (const wchar_t* protocol : kProtocols) {
    ScopedComPtr<IEnumAssocHandlers> handlers;
    HRESULT hr = api.enum_handlers_for_protocol
                     ? api.enum_handlers_for_protocol(protocol, kIidEnumAssocHandlers, handlers.ReceiveVoid())
                     : kFunctionMissing;
    if (FAILED(hr) || !handlers) {
      LOG(ERROR) << "SHAssocEnumHandlersForProtocolByApplication error, hr=" << hr << " protocol=" << protocol;
      return false;
    }
    if (!CheckHandlers(handlers.Get())) return false;
  }
  return true;
}

bool CheckFileTypes(const ShellAssociationApi& api) {
  for (const wchar_t* extension : kFileTypes) {
    ScopedComPtr<IEnumAssocHandlers> handlers;
    HRESULT hr = api.enum_handlers ? api.enum_handlers(extension, ASSOC_FILTER_NONE, handlers.Receive())
                                   : kFunctionMissing;
    if (FAILED(hr) || !handlers) {
      LOG(ERROR) << "SHAssocEnumHandlers error, hr=" << hr << " extension=" << extension;
      return false;
    }
    if (!CheckHandlers(handlers.Get())) return false;
  }
  return true;
}

template <typename Function>
Function ShellFunction(HMODULE shell32, const char* name) {
  return shell32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(shell32, name))) : nullptr;
}

// COM for the probe's own use; the probe mode does not set up the UI platform.
class ScopedComApartment {
 public:
  ScopedComApartment() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;
  ~ScopedComApartment() {
    if (initialized_) ::CoUninitialize();
  }

 private:
  bool initialized_;
};

}  // namespace

uint64_t DiagnosticNumber(int outcome, const ostrel::WindowsVersionNumbers& numbers) {
  uint64_t capped = outcome < 0 ? 0 : (outcome > kProbeOtherFailure ? kProbeOtherFailure : outcome);
  uint64_t result = capped * 1000000000ull;
  if (numbers.build < kDiagnosticBuildLimit) result += static_cast<uint64_t>(numbers.build) * 10000ull;
  if (numbers.revision < kDiagnosticRevisionLimit) result += numbers.revision;
  return result;
}

bool IsInterfaceAvailable(const ShellAssociationApi& api) {
  ScopedComApartment apartment;
  ScopedComPtr<IUnknown> registration;
  int kind = -1;
  for (const Candidate& candidate : kCandidates) {
    HRESULT hr = api.create_association_registration
                     ? api.create_association_registration(candidate.iid, registration.ReceiveVoid())
                     : kFunctionMissing;
    if (SUCCEEDED(hr) && registration) {
      LOG(INFO) << "IApplicationAssociationRegistrationInternal creation is succeeded by "
                << FirstEightHexDigits(candidate.iid);
      kind = candidate.kind;
      break;
    }
    registration.Reset();
    LOG(INFO) << "IApplicationAssociationRegistrationInternal creation is failed, hr=" << hr
              << ", guid= " << FirstEightHexDigits(candidate.iid);
  }
  if (kind < 0) {
    LOG(INFO) << "Unsupported Win10 version=" << static_cast<int>(ostrel::CurrentWindowsVersion());
    return false;
  }
  if (kind == 0) return true;

  ScopedComPtr<IUnknown> set_as_default;
  HRESULT hr = registration->QueryInterface(kIidSetAppAsDefaultBrowserInternal, set_as_default.ReceiveVoid());
  if (FAILED(hr)) {
    LOG(ERROR) << "QueryInterface(ISetAppAsDefaultBrowserInternal) error, hr=" << hr;
    return false;
  }
  return CheckProtocols(api) && CheckFileTypes(api);
}

bool IsInterfaceAvailable() {
  ostrel::ScopedLibrary shell32(::LoadLibraryW(L"shell32.dll"));
  ShellAssociationApi api;
  api.create_association_registration =
      ShellFunction<decltype(api.create_association_registration)>(shell32.Get(), "SHCreateAssociationRegistration");
  api.enum_handlers_for_protocol = ShellFunction<decltype(api.enum_handlers_for_protocol)>(
      shell32.Get(), "SHAssocEnumHandlersForProtocolByApplication");
  api.enum_handlers = ShellFunction<decltype(api.enum_handlers)>(shell32.Get(), "SHAssocEnumHandlers");
  return IsInterfaceAvailable(api);
}

bool IsInternalInterfaceAvailableSafeCheck(uint64_t* diagnostic) {
  if (ostrel::CurrentWindowsVersion() < ostrel::VERSION_WIN10) return false;
  ostrel::WindowsVersionNumbers numbers = ostrel::CurrentWindowsVersionNumbers();
  int outcome = kProbeOtherFailure;
  bool available = false;

  if (numbers.build > kBuildWithInterface ||
      (numbers.build == kRs4Build && numbers.revision >= kRs4RevisionWithInterface)) {
    outcome = kProbeAvailable;
    available = true;
  } else {
    std::wstring program = ostrel::InstallerCommandLine::ProcessCommandLine().ProgramPath();
    ostrel::InstallerCommandLine child;
    child.SetProgramPath(program);
    child.PutSwitch(ostrel::switches::kCheckTheInterface);
    std::wstring text = child.Render();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!ostrel::FileExists(program)) {
      LOG(WARNING) << "Failed to check Win10 internal interface availability: "
                   << "can't get installer exe path.";
    } else if (!::CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info)) {
      LOG(WARNING) << "Failed to check Win10 internal interface availability: "
                   << "can't run installer: " << text;
    } else {
      ostrel::ScopedKernelHandle process(info.hProcess);
      ostrel::ScopedKernelHandle thread(info.hThread);
      DWORD code = 0;
      if (::WaitForSingleObject(process.Get(), g_probe_timeout_ms) != WAIT_OBJECT_0 ||
          !::GetExitCodeProcess(process.Get(), &code)) {
        ::TerminateProcess(process.Get(), kProbeTimeoutExitCode);
        LOG(WARNING) << "Failed to check Win10 internal interface availability, "
                     << " installer was terminated by timeout.";
        outcome = kProbeTimedOut;
      } else if (static_cast<int>(code) < 0) {
        LOG(WARNING) << "Failed to check Win10 internal interface availability,"
                     << " ret code: " << static_cast<int>(code) << ", installer crashed";
        outcome = kProbeCrashed;
      } else if (static_cast<int>(code) == kInterfaceAvailableExitCode ||
                 static_cast<int>(code) == kInterfaceNotAvailableExitCode) {
        available = static_cast<int>(code) == kInterfaceAvailableExitCode;
        outcome = available ? kProbeAvailable : kProbeNotAvailable;
        LOG(INFO) << "Successfuly checked Win10 internal interface availability: "
                  << "availability: " << available;
      } else {
        LOG(WARNING) << "Failed to check Win10 internal interface availability, unknown ret code: "
                     << static_cast<int>(code);
      }
    }
  }
  *diagnostic = DiagnosticNumber(outcome, numbers);
  return available;
}

bool IsDefaultBrowserCapabilityAvailable(uint64_t* diagnostic) {
  ostrel::WindowsVersion version = ostrel::CurrentWindowsVersion();
  if (version <= ostrel::VERSION_WIN7) return true;
  if (version < ostrel::VERSION_WIN10) return false;
  return IsInternalInterfaceAvailableSafeCheck(diagnostic);
}

ScopedProbeTimeoutForTesting::ScopedProbeTimeoutForTesting(DWORD timeout_ms) : previous_(g_probe_timeout_ms) {
  g_probe_timeout_ms = timeout_ms;
}

ScopedProbeTimeoutForTesting::~ScopedProbeTimeoutForTesting() { g_probe_timeout_ms = previous_; }

}  // namespace installer::win10_default_browser
