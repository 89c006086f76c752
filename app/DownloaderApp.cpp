#include "app/DownloaderApp.h"

#include "app/MainWindow.h"

namespace zel {

int CDownloaderApp::InitInstance() {
  CQtMainWindow dialog;
  dialog.exec();
  return 0;
}

}  // namespace zel
