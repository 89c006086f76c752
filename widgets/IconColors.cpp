#include "widgets/IconColors.h"

#include <algorithm>

namespace zel {

COLORREF DarkenColor(COLORREF colour, double factor) {
  if (factor <= 0.0 || factor > 1.0) return colour;
  auto darken = [factor](int v) { return static_cast<int>(v - v * factor); };
  return Rgb(darken(RedOf(colour)), darken(GreenOf(colour)), darken(BlueOf(colour)));
}

COLORREF GreyColor(COLORREF colour) {
  const int g = static_cast<int>(0.587 * GreenOf(colour) + 0.114 * BlueOf(colour) + 0.299 * RedOf(colour));
  return Rgb(g, g, g);
}

COLORREF ShiftColor(COLORREF colour, int offset) {
  const int channels[3] = {RedOf(colour), GreenOf(colour), BlueOf(colour)};
  int applied = offset;
  for (int c : channels) {
    if (offset > 0)
      applied = std::min(applied, c + offset > 255 ? 255 - c : offset);
    else
      applied = std::max(applied, c + offset < 0 ? -c : offset);
  }
  return Rgb(channels[0] + applied, channels[1] + applied, channels[2] + applied);
}

void DerivePixels(uint32_t* pixels, size_t count, COLORREF (*rule)(COLORREF)) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t pixel = pixels[i];
    const COLORREF colour = Rgb(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
    const COLORREF result = colour == 0 ? 0 : rule(colour);
    pixels[i] = (pixel & 0xFF000000u) | uint32_t(RedOf(result)) << 16 | uint32_t(GreenOf(result)) << 8 |
                uint32_t(BlueOf(result));
  }
}

}  // namespace zel
