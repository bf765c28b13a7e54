// Which Authenticode signature of an archive decides whether it is trusted.
// Pure: the Windows side (WinVerifyTrust and the certificate chain) sits
// behind SignatureVerificationBackend, so every path of the decision can be
// driven by scripted per-signature outcomes.
#ifndef TRUST_MODULE_VERIFICATION_H_
#define TRUST_MODULE_VERIFICATION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "trust/trusted_certificate_list.h"

namespace ostrel {

// sha256WithRSAEncryption: the signing certificate's algorithm that marks a
// SHA-256 signature; every other algorithm counts as SHA-1 era.
inline constexpr char kSha256WithRsaOid[] = "1.2.840.113549.1.1.11";

// What the trusted list is matched against, per signature.
struct SignatureCertParams {
  // Issuer serial number followed by signer serial number, both big-endian.
  std::string id;
  bool is_sha256 = false;
  // SHA-256 of the signer's public-key bits; empty when it was not computed,
  // which matches no listed key.
  std::string public_key_sha256;
};

// The certificate identifier from the serial numbers as Windows hands them
// over (little-endian): each is reversed, issuer first.
std::string BuildCertificateIdentifier(std::string_view issuer_serial_little_endian,
                                       std::string_view signer_serial_little_endian);
bool IsSha256SignatureAlgorithm(std::string_view algorithm_oid);

// One file's signatures, verified one index at a time.
class SignatureVerificationBackend {
 public:
  virtual ~SignatureVerificationBackend() = default;

  // Verifies signature `index` (0 = primary, then the nested ones in file
  // order) after closing the state of the previous verification. Returns the
  // verification result (0 = trusted by the system), or -1 when it raised a
  // structured exception, whose code then is in `*exception_code`.
  virtual int32_t VerifySignature(uint32_t index, uint32_t* exception_code) = 0;
  // Secondary signatures reported by the last verification (0 before any).
  virtual uint32_t SecondarySignatureCount() const = 0;
  // Certificate parameters of the last verified signature; false when its
  // state has not exactly one signer or no issuer certificate.
  virtual bool ExtractCertParams(SignatureCertParams* params) = 0;
  // Whether a refused signature is verified a second time and the signer
  // checked on its own (older systems lacking SHA-256 updates).
  virtual bool IsExtendedCheckNeeded() = 0;
  // The feature parameter verify_signer.
  virtual bool ShouldVerifySigner() = 0;
  // 0 when the file's embedded signer verifies, else an error number.
  virtual uint32_t VerifyFileSigner() = 0;
  // Closes the verification state; called on every way out.
  virtual void Close() = 0;
};

// True when a signature the system accepts belongs to a listed certificate
// pair with the listed key. A trusted SHA-256 signature wins at once; a
// refused SHA-256 signature cancels SHA-1-era successes before and after it.
bool VerifyModuleImpl(const std::wstring& path, const TrustedCertificateList& list, bool no_network,
                      SignatureVerificationBackend* backend);

}  // namespace ostrel

#endif  // TRUST_MODULE_VERIFICATION_H_
