// High contrast as its users expect it: the system's colours over a plain
// background, in place of the theme's pictures and colours. The pictures are
// drawn at the sizes of the ones they replace, so the layout stays as it is.
#ifndef UI_HIGH_CONTRAST_H_
#define UI_HIGH_CONTRAST_H_

#include <windows.h>

#include "ui/scaled_image.h"
#include "ui/window_theme.h"

namespace ostrel {

// The user's setting, through the OS-facts seam.
bool HighContrastOn();

// The window's background colour over `size` device pixels.
ScaledImage PlainPicture(SIZE size);
// A button's strip, frames normal, hot and pressed: the button face framed
// in the text colour, thicker when hot or pressed.
ScaledImage ButtonStripPicture(SIZE frame);
// A check box's strip as ImageCheckBox reads it: unchecked normal, hot,
// pressed, then checked normal, hot, pressed; drawn as the system draws a
// check box.
ScaledImage CheckBoxStripPicture(SIZE box);
// A caption button's strip of `frames` frames (normal, hot, pressed) with a
// close cross or a minimize bar in the text colour.
enum class CaptionGlyph { kClose, kMinimize };
ScaledImage CaptionStripPicture(SIZE frame, CaptionGlyph glyph, int frames = 3);
// A bar of one system colour (COLOR_* index).
ScaledImage BarPicture(SIZE size, int colour_index);

// Every text in the window text colour, links in the hot-light colour,
// opaque; the install button's text in the button text colour.
ThemeColors HighContrastColors();

}  // namespace ostrel

#endif  // UI_HIGH_CONTRAST_H_
