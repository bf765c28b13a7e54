#include "win/application_association_registration_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/file_util.h"
#include "base/installer_command_line.h"
#include "base/utf_string_conversions.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"

namespace installer::win10_default_browser {
namespace {

using ostrel::testing::ScopedFakeOsFacts;
using ostrel::testing::ScopedLogCapture;

constexpr HRESULT kNoInterface = E_NOINTERFACE;  // -2147467262

// --- Fake shell objects ------------------------------------------------------

// IUnknown reference counting for the fakes; QueryInterface answers IUnknown
// and the identifiers in `interfaces_`.
template <typename Interface>
class FakeComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    for (const GUID& iid : interfaces_) {
      if (IsEqualGUID(riid, iid) || IsEqualGUID(riid, IID_IUnknown)) {
        AddRef();
        *object = this;
        return S_OK;
      }
    }
    *object = nullptr;
    return kNoInterface;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  std::vector<GUID> interfaces_;

 protected:
  virtual ~FakeComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

constexpr GUID kMakeDefault = {0xCA635855, 0xB44E, 0x4541, {0x95, 0x91, 0x9F, 0xAA, 0x53, 0x35, 0x4A, 0x53}};
constexpr GUID kSetAppAsDefaultBrowser = {
    0xB00DC47B, 0xBFF4, 0x4318, {0xBE, 0x5B, 0xA5, 0x85, 0x6F, 0x91, 0x69, 0xA2}};

struct HandlerBehaviour {
  bool name_readable;
  bool makes_default;
};

class FakeHandler : public FakeComObject<IAssocHandler> {
 public:
  explicit FakeHandler(const HandlerBehaviour& behaviour) : behaviour_(behaviour) {
    if (behaviour.makes_default) interfaces_.push_back(kMakeDefault);
  }
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUIName(LPWSTR* name) override {
    if (!behaviour_.name_readable) return E_FAIL;
    *name = static_cast<LPWSTR>(::CoTaskMemAlloc(8 * sizeof(wchar_t)));
    wcscpy(*name, L"Browser");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR*, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsRecommended() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MakeDefault(LPCWSTR) override {
    ADD_FAILURE() << "the probe must not change anything";
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IDataObject*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInvoker(IDataObject*, IAssocHandlerInvoker**) override { return E_NOTIMPL; }

 private:
  HandlerBehaviour behaviour_;
};

class FakeEnumerator : public FakeComObject<IEnumAssocHandlers> {
 public:
  explicit FakeEnumerator(std::vector<HandlerBehaviour> handlers) : handlers_(std::move(handlers)) {}
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IAssocHandler** handlers, ULONG* fetched) override {
    EXPECT_EQ(count, 1u);
    if (next_ >= handlers_.size()) {
      *fetched = 0;
      return S_FALSE;
    }
    handlers[0] = new FakeHandler(handlers_[next_++]);
    *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<HandlerBehaviour> handlers_;
  size_t next_ = 0;
};

class FakeRegistration : public FakeComObject<IUnknown> {};

// What the fake shell answers; the API functions read it from here.
struct FakeShell {
  int created_candidate = -1;  // 0-based order of the candidate that exists
  bool has_set_as_default = true;
  HRESULT protocol_result = S_OK;
  HRESULT extension_result = S_OK;
  std::vector<HandlerBehaviour> handlers = {{true, true}};
  int creations = 0;
  std::vector<std::wstring> enumerated;
};
FakeShell* g_shell = nullptr;

HRESULT WINAPI FakeCreate(REFIID, void** object) {
  if (g_shell->creations++ != g_shell->created_candidate) return kNoInterface;
  auto* registration = new FakeRegistration();
  if (g_shell->has_set_as_default) registration->interfaces_.push_back(kSetAppAsDefaultBrowser);
  *object = registration;
  return S_OK;
}

HRESULT WINAPI FakeEnumForProtocol(PCWSTR protocol, REFIID riid, void** handlers) {
  EXPECT_TRUE(IsEqualGUID(riid, IID_IEnumAssocHandlers));
  g_shell->enumerated.push_back(protocol);
  if (FAILED(g_shell->protocol_result)) return g_shell->protocol_result;
  *handlers = static_cast<IEnumAssocHandlers*>(new FakeEnumerator(g_shell->handlers));
  return S_OK;
}

HRESULT WINAPI FakeEnum(PCWSTR extension, ASSOC_FILTER filter, IEnumAssocHandlers** handlers) {
  EXPECT_EQ(filter, ASSOC_FILTER_NONE);
  g_shell->enumerated.push_back(extension);
  if (FAILED(g_shell->extension_result)) return g_shell->extension_result;
  *handlers = new FakeEnumerator(g_shell->handlers);
  return S_OK;
}

class InterfaceProbeTest : public ::testing::Test {
 protected:
  InterfaceProbeTest() {
    g_shell = &shell_;
    api_.create_association_registration = FakeCreate;
    api_.enum_handlers_for_protocol = FakeEnumForProtocol;
    api_.enum_handlers = FakeEnum;
  }
  ~InterfaceProbeTest() override { g_shell = nullptr; }

  bool Probe() {
    log_.Clear();
    shell_.creations = 0;
    shell_.enumerated.clear();
    return IsInterfaceAvailable(api_);
  }

  FakeShell shell_;
  ShellAssociationApi api_;
  ScopedFakeOsFacts facts_;
  ScopedLogCapture log_;
};

TEST_F(InterfaceProbeTest, NoCandidateMeansAnUnsupportedWindows) {
  EXPECT_FALSE(Probe());
  std::vector<std::string> expected;
  for (const char* digits : {"2A848E25", "FC0BE3A5", "14EBCC88", "1C5C9D10", "229D59E2"}) {
    expected.push_back(std::string("IApplicationAssociationRegistrationInternal creation is failed, hr=-2147467262, "
                                   "guid= ") +
                       digits);
  }
  expected.push_back("Unsupported Win10 version=20");  // 19045 is the 22H2 step
  EXPECT_EQ(log_.texts(), expected);
  for (const auto& record : log_.records()) EXPECT_EQ(record.function, "IsInterfaceAvailable");
}

TEST_F(InterfaceProbeTest, KindZeroCandidatesNeedNoHandlerProbing) {
  shell_.created_candidate = 2;
  shell_.protocol_result = E_FAIL;
  EXPECT_TRUE(Probe());
  EXPECT_TRUE(shell_.enumerated.empty());
  EXPECT_EQ(log_.texts().back(), "IApplicationAssociationRegistrationInternal creation is succeeded by 14EBCC88");
  EXPECT_EQ(log_.texts().size(), 3u);
}

TEST_F(InterfaceProbeTest, KindOneCandidatesProbeProtocolsThenFileTypes) {
  shell_.created_candidate = 1;
  EXPECT_TRUE(Probe());
  EXPECT_EQ(shell_.enumerated, (std::vector<std::wstring>{L"http", L"https", L".htm", L".html"}));

  shell_.has_set_as_default = false;
  EXPECT_FALSE(Probe());
  EXPECT_EQ(log_.texts().back(), "QueryInterface(ISetAppAsDefaultBrowserInternal) error, hr=-2147467262");
  EXPECT_TRUE(shell_.enumerated.empty());

  shell_.has_set_as_default = true;
  shell_.protocol_result = E_FAIL;
  EXPECT_FALSE(Probe());
  EXPECT_EQ(log_.texts().back(), "SHAssocEnumHandlersForProtocolByApplication error, hr=-2147467259 protocol=http");
  EXPECT_EQ(shell_.enumerated, std::vector<std::wstring>{L"http"});

  shell_.protocol_result = S_OK;
  shell_.extension_result = E_ACCESSDENIED;
  EXPECT_FALSE(Probe());
  EXPECT_EQ(log_.texts().back(), "SHAssocEnumHandlers error, hr=-2147024891 extension=.htm");
  EXPECT_EQ(log_.records().back().level, ostrel::LOG_ERROR);
}

TEST_F(InterfaceProbeTest, FirstHandlerWithAReadableNameDecides) {
  shell_.created_candidate = 0;
  shell_.handlers = {{false, true}, {true, true}, {true, false}};
  EXPECT_TRUE(Probe());
  // Each of the four enumerations skipped the first handler.
  int unreadable = 0;
  for (const std::string& text : log_.texts())
    unreadable += text == "IAssocHandler::GetUIName error, hr=-2147467259, failed to find ";
  EXPECT_EQ(unreadable, 4);

  shell_.handlers = {{false, true}, {true, false}, {true, true}};
  EXPECT_FALSE(Probe());
  EXPECT_EQ(log_.texts().back(), "QueryInterface(IAssocHandlerMakeDefault) error, hr=-2147467262");

  shell_.handlers = {{false, true}};
  EXPECT_FALSE(Probe());
  EXPECT_EQ(log_.texts().back(), "IEnumAssocHandlers::Next error, hr=1, failed to find ");
}

TEST(InterfaceProbeRealTest, ShellOfThisSystemHasNoInternalInterface) {
  ScopedLogCapture log;
  EXPECT_FALSE(IsInterfaceAvailable());
  EXPECT_EQ(log.texts().back().rfind("Unsupported Win10 version=", 0), 0u);
}

// --- Diagnostic number and the safe check ----------------------------------

TEST(DiagnosticNumberTest, CombinesOutcomeBuildAndRevision) {
  EXPECT_EQ(DiagnosticNumber(kProbeAvailable, {10, 0, 19045, 3803}), 190453803u);
  EXPECT_EQ(DiagnosticNumber(kProbeNotAvailable, {10, 0, 17134, 300}), 2171340300u);
  EXPECT_EQ(DiagnosticNumber(kProbeTimedOut, {10, 0, 29496, 7295}), 3294967295u);
  EXPECT_EQ(DiagnosticNumber(kProbeCrashed, {10, 0, 29497, 7296}), 1000000000u);
  EXPECT_EQ(DiagnosticNumber(9, {10, 0, 0, 0}), 4000000000u);
}

class SafeCheckTest : public ::testing::Test {
 protected:
  SafeCheckTest() { SetChild(L""); }
  ~SafeCheckTest() override { ::SetEnvironmentVariableW(L"TARVIK_PROBE_CHILD", nullptr); }

  // The probe child is test_helper.exe, which plays the part chosen here.
  void SetChild(const std::wstring& behaviour, const std::wstring& program = ostrel::testing::TestHelperPath()) {
    ::SetEnvironmentVariableW(L"TARVIK_PROBE_CHILD", behaviour.c_str());
    command_line_.reset();  // overrides nest: the old one goes first
    command_line_ = std::make_unique<ostrel::ScopedProcessCommandLineOverride>(
        ostrel::InstallerCommandLine::ParseString(ostrel::testing::Quote(program) + L" --silent"));
  }

  bool Check() {
    log_.Clear();
    diagnostic_ = 77;
    return IsInternalInterfaceAvailableSafeCheck(&diagnostic_);
  }

  uint64_t diagnostic_ = 0;
  std::unique_ptr<ostrel::ScopedProcessCommandLineOverride> command_line_;
  ScopedFakeOsFacts facts_;
  ScopedLogCapture log_;
};

TEST_F(SafeCheckTest, VersionRulesDecideWithoutAChild) {
  SetChild(L"701", L"C:\\nowhere\\installer.exe");  // any child would fail
  facts_.SetWindows(6, 3, 9600);
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 77u);  // untouched before Windows 10
  EXPECT_FALSE(IsDefaultBrowserCapabilityAvailable(&diagnostic_));
  facts_.SetWindows(6, 1, 7601);
  EXPECT_TRUE(IsDefaultBrowserCapabilityAvailable(&diagnostic_));
  EXPECT_EQ(diagnostic_, 77u);

  facts_.SetWindows(10, 0, 19045, 3803);
  EXPECT_TRUE(Check());
  EXPECT_EQ(diagnostic_, 190453803u);
  facts_.SetWindows(10, 0, 17134, 319);
  EXPECT_TRUE(Check());
  EXPECT_EQ(diagnostic_, 171340319u);
  EXPECT_TRUE(log_.texts().empty());
}

TEST_F(SafeCheckTest, ChildExitCodeDecidesOlderBuilds) {
  ScopedProbeTimeoutForTesting slow_start(60000);
  facts_.SetWindows(10, 0, 17134, 300);
  SetChild(L"701");
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 2171340300u);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Successfuly checked Win10 internal interface availability: "
                                                   "availability: 0"});

