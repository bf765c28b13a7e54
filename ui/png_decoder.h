// The built-in pictures decoded without the system's imaging library: its
// first use costs more than all of the first screen's pictures together, and
// they are all PNG files the build wrote. Anything this does not read (other
// formats, interlaced or 16-bit files, colour profiles) is left to the
// system's decoder.
#ifndef UI_PNG_DECODER_H_
#define UI_PNG_DECODER_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace ostrel {

// Top-down rows without padding; each pixel four bytes B, G, R, A with the
// colour premultiplied by alpha (the layout GDI+ draws without converting).
struct PremultipliedPixels {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;
  // Every alpha 255: drawn as plain colour, without blending.
  bool opaque = true;
};

// The picture's pixels, or false (and `pixels` untouched) for data that is
// not a whole, sound PNG of a kind this reads: non-interlaced, 8-bit
// truecolour or grey with or without alpha, palette or grey of 1 to 8 bits,
// no gamma or colour profile, at most kMaxPngPixels.
bool DecodePng(std::string_view data, PremultipliedPixels* pixels);

inline constexpr uint64_t kMaxPngPixels = 16u << 20;

}  // namespace ostrel

#endif  // UI_PNG_DECODER_H_
