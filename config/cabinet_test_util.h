// Writes uncompressed cabinets for tests, so headers, volumes and blocks can
// be shaped freely (the shipped packages are MSZIP, made by the build).
#ifndef CONFIG_CABINET_TEST_UTIL_H_
#define CONFIG_CABINET_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::testing {

struct CabinetFile {
  std::string name;
  std::string content;
  uint16_t folder = 0;  // 0xfffd: continued from the previous volume, 0xfffe: into the next
  uint32_t missing = 0;  // bytes of the file that lie in another volume
};

inline void AppendLe16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xff));
  out->push_back(static_cast<char>((value >> 8) & 0xff));
}

inline void AppendLe32(std::string* out, uint32_t value) {
  AppendLe16(out, value & 0xffff);
  AppendLe16(out, value >> 16);
}

struct CabinetOptions {
  uint16_t flags = 0;  // 1: previous volume, 2: next volume
  bool announce_huge_size = false;
};

inline std::string MakeCabinet(const std::vector<CabinetFile>& files, const CabinetOptions& options = {}) {
  std::string names;
  if (options.flags & 1) names += std::string("prev.cab\0disk\0", 14);
  if (options.flags & 2) names += std::string("next.cab\0disk\0", 14);
  std::string data;
  for (const CabinetFile& file : files) data += file.content;
  const size_t header = 36 + names.size();
  const size_t folder = 8;
  size_t file_entries = 0;
  for (const CabinetFile& file : files) file_entries += 16 + file.name.size() + 1;
  const size_t data_start = header + (files.empty() ? 0 : folder) + file_entries;
  std::vector<std::string> blocks;
  for (size_t at = 0; at < data.size(); at += 32768) blocks.push_back(data.substr(at, 32768));
  size_t total = data_start;
  for (const std::string& block : blocks) total += 8 + block.size();

  std::string out = "MSCF";
  AppendLe32(&out, 0);
  AppendLe32(&out, static_cast<uint32_t>(total));
  AppendLe32(&out, 0);
  AppendLe32(&out, static_cast<uint32_t>(header + (files.empty() ? 0 : folder)));
  AppendLe32(&out, 0);
  out.push_back(3);  // version 1.3
  out.push_back(1);
  AppendLe16(&out, files.empty() ? 0 : 1);
  AppendLe16(&out, static_cast<uint32_t>(files.size()));
  AppendLe16(&out, options.flags);
  AppendLe16(&out, 1234);  // set id
  AppendLe16(&out, 0);     // index in the set
  out += names;
  if (!files.empty()) {
    AppendLe32(&out, static_cast<uint32_t>(data_start));
    AppendLe16(&out, static_cast<uint32_t>(blocks.size()));
    AppendLe16(&out, 0);  // no compression
  }
  uint32_t offset = 0;
  for (const CabinetFile& file : files) {
    AppendLe32(&out, options.announce_huge_size ? 0xfffffff0u
                                                : static_cast<uint32_t>(file.content.size() + file.missing));
    AppendLe32(&out, offset);
    AppendLe16(&out, file.folder);
    AppendLe16(&out, 0x5a21);  // date
    AppendLe16(&out, 0);       // time
    AppendLe16(&out, 0x20);    // archive attribute
    out += file.name;
    out.push_back('\0');
    offset += static_cast<uint32_t>(file.content.size());
  }
  for (const std::string& block : blocks) {
    AppendLe32(&out, 0);  // no checksum
    AppendLe16(&out, static_cast<uint32_t>(block.size()));
    AppendLe16(&out, static_cast<uint32_t>(block.size()));
    out += block;
  }
  return out;
}

}  // namespace ostrel::testing

#endif  // CONFIG_CABINET_TEST_UTIL_H_