  facts_.SetWindows(10, 0, 15063, 2);
  SetChild(L"700");
  EXPECT_TRUE(Check());
  EXPECT_EQ(diagnostic_, 150630002u);
  EXPECT_TRUE(IsDefaultBrowserCapabilityAvailable(&diagnostic_));

  SetChild(L"42");
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 4150630002u);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Failed to check Win10 internal interface availability, "
                                                   "unknown ret code: 42"});
  EXPECT_EQ(log_.records()[0].level, ostrel::LOG_WARNING);

  SetChild(L"crash");
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 1150630002u);
  ASSERT_EQ(log_.texts().size(), 1u);
  EXPECT_EQ(log_.texts()[0].rfind("Failed to check Win10 internal interface availability, ret code: -", 0), 0u);
  EXPECT_NE(log_.texts()[0].find(", installer crashed"), std::string::npos);
}

TEST_F(SafeCheckTest, HangingChildIsTerminatedWith22) {
  facts_.SetWindows(10, 0, 16299, 15);
  ostrel::testing::ScopedTempDir dir;
  std::wstring pid_file = dir.Append(L"child.pid");
  ::SetEnvironmentVariableW(L"TARVIK_PROBE_CHILD_PID_FILE", pid_file.c_str());
  SetChild(L"hang");

  bool available = true;
  DWORD started = ::GetTickCount();
  std::thread check([&] { available = Check(); });
  ostrel::ScopedKernelHandle child;
  for (int i = 0; i < 100 && !child.IsValid(); ++i) {
    ::Sleep(50);
    std::string pid = ostrel::testing::ReadFileOrEmpty(pid_file);
    if (!pid.empty())
      child.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(pid)));
  }
  check.join();
  DWORD elapsed = ::GetTickCount() - started;
  ::SetEnvironmentVariableW(L"TARVIK_PROBE_CHILD_PID_FILE", nullptr);

  EXPECT_FALSE(available);
  EXPECT_EQ(diagnostic_, 3162990015u);
  EXPECT_GE(elapsed, kProbeTimeoutMs - 100);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Failed to check Win10 internal interface availability,  "
                                                   "installer was terminated by timeout."});
  ASSERT_TRUE(child.IsValid());
  ASSERT_EQ(::WaitForSingleObject(child.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD exit_code = 0;
  ::GetExitCodeProcess(child.Get(), &exit_code);
  EXPECT_EQ(exit_code, kProbeTimeoutExitCode);
}

TEST_F(SafeCheckTest, MissingOrBrokenProgramIsAnOtherFailure) {
  facts_.SetWindows(10, 0, 10240, 16384);  // revision too large for the number
  SetChild(L"700", L"C:\\nowhere\\installer.exe");
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 4102400000u);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Failed to check Win10 internal interface availability: "
                                                   "can't get installer exe path."});

  ostrel::testing::ScopedTempDir dir;
  std::wstring not_a_program = dir.Append(L"installer.exe");
  ostrel::WriteBytesToFile(not_a_program, "text");
  SetChild(L"700", not_a_program);
  EXPECT_FALSE(Check());
  EXPECT_EQ(diagnostic_, 4102400000u);
  EXPECT_EQ(log_.texts(), std::vector<std::string>{"Failed to check Win10 internal interface availability: "
                                                   "can't run installer: " +
                                                   ostrel::WideToUtf8(ostrel::testing::Quote(not_a_program)) +
                                                   " --check-the-interface"});
}

}  // namespace
}  // namespace installer::win10_default_browser
