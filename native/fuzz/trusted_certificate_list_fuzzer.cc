// Reads arbitrary text as a trusted list: it must not crash, and every entry
// it keeps is keyed by its own identifier with a digest of 0 or 32 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "trust/trusted_certificate_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ostrel::TrustedCertificateList list;
  bool ok = ostrel::GetTrustedFiles(std::string_view(reinterpret_cast<const char*>(data), size), &list);
  if (!ok && !list.empty()) {
    std::fprintf(stderr, "trusted_certificate_list_fuzzer: a failed read left entries\n");
    std::abort();
  }
  for (const auto& [id, entry] : list) {
    if (entry.id != id || (!entry.public_key_sha256.empty() && entry.public_key_sha256.size() != 32)) {
      std::fprintf(stderr, "trusted_certificate_list_fuzzer: inconsistent entry\n");
      std::abort();
    }
  }
  return 0;
}
