#include "app/StationWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/MainWindow.h"

namespace zel {
namespace {

QColor StateColor(TileState state) { return QColor(QRgb(TileStateColor(state))); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A label that a narrow tile cuts with an ellipsis ("bench-11 · pts/…"),
// never in the middle of a name without saying so; its text stays whole.
class CElidedLabel : public QLabel {
 public:
  explicit CElidedLabel(QWidget* parent) : QLabel(parent) {
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  }
  QSize minimumSizeHint() const override { return {1, QLabel::minimumSizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width()));
  }
};

}  // namespace

CQtStationTile::CQtStationTile(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 6, 0);
  m_strip = new QFrame(this);
  m_strip->setFixedWidth(6);
  m_strip->setAutoFillBackground(true);
  outer->addWidget(m_strip);
  auto* column = new QVBoxLayout;
  column->setContentsMargins(4, 6, 0, 6);
  column->setSpacing(3);
  outer->addLayout(column, 1);

  m_name = new CElidedLabel(this);
  QFont bold = m_name->font();
  bold.setBold(true);
  m_name->setFont(bold);
  m_state = new CElidedLabel(this);
  m_state->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* head = new QHBoxLayout;
  head->addWidget(m_name, 1);
  head->addWidget(m_state);
  column->addLayout(head);

  m_bar = new QProgressBar(this);
  m_bar->setRange(0, 100);
  m_bar->setTextVisible(false);
  m_bar->setMaximumHeight(10);
  column->addWidget(m_bar);
  m_figures = new QLabel(this);
  m_figures->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  column->addWidget(m_figures);
  m_cause = new QLabel(this);
  m_cause->setWordWrap(false);
  m_cause->setMinimumWidth(1);
  m_cause->setFont(bold);
  column->addWidget(m_cause);
  m_nextStep = new QLabel(this);
  m_nextStep->setMinimumWidth(1);
  column->addWidget(m_nextStep);
  m_counts = new QLabel(this);
  column->addWidget(m_counts);

