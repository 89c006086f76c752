#include "app/AboutDialog.h"

namespace zel {

CAboutDialog::CAboutDialog(QWidget* centreOver) : CTemplateDialog(kAboutTemplate, centreOver) {}

}  // namespace zel
