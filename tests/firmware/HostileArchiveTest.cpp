// Archives that lie, try to escape the destination or cannot be read: nothing is written
// outside the destination, and no damaged file is left inside it.
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/firmware/FailingFileManager.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ArchiveTools;

namespace {

using Tree = QMap<QString, QByteArray>;

class HostileArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid());
    outside_ = work_.filePath(QStringLiteral("outside"));
    dest_ = work_.filePath(QStringLiteral("dest"));
    writeFile(outside_ + QStringLiteral("/victim.txt"), "untouched");
  }

  QString archive(const QString& kind, const QString& argument = {}) {
    QString path = archives_.filePath(kind + QStringLiteral(".zip"));
    EXPECT_TRUE(makePythonArchive(kind, path, argument)) << kind.toStdString();
    return path;
  }

  QStringList unpack(const QString& path, FileManager& fileManager) {
    return KvoUnZip::unzipFileAtPath(path, dest_, fileManager, [this](int64_t done, int64_t total) {
      log_.emplace_back(done, total);
    });
  }
  QStringList unpack(const QString& path) {
    LocalFileManager fileManager;
    return unpack(path, fileManager);
  }

  QStringList inDest(const QStringList& names) const {
    QStringList paths;
    for (const QString& name : names) {
      paths << dest_ + QLatin1Char('/') + name;
    }
    return paths;
  }

  void expectOutsideUntouched() const {
    QStringList elsewhere;
    for (const QString& name : tree(work_.path()).keys()) {
      if (name != QLatin1String("dest") && !name.startsWith(QLatin1String("dest/"))) {
        elsewhere << name;
      }
    }
    EXPECT_EQ(elsewhere,
              (QStringList{QStringLiteral("outside"), QStringLiteral("outside/victim.txt")}));
    EXPECT_EQ(readFile(outside_ + QStringLiteral("/victim.txt")), "untouched");
  }

  QTemporaryDir work_;
  QTemporaryDir archives_;
  QString outside_;
  QString dest_;
  ProgressLog log_;
};

TEST_F(HostileArchiveTest, NamesThatLeaveTheDestinationAreSkipped) {
  const QStringList written = unpack(archive(QStringLiteral("traversal"), outside_));
  EXPECT_EQ(written, inDest({QStringLiteral("safe"), QStringLiteral("good.txt")}));
  EXPECT_EQ(tree(dest_), (Tree{{QStringLiteral("safe"), "<dir>"},
                               {QStringLiteral("safe/ok.txt"), "from ./safe//ok.txt"},
                               {QStringLiteral("good.txt"), "from good.txt"}}));
  expectOutsideUntouched();
}

TEST_F(HostileArchiveTest, SymbolicLinkEntriesAreNotCreated) {
  const QStringList written = unpack(archive(QStringLiteral("symlink"), outside_));
  EXPECT_EQ(written, inDest({QStringLiteral("link"), QStringLiteral("normal.txt")}));
  EXPECT_EQ(tree(dest_), (Tree{{QStringLiteral("link"), "<dir>"},
                               {QStringLiteral("link/planted.txt"), "planted"},
                               {QStringLiteral("normal.txt"), "normal"}}));
  expectOutsideUntouched();
}

TEST_F(HostileArchiveTest, InfoZipSymbolicLinksAreNotCreated) {
  const QString source = work_.filePath(QStringLiteral("source"));
  writeFile(source + QStringLiteral("/real.txt"), "real");
  ASSERT_TRUE(QFile::link(outside_, source + QStringLiteral("/escape")));
  const QString path = archives_.filePath(QStringLiteral("links.zip"));
  ASSERT_EQ(run(QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("-y"), QStringLiteral("-r"), path,
                 QStringLiteral(".")},
                source),
            0);
  QDir(source).removeRecursively();
  EXPECT_EQ(unpack(path), inDest({QStringLiteral("real.txt")}));
  EXPECT_EQ(tree(dest_), (Tree{{QStringLiteral("real.txt"), "real"}}));
}

TEST_F(HostileArchiveTest, NothingIsWrittenThroughLinksInTheDestination) {
  ASSERT_TRUE(QDir().mkpath(dest_));
  ASSERT_TRUE(QFile::link(outside_, dest_ + QStringLiteral("/FW")));
  ASSERT_TRUE(
      QFile::link(outside_ + QStringLiteral("/victim.txt"), dest_ + QStringLiteral("/readme.txt")));
  const QStringList written = unpack(archive(QStringLiteral("mixed")));
  EXPECT_EQ(written, inDest({QStringLiteral("empty.bin")}));
  EXPECT_EQ(tree(outside_), (Tree{{QStringLiteral("victim.txt"), "untouched"}}));
}

