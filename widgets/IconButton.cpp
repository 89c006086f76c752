#include "widgets/IconButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

namespace zel {
namespace {

// The platform's system colours, as this palette has them.
COLORREF SysColor(const QPalette& palette, QPalette::ColorRole role) {
  return FromQColor(palette.color(role));
}

// Windows rectangles are (left, top, right, bottom) with right and bottom
// outside; QRect's right() is inside. Lines here are drawn pixel by pixel
// as the platform draws them.
void FillLine(QPainter& p, int x0, int y0, int x1, int y1, COLORREF colour) {
  // A horizontal or vertical line from (x0, y0) up to, not including, (x1, y1).
  const QColor c = ToQColor(colour);
  if (y0 == y1) {
    if (x1 > x0) p.fillRect(QRect(x0, y0, x1 - x0, 1), c);
    if (x1 < x0) p.fillRect(QRect(x1 + 1, y0, x0 - x1, 1), c);
  } else if (x0 == x1) {
    if (y1 > y0) p.fillRect(QRect(x0, y0, 1, y1 - y0), c);
    if (y1 < y0) p.fillRect(QRect(x0, y1 + 1, 1, y0 - y1), c);
  }
}

void FrameRect(QPainter& p, const QRect& r, COLORREF colour) {
  const int l = r.left(), t = r.top(), rr = r.left() + r.width(), b = r.top() + r.height();
  const QColor c = ToQColor(colour);
  p.fillRect(QRect(l, t, rr - l, 1), c);
  p.fillRect(QRect(l, b - 1, rr - l, 1), c);
  p.fillRect(QRect(l, t, 1, b - t), c);
  p.fillRect(QRect(rr - 1, t, 1, b - t), c);
}

void Draw3dRect(QPainter& p, const QRect& r, COLORREF topLeft, COLORREF bottomRight) {
  const int l = r.left(), t = r.top(), rr = r.left() + r.width(), b = r.top() + r.height();
  p.fillRect(QRect(l, t, rr - l - 1, 1), ToQColor(topLeft));
  p.fillRect(QRect(l, t, 1, b - t - 1), ToQColor(topLeft));
  p.fillRect(QRect(rr - 1, t, 1, b - t), ToQColor(bottomRight));
  p.fillRect(QRect(l, b - 1, rr - l, 1), ToQColor(bottomRight));
}

QString IconPath(int id, int size) {
  if (id == 140 && size == 16) return QStringLiteral(":/boxfeeder/icon140_16.png");
  return QStringLiteral(":/boxfeeder/icon%1.png").arg(id);
}

}  // namespace

QPixmap LoadIconResource(int id, int width, int height) {
  QPixmap pixmap(IconPath(id, width));
  if (pixmap.isNull() || width <= 0 || height <= 0 || pixmap.size() == QSize(width, height)) return pixmap;
  return pixmap.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

CIconButton::CIconButton(const QString& caption, Kind kind, QWidget* parent) : QAbstractButton(parent) {
  setText(caption);
  m_bCheckBox = kind == Kind::CheckBox;
  m_bDefault = kind == Kind::DefaultPushButton;
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover);
  setFocusPolicy(Qt::StrongFocus);
  SetPressedStyle(PRESS_SHIFT_DIAGONAL, false);
  SetDefaultColors(false);
  // The button's own reaction comes first; the dialog's click handler,
  // connected later, runs after it.
  connect(this, &QAbstractButton::clicked, this, &CIconButton::OnClicked);
}

void CIconButton::OnClicked() {
  setFocus(Qt::MouseFocusReason);
  if (m_bCheckBox) {
    m_bChecked = !m_bChecked;
    Repaint();
  }
}

void CIconButton::FreeImages() { m_icons = {}; }

int CIconButton::SetIcons(int hotIconId, int restIconId) {
  return SetIcons(hotIconId, 0, 0, restIconId, 0, 0);
}

int CIconButton::SetIcons(int hotIconId, int hotCx, int hotCy, int restIconId, int restCx, int restCy) {
  const QPixmap hot = LoadIconResource(hotIconId, hotCx, hotCy);
  if (restIconId == ICON_AUTO_GREY || restIconId == ICON_AUTO_DARK)
    return SetIcons(hot, QPixmap(), restIconId);
  const QPixmap rest = restIconId != 0 ? LoadIconResource(restIconId, restCx, restCy) : QPixmap();
  return SetIcons(hot, rest);
}

int CIconButton::SetIcons(const QPixmap& hotIcon, const QPixmap& restIcon, int deriveRest) {
  FreeImages();
  if (!hotIcon.isNull()) {
    m_icons[0] = {hotIcon, hotIcon.size()};
    QPixmap rest = restIcon;
    if (deriveRest == ICON_AUTO_GREY || deriveRest == ICON_AUTO_DARK) {
      const auto rule =
          deriveRest == ICON_AUTO_GREY ? &GreyColor : [](COLORREF c) { return DarkenColor(c, 0.25); };
      rest = QPixmap::fromImage(DeriveIcon(hotIcon.toImage(), rule));
      if (rest.isNull()) {
        FreeImages();
        return IBR_BAD_ICON;
      }
    }
    if (!rest.isNull()) m_icons[1] = {rest, rest.size()};
  }
  Repaint();
  return IBR_DONE;
}

int CIconButton::SetFlat(bool flat, bool repaint) {
  m_bFlat = flat;
  if (repaint) Repaint();
  return IBR_DONE;
}

int CIconButton::OffsetColor(int index, int offset, bool repaint) {
  if (index < 0 || index > 5) return IBR_BAD_COLOR_INDEX;
  if (offset < -255 || offset > 255) return IBR_BAD_OFFSET;
  m_crColors[static_cast<size_t>(index)] = ShiftColor(m_crColors[static_cast<size_t>(index)], offset);
  if (repaint) Repaint();
  return IBR_DONE;
}

int CIconButton::SetDefaultColors(bool repaint) {
  const QPalette& p = palette();
  const COLORREF face = SysColor(p, QPalette::Button);
  const COLORREF text = SysColor(p, QPalette::ButtonText);
  m_crColors = {face, text, face, text, face, text};
  if (repaint) Repaint();
  return IBR_DONE;
}

void CIconButton::SetTooltipText(const QString& text, bool activate) {
  if (text.isEmpty()) return;
  m_toolTip = text;
  // Rich text makes the tip wrap; a table cell keeps it to 400 pixels.
  setToolTip(
      activate ? QStringLiteral("<table width=\"400\"><tr><td>%1</td></tr></table>").arg(text.toHtmlEscaped())
               : QString());
}

int CIconButton::SetPressedStyle(int style, bool repaint) {
  if (style == PRESS_SHIFT_DIAGONAL)
    m_ptPressOffset = {1, 1};
  else if (style == PRESS_SHIFT_DOWN)
    m_ptPressOffset = {0, 2};
  else
    return IBR_BAD_PRESS_STYLE;
  if (repaint) Repaint();
  return IBR_DONE;
}

int CIconButton::SetChecked(int check, bool repaint) {
  if (!m_bCheckBox) return IBR_DONE;
  m_bChecked = check != 0;
  if (repaint) Repaint();
  return IBR_DONE;
}

void CIconButton::TrackHover(const QPoint& position, Qt::MouseButtons buttons) {
  if ((buttons & Qt::LeftButton) && !m_bHot) return;
  if (!m_bFlat) return;
  if (rect().contains(position) && isEnabled()) {
    if (!m_bHot) {
      m_bHot = true;
      Repaint();
    }
  } else {
    CancelHover();
  }
}

void CIconButton::CancelHover() {
  if (m_bFlat && m_bHot) {
    m_bHot = false;
    Repaint();
  }
}

void CIconButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  TrackHover(event->position().toPoint(), QApplication::mouseButtons());
}

void CIconButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  CancelHover();
}

void CIconButton::mouseMoveEvent(QMouseEvent* event) {
  QAbstractButton::mouseMoveEvent(event);
  TrackHover(event->position().toPoint(), event->buttons());
}

void CIconButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  CancelHover();
}

void CIconButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  switch (event->type()) {
    case QEvent::PaletteChange:  // the system colours changed
      SetDefaultColors(true);
      break;
    case QEvent::ActivationChange:
      if (!isActiveWindow()) CancelHover();
      break;
    case QEvent::EnabledChange:
      if (!isEnabled()) {
        if (hasFocus() || QApplication::focusWidget() == nullptr) {
          QWidget* next = nextInFocusChain();
          while (next != this &&
                 !(next->isEnabled() && next->isVisible() && (next->focusPolicy() & Qt::TabFocus)))
            next = next->nextInFocusChain();
          (next != this ? next : parentWidget())->setFocus(Qt::TabFocusReason);
        }
        CancelHover();
      }
      break;
    default: break;
  }
}

bool CIconButton::event(QEvent* event) {
  // A double click is two clicks.
  if (event->type() == QEvent::MouseButtonDblClick) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    QMouseEvent press(QEvent::MouseButtonPress, mouse->position(), mouse->scenePosition(),
                      mouse->globalPosition(), mouse->button(), mouse->buttons(), mouse->modifiers());
    return QAbstractButton::event(&press);
  }
  return QAbstractButton::event(event);
}

void CIconButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  m_bPressed = m_bCheckBox ? (isDown() || m_bChecked) : isDown();
  m_bFocused = hasFocus();
  m_bDisabled = !isEnabled();
  QRect working = rect();
  DrawBackground(painter, working);
  DrawBorder(painter, working);
  const QString caption = text();
  QRect captionRect = rect();
  if (!m_icons[0].pixmap.isNull())
    DrawIconImage(painter, !caption.isEmpty(), rect(), captionRect, m_bPressed, m_bDisabled);
  if (!caption.isEmpty()) DrawCaption(painter, caption, rect(), captionRect, m_bPressed, m_bDisabled);
  if ((!m_bFlat || m_bFocusWhenFlat) && m_bFocused) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = working.adjusted(3, 3, -3, -3);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

