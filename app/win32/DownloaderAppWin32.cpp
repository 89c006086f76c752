#include "app/DownloaderApp.h"
#include "app/win32/MainWindowWin32.h"

namespace zel {

int CDownloaderApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  CWin32MainWindow dialog;
  if (!dialog.Create()) return 0;
  if (!m_strImageArgument.empty()) dialog.Dialog().TakeImage(m_strImageArgument);
  dialog.RunModal();
  return 0;
}

}  // namespace zel
