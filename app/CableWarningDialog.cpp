#include "app/CableWarningDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

namespace zel {

namespace {

// Arial bold, as large as the 30-pixel cell it was drawn with, and
// smaller when the whole message would not fit its rectangle otherwise.
QFont WarningFont(const QLabel& label) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  for (int pixels = 22; pixels > 8; --pixels) {
    font.setPixelSize(pixels);
    const QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, label.width(), 10000),
                                                         Qt::AlignHCenter | Qt::TextWordWrap, label.text());
    if (needed.height() <= label.height() && needed.width() <= label.width()) break;
  }
  return font;
}

}  // namespace

CCableWarningDialog::CCableWarningDialog(QWidget* centreOver)
    : CTemplateDialog(kCableWarningTemplate, centreOver) {
  if (auto* text = ControlAs<QLabel>(kCableWarningTextId)) text->setFont(WarningFont(*text));
}

}  // namespace zel