TEST_F(HostileArchiveTest, LiesAndDamageLeaveNoBrokenFile) {
  struct Case {
    const char* kind;
    std::optional<QByteArray> aBin;  // FW/a.bin afterwards; none when it must be gone
    bool bBin;                       // whether FW/b.bin is there, whole
  };
  const QByteArray a = pattern(300000, 1);
  const Case cases[] = {
      {"understated", std::nullopt, true},       // cut at the declared size: checksum fails
      {"understated-crc", a.left(1000), true},   // cut, with a checksum that matches the cut
      {"overstated", std::nullopt, true},        // the data ends before the declared size
      {"corrupt-deflated", std::nullopt, true},  // inflate error mid-entry
      {"corrupt-stored", a, false},              // stored bytes changed: checksum fails
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.kind);
    QDir(dest_).removeRecursively();
    log_.clear();
    const QString path = archive(QString::fromLatin1(test.kind));
    const int64_t total = KvoUnZip::totalFileSizeInZipFileAtPath(path);
    EXPECT_EQ(unpack(path), inDest({QStringLiteral("FW"), QStringLiteral("readme.txt"),
                                    QStringLiteral("empty.bin")}));
    const Tree extracted = tree(dest_);
    EXPECT_EQ(extracted.contains(QStringLiteral("FW/a.bin")), test.aBin.has_value());
    if (test.aBin) {
      EXPECT_EQ(extracted.value(QStringLiteral("FW/a.bin")), *test.aBin);
    }
    EXPECT_EQ(extracted.contains(QStringLiteral("FW/b.bin")), test.bBin);
    if (test.bBin) {
      EXPECT_EQ(extracted.value(QStringLiteral("FW/b.bin")), pattern(70000, 2));
    }
    ASSERT_FALSE(log_.empty());
    EXPECT_LE(log_.back().first, total);
  }
}

TEST_F(HostileArchiveTest, DamagedArchivesGiveNothing) {
  const QByteArray whole = readFile(archive(QStringLiteral("mixed")));
  const std::pair<const char*, QByteArray> cases[] = {
      {"cut in half", whole.left(whole.size() / 2)},
      {"central directory cut", whole.left(whole.size() - 30)},
      {"only the end record", whole.right(22)},
      {"text", QByteArray("PK\x05\x06 is not enough").repeated(10)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    const QString path = archives_.filePath(QStringLiteral("damaged.zip"));
    writeFile(path, bytes);
    log_.clear();
    EXPECT_TRUE(unpack(path).isEmpty());
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(tree(dest_).isEmpty());
  }
}

TEST_F(HostileArchiveTest, EntriesThatCannotBeExtractedAreSkipped) {
  const QString encrypted = archives_.filePath(QStringLiteral("encrypted.zip"));
  const QString source = work_.filePath(QStringLiteral("source"));
  writeFile(source + QStringLiteral("/secret.txt"), "secret");
  writeFile(source + QStringLiteral("/plain.txt"), "plain");
  ASSERT_EQ(run(QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("pw"), encrypted,
                 QStringLiteral("secret.txt")},
                source),
            0);
  ASSERT_EQ(run(QStringLiteral("zip"),
                {QStringLiteral("-q"), encrypted, QStringLiteral("plain.txt")}, source),
            0);
  QDir(source).removeRecursively();

  const std::tuple<const char*, QString, Tree> cases[] = {
      {"encrypted", encrypted, {{QStringLiteral("plain.txt"), "plain"}}},
      {"bzip2 and lzma",
       archive(QStringLiteral("methods")),
       {{QStringLiteral("deflated.bin"), pattern(5000, 6)}}},
      {"a NUL in a name, a name longer than the name buffer",
       archive(QStringLiteral("names")),
       {{QStringLiteral("café"), "<dir>"}, {QStringLiteral("café/日本.txt"), "utf-8 names"}}},
      {"a file where a directory is needed",
       archive(QStringLiteral("conflict")),
       {{QStringLiteral("thing"), "a file"}, {QStringLiteral("other.txt"), "fine"}}},
  };
  for (const auto& [name, path, expected] : cases) {
    SCOPED_TRACE(name);
    QDir(dest_).removeRecursively();
    const QStringList written = unpack(path);
    EXPECT_EQ(tree(dest_), expected);
    QStringList topLevel;
    for (const QString& item : expected.keys()) {
      if (!item.contains(QLatin1Char('/'))) {
        topLevel << dest_ + QLatin1Char('/') + item;
      }
    }
    QStringList sorted = written;
    sorted.sort();
    topLevel.sort();
    EXPECT_EQ(sorted, topLevel);
  }
}

TEST_F(HostileArchiveTest, FileSystemFailuresSkipTheEntry) {
  using Fail = FailingFileManager::Fail;
  const QString path = archive(QStringLiteral("mixed"));
  const std::tuple<Fail, const char*, QStringList, QStringList> cases[] = {
      {Fail::createDirectory,
       "FW",
       {QStringLiteral("readme.txt"), QStringLiteral("empty.bin")},
       {}},
      {Fail::createFile, "readme", {QStringLiteral("FW"), QStringLiteral("empty.bin")}, {}},
      {Fail::write,
       "a.bin",
       {QStringLiteral("FW"), QStringLiteral("readme.txt"), QStringLiteral("empty.bin")},
       {QStringLiteral("FW/a.bin")}},
      {Fail::close,
       "b.bin",
       {QStringLiteral("FW"), QStringLiteral("readme.txt"), QStringLiteral("empty.bin")},
       {QStringLiteral("FW/b.bin")}},
  };
  for (const auto& [fail, part, expected, removed] : cases) {
    SCOPED_TRACE(part);
    QDir(dest_).removeRecursively();
    FailingFileManager fileManager(fail, QString::fromLatin1(part));
    EXPECT_EQ(unpack(path, fileManager), inDest(expected));
    EXPECT_EQ(fileManager.removed(), inDest(removed));
    for (const QString& gone : removed) {
      EXPECT_FALSE(QFileInfo::exists(dest_ + QLatin1Char('/') + gone));
    }
  }
}

}  // namespace
