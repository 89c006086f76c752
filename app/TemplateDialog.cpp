#include "app/TemplateDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "widgets/IconButton.h"

// The pictures are compiled into this library; register them once.
static void LoadPictures() { Q_INIT_RESOURCE(boxfeeder); }

namespace zel {
namespace {

struct CBaseUnits {
  int x, y;
};

CBaseUnits BaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

}  // namespace

QFont DialogFont() {
  QFont font(QStringLiteral("Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height) {
  const CBaseUnits base = BaseUnits(font);
  return QRect(x * base.x / 4, y * base.y / 8, width * base.x / 4, height * base.y / 8);
}

QSize DialogUnitsToPixels(const QFont& font, int width, int height) {
  return DialogUnitsToPixels(font, 0, 0, width, height).size();
}

QPixmap ResourcePicture(int id) {
  static const bool loaded = (LoadPictures(), true);
  (void)loaded;
  switch (id) {
    case 136: return QPixmap(QStringLiteral(":/boxfeeder/bitmap136.png"));
    case 137: return QPixmap(QStringLiteral(":/boxfeeder/bitmap137.png"));
    default: return {};
  }
}

QIcon ApplicationIcon() {
  static const bool loaded = (LoadPictures(), true);
  (void)loaded;
  QIcon icon;
  if (auto drawing = LoadIconResource(128))
    for (int size : {16, 24, 32, 48, 64, 128, 256})
      icon.addPixmap(RenderIcon(*drawing, QSize(size, size), 1));
  return icon;
}

CTemplateDialog::CTemplateDialog(const CDialogTemplate& dialogTemplate, QWidget* parent,
                                 ButtonFactory makeButton)
    : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(dialogTemplate.title));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  const QFont font = DialogFont();
  setFont(font);
  setFixedSize(DialogUnitsToPixels(font, dialogTemplate.width, dialogTemplate.height));
  QWidget* previous = nullptr;
  for (const CControlTemplate& control : dialogTemplate.controls) {
    QWidget* widget = CreateControl(control, makeButton);
    widget->setGeometry(DialogUnitsToPixels(font, control.x, control.y, control.width, control.height));
    // A combo box's height in the template is that of its dropped list; a
    // picture takes the size of its bitmap.
    if (control.kind == ControlKind::ComboBox) widget->resize(widget->width(), widget->sizeHint().height());
    if (control.kind == ControlKind::Picture) widget->adjustSize();
    widget->setVisible(control.visible);
    if (control.id >= 0) m_controls[control.id] = widget;
    if (control.tabStop) {
      if (previous) setTabOrder(previous, widget);
      if (!m_firstTabStop) m_firstTabStop = widget;
      previous = widget;
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
  }
}

CGroupFrame::CGroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
  // A frame only: it lies under the controls it frames and takes no clicks.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

QRect CGroupFrame::FrameRect() const { return rect().adjusted(0, fontMetrics().height() / 2, 0, 0); }

void CGroupFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = FrameRect();
  // An etched line: a shadow, and a highlight one pixel in.
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame.adjusted(0, 0, -2, -2));
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.adjusted(1, 1, -1, -1));
  if (m_title.isEmpty()) return;
  const QFontMetrics metrics = fontMetrics();
  const int indent = metrics.averageCharWidth() + 2;
  const QRect title(indent, 0, metrics.horizontalAdvance(m_title) + 4, metrics.height());
  painter.fillRect(title, palette().color(QPalette::Window));
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(title, Qt::AlignCenter, m_title);
}

void CTemplateDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_bShown) return;
  m_bShown = true;
  // The client areas' centres meet: the window manager's frame goes round it.
  QRect area = QRect(QPoint(), size());
  if (const QWidget* over = parentWidget())
    area.moveCenter(over->window()->geometry().center());
  else if (const QScreen* screen = this->screen())
    area.moveCenter(screen->availableGeometry().center());
  setGeometry(area);
  for (QWidget* candidate = m_firstTabStop; candidate;) {
    if (candidate->isEnabled() && candidate->isVisible()) {
      candidate->setFocus(Qt::TabFocusReason);
      break;
    }
    candidate = candidate->nextInFocusChain();
    if (candidate == m_firstTabStop || candidate == this) break;
  }
}

QWidget* CTemplateDialog::Control(int id) const {
  const auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

QWidget* CTemplateDialog::CreateControl(const CControlTemplate& control, const ButtonFactory& makeButton) {
  const QString caption = QString::fromLatin1(control.caption);
  if (makeButton)
    if (QAbstractButton* button = makeButton(control, this)) return button;
  switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
      auto* button = new QPushButton(caption, this);
      button->setDefault(control.kind == ControlKind::DefaultPushButton);
      if (control.id == IDOK) connect(button, &QPushButton::clicked, this, &QDialog::accept);
      return button;
    }
    case ControlKind::GroupBox: {
      auto* group = new CGroupFrame(caption, this);
      group->lower();
      return group;
    }
    case ControlKind::Edit: return new QLineEdit(caption, this);
    case ControlKind::ReadOnlyEdit: {
      auto* edit = new QLineEdit(caption, this);
      edit->setReadOnly(true);
      return edit;
    }
    case ControlKind::MultiLineEdit: {
      auto* edit = new QPlainTextEdit(this);
      edit->setTabChangesFocus(true);  // Tab moves on, as in a dialog
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      edit->setLineWrapMode(QPlainTextEdit::NoWrap);
      return edit;
    }
    case ControlKind::Static: return new QLabel(caption, this);
    case ControlKind::CentredStatic: {
      auto* label = new QLabel(caption, this);
      label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
      label->setWordWrap(true);
      return label;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setMaxVisibleItems(8);
      return combo;
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(this);
      bar->setTextVisible(false);
      bar->setRange(0, 100);
      bar->setValue(0);
      return bar;
    }
    case ControlKind::CheckBox: return new QCheckBox(caption, this);
    case ControlKind::Picture: {
      auto* picture = new QLabel(this);
      picture->setPixmap(ResourcePicture(control.id));
      return picture;
    }
  }
  return new QWidget(this);
}

}  // namespace zel
