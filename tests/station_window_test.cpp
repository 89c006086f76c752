// The Qt station window under the offscreen platform, with real engines
// and simulated boxes on pseudo-terminals.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <fstream>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "app/StationPicker.h"
#include "app/StationWindow.h"
#include "run/Platform.h"
#include "sim/BoxOnThread.h"
#include "sim/SampleImage.h"
#include "tests/QuickUpgrade.h"
#include "tests/TempFile.h"
#include "tests/Text.h"
#include "tests/WidgetShots.h"

namespace zel {
namespace {

using sim::CBoxOnThread;

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

  // One port per box, named box1, box2, ...; one box per Start unless
  // continuous.
  CStationSetup Setup(std::vector<CBoxOnThread*> boxes, bool continuous = false) {
    CStationSetup setup;
    setup.image = m_file.Path();
    setup.continuous = continuous;
    for (size_t i = 0; i < boxes.size(); ++i)
      setup.ports.push_back({boxes[i]->box.Port(), "box" + std::to_string(i + 1)});
    return setup;
  }
  const std::vector<uint8_t> m_image = sim::SampleImage(12000);
  test::CTempFile m_file{m_image, ".sdl"};
  test::CTempFile m_results{std::vector<uint8_t>{}, ".jsonl"};

 private slots:
  // Three ports: one box loads, one hangs up, one stays off. Start all from
  // the keyboard; each tile says how its box ended in words, the failing
  // one with its cause in one line and in its log; closing asks, No keeps
  // the last one waiting, Yes stops it, and the window ends with the code
  // for a failure; the results file has a record per box.
  void LoadedFailedAndOffAndClosingStopsTheRest() {
    sim::CBoxPlan hangsUp = Paced(0), silent;
    hangsUp.hangUpAfter = 12 + 2 * (1024 + 20);
    silent.silent = true;
    CBoxOnThread loads(m_image, Paced(0)), fails(m_image, hangsUp), off(m_image, silent);
    CQtStationWindow window(Setup({&loads, &fails, &off}), test::QuickUpgradeKind());
    window.ResultsField().setText(QString::fromStdString(m_results.Path()));
    int asked = 0;
    window.askStopAndClose = [&] { return ++asked == 2; };
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus, Qt::Key_Return);
    QVERIFY2(window.isVisible() && !window.Board().AnyRunning(), "Enter starts nothing and never closes");
    QTest::keyClick(focus, Qt::Key_Tab);  // from the results field to Start all
    QCOMPARE(QApplication::focusWidget(), &window.StartAllButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY2(!window.ResultsField().isEnabled(), "one results file per round");
    QTRY_VERIFY_WITH_TIMEOUT(!window.Board().Tile(0).Running() && !window.Board().Tile(1).Running(), 20000);

    const CTile &loaded = window.Board().Tile(0), &gone = window.Board().Tile(1);
    QVERIFY(TileTexts(window.TileWidget(0)).contains(QStringLiteral("loaded")));
    QVERIFY(TileTexts(window.TileWidget(0)).contains(QStringLiteral("1 loaded, 0 failed")));
    QCOMPARE(window.TileWidget(0).findChild<QProgressBar*>()->value(), 100);
    QCOMPARE(loaded.figures.substr(0, 5), std::string("100 %"));
    QCOMPARE(gone.nextStep, std::string("check the cable and the box's power, then switch it on again"));
    QVERIFY(!TileTexts(window.TileWidget(1)).filter(QStringLiteral("check the cable")).isEmpty());
    QVERIFY(gone.percent < 100);
    QCOMPARE(window.Board().Tile(2).state, TileState::Waiting);
    QCOMPARE(window.Totals().text(),
             QStringLiteral("1 loaded, 1 failed, yield 50.0 % \u2014 1 waiting for the box"));
    window.TileWidget(1).log->click();
    QVERIFY(window.OpenLog(1)->toPlainText().contains(QString::fromStdString(gone.cause)));

    window.close();
    QCOMPARE(asked, 1);
    QVERIFY(window.isVisible() && window.Board().Tile(2).Running());
    window.close();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    QCOMPARE(window.Board().Tile(2).state, TileState::Cancelled);
    QCOMPARE(window.exitCode.value_or(-1), CStationBoard::kAnyFailed);

    std::map<std::string, nlohmann::json> byPort;
    for (const auto& line : test::Lines(test::ReadFile(m_results.Path()))) {
      const auto record = nlohmann::json::parse(line);
      byPort[record["port"]] = record;
    }
    QCOMPARE(byPort.size(), size_t{3});
    QVERIFY(byPort[loads.box.Port()]["outcome"] == "succeeded");
    QVERIFY(byPort[loads.box.Port()]["alias"] == "box1");
    QVERIFY(byPort[loads.box.Port()]["bytesServed"] == 12000);
    QVERIFY(byPort[loads.box.Port()]["imageSha256"] == test::Sha256Sum(m_file.Path()));
    QVERIFY(byPort[fails.box.Port()]["outcome"] == "failed");
    QVERIFY(byPort[fails.box.Port()]["cause"] ==
            fails.box.Port() + ": the port disappeared (unplugged or hung up)");
    QVERIFY2(byPort[fails.box.Port()]["alias"] == "box2", "the label the tile shows");
    QVERIFY(byPort[off.box.Port()]["outcome"] == "cancelled");
  }

