#include "app/ui/ResultTable.h"

#include "app/device/VersionCode.h"
#include "app/update/ResultTableText.h"

#include <QHeaderView>
#include <QTableWidget>

ResultTable::ResultTable(Kind kind, std::optional<AudioDevice> device,
                         std::optional<FirmwareInfo> firmwareInfo)
    : kind_(kind), device_(std::move(device)), firmwareInfo_(std::move(firmwareInfo)) {}

std::optional<QString> ResultTable::cellText(const QString& identifier, int row) const {
  if (row != 0 || !device_) {
    return std::nullopt;
  }
  if (identifier == QLatin1String("modelName")) {
    return ResultTableText::displayName(device_->deviceName);
  }
  if (identifier == QLatin1String("currentVersion")) {
    return displayVersionFromCode(device_->version);
  }
  if (identifier == QLatin1String("serverVersion")) {
    if (kind_ == Kind::updaterNone) {
      return QStringLiteral("---");
    }
    if (firmwareInfo_) {
      return displayVersionFromCode(firmwareInfo_->version);
    }
    return std::nullopt;
  }
  if (identifier == QLatin1String("fileSize") && kind_ == Kind::updaterAvailable && firmwareInfo_) {
    return ResultTableText::fileSizeText(firmwareInfo_->fileSize);
  }
  return std::nullopt;
}

void ResultTable::setUpColumns(QTableWidget* table) {
  const QStringList titles = table->property("columnTitles").toStringList();
  table->setColumnCount(static_cast<int>(titles.size()));
  table->setHorizontalHeaderLabels(titles);
}

void ResultTable::fill(QTableWidget* table) const {
  const QStringList identifiers = table->property("columnIdentifiers").toStringList();
  table->setRowCount(rowCount());
  for (int row = 0; row < rowCount(); ++row) {
    for (int column = 0; column < table->columnCount(); ++column) {
      const std::optional<QString> text =
          column < identifiers.size() ? cellText(identifiers[column], row) : std::nullopt;
      if (text) {
        table->setItem(row, column, new QTableWidgetItem(*text));
      }
    }
  }
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->resizeRowsToContents();
  // As tall as its rows: an empty band below the one row would look like a missing recorder.
  int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
  for (int row = 0; row < table->rowCount(); ++row) {
    height += table->rowHeight(row);
  }
  table->setFixedHeight(height);
}
