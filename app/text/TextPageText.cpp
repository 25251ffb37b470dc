#include "app/text/TextPageText.h"

#include "app/device/VersionCode.h"
#include "app/localize/CMLocalize.h"
#include "app/update/ResultTableText.h"
#include "platform/Bundle.h"

#include <algorithm>

namespace TextPageText {

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

QString header() {
  QString title = text("ID_APP_NAME");
  const QVariant version = Bundle::main().infoValue(QStringLiteral("CFBundleVersion"));
  if (version.typeId() == QMetaType::QString) {
    title += QStringLiteral("  ") + text("ID_VERSION") + shortVersionString(version.toString());
  }
  return QStringLiteral("==== %1 ====").arg(title.trimmed());
}

// East Asian Wide and Fullwidth characters: two columns in a terminal.
bool isWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

int displayWidth(const QString& text) {
  int width = 0;
  for (const char32_t c : text.toUcs4()) {
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        category == QChar::Other_Format) {
      continue;
    }
    width += isWide(c) ? 2 : 1;
  }
  return width;
}

QStringList formatTable(const QList<QStringList>& rows) {
  QList<int> widths;
  for (const QStringList& row : rows) {
    for (qsizetype column = 0; column < row.size(); ++column) {
      if (widths.size() <= column) {
        widths.append(0);
      }
      widths[column] = std::max(widths[column], displayWidth(row[column]));
    }
  }
  QStringList lines;
  for (const QStringList& row : rows) {
    QString line;
    for (qsizetype column = 0; column < row.size(); ++column) {
      const QString& cell = row[column];
      line += cell + QString(widths[column] - displayWidth(cell) + 2, u' ');
    }
    lines.append(QStringLiteral("  ") + line.trimmed());
  }
  return lines;
}

QList<QStringList> tableRows(const WizardPageRequest& request) {
  const bool available = request.page == WizardPage::updaterAvailable;
  QStringList titles{text("ID_COL_MODEL_NAME"), text("ID_COL_CURRENT_VERSION"),
                     text("ID_COL_SERVER_VERSION")};
  if (available) {
    titles.append(text("ID_COL_FILE_SIZE"));
  }
  QList<QStringList> rows{titles};
  if (!request.device) {
    return rows;
  }
  QStringList row{ResultTableText::displayName(request.device->deviceName),
                  displayVersionFromCode(request.device->version)};
  if (!available) {
    row.append(QStringLiteral("---"));
  } else if (request.firmwareInfo) {
    row.append(displayVersionFromCode(request.firmwareInfo->version));
    row.append(ResultTableText::fileSizeText(request.firmwareInfo->fileSize));
  }
  rows.append(row);
  return rows;
}

QStringList lines(const WizardPageRequest& request, bool localMode) {
  QStringList result{header()};
  switch (request.page) {
    case WizardPage::opening:
      result.append(text("ID_MSG_OPENING"));
      if (localMode) {
        result.append(QString());
        result.append(text("ID_MSG_LOCAL_MODE"));
      }
      break;
    case WizardPage::updaterAvailable:
      result.append(text("ID_MSG_NEW_VERSION_FIRM_AVAILABLE") + u'\n' +
                    text("ID_MSG_CONFIRM_UPDATE_DETAILS"));
      result.append(QString());
      result.append(formatTable(tableRows(request)));
      break;
    case WizardPage::updaterNone:
      result.append(text("ID_MSG_FIRMWARE_UP_TO_DATE"));
      result.append(QString());
      result.append(formatTable(tableRows(request)));
      break;
    case WizardPage::license:
      result.append(text("ID_MSG_READ_LICENCE"));
      result.append(QString());
      result.append(text("ID_LICENCE_AGREEMENT_ALL"));
      break;
    case WizardPage::updating:
      result.append(text("ID_MSG_UPDATING"));
      result.append(QString());
      result.append(text("ID_GROUP_UPDATING") + u':');
      result.append(QStringLiteral("  ") + text("ID_MSG_UPDATING_STEPS"));
      break;
    case WizardPage::completed:
      result.append(text("ID_MSG_COMPLETED"));
      break;
  }
  return result;
}

}  // namespace TextPageText
