// Treats arbitrary bytes as a minidump and runs the fix-up over them: it must
// stay inside the file, and when it succeeds the stream it found must hold
// absolute positions, each moved by exactly the stream's string area offset.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crash/crash_info_stream.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "crash_info_stream_fuzzer: %s\n", message);
  std::abort();
}

class MemoryFile : public ostrel::PositionedFile {
 public:
  explicit MemoryFile(std::string bytes) : bytes(std::move(bytes)) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::memcpy(data, bytes.data() + offset, size);
    return true;
  }
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::memcpy(bytes.data() + offset, data, size);
    return true;
  }
  std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte is the annotation count the caller expects.
  uint32_t count = data[0];
  MemoryFile file(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::string before = file.bytes;
  if (!ostrel::FixUpCrashInfoStream(&file, count)) return 0;
  if (file.bytes.size() != before.size()) Fail("file size changed");

  // The stream as the directory placed it before the fix-up: its
  // annotations position and every string position moved by its own
  // position. (Garbage may overlap the stream with the directory; the
  // positions are taken from the file as it was.)
  const auto* old_bytes = reinterpret_cast<const uint8_t*>(before.data());
  const auto* new_bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
  uint32_t stream_count = ostrel::ReadUint32Le(old_bytes + 8);
  uint32_t directory = ostrel::ReadUint32Le(old_bytes + 12);
  for (uint32_t i = 0; i < stream_count; ++i) {
    uint64_t entry = directory + uint64_t{i} * 12;
    if (entry + 12 > before.size()) Fail("fix-up succeeded past the directory");
    if (ostrel::ReadUint32Le(old_bytes + entry) != ostrel::kCrashInfoStreamType) continue;
    uint64_t position = ostrel::ReadUint32Le(old_bytes + entry + 8);
    if (position + 56 + 8 * uint64_t{count} > before.size()) Fail("fix-up succeeded past the end");
    if (ostrel::ReadUint32Le(new_bytes + position + 40) != position + 52) Fail("annotations position not absolute");
    for (uint32_t k = 0; k < 2 * count; ++k) {
      uint64_t moved = ostrel::ReadUint32Le(old_bytes + position + 56 + 4 * k) + position + 56 + 8 * uint64_t{count};
      if (ostrel::ReadUint32Le(new_bytes + position + 56 + 4 * k) != moved) Fail("string position not moved");
    }
    return 0;
  }
  Fail("fix-up succeeded without the stream");
  return 0;
}
