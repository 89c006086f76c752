// boxfeeder: the desktop window; an image given as its argument (a file
// manager's "open with") is taken as if browsed to. With --station it is
// the station window instead (station/StationArguments.h).
#include <QApplication>
#include <QStringList>
#include <cstdio>

#include "app/DownloaderApp.h"
#include "app/StationWindow.h"
#include "run/Platform.h"
#include "station/StationArguments.h"
#include "upgrade/ZELUpgradeThread.h"

namespace {

int RunStation(const std::vector<std::string>& arguments) {
  std::string refusal;
  const auto request = zel::ParseStationArguments(arguments, refusal);
  if (!request) {
    std::fprintf(stderr, "boxfeeder: %s\n", refusal.c_str());
    return 64;
  }
  zel::CQtStationWindow window(request->setup, [] { return std::make_unique<zel::CZELUpgradeThread>(); });
  window.show();
  if (request->start) window.Board().StartAll();
  QApplication::exec();
  return window.exitCode.value_or(0);
}

}  // namespace

int main(int argc, char** argv) {
  zel::ReserveStandardStreams();
  QApplication application(argc, argv);
  const QStringList qtArguments = QApplication::arguments();
  std::vector<std::string> arguments;
  for (qsizetype i = 1; i < qtArguments.size(); ++i) arguments.push_back(qtArguments[i].toStdString());
  if (zel::AsksForStation(arguments)) return RunStation(arguments);
  zel::CDownloaderApp app(arguments.empty() ? std::string() : arguments[0]);
  return app.InitInstance();
}
