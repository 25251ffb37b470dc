// Unpacking packages: archives made by other zip writers leave what Info-ZIP unzip leaves;
// archives that lie, try to escape the destination or cannot be read write nothing outside
// the destination and leave no damaged file inside it.
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/firmware/FailingFileManager.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace ArchiveTools;
using namespace Qt::StringLiterals;

namespace {

using Tree = QMap<QString, QByteArray>;

class KvoUnZipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid());
    writeFile(outside_ + u"/victim.txt"_s, "untouched");
  }

  QString archive(const QString& kind, const QString& argument = {}) {
    QString path = archives_.filePath(kind + u".zip"_s);
    EXPECT_TRUE(makePythonArchive(kind, path, argument)) << kind.toStdString();
    return path;
  }
  // Runs a shell command in a folder of source files; OUT in it is the archive made.
  QString archiveBy(const QString& command, const Tree& files) {
    const QString source = work_.filePath(u"source"_s);
    QDir().mkpath(source);
    for (auto it = files.begin(); it != files.end(); ++it) {
      writeFile(source + u'/' + it.key(), it.value());
    }
    QString path = archives_.filePath(u"%1.zip"_s.arg(++made_));
    const ToolRun made = runProgram(
        u"sh"_s, {u"-c"_s, u"cd \"$0\" && "_s + QString(command).replace(u"OUT"_s, path), source});
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
    QDir(source).removeRecursively();
    return path;
  }

  QStringList unpack(const QString& path, FileManager& fileManager, const QString& dest) {
    log_.clear();
    return KvoUnZip::unzipFileAtPath(path, dest, fileManager, [this](int64_t done, int64_t total) {
      log_.emplace_back(done, total);
    });
  }
  QStringList unpack(const QString& path, const QString& dest = {}) {
    LocalFileManager fileManager;
    return unpack(path, fileManager, dest.isEmpty() ? dest_ : dest);
  }
  // The top-level items of `dest` made from names, in the order the extraction reports them.
  QStringList inDest(const QStringList& names) const {
    QStringList paths;
    for (const QString& name : names) {
      paths << dest_ + u'/' + name;
    }
    return paths;
  }
  QStringList sortedTopLevel(const Tree& items) const {
    QStringList top;
    for (const QString& item : items.keys()) {
      if (!item.contains(u'/')) {
        top << dest_ + u'/' + item;
      }
    }
    top.sort();
    return top;
  }
  void expectOutsideUntouched() {
    const QStringList elsewhere =
        tree(work_.path()).keys().filter(QRegularExpression(u"^(?!dest(/|$))"_s));
    EXPECT_EQ(elsewhere, (QStringList{u"outside"_s, u"outside/victim.txt"_s}));
    EXPECT_EQ(readFile(outside_ + u"/victim.txt"_s), "untouched");
  }

  QTemporaryDir work_;
  QTemporaryDir archives_;
  QString outside_ = work_.filePath(u"outside"_s);
  QString dest_ = work_.filePath(u"dest"_s);
  ProgressLog log_;
  int made_ = 0;
};

TEST_F(KvoUnZipTest, UnpacksWhatOtherToolsWriteAsInfoZipDoes) {
  const Tree files{{u"FW/a.bin"_s, pattern(300000, 1)},
                   {u"FW/b.bin"_s, pattern(70000, 2)},
                   {u"FW/sub/c.txt"_s, QByteArray("notes\n").repeated(100)},
                   {u"readme.txt"_s, "firmware package\n"},
                   {u"empty.bin"_s, QByteArray()}};
  const std::pair<const char*, const char*> archives[] = {
      {"Info-ZIP, .bin stored, directory entries", "zip -q -r -n .bin OUT FW readme.txt empty.bin"},
      {"Info-ZIP into a pipe (data descriptors)", "zip -q -r - FW readme.txt empty.bin | cat >OUT"},
      {"Info-ZIP from standard input (zip64)", "cat FW/a.bin | zip -q OUT -"},
      {"bsdtar, deflated", "bsdtar --format zip -cf OUT FW readme.txt empty.bin"},
      {"bsdtar, stored", "bsdtar --format zip --options zip:compression=store -cf OUT FW"},
      {"python, stored and deflated", "python3 $ARCHIVE_MAKER mixed OUT"},
      {"python, data descriptors", "python3 $ARCHIVE_MAKER descriptors OUT"},
      {"python, zip64", "python3 $ARCHIVE_MAKER zip64 OUT"},
      {"python, directory entries", "python3 $ARCHIVE_MAKER directories OUT"},
  };
  qputenv("ARCHIVE_MAKER", TARNWELL_TEST_DATA_DIR "/firmware/make_archive.py");
  for (const auto& [name, command] : archives) {
    SCOPED_TRACE(name);
    const QString path = archiveBy(QString::fromUtf8(command), files);
    QDir(dest_).removeRecursively();
    const QString theirs = work_.filePath(u"theirs%1"_s.arg(made_));
    ASSERT_EQ(runProgram(u"unzip"_s, {u"-q"_s, path, u"-d"_s, theirs}).status, 0);

    QStringList written = unpack(path);
    const Tree extracted = tree(dest_);
    EXPECT_EQ(extracted, tree(theirs));
    written.sort();
    EXPECT_EQ(written, sortedTopLevel(extracted));
    int64_t fileBytes = 0;
    for (const QByteArray& content : extracted) {
      fileBytes += content == "<dir>" ? 0 : content.size();
    }
    EXPECT_EQ(KvoUnZip::totalFileSizeInZipFileAtPath(path), fileBytes);
    ASSERT_FALSE(log_.empty());
    for (size_t i = 1; i < log_.size(); ++i) {
      EXPECT_GT(log_[i].first, log_[i - 1].first);
    }
    EXPECT_EQ(log_.back(), std::make_pair(fileBytes, fileBytes));
  }
}