  // Continuous: each port serves box after box without a click, three
  // each, the second on one port ending before it asked for the whole
  // image. The counts are of boxes; a failure's cause stays on its tile
  // while the next box loads, and goes when that box passes; each box has
  // a record of its own; Stop all ends the loops with no record for the
  // wait that had no box.
  void BoxesAfterBoxesWithoutAClick() {
    std::promise<void> release;
    std::atomic<bool> thirdAsks = false;
    sim::CBoxPlan whole = Paced(0), part = Paced(0), third = Paced(0);
    part.endAfter = 3;
    third.beforeRequest = [&thirdAsks, released = release.get_future().share()](size_t n) {
      if (n != 0) return;
      thirdAsks = true;
      released.wait();
    };
    CBoxOnThread left(m_image, std::vector{whole, whole, whole}),
        right(m_image, std::vector{whole, part, third});
    struct CReleaseOnExit {
      std::promise<void>& promise;
      ~CReleaseOnExit() { promise = {}; }  // a box still held goes on, whatever failed
    } releaseOnExit{release};
    test::CTempFile results(std::vector<uint8_t>{}, ".jsonl");
    CStationSetup setup = Setup({&left, &right}, true);
    setup.requireWholeImage = true;
    setup.resultsPath = results.Path();
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    window.askStopAndClose = [] { return true; };
    window.show();
    QVERIFY(window.ContinuousBox().isChecked());
    window.StartAllButton().click();
    QTRY_VERIFY_WITH_TIMEOUT(thirdAsks, 20000);
    const CTile& tile = window.Board().Tile(1);
    QVERIFY2(tile.cause.starts_with("the box ended before it had asked for the whole image"),
             tile.cause.c_str());
    QVERIFY(tile.Running() && tile.failed == 1);
    release.set_value();
    QTRY_VERIFY_WITH_TIMEOUT(window.Board().Counts().loaded + window.Board().Counts().failed == 6, 20000);
    QCOMPARE(window.Board().Tile(0).loaded, 3);
    QCOMPARE(tile.loaded, 2);
    QVERIFY(tile.cause.empty() && tile.nextStep.empty());
    QVERIFY(window.Totals().text().startsWith(QStringLiteral("5 loaded, 1 failed, yield 83.3 %")));
    QTRY_VERIFY_WITH_TIMEOUT(tile.state == TileState::Waiting, 20000);  // for a fourth box
    window.StopAllButton().click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.Board().AnyRunning() && tile.state == TileState::Cancelled, 20000);
    window.ResetCountsButton().click();
    QVERIFY(window.Totals().text().startsWith(QStringLiteral("0 loaded, 0 failed")));

