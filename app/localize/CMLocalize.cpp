#include "app/localize/CMLocalize.h"

#include "app/localize/CMStringUtility.h"
#include "platform/BoundedRead.h"
#include "platform/Bundle.h"

#include <QFileInfo>

#include <array>
#include <string_view>
#include <utility>

namespace {

constexpr int kDefaultColumn = 2;
// A string table is a few hundred kilobytes; anything this large is not one.
constexpr qint64 kMaxFileSize = qint64{64} * 1024 * 1024;

struct LanguageName final {
  std::string_view name;
  std::string_view languageID;
};

constexpr std::array<LanguageName, 18> kLanguageNames{{
    {"English", "ENU"},
    {"en", "ENU"},
    {"Japanese", "JPN"},
    {"ja", "JPN"},
    {"German", "DEU"},
    {"de", "DEU"},
    {"French", "FRA"},
    {"fr", "FRA"},
    {"Italian", "ITA"},
    {"it", "ITA"},
    {"Spanish", "ESP"},
    {"es", "ESP"},
    {"zh_TW", "CHT"},
    {"zh-Hant", "CHT"},
    {"zh_CN", "CHS"},
    {"zh-Hans", "CHS"},
    {"ko", "KOR"},
    {"ru", "RUS"},
}};

QLatin1String latin1(std::string_view text) {
  return {text.data(), static_cast<qsizetype>(text.size())};
}

std::optional<QByteArray> readWholeFile(const QString& path) {
  return readFileAtMost(path, kMaxFileSize);
}

std::optional<QString> decodeUtf8(std::string_view bytes) {
  return CMStringUtility::stringWithCString(bytes.data(), static_cast<qsizetype>(bytes.size()),
                                            QStringConverter::Utf8);
}

struct SharedSlot final {
  std::mutex mutex;
  std::shared_ptr<CMLocalize> instance;
};

SharedSlot& sharedSlot() {
  static SharedSlot slot;
  return slot;
}

}  // namespace

CMLocalize::CMLocalize() = default;

CMLocalize::CMLocalize(QStringList languageCandidates)
    : languageCandidates_(std::move(languageCandidates)) {}

std::shared_ptr<CMLocalize> CMLocalize::shared() {
  SharedSlot& slot = sharedSlot();
  const std::lock_guard guard(slot.mutex);
  return slot.instance;
}

void CMLocalize::initializeSharedWithFilePath(const std::optional<QString>& path) {
  SharedSlot& slot = sharedSlot();
  const std::lock_guard guard(slot.mutex);
  slot.instance.reset();
  // Callers pass the bundle's resource path, which is empty when the resource is missing.
  if (!path.has_value() || path->isEmpty()) {
    return;
  }
  auto instance = std::make_shared<CMLocalize>();
  instance->setLocalizeCSVFile(path);
  slot.instance = std::move(instance);
}

QString CMLocalize::localizedString(const QString& key) {
  const std::shared_ptr<CMLocalize> instance = shared();
  return instance ? instance->getLocalizedString(key) : QString();
}

void CMLocalize::setLocalizeCSVFile(const std::optional<QString>& path) {
  {
    const std::lock_guard guard(lock_);
    localizeDictionary_.reset();
  }
  if (!path.has_value() || path->isEmpty() || !QFileInfo(*path).isFile()) {
    return;
  }
  const QByteArray languageID = getCurrentLanguageID().toLatin1();
  Dictionary dictionary;
  if (const std::optional<QByteArray> data = readWholeFile(*path)) {
    dictionary = parseEntries(*data, columnInData(*data, languageID));
  }
  const std::lock_guard guard(lock_);
  localizeDictionary_ = std::move(dictionary);
}

QString CMLocalize::getCurrentLanguageID() const {
  return languageIDForCandidates(languageCandidates_.has_value() ? *languageCandidates_
                                                                 : bundleLanguageCandidates());
}

QString CMLocalize::languageIDForCandidates(const QStringList& candidates) {
  for (const QString& candidate : candidates) {
    for (const LanguageName& language : kLanguageNames) {
      if (candidate == latin1(language.name)) {
        return latin1(language.languageID);
      }
    }
  }
  return QStringLiteral("ENU");
}

QStringList CMLocalize::bundleLanguageCandidates() {
  const Bundle& bundle = Bundle::main();
  QStringList candidates = bundle.preferredLocalizations();
  const QVariant localization = bundle.infoValue(QStringLiteral("Localization"));
  if (localization.typeId() == QMetaType::QString) {
    candidates << localization.toString();
  }
  return candidates;
}

int CMLocalize::getCSVColumNO(const QString& path, const QString& languageID) {
  const std::optional<QByteArray> data = readWholeFile(path);
  return data.has_value() ? columnInData(*data, languageID.toLatin1()) : kDefaultColumn;
}

int CMLocalize::columnInData(QByteArrayView data, QByteArrayView languageID) {
  const std::string_view bytes(data.data(), static_cast<std::size_t>(data.size()));
  const std::string_view wanted(languageID.data(), static_cast<std::size_t>(languageID.size()));
  const std::size_t lineStart = bytes.find("\r\n");
  if (lineStart == std::string_view::npos) {
    return kDefaultColumn;
  }
  std::string_view line = bytes.substr(lineStart + 2);
  line = line.substr(0, line.find("\r\n"));
  // Counted in TABs only: a lone CR on this line does not start a new column here.
  int column = 0;
  while (true) {
    const std::size_t tab = line.find('\t');
    if (line.substr(0, tab) == wanted) {
      return column;
    }
    if (tab == std::string_view::npos) {
      return kDefaultColumn;
    }
    line.remove_prefix(tab + 1);
    ++column;
  }
}

