#include "app/TemplateDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

// The pictures are compiled into this library; register them once.
static void LoadPictures() { Q_INIT_RESOURCE(boxfeeder); }

namespace zel {

QPixmap ResourcePicture(int id) {
  static const bool loaded = (LoadPictures(), true);
  (void)loaded;
  switch (id) {
    case 128: return QPixmap(QStringLiteral(":/boxfeeder/icon128_32.png"));
    case 136: return QPixmap(QStringLiteral(":/boxfeeder/bitmap136.png"));
    case 137: return QPixmap(QStringLiteral(":/boxfeeder/bitmap137.png"));
    default: return {};
  }
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
      previous = widget;
    } else if (!qobject_cast<QGroupBox*>(widget)) {
      widget->setFocusPolicy(Qt::NoFocus);
    }
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
      // A frame only: it lies under the controls it frames and takes no
      // clicks, as a platform group box does.
      auto* group = new QGroupBox(caption, this);
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      group->setFocusPolicy(Qt::NoFocus);
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
