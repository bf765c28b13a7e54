#include "crash/crash_info_stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testing/crash_test_util.h"

namespace ostrel {
namespace {

// A minidump file in memory.
class MemoryFile : public PositionedFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes(std::move(bytes)) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset + size > bytes.size()) return false;
    std::memcpy(data, bytes.data() + offset, size);
    return true;
  }
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    ++writes;
    if (offset + size > bytes.size()) return false;
    std::memcpy(bytes.data() + offset, data, size);
    return true;
  }
  std::string bytes;
  int writes = 0;
};

std::string U32(uint32_t value) {
  std::string bytes(4, '\0');
  WriteUint32Le(reinterpret_cast<uint8_t*>(bytes.data()), value);
  return bytes;
}

// A minimal minidump: header, two unrelated streams' directory entries
// around ours, padding, then the stream at an offset of the writer's choice.
std::string MinidumpWith(const std::string& stream, uint32_t stream_type = kCrashInfoStreamType) {
  std::string dump = "MDMP" + U32(0xa793) + U32(3) + U32(32) + std::string(16, '\0');
  uint32_t position = 32 + 3 * 12 + 20;
  dump += U32(3) + U32(100) + U32(0x1000);
  dump += U32(stream_type) + U32(static_cast<uint32_t>(stream.size())) + U32(position);
  dump += U32(4) + U32(100) + U32(0x2000);
  dump += std::string(20, '\xee');
  return dump + stream + std::string(64, '\xee');
}

const GuidBytes kReport = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const GuidBytes kClient = {0xa0, 0xa1, 0xa2, 0xa3, 0xb0, 0xb1, 0xc0, 0xc1,
                           0xd0, 0xd1, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7};

TEST(CrashInfoStreamTest, GuidTextIsUpperCaseInFieldOrder) {
  EXPECT_EQ(FormatGuid(kClient), "A3A2A1A0-B1B0-C1C0-D0D1-D2D3D4D5D6D7");
  EXPECT_EQ(FormatGuid(GuidBytes{}), "00000000-0000-0000-0000-000000000000");
}

TEST(CrashInfoStreamTest, LayoutAsBuiltIsByteForByte) {
  std::string stream = BuildCrashInfoStream(kReport, kClient, {{"b", "22"}, {"a", ""}});
  std::string strings = U32(1) + "a" + '\0' + U32(0) + '\0' + U32(1) + "b" + '\0' + U32(2) + "22" + '\0';
  uint32_t annotations_size = 4 + 16 + static_cast<uint32_t>(strings.size());
  std::string expected = U32(1) + std::string(kReport.begin(), kReport.end()) +
                         std::string(kClient.begin(), kClient.end()) + U32(annotations_size) + U32(52) + U32(0) +
                         U32(0) + U32(2) +
                         // key a at 0, value "" at 6, key b at 11, value "22" at 17
                         U32(0) + U32(6) + U32(11) + U32(17) + strings;
  EXPECT_EQ(stream, expected);
}

TEST(CrashInfoStreamTest, FixUpMakesEveryPositionAbsolute) {
  std::map<std::string, std::string> annotations = {
      {"uid", "A3A2A1A0-B1B0-C1C0-D0D1-D2D3D4D5D6D7"}, {"prod", "Tarvik"}, {"brand_name", "\xC3\xA9t\xC3\xA9"}};
  std::string stream = BuildCrashInfoStream(kReport, kClient, annotations);
  MemoryFile file(MinidumpWith(stream));
  ASSERT_TRUE(FixUpCrashInfoStream(&file, 3));

  std::optional<testing::CrashInfo> info = testing::ReadCrashInfo(file.bytes);
  ASSERT_TRUE(info);
  const uint32_t position = 32 + 3 * 12 + 20;
  EXPECT_EQ(info->annotations_position, position + 52);
  EXPECT_EQ(info->annotations, annotations);
  EXPECT_EQ(info->report_id, kReport);
  EXPECT_EQ(info->client_id, kClient);
  // Only the header and the entries change.
  std::string untouched = MinidumpWith(stream);
  EXPECT_EQ(file.bytes.substr(position + 56 + 24), untouched.substr(position + 56 + 24));
  EXPECT_EQ(file.bytes.substr(0, position + 40), untouched.substr(0, position + 40));
}

TEST(CrashInfoStreamTest, FixUpRefusesWhatItCannotTrust) {
  std::string stream = BuildCrashInfoStream(kReport, kClient, {{"k", "v"}});
  {
    MemoryFile file(MinidumpWith(stream, 0x43500002));
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 1));
    EXPECT_EQ(file.writes, 0);
  }
  {
    MemoryFile file(MinidumpWith(stream));
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 2));  // count differs
    EXPECT_EQ(file.writes, 0);
  }
  {
    MemoryFile file(MinidumpWith(stream));
    ASSERT_TRUE(FixUpCrashInfoStream(&file, 1));
    std::string fixed = file.bytes;
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 1));  // already absolute
    EXPECT_EQ(file.bytes, fixed);
  }
  {
    std::string dump = MinidumpWith(stream);
    MemoryFile file(dump.substr(0, dump.size() - 64 - stream.size() + 50));  // stream cut short
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 1));
    EXPECT_EQ(file.writes, 0);
  }
  {
    // A damaged stream count only means more entries to look through.
    std::string dump = MinidumpWith(stream);
    WriteUint32Le(reinterpret_cast<uint8_t*>(dump.data() + 8), 0xffffffff);
    dump.resize(32 + 24);
    MemoryFile file(dump);
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 1));
  }
  {
    MemoryFile file("MDMP");
    EXPECT_FALSE(FixUpCrashInfoStream(&file, 1));
  }
}

}  // namespace
}  // namespace ostrel
