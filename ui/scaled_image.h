// An image of the user interface with the factor that maps its pixels to
// device pixels. Resources come at 1x and 2x; the one that suits the scale
// factor is loaded and drawn so that one scaled layout works with either.
// Images are shared between holders (the slideshow, the buttons that take a
// slide as their background), so copies share the decoded image.
#ifndef UI_SCALED_IMAGE_H_
#define UI_SCALED_IMAGE_H_

#include <windows.h>
#include <objidl.h>

#include <memory>

namespace ostrel {

struct ImagePair {
  int id_1x = 0;
  int id_2x = 0;
};

struct ImageChoice {
  int id = 0;
  int divisor = 1;
};

// The 2x image (divisor 2) when there is no 1x one or the scale is not
// exactly 1 and a 2x one exists; else the 1x image.
ImageChoice ChooseImageResource(const ImagePair& pair, double scale_factor);

// Starts GDI+ once for the process (kept until exit).
bool EnsureGdiplus();

// Top-down 32-bit premultiplied pixels (a layered window's bitmap): drawing
// there keeps the images' alpha, which drawing through a device context
// would not.
struct PixelCanvas {
  void* bits = nullptr;
  int width = 0;
  int height = 0;
};

// RT_RCDATA, the pictures' resource type, in the text form resource sources take.
inline constexpr wchar_t kPictureResourceType[] = L"#10";

class ScaledImage {
 public:
  ScaledImage();
  ~ScaledImage();
  ScaledImage(const ScaledImage&);
  ScaledImage& operator=(const ScaledImage&);

  // RT_RCDATA resources of `module` (null: the executable); false and empty
  // when the chosen one is missing or cannot be decoded.
  bool Load(const ImagePair& pair, HMODULE module = nullptr);
  bool Load(int id_1x, int id_2x) { return Load(ImagePair{id_1x, id_2x}); }
  // Decodes a stream (downloaded slides) with the given factor.
  bool LoadFromStream(IStream* stream, double factor);

  bool IsEmpty() const { return !image_; }
  // Both hold the same decoded image (copies of one load).
  bool SharesImageWith(const ScaledImage& other) const { return image_ && image_ == other.image_; }
  // Device pixels: image pixels × factor, truncated or rounded up.
  int Width() const;
  int Height() const;
  int WidthRoundedUp() const;
  int HeightRoundedUp() const;
  int PixelWidth() const;
  int PixelHeight() const;
  double factor() const { return factor_; }

  // Source rectangle in device pixels of the scaled image.
  void Draw(HDC dc, int x, int y, int width, int height, int source_x, int source_y, int source_width,
            int source_height) const;
  void Draw(const PixelCanvas& canvas, int x, int y, int width, int height, int source_x, int source_y,
            int source_width, int source_height) const;
  // The whole image at its scaled size.
  void Draw(HDC dc, int x, int y) const;

 private:
  class Holder;
  std::shared_ptr<Holder> image_;
  double factor_ = 1.0;
};

}  // namespace ostrel

#endif  // UI_SCALED_IMAGE_H_
