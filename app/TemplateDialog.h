// A dialog built from its template: fixed size, the dialog font, each
// control at its place, the tab order of the template.
#pragma once

#include <QDialog>
#include <map>

#include "app/DialogTemplate.h"

namespace zel {

class CTemplateDialog : public QDialog {
 public:
  CTemplateDialog(const CDialogTemplate& dialogTemplate, QWidget* parent);

  // The control with this id; null when the template has none.
  QWidget* Control(int id) const;
  template <typename Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }

 private:
  QWidget* CreateControl(const CControlTemplate& control);
  std::map<int, QWidget*> m_controls;
};

// The picture with a bitmap resource id (136, 137) or the icon (128).
QPixmap ResourcePicture(int id);

}  // namespace zel
