#include "app/DownloaderApp.h"

#include "app/MainWindow.h"

namespace zel {

int CDownloaderApp::InitInstance() {
  CQtMainWindow dialog;
  if (!m_strImageArgument.empty()) dialog.Dialog().TakeImage(m_strImageArgument);
  dialog.exec();
  return 0;
}

}  // namespace zel
