#include "trust/tarvik_trust_verifier_win.h"

#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <optional>

#include "base/base64.h"
#include "base/file_util.h"
#include "base/hash.h"
#include "base/logging.h"
#include "base/os_facts.h"
#include "base/scoped_handle.h"
#include "base/structured_exception.h"
#include "base/system_queries.h"
#include "trust/builtin_public_keys.h"
#include "trust/signature_verifier.h"
#include "trust/verification_features.h"

namespace ostrel {
namespace {

// The signature settings of WINTRUST_DATA (Windows 8 and later), which the
// toolchain's headers lack. Older systems ignore the field and check only the
// primary signature.
struct WintrustSignatureSettings {
  DWORD cbStruct;
  DWORD dwIndex;
  DWORD dwFlags;
  DWORD cSecondarySigs;
  DWORD dwVerifiedSigIndex;
  void* pCryptoPolicy;
};
constexpr DWORD kWssVerifySpecific = 0x00000001;
constexpr DWORD kWssGetSecondarySigCount = 0x00000002;

struct WintrustDataWithSettings {
  WINTRUST_DATA data;
  WintrustSignatureSettings* pSignatureSettings;
};
static_assert(offsetof(WintrustDataWithSettings, pSignatureSettings) == sizeof(WINTRUST_DATA));

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::CertCloseStore(h, 0) != FALSE; }
};
struct CryptMsgTraits {
  using Handle = HCRYPTMSG;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static bool Close(Handle h) { return ::CryptMsgClose(h) != FALSE; }
};

// A copy of a resource of the data-file module; empty when missing.
std::string ReadResource(HMODULE module, const wchar_t* name, const wchar_t* type) {
  HRSRC resource = ::FindResourceW(module, name, type);
  if (!resource) return std::string();
  DWORD size = ::SizeofResource(module, resource);
  HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data || size == 0) return std::string();
  return std::string(static_cast<const char*>(data), size);
}

struct GuardedVerifyCall {
  WintrustDataWithSettings* trust_data;
  LONG result;
};

void CallWinVerifyTrust(void* context) {
  auto* call = static_cast<GuardedVerifyCall*>(context);
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  call->result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &call->trust_data->data);
}

class WinVerifyTrustBackend final : public SignatureVerificationBackend {
 public:
  WinVerifyTrustBackend(const std::wstring& path, bool no_network, HANDLE file) : path_(path), file_(file) {
    file_info_.cbStruct = sizeof(file_info_);
    file_info_.pcwszFilePath = path_.c_str();
    file_info_.hFile = file;
    settings_.cbStruct = sizeof(settings_);
    settings_.dwFlags = kWssVerifySpecific | kWssGetSecondarySigCount;
    WINTRUST_DATA& data = trust_data_.data;
    data.cbStruct = sizeof(trust_data_);
    data.dwUIChoice = WTD_UI_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info_;
    data.dwUIContext = WTD_UICONTEXT_INSTALL;
    if (no_network) {
      data.fdwRevocationChecks = WTD_REVOKE_NONE;
      data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    } else {
      data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
      data.dwProvFlags = WTD_REVOCATION_CHECK_CHAIN;
    }
    trust_data_.pSignatureSettings = &settings_;
  }
  ~WinVerifyTrustBackend() override { Close(); }

  int32_t VerifySignature(uint32_t index, uint32_t* exception_code) override {
    Close();
    if (file_) {
      LARGE_INTEGER start = {};
      ::SetFilePointerEx(file_, start, nullptr, FILE_BEGIN);
    }
    settings_.dwIndex = index;
    trust_data_.data.dwStateAction = WTD_STATEACTION_VERIFY;
    GuardedVerifyCall call{&trust_data_, 0};
    if (!RunWithExceptionGuard(CallWinVerifyTrust, &call, nullptr, nullptr, exception_code)) return -1;
    secondary_count_ = settings_.cSecondarySigs;
    return call.result;
  }

  uint32_t SecondarySignatureCount() const override { return secondary_count_; }

