// boxfeeder: the desktop window; an image given as its argument (a file
// manager's "open with") is taken as if browsed to. With --station it is
// the station window instead (station/StationArguments.h).
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "app/DownloaderApp.h"
#include "app/StationWindow.h"
#include "engines/EngineKinds.h"
#include "interrupt/InterruptWatcher.h"
#include "run/Platform.h"
#include "station/StationArguments.h"

namespace {

int RunStation(const std::vector<std::string>& arguments, zel::CInterruptRelay& interrupts) {
  std::string refusal;
  const auto request = zel::ParseStationArguments(arguments, refusal);
  if (!request) {
    std::fprintf(stderr, "boxfeeder: %s\n", refusal.c_str());
    return 64;
  }
  zel::CQtStationWindow window(request->setup, zel::UpgradeKind());
  // Ctrl-C, SIGTERM and SIGHUP stop every box and close once each one's
  // record is written, as the command line does.
  interrupts.SetTarget([&window] {
    QMetaObject::invokeMethod(
        &window, [&window] { window.Board().StopAllAndClose(); }, Qt::QueuedConnection);
  });
  window.show();
  if (request->start) window.Board().StartAll();
  QApplication::exec();
  interrupts.SetTarget(nullptr);
  return window.exitCode.value_or(0);
}

}  // namespace

int main(int argc, char** argv) {
  zel::ReserveStandardStreams();
  if (const std::string information = zel::WindowInformation(std::vector<std::string>(argv + 1, argv + argc));
      !information.empty()) {
    std::fputs(information.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // The station's signal watcher comes before any thread, Qt's included,
  // so that only it receives them.
  std::optional<zel::CInterruptRelay> interrupts;
  std::optional<zel::CInterruptWatcher> watcher;
  if (zel::AsksForStation(std::vector<std::string>(argv + 1, argv + argc))) {
    interrupts.emplace();
    watcher.emplace([&interrupts] { interrupts->Fire(); });
  }
  QApplication application(argc, argv);
  const QStringList qtArguments = QApplication::arguments();
  std::vector<std::string> arguments;
  for (qsizetype i = 1; i < qtArguments.size(); ++i) arguments.push_back(qtArguments[i].toStdString());
  if (interrupts) return RunStation(arguments, *interrupts);
  zel::CDownloaderApp app(arguments.empty() ? std::string() : arguments[0]);
  return app.InitInstance();
}
