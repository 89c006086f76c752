// The window with real widgets, run headless: the dialog's logic through
// its real controls, an operator's whole job against the simulated box,
// the keyboard, and screenshots of each state. Boxes that wait for a person
// are answered from a timer inside their own event loop.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <thread>

#include "app/AboutDialog.h"
#include "app/CableWarningDialog.h"
#include "app/MainWindow.h"
#include "sim/BoxOnThread.h"
#include "sim/BoxSimulator.h"
#include "sim/PtyLine.h"
#include "sim/SampleImage.h"
#include "tests/TempFile.h"
#include "tests/WidgetShots.h"
#include "widgets/IconButton.h"

namespace zel {
namespace {

// The most readable pixel of rect against colour: the contrast of the
// caption drawn there.
double BestContrast(const QImage& image, const QRect& rect, const QColor& against) {
  const qreal ratio = image.devicePixelRatio();
  const QRect pixels(rect.topLeft() * ratio, rect.size() * ratio);
  double best = 1;
  for (int y = pixels.top(); y <= pixels.bottom(); ++y)
    for (int x = pixels.left(); x <= pixels.right(); ++x)
      best = std::max(best, ContrastRatio(FromQColor(QColor(image.pixel(x, y))), FromQColor(against)));
  return best;
}

// The widgets of a type without a meta-object of its own.
template <typename Widget>
std::vector<Widget*> Children(QWidget& parent) {
  std::vector<Widget*> found;
  for (QWidget* child : parent.findChildren<QWidget*>())
    if (auto* widget = dynamic_cast<Widget*>(child)) found.push_back(widget);
  return found;
}

// The control a focus widget belongs to (a combo box's line edit is the combo).
int ControlIdOf(CQtMainWindow& window, QWidget* focus) {
  for (int id : {IDC_START, IDC_BROWSE, IDC_SAVE, IDC_CLEAR, IDCANCEL, IDC_IMAGE_PATH, IDC_PORT, IDC_LOG,
                 IDC_TRACE, IDC_HELP_BUTTON, IDC_DOWNLOAD_BOOT})
    if (QWidget* control = window.Control(id); control && (control == focus || control->isAncestorOf(focus)))
      return id;
  return -1;
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

// Records every message box that opens and presses the button answer()
// names for it (OK by default).
struct CBoxesSeen {
  struct CBox {
    QString title, text;
    bool owned;
  };
  explicit CBoxesSeen(QWidget* owner, std::function<QMessageBox::StandardButton(int)> answer = {})
      : handler([this, owner, answer](QWidget* modal) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          if (!box) return;
          boxes.push_back({box->windowTitle(), box->text(), box->parentWidget() == owner});
          // The title whole: the box is wide enough for it and the title
          // bar's buttons. Answered first, so that a failure ends no wait.
          const bool titleFits =
              box->width() >= box->fontMetrics().horizontalAdvance(box->windowTitle()) + kTitleBarRoom;
          box->button(answer ? answer(int(boxes.size())) : QMessageBox::Ok)->click();
          QVERIFY2(titleFits, qPrintable(box->windowTitle()));
        }) {}
  std::vector<CBox> boxes;
  CModalHandler handler;
};

using sim::CBoxOnThread;
using sim::SampleImage;
using test::CTempFile;

sim::CBoxPlan Silent() {
  sim::CBoxPlan plan;
  plan.silent = true;
  return plan;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CQtMainWindow> MakeWindow() {
    CProbeSources sources;
    sources.comNames = {m_port.Port(), "/dev/does-not-exist", m_other.Port()};
    sources.list.sysClassTty = "/nonexistent";  // no other ports
    auto window = std::make_unique<CQtMainWindow>(sources);
    window->Dialog().SetPauseBeforeSuccess(std::chrono::milliseconds(0));
    window->show();
    return window;
  }
  static QString LogText(CQtMainWindow& w) { return w.ControlAs<QPlainTextEdit>(IDC_LOG)->toPlainText(); }
  static void Click(CQtMainWindow& w, int id) {
    QTest::mouseClick(w.ControlAs<QAbstractButton>(id), Qt::LeftButton);
  }
  // Clicks button id and answers the file dialog it opens with path, typed
  // into the name field as a person would, or cancels it; the dialog's
  // filters and default suffix are kept.
  QStringList AnswerFileDialog(CQtMainWindow& window, int id, std::optional<std::string> path) {
    QStringList seen;
    CModalHandler answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (!dialog) return;
      seen = dialog->nameFilters();
      seen << dialog->defaultSuffix();
      if (!path) return dialog->reject();
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(*path));
      static_cast<QDialog*>(dialog)->accept();
    });
    Click(window, id);
    return seen;
  }
  void ChooseImage(CQtMainWindow& window, const std::string& path) {
    AnswerFileDialog(window, IDC_BROWSE, path);
    QCOMPARE(window.Dialog().ImagePath(), path);
  }
  // Starts a transfer of path on a port that does not open, and lets it
  // fail: the window is then idle with the image's length taken.
  void StartAndFail(CQtMainWindow& window, const std::string& path) {
    CBoxesSeen seen(&window);
    ChooseImage(window, path);
    window.ControlAs<QComboBox>(IDC_PORT)->setEditText(QStringLiteral("/dev/does-not-exist"));
    Click(window, IDC_START);
    QTRY_VERIFY_WITH_TIMEOUT(!window.Dialog().IsBusy(), 20000);
  }
  void StartOn(CQtMainWindow& window, const std::string& path, const std::string& port) {
    ChooseImage(window, path);
    window.ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(port));
    Click(window, IDC_START);
  }

  sim::CPtyLine m_port, m_other;

 private slots:
  void IdleWindowFollowsItsTemplate() {
    auto window = MakeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("ZELORXBoxFeeder"));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!window->Control(IDC_START)->isEnabled());
    QVERIFY(window->Control(IDC_DOWNLOAD_BOOT)->isHidden());
    // The ports that open, the first in sorted order chosen.
    QCOMPARE(window->ControlAs<QComboBox>(IDC_PORT)->count(), 2);
    QCOMPARE(window->GetText(IDC_PORT), std::min(m_port.Port(), m_other.Port()));
    QCOMPARE(dynamic_cast<CQtIconButton*>(window->Control(IDC_START))->ToolTipText(),
             QStringLiteral("Start to Download the File"));
    QVERIFY(dynamic_cast<CQtIconButton*>(window->Control(IDC_TRACE))->IsCheckBox());
    Screenshot(window.get(), QStringLiteral("main-idle"));
  }

  // An adapter's note shows beside its port in the open list; choosing the
  // entry gives the port's name alone.
  void ThePortListShowsWhatEachAdapterIs() {
    auto window = MakeWindow();
    const std::string name = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const QString note = QStringLiteral("FTDI FT232R USB UART");
    window->AddListEntry(IDC_PORT, name, note.toStdString());
    auto* combo = window->ControlAs<QComboBox>(IDC_PORT);
    const int at = combo->findText(QString::fromStdString(name));
    QVERIFY(at >= 0);
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    QTRY_VERIFY(list->isVisible());
    const QFontMetrics metrics(list->font());
    QVERIFY(list->width() > metrics.horizontalAdvance(QString::fromStdString(name) + note));
    // Ink where the note goes, right of the name, on the entry's row.
    const QRect row = list->visualRect(combo->model()->index(at, 0));
    const QImage image = list->viewport()->grab(row).toImage();
    const QColor background = image.pixelColor(image.width() - 1, 0);
    const int noteFrom = metrics.horizontalAdvance(QString::fromStdString(name)) + 8;
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = noteFrom; x < image.width(); ++x) inked += image.pixelColor(x, y) != background;
    QVERIFY2(inked > 20, "the note is not drawn");
    Screenshot(list->window(), QStringLiteral("port-list"));
    QTest::keyClick(list, Qt::Key_End);
    list->setCurrentIndex(combo->model()->index(at, 0));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(window->GetText(IDC_PORT), name);
  }

  // Browse, Start, the progress as it moves, the cable warning and the end.
  void AWholeUpgradeAgainstTheSimulatedBox() {
    const auto image = sim::SampleImage(24 * 1024);
    test::CTempFile file(image, ".sdl");
    sim::CBoxPlan plan;
    plan.chunk = 1024;
    plan.baud = 115200;  // slow enough to see it move
    CBoxOnThread box(image, plan);
    auto window = MakeWindow();
    StartOn(*window, file.Path(), box.box.Port());
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Cancel Download"));
    QCOMPARE(window->ControlAs<QProgressBar>(IDC_PROGRESS)->maximum(), 24 * 1024);
    bool warningSeen = false;
    CModalHandler warning([&](QWidget* modal) {
      auto* box = dynamic_cast<CCableWarningDialog*>(modal);
      if (!box) return;
      warningSeen = true;
      QVERIFY2(window->Dialog().IsBusy(), "busy while the warning shows");
      QCOMPARE(box->windowTitle(), QStringLiteral("Avertissement - Warning"));
      Screenshot(box, QStringLiteral("cable-warning"));
      box->ControlAs<QPushButton>(IDOK)->click();
    });
    QTRY_VERIFY_WITH_TIMEOUT(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value() > 8 * 1024, 20000);
    Screenshot(window.get(), QStringLiteral("main-busy"));
    QTRY_VERIFY_WITH_TIMEOUT(LogText(*window).contains(QStringLiteral("Download Terminated SUCCESSFULLY")),
                             30000);
    QVERIFY(warningSeen);
    QCOMPARE(window->ControlAs<QLabel>(IDC_PERCENT)->text(), QStringLiteral("100 %"));
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Start Download"));
    QCOMPARE(window->GetText(IDC_LOG), window->Dialog().Log());
    QVERIFY2(!LogText(*window).contains(QStringLiteral("<<Received")), "debug lines hidden without Trace");
    Screenshot(window.get(), QStringLiteral("main-success"));
  }

  // Escape mid-load asks first, with No the default, and No keeps the box
  // loading; the title bar's close asks too, and Yes closes at once.
  void CloseWhileTheBoxIsSilentAsks() {
    CTempFile file(SampleImage(100), ".sdl");
    CBoxOnThread box({}, Silent());
    auto window = MakeWindow();
    StartOn(*window, file.Path(), box.box.Port());
    QTRY_VERIFY_WITH_TIMEOUT(LogText(*window).contains(QStringLiteral("Please SWITCH ON your box now")),
                             20000);
    QStringList asked;
    CModalHandler answer([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (!box) return;
      asked << box->text();
      QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
      box->button(asked.size() == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
    });
    QTest::keyClick(window->Control(IDC_LOG), Qt::Key_Escape);
    QCOMPARE(asked, QStringList{QStringLiteral("A box is loading. Stop it and close?")});
    QVERIFY(window->isVisible() && window->Dialog().IsBusy());
    window->close();  // the worker is polling the line; closing must not wait for it
    QCOMPARE(asked.size(), 2);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(IDCANCEL));
    const std::string logAtClose = window->Dialog().Log();
    QCoreApplication::processEvents();
    QCOMPARE(window->Dialog().Log(), logAtClose);  // nothing arrives after Close
  }

  // Browse: a cancelled one changes nothing; the image chosen enables Start.
  void BrowseOffersTheImageFiltersAndEnablesStart() {
    auto window = MakeWindow();
    const QStringList filters = AnswerFileDialog(*window, IDC_BROWSE, std::nullopt);
    QCOMPARE(filters, (QStringList{QStringLiteral("SDL Files (*.sdl)"), QStringLiteral("Text Files (*.txt)"),
                                   QStringLiteral("All Files (*)"), QStringLiteral("sdl")}));
    QVERIFY(!window->Control(IDC_START)->isEnabled());
    CTempFile file(SampleImage(10), ".sdl");
    ChooseImage(*window, file.Path());
    QCOMPARE(window->GetText(IDC_IMAGE_PATH), file.Path());
    QVERIFY(window->Control(IDC_START)->isEnabled());
  }

  // An image gone before Start, and a port that does not open: each a box
  // under the window's title, and the window idle again; the port's with
  // its cause in the log.
  void WhatDoesNotOpenIsSaidInABoxAndTheLog() {
    auto window = MakeWindow();
    CTempFile gone(SampleImage(10), ".sdl"), file(SampleImage(10), ".sdl");
    ChooseImage(*window, gone.Path());
    std::filesystem::remove(gone.Path());
    CBoxesSeen seen(window.get());
    Click(*window, IDC_START);
    QVERIFY(!window->Dialog().IsBusy());
    QCOMPARE(window->GetText(IDC_PERCENT), std::string("0 %"));
    StartOn(*window, file.Path(), "/dev/does-not-exist");
    QTRY_VERIFY_WITH_TIMEOUT(!window->Dialog().IsBusy(), 20000);
    QCOMPARE(seen.boxes.size(), size_t{2});
    QCOMPARE(seen.boxes[0].text, QStringLiteral("Can not Open the File"));
    QCOMPARE(seen.boxes[1].text, QStringLiteral("Can not Create the File"));
    for (const auto& box : seen.boxes) QVERIFY(box.owned && box.title == CQtMainWindow::ApplicationTitle());
    // The log ends with the run's account, as boxfeed's does.
    const std::string log = window->Dialog().Log();
    QVERIFY2(std::regex_match(log, std::regex("Open port \\(/dev/does-not-exist\\) FAILED\r\n"
                                              "Please VERIFY the port connection and try it again\r\n"
                                              "Cause: /dev/does-not-exist: it does not exist\r\n"
                                              "Failed: 0 bytes in 0\\.0 s, 0\\.00 KB/s[^\r]*\r\n"
                                              "Image SHA-256: [0-9a-f]{64}\r\n"
                                              "Ended: 20[0-9-]{8}T[0-9:.]{12}Z\r\n")),
             log.c_str());
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Start Download"));
  }

  // A box that hangs up after two replies: the bar and the share show
  // where the run stopped, and there is no cable warning.
  void AFailedRunShowsWhereItStopped() {
    const auto image = SampleImage(6000);
    CTempFile file(image, ".sdl");
    sim::CBoxPlan plan;
    plan.chunk = 1000;
    plan.hangUpAfter = 12 + 2 * (1000 + 20);
    CBoxOnThread box(image, plan);
    auto window = MakeWindow();
    CModalHandler noWarning([](QWidget* modal) {
      QVERIFY2(!dynamic_cast<CCableWarningDialog*>(modal), "a warning for a failed run");
      if (auto* box = qobject_cast<QMessageBox*>(modal)) box->button(QMessageBox::Ok)->click();
    });
    StartOn(*window, file.Path(), box.box.Port());
    QTRY_VERIFY_WITH_TIMEOUT(!window->Dialog().IsBusy(), 20000);
    QCOMPARE(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value(), 2000);
    QCOMPARE(window->GetText(IDC_PERCENT), std::string("33 %"));
  }

  // Cancel disables Start until the run has ended; a new image chosen
  // meanwhile enables it again; a second Cancel, while the first is still
  // under way, does no harm.
  void CancelDisablesStartUntilTheEnd() {
    CBoxOnThread box({}, Silent());
    CTempFile file(SampleImage(100), ".sdl"), other(SampleImage(100), ".sdl");
    auto window = MakeWindow();
    StartOn(*window, file.Path(), box.box.Port());
    QTRY_VERIFY_WITH_TIMEOUT(LogText(*window).contains(QStringLiteral("Please SWITCH ON your box now")),
                             20000);
    Click(*window, IDC_START);
    QVERIFY(!window->Control(IDC_START)->isEnabled());
    QVERIFY(window->Dialog().IsBusy());
    ChooseImage(*window, other.Path());  // the run may end while the file dialog is open
    QVERIFY(window->Control(IDC_START)->isEnabled());
    if (window->Dialog().IsBusy()) Click(*window, IDC_START);  // Cancel again, harmlessly
    QTRY_VERIFY_WITH_TIMEOUT(!window->Dialog().IsBusy(), 20000);
    // The cancel's own lines, nothing blamed on the box, then the account.
    const std::string log = window->Dialog().Log();
    QVERIFY2(log.find("Please SWITCH ON your box now\r\nDownload CANCELLED\r\nCancelled: 0 bytes") !=
                     std::string::npos &&
                 log.find("FAILED") == std::string::npos && log.find("UNKNOWN") == std::string::npos,
             log.c_str());
    QCOMPARE(window->GetText(IDC_PERCENT), std::string("0 %"));
    QCOMPARE(window->Dialog().ImagePath(), other.Path());
  }

  // Debug lines only with Trace Enable; what the operator typed into the
  // log goes with the next line; Clear.
  void TheLogShowsTracesAndClears() {
    auto window = MakeWindow();
    CMainDialog& dialog = window->Dialog();
    dialog.OnLine("debug", LineLevel::Debug);
    dialog.OnLine("plain", LineLevel::Normal);
    Click(*window, IDC_TRACE);
    dialog.OnLine("debug", LineLevel::Debug);
    QCOMPARE(dialog.Log(), std::string("plain\r\ndebug\r\n"));
    QCOMPARE(dialog.LogLines(), 2);
    QTest::keyClicks(window->Control(IDC_LOG), QStringLiteral("typed by the operator"));
    dialog.OnLine("after", LineLevel::Normal);
    QCOMPARE(window->GetText(IDC_LOG), dialog.Log());
    QVERIFY(!LogText(*window).contains(QStringLiteral("typed")));
    Click(*window, IDC_CLEAR);
    QCOMPARE(window->GetText(IDC_LOG), std::string());
    dialog.OnLine("new", LineLevel::Normal);
    QCOMPARE(window->GetText(IDC_LOG), std::string("new\r\n"));
    QCOMPARE(dialog.LogLines(), 1);
  }

  // The share is the served request's offset against the image's length;
  // the bar adds up lengths and stops at its end.
  void TheProgressShowsTheOffsetsShare() {
    const struct {
      uint32_t imageLength;
      std::vector<std::pair<uint32_t, uint32_t>> requests;
      const char* percent;
      int bar;
    } cases[] = {{1000, {{0, 600}}, "0 %", 600},
                 {1000, {{0, 600}, {500, 600}}, "50 %", 1000},  // the same block twice
                 {1000, {{1000, 0}}, "100 %", 0},
                 {100'000'000, {{50'000'000, 1024}}, "50 %", 1024},  // no overflow
                 {100'000'000, {{99'999'999, 1024}}, "99 %", 1024},
                 {0, {{0, 0}}, "100 %", 0}};  // an empty image
    for (const auto& c : cases) {
      CTempFile file({}, ".sdl");
      std::filesystem::resize_file(file.Path(), c.imageLength);
      auto window = MakeWindow();
      StartAndFail(*window, file.Path());
      QCOMPARE(window->Dialog().ImageLength(), c.imageLength);
      for (const auto& [offset, length] : c.requests) window->Dialog().OnProgress(offset, length);
      QCOMPARE(window->GetText(IDC_PERCENT), std::string(c.percent));
      QCOMPARE(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value(), c.bar);
    }
  }

  // Save writes exactly the log; a folder that is not there, or the image
  // chosen for the download, gets a box and nothing written.
  void SaveWritesExactlyTheLog() {
    auto window = MakeWindow();
    window->Dialog().OnLine("first", LineLevel::Normal);
    window->Dialog().OnLine("second", LineLevel::Normal);
    CTempFile target({'x', 'y', 'z', 'z', 'y'}, ".txt"), image({'i', 'm', 'g'}, ".sdl");
    QCOMPARE(AnswerFileDialog(*window, IDC_SAVE, target.Path()),
             (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("txt")}));
    QCOMPARE(test::ReadFile(target.Path()), std::string("first\r\nsecond\r\n"));
    ChooseImage(*window, image.Path());
    CBoxesSeen seen(window.get());
    AnswerFileDialog(*window, IDC_SAVE, "/nonexistent-dir/log.txt");
    AnswerFileDialog(*window, IDC_SAVE, image.Path());
    QCOMPARE(seen.boxes.size(), size_t{2});
    for (const auto& box : seen.boxes) QCOMPARE(box.text, QStringLiteral("Can not Create The File"));
    QCOMPARE(test::ReadFile(image.Path()), std::string("img"));
  }

  // Help's box belongs to no window; About comes from the context menu's
  // command and its neighbours in the same group of sixteen.
  void HelpAndAbout() {
    auto window = MakeWindow();
    {
      CBoxesSeen seen(window.get());
      Click(*window, IDC_HELP_BUTTON);
      QCOMPARE(seen.boxes.size(), size_t{1});
      QCOMPARE(seen.boxes[0].title, QStringLiteral("Help!"));
      QVERIFY(!seen.boxes[0].owned);
      QVERIFY(seen.boxes[0].text.startsWith(QStringLiteral("Usage: Only use for QL-MV-T STB\n")));
      QVERIFY(seen.boxes[0].text.endsWith(QStringLiteral("STEP 5:  Power up the STB.\n ")));
    }
    int abouts = 0;
    CModalHandler about([&](QWidget* modal) {
      auto* box = dynamic_cast<CAboutDialog*>(modal);
      if (!box) return;
      ++abouts;
      QCOMPARE(box->windowTitle(), QStringLiteral("About BoxFeeder"));
      Screenshot(box, QStringLiteral("about"));
      box->ControlAs<QPushButton>(IDOK)->click();
    });
    for (unsigned id : {0x10u, 0x1Fu}) QVERIFY(window->Dialog().OnSysCommand(id));
    for (unsigned id : {0x0Fu, 0xF060u}) QVERIFY(!window->Dialog().OnSysCommand(id));
    QCOMPARE(abouts, 2);
  }

  // The hidden boot button runs a boot download beside the upgrade's state;
  // Close stops one whose box is silent without waiting for it.
  void TheHiddenBootButtonRunsABootDownload() {
    const std::string text = "t\nh\n01\n\nt2\nh2\nA1A2A3\n\n";
    CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
    for (const bool silent : {false, true}) {
      sim::CBootPlan plan;
      plan.silent = silent;
      CBoxOnThread box(std::vector<uint8_t>{0xA1, 0xA2, 0xA3}, plan);
      auto window = MakeWindow();
      ChooseImage(*window, commands.Path());
      window->ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(box.box.Port()));
      window->Dialog().OnDownloadBoot();
      const std::string opened =
          "Open Port (" + box.box.Port() + ") Successfully \r\nPlease Switch On your Box now\r\n";
      if (silent) {
        QTRY_VERIFY_WITH_TIMEOUT(window->Dialog().Log() == opened, 20000);
        CBoxesSeen yes(window.get(), [](int) { return QMessageBox::Yes; });
        window->close();
        QCOMPARE(window->result(), int(IDCANCEL));
        window.reset();  // the worker goes without the box
        continue;
      }
      QTRY_VERIFY_WITH_TIMEOUT(window->Dialog().Log().starts_with(opened + "Flash Boot OK\r\nSucceeded: "),
                               20000);
      box.Finish();
      QVERIFY(box.boot.sectionMatches);
      QVERIFY(!window->Dialog().IsBusy());
      QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Start Download"));
      QCOMPARE(window->ControlAs<QProgressBar>(IDC_PROGRESS)->value(), 0);
    }
  }

  void TheKeyboardReachesEveryControlInTheTemplatesOrder() {
    auto window = MakeWindow();
    QApplication::setActiveWindow(window.get());
    QTRY_VERIFY(window->isActiveWindow());
    // The first control that takes the focus: Start is disabled. Focus the
    // keyboard gave is shown.
    QCOMPARE(ControlIdOf(*window, QApplication::focusWidget()), int(IDC_BROWSE));
    const QImage focused = window->Control(IDC_BROWSE)->grab().toImage();
    window->Control(IDC_LOG)->setFocus(Qt::TabFocusReason);
    QVERIFY(window->Control(IDC_BROWSE)->grab().toImage() != focused);
    window->Control(IDC_START)->setEnabled(true);
    window->Control(IDC_START)->setFocus(Qt::TabFocusReason);
    const std::vector<int> order{IDC_START,      IDC_BROWSE, IDC_SAVE, IDC_CLEAR, IDCANCEL,
                                 IDC_IMAGE_PATH, IDC_PORT,   IDC_LOG,  IDC_TRACE, IDC_HELP_BUTTON};
    for (size_t i = 1; i <= order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(ControlIdOf(*window, QApplication::focusWidget()), order[i % order.size()]);
    }
    for (size_t i = order.size(); i-- > 0;) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
      QCOMPARE(ControlIdOf(*window, QApplication::focusWidget()), order[i]);
    }
  }

  void EnterAndSpaceClickTheFocusedButtonAndEnterNeverCloses() {
    auto window = MakeWindow();
    QApplication::setActiveWindow(window.get());
    CModalHandler dismiss([](QWidget* modal) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    for (int id : {IDC_BROWSE, IDC_SAVE, IDC_CLEAR, IDC_HELP_BUTTON, IDC_TRACE}) {
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        auto* button = window->ControlAs<QAbstractButton>(id);
        button->setFocus(Qt::TabFocusReason);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        QTest::keyClick(button, key);
        QCOMPARE(clicks.count(), 1);
        QVERIFY(window->isVisible());
      }
    }
    // Enter in the port box after typing a path, and in the log.
    auto* port = window->ControlAs<QComboBox>(IDC_PORT);
    port->lineEdit()->clear();
    QTest::keyClicks(port->lineEdit(), QStringLiteral("/dev/ttyUSB9"));
    QTest::keyClick(port->lineEdit(), Qt::Key_Return);
    QTest::keyClick(window->Control(IDC_LOG), Qt::Key_Return);
    QVERIFY(window->isVisible());
    QCOMPARE(port->currentText(), QStringLiteral("/dev/ttyUSB9"));
    // Escape is the cancel command.
    QTest::keyClick(window->Control(IDC_LOG), Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QCOMPARE(window->result(), int(IDCANCEL));
  }

  void FramesIconsAndDisabledCaptionsInLightAndDarkPalettes() {
    for (bool dark : {false, true}) {
      auto window = MakeWindow();
      if (dark) window->setPalette(DarkPalette());
      const QImage image = window->grab().toImage();
      // Every control a frame holds lies inside the frame, below its title.
      const auto frames = Children<CGroupFrame>(*window);
      QCOMPARE(frames.size(), size_t{3});
      for (auto* frame : frames) {
        const QRect inner = frame->FrameRect().translated(frame->pos()).adjusted(1, 1, -1, -1);
        for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
          if (control != frame && control->isVisible() &&
              frame->geometry().contains(control->geometry().center()))
            QVERIFY(inner.contains(control->geometry()));
      }
      // Every icon fits its button.
      for (auto* button : Children<CQtIconButton>(*window)) {
        QVERIFY(!button->IconRect().isEmpty());
        QVERIFY(button->rect().contains(button->IconRect()));
      }
      // The disabled Start button's caption is readable.
      auto* start = dynamic_cast<CQtIconButton*>(window->Control(IDC_START));
      QVERIFY(!start->isEnabled());
      const QRect caption =
          QRect(start->pos(), start->size()).adjusted(start->IconRect().right() + 2, 2, -2, -2);
      const QColor face = image.pixel((start->pos() + QPoint(1, 1)) * image.devicePixelRatio());
      const double contrast = BestContrast(image, caption, face);
      QVERIFY2(contrast >= 3.0,
               qPrintable(QString::number(contrast) + (dark ? " dark " : " light ") + face.name()));
    }
  }
};

}  // namespace zel

// Run with BOXFEEDER_TEST_DARK set, the whole test runs in a dark palette.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (qEnvironmentVariableIsSet("BOXFEEDER_TEST_DARK")) app.setPalette(zel::DarkPalette());
  zel::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "main_window_test.moc"