  auto* buttons = new QHBoxLayout;
  start = new QPushButton(tr("Start"), this);
  stop = new QPushButton(tr("Stop"), this);
  log = new QPushButton(tr("Log"), this);
  for (QPushButton* button : {start, stop, log}) {
    button->setAutoDefault(false);  // Enter presses the button with the focus, nothing else
    buttons->addWidget(button);
  }
  column->addLayout(buttons);
  column->addStretch(1);
  for (QPushButton* button : {start, stop, log}) {
    auto* action = new QAction(button->text(), this);
    connect(action, &QAction::triggered, button, &QPushButton::click);
    addAction(action);
  }
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CQtStationTile::SetCompact(bool compact) {
  if (compact == m_bCompact) return;
  m_bCompact = compact;
  for (QWidget* part : std::initializer_list<QWidget*>{m_figures, m_nextStep, m_counts, start, stop, log})
    part->setVisible(!compact);
  for (QLayout* part : findChildren<QLayout*>()) part->invalidate();  // the next size hint is the new form's
  layout()->invalidate();
}

void CQtTileGrid::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void CQtTileGrid::Arrange() {
  if (m_tiles.empty()) return;
  const int count = static_cast<int>(m_tiles.size()), gap = 6;
  CQtStationTile& first = *m_tiles.front();
  const bool wasCompact = first.IsCompact();
  // The least each form needs, measured on a tile.
  first.SetCompact(false);
  const QSize full = first.minimumSizeHint().expandedTo(QSize(220, 0));
  first.SetCompact(true);
  const QSize compact = first.minimumSizeHint().expandedTo(QSize(110, 0));
  first.SetCompact(wasCompact);
  const CTileGrid grid = ArrangeTiles(m_tiles.size(), width(), height(), gap, full.width(), full.height(),
                                      compact.width(), compact.height());
  m_columns = grid.columns;
  const int columns = grid.columns, w = grid.width, h = grid.height;
  const bool useCompact = grid.compact;
  for (int i = 0; i < count; ++i) {
    m_tiles[i]->SetCompact(useCompact);
    m_tiles[i]->setGeometry((i % columns) * (w + gap), (i / columns) * (h + gap), w, h);
  }
}

void CQtStationTile::Show(const CTile& tile) {
  m_name->setText(Text(tile.title));
  m_name->setToolTip(Text(tile.port));
  m_state->setText(TileStateWords(tile.state));
  QPalette strip = m_strip->palette();
  strip.setColor(QPalette::Window, StateColor(tile.state));
  m_strip->setPalette(strip);
  // A box that failed marks the whole tile until the next box passes.
  const bool failed = !tile.cause.empty();
  setAutoFillBackground(failed);
  QPalette face = QApplication::palette(this);
  if (failed) face.setColor(QPalette::Window, StateColor(TileState::Failed).lighter(170));
  if (failed) face.setColor(QPalette::WindowText, Qt::black);
  setPalette(face);
  m_bar->setValue(tile.percent);
  m_figures->setText(Text(tile.figures));
  const QString cause = Text(tile.cause);
  m_cause->setText(m_cause->fontMetrics().elidedText(cause, Qt::ElideRight, std::max(width() - 30, 60)));
  m_cause->setToolTip(cause);
  const QString next = Text(tile.nextStep);
  m_nextStep->setText(m_nextStep->fontMetrics().elidedText(next, Qt::ElideRight, std::max(width() - 30, 60)));
  m_nextStep->setToolTip(next);
  m_counts->setText(tr("%1 loaded, %2 failed").arg(tile.loaded).arg(tile.failed));
  start->setEnabled(!tile.Running() && !tile.looping);
  stop->setEnabled(tile.Running() || tile.looping);
  actions().at(0)->setEnabled(start->isEnabled());
  actions().at(1)->setEnabled(stop->isEnabled());
}

CQtStationWindow::CQtStationWindow(CStationSetup setup, const CEngineKind& kind) {
  setWindowTitle(CQtMainWindow::ApplicationTitle() + tr(" station"));
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  auto* image = new QLabel(tr("Image: %1").arg(Text(setup.image)), this);
  image->setTextInteractionFlags(Qt::TextSelectableByMouse);
  image->setMinimumWidth(1);  // a long path is cut, not the window widened
  image->setToolTip(Text(setup.image));
  top->addWidget(image, 1);
  m_digest = new QLineEdit(this);
  m_digest->setReadOnly(true);
  m_digest->setFrame(false);
  m_digest->setFocusPolicy(Qt::ClickFocus);  // Tab goes from the results file to Start all
  // The start of the digest in view (the whole on hover, and when copied).
  m_digest->setFixedWidth(
      m_digest->fontMetrics().horizontalAdvance(QStringLiteral("SHA-256: 0123456789abcdef")) + 12);
  m_digest->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
  top->addWidget(m_digest);
  m_imageNote = new QLabel(this);
  m_imageNote->setStyleSheet(QStringLiteral("color: #b45309; font-weight: bold"));
  top->addWidget(m_imageNote);
  m_takeNew = new QPushButton(tr("Take &new image"), this);
  m_takeNew->setAutoDefault(false);
  m_takeNew->hide();
  top->addWidget(m_takeNew);
  auto* resultsLabel = new QLabel(tr("&Results file:"), this);
  m_results = new QLineEdit(Text(setup.resultsPath), this);
  m_results->setPlaceholderText(tr("none"));
  m_results->setMinimumWidth(160);
  resultsLabel->setBuddy(m_results);
  top->addWidget(resultsLabel);
  top->addWidget(m_results);
  layout->addLayout(top);

  auto* actions = new QHBoxLayout;
  m_startAll = new QPushButton(tr("&Start all"), this);
  m_stopAll = new QPushButton(tr("S&top all"), this);
  for (QPushButton* button : {m_startAll, m_stopAll}) button->setAutoDefault(false);
  m_totals = new QLabel(this);
  m_wholeImage = new QCheckBox(tr("&Whole image required"), this);
  m_wholeImage->setChecked(setup.requireWholeImage);
  m_wholeImage->setToolTip(tr("A box that ends before it has asked for every byte of the image fails"));
  m_continuous = new QCheckBox(tr("&Continuous"), this);
  m_continuous->setChecked(setup.continuous);
  m_continuous->setToolTip(tr("Each port waits for its next box when one ends, without a click"));
  m_resetCounts = new QPushButton(tr("R&eset counts"), this);
  m_resetCounts->setAutoDefault(false);
  QFont large = m_totals->font();
  large.setPointSizeF(large.pointSizeF() * 1.4);
  large.setBold(true);
  m_totals->setFont(large);
  m_totals->setMinimumWidth(1);
  m_totals->setWordWrap(true);
  actions->addWidget(m_startAll);
  actions->addWidget(m_stopAll);
  actions->addWidget(m_continuous);
  actions->addWidget(m_wholeImage);
  actions->addStretch(1);
  actions->addWidget(m_resetCounts);
  layout->addLayout(actions);
  layout->addWidget(m_totals);
  // Where the records of a database stand, on a line of their own; none
  // for a results file.
  m_records = new CElidedLabel(this);
  m_records->hide();
  layout->addWidget(m_records);

  m_grid = new CQtTileGrid(this);
  for (size_t i = 0; i < setup.ports.size(); ++i) {
    auto* tile = new CQtStationTile(m_grid);
    m_grid->Add(tile);
    m_tiles.push_back(tile);
  }
  layout->addWidget(m_grid, 1);
  m_logs.resize(m_tiles.size(), nullptr);

  m_board = std::make_unique<CStationBoard>(m_dispatcher, static_cast<IStationView&>(*this), std::move(setup),
                                            kind);
  for (size_t i = 0; i < m_tiles.size(); ++i) {
    ShowTile(i, m_board->Tile(i));
    connect(m_tiles[i]->start, &QPushButton::clicked, this, [this, i] {
      m_board->SetResultsPath(m_results->text().toStdString());
      m_board->Start(i);
    });
    connect(m_tiles[i]->stop, &QPushButton::clicked, this, [this, i] { m_board->Stop(i); });
    connect(m_tiles[i]->log, &QPushButton::clicked, this, [this, i] { ShowLog(i); });
  }
  connect(m_startAll, &QPushButton::clicked, this, [this] {
    m_board->SetResultsPath(m_results->text().toStdString());
    m_board->StartAll();
  });
  connect(m_stopAll, &QPushButton::clicked, this, [this] { m_board->StopAll(); });
  connect(m_wholeImage, &QCheckBox::toggled, this, [this](bool on) { m_board->SetRequireWholeImage(on); });
  connect(m_continuous, &QCheckBox::toggled, this, [this](bool on) { m_board->SetContinuous(on); });
  connect(m_resetCounts, &QPushButton::clicked, this, [this] { m_board->ResetCounts(); });
  connect(m_takeNew, &QPushButton::clicked, this, [this] {
    std::string refusal;
    if (!m_board->TakeNewImage(refusal))
      QMessageBox::warning(this, windowTitle(), tr("The image could not be read: %1").arg(Text(refusal)));
  });
  // The digest of a large image comes once it is read; a file copied over
  // the image shows within a second.
  auto* imageTimer = new QTimer(this);
  connect(imageTimer, &QTimer::timeout, this, [this] {
    m_board->CheckImage();
    m_board->CheckRecords();
  });
  imageTimer->start(1000);
  ShowImage({}, false);
  ShowTotals(StationCountsText({}, std::to_string(m_tiles.size()) + " ready"), false);

  // Room for every tile in full where the screen has it, else the screen's.
  const int columns = StationColumns(m_tiles.size());
  const int rows = (static_cast<int>(m_tiles.size()) + columns - 1) / columns;
  QSize size(std::max(columns * 250 + 40, 640), rows * 196 + 150);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() - QSize(16, 48));
  resize(size);
}

