#include "app/localize/CMLocalize.h"
#include "app/text/TextConsole.h"
#include "app/text/TextPageText.h"
#include "app/text/TextProgressView.h"
#include "app/text/TextUserInterface.h"
#include "app/update/ResultTableText.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class TextFrontEndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
  }

  // A console reading `answers` and writing into `output`.
  TextConsole consoleWith(const QByteArray& answers) {
    releaseOutput();
    input_ = answers;
    in.reset(fmemopen(input_.data(), static_cast<size_t>(input_.size()), "r"));
    out.reset(open_memstream(&buffer_, &size_));
    return {in.get(), out.get()};
  }
  QString output() {
    std::fflush(out.get());
    return QString::fromUtf8(buffer_, static_cast<qsizetype>(size_));
  }

  void TearDown() override { releaseOutput(); }
  // The memory stream's buffer is the caller's once the stream is closed.
  void releaseOutput() {
    out.reset();
    std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
  }

  QByteArray input_;
  File in;
  File out;
  char* buffer_ = nullptr;
  size_t size_ = 0;
};

TEST_F(TextFrontEndTest, AnswersAreNumbersOrTitlesAndNonsenseIsAskedAgain) {
  struct Case {
    QByteArray answers;
    std::optional<int> chosen;
  };
  const Case cases[] = {
      {"2\n", 1},
      {"  1  \n", 0},
      {"agree\n", 1},
      {"0\n3\nx\n1\n", 0},
      {"q\n", -1},
      {"", std::nullopt},
      {"9\n", std::nullopt},  // asked again, then the input ends
      {"2", 1},               // a last line without its line feed still counts
      {QByteArray(1000, '1') + "\n2\n", 1},
  };
  for (const Case& c : cases) {
    TextConsole console = consoleWith(c.answers);
    EXPECT_EQ(console.choose({QStringLiteral("Disagree"), QStringLiteral("Agree")},
                             QStringLiteral("Close")),
              c.chosen)
        << c.answers.left(20).toStdString();
  }
}

TEST_F(TextFrontEndTest, AlertsAnswerThemselvesWithYesButNeverRetry) {
  const QString yes = CMLocalize::localizedString(QStringLiteral("ID_YES"));
  const QString no = CMLocalize::localizedString(QStringLiteral("ID_NO"));
  const QString ok = CMLocalize::localizedString(QStringLiteral("ID_OK"));
  const QString retry = CMLocalize::localizedString(QStringLiteral("ID_RETRY"));
  const QString cancel = CMLocalize::localizedString(QStringLiteral("ID_CANCEL"));
  struct Case {
    AlertRequest alert;
    int answer;
    bool error;
  };
  const Case cases[] = {
      {{QStringLiteral("Update?"), yes, no, std::nullopt}, 1, false},
      {{QStringLiteral("Broken."), ok, std::nullopt, std::nullopt}, 1, true},
      {{QStringLiteral("No recorder."), retry, cancel, std::nullopt}, 0, true},
  };
  for (const Case& c : cases) {
    TextConsole console = consoleWith({});
    TextUserInterface ui(console, true);
    EXPECT_EQ(ui.runAlert(c.alert), c.answer) << c.alert.message.toStdString();
    EXPECT_EQ(ui.hasShownErrorAlert(), c.error) << c.alert.message.toStdString();
    EXPECT_TRUE(output().contains(c.alert.message));
  }
  // Without answers left, the safe button.
  TextConsole console = consoleWith({});
  TextUserInterface ui(console, false);
  EXPECT_EQ(ui.runAlert({QStringLiteral("Update?"), yes, no, std::nullopt}), 0);
}

TEST_F(TextFrontEndTest, ResultTablesShowTheRecorderAndTheOffer) {
  const QString mb = CMLocalize::localizedString(QStringLiteral("ID_UNIT_MB"));
  EXPECT_EQ(ResultTableText::fileSizeText(1572864), QStringLiteral("1.5") + mb);
  EXPECT_EQ(ResultTableText::fileSizeText(0), QStringLiteral("0.0") + mb);
  EXPECT_EQ(ResultTableText::displayName(QString::fromUtf8("VR-5201\0\0", 9)),
            QStringLiteral("VR-5201"));
  EXPECT_EQ(ResultTableText::displayName(QStringLiteral("VR\x1b[2J")), QStringLiteral("VR[2J"));

  AudioDevice device(0, 0);
  device.deviceName = QStringLiteral("VR-410");
  device.version = QStringLiteral("1230");
  FirmwareInfo offer;
  offer.version = QStringLiteral("1300");
  offer.fileSize = 1572864;
  const auto none = TextPageText::tableRows({WizardPage::updaterNone, device, std::nullopt});
  ASSERT_EQ(none.size(), 2);
  EXPECT_EQ(none[1],
            (QStringList{QStringLiteral("VR-410"), QStringLiteral("1.23"), QStringLiteral("---")}));
  const auto available = TextPageText::tableRows({WizardPage::updaterAvailable, device, offer});
  ASSERT_EQ(available.size(), 2);
  EXPECT_EQ(available[1], (QStringList{QStringLiteral("VR-410"), QStringLiteral("1.23"),
                                       QStringLiteral("1.30"), QStringLiteral("1.5") + mb}));
  // No recorder, no row: the titles alone.
  EXPECT_EQ(TextPageText::tableRows({WizardPage::updaterAvailable, std::nullopt, offer}).size(), 1);
}

TEST_F(TextFrontEndTest, ProgressOffATerminalPrintsEachWholePercentOnce) {
  TextConsole console = consoleWith({});
  {
    TextProgressView progress(console);
    progress.setMessage(QStringLiteral("Writing"));
    for (const double value : {0.0, 0.4, 0.9, 1.0, 50.5, 50.7, 120.0, -3.0}) {
      progress.setValue(value);
    }
    progress.close();
    progress.setValue(60);
  }
  const QStringList lines = output().split(u'\n', Qt::SkipEmptyParts);
  EXPECT_EQ(lines,
            (QStringList{QStringLiteral("Writing"), QStringLiteral("  ") + TextProgressView::bar(0),
                         QStringLiteral("  ") + TextProgressView::bar(1),
                         QStringLiteral("  ") + TextProgressView::bar(50),
                         QStringLiteral("  ") + TextProgressView::bar(100),
                         QStringLiteral("  ") + TextProgressView::bar(0)}));
}

}  // namespace
