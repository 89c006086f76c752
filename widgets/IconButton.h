// A push button that paints itself: an icon left of its caption, a flat
// frame that shows while the pointer is over it (the hot state), a sunken
// frame and a shift while pressed, a tool tip, and a check-box mode with a
// check state of its own.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <array>
#include <memory>

class QSvgRenderer;

#include <QColor>
#include <QImage>

#include "widgets/IconButtonLook.h"
#include "widgets/IconButtonRules.h"
#include "widgets/IconColors.h"

namespace zel {

inline QColor ToQColor(COLORREF c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
inline COLORREF FromQColor(const QColor& c) { return Rgb(c.red(), c.green(), c.blue()); }
// A copy of an icon with each pixel through rule; black stays black and
// transparency is kept.
QImage DeriveIcon(const QImage& icon, COLORREF (*rule)(COLORREF));

// The scalable drawing of an icon resource; null for an unknown id.
std::shared_ptr<QSvgRenderer> LoadIconResource(int id);
// A drawing rendered at size for a screen of this pixel ratio.
QPixmap RenderIcon(QSvgRenderer& drawing, QSize size, qreal pixelRatio);

class CQtIconButton : public QAbstractButton, public CIconButtonBase {
 public:
  enum class Kind { PushButton, DefaultPushButton, CheckBox };
  CQtIconButton(const QString& caption, Kind kind, QWidget* parent);

  int SetIcons(int hotIconId, int restIconId);
  int SetIcons(int hotIconId, int hotCx, int hotCy, int restIconId, int restCx, int restCy);
  // restIcon may be null, or derived: pass deriveRest ICON_AUTO_GREY or
  // ICON_AUTO_DARK to make it from the hot icon.
  int SetIcons(const QPixmap& hotIcon, const QPixmap& restIcon, int deriveRest = 0);
  int SetDefaultColors(bool repaint);
  void SetTooltipText(const QString& text, bool activate);
  // The check message: 1 or 2 set the state on, anything else off.
  void SetCheckMessage(int wParam) { SetChecked(CheckFromMessage(static_cast<uintptr_t>(wParam)), true); }

  QSize HotIconSize() const { return m_icons[0].size; }
  QString ToolTipText() const { return m_toolTip; }
  // Where the last painting put the icon (empty without one).
  QRect IconRect() const { return m_iconRect; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

  // The drawing steps, in their order.
  virtual void DrawBackground(QPainter& painter, QRect& rect);
  virtual void DrawBorder(QPainter& painter, const QRect& rect);
  virtual void DrawIconImage(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption,
                             bool pressed, bool disabled);
  virtual void DrawCaption(QPainter& painter, const QString& text, const QRect& item, QRect& caption,
                           bool pressed, bool disabled);

 private:
  struct CIcon {
    QPixmap pixmap;                         // a picture given as pixels, or
    std::shared_ptr<QSvgRenderer> drawing;  // a scalable drawing
    QSize size;                             // its size at a pixel ratio of 1
    bool IsNull() const { return pixmap.isNull() && !drawing; }
  };
  // The icon at the size it is drawn: its own, or less where the button
  // is too small for it, in pixels of this screen.
  QPixmap Picture(const CIcon& icon, QSize& drawn) const;
  void TrackHover(const QPoint& position, Qt::MouseButtons buttons);
  void CancelHover();
  void OnClicked();
  void FreeImages();
  void Repaint() override { update(); }

  QString m_toolTip;
  std::array<CIcon, 2> m_icons;  // [0] hot, [1] rest
  bool m_bKeyboardFocus = true;  // focus came from the keyboard, not a click: show it
  QRect m_iconRect;
};

// The dialog's icon button on this platform.
using CIconButton = CQtIconButton;

}  // namespace zel
