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

QImage DeriveIcon(const QImage& icon, COLORREF (*rule)(COLORREF)) {
  QImage derived = icon.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < derived.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(derived.scanLine(y));
    for (int x = 0; x < derived.width(); ++x) {
      const QRgb pixel = row[x];
      const COLORREF colour = Rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
      const COLORREF result = colour == 0 ? 0 : rule(colour);
      row[x] = qRgba(RedOf(result), GreenOf(result), BlueOf(result), qAlpha(pixel));
    }
  }
  return derived;
}

}  // namespace zel