void CIconButton::DrawBackground(QPainter& painter, QRect& rect) {
  if (!m_bFlat && (m_bFocused || m_bDefault)) {
    FrameRect(painter, rect, Rgb(0, 0, 0));
    rect.adjust(1, 1, -1, -1);
  }
  const COLORREF face = (m_bHot || m_bPressed) ? m_crColors[CLR_HOT_BACK]
                        : m_bFocused           ? m_crColors[CLR_FOCUS_BACK]
                                               : m_crColors[CLR_NORMAL_BACK];
  painter.fillRect(rect, ToQColor(face));
}

void CIconButton::DrawBorder(QPainter& painter, const QRect& rect) {
  const QPalette& p = palette();
  const COLORREF shadow = SysColor(p, QPalette::Dark);
  const COLORREF highlight = SysColor(p, QPalette::Light);
  if (m_bPressed) {
    if (m_bFlat) {
      if (m_bBorderWhenFlat) Draw3dRect(painter, rect, shadow, highlight);
    } else {
      FrameRect(painter, rect, shadow);
    }
    return;
  }
  if (m_bFlat) {
    if (m_bHot && m_bBorderWhenFlat) Draw3dRect(painter, rect, highlight, shadow);
    return;
  }
  const int l = rect.left(), t = rect.top(), r = rect.left() + rect.width(), b = rect.top() + rect.height();
  const COLORREF light = SysColor(p, QPalette::Midlight);
  const COLORREF darkShadow = SysColor(p, QPalette::Shadow);
  FillLine(painter, l, b - 1, l, t, highlight);
  FillLine(painter, l, t, r, t, highlight);
  FillLine(painter, l + 1, b - 1, l + 1, t + 1, light);
  FillLine(painter, l + 1, t + 1, r, t + 1, light);
  FillLine(painter, l, b - 1, r - 1, b - 1, darkShadow);
  FillLine(painter, r - 1, b - 1, r - 1, t - 1, darkShadow);
  FillLine(painter, l + 1, b - 2, r - 2, b - 2, shadow);
  FillLine(painter, r - 2, b - 2, r - 2, t, shadow);
}

QPoint CIconButton::PlaceImage(bool hasCaption, const QRect& item, QRect& caption, bool pressed,
                               QSize size) const {
  QPoint image = item.topLeft();
  if (hasCaption) {
    image.setX(item.left() + m_nMarginX);
    caption.setLeft(caption.left() + m_nMarginX + size.width());
  } else {
    image.rx() += (item.width() - size.width()) / 2;
  }
  image.ry() += (item.height() - size.height()) / 2;
  if (pressed && !m_bCheckBox) image += m_ptPressOffset;
  return image;
}

void CIconButton::DrawIconImage(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption,
                                bool pressed, bool disabled) {
  const bool showHot = m_bCheckBox ? pressed : (pressed || m_bHot);
  const CIcon& icon = (showHot || m_icons[1].pixmap.isNull()) ? m_icons[0] : m_icons[1];
  const QPoint at = PlaceImage(hasCaption, item, caption, pressed, icon.size);
  if (disabled) {
    QStyleOption option;
    option.initFrom(this);
    painter.drawPixmap(at, style()->generatedIconPixmap(QIcon::Disabled, icon.pixmap, &option));
  } else {
    painter.drawPixmap(at, icon.pixmap);
  }
}

void CIconButton::DrawCaption(QPainter& painter, const QString& text, const QRect& /*item*/, QRect& caption,
                              bool /*pressed*/, bool disabled) {
  if (m_bPressed && !m_bCheckBox) caption.translate(m_ptPressOffset);
  const QRect frame = caption;
  constexpr int kFlags = Qt::AlignHCenter | Qt::TextWordWrap;
  QRect box =
      painter.boundingRect(QRect(caption.left(), caption.top(), caption.width(), 100000), kFlags, text);
  box.moveTopLeft(caption.topLeft());
  box.translate((frame.width() - box.width()) / 2, (frame.height() - box.height()) / 2);
  caption = box;
  const QPalette& p = palette();
  if (disabled) {
    painter.setPen(ToQColor(SysColor(p, QPalette::Light)));
    painter.drawText(box.translated(1, 1), kFlags, text);
    painter.setPen(ToQColor(SysColor(p, QPalette::Dark)));
    painter.drawText(box, kFlags, text);
    return;
  }
  const COLORREF colour = (m_bHot || m_bPressed) ? m_crColors[CLR_HOT_TEXT]
                          : m_bFocused           ? m_crColors[CLR_FOCUS_TEXT]
                                                 : m_crColors[CLR_NORMAL_TEXT];
  painter.setPen(ToQColor(colour));
  painter.drawText(box, kFlags, text);
}

}  // namespace zel
