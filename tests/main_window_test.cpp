// The window with real widgets, run headless: an operator's whole job
// against the simulated box, and screenshots of each state.
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
#include <functional>
#include <thread>

#include "app/AboutDialog.h"
#include "app/CableWarningDialog.h"
#include "app/MainWindow.h"
#include "tests/BoxOnThread.h"
#include "tests/PtyPair.h"
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

using test::CBoxOnThread;

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CQtMainWindow> MakeWindow() {
    CProbeSources sources;
    sources.comNames = {m_port.SlavePath()};
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
  void ChooseImage(CQtMainWindow& window, const std::string& path) {
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
    const auto image = test::SampleImage(24 * 1024);
    test::CTempFile file(image, ".sdl");
    sim::CBoxPlan plan;
    plan.chunk = 1024;
    plan.baud = 115200;  // slow enough to see it move
    CBoxOnThread box(image, plan);
    auto window = MakeWindow();
    ChooseImage(*window, file.Path());
    QCOMPARE(window->ControlAs<QLineEdit>(IDC_IMAGE_PATH)->text(), QString::fromStdString(file.Path()));
    window->ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(box.box.Port()));
    Click(*window, IDC_START);
    QCOMPARE(window->ControlAs<QAbstractButton>(IDC_START)->text(), QStringLiteral("Cancel Download"));
    bool warningSeen = false;
    CModalHandler warning([&](QWidget* modal) {
      auto* box = dynamic_cast<CCableWarningDialog*>(modal);
      if (!box) return;
      warningSeen = true;
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
    Screenshot(window.get(), QStringLiteral("main-success"));
  }

  // Escape mid-load asks first, with No the default, and No keeps the box
  // loading; the title bar's close asks too, and Yes closes at once.
  void CloseWhileTheBoxIsSilentAsks() {
    test::CTempFile file(test::SampleImage(100), ".sdl");
    sim::CBoxPlan silent;
    silent.silent = true;
    CBoxOnThread box({}, silent);
    auto window = MakeWindow();
    ChooseImage(*window, file.Path());
    window->ControlAs<QComboBox>(IDC_PORT)->setEditText(QString::fromStdString(box.box.Port()));
    Click(*window, IDC_START);
    QTRY_VERIFY(LogText(*window).contains(QStringLiteral("Please SWITCH ON your box now")));
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

  void FiltersFollowThePlatformStrings() {
    QCOMPARE(QtNameFilters("SDL Files(*.sdl)|*.sdl|Text Files(*.txt)|*.txt|All Files (*.*)|*.*||"),
             (QStringList{QStringLiteral("SDL Files (*.sdl)"), QStringLiteral("Text Files (*.txt)"),
                          QStringLiteral("All Files (*)")}));
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
