// RSA PKCS #1 v1.5 SHA-1 signature checks with the CryptoAPI: how a setup
// archive's trusted list is tied to one of the built-in keys.
#ifndef TRUST_SIGNATURE_VERIFIER_H_
#define TRUST_SIGNATURE_VERIFIER_H_

#include <windows.h>
#include <wincrypt.h>

#include <string_view>

namespace ostrel {

// Holds a provider, a hash and a key (each 0 when not held). Every failure is
// logged by the operation itself with the system error and reported as false.
class SignatureVerifier {
 public:
  SignatureVerifier() = default;
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;
  ~SignatureVerifier();

  // Initialize, HashData(data), ImportPublicKey(public_key), VerifySignature
  // (signature), stopping at the first failure. `signature` is big-endian,
  // `public_key` a DER SubjectPublicKeyInfo.
  bool Verify(std::string_view signature, std::string_view public_key, std::string_view data);

  bool Initialize();
  bool HashData(std::string_view data);
  bool ImportPublicKey(std::string_view public_key);
  bool VerifySignature(std::string_view signature);
  void Cleanup();

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
  HCRYPTKEY key_ = 0;
};

}  // namespace ostrel

#endif  // TRUST_SIGNATURE_VERIFIER_H_
