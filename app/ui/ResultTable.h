#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDevice.h"

#include <QString>

#include <optional>

class QTableWidget;

// The one-row table of the result pages: the recorder's model and version, the offered
// version and the package's size. Columns are named by the layout's "columnIdentifiers".
class ResultTable final {
 public:
  enum class Kind { updaterAvailable, updaterNone };

  ResultTable(Kind kind, std::optional<AudioDevice> device,
              std::optional<FirmwareInfo> firmwareInfo);

  int rowCount() const { return device_ ? 1 : 0; }
  // None for a row other than 0, an unknown column, or data the column needs and lacks.
  std::optional<QString> cellText(const QString& identifier, int row) const;

  // Makes the columns the layout names in "columnTitles" (message IDs, localised with the
  // page); runs before the page's texts are localised.
  static void setUpColumns(QTableWidget* table);
  // Fills the table's rows from its column identifiers.
  void fill(QTableWidget* table) const;

 private:
  Kind kind_;
  std::optional<AudioDevice> device_;
  std::optional<FirmwareInfo> firmwareInfo_;
};