CMLocalize::Dictionary CMLocalize::parseEntries(QByteArrayView data, int column) {
  const std::string_view bytes(data.data(), static_cast<std::size_t>(data.size()));
  Dictionary dictionary;
  std::size_t lineNumber = 1;
  int fieldColumn = 0;
  std::size_t fieldStart = 0;
  std::optional<std::string_view> key;
  std::optional<std::string_view> text;

  const auto endField = [&](std::size_t end) {
    const std::string_view field = bytes.substr(fieldStart, end - fieldStart);
    if (fieldColumn == 0) {
      key = field;
    }
    if (fieldColumn == column) {
      text = field;
    }
  };
  const auto endLine = [&] {
    // Line 1 is the header; line 2, the language IDs, is an entry like the rest.
    if (lineNumber >= 2 && key.has_value() && text.has_value()) {
      if (std::optional<QString> decodedKey = decodeUtf8(*key)) {
        dictionary.insert(*decodedKey, decodeUtf8(*text).value_or(QString()));
      }
    }
    ++lineNumber;
    fieldColumn = 0;
    key.reset();
    text.reset();
  };

  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const char byte = bytes[at];
    if (byte != '\t' && byte != '\r') {
      continue;
    }
    endField(at);
    if (byte == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') {
      endLine();
      ++at;
    } else {
      ++fieldColumn;
    }
    fieldStart = at + 1;
  }
  // A last line without CR LF still counts; nothing after a final CR LF is a line.
  if (fieldStart < bytes.size() || fieldColumn > 0) {
    endField(bytes.size());
    endLine();
  }
  return dictionary;
}

std::optional<QString> CMLocalize::lookUp(const QString& key) const {
  if (!localizeDictionary_.has_value()) {
    return std::nullopt;
  }
  const auto found = localizeDictionary_->constFind(key);
  if (found == localizeDictionary_->cend()) {
    return std::nullopt;
  }
  return *found;
}

QString CMLocalize::getLocalizedString(const QString& key) {
  if (key.startsWith(QLatin1Char('_'))) {
    return key;
  }
  if (appNameKeys_.contains(key)) {
    return QStringLiteral("Tarnwell");
  }
  std::unique_lock guard(lock_, std::defer_lock);
  if (!guard.try_lock_for(kLockTimeout)) {
    return QStringLiteral("NG");
  }
  const QString ellipsis = QStringLiteral("...");
  if (key == ellipsis) {
    return key;
  }
  if (ngCount_ >= kNGCountLimit) {
    ngCount_ = 0;
  }
  if (key.isEmpty()) {
    return {};
  }
  const std::uint64_t number = ngCount_++;
  QString result = QStringLiteral("_NG_") + QString::number(number) + QStringLiteral(" (") + key +
                   QLatin1Char(')');
  if (key.size() >= 2 && key.endsWith(QLatin1Char(':'))) {
    if (const std::optional<QString> text = lookUp(key.chopped(1))) {
      result = *text + QStringLiteral(" :");
    }
  } else if (key.endsWith(ellipsis)) {
    if (const std::optional<QString> text = lookUp(key.chopped(ellipsis.size()))) {
      result = *text + ellipsis;
    }
  } else if (const std::optional<QString> text = lookUp(key)) {
    result = *text;
  }
  // The table writes line feeds, backslashes, quotes and ampersands escaped.
  result.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  result.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
  result.replace(QStringLiteral("\\\""), QStringLiteral("\""));
  result.replace(QStringLiteral("&&"), QStringLiteral("&"));
  return result;
}

QString CMLocalize::getLocalizedStringWithReplaceEscape(const QString& key) {
  return getLocalizedString(key).replace(QStringLiteral("%s"), QStringLiteral("%@"));
}

QString CMLocalize::formatWithStrings(const QString& format, const QStringList& args) {
  QString result;
  result.reserve(format.size());
  qsizetype nextArg = 0;
  for (qsizetype at = 0; at < format.size(); ++at) {
    const QChar c = format.at(at);
    const QChar next = at + 1 < format.size() ? format.at(at + 1) : QChar();
    if (c == QLatin1Char('%') && next == QLatin1Char('@')) {
      if (nextArg < args.size()) {
        result += args.at(nextArg);
      }
      ++nextArg;
      ++at;
    } else if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
      result += QLatin1Char('%');
      ++at;
    } else {
      result += c;
    }
  }
  return result;
}

bool CMLocalize::isCorrectLocalizedString(const std::optional<QString>& text) {
  return text.has_value() && !text->startsWith(QStringLiteral("_NG_"));
}

QString CMLocalize::getWindowTitleJudgedApplycationType(const QString& title) {
  static const QStringList studioTitles{QStringLiteral("IDGZ_PRINTDOCNAME"),
                                        QStringLiteral("IDGZ_CM5_PRODUCT_NAME"),
                                        QStringLiteral("IDGZ_QX2_KORVANE_STUDIO")};
  return studioTitles.contains(title) ? QStringLiteral("IDGZ_QX2_KORVANE_STUDIO") : title;
}
