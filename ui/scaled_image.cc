#include "ui/scaled_image.h"

// GDI+'s flat API only; the images are owned by Holder.
#include <gdiplus.h>

#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/logging.h"
#include "base/resource_source.h"
#include "ui/png_decoder.h"
#include "ui/ui_scale.h"

namespace ostrel {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// A bitmap's pixels locked for writing, written back when it goes.
class ScopedBitmapWrite {
 public:
  ScopedBitmapWrite(GpBitmap* bitmap, INT width, INT height, PixelFormat format) : bitmap_(bitmap) {
    GpRect whole = {0, 0, width, height};
    locked_ = GdipBitmapLockBits(bitmap, &whole, ImageLockModeWrite, format, &data_) == Ok;
  }
  ScopedBitmapWrite(const ScopedBitmapWrite&) = delete;
  ScopedBitmapWrite& operator=(const ScopedBitmapWrite&) = delete;
  ~ScopedBitmapWrite() {
    if (locked_) GdipBitmapUnlockBits(bitmap_, &data_);
  }
  bool locked() const { return locked_; }
  BYTE* Row(INT y) const { return static_cast<BYTE*>(data_.Scan0) + static_cast<ptrdiff_t>(y) * data_.Stride; }
  ptrdiff_t stride() const { return data_.Stride; }

 private:
  GpBitmap* bitmap_;
  BitmapData data_ = {};
  bool locked_ = false;
};

}  // namespace

class ScaledImage::Holder {
 public:
  explicit Holder(GpImage* image) : image_(image) {}
  // Decoded straight into a bitmap GDI+ allocates itself, which it draws
  // with the system's blits; around memory of ours it would take its slow
  // path. Empty when the data turns out damaged.
  explicit Holder(PngReader& reader) {
    PixelFormat format = reader.opaque() ? PixelFormat32bppRGB : PixelFormat32bppPARGB;
    INT width = static_cast<INT>(reader.width());
    INT height = static_cast<INT>(reader.height());
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap) != Ok) return;
    image_ = bitmap;
    bool decoded = false;
    {
      ScopedBitmapWrite write(bitmap, width, height, format);
      decoded = write.locked() && reader.ReadPixels(write.Row(0), write.stride());
    }
    if (!decoded) Reset();
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  ~Holder() { Reset(); }
  GpImage* get() const { return image_; }

 private:
  void Reset() {
    if (image_) GdipDisposeImage(image_);
    image_ = nullptr;
  }

  GpImage* image_ = nullptr;
};

ImageChoice ChooseImageResource(const ImagePair& pair, double scale_factor) {
  if (pair.id_1x == 0 || (scale_factor != 1.0 && pair.id_2x != 0)) return {pair.id_2x, 2};
  return {pair.id_1x, 1};
}

bool EnsureGdiplus() {
  static const bool started = [] {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return GdiplusStartup(&token, &input, nullptr) == Ok;
  }();
  return started;
}

ScaledImage::ScaledImage() = default;
ScaledImage::~ScaledImage() = default;
ScaledImage::ScaledImage(const ScaledImage&) = default;
ScaledImage& ScaledImage::operator=(const ScaledImage&) = default;

bool ScaledImage::Load(const ImagePair& pair, HMODULE module) {
  image_.reset();
  double scale = ScaleFactor();
  ImageChoice choice = ChooseImageResource(pair, scale);
  if (choice.id == 0) return false;
  if (!module) module = ::GetModuleHandleW(nullptr);
  std::string_view data = ModuleResourceSource(module).Load(kPictureResourceType, ResourceIdName(choice.id));
  if (data.empty()) return false;
  PngReader reader;
  if (EnsureGdiplus() && reader.Open(data)) {
    auto holder = std::make_shared<Holder>(reader);
    if (holder->get()) {
      image_ = std::move(holder);
      factor_ = scale / choice.divisor;
      return true;
    }
  }
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, data.size());
  if (!block) return false;
  void* target = ::GlobalLock(block);
  if (!target) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(target, data.data(), data.size());
  ::GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
    ::GlobalFree(block);
    return false;
  }
  bool loaded_ok = LoadFromStream(stream, scale / choice.divisor);
  stream->Release();
  return loaded_ok;
}

