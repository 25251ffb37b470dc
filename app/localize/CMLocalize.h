#pragma once

#include "platform/TimedMutex.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

// The string table of the user interface. The table file holds CR LF lines of TAB
// separated fields: line 1 a header, line 2 the three-letter language IDs, and every line
// from 2 on a key in column 0 and its text per language in the following columns.
class CMLocalize final {
 public:
  // Language candidates are the bundle's preferred localisations, then its
  // "Localization" information value, read when a file is loaded.
  CMLocalize();
  explicit CMLocalize(QStringList languageCandidates);

  // The process-wide instance, or none before initializeSharedWithFilePath was given a path.
  static std::shared_ptr<CMLocalize> shared();
  // Replaces the shared instance by one that loaded `path`; none or an empty path leaves
  // no shared instance.
  static void initializeSharedWithFilePath(const std::optional<QString>& path);
  // The shared instance's text for `key`, or the empty text when there is none.
  static QString localizedString(const QString& key);

  void setLocalizeCSVFile(const std::optional<QString>& path);

  QString getCurrentLanguageID() const;
  // The ID of the first candidate that names a known localisation, else "ENU".
  static QString languageIDForCandidates(const QStringList& candidates);
  static QStringList bundleLanguageCandidates();
  // The index of the line-2 field equal to `languageID`; 2 when there is none.
  static int getCSVColumNO(const QString& path, const QString& languageID);

  QString getLocalizedString(const QString& key);
  // As getLocalizedString, with every "%s" written as "%@".
  QString getLocalizedStringWithReplaceEscape(const QString& key);
  // Substitutes successive "%@" by `args` (the empty text once they run out) and "%%" by "%".
  static QString formatWithStrings(const QString& format, const QStringList& args);

  static bool isCorrectLocalizedString(const std::optional<QString>& text);
  static QString getWindowTitleJudgedApplycationType(const QString& title);

 private:
  friend class CMLocalizeTestPeer;

  using Dictionary = QHash<QString, QString>;

  static constexpr std::chrono::milliseconds kLockTimeout{3000};
  static constexpr std::uint64_t kNGCountLimit = 0xF0000000;

  static int columnInData(QByteArrayView data, QByteArrayView languageID);
  static Dictionary parseEntries(QByteArrayView data, int column);
  std::optional<QString> lookUp(const QString& key) const;

  std::optional<QStringList> languageCandidates_;
  std::optional<Dictionary> localizeDictionary_;
  std::uint64_t ngCount_ = 0;
  mutable TimedMutex lock_;
  const QStringList appNameKeys_{QStringLiteral("MAC_APP_NAME"),
                                 QStringLiteral("IDGZ_QX2_KORVANE_STUDIO")};
};
