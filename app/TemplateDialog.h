// A dialog built from its template: fixed size, the dialog font, each
// control at its place, the tab order of the template.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <functional>
#include <map>

#include "app/DialogTemplate.h"

namespace zel {

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

 private:
  QWidget* CreateControl(const CControlTemplate& control, const ButtonFactory& makeButton);
  std::map<int, QWidget*> m_controls;
};

// The picture with a bitmap resource id (136, 137) or the icon (128).
QPixmap ResourcePicture(int id);

}  // namespace zel
