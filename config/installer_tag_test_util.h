// Builders of small PE files with certificate tables, for the tag tests.
#ifndef CONFIG_INSTALLER_TAG_TEST_UTIL_H_
#define CONFIG_INSTALLER_TAG_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "config/installer_tag.h"

namespace ostrel::testing {

inline void PutLe16(std::string* out, size_t at, uint16_t value) {
  (*out)[at] = static_cast<char>(value & 0xff);
  (*out)[at + 1] = static_cast<char>(value >> 8);
}

inline void PutLe32(std::string* out, size_t at, uint32_t value) {
  PutLe16(out, at, static_cast<uint16_t>(value & 0xffff));
  PutLe16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

inline std::string Be16(size_t value) {
  return std::string{static_cast<char>((value >> 8) & 0xff), static_cast<char>(value & 0xff)};
}

// DER length in the shortest form.
inline std::string DerLength(size_t length) {
  if (length < 0x80) return std::string(1, static_cast<char>(length));
  std::string bytes;
  for (size_t rest = length; rest; rest >>= 8) bytes.insert(bytes.begin(), static_cast<char>(rest & 0xff));
  return static_cast<char>(0x80 + bytes.size()) + bytes;
}

inline std::string Der(unsigned char tag, const std::string& content) {
  return static_cast<char>(tag) + DerLength(content.size()) + content;
}

inline std::string Sequence(const std::string& content) { return Der(0x30, content); }

inline std::string DummyPrefix() {
  return std::string(reinterpret_cast<const char*>(kDummyCertificatePrefix), kDummyCertificatePrefixSize);
}

// A certificate whose TBSCertificate holds `tbs_content` followed by the
// key and the extensions, the fourth extension carrying `slot` as its value.
inline std::string Certificate(const std::string& tbs_head, const std::string& slot, int extension_count = 4) {
  std::string spki = Sequence(Sequence(Der(0x06, "\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01") + Der(0x05, "")) +
                              Der(0x03, std::string("\x00\x30\x03\x02\x01\x03", 6)));
  std::string extensions;
  const std::string plain = Sequence(Der(0x06, "\x55\x1d\x0f") + Der(0x04, "\x03\x02\x07\x80"));
  for (int i = 0; i < extension_count - 1 && i < 3; ++i) extensions += plain;
  if (extension_count >= 4) {
    extensions += Sequence(Der(0x06, "\x2b\x06\x01\x04\x01\xd6\x79\x02\x01\xce\x0f") + Der(0x04, slot));
  }
  std::string tbs = Sequence(tbs_head + spki + Der(0xa3, Sequence(extensions)));
  std::string algorithm = Sequence(Der(0x06, "\x2a\x86\x48\x86\xf7\x0d\x01\x01\x05") + Der(0x05, ""));
  return Sequence(tbs + algorithm + Der(0x03, std::string("\x00\x01\x02", 3)));
}

// The slot content: 16-bit length, tag, zero padding up to `slot_size`.
inline std::string Slot(const std::string& tag, size_t slot_size = 64) {
  std::string slot = Be16(tag.size()) + tag;
  if (slot.size() < slot_size) slot.append(slot_size - slot.size(), '\0');
  return slot;
}

inline std::string DummyCertificate(const std::string& tag) { return Certificate(DummyPrefix(), Slot(tag)); }

// A certificate that is not a dummy one: its TBSCertificate is short.
inline std::string OtherCertificate() {
  return Sequence(Sequence(Der(0xa0, "\x02\x01\x02") + Der(0x02, "\x05")) + Sequence("") + Der(0x03, std::string(1, '\0')));
}

// Content of the certificates [0] set from concatenated certificates.
inline std::string ContentInfo(const std::string& certificates, size_t certificates_length_delta = 0) {
  std::string set = static_cast<char>(0xa0) + DerLength(certificates.size() - certificates_length_delta) +
                    certificates;
  std::string signed_data = Sequence(Der(0x02, "\x01") + Der(0x31, "") +
                                     Sequence(Der(0x06, "\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01")) + set +
                                     Der(0x31, ""));
  // A ContentInfo always uses the two-byte length form, as signing tools write it.
  std::string content = Der(0x06, "\x2a\x86\x48\x86\xf7\x0d\x01\x07\x02") + Der(0xa0, signed_data);
  return std::string("\x30\x82", 2) + Be16(content.size()) + content;
}

struct PeOptions {
  bool pe32_plus = false;
  // Bytes after the WIN_CERTIFICATE entry, inside the table.
  std::string after_entry;
};

// A minimal PE file whose certificate table holds one WIN_CERTIFICATE with
// `content_info` (padded to 8 bytes) and then `after_entry`.
inline std::string PeWithCertificateTable(const std::string& content_info, const PeOptions& options = {}) {
  const size_t lfanew = 0x40;
  const size_t optional_header = lfanew + 24;
  const size_t directory = optional_header + (options.pe32_plus ? 112 : 96);
  const size_t headers_end = (directory + 16 * 8 + 7) & ~size_t{7};
  std::string file(headers_end, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  PutLe32(&file, 60, lfanew);
  file.replace(lfanew, 4, std::string("PE\0\0", 4));
  PutLe16(&file, optional_header, options.pe32_plus ? 0x20b : 0x10b);
  std::string entry(8, '\0');
  entry += content_info;
  while (entry.size() % 8) entry.push_back('\0');
  PutLe32(&entry, 0, static_cast<uint32_t>(entry.size()));
  PutLe16(&entry, 4, 0x0200);
  PutLe16(&entry, 6, 0x0002);
  entry += options.after_entry;
  PutLe32(&file, directory + 32, static_cast<uint32_t>(file.size()));
  PutLe32(&file, directory + 36, static_cast<uint32_t>(entry.size()));
  return file + entry;
}

// A trailer block: magic, 16-bit length, tag.
inline std::string TrailerBlock(const std::string& tag) { return std::string(kTrailerTagMagic, 4) + Be16(tag.size()) + tag; }

}  // namespace ostrel::testing

#endif  // CONFIG_INSTALLER_TAG_TEST_UTIL_H_
