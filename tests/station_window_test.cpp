// The Qt station window under the offscreen platform, with real engines
// and simulated boxes on pseudo-terminals.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "app/StationPicker.h"
#include "app/StationWindow.h"
#include "tests/BoxOnThread.h"
#include "tests/QuickUpgrade.h"
#include "tests/TempFile.h"
#include "tests/WidgetShots.h"

namespace zel {
namespace {

using test::CBoxOnThread;

// The texts a tile shows, in the order it lays them out.
QStringList TileTexts(CQtStationTile& tile) {
  QStringList texts;
  for (QLabel* label : tile.findChildren<QLabel*>()) texts << label->text();
  return texts;
}

sim::CBoxPlan Paced(uint32_t baud) {
  sim::CBoxPlan plan;
  plan.chunk = 1024;
  plan.baud = baud;
  return plan;
}

}  // namespace

class StationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Four ports, one box that hangs up: Start all from the keyboard, every
  // tile ends in its own words, the failing one with its cause, the
  // results file gets a record per box, and --exit-when-done closes the
  // window with the code for a failure.
  void FourPortsOneFailing() {
    const auto image = test::SampleImage(12000);
    test::CTempFile file(image, ".sdl");
    test::CTempFile results(std::vector<uint8_t>{}, ".jsonl");
    sim::CBoxPlan hangsUp = Paced(115200);
    hangsUp.hangUpAfter = 12 + 3 * (1024 + 20);
    std::vector<std::unique_ptr<CBoxOnThread>> boxes;
    for (int i = 0; i < 4; ++i)
      boxes.push_back(std::make_unique<CBoxOnThread>(image, i == 3 ? hangsUp : Paced(115200)));
    CStationSetup setup;
    setup.image = file.Path();
    setup.exitWhenDone = true;
    for (int i = 0; i < 4; ++i) setup.ports.push_back({boxes[i]->box.Port(), "box" + std::to_string(i + 1)});
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    window.ResultsField().setText(QString::fromStdString(results.Path()));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QWidget* focus = QApplication::focusWidget();
    QVERIFY(focus);
    QTest::keyClick(focus, Qt::Key_Return);
    QVERIFY2(window.isVisible(), "Enter never closes the station");
    QCOMPARE(window.Board().AnyRunning(), false);
    // From the results field, Tab reaches Start all, and Space presses it.
    QTest::keyClick(focus, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &window.StartAllButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(window.Board().AnyRunning());
    QVERIFY2(!window.ResultsField().isEnabled(), "one results file per round");
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
    QCOMPARE(window.exitCode.value_or(-1), CStationBoard::kAnyFailed);

    for (int i = 0; i < 3; ++i) {
      const QStringList texts = TileTexts(window.TileWidget(i));
      QVERIFY2(texts.contains(QStringLiteral("loaded")), qPrintable(texts.join('|')));
      QVERIFY(texts.contains(QStringLiteral("1 loaded, 0 failed")));
      QCOMPARE(window.TileWidget(i).findChild<QProgressBar*>()->value(), 100);
    }
    const QStringList failed = TileTexts(window.TileWidget(3));
    QVERIFY(failed.contains(QStringLiteral("failed")));
    QVERIFY(failed.contains(QStringLiteral("0 loaded, 1 failed")));
    QVERIFY2(!window.Board().Tile(3).cause.empty(), "the failure says why");
    QCOMPARE(test::ReadFile(results.Path()).size() > 0, true);
    QCOMPARE(QString::fromStdString(test::ReadFile(results.Path())).count('\n'), 4);

    // The failing port's log, opened on demand, holds its run.
    window.TileWidget(3).log->click();
    QPlainTextEdit* log = window.OpenLog(3);
    QVERIFY(log);
    QVERIFY(log->toPlainText().contains(QString::fromStdString(window.Board().Tile(3).cause)));
    log->close();
  }

  // Closing while a box is awaited asks; no keeps it waiting, yes stops it
  // and closes once it has stopped.
  void ClosingAsksWhileBoxesLoad() {
    sim::CBoxPlan silent;
    silent.silent = true;
    CBoxOnThread box(test::SampleImage(100), silent);
    test::CTempFile file(test::SampleImage(100));
    CStationSetup setup;
    setup.image = file.Path();
    setup.ports.push_back({box.box.Port(), "only"});
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    int asked = 0;
    bool answer = false;
    window.askStopAndClose = [&] {
      ++asked;
      return answer;
    };
    window.show();
    window.TileWidget(0).start->click();
    QVERIFY(!window.TileWidget(0).start->isEnabled());
    QVERIFY(window.StopAllButton().isEnabled());
    window.close();
    QCOMPARE(asked, 1);
    QVERIFY(window.isVisible());
    QVERIFY(window.Board().AnyRunning());
    answer = true;
    window.close();
    QCOMPARE(asked, 2);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    QCOMPARE(window.Board().Tile(0).state, TileState::Cancelled);
    QCOMPARE(window.exitCode.value_or(-1), CStationBoard::kCancelled);
  }

  // The picker lists each port with its adapter and whether it is held;
  // it refuses a station of nothing and stays open saying so; the ports
  // chosen and named make the station, and the memory survives a restart.
  void ThePickerMakesTheStationAndRemembersIt() {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    CPortInfo ftdi, held;
    ftdi.name = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ftdi.vidPid = "0403:6001";
    ftdi.manufacturer = "FTDI";
    ftdi.product = "FT232R USB UART";
    ftdi.serial = "A50285BI";
    held.name = "/dev/ttyS0";
    held.busy = true;
    held.heldBy = "minicom (pid 4711)";
    CQtStationPicker picker(nullptr, "/srv/image.sdl", {ftdi, held}, LoadStationMemory());
    QCOMPARE(picker.Table().rowCount(), 2);
    QCOMPARE(picker.Table().item(0, CQtStationPicker::kAdapter)->text(),
             QStringLiteral("FTDI FT232R USB UART"));
    QCOMPARE(picker.Table().item(0, CQtStationPicker::kVidPid)->text(), QStringLiteral("0403:6001"));
    QCOMPARE(picker.Table().item(1, CQtStationPicker::kInUse)->text(), QStringLiteral("minicom (pid 4711)"));
    picker.show();
    picker.accept();
    QVERIFY(picker.isVisible());
    QCOMPARE(picker.Refusal().text(), QStringLiteral("Choose at least one port."));

    picker.Table().item(0, CQtStationPicker::kPort)->setCheckState(Qt::Checked);
    picker.Table().item(0, CQtStationPicker::kName)->setText(QStringLiteral(" left "));
    picker.ResultsField().setText(QStringLiteral("/srv/results.jsonl"));
    picker.accept();
    QCOMPARE(picker.result(), int(QDialog::Accepted));
    QVERIFY(picker.Setup());
    QCOMPARE(picker.Setup()->ports.size(), size_t{1});
    QCOMPARE(picker.Setup()->ports[0].label, std::string("left"));
    QCOMPARE(picker.Setup()->resultsPath, std::string("/srv/results.jsonl"));
    SaveStationMemory(picker.Memory());

    CQtStationPicker again(nullptr, "", {ftdi, held}, LoadStationMemory());
    QCOMPARE(again.ImageField().text(), QStringLiteral("/srv/image.sdl"));
    QCOMPARE(again.ResultsField().text(), QStringLiteral("/srv/results.jsonl"));
    QCOMPARE(again.Table().item(0, CQtStationPicker::kPort)->checkState(), Qt::Checked);
    QCOMPARE(again.Table().item(0, CQtStationPicker::kName)->text(), QStringLiteral("left"));
    QCOMPARE(again.Table().item(1, CQtStationPicker::kPort)->checkState(), Qt::Unchecked);
  }

  // The README's pictures: 4 ports and 16, in whatever palette this run has.
  // Paced boxes show a station in the middle of its work: loaded, loading,
  // waiting for a box still off, and a port that is not there.
  void Screenshots() {
    for (size_t count : {size_t{4}, size_t{16}}) {
      const auto image = test::SampleImage(200000);
      test::CTempFile file(image, ".sdl");
      std::vector<std::unique_ptr<CBoxOnThread>> boxes;
      CStationSetup setup;
      setup.image = file.Path();
      for (size_t i = 0; i < count; ++i) {
        sim::CBoxPlan plan = Paced(i == 0 ? 0 : 115200);
        plan.silent = i % 4 == 2;
        const bool missing = i % 8 == 7;
        boxes.push_back(std::make_unique<CBoxOnThread>(image, plan));
        setup.ports.push_back({missing ? "/dev/ttyUSB" + std::to_string(40 + i) : boxes.back()->box.Port(),
                               "bench-" + std::to_string(i + 1)});
      }
      CQtStationWindow window(setup, test::QuickUpgradeKind());
      window.show();
      window.StartAllButton().click();
      QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(0).state == TileState::Loaded, 10000);
      QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(1).percent >= 5, 10000);
      Screenshot(&window, QStringLiteral("station-%1").arg(count));
      window.askStopAndClose = [] { return true; };
      window.close();
      QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    }
  }
};

}  // namespace zel

// Run with BOXFEEDER_TEST_DARK set, the whole test runs in a dark palette.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsSet("BOXFEEDER_TEST_DARK")) app.setPalette(zel::DarkPalette());
  zel::StationWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "station_window_test.moc"
