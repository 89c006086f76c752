// boxfeeder: the desktop window; an image given as its argument (a file
// manager's "open with") is taken as if browsed to.
#include <QApplication>
#include <QStringList>

#include "app/DownloaderApp.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  zel::CDownloaderApp app(arguments.size() > 1 ? arguments[1].toStdString() : std::string());
  return app.InitInstance();
}
