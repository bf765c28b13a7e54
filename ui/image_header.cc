#include "ui/image_header.h"

namespace ostrel {
namespace {

uint32_t BigEndian(std::string_view data, size_t offset, size_t bytes) {
  uint32_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
  return value;
}

bool ReadPng(std::string_view data, uint32_t* width, uint32_t* height) {
  static constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
  // Signature, then the IHDR chunk: length, type, width, height.
  if (data.size() < 24 || data.substr(0, 8) != kSignature || data.substr(12, 4) != "IHDR") return false;
  *width = BigEndian(data, 16, 4);
  *height = BigEndian(data, 20, 4);
  return true;
}

bool IsStartOfFrame(unsigned char marker) {
  // C0-CF, except DHT (C4), JPG (C8) and DAC (CC).
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool ReadJpeg(std::string_view data, uint32_t* width, uint32_t* height) {
  if (data.size() < 4 || static_cast<unsigned char>(data[0]) != 0xFF || static_cast<unsigned char>(data[1]) != 0xD8)
    return false;
  size_t offset = 2;
  while (offset + 4 <= data.size()) {
    if (static_cast<unsigned char>(data[offset]) != 0xFF) return false;
    unsigned char marker = static_cast<unsigned char>(data[offset + 1]);
    if (marker == 0xFF) {  // fill byte
      ++offset;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // end of image or scan before any frame
    size_t length = BigEndian(data, offset + 2, 2);
    if (length < 2) return false;
    if (IsStartOfFrame(marker)) {
      // Length, precision, height, width.
      if (offset + 9 > data.size() || length < 7) return false;
      *height = BigEndian(data, offset + 5, 2);
      *width = BigEndian(data, offset + 7, 2);
      return true;
    }
    offset += 2 + length;
  }
  return false;
}

}  // namespace

bool ReadImageDimensions(std::string_view data, uint32_t* width, uint32_t* height) {
  return ReadPng(data, width, height) || ReadJpeg(data, width, height);
}

}  // namespace ostrel
