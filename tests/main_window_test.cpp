// The window with real widgets, run headless: an operator's whole job
// against the simulated box, and screenshots of each state.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <thread>

#include "app/AboutDialog.h"
#include "app/CableWarningDialog.h"
#include "app/MainWindow.h"
#include "sim/BoxSimulator.h"
#include "tests/PtyPair.h"
#include "tests/TempFile.h"
#include "widgets/IconButton.h"

namespace zel {
namespace {

void Screenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
  QVERIFY(widget->grab().save(QStringLiteral(SCREENSHOT_DIR "/") + name + QStringLiteral(".png")));
}

// Answers each modal box that opens with handle(), from a timer that keeps
// running inside the box's own event loop.
class CModalHandler {
 public:
  explicit CModalHandler(std::function<void(QWidget*)> handle) : m_handle(std::move(handle)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) m_handle(modal);
    });
    m_timer.start(10);
  }

 private:
  std::function<void(QWidget*)> m_handle;
  QTimer m_timer;
};

// A simulated box running its side on a thread for the length of a test.
class CBox {
 public:
  CBox(std::vector<uint8_t> image, sim::CBoxPlan plan)
      : m_image(std::move(image)), m_thread([this, plan] { report = box.Run(m_image, plan); }) {}
  ~CBox() {
    box.Stop();
    m_thread.join();
  }
  sim::CBoxSimulator box;
  sim::CBoxReport report;

