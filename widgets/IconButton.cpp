#include "widgets/IconButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QToolTip>
#include <cmath>

namespace zel {
namespace {

// The platform's system colours, as this palette has them. They do not
// change with the button's state: a disabled button asks for the same.
COLORREF SysColor(const QPalette& palette, QPalette::ColorRole role) {
  return FromQColor(palette.color(QPalette::Active, role));
}

COLORREF ShadeColor(const QPalette& palette, FrameShade shade) {
  switch (shade) {
    case FrameShade::Black: return Rgb(0, 0, 0);
    case FrameShade::Highlight: return SysColor(palette, QPalette::Light);
    case FrameShade::Light: return SysColor(palette, QPalette::Midlight);
    case FrameShade::Shadow: return SysColor(palette, QPalette::Dark);
    case FrameShade::DarkShadow: return SysColor(palette, QPalette::Shadow);
  }
  return Rgb(0, 0, 0);
}

void PaintBars(QPainter& painter, const QPalette& palette, const std::vector<CFrameBar>& bars) {
  for (const CFrameBar& bar : bars)
    if (bar.cx > 0 && bar.cy > 0)
      painter.fillRect(QRect(bar.x, bar.y, bar.cx, bar.cy), ToQColor(ShadeColor(palette, bar.shade)));
}

// The widest a tool tip grows before its text wraps.
constexpr int kToolTipMaxWidth = 400;

}  // namespace

std::shared_ptr<QSvgRenderer> LoadIconResource(int id) {
  auto drawing = std::make_shared<QSvgRenderer>(QStringLiteral(":/boxfeeder/icon%1.svg").arg(id));
  return drawing->isValid() ? drawing : nullptr;
}

QPixmap RenderIcon(QSvgRenderer& drawing, QSize size, qreal pixelRatio) {
  QPixmap pixmap(size * pixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  drawing.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(pixelRatio);
  return pixmap;
}

QImage DeriveIcon(const QImage& icon, COLORREF (*rule)(COLORREF)) {
  QImage derived = icon.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < derived.height(); ++y)
    DerivePixels(reinterpret_cast<uint32_t*>(derived.scanLine(y)), static_cast<size_t>(derived.width()),
                 rule);
  return derived;
}

CQtIconButton::CQtIconButton(const QString& caption, Kind kind, QWidget* parent) : QAbstractButton(parent) {
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
  connect(this, &QAbstractButton::clicked, this, &CQtIconButton::OnClicked);
}

void CQtIconButton::OnClicked() {
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  if (m_bCheckBox) {
    m_bChecked = !m_bChecked;
    Repaint();
  }
}

void CQtIconButton::FreeImages() { m_icons = {}; }

int CQtIconButton::SetIcons(int hotIconId, int restIconId) {
  return SetIcons(hotIconId, 0, 0, restIconId, 0, 0);
}

int CQtIconButton::SetIcons(int hotIconId, int hotCx, int hotCy, int restIconId, int restCx, int restCy) {
  // A drawing at the size asked for, or at its own.
  auto load = [](int id, int cx, int cy) -> CIcon {
    auto drawing = LoadIconResource(id);
    if (!drawing) return {};
    const QSize size = cx > 0 && cy > 0 ? QSize(cx, cy) : drawing->defaultSize();
    return {QPixmap(), std::move(drawing), size};
  };
  if (restIconId == ICON_AUTO_GREY || restIconId == ICON_AUTO_DARK) {
    const CIcon hot = load(hotIconId, hotCx, hotCy);
    return SetIcons(hot.drawing ? RenderIcon(*hot.drawing, hot.size, 1) : QPixmap(), QPixmap(), restIconId);
  }
  FreeImages();
  m_icons[0] = load(hotIconId, hotCx, hotCy);
  if (!m_icons[0].IsNull() && restIconId != 0) m_icons[1] = load(restIconId, restCx, restCy);
  Repaint();
  return IBR_DONE;
}

int CQtIconButton::SetIcons(const QPixmap& hotIcon, const QPixmap& restIcon, int deriveRest) {
  FreeImages();
  if (!hotIcon.isNull()) {
    m_icons[0] = {hotIcon, nullptr, hotIcon.size()};
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
    if (!rest.isNull()) m_icons[1] = {rest, nullptr, rest.size()};
  }
  Repaint();
  return IBR_DONE;
}

int CQtIconButton::SetDefaultColors(bool repaint) {
  // The button face is the dialog's own background, as the platform has
  // it: a flat button at rest shows nothing of itself but icon and caption.
  const QPalette& p = palette();
  const COLORREF face = SysColor(p, QPalette::Window);
  const COLORREF text = SysColor(p, QPalette::ButtonText);
  m_rules.SetDefaultColors(face, text);
  if (repaint) Repaint();
  return IBR_DONE;
}

void CQtIconButton::SetTooltipText(const QString& text, bool activate) {
  if (text.isEmpty()) return;
  m_toolTip = text;
  if (!activate) {
    setToolTip(QString());
    return;
  }
  // A short tip takes the width of its text; a long one wraps at the
  // maximum width, which only rich text in a table cell of that width does.
  const int width = QFontMetrics(QToolTip::font()).horizontalAdvance(text);
  setToolTip(width <= kToolTipMaxWidth ? text
                                       : QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                                             .arg(kToolTipMaxWidth)
                                             .arg(text.toHtmlEscaped()));
}

void CQtIconButton::TrackHover(const QPoint& position, Qt::MouseButtons buttons) {
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

void CQtIconButton::CancelHover() {
  if (m_bFlat && m_bHot) {
    m_bHot = false;
    Repaint();
  }
}

void CQtIconButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  TrackHover(event->position().toPoint(), QApplication::mouseButtons());
}

void CQtIconButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  CancelHover();
}

