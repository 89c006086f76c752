#include "app/MainWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>

#include "app/AboutDialog.h"
#include "app/CableWarningDialog.h"
#include "app/StationPicker.h"
#include "app/StringTable.h"
#include "engines/EngineKinds.h"

namespace zel {
namespace {

// Draws a combo list's entries with their notes after them, dimmed; the
// entry's text, which the field takes, stays the entry alone.
class CListNoteDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kNoteRole = Qt::UserRole + 1;
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem entry = option;
    initStyleOption(&entry, index);
    const QString note = index.data(kNoteRole).toString();
    entry.text.clear();
    QStyle* style = entry.widget ? entry.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &entry, painter, entry.widget);
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &entry, entry.widget);
    const bool selected = entry.state & QStyle::State_Selected;
    const QPalette::ColorRole role = selected ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setFont(entry.font);
    painter->setPen(entry.palette.color(role));
    const QString name = index.data(Qt::DisplayRole).toString();
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, name);
    if (!note.isEmpty()) {
      // Readable without colour: set apart by space, dimmed where the
      // palette allows.
      if (!selected) painter->setPen(entry.palette.color(QPalette::Disabled, QPalette::Text));
      const int gap = entry.fontMetrics.horizontalAdvance(QStringLiteral("M")) * 2;
      painter->drawText(text.adjusted(entry.fontMetrics.horizontalAdvance(name) + gap, 0, 0, 0),
                        Qt::AlignLeft | Qt::AlignVCenter, note);
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString note = index.data(kNoteRole).toString();
    if (!note.isEmpty())
      size.rwidth() += option.fontMetrics.horizontalAdvance(QStringLiteral("M")) * 2 +
                       option.fontMetrics.horizontalAdvance(note);
    return size;
  }
};

// The log holds CR LF line ends; the control shows plain lines.
QString ToControlText(const std::string& text) {
  QString converted = QString::fromStdString(text);
  converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return converted;
}

std::string FromControlText(const QString& text) {
  QString converted = text;
  converted.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return converted.toStdString();
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString pattern = parts[i + 1];
    pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));  // any file, with or without a dot
    // The description names its pattern already: it is shown once, as the
    // one Qt filters by.
    QString description = parts[i];
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open >= 0) description = description.left(open).trimmed();
    filters << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
  }
  return filters;
}

QString CQtMainWindow::ApplicationTitle() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

namespace {

// The seven controls the dialog shows as icon buttons.
QAbstractButton* MakeIconButton(const CControlTemplate& control, QWidget* parent) {
  if (std::find(std::begin(kIconButtonIds), std::end(kIconButtonIds), control.id) == std::end(kIconButtonIds))
    return nullptr;
  const auto kind = control.id == IDC_TRACE ? CQtIconButton::Kind::CheckBox : CQtIconButton::Kind::PushButton;
  return new CQtIconButton(QString::fromLatin1(control.caption), kind, parent);
}

}  // namespace

CQtMainWindow::CQtMainWindow(CProbeSources portSources)
    : CTemplateDialog(kMainDialogTemplate, nullptr, &MakeIconButton) {
  setWindowIcon(ApplicationIcon());
  m_dialog = std::make_unique<CMainDialog>(m_dispatcher, *this, ApplicationTitle().toStdString(),
                                           std::move(portSources));
  m_logFlushTimer.setSingleShot(true);
  m_logFlushTimer.setInterval(CPendingLog::kFlushIntervalMs);
  connect(&m_logFlushTimer, &QTimer::timeout, this, [this] { FlushLog(); });
  ConnectHandlers();
  m_dialog->OnInitDialog();
}

CQtMainWindow::~CQtMainWindow() {
  m_dialog.reset();  // stops the engines while the widgets still exist
}

void CQtMainWindow::ConnectHandlers() {
  auto onClick = [this](int id, void (CMainDialog::*handler)()) {
    connect(ControlAs<QAbstractButton>(id), &QAbstractButton::clicked, this,
            [this, handler] { (m_dialog.get()->*handler)(); });
  };
  onClick(IDC_BROWSE, &CMainDialog::OnBrowse);
  onClick(IDC_START, &CMainDialog::OnStartOrCancel);
  onClick(IDC_TRACE, &CMainDialog::OnTraceEnable);
  onClick(IDC_SAVE, &CMainDialog::OnSave);
  onClick(IDC_CLEAR, &CMainDialog::OnClear);
  onClick(IDC_HELP_BUTTON, &CMainDialog::OnHelp);
  onClick(IDCANCEL, &CMainDialog::OnClose);
  onClick(IDC_DOWNLOAD_BOOT, &CMainDialog::OnDownloadBoot);
}

