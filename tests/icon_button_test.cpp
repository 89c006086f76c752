// The icon button rendered offscreen, checked pixel by pixel.
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QtTest>

#include "widgets/IconButton.h"

namespace zel {

namespace {

QPixmap Solid(int width, int height, QColor colour) {
  QPixmap pixmap(width, height);
  pixmap.fill(colour);
  return pixmap;
}

QRgb PixelAt(QWidget& widget, int x, int y) { return widget.grab().toImage().pixel(x, y); }

// The top-left pixel of the first run of this colour, scanning rows.
QPoint FindColour(QWidget& widget, QColor colour) {
  const QImage image = widget.grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == colour.rgb()) return {x, y};
  return {-1, -1};
}

void MoveMouse(QWidget& widget, QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
  QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

const QColor kIconGreen(0, 200, 0);
const QColor kIconGrey(128, 128, 128);

}  // namespace

class IconButtonTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QWidget> m_parent;
  CQtIconButton* Make(const QString& caption, CQtIconButton::Kind kind = CQtIconButton::Kind::PushButton) {
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(300, 100);
    auto* button = new CQtIconButton(caption, kind, m_parent.get());
    button->setGeometry(10, 10, 120, 40);
    new QLineEdit(m_parent.get());  // the next tab stop
    m_parent->show();
    return button;
  }

 private slots:
  void FaceColourFollowsTheState() {
    CQtIconButton* b = Make(QStringLiteral("Start"));
    b->OffsetColor(CLR_HOT_BACK, 30, true);
    b->OffsetColor(CLR_FOCUS_BACK, -40, true);
    const QPoint probe(b->width() - 3, 2);  // clear of the frame, icon and caption
    QCOMPARE(PixelAt(*b, probe.x(), probe.y()), ToQColor(b->Color(CLR_NORMAL_BACK)).rgb());
    MoveMouse(*b, {5, 5});
    QVERIFY(b->IsHot());
    QCOMPARE(PixelAt(*b, probe.x(), probe.y()), ToQColor(b->Color(CLR_HOT_BACK)).rgb());
    QCOMPARE(PixelAt(*b, 0, 0), b->palette().color(QPalette::Light).rgb());  // raised frame
    QCOMPARE(PixelAt(*b, b->width() - 1, b->height() - 1), b->palette().color(QPalette::Dark).rgb());
    MoveMouse(*b, {500, 500});
    QVERIFY(!b->IsHot());
    b->setDown(true);
    QCOMPARE(PixelAt(*b, probe.x(), probe.y()), ToQColor(b->Color(CLR_HOT_BACK)).rgb());
    QCOMPARE(PixelAt(*b, 0, 0), b->palette().color(QPalette::Dark).rgb());  // sunken frame
    b->setDown(false);
    QCOMPARE(PixelAt(*b, 0, 0), ToQColor(b->Color(CLR_NORMAL_BACK)).rgb());  // no frame at rest
    QApplication::setActiveWindow(m_parent.get());
    b->setFocus();
    QTRY_VERIFY(b->hasFocus());
    QCOMPARE(PixelAt(*b, probe.x(), probe.y()), ToQColor(b->Color(CLR_FOCUS_BACK)).rgb());
  }

