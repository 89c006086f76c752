// The box shown after a successful upgrade: remove the cable, wait for the
// box to reboot.
#pragma once

#include "app/TemplateDialog.h"

namespace zel {

class CCableWarningDialog : public CTemplateDialog {
 public:
  explicit CCableWarningDialog(QWidget* centreOver);
};

}  // namespace zel
