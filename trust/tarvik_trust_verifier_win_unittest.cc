#include "trust/tarvik_trust_verifier_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <optional>

#include "base/base64.h"
#include "base/file_util.h"
#include "base/utf_string_conversions.h"
#include "testing/fake_os_facts.h"
#include "testing/log_capture.h"
#include "testing/test_util.h"
#include "trust/builtin_public_keys.h"
#include "trust/verification_features.h"

namespace ostrel {
namespace {

using ::ostrel::testing::ScopedFakeOsFacts;
using ::ostrel::testing::ScopedLogCapture;
using ::ostrel::testing::ScopedTempDir;

// Build outputs of standins/setup: the signed stand-in archives.
std::wstring StandinFile(const std::wstring& name) {
  return JoinPath(JoinPath(DirName(::ostrel::testing::TestBinaryDirectory()), L"standins"), name);
}

std::string ReadOrEmpty(const std::wstring& path) { return ::ostrel::testing::ReadFileOrEmpty(path); }

std::string ListedJson() { return ReadOrEmpty(StandinFile(L"trusted_list\\TRUSTED.JSON")); }
std::string ListedSignature() { return ReadOrEmpty(StandinFile(L"trusted_list\\SIGNATURE.DAT")); }

// A copy of the stand-in browser (a module without trust resources) given the
// trust resources that are not empty optionals.
class ModuleVariant {
 public:
  ModuleVariant(const std::optional<std::string>& signature, const std::optional<std::string>& json) {
    path_ = dir_.Append(L"variant.arc");
    EXPECT_TRUE(::CopyFileW(StandinFile(L"standin_browser.exe").c_str(), path_.c_str(), FALSE));
    HANDLE update = ::BeginUpdateResourceW(path_.c_str(), FALSE);
    EXPECT_NE(update, nullptr);
    if (signature) Add(update, L"SIGNATURE_DAT", L"SIGNATURE.DAT", *signature);
    if (json) Add(update, L"TRUSTED_JSON", L"TRUSTED.JSON", *json);
    EXPECT_TRUE(::EndUpdateResourceW(update, FALSE));
  }
  const std::wstring& path() const { return path_; }

 private:
  static void Add(HANDLE update, const wchar_t* type, const wchar_t* name, const std::string& data) {
    EXPECT_TRUE(::UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<char*>(data.data()), static_cast<DWORD>(data.size())));
  }

  ScopedTempDir dir_;
  std::wstring path_;
};

// The SHA-1-era signer's chain must end in a trusted root, as on Windows.
void TrustTestCodeSigningRoot() {
  static const bool trusted = [] {
    std::string der = ReadOrEmpty(StandinFile(L"codesign_root.cer"));
    return !der.empty() && ::CertAddEncodedCertificateToSystemStoreW(
                               L"Root", reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
  }();
  ASSERT_TRUE(trusted);
}

std::string WithKeyIndex(std::string dat, uint16_t index) {
  dat[0] = static_cast<char>(index & 0xFF);
  dat[1] = static_cast<char>(index >> 8);
  return dat;
}

TEST(GetTrustJsonFromModuleTest, ReturnsTheSignedListOfTheArchive) {
  ScopedLogCapture log;
  std::string json = GetTrustJsonFromModule(StandinFile(L"browser-setup.arc"));
  EXPECT_EQ(json, ListedJson());
  EXPECT_FALSE(json.empty());
  EXPECT_TRUE(log.records().empty());
}

TEST(GetTrustJsonFromModuleTest, ListChangedByOneByteAfterSigningIsRefused) {
  ScopedLogCapture log;
  EXPECT_EQ(GetTrustJsonFromModule(StandinFile(L"browser-setup-tampered.arc")), "");
  std::vector<std::string> texts = log.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Failed to verify signature, error: ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1].rfind("Verify error - ", 0), 0u) << texts[1];
  EXPECT_EQ(log.records()[1].function, "GetTrustJsonFromModule");
  EXPECT_EQ(log.records()[1].level, LOG_WARNING);
}

TEST(GetTrustJsonFromModuleTest, RelativePathIsRefusedBeforeOpeningIt) {
  for (const wchar_t* path : {L"browser-setup.arc", L"standins\\browser-setup.arc", L"\\standins\\x.arc", L"C:x.arc"}) {
    ScopedLogCapture log;
    EXPECT_EQ(GetTrustJsonFromModule(path), "");
    ASSERT_EQ(log.texts().size(), 1u);
    EXPECT_EQ(log.texts()[0].rfind(std::string("Attempting to GetTrustJsonFromModule at an invalid path: ") +
                                       WideToUtf8(path) + " - ",
                                   0),
              0u)
        << log.texts()[0];
  }
}