    std::set<std::string> runIds;
    std::map<std::string, int> outcomes;
    for (const auto& line : test::Lines(test::ReadFile(results.Path()))) {
      const auto record = nlohmann::json::parse(line);
      runIds.insert(record["runId"].get<std::string>());
      ++outcomes[record["alias"].get<std::string>() + " " + record["outcome"].get<std::string>()];
      QVERIFY(record["host"] == HostName() && record["station"] == HostName());
      QVERIFY(record["toolVersion"] == BOXFEEDER_VERSION);
      QVERIFY(record["image"] == m_file.Path());
      QVERIFY(record["seconds"].get<double>() >= 0);
    }
    QCOMPARE(runIds.size(), size_t{6});
    QCOMPARE(outcomes,
             (std::map<std::string, int>{{"box1 succeeded", 3}, {"box2 succeeded", 2}, {"box2 failed", 1}}));
  }

  // A database that cannot be reached: the box loads all the same, its
  // record waits in the spool on this computer's disk, and the window says
  // so with the cause; the password is not shown.
  void RecordsWaitForADatabaseThatCannotBeReached() {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    CBoxOnThread box(m_image, Paced(0));
    CStationSetup setup = Setup({&box});
    setup.resultsPath = "odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=line;Pwd=secret";
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    window.show();
    window.StartAllButton().click();
    QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(0).state == TileState::Loaded, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(window.Records().toolTip().startsWith(QStringLiteral(
                                 "Records: 1 record waiting: the database cannot be reached:")),
                             20000);
    QVERIFY(!window.Records().toolTip().contains(QStringLiteral("secret")));
    QDir spool(data.path() + QStringLiteral("/boxfeeder"));
    const QStringList spools = spool.entryList({QStringLiteral("spool-*.jsonl")});
    QCOMPARE(spools.size(), 1);
    QVERIFY(test::ReadFile(spool.filePath(spools[0]).toStdString()).find("\"outcome\":\"succeeded\"") !=
            std::string::npos);
    Screenshot(&window, QStringLiteral("station-records-waiting"));
  }

  // --exit-when-done: the window closes by itself once every port has
  // ended, with the code of the command line; a results file that cannot
  // be written fails each port before its box is served, said on the tile.
  void ExitsWhenEveryPortHasEnded() {
    for (const bool writable : {true, false}) {
      CBoxOnThread first(m_image, Paced(0)), second(m_image, Paced(0));
      CStationSetup setup = Setup({&first, &second});
      setup.exitWhenDone = true;
      setup.resultsPath = writable ? m_results.Path() : "/proc/version/results.jsonl";
      CQtStationWindow window(setup, test::QuickUpgradeKind());
      window.askStopAndClose = [] { return false; };
      window.show();
      window.StartAllButton().click();
      QTRY_VERIFY_WITH_TIMEOUT(window.exitCode.has_value(), 20000);
      QCOMPARE(*window.exitCode, writable ? CStationBoard::kAllLoaded : CStationBoard::kAnyFailed);
      for (size_t i = 0; i < 2; ++i) {
        QCOMPARE(window.Board().Tile(i).state, writable ? TileState::Loaded : TileState::Failed);
        QCOMPARE(window.Board().Tile(i).cause.find("Can not Create The File") != std::string::npos,
                 !writable);
      }
    }
  }

