#include "app/firmware/KvoUnZip.h"
#include "app/localize/CMLocalize.h"
#include "platform/PropertyList.h"
#include "tests/support/CopyTree.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kMock = QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock/");

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

QString communicationAlert(int code) {
  return text("ID_ERR_CAMERA_COMMUNICATION").replace(QStringLiteral("%d"), QString::number(code));
}

// Whole runs of `tarnwell --text --yes` with simulated recorders and a simulated server: a
// copy of the bundle with no firmware description beside it (so not in local mode), and no
// settings file.
class MockRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
    scratch = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(copyTree(QStringLiteral(TARNWELL_BUNDLE_DIR),
                         scratch->filePath(QStringLiteral("Tarnwell"))));
  }
  static void TearDownTestSuite() { scratch.reset(); }

  struct Case {
    const char* name;
    QStringList options;
    int status;
    QString alert;  // empty for none
  };

  static ToolRun run(const QStringList& options) {
    return runProgram(
        scratch->filePath(QStringLiteral("Tarnwell/bin/tarnwell")),
        QStringList{QStringLiteral("--text"), QStringLiteral("--yes")} + options,
        {QStringLiteral("XDG_CONFIG_DIRS=") + scratch->filePath(QStringLiteral("xdg"))});
  }

  static void check(const Case& c) {
    SCOPED_TRACE(c.name);
    const ToolRun result = run(c.options);
    const std::string log = result.out.toStdString() + result.err.toStdString();
    EXPECT_EQ(result.status, c.status) << log;
    if (c.alert.isEmpty()) {
      EXPECT_FALSE(result.out.contains(QStringLiteral("[!]"))) << log;
    } else {
      EXPECT_TRUE(result.out.contains(QStringLiteral("[!] ") + c.alert)) << log;
    }
    if (c.status == 0) {
      EXPECT_TRUE(result.out.contains(text("ID_MSG_COMPLETED"))) << log;
    }
  }

  static QString devices(const char* name) {
    return QStringLiteral("--mock_devices=") + kMock + QString::fromLatin1(name);
  }
  static QString response(const char* name) {
    return QStringLiteral("--mock_response=") + kMock + QString::fromLatin1(name);
  }

  static inline std::unique_ptr<QTemporaryDir> scratch;
};

TEST_F(MockRunTest, DetectionEndsWithTheAlertForWhatIsConnected) {
  const QString newer = response("response-newer.plist");
  const Case cases[] = {
      {"two recorders", {devices("devices-two.plist"), newer}, 1, text("ID_ERR_PLURAL_RECORDER")},
      {"unsupported model",
       {devices("devices-unsupported-product.plist"), newer},
       1,
       text("ID_ERR_DIFFERENT_RECORDER")},
      {"foreign vendor",
       {devices("devices-foreign-vendor.plist"), newer},
       1,
       text("ID_ERR_DETECT_RECORDER")},
  };
  for (const Case& c : cases) {
    check(c);
  }
}

TEST_F(MockRunTest, TheServerDecidesWhatHappensNext) {
  const QString one = devices("devices-one.plist");
  const Case cases[] = {
      {"no network",
       {one, response("response-newer.plist"), QStringLiteral("--mock_nonetwork")},
       1,
       text("ID_ERR_INTERNET_COMMUNICATION")},
      {"equal version", {one, response("response-equal.plist")}, 3, {}},
      {"not found",
       {one, response("response-404.plist")},
       1,
       text("ID_ERR_SERVER_COMMUNICATION")
           .replace(QStringLiteral("%s"), QStringLiteral("HTTP 404"))},
  };
  for (const Case& c : cases) {
    check(c);
  }
}

TEST_F(MockRunTest, RecorderFaultsActOnlyAfterTheSimulatedRecorders) {
  const QString one = devices("devices-one.plist");
  const QString newer = response("response-newer.plist");
  const QString fail = QStringLiteral("--mock_device_fail");
  const QString full = QStringLiteral("--mock_device_diskfull");
  const Case cases[] = {
      {"failure after the recorders", {one, fail, newer}, 1, communicationAlert(-1)},
      {"disk full after the recorders", {one, newer, full}, 1, text("ID_ERR_NOT_ENOUGH_SPACE")},
      // Also the whole successful run on simulated recorders.
      {"faults before the recorders", {fail, full, one, newer}, 0, {}},
  };
  for (const Case& c : cases) {
    check(c);
  }
}

TEST_F(MockRunTest, ASecondInstanceLeavesAtOnce) {
  const ToolRun result = run({QStringLiteral("--instance_count=2"), devices("devices-one.plist"),
                              response("response-newer.plist")});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
  EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

TEST_F(MockRunTest, AVirtualRecorderTakesThePackageOfTheSimulatedServer) {
  const QString example =
      QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/file-copy-two-volumes");
  const QString recorder = scratch->filePath(QStringLiteral("recorder"));
  ASSERT_TRUE(QDir().mkpath(recorder));
  ASSERT_TRUE(QFile::copy(example + QStringLiteral("/recorder.plist"),
                          QDir(recorder).filePath(QStringLiteral("recorder.plist"))));
  check({"virtual recorder",
         {QStringLiteral("--virtual_recorder=") + recorder, response("response-newer.plist")},
         0,
         {}});

  const auto state =
      PropertyList::readDictionaryFile(QDir(recorder).filePath(QStringLiteral("state.plist")));
  ASSERT_TRUE(state);
  const QVariantList applied = state->value(QStringLiteral("applied")).toList();
  ASSERT_EQ(applied.size(), 1);
  int64_t bytes = 0;
  for (const QVariant& file : applied.front().toMap().value(QStringLiteral("files")).toList()) {
    bytes += file.toMap().value(QStringLiteral("bytes")).toLongLong();
  }
  EXPECT_EQ(bytes, KvoUnZip::totalFileSizeInZipFileAtPath(
                       kMock + QStringLiteral("firmware-5201-2100.zip")));
}

}  // namespace
