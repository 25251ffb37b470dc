// Packages made by other zip writers, unpacked by us and by Info-ZIP unzip: both must leave
// the same files.
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ArchiveTools;

namespace {

class KvoUnZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid());
    source_ = work_.filePath(QStringLiteral("source"));
    writeFile(source_ + QStringLiteral("/FW/a.bin"), pattern(300000, 1));
    writeFile(source_ + QStringLiteral("/FW/b.bin"), pattern(70000, 2));
    writeFile(source_ + QStringLiteral("/FW/sub/c.txt"), QByteArray("notes\n").repeated(100));
    writeFile(source_ + QStringLiteral("/readme.txt"), "firmware package\n");
    writeFile(source_ + QStringLiteral("/empty.bin"), QByteArray());
  }

  QString path(const QString& name) const { return work_.filePath(name); }

  // Our result, with the progress reports, for archive unpacked into dir.
  QStringList unpack(const QString& archive, const QString& dir, ProgressLog* log = nullptr) {
    LocalFileManager fileManager;
    return KvoUnZip::unzipFileAtPath(archive, dir, fileManager, [log](int64_t done, int64_t total) {
      if (log != nullptr) {
        log->emplace_back(done, total);
      }
    });
  }

  QTemporaryDir work_;
  QString source_;
};

TEST_F(KvoUnZipTest, UnpacksWhatOtherToolsWriteAsInfoZipDoes) {
  // Shell commands run in the source folder; OUT is the archive.
  const std::pair<const char*, const char*> archives[] = {
      {"Info-ZIP, .bin stored, directory entries", "zip -q -r -n .bin OUT FW readme.txt empty.bin"},
      {"Info-ZIP into a pipe (data descriptors)", "zip -q -r - FW readme.txt empty.bin | cat >OUT"},
      {"Info-ZIP from standard input (zip64)", "cat FW/a.bin | zip -q OUT -"},
      {"bsdtar, deflated", "bsdtar --format zip -cf OUT FW readme.txt empty.bin"},
      {"bsdtar, stored", "bsdtar --format zip --options zip:compression=store -cf OUT FW"},
      {"python, stored and deflated", "python3 $ARCHIVE_MAKER mixed OUT"},
      {"python, data descriptors", "python3 $ARCHIVE_MAKER descriptors OUT"},
      {"python, zip64", "python3 $ARCHIVE_MAKER zip64 OUT"},
  };
  qputenv("ARCHIVE_MAKER", TARNWELL_TEST_DATA_DIR "/firmware/make_archive.py");
  int index = 0;
  for (const auto& [name, command] : archives) {
    SCOPED_TRACE(name);
    const QString archive = path(QStringLiteral("archive%1.zip").arg(++index));
    ASSERT_EQ(run(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QString::fromUtf8(command).replace(QStringLiteral("OUT"), archive)},
                  source_),
              0);
    const QString ours = path(QStringLiteral("ours%1").arg(index));
    const QString theirs = path(QStringLiteral("theirs%1").arg(index));
    ASSERT_EQ(run(QStringLiteral("unzip"),
                  {QStringLiteral("-q"), archive, QStringLiteral("-d"), theirs}, work_.path()),
              0);

    ProgressLog log;
    const QStringList written = unpack(archive, ours, &log);
    const QMap<QString, QByteArray> extracted = tree(ours);
    EXPECT_EQ(extracted, tree(theirs));

    QStringList topLevel;
    for (const QString& item : QDir(ours).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
      topLevel << ours + QLatin1Char('/') + item;
    }
    QStringList sorted = written;
    sorted.sort();
    topLevel.sort();
    EXPECT_EQ(sorted, topLevel);

    int64_t fileBytes = 0;
    for (const QByteArray& content : extracted) {
      fileBytes += content == "<dir>" ? 0 : content.size();
    }
    EXPECT_EQ(KvoUnZip::totalFileSizeInZipFileAtPath(archive), fileBytes);
    ASSERT_FALSE(log.empty());
    for (size_t i = 1; i < log.size(); ++i) {
      EXPECT_GT(log[i].first, log[i - 1].first);
    }
    EXPECT_EQ(log.back(), std::make_pair(fileBytes, fileBytes));
  }
}

TEST_F(KvoUnZipTest, CreatesMissingDirectoriesAndOverwritesFiles) {
  const QString archive = path(QStringLiteral("p.zip"));
  ASSERT_TRUE(makePythonArchive(QStringLiteral("mixed"), archive));
  const QString dir = path(QStringLiteral("not/yet/there/"));
  writeFile(dir + QStringLiteral("FW/a.bin"), QByteArray(400000, 'x'));
  writeFile(dir + QStringLiteral("kept.txt"), "kept");
  EXPECT_EQ(unpack(archive, dir).size(), 3);
  EXPECT_EQ(readFile(dir + QStringLiteral("FW/a.bin")), pattern(300000, 1));
  EXPECT_EQ(readFile(dir + QStringLiteral("kept.txt")), "kept");
}

TEST_F(KvoUnZipTest, DirectoryEntriesBecomeDirectories) {
  const QString archive = path(QStringLiteral("d.zip"));
  ASSERT_TRUE(makePythonArchive(QStringLiteral("directories"), archive));
  const QString dir = path(QStringLiteral("out"));
  EXPECT_EQ(unpack(archive, dir),
            (QStringList{dir + QStringLiteral("/FW"), dir + QStringLiteral("/emptydir")}));
  EXPECT_EQ(tree(dir),
            (QMap<QString, QByteArray>{{QStringLiteral("FW"), "<dir>"},
                                       {QStringLiteral("FW/sub"), "<dir>"},
                                       {QStringLiteral("FW/sub/x.bin"), pattern(1000, 3)},
                                       {QStringLiteral("emptydir"), "<dir>"}}));
}

TEST_F(KvoUnZipTest, NotAZipArchiveGivesNothingAndNoProgress) {
  const QString text = path(QStringLiteral("plain.bin"));
  writeFile(text, pattern(5000, 9));
  const QString empty = path(QStringLiteral("empty.zip"));
  writeFile(empty, QByteArray());
  for (const QString& archive : {text, empty, path(QStringLiteral("missing.zip")), work_.path()}) {
    SCOPED_TRACE(archive.toStdString());
    ProgressLog log;
    EXPECT_TRUE(unpack(archive, path(QStringLiteral("out")), &log).isEmpty());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(KvoUnZip::totalFileSizeInZipFileAtPath(archive), 0);
  }
  EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("out"))));
}

}  // namespace