void CQtMainWindow::reject() {
  // A station still loading boxes asks first; the dialog stays while it is open.
  for (CQtStationWindow* station : Stations())
    if (!station->close()) return;
  m_dialog->OnClose();
}

std::vector<CQtStationWindow*> CQtMainWindow::Stations() const {
  std::vector<CQtStationWindow*> open;
  for (const auto& station : m_stations)
    if (station && station->isVisible()) open.push_back(station);
  return open;
}

void CQtMainWindow::OpenStation(const std::string& image) {
  CQtStationPicker picker(this, image, ListSerialPorts(), LoadStationMemory());
  if (picker.exec() != QDialog::Accepted || !picker.Setup()) return;
  SaveStationMemory(picker.Memory());
  auto* station = new CQtStationWindow(*picker.Setup(), UpgradeKind());
  station->setParent(this, Qt::Window);
  station->setAttribute(Qt::WA_DeleteOnClose);
  m_stations.emplace_back(station);
  station->show();
}

void CQtMainWindow::accept() { m_dialog->OnOk(); }

void CQtMainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    m_dialog->OnHelp();
    return;
  }
  // Enter clicks the focused button (the buttons take it themselves); with
  // none to take it, it does nothing: it never closes the window.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  CTemplateDialog::keyPressEvent(event);
}

void CQtMainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  for (const auto& [commandId, text] : m_systemMenu) {
    QAction* action = menu.addAction(text);
    connect(action, &QAction::triggered, this,
            [this, id = commandId] { m_dialog->OnSysCommand(unsigned(id)); });
  }
  if (!menu.isEmpty()) menu.exec(event->globalPos());
}

void CQtMainWindow::SetText(int id, const std::string& text) {
  // Setting what a control already shows changes nothing and repaints
  // nothing: the dialog refreshes every control for each log line.
  QWidget* widget = Control(id);
  const QString value = QString::fromStdString(text);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    m_pendingLog.Drop();
    edit->setPlainText(ToControlText(text));
    edit->document()->setModified(false);
  } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    if (line->text() != value) line->setText(value);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    if (combo->currentText() != value) combo->setEditText(value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text() != value) label->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (button->text() != value) button->setText(value);
  }
}

void CQtMainWindow::FlushLog() const {
  if (m_pendingLog.IsEmpty()) return;
  auto* edit = ControlAs<QPlainTextEdit>(IDC_LOG);
  QTextCursor cursor(edit->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(ToControlText(m_pendingLog.Take()));
  edit->document()->setModified(false);
  edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
}

std::string CQtMainWindow::GetText(int id) const {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    FlushLog();
    return FromControlText(edit->toPlainText());
  }
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText().toStdString();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
  return {};
}

void CQtMainWindow::AppendText(int id, const std::string& text) {
  if (id != IDC_LOG) return;
  if (m_pendingLog.Add(text)) m_logFlushTimer.start();
}

bool CQtMainWindow::IsTextModified(int id) const {
  // Only typing sets this; text waiting to be added does not.
  const auto* edit = ControlAs<QPlainTextEdit>(id);
  return edit && edit->document()->isModified();
}

void CQtMainWindow::ScrollLines(int id, int lines) {
  if (!m_pendingLog.IsEmpty()) return;
  if (auto* edit = ControlAs<QPlainTextEdit>(id))
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->value() + lines);
}

void CQtMainWindow::Enable(int id, bool enable) {
  if (QWidget* widget = Control(id)) widget->setEnabled(enable);
}

bool CQtMainWindow::IsEnabled(int id) const {
  const QWidget* widget = Control(id);
  return widget && widget->isEnabled();
}

void CQtMainWindow::SetCheck(int id, bool checked) {
  if (auto* icon = IconButton(id)) {
    if (icon->IsChecked() != checked) icon->SetCheckMessage(checked ? 1 : 0);
  } else if (auto* box = ControlAs<QAbstractButton>(id); box && box->isChecked() != checked) {
    box->setChecked(checked);
  }
}