// Info-ZIP stores a Linux name's bytes as they are, without the UTF-8 flag: such names are
// code page 437, so two that are not UTF-8 stay two files; a flagged name is UTF-8.
TEST_F(KvoUnZipTest, NamesAreUtf8WhenFlaggedAndCodePage437Otherwise) {
  const QString infoZip = archiveBy(
      uR"sh(printf 1 >"$(printf 'caf\351')" && printf 2 >"$(printf 'caf\350')" && zip -q OUT caf*)sh"_s,
      {});
  const QString python = archiveBy(
      uR"sh(python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1], 'w').writestr('R\u00e9sum\u00e9', '3')" OUT)sh"_s,
      {});
  unpack(infoZip);
  unpack(python);
  EXPECT_EQ(tree(dest_),
            (Tree{{u"caf\u0398"_s, "1"}, {u"caf\u03A6"_s, "2"}, {u"R\u00E9sum\u00E9"_s, "3"}}));
}

TEST_F(KvoUnZipTest, CreatesMissingDirectoriesAndOverwritesFiles) {
  const QString dir = work_.filePath(u"not/yet/there/"_s);
  writeFile(dir + u"FW/a.bin"_s, QByteArray(400000, 'x'));
  writeFile(dir + u"kept.txt"_s, "kept");
  EXPECT_EQ(unpack(archive(u"mixed"_s), dir).size(), 3);
  EXPECT_EQ(readFile(dir + u"FW/a.bin"_s), pattern(300000, 1));
  EXPECT_EQ(readFile(dir + u"kept.txt"_s), "kept");
}

TEST_F(KvoUnZipTest, WhatIsNotAZipArchiveOrIsDamagedGivesNothingAndNoProgress) {
  const QByteArray whole = readFile(archive(u"mixed"_s));
  const std::pair<const char*, QByteArray> damaged[] = {
      {"empty", QByteArray()},
      {"cut in half", whole.left(whole.size() / 2)},
      {"central directory cut", whole.left(whole.size() - 30)},
      {"only the end record", whole.right(22)},
      {"text", QByteArray("PK\x05\x06 is not enough").repeated(10)},
  };
  // Not an archive at all: missing, a folder, a FIFO that would never end, an empty file.
  const QString fifo = archives_.filePath(u"fifo.zip"_s);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  QStringList paths{work_.filePath(u"missing.zip"_s), work_.path(), fifo};
  for (const auto& [name, bytes] : damaged) {
    paths << archives_.filePath(QString::fromUtf8(name) + u".zip"_s);
    writeFile(paths.back(), bytes);
  }
  for (int i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i].toStdString());
    EXPECT_TRUE(unpack(paths[i]).isEmpty());
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(tree(dest_).isEmpty());
    if (i < 4) {  // not an archive at all: no size, and not even the destination is made
      EXPECT_EQ(KvoUnZip::totalFileSizeInZipFileAtPath(paths[i]), 0);
      EXPECT_FALSE(QFileInfo::exists(dest_));
    }
  }
}