  bool ExtractCertParams(SignatureCertParams* params) override {
    return ostrel::ExtractCertParams(trust_data_.data.hWVTStateData, params);
  }

  bool IsExtendedCheckNeeded() override {
    if (!extended_check_needed_) extended_check_needed_ = ostrel::IsExtendedCheckNeeded();
    return *extended_check_needed_;
  }

  bool ShouldVerifySigner() override { return GetVerificationFeatures().verify_signer; }

  uint32_t VerifyFileSigner() override { return ostrel::VerifyFileSigner(path_); }

  void Close() override {
    if (!trust_data_.data.hWVTStateData) return;
    trust_data_.data.dwStateAction = WTD_STATEACTION_CLOSE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust_data_.data);
    trust_data_.data.hWVTStateData = nullptr;
  }

 private:
  std::wstring path_;
  HANDLE file_;
  WINTRUST_FILE_INFO file_info_ = {};
  WintrustSignatureSettings settings_ = {};
  WintrustDataWithSettings trust_data_ = {};
  uint32_t secondary_count_ = 0;
  std::optional<bool> extended_check_needed_;
};

std::string_view BlobBytes(const CRYPT_INTEGER_BLOB& blob) {
  return std::string_view(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
}

}  // namespace

std::string GetTrustJsonFromModule(const std::wstring& path) {
  return GetTrustJsonFromModuleWithKeys(path, kBuiltinPublicKeys);
}

std::string GetTrustJsonFromModuleWithKeys(const std::wstring& path, const PublicKeyTable& keys) {
  constexpr char kTag[] = "GetTrustJsonFromModule";
  if (!IsAbsolutePath(path)) {
    PLOG_TAG(WARNING, kTag) << "Attempting to GetTrustJsonFromModule at an invalid path: " << path;
    return std::string();
  }
  // As data: the resource lookups need no image layout, and mapping the
  // archive as an image costs time in proportion to its size (some 0.8 s for
  // 200 MB under Wine) before its signature is even looked at.
  ScopedLibrary module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module.IsValid()) {
    PLOG_TAG(WARNING, kTag) << "Failed to load module for GetTrustJsonFromModule: " << path;
    return std::string();
  }
  std::string signature = ReadResource(module.Get(), L"SIGNATURE.DAT", L"SIGNATURE_DAT");
  if (signature.size() <= 2) {
    PLOG_TAG(WARNING, kTag) << "Cannot find resource " << "SIGNATURE_DAT";
    return std::string();
  }
  std::string json = ReadResource(module.Get(), L"TRUSTED.JSON", L"TRUSTED_JSON");
  if (json.empty()) {
    PLOG_TAG(WARNING, kTag) << "Cannot find resource " << "TRUSTED_JSON";
    return std::string();
  }
  size_t key_index = static_cast<uint8_t>(signature[0]) | (static_cast<uint8_t>(signature[1]) << 8);
  std::string key;
  if (key_index >= keys.size() || !keys[key_index] || !Base64Decode(keys[key_index], &key)) {
    PLOG_TAG(WARNING, kTag) << "Cannot find key";
    return std::string();
  }
  SignatureVerifier verifier;
  if (!verifier.Verify(std::string_view(signature).substr(2), key, json)) {
    PLOG_TAG(WARNING, kTag) << "Verify error";
    return std::string();
  }
  return json;
}

bool VerifyModule(const std::wstring& path, const TrustedCertificateList& list, bool no_network, HANDLE file) {
  LOG(INFO) << "Verifying " << path;
  if (list.empty()) return false;
  std::unique_ptr<SignatureVerificationBackend> backend = CreateWinVerifyTrustBackend(path, no_network, file);
  return VerifyModuleImpl(path, list, no_network, backend.get());
}

bool VerifyModuleImpl(const std::wstring& path, const TrustedCertificateList& list, bool no_network) {
  if (list.empty()) return false;
  std::unique_ptr<SignatureVerificationBackend> backend = CreateWinVerifyTrustBackend(path, no_network);
  return VerifyModuleImpl(path, list, no_network, backend.get());
}

