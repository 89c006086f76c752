#include "widgets/IconButtonRules.h"

namespace zel {

int CIconButtonRules::OffsetColor(int index, int offset) {
  if (index < 0 || index > 5) return IBR_BAD_COLOR_INDEX;
  if (offset < -255 || offset > 255) return IBR_BAD_OFFSET;
  colors[static_cast<size_t>(index)] = ShiftColor(colors[static_cast<size_t>(index)], offset);
  return IBR_DONE;
}

int CIconButtonRules::SetPressedStyle(int style) {
  if (style == PRESS_SHIFT_DIAGONAL) {
    pressX = 1;
    pressY = 1;
  } else if (style == PRESS_SHIFT_DOWN) {
    pressX = 0;
    pressY = 2;
  } else {
    return IBR_BAD_PRESS_STYLE;
  }
  return IBR_DONE;
}

CImageSpot CIconButtonRules::PlaceImage(bool hasCaption, int left, int top, int width, int height,
                                        int& captionLeft, bool shifted, int imageWidth,
                                        int imageHeight) const {
  CImageSpot spot{left, top};
  if (hasCaption) {
    spot.x = left + marginX;
    captionLeft += marginX + imageWidth;
  } else {
    spot.x += (width - imageWidth) / 2;
  }
  spot.y += (height - imageHeight) / 2;
  if (shifted) {
    spot.x += pressX;
    spot.y += pressY;
  }
  return spot;
}

int CIconButtonBase::SetFlat(bool flat, bool repaint) {
  m_bFlat = flat;
  if (repaint) Repaint();
  return IBR_DONE;
}

int CIconButtonBase::OffsetColor(int index, int offset, bool repaint) {
  const int result = m_rules.OffsetColor(index, offset);
  if (result == IBR_DONE && repaint) Repaint();
  return result;
}

int CIconButtonBase::SetPressedStyle(int style, bool repaint) {
  const int result = m_rules.SetPressedStyle(style);
  if (result == IBR_DONE && repaint) Repaint();
  return result;
}

int CIconButtonBase::SetChecked(int check, bool repaint) {
  if (!m_bCheckBox) return IBR_DONE;
  m_bChecked = check != 0;
  if (repaint) Repaint();
  return IBR_DONE;
}

std::vector<CFrameBar> OutlineBars(FrameShade shade, int l, int t, int r, int b) {
  return {{l, t, r - l, 1, shade},
          {l, b - 1, r - l, 1, shade},
          {l, t, 1, b - t, shade},
          {r - 1, t, 1, b - t, shade}};
}

std::vector<CFrameBar> FrameBars(IconButtonFrame frame, int l, int t, int r, int b) {
  // One pixel, one shade above and left and another below and right.
  auto flat = [&](FrameShade topLeft, FrameShade bottomRight) {
    return std::vector<CFrameBar>{{l, t, r - l - 1, 1, topLeft},
                                  {l, t, 1, b - t - 1, topLeft},
                                  {r - 1, t, 1, b - t, bottomRight},
                                  {l, b - 1, r - l, 1, bottomRight}};
  };
  switch (frame) {
    case IconButtonFrame::None: return {};
    case IconButtonFrame::FlatSunken: return flat(FrameShade::Shadow, FrameShade::Highlight);
    case IconButtonFrame::FlatRaised: return flat(FrameShade::Highlight, FrameShade::Shadow);
    case IconButtonFrame::Sunken3d: return OutlineBars(FrameShade::Shadow, l, t, r, b);
    case IconButtonFrame::Raised3d: break;
  }
  // The desktop's button edge: highlight and light outside and inside
  // above and left, dark shadow and shadow below and right.
  return {{l, t + 1, 1, b - t - 1, FrameShade::Highlight},  {l, t, r - l, 1, FrameShade::Highlight},
          {l + 1, t + 2, 1, b - t - 2, FrameShade::Light},  {l + 1, t + 1, r - l - 1, 1, FrameShade::Light},
          {l, b - 1, r - l - 1, 1, FrameShade::DarkShadow}, {r - 1, t, 1, b - t, FrameShade::DarkShadow},
          {l + 1, b - 2, r - l - 3, 1, FrameShade::Shadow}, {r - 2, t + 1, 1, b - t - 2, FrameShade::Shadow}};
}

}  // namespace zel