TEST_F(KvoUnZipTest, NamesAndLinksThatLeaveTheDestinationAreNotFollowed) {
  const QString infoZipLinks =
      archiveBy(u"ln -s ../outside escape && zip -q -y -r OUT ."_s, {{u"real.txt"_s, "real"}});
  const struct {
    const char* what;
    QString path;
    QStringList written;
    Tree expected;
  } cases[] = {
      {"names leading out",
       archive(u"traversal"_s, outside_),
       {u"safe"_s, u"good.txt"_s},
       Tree{{u"safe"_s, "<dir>"},
            {u"safe/ok.txt"_s, "from ./safe//ok.txt"},
            {u"good.txt"_s, "from good.txt"}}},
      {"symbolic link entries",
       archive(u"symlink"_s, outside_),
       {u"link"_s, u"normal.txt"_s},
       Tree{{u"link"_s, "<dir>"}, {u"link/planted.txt"_s, "planted"}, {u"normal.txt"_s, "normal"}}},
      {"Info-ZIP symbolic links", infoZipLinks, {u"real.txt"_s}, Tree{{u"real.txt"_s, "real"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(dest_).removeRecursively();
    EXPECT_EQ(unpack(c.path), inDest(c.written));
    EXPECT_EQ(tree(dest_), c.expected);
    expectOutsideUntouched();
  }

  // Links already in the destination are not written through.
  QDir(dest_).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(dest_));
  ASSERT_TRUE(QFile::link(outside_, dest_ + u"/FW"_s));
  ASSERT_TRUE(QFile::link(outside_ + u"/victim.txt"_s, dest_ + u"/readme.txt"_s));
  EXPECT_EQ(unpack(archive(u"mixed"_s)), inDest({u"empty.bin"_s}));
  EXPECT_EQ(tree(outside_), (Tree{{u"victim.txt"_s, "untouched"}}));
}

// Entries that lie about their size, are damaged, encrypted, packed by a method other than
// deflate or cannot be placed are skipped whole; the rest of the archive is extracted.
TEST_F(KvoUnZipTest, EntriesThatCannotBeExtractedWholeAreSkipped) {
  const QString encrypted = archiveBy(u"zip -q -P pw OUT secret.txt && zip -q OUT plain.txt"_s,
                                      {{u"secret.txt"_s, "secret"}, {u"plain.txt"_s, "plain"}});
  // What the mixed archive leaves besides its two firmware files.
  const auto mixedWith = [](const Tree& firmware) {
    Tree items{{u"FW"_s, "<dir>"},
               {u"readme.txt"_s, QByteArray("firmware package\n").repeated(50)},
               {u"empty.bin"_s, QByteArray()}};
    items.insert(firmware);
    return items;
  };
  const std::pair<QString, QByteArray> a{u"FW/a.bin"_s, pattern(300000, 1)};
  const std::pair<QString, QByteArray> b{u"FW/b.bin"_s, pattern(70000, 2)};
  const std::tuple<const char*, QString, Tree> cases[] = {
      // Cut at the declared size: the checksum fails.
      {"understated", archive(u"understated"_s), mixedWith({b})},
      {"understated, with the checksum of the cut", archive(u"understated-crc"_s),
       mixedWith({{a.first, a.second.left(1000)}, b})},
      {"overstated: the data ends first", archive(u"overstated"_s), mixedWith({b})},
      {"inflate error mid-entry", archive(u"corrupt-deflated"_s), mixedWith({b})},
      {"stored bytes changed: the checksum fails", archive(u"corrupt-stored"_s), mixedWith({a})},
      {"encrypted", encrypted, {{u"plain.txt"_s, "plain"}}},
      {"bzip2 and lzma", archive(u"methods"_s), {{u"deflated.bin"_s, pattern(5000, 6)}}},
      {"a NUL in a name, a name longer than the name buffer",
       archive(u"names"_s),
       {{u"café"_s, "<dir>"}, {u"café/日本.txt"_s, "utf-8 names"}}},
      {"a file where a directory is needed",
       archive(u"conflict"_s),
       {{u"thing"_s, "a file"}, {u"other.txt"_s, "fine"}}},
  };
  for (const auto& [name, path, expected] : cases) {
    SCOPED_TRACE(name);
    QDir(dest_).removeRecursively();
    QStringList written = unpack(path);
    EXPECT_EQ(tree(dest_), expected);
    written.sort();
    EXPECT_EQ(written, sortedTopLevel(expected));
    ASSERT_FALSE(log_.empty());
    EXPECT_LE(log_.back().first, KvoUnZip::totalFileSizeInZipFileAtPath(path));
  }
}

TEST_F(KvoUnZipTest, FileSystemFailuresSkipTheEntry) {
  using Fail = FailingFileManager::Fail;
  const QString path = archive(u"mixed"_s);
  const std::tuple<Fail, const char*, QStringList, QStringList> cases[] = {
      {Fail::createDirectory, "FW", {u"readme.txt"_s, u"empty.bin"_s}, {}},
      {Fail::createFile, "readme", {u"FW"_s, u"empty.bin"_s}, {}},
      {Fail::write, "a.bin", {u"FW"_s, u"readme.txt"_s, u"empty.bin"_s}, {u"FW/a.bin"_s}},
      {Fail::close, "b.bin", {u"FW"_s, u"readme.txt"_s, u"empty.bin"_s}, {u"FW/b.bin"_s}},
  };
  for (const auto& [fail, part, expected, removed] : cases) {
    SCOPED_TRACE(part);
    QDir(dest_).removeRecursively();
    FailingFileManager fileManager(fail, QString::fromLatin1(part));
    EXPECT_EQ(unpack(path, fileManager, dest_), inDest(expected));
    EXPECT_EQ(fileManager.removed(), inDest(removed));
    for (const QString& gone : removed) {
      EXPECT_FALSE(QFileInfo::exists(dest_ + u'/' + gone));
    }
  }
}

}  // namespace