bool ScaledImage::LoadFromStream(IStream* stream, double factor) {
  image_.reset();
  GpImage* image = nullptr;
  if (!EnsureGdiplus() || GdipLoadImageFromStreamICM(stream, &image) != Ok || !image) {
    PLOG_TAG(ERROR, "Load") << "Failed to load a bitmap";
    return false;
  }
  // GDI+ would decode at the first draw, on the window's thread: decoded
  // here, on the thread that loads, and a picture that cannot be is refused.
  auto holder = std::make_shared<Holder>(image);
  if (GdipImageForceValidation(image) != Ok) {
    PLOG_TAG(ERROR, "Load") << "Failed to load a bitmap";
    return false;
  }
  image_ = std::move(holder);
  factor_ = factor;
  return true;
}

int ScaledImage::PixelWidth() const {
  UINT width = 0;
  if (image_) GdipGetImageWidth(image_->get(), &width);
  return static_cast<int>(width);
}

int ScaledImage::PixelHeight() const {
  UINT height = 0;
  if (image_) GdipGetImageHeight(image_->get(), &height);
  return static_cast<int>(height);
}

int ScaledImage::Width() const { return static_cast<int>(PixelWidth() * factor_); }
int ScaledImage::Height() const { return static_cast<int>(PixelHeight() * factor_); }
int ScaledImage::WidthRoundedUp() const { return static_cast<int>(std::ceil(PixelWidth() * factor_)); }
int ScaledImage::HeightRoundedUp() const { return static_cast<int>(std::ceil(PixelHeight() * factor_)); }

void ScaledImage::Draw(HDC dc, int x, int y, int width, int height, int source_x, int source_y, int source_width,
                       int source_height) const {
  if (!image_ || factor_ <= 0) return;
  GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc, &graphics) != Ok) return;
  GdipDrawImageRectRect(graphics, image_->get(), static_cast<REAL>(x), static_cast<REAL>(y),
                        static_cast<REAL>(width), static_cast<REAL>(height),
                        static_cast<REAL>(source_x / factor_), static_cast<REAL>(source_y / factor_),
                        static_cast<REAL>(source_width / factor_), static_cast<REAL>(source_height / factor_),
                        UnitPixel, nullptr, nullptr, nullptr);
  GdipDeleteGraphics(graphics);
}

void ScaledImage::Draw(const PixelCanvas& canvas, int x, int y, int width, int height, int source_x, int source_y,
                       int source_width, int source_height) const {
  if (!image_ || factor_ <= 0 || !canvas.bits) return;
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromScan0(canvas.width, canvas.height, canvas.width * 4, PixelFormat32bppPARGB,
                                static_cast<BYTE*>(canvas.bits), &bitmap) != Ok) {
    return;
  }
  GpGraphics* graphics = nullptr;
  if (GdipGetImageGraphicsContext(bitmap, &graphics) == Ok) {
    GdipDrawImageRectRect(graphics, image_->get(), static_cast<REAL>(x), static_cast<REAL>(y),
                          static_cast<REAL>(width), static_cast<REAL>(height),
                          static_cast<REAL>(source_x / factor_), static_cast<REAL>(source_y / factor_),
                          static_cast<REAL>(source_width / factor_), static_cast<REAL>(source_height / factor_),
                          UnitPixel, nullptr, nullptr, nullptr);
    GdipDeleteGraphics(graphics);
  }
  GdipDisposeImage(bitmap);
}

void ScaledImage::Draw(HDC dc, int x, int y) const {
  Draw(dc, x, y, Width(), Height(), 0, 0, Width(), Height());
}

}  // namespace ostrel
