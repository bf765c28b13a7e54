// Treats arbitrary bytes as an executable and reads both installer tags: the
// readers must stay inside the input and return text that lies within it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/installer_tag.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "installer_tag_fuzzer: %s\n", message);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);

  std::optional<ostrel::CertificateTable> table = ostrel::FindCertificateTable(file);
  if (table && (table->offset > size || table->size > size - table->offset)) Fail("table outside the file");

  std::string tag = "unchanged";
  ostrel::DummyCertificateTagStatus status = ostrel::ExtractDummyCertificateTag(file, &tag);
  if (status != ostrel::DummyCertificateTagStatus::kOk && !tag.empty()) Fail("a failed walk returned text");
  if (status == ostrel::DummyCertificateTagStatus::kOk && (!table || tag.size() > table->size))
    Fail("tag larger than the certificate table");

  std::optional<std::string_view> trailer = ostrel::FindTrailerTag(file);
  if (trailer && (trailer->data() < file.data() || trailer->data() + trailer->size() > file.data() + file.size()))
    Fail("trailer tag outside the file");
  return 0;
}
