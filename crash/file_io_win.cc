#include "crash/file_io_win.h"

#include <algorithm>

namespace ostrel {
namespace {

// ReadFile and WriteFile take 32-bit sizes.
constexpr size_t kMaxIoSize = 0x40000000;

OVERLAPPED AtOffset(uint64_t offset) {
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

}  // namespace

ScopedFileHandle CreateNewFileForReadWrite(const std::wstring& path) {
  return ScopedFileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

int64_t ReadFileSome(HANDLE file, void* data, size_t size) {
  DWORD read = 0;
  if (!::ReadFile(file, data, static_cast<DWORD>(std::min(size, kMaxIoSize)), &read, nullptr)) return -1;
  return read;
}

bool ReadFileAt(HANDLE file, uint64_t offset, void* data, size_t size) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    OVERLAPPED overlapped = AtOffset(offset);
    DWORD read = 0;
    if (!::ReadFile(file, bytes, static_cast<DWORD>(std::min(size, kMaxIoSize)), &read, &overlapped) || read == 0)
      return false;
    bytes += read;
    size -= read;
    offset += read;
  }
  return true;
}

bool WriteFileAt(HANDLE file, uint64_t offset, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    OVERLAPPED overlapped = AtOffset(offset);
    DWORD written = 0;
    if (!::WriteFile(file, bytes, static_cast<DWORD>(std::min(size, kMaxIoSize)), &written, &overlapped) ||
        written == 0) {
      return false;
    }
    bytes += written;
    size -= written;
    offset += written;
  }
  return true;
}

}  // namespace ostrel
