// Whether a downloaded setup archive may be run: its signed trusted list
// (GetTrustJsonFromModule, then GetTrustedFiles) and its Authenticode
// signatures checked against that list (VerifyModule).
#ifndef TRUST_TARVIK_TRUST_VERIFIER_WIN_H_
#define TRUST_TARVIK_TRUST_VERIFIER_WIN_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/version.h"
#include "trust/module_verification.h"
#include "trust/trusted_certificate_list.h"

namespace ostrel {

using PublicKeyTable = std::array<const char*, 10>;

// The TRUSTED.JSON bytes of the module at `path` (an absolute path; loaded as
// data only) when its SIGNATURE.DAT verifies with the built-in key it names;
// empty on any failure, which is logged.
std::string GetTrustJsonFromModule(const std::wstring& path);
// The same against another key table (tests).
std::string GetTrustJsonFromModuleWithKeys(const std::wstring& path, const PublicKeyTable& keys);

// Logs "Verifying <path>" and runs VerifyModuleImpl with WinVerifyTrust.
// With `file` (open for reading), the signatures are read through that handle
// and `path` only names the file: no later change of what the name points at
// can slip another file past the check.
bool VerifyModule(const std::wstring& path, const TrustedCertificateList& list, bool no_network,
                  HANDLE file = nullptr);
bool VerifyModuleImpl(const std::wstring& path, const TrustedCertificateList& list, bool no_network);

// 0 when the signer of the file's embedded PKCS #7 signature verifies; 1 no
// such file, 2 unreadable, 3 no signature, 4 the signer does not verify.
uint32_t VerifyFileSigner(const std::wstring& path);

// The file version of crypt32.dll; invalid (and logged) when unknown.
Version GetCrypt32DllVersion();
// The running Windows as major.minor.build.revision.
Version GetWindowsVersion();
// The extended-check rule on this machine with the current features.
bool IsExtendedCheckNeeded();

// The certificate parameters of the signature verified with `state_data`
// (the WinVerifyTrust state handle).
bool ExtractCertParams(HANDLE state_data, SignatureCertParams* params);

// WinVerifyTrust on one file, one signature index at a time.
std::unique_ptr<SignatureVerificationBackend> CreateWinVerifyTrustBackend(const std::wstring& path,
                                                                          bool no_network, HANDLE file = nullptr);

}  // namespace ostrel

#endif  // TRUST_TARVIK_TRUST_VERIFIER_WIN_H_