bool CQtMainWindow::GetCheck(int id) const {
  if (const auto* icon = IconButton(id)) return icon->IsChecked();
  const auto* box = ControlAs<QAbstractButton>(id);
  return box && box->isChecked();
}

CQtIconButton* CQtMainWindow::IconButton(int id) const { return dynamic_cast<CQtIconButton*>(Control(id)); }

void CQtMainWindow::SetButtonIcons(int id, int hotIconId, int restIconId) {
  if (auto* button = IconButton(id)) button->SetIcons(hotIconId, restIconId);
}

void CQtMainWindow::OffsetButtonColor(int id, int colorIndex, int offset) {
  if (auto* button = IconButton(id)) button->OffsetColor(colorIndex, offset, true);
}

void CQtMainWindow::SetButtonFlat(int id, bool flat) {
  if (auto* button = IconButton(id)) button->SetFlat(flat, true);
}

void CQtMainWindow::SetButtonTooltip(int id, int stringId) {
  const std::string text = LoadAppString(stringId);
  if (auto* button = IconButton(id); button && !text.empty())
    button->SetTooltipText(QString::fromStdString(text), true);
}

void CQtMainWindow::AddListEntry(int id, const std::string& text, const std::string& note) {
  auto* combo = ControlAs<QComboBox>(id);
  if (!combo) return;
  if (!dynamic_cast<CListNoteDelegate*>(combo->itemDelegate()))
    combo->setItemDelegate(new CListNoteDelegate(combo));
  const QString entry = QString::fromStdString(text);
  int at = 0;
  while (at < combo->count() && QString::compare(combo->itemText(at), entry, Qt::CaseInsensitive) <= 0) ++at;
  combo->insertItem(at, entry);
  combo->setItemData(at, QString::fromStdString(note), CListNoteDelegate::kNoteRole);
  // The open list is as wide as its widest entry with its note.
  QAbstractItemView* list = combo->view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width());
}

int CQtMainWindow::ListCount(int id) const {
  const auto* combo = ControlAs<QComboBox>(id);
  return combo ? combo->count() : 0;
}

std::string CQtMainWindow::ListEntry(int id, int index) const {
  const auto* combo = ControlAs<QComboBox>(id);
  return combo ? combo->itemText(index).toStdString() : std::string();
}

void CQtMainWindow::SelectListEntry(int id, int index) {
  auto* combo = ControlAs<QComboBox>(id);
  if (!combo) return;
  if (combo->currentIndex() != index) combo->setCurrentIndex(index);
  if (combo->currentText() != combo->itemText(index)) combo->setEditText(combo->itemText(index));
}

void CQtMainWindow::ShowProgress(int id, const CProgressModel& progress) {
  auto* bar = ControlAs<QProgressBar>(id);
  if (!bar) return;
  if (bar->maximum() != progress.ShownMaximum()) bar->setRange(0, progress.ShownMaximum());
  if (bar->value() != progress.ShownValue()) bar->setValue(progress.ShownValue());
}

namespace {

// A box sized for its text alone cuts its title ("box…der"): it is made
// wide enough for the title and the title bar's buttons.
void FitTheTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
}

}  // namespace

void CQtMainWindow::MessageBox(const std::string& text, const std::string& caption, bool ownedByDialog) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, ownedByDialog ? this : nullptr);
  FitTheTitle(box);
  box.exec();
}

bool CQtMainWindow::AskYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  FitTheTitle(box);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> CQtMainWindow::AskFile(const CFileDialogSpec& spec, bool save) {
  QFileDialog dialog(this);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(spec.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
  dialog.setNameFilters(QtNameFilters(spec.filter));
  dialog.setDefaultSuffix(QString::fromStdString(spec.defaultExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> CQtMainWindow::AskOpenFile(const CFileDialogSpec& spec) {
  return AskFile(spec, false);
}

std::optional<std::string> CQtMainWindow::AskSaveFile(const CFileDialogSpec& spec) {
  return AskFile(spec, true);
}

void CQtMainWindow::RunCableWarning() {
  CCableWarningDialog warning(this);
  warning.exec();
}

void CQtMainWindow::RunAbout() {
  CAboutDialog about(this);
  about.exec();
}

void CQtMainWindow::AppendSystemMenuEntry(int commandId, const std::string& text) {
  m_systemMenu.emplace_back(commandId, QString::fromStdString(text));
}

void CQtMainWindow::EndDialog(int result) { done(result); }

}  // namespace zel
