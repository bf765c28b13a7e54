#include "crash/crash_info_stream.h"

#include <cstdio>
#include <vector>

namespace ostrel {
namespace {

constexpr size_t kAnnotationEntrySize = 8;
constexpr size_t kAnnotationsSizeOffset = 36;
constexpr size_t kAnnotationsPositionOffset = 40;

void AppendUint32(std::string* out, uint32_t value) {
  uint8_t bytes[4];
  WriteUint32Le(bytes, value);
  out->append(reinterpret_cast<const char*>(bytes), 4);
}

void PutUint32(std::string* out, size_t offset, uint32_t value) {
  WriteUint32Le(reinterpret_cast<uint8_t*>(out->data() + offset), value);
}

// Length, bytes, zero byte.
void AppendString(std::string* out, const std::string& text) {
  AppendUint32(out, static_cast<uint32_t>(text.size()));
  out->append(text);
  out->push_back('\0');
}

}  // namespace

uint32_t ReadUint32Le(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void WriteUint32Le(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

std::string FormatGuid(const GuidBytes& g) {
  char text[40];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return text;
}

std::string BuildCrashInfoStream(const GuidBytes& report_id, const GuidBytes& client_id,
                                 const std::map<std::string, std::string>& annotations) {
  std::string strings;
  std::string entries;
  for (const auto& [key, value] : annotations) {
    AppendUint32(&entries, static_cast<uint32_t>(strings.size()));
    AppendString(&strings, key);
    AppendUint32(&entries, static_cast<uint32_t>(strings.size()));
    AppendString(&strings, value);
  }

  std::string stream;
  AppendUint32(&stream, kCrashInfoStreamVersion);
  stream.append(reinterpret_cast<const char*>(report_id.data()), report_id.size());
  stream.append(reinterpret_cast<const char*>(client_id.data()), client_id.size());
  AppendUint32(&stream, 0);  // annotations size, below
  AppendUint32(&stream, static_cast<uint32_t>(kCrashInfoHeaderSize));
  AppendUint32(&stream, 0);  // module list size
  AppendUint32(&stream, 0);  // module list position
  size_t annotations_start = stream.size();
  AppendUint32(&stream, static_cast<uint32_t>(annotations.size()));
  stream += entries;
  stream += strings;
  PutUint32(&stream, kAnnotationsSizeOffset, static_cast<uint32_t>(stream.size() - annotations_start));
  return stream;
}

bool FixUpCrashInfoStream(PositionedFile* file, uint32_t annotation_count) {
  uint8_t header[kMinidumpHeaderSize];
  if (!file->ReadAt(0, header, sizeof(header))) return false;
  uint32_t stream_count = ReadUint32Le(header + 8);
  uint32_t directory = ReadUint32Le(header + 12);

  // Entry by entry: a damaged count must not turn into a huge allocation.
  uint64_t position = 0;
  bool found = false;
  for (uint32_t i = 0; i < stream_count && !found; ++i) {
    uint8_t entry[kMinidumpDirectoryEntrySize];
    if (!file->ReadAt(directory + static_cast<uint64_t>(i) * kMinidumpDirectoryEntrySize, entry, sizeof(entry)))
      return false;
    if (ReadUint32Le(entry) == kCrashInfoStreamType) {
      position = ReadUint32Le(entry + 8);
      found = true;
    }
  }
  if (!found) return false;

  // Everything is checked before the first write, so a mismatch leaves the
  // stream as the writer stored it.
  uint8_t info[kCrashInfoHeaderSize];
  if (!file->ReadAt(position, info, sizeof(info))) return false;
  if (ReadUint32Le(info + kAnnotationsPositionOffset) != kCrashInfoHeaderSize) return false;
  uint8_t count[4];
  if (!file->ReadAt(position + kCrashInfoHeaderSize, count, sizeof(count))) return false;
  if (ReadUint32Le(count) != annotation_count) return false;
  uint64_t entries_position = position + kCrashInfoHeaderSize + 4;
  uint64_t string_area = entries_position + uint64_t{kAnnotationEntrySize} * annotation_count;
  if (string_area > UINT32_MAX) return false;
  std::vector<uint8_t> entries(size_t{kAnnotationEntrySize} * annotation_count);
  if (!entries.empty() && !file->ReadAt(entries_position, entries.data(), entries.size())) return false;
  for (size_t offset = 0; offset < entries.size(); offset += 4) {
    uint64_t absolute = ReadUint32Le(entries.data() + offset) + string_area;
    if (absolute > UINT32_MAX) return false;
    WriteUint32Le(entries.data() + offset, static_cast<uint32_t>(absolute));
  }

  WriteUint32Le(info + kAnnotationsPositionOffset, static_cast<uint32_t>(position + kCrashInfoHeaderSize));
  if (!file->WriteAt(position, info, sizeof(info))) return false;
  return entries.empty() || file->WriteAt(entries_position, entries.data(), entries.size());
}

}  // namespace ostrel
