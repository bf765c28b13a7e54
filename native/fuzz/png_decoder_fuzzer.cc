// Decodes outside bytes as a PNG: a picture it accepts has exactly its
// pixels, each a premultiplied colour (no channel above its alpha), and is
// called opaque only when every alpha is 255.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ui/png_decoder.h"

namespace {

void Fail(const char* message) {
  std::fprintf(stderr, "png_decoder_fuzzer: %s\n", message);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ostrel::PremultipliedPixels pixels;
  if (!ostrel::DecodePng(std::string_view(reinterpret_cast<const char*>(data), size), &pixels)) {
    if (!pixels.bgra.empty() || pixels.width != 0) Fail("a refused picture left pixels");
    return 0;
  }
  if (pixels.width == 0 || pixels.height == 0 || pixels.width * uint64_t{pixels.height} > ostrel::kMaxPngPixels)
    Fail("accepted dimensions out of range");
  if (pixels.bgra.size() != size_t{pixels.width} * pixels.height * 4) Fail("pixel count differs from the size");
  bool opaque = true;
  for (size_t i = 0; i < pixels.bgra.size(); i += 4) {
    uint8_t alpha = pixels.bgra[i + 3];
    if (pixels.bgra[i] > alpha || pixels.bgra[i + 1] > alpha || pixels.bgra[i + 2] > alpha)
      Fail("a colour above its alpha");
    opaque = opaque && alpha == 255;
  }
  if (pixels.opaque && !opaque) Fail("called opaque with an alpha below 255");
  return 0;
}
