#include "widgets/IconColors.h"

#include <algorithm>
#include <cmath>

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

namespace {

constexpr double kDisabledContrast = 4.5;

double Luminance(COLORREF c) {
  auto channel = [](int v) {
    const double x = v / 255.0;
    return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(RedOf(c)) + 0.7152 * channel(GreenOf(c)) + 0.0722 * channel(BlueOf(c));
}

}  // namespace

double ContrastRatio(COLORREF a, COLORREF b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

COLORREF DisabledCaptionColor(COLORREF face, COLORREF text) {
  // From halfway between face and text towards the text, until readable.
  for (int share = 50; share < 100; share += 5) {
    const auto mix = [&](int f, int t) { return (f * (100 - share) + t * share) / 100; };
    const COLORREF colour = Rgb(mix(RedOf(face), RedOf(text)), mix(GreenOf(face), GreenOf(text)),
                                mix(BlueOf(face), BlueOf(text)));
    if (ContrastRatio(colour, face) >= kDisabledContrast) return colour;
  }
  return text;
}

bool EmbossShows(COLORREF face, COLORREF highlight) { return Luminance(highlight) > Luminance(face); }

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
