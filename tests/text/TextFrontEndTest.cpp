#include "app/localize/CMLocalize.h"
#include "app/text/TextConsole.h"
#include "app/text/TextPageText.h"
#include "app/text/TextProgressView.h"
#include "app/text/TextUserInterface.h"
#include "app/update/ResultTableText.h"
#include "tests/support/QStringPrinter.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

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
      {"  1  \n", 0},
      {"agree\n", 1},
      {"0\n3\nx\n1\n", 0},
      {"9\n", std::nullopt},  // asked again, then the input ends
      {"2", 1},               // a last line without its line feed still counts
      {QByteArray(1000, '1') + "\n2\n", 1},
  };
  for (const Case& c : cases) {
    TextConsole console = consoleWith(c.answers);
    EXPECT_EQ(console.choose({u"Disagree"_s, u"Agree"_s}, u"Close"_s), c.chosen)
        << c.answers.left(20).toStdString();
  }
  // Letters in place of numbers; the hint lists what is taken.
  TextConsole letters = consoleWith("1\nx\nN\n");
  EXPECT_EQ(letters.choose({u"Yes"_s, u"No"_s}, {}, {u"y"_s, u"n"_s}), 1);
  EXPECT_EQ(output().count(u"Please answer with y or n.\n"_s), 2);
  TextConsole single = consoleWith("2\n");
  EXPECT_EQ(single.choose({u"Next"_s}, u"Close"_s), std::nullopt);
  EXPECT_TRUE(output().contains(u"Please answer with 1 or q.\n"_s)) << output().toStdString();
}

// With --yes the alerts answer themselves, as the terminal runs show; without answers left,
// the safe button.
TEST_F(TextFrontEndTest, AnAlertWithoutAnswersTakesTheSafeButton) {
  const QString yes = CMLocalize::localizedString(u"ID_YES"_s);
  const QString no = CMLocalize::localizedString(u"ID_NO"_s);
  TextConsole console = consoleWith({});
  TextUserInterface ui(console, false);
  EXPECT_EQ(ui.runAlert({u"Update?"_s, yes, no, std::nullopt}), 0);
  EXPECT_EQ(ui.runAlert({u"Broken."_s, CMLocalize::localizedString(u"ID_OK"_s), std::nullopt,
                         std::nullopt}),
            1);
  EXPECT_TRUE(ui.hasShownErrorAlert());
}

TEST_F(TextFrontEndTest, ResultTablesShowTheRecorderAndTheOffer) {
  const QString mb = CMLocalize::localizedString(u"ID_UNIT_MB"_s);
  EXPECT_EQ(ResultTableText::fileSizeText(1572864), u"1.5"_s + mb);
  EXPECT_EQ(ResultTableText::fileSizeText(0), u"0.0"_s + mb);
  EXPECT_EQ(ResultTableText::displayName(QString::fromUtf8("VR-5201\0\0", 9)), u"VR-5201"_s);
  EXPECT_EQ(ResultTableText::displayName(u"VR\x1b[2J"_s), u"VR[2J"_s);

  AudioDevice device(0, 0);
  device.deviceName = u"VR-410"_s;
  device.version = u"1230"_s;
  FirmwareInfo offer;
  offer.version = u"1300"_s;
  offer.fileSize = 1572864;
  const auto none = TextPageText::tableRows({WizardPage::updaterNone, device, std::nullopt});
  ASSERT_EQ(none.size(), 2);
  EXPECT_EQ(none[1], (QStringList{u"VR-410"_s, u"1.23"_s, u"---"_s}));
  const auto available = TextPageText::tableRows({WizardPage::updaterAvailable, device, offer});
  ASSERT_EQ(available.size(), 2);
  EXPECT_EQ(available[1], (QStringList{u"VR-410"_s, u"1.23"_s, u"1.30"_s, u"1.5"_s + mb}));
  // Columns line up on the screen: a wide character takes two columns, a combining mark none.
  EXPECT_EQ(TextPageText::displayWidth(u"型番"_s), 4);
  EXPECT_EQ(TextPageText::displayWidth(u"e\u0301"_s), 1);
  EXPECT_EQ(TextPageText::formatTable({{u"型番"_s, u"V"_s}, {u"VR-410"_s, u"1.00"_s}}),
            (QStringList{u"  型番    V"_s, u"  VR-410  1.00"_s}));
  // No recorder, no row: the titles alone.
  EXPECT_EQ(TextPageText::tableRows({WizardPage::updaterAvailable, std::nullopt, offer}).size(), 1);
}

TEST_F(TextFrontEndTest, ProgressOffATerminalPrintsEachWholePercentOnce) {
  TextConsole console = consoleWith({});
  {
    TextProgressView progress(console);
    progress.setMessage(u"Writing"_s);
    for (const double value : {0.0, 0.4, 0.9, 1.0, 50.5, 50.7, 120.0, -3.0}) {
      progress.setValue(value);
    }
    progress.close();
    progress.setValue(60);
  }
  // Each bar with the time taken so far.
  QStringList lines = output().split(u'\n', Qt::SkipEmptyParts);
  for (QString& line : lines) {
    line.replace(QRegularExpression(u"  0:0\\d$"_s), QString());
  }
  EXPECT_EQ(lines, (QStringList{
                       u"Writing"_s, u"  "_s + TextProgressView::bar(0),
                       u"  "_s + TextProgressView::bar(1), u"  "_s + TextProgressView::bar(50),
                       u"  "_s + TextProgressView::bar(100), u"  "_s + TextProgressView::bar(0)}));
  EXPECT_EQ(TextProgressView::elapsed(5), u"0:05"_s);
  EXPECT_EQ(TextProgressView::elapsed(760), u"12:40"_s);
  EXPECT_EQ(TextProgressView::elapsed(3723), u"1:02:03"_s);
}

}  // namespace