void CQtIconButton::mouseMoveEvent(QMouseEvent* event) {
  QAbstractButton::mouseMoveEvent(event);
  TrackHover(event->position().toPoint(), event->buttons());
}

void CQtIconButton::focusInEvent(QFocusEvent* event) {
  QAbstractButton::focusInEvent(event);
  // Focus that the keyboard moved here is shown; a click's is not, as on
  // the desktop.
  switch (event->reason()) {
    case Qt::MouseFocusReason: m_bKeyboardFocus = false; break;
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason: m_bKeyboardFocus = true; break;
    default: break;
  }
}

void CQtIconButton::keyPressEvent(QKeyEvent* event) {
  // To the dialog the button is a push button: Enter clicks the focused
  // button (Space does too, through the base class).
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    m_bKeyboardFocus = true;
    click();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Space) m_bKeyboardFocus = true;
  QAbstractButton::keyPressEvent(event);
}

void CQtIconButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  CancelHover();
}

void CQtIconButton::changeEvent(QEvent* event) {
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

bool CQtIconButton::event(QEvent* event) {
  // A double click is two clicks.
  if (event->type() == QEvent::MouseButtonDblClick) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    QMouseEvent press(QEvent::MouseButtonPress, mouse->position(), mouse->scenePosition(),
                      mouse->globalPosition(), mouse->button(), mouse->buttons(), mouse->modifiers());
    return QAbstractButton::event(&press);
  }
  return QAbstractButton::event(event);
}

void CQtIconButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  m_bPressed = m_bCheckBox ? (isDown() || m_bChecked) : isDown();
  m_bFocused = hasFocus();
  m_bDisabled = !isEnabled();
  TakeLook(m_bKeyboardFocus);
  QRect working = rect();
  DrawBackground(painter, working);
  DrawBorder(painter, working);
  const QString caption = text();
  QRect captionRect = rect();
  m_iconRect = QRect();
  if (!m_icons[0].IsNull())
    DrawIconImage(painter, !caption.isEmpty(), rect(), captionRect, m_bPressed, m_bDisabled);
  if (!caption.isEmpty()) DrawCaption(painter, caption, rect(), captionRect, m_bPressed, m_bDisabled);
  if (m_look.focusRect) {
    // A dotted rectangle in the caption's colour, as the desktop draws it.
    painter.setPen(QPen(ToQColor(m_rules.Color(CLR_FOCUS_TEXT)), 1, Qt::DotLine));
    painter.drawRect(working.adjusted(3, 3, -4, -4));
  }
}