std::unique_ptr<SignatureVerificationBackend> CreateWinVerifyTrustBackend(const std::wstring& path,
                                                                          bool no_network, HANDLE file) {
  return std::make_unique<WinVerifyTrustBackend>(path, no_network, file);
}

bool ExtractCertParams(HANDLE state_data, SignatureCertParams* params) {
  CRYPT_PROVIDER_DATA* provider = state_data ? ::WTHelperProvDataFromStateData(state_data) : nullptr;
  if (!provider || provider->csSigners != 1) return false;
  CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (!signer || signer->csCertChain < 2) return false;
  CRYPT_PROVIDER_CERT* signing = ::WTHelperGetProvCertFromChain(signer, 0);
  CRYPT_PROVIDER_CERT* issuing = ::WTHelperGetProvCertFromChain(signer, 1);
  if (!signing || !signing->pCert || !issuing || !issuing->pCert) return false;
  const CERT_INFO* signer_info = signing->pCert->pCertInfo;
  const CERT_INFO* issuer_info = issuing->pCert->pCertInfo;

  params->id = BuildCertificateIdentifier(BlobBytes(issuer_info->SerialNumber), BlobBytes(signer_info->SerialNumber));
  params->is_sha256 = signer_info->SignatureAlgorithm.pszObjId &&
                      IsSha256SignatureAlgorithm(signer_info->SignatureAlgorithm.pszObjId);
  params->public_key_sha256.clear();
  const CRYPT_BIT_BLOB& key_bits = signer_info->SubjectPublicKeyInfo.PublicKey;
  if (key_bits.cUnusedBits != 0) {
    LOG(WARNING) << "Unsupported case: cUnusedBit=" << static_cast<unsigned long>(key_bits.cUnusedBits);
    return true;
  }
  std::array<uint8_t, 32> digest;
  if (!ComputeSha256(std::string_view(reinterpret_cast<const char*>(key_bits.pbData), key_bits.cbData), &digest)) {
    LOG(WARNING) << "Failed to get public key sha256";
    return true;
  }
  params->public_key_sha256.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
  return true;
}

uint32_t VerifyFileSigner(const std::wstring& path) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid() && !FileExists(path)) return 1;
  char byte = 0;
  DWORD read = 0;
  if (!file.IsValid() || !::ReadFile(file.Get(), &byte, 1, &read, nullptr) || read != 1) return 2;
  file.Close();

  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr)) {
    unsigned long error = ::GetLastError();
    LOG(WARNING) << "Failed to CryptQueryObject, gle=" << error << " filepath=" << path;
    return 3;
  }
  ScopedGeneric<CertStoreTraits> store_owner(store);
  ScopedGeneric<CryptMsgTraits> message_owner(message);
  if (!::CryptMsgGetAndVerifySigner(message, 1, &store, CMSG_TRUSTED_SIGNER_FLAG, nullptr, nullptr)) {
    unsigned long error = ::GetLastError();
    LOG(WARNING) << "Failed to CryptMsgGetAndVerifySigner, gle=" << error << " filepath=" << path;
    return 4;
  }
  return 0;
}

Version GetCrypt32DllVersion() {
  wchar_t system_directory[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryW(system_directory, MAX_PATH);
  uint64_t version = 0;
  if (length == 0 || length >= MAX_PATH ||
      !GetFileVersion(JoinPath(system_directory, L"crypt32.dll"), &version)) {
    LOG(WARNING) << "crypt32.dll" << " CreateFileVersionInfo error";
    return Version();
  }
  return Version({static_cast<uint32_t>(version >> 48), static_cast<uint32_t>((version >> 32) & 0xFFFF),
                  static_cast<uint32_t>((version >> 16) & 0xFFFF), static_cast<uint32_t>(version & 0xFFFF)});
}

Version GetWindowsVersion() { return GetWindowsVersion(GetOsFacts().GetVersionNumbers()); }

bool IsExtendedCheckNeeded() {
  return IsExtendedCheckNeeded(GetOsFacts().GetVersionNumbers(), GetVerificationFeatures(), GetCrypt32DllVersion);
}

}  // namespace ostrel
