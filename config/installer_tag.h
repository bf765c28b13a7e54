// Installer tags: distribution parameters stamped into an executable's
// certificate table after signing. Pure functions over the file's bytes (no
// OS calls) so they can be fuzzed natively; a stamped file comes from the
// internet, so every length is checked against the element that holds it.
#ifndef CONFIG_INSTALLER_TAG_H_
#define CONFIG_INSTALLER_TAG_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The first 112 content bytes of a dummy certificate's TBSCertificate:
// version 3, serial 1, sha1WithRSAEncryption, issuer "Unknown issuer",
// validity 2013-01-01..2013-04-01, subject "Dummy certificate".
inline constexpr size_t kDummyCertificatePrefixSize = 112;
extern const unsigned char kDummyCertificatePrefix[kDummyCertificatePrefixSize];

// Magic that opens a trailer tag block.
inline constexpr char kTrailerTagMagic[] = "Qact";

struct CertificateTable {
  size_t offset = 0;  // file offset of the WIN_CERTIFICATE header
  size_t size = 0;
};

// The certificate table named by the PE security directory (PE32 or PE32+),
// when the headers and the table lie within `file`.
std::optional<CertificateTable> FindCertificateTable(std::string_view file);

enum class DummyCertificateTagStatus {
  kOk,                     // `tag` holds the tag, possibly empty
  kNoCertificateTable,     // not a PE file, unsigned, or table out of bounds
  kInvalidCertificateSet,  // the PKCS #7 structure does not parse
};

// Concatenation of the tags in the slots of every dummy certificate among the
// certificates of the first table entry's SignedData.
DummyCertificateTagStatus ExtractDummyCertificateTag(std::string_view file, std::string* tag);

// The tag text of the trailer block that follows the first certificate entry
// of a PE32 file; nothing when there is no valid block.
std::optional<std::string_view> FindTrailerTag(std::string_view file);

}  // namespace ostrel

#endif  // CONFIG_INSTALLER_TAG_H_
