// Colour arithmetic of the icon button: colours as 0x00BBGGRR values,
// pictures as 0xAARRGGBB pixels. Free of any window system, so that every
// platform's button shares it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

using COLORREF = uint32_t;

constexpr COLORREF Rgb(int r, int g, int b) {
  return static_cast<COLORREF>(r) | static_cast<COLORREF>(g) << 8 | static_cast<COLORREF>(b) << 16;
}
constexpr int RedOf(COLORREF c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(COLORREF c) { return static_cast<int>(c >> 8 & 0xFF); }
constexpr int BlueOf(COLORREF c) { return static_cast<int>(c >> 16 & 0xFF); }

// Each channel v becomes v - v * factor, truncated; unchanged for a factor
// outside (0, 1].
COLORREF DarkenColor(COLORREF colour, double factor);
// 0.587 G + 0.114 B + 0.299 R, truncated, in all three channels.
COLORREF GreyColor(COLORREF colour);
// Moves all three channels by the same amount, as far as the channel
// nearest its bound allows (offset within -255..255).
COLORREF ShiftColor(COLORREF colour, int offset);

// The contrast ratio of two colours (1 to 21), by relative luminance.
double ContrastRatio(COLORREF a, COLORREF b);
// The colour a disabled caption takes on face: text mixed into the face
// just far enough to stay readable (4.5:1), so that its thin, smoothed
// strokes still reach 3:1.
COLORREF DisabledCaptionColor(COLORREF face, COLORREF text);
// The desktop's embossed look puts a highlight one pixel down and right of
// a disabled caption; it shows only where it is lighter than the face.
bool EmbossShows(COLORREF face, COLORREF highlight);

// Puts each pixel (0xAARRGGBB) of a picture through rule; black stays
// black and transparency is kept.
void DerivePixels(uint32_t* pixels, size_t count, COLORREF (*rule)(COLORREF));

}  // namespace zel