CQtStationWindow::~CQtStationWindow() = default;

QPlainTextEdit* CQtStationWindow::OpenLog(size_t index) const {
  QPlainTextEdit* log = m_logs.at(index);
  return log && log->isVisible() ? log : nullptr;
}

void CQtStationWindow::closeEvent(QCloseEvent* event) {
  if (m_bClosingNow || m_board->RequestClose()) {
    if (!exitCode) exitCode = m_board->ExitCode();
    for (QPlainTextEdit* log : m_logs)
      if (log) log->close();
    event->accept();
    return;
  }
  event->ignore();  // asked: the ports stop, and their ends close the window
}

void CQtStationWindow::ShowTile(size_t index, const CTile& tile) { m_tiles.at(index)->Show(tile); }

void CQtStationWindow::OnLogLine(size_t index, const std::string& line) {
  if (QPlainTextEdit* log = m_logs.at(index)) log->appendPlainText(Text(line));
}

void CQtStationWindow::ShowTotals(const std::string& text, bool anyRunning) {
  m_totals->setText(Text(text));
  m_stopAll->setEnabled(anyRunning);
  m_results->setEnabled(!anyRunning);  // each box's record goes to one file
}

bool CQtStationWindow::AskStopAndClose() {
  if (askStopAndClose) return askStopAndClose();
  return QMessageBox::question(this, windowTitle(), tr("Boxes are still loading. Stop them all and close?"),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void CQtStationWindow::CloseStation(int code) {
  exitCode = code;
  m_bClosingNow = true;
  // Closed from the event loop: this runs inside a run's end.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CQtStationWindow::ShowRecords(const std::string& state) {
  const QString text = Text(state);
  m_records->setToolTip(text);
  m_records->setText(text);
  m_records->setVisible(!state.empty());
  const bool waiting = !state.empty() && state.find(": stored") == std::string::npos;
  m_records->setStyleSheet(waiting ? QStringLiteral("color: #b45309; font-weight: bold") : QString());
}

void CQtStationWindow::ShowImage(const std::string& sha256, bool fileChanged) {
  m_digest->setText(sha256.empty() ? tr("SHA-256: not read yet") : tr("SHA-256: %1").arg(Text(sha256)));
  m_digest->setCursorPosition(0);
  m_digest->setToolTip(sha256.empty() ? QString() : tr("The image the boxes get: %1").arg(Text(sha256)));
  m_imageNote->setText(fileChanged ? tr("The file has changed on disk; boxes get the image as it was read.")
                                   : QString());
  m_takeNew->setVisible(fileChanged);
}

void CQtStationWindow::ShowLog(size_t index) {
  QPlainTextEdit*& log = m_logs.at(index);
  if (!log) {
    log = new QPlainTextEdit(this);
    log->setWindowFlag(Qt::Window);
    log->setReadOnly(true);
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log->setWindowTitle(Text(m_board->Tile(index).title) + tr(" - log"));
    log->resize(640, 400);
    for (const std::string& line : m_board->Log(index)) log->appendPlainText(Text(line));
  }
  log->show();
  log->raise();
  log->activateWindow();
  log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
}

}  // namespace zel