  void CheckBoxKeepsItsStateAndNeverShifts() {
    CQtIconButton* b = Make(QStringLiteral("Trace Enable"), CQtIconButton::Kind::CheckBox);
    b->SetIcons(Solid(16, 16, kIconGreen), Solid(16, 16, kIconGrey));
    int parentClicks = 0;
    QObject::connect(b, &QAbstractButton::clicked, [&] { ++parentClicks; });
    QCOMPARE(FindColour(*b, kIconGrey), QPoint(3, 12));
    MoveMouse(*b, {5, 5});
    QVERIFY(b->IsHot());
    QCOMPARE(FindColour(*b, kIconGrey), QPoint(3, 12));  // hover leaves the check box's icon
    for (int clicks = 1; clicks <= 3; ++clicks) {
      QTest::mouseClick(b, Qt::LeftButton);
      QCOMPARE(b->IsChecked(), clicks % 2 == 1);
    }
    QCOMPARE(parentClicks, 3);
    QCOMPARE(FindColour(*b, kIconGreen), QPoint(3, 12));  // on: the hot icon, not shifted
    b->SetCheckMessage(2);
    QVERIFY(b->IsChecked());
    b->SetCheckMessage(3);
    QVERIFY(!b->IsChecked());
    QCOMPARE(FindColour(*b, kIconGrey), QPoint(3, 12));
    // What the window system sends for a double click.
    QTest::mousePress(b, Qt::LeftButton);
    QTest::mouseRelease(b, Qt::LeftButton);
    const QPoint centre = b->rect().center();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, b->mapToGlobal(centre), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &doubleClick);
    QTest::mouseRelease(b, Qt::LeftButton);
    QVERIFY2(!b->IsChecked(), "a double click is two clicks");
    QCOMPARE(parentClicks, 5);
  }

  void ColoursShiftAsOneAndRejectBadInput() {
    QCOMPARE(ShiftColor(Rgb(212, 208, 200), 30), Rgb(242, 238, 230));
    QCOMPARE(ShiftColor(Rgb(240, 245, 250), 30), Rgb(245, 250, 255));
    QCOMPARE(ShiftColor(Rgb(10, 40, 60), -30), Rgb(0, 30, 50));
    QCOMPARE(ShiftColor(Rgb(0, 0, 0), 255), Rgb(255, 255, 255));
    QCOMPARE(DarkenColor(Rgb(200, 255, 1), 0.25), Rgb(150, 191, 0));
    QCOMPARE(DarkenColor(Rgb(200, 255, 1), 0.0), Rgb(200, 255, 1));
    QCOMPARE(DarkenColor(Rgb(200, 255, 1), 1.5), Rgb(200, 255, 1));
    CQtIconButton* b = Make(QStringLiteral("x"));
    const COLORREF before = b->Color(CLR_HOT_BACK);
    QCOMPARE(b->OffsetColor(6, 10, true), int(IBR_BAD_COLOR_INDEX));
    QCOMPARE(b->OffsetColor(0, 256, true), int(IBR_BAD_OFFSET));
    QCOMPARE(b->OffsetColor(0, -256, true), int(IBR_BAD_OFFSET));
    QCOMPARE(b->Color(CLR_HOT_BACK), before);
  }

  void APaletteChangeResetsTheColours() {
    CQtIconButton* b = Make(QStringLiteral("x"));
    b->OffsetColor(CLR_HOT_BACK, 30, true);
    QVERIFY(b->Color(CLR_HOT_BACK) != b->Color(CLR_NORMAL_BACK));
    QPalette palette = b->palette();
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    b->setPalette(palette);
    QCOMPARE(b->Color(CLR_HOT_BACK), Rgb(10, 20, 30));
    QCOMPARE(b->Color(CLR_HOT_BACK), b->Color(CLR_NORMAL_BACK));
  }

  void HoverRules() {
    CQtIconButton* b = Make(QStringLiteral("x"));
    MoveMouse(*b, {5, 5}, Qt::LeftButton);
    QVERIFY2(!b->IsHot(), "not while the left button is held on a button that is not hot");
    b->SetFlat(false, true);
    MoveMouse(*b, {5, 5});
    QVERIFY2(!b->IsHot(), "a 3-D button never becomes hot");
    b->SetFlat(true, true);
    MoveMouse(*b, {5, 5});
    QVERIFY(b->IsHot());
    b->setEnabled(false);
    QVERIFY2(!b->IsHot(), "disabling cancels the hover");
  }

  void DisablingTheFocusedButtonMovesTheFocusOn() {
    CQtIconButton* b = Make(QStringLiteral("x"));
    QApplication::setActiveWindow(m_parent.get());
    b->setFocus();
    QTRY_VERIFY(b->hasFocus());
    b->setEnabled(false);
    QVERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
  }

  void DerivedIconsKeepBlackAndTransparency() {
    QImage icon(2, 2, QImage::Format_ARGB32);
    icon.setPixel(0, 0, qRgba(0, 0, 0, 255));
    icon.setPixel(1, 0, qRgba(200, 100, 50, 255));
    icon.setPixel(0, 1, qRgba(200, 100, 50, 0));
    icon.setPixel(1, 1, qRgba(255, 255, 255, 255));
    const QImage grey = DeriveIcon(icon, &GreyColor);
    QCOMPARE(grey.pixel(0, 0), qRgba(0, 0, 0, 255));
    QCOMPARE(QColor(grey.pixel(1, 0)).saturation(), 0);
    QCOMPARE(qAlpha(grey.pixel(0, 1)), 0);
    const QImage dark = DeriveIcon(icon, [](COLORREF c) { return DarkenColor(c, 0.25); });
    QCOMPARE(dark.pixel(1, 1), qRgba(191, 191, 191, 255));
    CQtIconButton* b = Make(QString());
    QCOMPARE(b->SetIcons(Solid(8, 8, QColor(200, 100, 50)), QPixmap(), ICON_AUTO_GREY), int(IBR_DONE));
    QVERIFY2(FindColour(*b, ToQColor(GreyColor(Rgb(200, 100, 50)))).x() >= 0, "grey at rest");
  }
};

}  // namespace zel

QTEST_MAIN(zel::IconButtonTest)
#include "icon_button_test.moc"
