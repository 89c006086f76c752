// The station's ports, picked from the listing before the station window
// opens (the dialog's "Station..."): each port with its adapter, VID:PID,
// serial number and whether another program holds it, a box to choose it
// and its name. What was chosen and named is remembered in Qt's settings.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <optional>

#include "station/StationChoice.h"

namespace zel {

class CQtStationPicker : public QDialog {
 public:
  enum Column { kPort, kAdapter, kVidPid, kSerial, kInUse, kName, kColumns };

  CQtStationPicker(QWidget* parent, const std::string& image, const std::vector<CPortInfo>& present,
                   const CStationMemory& memory);

  QTableWidget& Table() { return *m_table; }
  QLineEdit& ImageField() { return *m_image; }
  QLineEdit& ResultsField() { return *m_results; }
  QLabel& Refusal() { return *m_refusal; }
  // After accept: the station chosen and the memory to keep.
  const std::optional<CStationSetup>& Setup() const { return m_setup; }
  CStationMemory Memory() const;

  void accept() override;  // stays open, saying why, while the choice makes no station

 private:
  std::vector<CPortRow> Rows() const;

  std::vector<CPortRow> m_rows;
  CStationMemory m_memory;
  QTableWidget* m_table;
  QLineEdit* m_image;
  QLineEdit* m_results;
  QLabel* m_refusal;
  std::optional<CStationSetup> m_setup;
};

// The last station, as Qt's settings keep it.
CStationMemory LoadStationMemory();
void SaveStationMemory(const CStationMemory& memory);

}  // namespace zel
