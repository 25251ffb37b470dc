#include "app/localize/CMLocalize.h"
#include "app/localize/CMStringUtility.h"
#include "app/tool/ToolCommand.h"
#include "platform/Bundle.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

int escape(const QStringList& arguments) {
  if (arguments.size() != 1) {
    return Tool::usageError(QStringLiteral("expected TEXT"));
  }
  Tool::printLine(CMStringUtility::stringByReplacingHTMLSpecialCharacters(arguments[0]));
  return Tool::kSuccess;
}

// One line per text: line feeds and backslashes are written as "\n" and "\\".
QString oneLine(QString text) {
  return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

int strings(const QStringList& arguments) {
  QString table = Bundle::main().resourcePath(QStringLiteral("Localizable"), QStringLiteral("olc"));
  bool json = false;
  QStringList keys;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--json")) {
      json = true;
    } else if (arguments[i] == QLatin1String("--table")) {
      if (++i == arguments.size()) {
        return Tool::usageError(QStringLiteral("--table needs a FILE"));
      }
      table = arguments[i];
    } else {
      keys << arguments[i];
    }
  }
  if (keys.isEmpty()) {
    return Tool::usageError(QStringLiteral("expected [--table FILE] [--json] KEY..."));
  }
  if (!QFileInfo(table).isFile()) {
    return Tool::failure(QStringLiteral("no string table at \"%1\"").arg(table));
  }
  // One instance for all keys, so that texts for unknown keys are numbered across them.
  CMLocalize::initializeSharedWithFilePath(table);
  const auto localize = CMLocalize::shared();
  QJsonArray texts;
  for (const QString& key : keys) {
    const QString text = localize->getLocalizedString(key);
    if (json) {
      texts.append(QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("text"), text}});
    } else {
      Tool::printField(key, oneLine(text));
    }
  }
  if (json) {
    const QString language = localize->getCurrentLanguageID();
    const QJsonObject document{
        {QStringLiteral("table"), table},
        {QStringLiteral("language"), language},
        {QStringLiteral("column"), CMLocalize::getCSVColumNO(table, language)},
        {QStringLiteral("strings"), texts}};
    Tool::printLine(
        QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
  }
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> localizeCommands() {
  return {
      {QStringLiteral("escape"), QStringLiteral("TEXT"),
       QStringLiteral("TEXT with control characters dropped and HTML entities in place"), escape},
      {QStringLiteral("strings"), QStringLiteral("[--table FILE] [--json] KEY..."),
       QStringLiteral("the text of each message ID in the user's language (one line each; "
                      "line feeds written as \\n)"),
       strings},
  };
}
