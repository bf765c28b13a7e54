#include "trust/signature_verifier.h"

#include <string>

#include "base/logging.h"
#include "base/scoped_handle.h"

namespace ostrel {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

}  // namespace

SignatureVerifier::~SignatureVerifier() { Cleanup(); }

bool SignatureVerifier::Verify(std::string_view signature, std::string_view public_key, std::string_view data) {
  return Initialize() && HashData(data) && ImportPublicKey(public_key) && VerifySignature(signature);
}

bool SignatureVerifier::Initialize() {
  Cleanup();
  if (!::CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    provider_ = 0;
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to initialize crypt context, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::HashData(std::string_view data) {
  if (!::CryptCreateHash(provider_, CALG_SHA1, 0, 0, &hash_)) {
    hash_ = 0;
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to initialize hash object, error: " << error;
    return false;
  }
  if (!::CryptHashData(hash_, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0)) {
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to hash data, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::ImportPublicKey(std::string_view public_key) {
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD info_size = 0;
  if (!::CryptDecodeObjectEx(kEncoding, X509_PUBLIC_KEY_INFO, reinterpret_cast<const BYTE*>(public_key.data()),
                             static_cast<DWORD>(public_key.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info,
                             &info_size)) {
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to convert decode public key, error: " << error;
    return false;
  }
  ScopedLocalMemory info_owner(info);
  if (!::CryptImportPublicKeyInfo(provider_, kEncoding, info, &key_)) {
    key_ = 0;
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to import crypt key, error: " << error;
    return false;
  }
  return true;
}

bool SignatureVerifier::VerifySignature(std::string_view signature) {
  if (signature.empty()) return false;
  // The CryptoAPI takes the signature little-endian.
  std::string reversed(signature.rbegin(), signature.rend());
  if (!::CryptVerifySignatureW(hash_, reinterpret_cast<const BYTE*>(reversed.data()),
                               static_cast<DWORD>(reversed.size()), key_, nullptr, 0)) {
    unsigned long error = ::GetLastError();
    PLOG(WARNING) << "Failed to verify signature, error: " << error;
    return false;
  }
  return true;
}

void SignatureVerifier::Cleanup() {
  if (key_) {
    if (!::CryptDestroyKey(key_)) {
      unsigned long error = ::GetLastError();
      PLOG(WARNING) << "Failed to destroy crypt key, error: " << error;
    }
    key_ = 0;
  }
  if (hash_) {
    if (!::CryptDestroyHash(hash_)) {
      unsigned long error = ::GetLastError();
      PLOG(WARNING) << "Failed to destroy, error: " << error;
    }
    hash_ = 0;
  }
  if (provider_) {
    if (!::CryptReleaseContext(provider_, 0)) {
      unsigned long error = ::GetLastError();
      PLOG(WARNING) << "Failed to release crypt context, error: " << error;
    }
    provider_ = 0;
  }
}

}  // namespace ostrel
