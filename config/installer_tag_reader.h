// Reading the installer tag of an executable file: the dummy-certificate tag
// and the trailer tag (parsers in config/installer_tag.h).
#ifndef CONFIG_INSTALLER_TAG_READER_H_
#define CONFIG_INSTALLER_TAG_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/scoped_handle.h"

namespace ostrel {

// The whole file; logs why it could not be read (tag "ReadAllBytesFromFile").
bool ReadAllBytesFromFile(const std::wstring& path, std::string* bytes);

// The tag carried by the dummy certificates of `path`; empty when there is
// none or on any error (each error is logged).
std::string ExtractTagFromFakeCertificate(const std::wstring& path);

// The trailer tag of a PE32 file, read through a read-only mapping. Fails
// silently: an untagged file is normal.
class TrailerTagReader {
 public:
  TrailerTagReader() = default;
  TrailerTagReader(const TrailerTagReader&) = delete;
  TrailerTagReader& operator=(const TrailerTagReader&) = delete;
  ~TrailerTagReader();

  // Maps `path` and finds the tag block; false when there is none.
  bool Open(const std::wstring& path);
  // Bytes needed for Copy: the tag length plus a terminating NUL; 0 when
  // nothing was found.
  size_t Size() const;
  // Copies the tag and a NUL into `buffer`; false when it is smaller than
  // Size() or no tag was found.
  bool Copy(char* buffer, size_t buffer_size) const;

 private:
  void Close();

  ScopedFileHandle file_;
  ScopedKernelHandle mapping_;
  ScopedMappedView view_;
  const char* tag_ = nullptr;
  size_t tag_size_ = 0;
};

// Convenience: the trailer tag of `path`, empty when there is none.
std::string ReadTrailerTag(const std::wstring& path);

}  // namespace ostrel

#endif  // CONFIG_INSTALLER_TAG_READER_H_