 private:
  std::vector<uint8_t> m_image;
  std::thread m_thread;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CMainWindow> MakeWindow() {
    CProbeSources sources;
    sources.comNames = {m_port.SlavePath()};
    sources.adapterPatterns = {};
    auto window = std::make_unique<CMainWindow>(sources);
    window->Dialog().SetPauseBeforeSuccess(std::chrono::milliseconds(0));
    window->show();
    return window;
  }
  static QString LogText(CMainWindow& w) { return w.ControlAs<QPlainTextEdit>(IDC_LOG)->toPlainText(); }
  static void Click(CMainWindow& w, int id) {
    QTest::mouseClick(w.ControlAs<QAbstractButton>(id), Qt::LeftButton);
  }
  void ChooseImage(CMainWindow& window, const std::string& path) {
    CModalHandler answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return;
      // Typed into the name field, as a person would.
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name);
      name->setText(QString::fromStdString(path));
      static_cast<QDialog*>(dialog)->accept();
    });
    Click(window, IDC_BROWSE);
    QCOMPARE(window.Dialog().ImagePath(), path);
  }

  test::CPtyPair m_port;

 private slots:
  void IdleWindowFollowsItsTemplate() {
    auto window = MakeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("ZELORXBoxFeeder"));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!window->Control(IDC_START)->isEnabled());
    QVERIFY(window->Control(IDC_DOWNLOAD_BOOT)->isHidden());
    QCOMPARE(window->ControlAs<QComboBox>(IDC_PORT)->currentText(),
             QString::fromStdString(m_port.SlavePath()));
    QVERIFY(window->Control(IDC_LOG)->geometry().contains(window->Control(IDC_PROGRESS)->geometry()) ==
            false);
    Screenshot(window.get(), QStringLiteral("main-idle"));
    auto* start = dynamic_cast<CIconButton*>(window->Control(IDC_START));
    QVERIFY(start);
    QCOMPARE(start->ToolTipText(), QStringLiteral("Start to Download the File"));
    QVERIFY(dynamic_cast<CIconButton*>(window->Control(IDC_HELP_BUTTON))->ToolTipText().isEmpty());
    QVERIFY(dynamic_cast<CIconButton*>(window->Control(IDC_TRACE))->IsCheckBox());
    QCOMPARE(dynamic_cast<CIconButton*>(window->Control(IDC_BROWSE))->HotIconSize(), QSize(32, 32));
    window->Control(IDC_START)->setEnabled(true);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), start->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(start, &move);
    QVERIFY(start->IsHot());
    Screenshot(window.get(), QStringLiteral("main-hover-start"));
  }

  void AWholeUpgradeAgainstTheSimulatedBox() {
    const auto image = test::SampleImage(24 * 1024);
    test::CTempFile file(image, ".sdl");
    sim::CBoxPlan plan;
    plan.chunk = 1024;
    plan.baud = 115200;  // slow enough to see it move
    CBox box(image, plan);
    auto window = MakeWindow();
    ChooseImage(*window, file.Path());
    QCOMPARE(window->ControlAs<QLineEdit>(IDC_IMAGE_PATH)->text(), QString::fromStdString(file.Path()));
    QVERIFY(window->Control(IDC_START)->isEnabled());
    window->ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(box.box.Port()));
    Click(*window, IDC_TRACE);
    Click(*window, IDC_START);
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Cancel Download"));

    bool warningSeen = false;
    CModalHandler warning([&](QWidget* modal) {
      auto* box = dynamic_cast<CCableWarningDialog*>(modal);
      if (!box) return;
      warningSeen = true;
      QCOMPARE(box->windowTitle(), QStringLiteral("Avertissement"));
      Screenshot(box, QStringLiteral("cable-warning"));
      box->ControlAs<QPushButton>(IDOK)->click();
    });
    QTRY_VERIFY_WITH_TIMEOUT(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value() > 8 * 1024, 20000);
    QVERIFY(LogText(*window).contains(QStringLiteral("<<Received Data Request from STB")));
    QVERIFY(window->ControlAs<QLabel>(IDC_PERCENT)->text().endsWith(QStringLiteral(" %")));
    Screenshot(window.get(), QStringLiteral("main-busy-trace"));
    QTRY_VERIFY_WITH_TIMEOUT(LogText(*window).contains(QStringLiteral("Download Terminated SUCCESSFULLY")),
                             30000);
    QVERIFY(warningSeen);
    QCOMPARE(window->ControlAs<QLabel>(IDC_PERCENT)->text(), QStringLiteral("100 %"));
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Start Download"));
    QVERIFY(!window->Dialog().IsBusy());
    Screenshot(window.get(), QStringLiteral("main-success"));
  }

  // Cancel, then Close, while the box stays silent after the start.
  void CancelOrCloseWhileTheBoxIsSilent() {
    for (bool viaClose : {false, true}) {
      test::CTempFile file(test::SampleImage(100), ".sdl");
      sim::CBoxPlan silent;
      silent.silent = true;
      CBox box({}, silent);
      auto window = MakeWindow();
      ChooseImage(*window, file.Path());
      window->ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(box.box.Port()));
      Click(*window, IDC_START);
      QTRY_VERIFY(LogText(*window).contains(QStringLiteral("Please SWITCH ON your box now")));
      if (viaClose) {
        // The worker is polling the line; closing must not wait for it.
        window->close();
        QVERIFY(!window->isVisible());
        QCOMPARE(window->result(), int(IDCANCEL));
        continue;
      }
      Click(*window, IDC_START);
      QVERIFY(!window->Control(IDC_START)->isEnabled());
      QTRY_VERIFY(LogText(*window).contains(QStringLiteral("Download CANCELLED")));
      QTRY_VERIFY(window->Control(IDC_START)->isEnabled());
      QVERIFY(!window->Dialog().IsBusy());
    }
  }

  void AboutBoxFromTheContextMenuCommand() {
    auto window = MakeWindow();
    bool seen = false;
    CModalHandler about([&](QWidget* modal) {
      auto* box = dynamic_cast<CAboutDialog*>(modal);
      if (!box) return;
      seen = true;
      QCOMPARE(box->windowTitle(), QStringLiteral("About BoxFeeder"));
      Screenshot(box, QStringLiteral("about"));
      box->ControlAs<QPushButton>(IDOK)->click();
    });
    QVERIFY(window->Dialog().OnSysCommand(0x10));
    QVERIFY(seen);
  }

  void FiltersFollowThePlatformStrings() {
    QCOMPARE(
        QtNameFilters("SDL Files(*.sdl)|*.sdl|Text Files(*.txt)|*.txt|All Files (*.*)|*.*||"),
        (QStringList{QStringLiteral("SDL Files(*.sdl) (*.sdl)"), QStringLiteral("Text Files(*.txt) (*.txt)"),
                     QStringLiteral("All Files (*.*) (*)")}));
  }
};

}  // namespace zel

QTEST_MAIN(zel::MainWindowTest)
#include "main_window_test.moc"