void CQtIconButton::DrawBackground(QPainter& painter, QRect& rect) {
  if (m_look.blackFrame) {
    PaintBars(painter, palette(),
              OutlineBars(FrameShade::Black, rect.left(), rect.top(), rect.left() + rect.width(),
                          rect.top() + rect.height()));
    rect.adjust(1, 1, -1, -1);
  }
  painter.fillRect(rect, ToQColor(m_rules.Color(m_look.faceColor)));
}

void CQtIconButton::DrawBorder(QPainter& painter, const QRect& rect) {
  PaintBars(painter, palette(),
            FrameBars(m_look.frame, rect.left(), rect.top(), rect.left() + rect.width(),
                      rect.top() + rect.height()));
}

QPixmap CQtIconButton::Picture(const CIcon& icon, QSize& drawn) const {
  const QSize room(width() - 2 * m_rules.marginX, height() - 2 * m_rules.marginY);
  drawn = icon.size;
  if (drawn.width() > room.width() || drawn.height() > room.height())
    drawn = icon.size.scaled(room.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
  const qreal ratio = devicePixelRatioF();
  if (icon.drawing) return RenderIcon(*icon.drawing, drawn, ratio);
  if (drawn == icon.pixmap.size() && ratio == 1) return icon.pixmap;
  QPixmap scaled = icon.pixmap.scaled(drawn * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  scaled.setDevicePixelRatio(ratio);
  return scaled;
}

void CQtIconButton::DrawIconImage(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption,
                                  bool pressed, bool disabled) {
  (void)pressed;
  const CIcon& icon = (m_look.hotIcon || m_icons[1].IsNull()) ? m_icons[0] : m_icons[1];
  QSize drawn;
  QPixmap picture = Picture(icon, drawn);
  int captionLeft = caption.left();
  const CImageSpot spot =
      m_rules.PlaceImage(hasCaption, item.left(), item.top(), item.width(), item.height(), captionLeft,
                         pressed && m_look.shifted, drawn.width(), drawn.height());
  caption.setLeft(captionLeft);
  const QPoint at(spot.x, spot.y);
  if (disabled) {
    QStyleOption option;
    option.initFrom(this);
    picture = style()->generatedIconPixmap(QIcon::Disabled, picture, &option);
  }
  painter.drawPixmap(at, picture);
  m_iconRect = QRect(at, drawn);
}

void CQtIconButton::DrawCaption(QPainter& painter, const QString& text, const QRect& /*item*/, QRect& caption,
                                bool /*pressed*/, bool disabled) {
  if (m_look.shifted) caption.translate(m_rules.pressX, m_rules.pressY);
  const QRect frame = caption;
  constexpr int kFlags = Qt::AlignHCenter | Qt::TextWordWrap;
  QRect box =
      painter.boundingRect(QRect(caption.left(), caption.top(), caption.width(), 100000), kFlags, text);
  box.moveTopLeft(caption.topLeft());
  box.translate((frame.width() - box.width()) / 2, (frame.height() - box.height()) / 2);
  caption = box;
  const QPalette& p = palette();
  if (disabled) {
    // Embossed: a highlight one pixel down and right, where it is lighter
    // than the face, under a caption still readable against the face.
    const COLORREF highlight = SysColor(p, QPalette::Light);
    if (EmbossShows(m_rules.Color(CLR_NORMAL_BACK), highlight)) {
      painter.setPen(ToQColor(highlight));
      painter.drawText(box.translated(1, 1), kFlags, text);
    }
    painter.setPen(
        ToQColor(DisabledCaptionColor(m_rules.Color(CLR_NORMAL_BACK), m_rules.Color(CLR_NORMAL_TEXT))));
    painter.drawText(box, kFlags, text);
    return;
  }
  painter.setPen(ToQColor(m_rules.Color(m_look.textColor)));
  painter.drawText(box, kFlags, text);
}

}  // namespace zel