  // Every box gets the image as it was read at the first Start, whatever
  // is copied over the file meanwhile; the window says that the file
  // changed, and takes the new one when asked.
  void ServesTheImageItReadAndTakesANewOneWhenAsked() {
    const std::string before = test::Sha256Sum(m_file.Path());
    sim::CBoxPlan overwrites = Paced(0);
    overwrites.beforeRequest = [&](size_t n) {
      if (n == 1) std::ofstream(m_file.Path(), std::ios::binary) << std::string(7000, 'B');
    };
    CBoxOnThread first(m_image, overwrites), second(m_image, Paced(0));
    test::CTempFile results(std::vector<uint8_t>{}, ".jsonl");
    CStationSetup setup = Setup({&first, &second});
    setup.resultsPath = results.Path();
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    window.show();
    window.TileWidget(0).start->click();
    QCOMPARE(window.ImageDigest().text(), QStringLiteral("SHA-256: ") + QString::fromStdString(before));
    QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(0).state == TileState::Loaded, 20000);
    window.Board().CheckImage();
    QVERIFY(!window.ImageNote().text().isEmpty() && window.TakeNewImageButton().isVisible());
    window.TileWidget(1).start->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(1).state == TileState::Loaded, 20000);
    for (auto* box : {&first, &second}) {
      box->Finish();
      QVERIFY2(box->report.imageIntact, "each box got the image as it was read");
    }
    for (const auto& line : test::Lines(test::ReadFile(results.Path()))) {
      const auto record = nlohmann::json::parse(line);
      QVERIFY(record["imageSha256"] == before);
      QVERIFY(record["coverage"] == 1.0);
    }
    window.TakeNewImageButton().click();
    QCOMPARE(window.ImageDigest().text(),
             QStringLiteral("SHA-256: ") + QString::fromStdString(test::Sha256Sum(m_file.Path())));
    QVERIFY(window.ImageNote().text().isEmpty());
    QCOMPARE(window.Board().Image()->Size(), uint64_t{7000});
    window.askStopAndClose = [] { return true; };
  }

  // A stop of one port closes nothing; with nothing loading the window
  // closes without a question.
  void StoppingAPortClosesNothingAndIdleClosesWithoutAsking() {
    sim::CBoxPlan silent;
    silent.silent = true;
    CBoxOnThread box(m_image, silent);
    CQtStationWindow window(Setup({&box}), test::QuickUpgradeKind());
    int asked = 0;
    window.askStopAndClose = [&] { return ++asked > 0; };
    window.show();
    window.TileWidget(0).start->click();
    QVERIFY(!window.TileWidget(0).start->isEnabled() && window.StopAllButton().isEnabled());
    window.TileWidget(0).stop->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.Board().Tile(0).state == TileState::Cancelled, 20000);
    QVERIFY(window.isVisible());
    window.close();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 20000);
    QCOMPARE(asked, 0);
    QCOMPARE(window.exitCode.value_or(-1), CStationBoard::kCancelled);
  }

  // 32 ports fit a laptop's 1366 x 768 (compact), the same at 150 % (910 x
  // 512 in the window's units) and 1920 x 1080 (full): every tile whole,
  // inside the window, none over another, and the window no wider than the
  // screen; 4 ports on 1600 x 1200 fill it.
  void EveryTileFitsTheScreen() {
    CStationSetup setup;
    setup.image = m_file.Path();
    for (int i = 0; i < 32; ++i)
      setup.ports.push_back({"/dev/ttyUSB" + std::to_string(i), "Box" + std::to_string(i)});
    CQtStationWindow window(setup, test::QuickUpgradeKind());
    window.show();
    const struct {
      QSize screen;
      bool compact;
      const char* shot;
    } screens[] = {{{1366, 768}, true, "station-32-1366x768"},
                   {{910, 512}, true, nullptr},
                   {{1920, 1080}, false, "station-32-1920x1080"}};
    for (const auto& screen : screens) {
      const QSize size = screen.screen - QSize(0, 70);  // the title bar and the task bar
      QVERIFY(window.minimumSizeHint().width() <= size.width());
      window.resize(size);
      QTRY_COMPARE(window.size(), size);
      QApplication::processEvents();
      QRegion covered;
      for (size_t i = 0; i < 32; ++i) {
        CQtStationTile& tile = window.TileWidget(i);
        const QRect at(tile.mapTo(&window, QPoint(0, 0)), tile.size());
        QVERIFY2(window.rect().contains(at),
                 qPrintable(QStringLiteral("tile %1 at %2x%3").arg(i).arg(size.width()).arg(size.height())));
        const QSize need = tile.minimumSizeHint();
        QVERIFY2(tile.width() >= need.width() && tile.height() >= need.height(),
                 qPrintable(QStringLiteral("%1x%2 < %3x%4")
                                .arg(tile.width())
                                .arg(tile.height())
                                .arg(need.width())
                                .arg(need.height())));
        QVERIFY(!covered.intersects(at));
        covered += at;
        QCOMPARE(tile.IsCompact(), screen.compact);
      }
      if (screen.shot) Screenshot(&window, QString::fromLatin1(screen.shot));
    }
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
      const auto image = sim::SampleImage(200000);
      test::CTempFile file(image, ".sdl");
      std::vector<std::unique_ptr<CBoxOnThread>> boxes;
      CStationSetup setup;
      setup.image = file.Path();
      setup.continuous = false;  // the first box stays loaded
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
