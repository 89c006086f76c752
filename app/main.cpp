// boxfeeder: the desktop window. It reads no arguments of its own.
#include <QApplication>

#include "app/DownloaderApp.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  zel::CDownloaderApp app;
  return app.InitInstance();
}
