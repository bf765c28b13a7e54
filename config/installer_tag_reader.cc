#include "config/installer_tag_reader.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/logging.h"
#include "config/installer_tag.h"

namespace ostrel {

bool ReadAllBytesFromFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Can't open file " << path;
    return false;
  }
  LARGE_INTEGER length = {};
  // Whole-file reads are for executables; anything past 2 GiB is not one.
  if (!::GetFileSizeEx(file.Get(), &length) || length.QuadPart < 0 || length.QuadPart > INT32_MAX) {
    PLOG(ERROR) << "Failed to get length of " << path;
    return false;
  }
  std::string buffer(static_cast<size_t>(length.QuadPart), '\0');
  DWORD total = 0;
  while (total < buffer.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), buffer.data() + total, static_cast<DWORD>(buffer.size() - total), &read, nullptr) ||
        read == 0) {
      break;
    }
    total += read;
  }
  if (total < buffer.size()) {
    PLOG(ERROR) << "Failed to read all bytes of " << path;
    return false;
  }
  *bytes = std::move(buffer);
  return true;
}

std::string ExtractTagFromFakeCertificate(const std::wstring& path) {
  std::string file;
  if (!ReadAllBytesFromFile(path, &file)) {
    PLOG(ERROR) << "Failed to read file " << path;
    return std::string();
  }
  std::string tag;
  switch (ExtractDummyCertificateTag(file, &tag)) {
    case DummyCertificateTagStatus::kOk:
      return tag;
    case DummyCertificateTagStatus::kNoCertificateTable:
      PLOG(ERROR) << "Failed to find certificate table in " << path;
      return std::string();
    case DummyCertificateTagStatus::kInvalidCertificateSet:
      PLOG(ERROR) << "Invalid ASN1 format of certificate table in " << path;
      return std::string();
  }
  return std::string();
}

TrailerTagReader::~TrailerTagReader() { Close(); }

void TrailerTagReader::Close() {
  tag_ = nullptr;
  tag_size_ = 0;
  view_.Close();
  mapping_.Close();
  file_.Close();
}

bool TrailerTagReader::Open(const std::wstring& path) {
  Close();
  file_.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.IsValid()) return false;
  LARGE_INTEGER file_size = {};
  if (!::GetFileSizeEx(file_.Get(), &file_size) || file_size.QuadPart <= 0) return false;
  mapping_.Reset(::CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_.IsValid()) return false;
  view_.Reset(::MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_.IsValid()) return false;
  MEMORY_BASIC_INFORMATION region = {};
  if (::VirtualQuery(view_.Get(), &region, sizeof(region)) == 0) return false;
  // The region is rounded up to whole pages; bytes past the end of the file
  // are not part of it, so a block must end within the file itself.
  size_t size = std::min<uint64_t>(region.RegionSize, static_cast<uint64_t>(file_size.QuadPart));
  std::optional<std::string_view> tag = FindTrailerTag(std::string_view(static_cast<const char*>(view_.Get()), size));
  if (!tag) return false;
  tag_ = tag->data();
  tag_size_ = tag->size();
  return true;
}

size_t TrailerTagReader::Size() const { return tag_ ? tag_size_ + 1 : 0; }

bool TrailerTagReader::Copy(char* buffer, size_t buffer_size) const {
  if (!tag_ || buffer_size < tag_size_ + 1) return false;
  std::memcpy(buffer, tag_, tag_size_);
  buffer[tag_size_] = '\0';
  return true;
}

std::string ReadTrailerTag(const std::wstring& path) {
  TrailerTagReader reader;
  if (!reader.Open(path)) return std::string();
  std::string buffer(reader.Size(), '\0');
  if (!reader.Copy(buffer.data(), buffer.size())) return std::string();
  buffer.pop_back();  // the NUL
  return buffer;
}

}  // namespace ostrel
