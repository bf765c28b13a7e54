// The trusted-certificate list a setup archive carries (TRUSTED.JSON): which
// certificate pairs may sign the archive, and with which public key. Pure.
#ifndef TRUST_TRUSTED_CERTIFICATE_LIST_H_
#define TRUST_TRUSTED_CERTIFICATE_LIST_H_

#include <map>
#include <string>
#include <string_view>

namespace ostrel {

struct TrustedCertificate {
  // Issuer serial number followed by signer serial number, both big-endian.
  std::string id;
  // SHA-256 of the signer's public-key bits (32 bytes), or empty when the
  // entry names no key: then any key of that certificate pair is accepted.
  std::string public_key_sha256;
};

// Keyed by `id`, in plain byte order.
using TrustedCertificateList = std::map<std::string, TrustedCertificate>;

// Reads TRUSTED.JSON into `list` (cleared first). Entries without a string
// "id", or whose id is not strict Base64, are skipped; a "pub_key" that is not
// exactly 64 hex digits leaves the entry without a key; of two entries with
// the same id the first stays. False (logged) when the text is not JSON or
// lacks the trusted_info.certificates array.
bool GetTrustedFiles(std::string_view json, TrustedCertificateList* list);

// 64 hex digits (either case) to 32 bytes; empty for anything else.
std::string DecodePublicKeyDigest(std::string_view hex);

}  // namespace ostrel

#endif  // TRUST_TRUSTED_CERTIFICATE_LIST_H_
