// The built-in pictures decoded without the system's imaging library: its
// first use costs more than all of the first screen's pictures together, and
// they are all PNG files the build wrote. Anything this does not read (other
// formats, interlaced or 16-bit files, colour profiles) is left to the
// system's decoder.
#ifndef UI_PNG_DECODER_H_
#define UI_PNG_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace ostrel {

inline constexpr uint64_t kMaxPngPixels = 16u << 20;

// Reads a PNG in two steps, so that its pixels can be written straight into
// the memory they are drawn from: no whole picture of compressed rows or of
// pixels is held besides it. Pixels are four bytes B, G, R, A with the colour
// premultiplied by alpha (the layout GDI+ draws without converting).
//
// Reads non-interlaced, 8-bit truecolour or grey with or without alpha,
// palette or grey of 1 to 8 bits, without gamma or colour profile, at most
// kMaxPngPixels.
class PngReader {
 public:
  PngReader();
  ~PngReader();
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  // Checks the signature and every chunk before the pixel data; false for
  // data that is not a PNG of a kind this reads. `data` must outlive the
  // reader.
  bool Open(std::string_view data);
  uint32_t width() const;
  uint32_t height() const;
  // The picture's kind leaves every alpha at 255: it may be drawn as plain
  // colour, without blending.
  bool opaque() const;
  // Writes height() top-down rows of width() pixels, the next row always
  // `stride` bytes past the last, from `first_row` on. False, with the rows written so far left as they
  // are, for damaged or short data or anything after the pixels but ancillary
  // chunks and the end. Reads once.
  bool ReadPixels(uint8_t* first_row, ptrdiff_t stride);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Top-down rows without padding, as PngReader writes them.
struct PremultipliedPixels {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;
  // As PngReader::opaque.
  bool opaque = true;
};

// The picture's pixels, or false (and `pixels` untouched) for data that is
// not a whole, sound PNG of a kind PngReader reads.
bool DecodePng(std::string_view data, PremultipliedPixels* pixels);

}  // namespace ostrel

#endif  // UI_PNG_DECODER_H_