TEST(GetTrustJsonFromModuleTest, MissingFileOrModuleWithoutTheResources) {
  ScopedLogCapture log;
  std::wstring missing = StandinFile(L"no-such-file.arc");
  EXPECT_EQ(GetTrustJsonFromModule(missing), "");
  EXPECT_TRUE(log.ContainsPrefix("Failed to load module for GetTrustJsonFromModule: " + WideToUtf8(missing) + " - "));
  log.Clear();
  EXPECT_EQ(GetTrustJsonFromModule(StandinFile(L"standin_browser.exe")), "");
  EXPECT_TRUE(log.ContainsPrefix("Cannot find resource SIGNATURE_DAT - "));
}

TEST(GetTrustJsonFromModuleTest, TwoByteSignatureCountsAsMissing) {
  ModuleVariant variant(std::string("\0\0", 2), ListedJson());
  ScopedLogCapture log;
  EXPECT_EQ(GetTrustJsonFromModule(variant.path()), "");
  EXPECT_TRUE(log.ContainsPrefix("Cannot find resource SIGNATURE_DAT - "));
}

TEST(GetTrustJsonFromModuleTest, MissingList) {
  ModuleVariant variant(ListedSignature(), std::nullopt);
  ScopedLogCapture log;
  EXPECT_EQ(GetTrustJsonFromModule(variant.path()), "");
  EXPECT_TRUE(log.ContainsPrefix("Cannot find resource TRUSTED_JSON - "));
}

TEST(GetTrustJsonFromModuleTest, KeyIndexTenOrAboveIsNoKey) {
  for (uint16_t index : {10, 0x0100, 0xFFFF}) {
    ModuleVariant variant(WithKeyIndex(ListedSignature(), index), ListedJson());
    ScopedLogCapture log;
    EXPECT_EQ(GetTrustJsonFromModule(variant.path()), "");
    EXPECT_TRUE(log.ContainsPrefix("Cannot find key - ")) << index;
  }
}

TEST(GetTrustJsonFromModuleTest, KeyIndexSelectsTheKey) {
  std::string json = ReadOrEmpty(StandinFile(L"trusted_list\\key9\\TRUSTED.JSON"));
  std::string dat = ReadOrEmpty(StandinFile(L"trusted_list\\key9\\SIGNATURE.DAT"));
  ModuleVariant key9(dat, json);
  EXPECT_EQ(GetTrustJsonFromModule(key9.path()), json);
  // The same signature claimed for key 8 fails.
  ModuleVariant wrong_index(WithKeyIndex(dat, 8), json);
  ScopedLogCapture log;
  EXPECT_EQ(GetTrustJsonFromModule(wrong_index.path()), "");
  EXPECT_TRUE(log.ContainsPrefix("Verify error"));
}

TEST(GetTrustJsonFromModuleTest, KeyThatIsNotBase64IsNoKey) {
  PublicKeyTable keys = kBuiltinPublicKeys;
  keys[0] = "not base64!";
  ScopedLogCapture log;
  EXPECT_EQ(GetTrustJsonFromModuleWithKeys(StandinFile(L"browser-setup.arc"), keys), "");
  EXPECT_TRUE(log.ContainsPrefix("Cannot find key - "));
}

TrustedCertificateList ListOfTheArchive() {
  TrustedCertificateList list;
  EXPECT_TRUE(GetTrustedFiles(ListedJson(), &list));
  EXPECT_EQ(list.size(), 2u);
  return list;
}

TEST(VerifyModuleTest, AcceptsTheArchivesSignedByListedCertificates) {
  TrustTestCodeSigningRoot();
  TrustedCertificateList list = ListOfTheArchive();
  {
    ScopedLogCapture log;
    std::wstring path = StandinFile(L"browser-setup.arc");
    EXPECT_TRUE(VerifyModule(path, list, false));
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"Verifying " + WideToUtf8(path),
                                                     "File successfully verified with sha256. " + WideToUtf8(path)}));
  }
  {
    ScopedLogCapture log;
    std::wstring path = StandinFile(L"browser-setup-sha1.arc");
    EXPECT_TRUE(VerifyModule(path, list, false));
    EXPECT_TRUE(log.Contains("File successfully verified. " + WideToUtf8(path)));
  }
  // Under Wine only the primary (SHA-1) signature is checked; Windows accepts
  // it at the nested SHA-256 one.
  EXPECT_TRUE(VerifyModule(StandinFile(L"browser-setup-dual.arc"), list, false));
}

TEST(VerifyModuleTest, RefusesAnUnlistedSigner) {
  ScopedLogCapture log;
  std::wstring path = StandinFile(L"browser-setup-unlisted.arc");
  EXPECT_FALSE(VerifyModule(path, ListOfTheArchive(), false));
  std::string path8 = WideToUtf8(path);
  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "Verifying " + path8, "Can not find sertificate in trusted list. " + path8,
                             "SHA256 verification failed. " + path8, "KNOWN_ERROR_untrusted_certificate",
                             "Can not find any trusted certificates. " + path8}));
}

