// The About box, reached from the dialog's About command.
#pragma once

#include "app/TemplateDialog.h"

namespace zel {

class CAboutDialog : public CTemplateDialog {
 public:
  explicit CAboutDialog(QWidget* centreOver);
};

}  // namespace zel
