#include "ui/scaled_image.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <vector>

#include "testing/log_capture.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

bool LoadBytes(const std::vector<uint8_t>& bytes, ScaledImage* image) {
  IStream* stream = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!stream) return false;
  bool loaded = image->LoadFromStream(stream, 1.0);
  stream->Release();
  return loaded;
}

// GDI+ reads a picture's pixels when it is first drawn unless told to at
// once: a picture that cannot be decoded is refused where it is loaded
// (for a slide, on the download thread, which then counts a failure), not
// accepted there and drawn as nothing later.
TEST(ScaledImageTest, APictureWhosePixelsCannotBeDecodedIsRefusedWhereItLoads) {
  ScaledImage whole;
  ASSERT_TRUE(LoadBytes(testing::Bmp32(40, 30, 40 * 30 * 4), &whole));
  EXPECT_EQ(whole.Width(), 40);

  testing::ScopedLogCapture log;
  ScaledImage cut;
  EXPECT_FALSE(LoadBytes(testing::Bmp32(400, 300, 64), &cut));
  EXPECT_TRUE(cut.IsEmpty());
  EXPECT_TRUE(log.ContainsPrefix("Failed to load a bitmap")) << "no refusal logged";
}

}  // namespace
}  // namespace ostrel