TEST(VerifyModuleTest, RefusesChangedAndUnsignedFiles) {
  ScopedFakeOsFacts facts;  // Windows 10: no extended check
  for (const wchar_t* name : {L"browser-setup-modified.arc", L"browser-setup-unsigned.arc"}) {
    ScopedLogCapture log;
    EXPECT_FALSE(VerifyModule(StandinFile(name), ListOfTheArchive(), false));
    EXPECT_TRUE(log.ContainsPrefix("Can not find any trusted certificates. "));
    EXPECT_FALSE(log.ContainsPrefix("Can not find sertificate"));
  }
}

TEST(VerifyModuleTest, ExtendedCheckRetriesARefusedFileOnWindows7) {
  ScopedFakeOsFacts facts;
  facts.SetWindows(6, 1, 7601, 24000);
  ScopedLogCapture log;
  std::wstring path = StandinFile(L"browser-setup-modified.arc");
  EXPECT_FALSE(VerifyModule(path, ListOfTheArchive(), false));
  EXPECT_TRUE(log.Contains("Start additional sha256 verification. " + WideToUtf8(path) + " Error code: " +
                           std::to_string(static_cast<int32_t>(TRUST_E_BAD_DIGEST))));
  EXPECT_TRUE(log.ContainsPrefix("Extended verification failed. "));
}

TEST(VerifyModuleTest, ListWithoutTheSignersKeyStillAcceptsTheCertificatePair) {
  TrustedCertificateList list = ListOfTheArchive();
  for (auto& [id, entry] : list) entry.public_key_sha256 = std::string(32, 'x');
  EXPECT_FALSE(VerifyModule(StandinFile(L"browser-setup.arc"), list, false));
  for (auto& [id, entry] : list) entry.public_key_sha256.clear();
  EXPECT_TRUE(VerifyModule(StandinFile(L"browser-setup.arc"), list, false));
}

TEST(ExtractCertParamsTest, MatchesTheListTheToolsWrote) {
  TrustTestCodeSigningRoot();
  TrustedCertificateList list = ListOfTheArchive();
  struct Case {
    const wchar_t* archive;
    bool is_sha256;
  };
  for (const Case& c : {Case{L"browser-setup.arc", true}, Case{L"browser-setup-sha1.arc", false}}) {
    std::unique_ptr<SignatureVerificationBackend> backend = CreateWinVerifyTrustBackend(StandinFile(c.archive), false);
    uint32_t exception_code = 0;
    ASSERT_EQ(backend->VerifySignature(0, &exception_code), 0);
    EXPECT_EQ(backend->SecondarySignatureCount(), 0u);
    SignatureCertParams params;
    ASSERT_TRUE(backend->ExtractCertParams(&params));
    EXPECT_EQ(params.is_sha256, c.is_sha256);
    ASSERT_TRUE(list.count(params.id));
    EXPECT_EQ(params.public_key_sha256, list.at(params.id).public_key_sha256);
    backend->Close();
    EXPECT_FALSE(backend->ExtractCertParams(&params));
  }
}

TEST(ExtractCertParamsTest, DualSignedFileReportsItsNestedSignature) {
  TrustTestCodeSigningRoot();
  std::unique_ptr<SignatureVerificationBackend> backend =
      CreateWinVerifyTrustBackend(StandinFile(L"browser-setup-dual.arc"), false);
  uint32_t exception_code = 0;
  ASSERT_EQ(backend->VerifySignature(0, &exception_code), 0);
  EXPECT_EQ(backend->SecondarySignatureCount(), 1u);
}

TEST(VerifyFileSignerTest, ResultNumbers) {
  ScopedTempDir dir;
  EXPECT_EQ(VerifyFileSigner(dir.Append(L"missing.arc")), 1u);
  ASSERT_TRUE(WriteBytesToFile(dir.Append(L"empty.arc"), ""));
  EXPECT_EQ(VerifyFileSigner(dir.Append(L"empty.arc")), 2u);
  ScopedLogCapture log;
  std::wstring unsigned_path = StandinFile(L"browser-setup-unsigned.arc");
  EXPECT_EQ(VerifyFileSigner(unsigned_path), 3u);
  EXPECT_TRUE(log.ContainsPrefix("Failed to CryptQueryObject, gle="));
  EXPECT_EQ(VerifyFileSigner(StandinFile(L"browser-setup.arc")), 0u);
}

TEST(SystemVersionsTest, Crypt32AndWindowsVersions) {
  EXPECT_TRUE(GetCrypt32DllVersion().IsValid());
  ScopedFakeOsFacts facts;
  facts.SetWindows(6, 1, 7601, 24000);
  EXPECT_EQ(GetWindowsVersion().ToString(), "6.1.7601.24000");
  EXPECT_TRUE(IsExtendedCheckNeeded());
  VerificationFeatures features;
  features.win7_version = "6.1.7601.99999";
  ScopedVerificationFeatures scoped(features);
  EXPECT_FALSE(IsExtendedCheckNeeded());
}

}  // namespace
}  // namespace ostrel
