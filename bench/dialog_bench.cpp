// Window benchmark: trace lines through the real dialog (headless), and the
// cost of Trace Enable on a whole upgrade.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <random>
#include <thread>

#include "app/MainWindow.h"
#include "run/Platform.h"
#include "run/RunDriver.h"
#include "sim/BoxOnThread.h"
#include "sim/SampleImage.h"

namespace {

using namespace zel;
using Clock = std::chrono::steady_clock;

// A worker that sends numbered trace lines, timing each send.
class CTraceSender : public CZELWorkingThread {
 public:
  explicit CTraceSender(size_t count) : seconds(count) {}
  ~CTraceSender() override { EndThreadBeforeDestruction(); }
  std::vector<double> seconds;

 protected:
  int Run() override {
    char line[100];
    for (size_t i = 0; i < seconds.size(); ++i) {
      std::snprintf(line, sizeof line,
                    "<<Received Data Request from STB: Offset = [%zu], RequestDataLen = [0x400]", i * 1024);
      const auto start = Clock::now();
      DebugTrace(line);
      seconds[i] = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return 0;
  }
};

double MeanMicros(const std::vector<double>& s, size_t from, size_t to) {
  return std::accumulate(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(to), 0.0) /
         static_cast<double>(to - from) * 1e6;
}

void RunUntil(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  poll.start(5);
  loop.exec();
}

void TraceLines() {
  constexpr size_t kLines = 100000;
  CQtMainWindow window;
  window.show();
  window.SetCheck(IDC_TRACE, true);
  window.Dialog().OnTraceEnable();
  CTraceSender sender(kLines);
  CRunDriver driver(window.Dispatcher(), sender);
  const auto start = Clock::now();
  driver.Start("", "", window.Dialog());
  RunUntil([&] { return !driver.IsRunning(); });
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  const double first = MeanMicros(sender.seconds, 0, 1000);
  const double last = MeanMicros(sender.seconds, kLines - 1000, kLines);
  std::printf("1. %zu trace lines through the dialog, Trace Enable on: %.2f s in all\n", kLines, total);
  std::printf("   per line: first thousand %.1f us, last thousand %.1f us: ratio %.2f (log of %d lines)\n",
              first, last, last / first, window.Dialog().LogLines());
}

double Upgrade(bool trace, const std::vector<uint8_t>& image, const std::string& path) {
  CQtMainWindow window;
  window.show();
  sim::CBoxPlan plan;
  plan.chunk = 256;
  sim::CBoxOnThread box(image, plan);
  window.SetText(IDC_IMAGE_PATH, path);
  window.SetText(IDC_PORT, box.box.Port());
  window.SetCheck(IDC_TRACE, trace);
  QTimer closer;  // answers the cable warning
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) static_cast<QDialog*>(modal)->accept();
  });
  closer.start(20);
  window.Dialog().OnStartOrCancel();
  RunUntil([&] {
    return !window.Dialog().IsBusy() && window.Dialog().Log().find("SUCCESSFULLY") != std::string::npos;
  });
  box.Finish();
  if (!box.report.imageIntact) std::printf("   (image NOT intact: %s)\n", box.report.problem.c_str());
  return box.report.seconds;
}

void TraceCost() {
  const std::vector<uint8_t> image = sim::SampleImage(1 << 20);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  const double off = Upgrade(false, image, path);
  const double on = Upgrade(true, image, path);
  std::remove(path.c_str());
  std::printf(
      "2. A 1 MiB upgrade in 256-byte requests through the window (4096 requests, 8192 debug lines)\n");
  std::printf("   Trace Enable off %.2f s, on %.2f s: ratio %.2f\n", off, on, on / off);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  TraceLines();
  TraceCost();
  return 0;
}
