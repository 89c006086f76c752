// A dialog built from its template: fixed size, the dialog font, each
// control at its place, the tab order of the template.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <functional>
#include <map>

#include "app/DialogTemplate.h"

namespace zel {

// The font dialogs use: the desktop's sans-serif at 8 points.
QFont DialogFont();
// Dialog units to pixels through the font's average character width and
// height, as the platform converts them.
QRect DialogUnitsToPixels(const QFont& font, int x, int y, int width, int height);
QSize DialogUnitsToPixels(const QFont& font, int width, int height);

// A group box as the platform draws it: a frame whose top line runs
// through the middle of its title, at the place the template gives.
class CGroupFrame : public QWidget {
 public:
  CGroupFrame(const QString& title, QWidget* parent);
  // The frame's rectangle in the widget; the title sits on its top line.
  QRect FrameRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_title;
};

class CTemplateDialog : public QDialog {
 public:
  // Makes the button for a template entry, or returns null for a plain one.
  using ButtonFactory = std::function<QAbstractButton*(const CControlTemplate&, QWidget* parent)>;
  CTemplateDialog(const CDialogTemplate& dialogTemplate, QWidget* parent, ButtonFactory makeButton = {});

  // The control with this id; null when the template has none.
  QWidget* Control(int id) const;
  template <typename Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }

 protected:
  // At the first showing: centred over the parent (or the screen), and the
  // first control that takes the focus has it, as a dialog opens.
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* CreateControl(const CControlTemplate& control, const ButtonFactory& makeButton);
  std::map<int, QWidget*> m_controls;
  QWidget* m_firstTabStop = nullptr;
  bool m_bShown = false;
};

// The picture with a bitmap resource id (136, 137).
QPixmap ResourcePicture(int id);
// The application's icon (128), drawn at every size the desktop asks for.
QIcon ApplicationIcon();

}  // namespace zel
