// A picture's dimensions read from its header alone, so a hostile one can be
// refused before anything decodes it.
#ifndef UI_IMAGE_HEADER_H_
#define UI_IMAGE_HEADER_H_

#include <cstdint>
#include <string_view>

namespace ostrel {

// PNG (the IHDR chunk) or JPEG (the first start-of-frame segment); false for
// anything else or a header cut short.
bool ReadImageDimensions(std::string_view data, uint32_t* width, uint32_t* height);

}  // namespace ostrel

#endif  // UI_IMAGE_HEADER_H_
