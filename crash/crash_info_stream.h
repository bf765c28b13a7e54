// The crash information stream that rides in the minidump as a user stream:
// report and client identifiers and the annotations, little-endian and
// packed. As built, its positions are relative; once the minidump writer has
// placed it, FixUpCrashInfoStream makes them absolute file offsets, which is
// what the crash collector reads. Platform-neutral.
#ifndef CRASH_CRASH_INFO_STREAM_H_
#define CRASH_CRASH_INFO_STREAM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace ostrel {

inline constexpr uint32_t kCrashInfoStreamType = 0x43500001;
inline constexpr uint32_t kCrashInfoStreamVersion = 1;
// Header fields before the annotation count.
inline constexpr size_t kCrashInfoHeaderSize = 52;
inline constexpr size_t kMinidumpHeaderSize = 32;
inline constexpr size_t kMinidumpDirectoryEntrySize = 12;

// A GUID in its in-memory byte order (Data1, Data2, Data3 little-endian).
using GuidBytes = std::array<uint8_t, 16>;

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, no braces.
std::string FormatGuid(const GuidBytes& guid);

// The stream with positions relative to its start (annotations at 52) and to
// its string area (keys and values).
std::string BuildCrashInfoStream(const GuidBytes& report_id, const GuidBytes& client_id,
                                 const std::map<std::string, std::string>& annotations);

// Random access to the minidump file.
class PositionedFile {
 public:
  virtual ~PositionedFile() = default;
  // Exactly `size` bytes at `offset`; false on a short read or write.
  virtual bool ReadAt(uint64_t offset, void* data, size_t size) = 0;
  virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

// Finds the stream through the minidump's directory and rewrites its
// positions as absolute offsets. Fails on a short read or write, a missing
// stream, a stream already fixed up or an annotation count other than
// `annotation_count`; only a failed write leaves the file changed.
bool FixUpCrashInfoStream(PositionedFile* file, uint32_t annotation_count);

uint32_t ReadUint32Le(const uint8_t* bytes);
void WriteUint32Le(uint8_t* bytes, uint32_t value);

}  // namespace ostrel

#endif  // CRASH_CRASH_INFO_STREAM_H_
