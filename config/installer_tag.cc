#include "config/installer_tag.h"

#include <cstring>

namespace ostrel {

const unsigned char kDummyCertificatePrefix[kDummyCertificatePrefixSize] = {
    // version [0] INTEGER 2, serialNumber INTEGER 1
    0xa0, 0x03, 0x02, 0x01, 0x02, 0x02, 0x01, 0x01,
    // signature: sha1WithRSAEncryption, NULL
    0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x05, 0x05, 0x00,
    // issuer: CN = PrintableString "Unknown issuer"
    0x30, 0x19, 0x31, 0x17, 0x30, 0x15, 0x06, 0x03, 0x55, 0x04, 0x03, 0x13, 0x0e,
    'U', 'n', 'k', 'n', 'o', 'w', 'n', ' ', 'i', 's', 's', 'u', 'e', 'r',
    // validity
    0x30, 0x1e, 0x17, 0x0d,
    '1', '3', '0', '1', '0', '1', '1', '0', '0', '0', '0', '0', 'Z',
    0x17, 0x0d,
    '1', '3', '0', '4', '0', '1', '1', '0', '0', '0', '0', '0', 'Z',
    // subject: CN = PrintableString "Dummy certificate"
    0x30, 0x1c, 0x31, 0x1a, 0x30, 0x18, 0x06, 0x03, 0x55, 0x04, 0x03, 0x13, 0x11,
    'D', 'u', 'm', 'm', 'y', ' ', 'c', 'e', 'r', 't', 'i', 'f', 'i', 'c', 'a', 't', 'e',
};

namespace {

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kLfanewOffset = 60;
constexpr size_t kOptionalHeaderOffset = 24;  // after "PE\0\0" and the file header
constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr size_t kPe32DirectoryOffset = 96;
constexpr size_t kPe32PlusDirectoryOffset = 112;
constexpr size_t kSecurityEntryOffset = 4 * 8;
constexpr size_t kWinCertificateHeaderSize = 8;
constexpr unsigned char kSignature[] = {'P', 'E', 0, 0};

uint16_t ReadLe16(std::string_view data, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) |
                               static_cast<unsigned char>(data[at + 1]) << 8);
}

uint32_t ReadLe32(std::string_view data, size_t at) {
  return static_cast<uint32_t>(ReadLe16(data, at)) | static_cast<uint32_t>(ReadLe16(data, at + 2)) << 16;
}

uint16_t ReadBe16(std::string_view data, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) << 8 |
                               static_cast<unsigned char>(data[at + 1]));
}

// True when [at, at + count) lies within `size`, without overflow.
bool Fits(size_t size, uint64_t at, uint64_t count) { return at <= size && count <= size - at; }

