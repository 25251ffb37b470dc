#include "app/localize/CMLocalize.h"
#include "app/ui/CMViewLocalizer.h"
#include "tests/support/QStringPrinter.h"
#include "tests/ui/UiTestEnvironment.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using UiTest::text;

namespace {

class CMViewLocalizerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
  }
};

TEST_F(CMViewLocalizerTest, LabelsButtonsAndBoxesGetTheirTextsAndUnknownTextsStay) {
  struct Case {
    QString layoutText;
    QString shown;
  };
  const Case cases[] = {
      {u"ID_BTN_NEXT"_s, text("ID_BTN_NEXT")},
      {u"ID_COL_MODEL_NAME:"_s, text("ID_COL_MODEL_NAME") + u" :"_s},
      {u"ID_MSG_DOWNLOADING_FIRMWARE..."_s, text("ID_MSG_DOWNLOADING_FIRMWARE") + u"..."_s},
      {u"MAC_APP_NAME"_s, u"Tarnwell"_s},
      {u"IDGZ_QX2_KORVANE_STUDIO"_s, u"Tarnwell"_s},
      {u"ID_NOT_IN_THE_TABLE"_s, u"ID_NOT_IN_THE_TABLE"_s},
      {u"VR-5201"_s, u"VR-5201"_s},
      {u"_NG_3 (ID_X)"_s, u"_NG_3 (ID_X)"_s},
      {QString(), QString()},
  };
  for (const Case& c : cases) {
    QWidget root;
    auto* label = new QLabel(c.layoutText, &root);
    auto* button = new QPushButton(c.layoutText, &root);
    auto* check = new QCheckBox(c.layoutText, &root);
    auto* group = new QGroupBox(c.layoutText, &root);
    auto* nested = new QLabel(c.layoutText, group);
    CMViewLocalizer::localizeObjectsRelativeTo(&root);
    SCOPED_TRACE(c.layoutText.toStdString());
    EXPECT_EQ(label->text(), c.shown);
    EXPECT_EQ(button->text(), c.shown);
    EXPECT_EQ(check->text(), c.shown);
    EXPECT_EQ(group->title(), c.shown);
    EXPECT_EQ(nested->text(), c.shown);
  }
}

TEST_F(CMViewLocalizerTest, TablesLocaliseTheirTitlesNotTheirData) {
  QWidget root;
  auto* table = new QTableWidget(1, 2, &root);
  table->setHorizontalHeaderLabels({u"ID_COL_MODEL_NAME"_s, u"ID_UNKNOWN_COLUMN"_s});
  table->setItem(0, 0, new QTableWidgetItem(u"ID_BTN_NEXT"_s));
  table->setCellWidget(0, 1, new QLabel(u"ID_BTN_NEXT"_s));

  CMViewLocalizer::localizeObjectsRelativeTo(&root);

  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), text("ID_COL_MODEL_NAME"));
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), u"ID_UNKNOWN_COLUMN"_s);
  EXPECT_EQ(table->item(0, 0)->text(), u"ID_BTN_NEXT"_s);
  EXPECT_EQ(qobject_cast<QLabel*>(table->cellWidget(0, 1))->text(), u"ID_BTN_NEXT"_s);
}

TEST_F(CMViewLocalizerTest, ImagesAndAMissingTableLeaveTheLayoutAsItIs) {
  QLabel image;
  QPixmap pixmap(8, 8);
  pixmap.fill(Qt::red);
  image.setPixmap(pixmap);
  CMViewLocalizer::localizeObjectsRelativeTo(&image);
  EXPECT_FALSE(image.pixmap().isNull());
  CMViewLocalizer::localizeObjectsRelativeTo(nullptr);

  CMLocalize::initializeSharedWithFilePath(std::nullopt);
  QLabel label(u"ID_OK"_s);
  CMViewLocalizer::localizeObjectsRelativeTo(&label);
  EXPECT_EQ(label.text(), u"ID_OK"_s);
}

}  // namespace
