// Soft drop shadows as separate layered windows: around the main window
// (eight stretched images, plus bands of the window's own picture where its
// rounded corners let the shadow show through) and around the classic
// dialogs (their background's shadow margin, cut into four quarters).
#ifndef UI_SHADOW_WINDOW_H_
#define UI_SHADOW_WINDOW_H_

#include <windows.h>

#include <array>

#include "base/scoped_handle.h"
#include "ui/scaled_image.h"

namespace ostrel {

// Where the eight images go for a window of `width` × `height`, a shadow
// margin and the layout's shadow inset (device pixels), in the order
// top-left, top-right, bottom-right, bottom-left corner, then top, right,
// bottom, left edge.
std::array<RECT, 8> MainShadowRects(int width, int height, int margin, int inset);

class MainWindowShadow {
 public:
  // The theme's eight images in MainShadowRects' order, loaded once the
  // shadow window exists; `inset` is the layout's (logical).
  MainWindowShadow(const std::array<ImagePair, 8>& images, int inset);
  MainWindowShadow(const MainWindowShadow&) = delete;
  MainWindowShadow& operator=(const MainWindowShadow&) = delete;
  ~MainWindowShadow();

  // Creates the layered window owned by `owner` and loads its images (none
  // below Windows 8, where nothing would draw them).
  bool Create(HWND owner);
  // Rebuilds the bitmap with `window_image` as the window's picture and
  // places the shadow around the owner.
  void Update(const ScaledImage& window_image);
  // Follows the owner ("tarvik.lite.move_window").
  void Move();
  void Show();
  void Hide();
  HWND window() const { return shadow_.Get(); }

 private:
  std::array<ImagePair, 8> image_pairs_;
  std::array<ScaledImage, 8> images_;  // in MainShadowRects' order
  int inset_;
  HWND owner_ = nullptr;
  ScopedWindow shadow_;
};

// The classic dialogs' shadow: `shadow_image` cut into quarters in the
// corners of the dialog grown by `margins` (device pixels).
class DialogShadow {
 public:
  DialogShadow() = default;
  DialogShadow(const DialogShadow&) = delete;
  DialogShadow& operator=(const DialogShadow&) = delete;

  // Nothing when the screen has fewer than 32 bits per pixel.
  bool Create(HWND dialog, const ScaledImage& shadow_image, const RECT& margins);
  void Move();
  HWND window() const { return shadow_.Get(); }

 private:
  HWND dialog_ = nullptr;
  RECT margins_ = {};
  ScopedWindow shadow_;
};

// A shadow of eight images around a window grown by `margin`: corners of
// `corner` × `corner` and edges `margin` deep, stretched along the sides
// (device pixels). It stays right below the window.
class FramedShadow {
 public:
  // Images in MainShadowRects' order: the corners, then the top, right,
  // bottom and left edges.
  using Images = std::array<ScaledImage, 8>;

  FramedShadow() = default;
  FramedShadow(const FramedShadow&) = delete;
  FramedShadow& operator=(const FramedShadow&) = delete;

  bool Create(HWND window, const Images& images, int margin, int corner);
  void Move();
  void Destroy() { shadow_.Reset(); }
  HWND window() const { return shadow_.Get(); }

 private:
  HWND owner_window_ = nullptr;
  int margin_ = 0;
  ScopedWindow shadow_;
};

// Where FramedShadow puts its images for a window of `width` × `height`.
std::array<RECT, 8> FramedShadowRects(int width, int height, int margin, int corner);

}  // namespace ostrel

#endif  // UI_SHADOW_WINDOW_H_
