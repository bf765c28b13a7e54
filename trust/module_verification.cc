#include "trust/module_verification.h"

#include "base/logging.h"

namespace ostrel {
namespace {

constexpr char kTag[] = "VerifyModuleImpl";

enum class Lookup { kNotFound, kKeyMismatch, kTrusted };

Lookup LookUp(const TrustedCertificateList& list, const SignatureCertParams& params) {
  auto it = list.find(params.id);
  if (it == list.end()) return Lookup::kNotFound;
  const std::string& expected = it->second.public_key_sha256;
  // An entry without a key is the list signer's choice to trust the serials
  // alone. A listed key that could not be compared (a key with unused bits,
  // a digest that failed) does not match: an error must not let a signer in.
  if (!expected.empty() && expected != params.public_key_sha256) return Lookup::kKeyMismatch;
  return Lookup::kTrusted;
}

class ScopedBackendClose {
 public:
  explicit ScopedBackendClose(SignatureVerificationBackend* backend) : backend_(backend) {}
  ScopedBackendClose(const ScopedBackendClose&) = delete;
  ScopedBackendClose& operator=(const ScopedBackendClose&) = delete;
  ~ScopedBackendClose() { backend_->Close(); }

 private:
  SignatureVerificationBackend* backend_;
};

// The state kept across the signatures of one file.
struct SignatureWalk {
  const std::wstring& path;
  const TrustedCertificateList& list;
  bool no_network;
  SignatureVerificationBackend* backend;
  bool trusted_found = false;
  bool sha256_failed = false;

  // True when signature `index` settles the file as trusted.
  bool Check(uint32_t index) {
    uint32_t exception_code = 0;
    int32_t result = backend->VerifySignature(index, &exception_code);
    if (result == -1) {
      LOG_TAG(WARNING, kTag) << "An attempt to verify " << path << " generated an exception " << exception_code
                             << ", is_prevents_net_usage = " << (no_network ? 1 : 0);
      return false;
    }
    if (result != 0) {
      if (!backend->IsExtendedCheckNeeded()) return false;
      LOG_TAG(ERROR, kTag) << "Start additional sha256 verification. " << path << " Error code: " << result;
      result = backend->VerifySignature(index, &exception_code);
      LOG_TAG(INFO, kTag) << "Extended verification " << (result == 0 ? "success. " : "failed. ") << path
                          << " Error code: " << result;
      if (result != 0) return false;
    }
    if (backend->IsExtendedCheckNeeded() && backend->ShouldVerifySigner()) {
      LOG_TAG(INFO, kTag) << "Trying to verify the signer of file " << path;
      uint32_t signer_error = backend->VerifyFileSigner();
      if (signer_error != 0) {
        LOG_TAG(WARNING, kTag) << "Failed to verify signer, error=" << signer_error;
        return false;
      }
      LOG_TAG(INFO, kTag) << "Signer verified";
    }
    SignatureCertParams params;
    if (!backend->ExtractCertParams(&params)) {
      LOG_TAG(ERROR, kTag) << "ExtractCertParams failed. " << path;
      return false;
    }
    // A SHA-1-era signature never rescues a file whose SHA-256 signature
    // was refused.
    if (sha256_failed && !params.is_sha256) return false;
    switch (LookUp(list, params)) {
      case Lookup::kNotFound:
        LOG_TAG(WARNING, kTag) << "Can not find sertificate in trusted list. " << path;
        break;
      case Lookup::kKeyMismatch:
        LOG_TAG(WARNING, kTag) << "Public key is not match. " << path;
        break;
      case Lookup::kTrusted:
        trusted_found = true;
        if (!params.is_sha256) return false;
        LOG_TAG(INFO, kTag) << "File successfully verified with sha256. " << path;
        return true;
    }
    if (params.is_sha256) {
      LOG_TAG(WARNING, kTag) << "SHA256 verification failed. " << path;
      trusted_found = false;
      sha256_failed = true;
    }
    return false;
  }
};

}  // namespace

std::string BuildCertificateIdentifier(std::string_view issuer_serial_little_endian,
                                       std::string_view signer_serial_little_endian) {
  std::string id(issuer_serial_little_endian.rbegin(), issuer_serial_little_endian.rend());
  id.append(signer_serial_little_endian.rbegin(), signer_serial_little_endian.rend());
  return id;
}

bool IsSha256SignatureAlgorithm(std::string_view algorithm_oid) { return algorithm_oid == kSha256WithRsaOid; }

bool VerifyModuleImpl(const std::wstring& path, const TrustedCertificateList& list, bool no_network,
                      SignatureVerificationBackend* backend) {
  if (list.empty()) return false;
  ScopedBackendClose close_on_return(backend);
  SignatureWalk walk{path, list, no_network, backend};
  // The primary signature, then every nested one the system reported.
  uint32_t index = 0;
  do {
    if (walk.Check(index)) return true;
  } while (index++ < backend->SecondarySignatureCount());
  if (walk.trusted_found) {
    LOG(INFO) << "File successfully verified. " << path;
    return true;
  }
  LOG(WARNING) << "KNOWN_ERROR_untrusted_certificate";
  LOG(WARNING) << "Can not find any trusted certificates. " << path;
  return false;
}

}  // namespace ostrel
