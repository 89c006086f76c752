#include "app/StationPicker.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace zel {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QTableWidgetItem* Fixed(const std::string& text) {
  auto* item = new QTableWidgetItem(Text(text));
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

std::string InUse(const CPortInfo& port) {
  if (port.permissionDenied) return "not yours to open";
  if (!port.heldBy.empty()) return port.heldBy;
  return port.busy ? "in use" : "";
}

}  // namespace

CQtStationPicker::CQtStationPicker(QWidget* parent, const std::string& image,
                                   const std::vector<CPortInfo>& present, const CStationMemory& memory)
    : QDialog(parent), m_rows(PortRows(present, memory)), m_memory(memory) {
  setWindowTitle(tr("Station"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  m_image = new QLineEdit(Text(image.empty() ? memory.image : image), this);
  m_results = new QLineEdit(Text(memory.resultsPath), this);
  m_results->setPlaceholderText(tr("none"));
  form->addRow(tr("&Image:"), m_image);
  form->addRow(tr("&Results file:"), m_results);
  layout->addLayout(form);

  m_table = new QTableWidget(static_cast<int>(m_rows.size()), kColumns, this);
  m_table->setHorizontalHeaderLabels(
      {tr("Port"), tr("Adapter"), tr("VID:PID"), tr("Serial number"), tr("In use by"), tr("Name")});
  m_table->verticalHeader()->hide();
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
    const CPortRow& row = m_rows[static_cast<size_t>(r)];
    QTableWidgetItem* port = Fixed(row.port.name);
    port->setFlags(port->flags() | Qt::ItemIsUserCheckable);
    port->setCheckState(row.chosen ? Qt::Checked : Qt::Unchecked);
    m_table->setItem(r, kPort, port);
    m_table->setItem(r, kAdapter, Fixed(row.adapter));
    m_table->setItem(r, kVidPid, Fixed(row.port.vidPid));
    m_table->setItem(r, kSerial, Fixed(row.port.serial));
    m_table->setItem(r, kInUse, Fixed(InUse(row.port)));
    m_table->setItem(r, kName, new QTableWidgetItem(Text(row.alias)));
  }
  m_table->resizeColumnsToContents();
  m_table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_table, 1);

  m_refusal = new QLabel(this);
  m_refusal->setWordWrap(true);
  layout->addWidget(m_refusal);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("&Open station"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CQtStationPicker::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CQtStationPicker::reject);
  layout->addWidget(buttons);
  resize(860, 420);
}

std::vector<CPortRow> CQtStationPicker::Rows() const {
  std::vector<CPortRow> rows = m_rows;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    rows[static_cast<size_t>(r)].chosen = m_table->item(r, kPort)->checkState() == Qt::Checked;
    rows[static_cast<size_t>(r)].alias = m_table->item(r, kName)->text().trimmed().toStdString();
  }
  return rows;
}

CStationMemory CQtStationPicker::Memory() const {
  return Remember(m_memory, m_image->text().toStdString(), m_results->text().toStdString(), Rows());
}

void CQtStationPicker::accept() {
  std::string refusal;
  m_setup = SetupOf(m_image->text().toStdString(), m_results->text().toStdString(), Rows(), refusal);
  if (!m_setup) {
    m_refusal->setText(Text(refusal));
    return;
  }
  QDialog::accept();
}

CStationMemory LoadStationMemory() {
  QSettings settings(QSettings::UserScope, QStringLiteral("BoxFeeder"), QStringLiteral("boxfeeder"));
  settings.beginGroup(QStringLiteral("station"));
  CStationMemory memory;
  memory.image = settings.value(QStringLiteral("image")).toString().toStdString();
  memory.resultsPath = settings.value(QStringLiteral("results")).toString().toStdString();
  for (const QString& port : settings.value(QStringLiteral("ports")).toStringList())
    memory.ports.push_back(port.toStdString());
  const QVariantMap aliases = settings.value(QStringLiteral("aliases")).toMap();
  for (auto it = aliases.begin(); it != aliases.end(); ++it)
    memory.aliases[it.key().toStdString()] = it.value().toString().toStdString();
  return memory;
}

void SaveStationMemory(const CStationMemory& memory) {
  QSettings settings(QSettings::UserScope, QStringLiteral("BoxFeeder"), QStringLiteral("boxfeeder"));
  settings.beginGroup(QStringLiteral("station"));
  settings.setValue(QStringLiteral("image"), Text(memory.image));
  settings.setValue(QStringLiteral("results"), Text(memory.resultsPath));
  QStringList ports;
  for (const std::string& port : memory.ports) ports << Text(port);
  settings.setValue(QStringLiteral("ports"), ports);
  QVariantMap aliases;
  for (const auto& [key, alias] : memory.aliases) aliases[Text(key)] = Text(alias);
  settings.setValue(QStringLiteral("aliases"), aliases);
}

}  // namespace zel
