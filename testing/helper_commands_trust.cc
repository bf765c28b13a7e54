// test_helper commands for module verification.
//   trust-test-root <DER certificate>   adds the certificate to the current
//                                       user's Root store (the test code-
//                                       signing root, build/<preset>/standins/
//                                       codesign_root.cer)
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "base/file_util.h"
#include "testing/helper_commands.h"

namespace ostrel::testing {
namespace {

int TrustTestRoot(const std::vector<std::wstring>& a) {
  if (a.empty()) return 2;
  std::string der;
  if (!ReadFileToBytes(a[0], &der)) return 3;
  return ::CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                   static_cast<DWORD>(der.size()))
             ? 0
             : 4;
}

HelperCommandRegistrar trust_test_root_command(L"trust-test-root", TrustTestRoot);

}  // namespace
}  // namespace ostrel::testing
