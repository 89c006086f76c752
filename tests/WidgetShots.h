// Screenshots of the windows under test, and the dark palette some of the
// runs take them in.
#pragma once

#include <QDir>
#include <QPalette>
#include <QWidget>
#include <QtTest>

namespace zel {

// Screenshots carry the look they were taken in: "-2x" at twice the
// scale, "-dark" in a dark palette.
inline void Screenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
  QString suffix;
  if (qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2) suffix += QStringLiteral("-2x");
  if (qEnvironmentVariableIsSet("BOXFEEDER_TEST_DARK")) suffix += QStringLiteral("-dark");
  QVERIFY(widget->grab().save(QStringLiteral(SCREENSHOT_DIR "/") + name + suffix + QStringLiteral(".png")));
}

// A dark desktop palette, as dark themes give.
inline QPalette DarkPalette() {
  QPalette p;
  const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Light, QColor(90, 90, 90));
  p.setColor(QPalette::Midlight, QColor(70, 70, 70));
  p.setColor(QPalette::Mid, QColor(40, 40, 40));
  p.setColor(QPalette::Dark, QColor(30, 30, 30));
  p.setColor(QPalette::Shadow, QColor(15, 15, 15));
  p.setColor(QPalette::Highlight, QColor(42, 130, 218));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  return p;
}

}  // namespace zel