// Offset of "PE\0\0", when the DOS header points at one inside the file.
std::optional<size_t> FindPeSignature(std::string_view file) {
  if (file.size() < kDosHeaderSize || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  uint32_t lfanew = ReadLe32(file, kLfanewOffset);
  if (!Fits(file.size(), lfanew, sizeof(kSignature)) ||
      std::memcmp(file.data() + lfanew, kSignature, sizeof(kSignature)) != 0) {
    return std::nullopt;
  }
  return lfanew;
}

// DER cursor over [pos, end). Tags are never looked at: the layout is known,
// only the lengths matter.
struct Cursor {
  size_t pos;
  size_t end;
};

struct Element {
  size_t content;  // offset of the content
  uint64_t end;    // offset just past the element (may exceed the container)
};

// Reads the header at c.pos. The header itself must lie within c; lengths
// use at most four bytes, and the indefinite form (0x80) is refused.
bool ReadHeader(std::string_view data, const Cursor& c, Element* element) {
  if (c.pos >= c.end || c.end - c.pos < 2) return false;
  unsigned char first = static_cast<unsigned char>(data[c.pos + 1]);
  size_t header = 2;
  uint64_t length = first;
  if (first >= 0x80) {
    size_t count = first - 0x80u;
    if (count == 0 || count > 4 || c.end - c.pos - 2 < count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | static_cast<unsigned char>(data[c.pos + 2 + i]);
    header += count;
  }
  element->content = c.pos + header;
  element->end = element->content + length;
  return true;
}

bool Enter(std::string_view data, Cursor* c) {
  Element element;
  if (!ReadHeader(data, *c, &element) || element.end > c->end) return false;
  *c = {element.content, static_cast<size_t>(element.end)};
  return true;
}

bool Skip(std::string_view data, Cursor* c, int count = 1) {
  for (int i = 0; i < count; ++i) {
    Element element;
    if (!ReadHeader(data, *c, &element) || element.end > c->end) return false;
    c->pos = static_cast<size_t>(element.end);
  }
  return true;
}

bool IsDummyCertificate(std::string_view data, Cursor c) {
  if (!Enter(data, &c) || !Enter(data, &c)) return false;
  return c.end - c.pos >= kDummyCertificatePrefixSize &&
         std::memcmp(data.data() + c.pos, kDummyCertificatePrefix, kDummyCertificatePrefixSize) == 0;
}

// Appends the tag held in the dummy certificate at c.pos; a certificate
// whose slot cannot be reached contributes nothing.
void AppendSlotTag(std::string_view data, Cursor c, std::string* tag) {
  if (!Enter(data, &c) ||       // Certificate
      !Enter(data, &c) ||       // TBSCertificate
      !Skip(data, &c, 7) ||     // version .. subjectPublicKeyInfo
      !Enter(data, &c) ||       // [3]
      !Enter(data, &c) ||       // Extensions
      !Skip(data, &c, 3) ||     // keyUsage, extKeyUsage, basicConstraints
      !Enter(data, &c) ||       // the slot extension
      !Skip(data, &c) ||        // extnID
      !Enter(data, &c)) {       // extnValue
    return;
  }
  if (c.end - c.pos < 2) return;
  size_t length = ReadBe16(data, c.pos);
  if (c.end - c.pos - 2 < length) return;
  tag->append(data.data() + c.pos + 2, length);
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(std::string_view file) {
  std::optional<size_t> pe = FindPeSignature(file);
  if (!pe) return std::nullopt;
  size_t optional_header = *pe + kOptionalHeaderOffset;
  if (!Fits(file.size(), optional_header, 2)) return std::nullopt;
  uint16_t magic = ReadLe16(file, optional_header);
  size_t directory;
  if (magic == kPe32Magic) {
    directory = optional_header + kPe32DirectoryOffset;
  } else if (magic == kPe32PlusMagic) {
    directory = optional_header + kPe32PlusDirectoryOffset;
  } else {
    return std::nullopt;
  }
  if (!Fits(file.size(), directory, kSecurityEntryOffset + 8)) return std::nullopt;
  uint32_t offset = ReadLe32(file, directory + kSecurityEntryOffset);
  uint32_t size = ReadLe32(file, directory + kSecurityEntryOffset + 4);
  if (offset == 0 || size < kWinCertificateHeaderSize || !Fits(file.size(), offset, size)) return std::nullopt;
  return CertificateTable{offset, size};
}

DummyCertificateTagStatus ExtractDummyCertificateTag(std::string_view file, std::string* tag) {
  tag->clear();
  std::optional<CertificateTable> table = FindCertificateTable(file);
  if (!table) return DummyCertificateTagStatus::kNoCertificateTable;
  Cursor c = {table->offset + kWinCertificateHeaderSize, table->offset + table->size};
  Element content_info;
  if (!ReadHeader(file, c, &content_info) || content_info.end > c.end) {
    return DummyCertificateTagStatus::kNoCertificateTable;
  }
  c.end = static_cast<size_t>(content_info.end);

  if (!Enter(file, &c) ||  // ContentInfo
      !Skip(file, &c) ||   // contentType
      !Enter(file, &c) ||  // [0] content
      !Enter(file, &c) ||  // SignedData
      !Skip(file, &c) ||   // version
      !Skip(file, &c) ||   // digestAlgorithms
      !Skip(file, &c) ||   // encapsulated contentInfo
      !Enter(file, &c)) {  // certificates [0]
    return DummyCertificateTagStatus::kInvalidCertificateSet;
  }

  std::string result;
  uint64_t pos = c.pos;
  while (pos < c.end) {
    Element certificate;
    if (!ReadHeader(file, {static_cast<size_t>(pos), c.end}, &certificate)) {
      return DummyCertificateTagStatus::kInvalidCertificateSet;
    }
    Cursor own = {static_cast<size_t>(pos), c.end};
    if (IsDummyCertificate(file, own)) AppendSlotTag(file, own, &result);
    pos = certificate.end;
  }
  if (pos != c.end) return DummyCertificateTagStatus::kInvalidCertificateSet;
  *tag = std::move(result);
  return DummyCertificateTagStatus::kOk;
}

std::optional<std::string_view> FindTrailerTag(std::string_view file) {
  std::optional<size_t> pe = FindPeSignature(file);
  if (!pe) return std::nullopt;
  // Only PE32 is supported: a PE32+ file holds another directory entry at
  // the PE32 position, which must not be taken for the security entry.
  size_t optional_header = *pe + kOptionalHeaderOffset;
  if (!Fits(file.size(), optional_header, 2) || ReadLe16(file, optional_header) != kPe32Magic) return std::nullopt;
  size_t entry = optional_header + kPe32DirectoryOffset + kSecurityEntryOffset;
  if (!Fits(file.size(), entry, 8)) return std::nullopt;
  uint64_t table = ReadLe32(file, entry);
  if (table == 0 || !Fits(file.size(), table + kWinCertificateHeaderSize, 4)) return std::nullopt;
  size_t content_info = static_cast<size_t>(table) + kWinCertificateHeaderSize;
  if (static_cast<unsigned char>(file[content_info]) != 0x30 ||
      static_cast<unsigned char>(file[content_info + 1]) != 0x82) {
    return std::nullopt;
  }
  uint64_t content_length = ReadBe16(file, content_info + 2);
  uint64_t block = table + ((content_length + 4 + kWinCertificateHeaderSize + 7) & ~uint64_t{7});
  if (!Fits(file.size(), block, 6) || std::memcmp(file.data() + block, kTrailerTagMagic, 4) != 0) {
    return std::nullopt;
  }
  size_t length = ReadBe16(file, static_cast<size_t>(block) + 4);
  if (!Fits(file.size(), block + 6, length)) return std::nullopt;
  return file.substr(static_cast<size_t>(block) + 6, length);
}

}  // namespace ostrel
