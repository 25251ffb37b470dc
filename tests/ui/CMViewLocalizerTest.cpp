#include "app/localize/CMLocalize.h"
#include "app/ui/CMTabViewLabels.h"
#include "app/ui/CMViewLocalizer.h"
#include "tests/support/QStringPrinter.h"
#include "tests/ui/UiTestEnvironment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <gtest/gtest.h>

using UiTest::text;

namespace {

// A tab widget that draws its own labels and hands them over as one list.
class LabelledTabs final : public QTabWidget, public CMTabViewLabels {
 public:
  QStringList cmTabViewGetLabels() const override { return labels; }
  void cmTabViewSetLabels(const QStringList& newLabels) override { labels = newLabels; }
  QStringList labels;
};

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
      {QStringLiteral("ID_BTN_NEXT"), text("ID_BTN_NEXT")},
      {QStringLiteral("ID_COL_MODEL_NAME:"), text("ID_COL_MODEL_NAME") + QStringLiteral(" :")},
      {QStringLiteral("ID_MSG_DOWNLOADING_FIRMWARE..."),
       text("ID_MSG_DOWNLOADING_FIRMWARE") + QStringLiteral("...")},
      {QStringLiteral("MAC_APP_NAME"), QStringLiteral("Tarnwell")},
      {QStringLiteral("IDGZ_QX2_KORVANE_STUDIO"), QStringLiteral("Tarnwell")},
      {QStringLiteral("ID_NOT_IN_THE_TABLE"), QStringLiteral("ID_NOT_IN_THE_TABLE")},
      {QStringLiteral("VR-5201"), QStringLiteral("VR-5201")},
      {QStringLiteral("_NG_3 (ID_X)"), QStringLiteral("_NG_3 (ID_X)")},
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

TEST_F(CMViewLocalizerTest, TablesComboBoxesAndTabsLocaliseTheirTitlesNotTheirData) {
  QWidget root;
  auto* table = new QTableWidget(1, 2, &root);
  table->setHorizontalHeaderLabels(
      {QStringLiteral("ID_COL_MODEL_NAME"), QStringLiteral("ID_UNKNOWN_COLUMN")});
  table->setItem(0, 0, new QTableWidgetItem(QStringLiteral("ID_BTN_NEXT")));
  table->setCellWidget(0, 1, new QLabel(QStringLiteral("ID_BTN_NEXT")));
  auto* combo = new QComboBox(&root);
  combo->addItems({QStringLiteral("ID_YES"), QStringLiteral("ID_NOPE")});
  auto* tabs = new QTabWidget(&root);
  tabs->addTab(new QLabel(QStringLiteral("ID_OK")), QStringLiteral("ID_CANCEL"));
  auto* labelledTabs = new LabelledTabs;
  labelledTabs->setParent(&root);
  labelledTabs->addTab(new QLabel(QStringLiteral("ID_RETRY")), QStringLiteral("ID_NO"));
  labelledTabs->labels = {QStringLiteral("ID_YES"), QStringLiteral("ID_NOT_THERE")};

  CMViewLocalizer::localizeObjectsRelativeTo(&root);

  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), text("ID_COL_MODEL_NAME"));
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), QStringLiteral("ID_UNKNOWN_COLUMN"));
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("ID_BTN_NEXT"));
  EXPECT_EQ(qobject_cast<QLabel*>(table->cellWidget(0, 1))->text(), QStringLiteral("ID_BTN_NEXT"));
  EXPECT_EQ(combo->itemText(0), text("ID_YES"));
  EXPECT_EQ(combo->itemText(1), QStringLiteral("ID_NOPE"));
  EXPECT_EQ(tabs->tabText(0), text("ID_CANCEL"));
  EXPECT_EQ(qobject_cast<QLabel*>(tabs->widget(0))->text(), text("ID_OK"));
  // Labels handed over as a list are localised there, not as tab texts.
  EXPECT_EQ(labelledTabs->labels, (QStringList{text("ID_YES"), QStringLiteral("ID_NOT_THERE")}));
  EXPECT_EQ(labelledTabs->tabText(0), QStringLiteral("ID_NO"));
  EXPECT_EQ(qobject_cast<QLabel*>(labelledTabs->widget(0))->text(), text("ID_RETRY"));
}

TEST_F(CMViewLocalizerTest, WindowTitlesAndMenusIncludingSubmenus) {
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("IDGZ_CM5_PRODUCT_NAME"));
  window.setCentralWidget(new QLabel(QStringLiteral("ID_OK")));
  QMenu* menu = window.menuBar()->addMenu(QStringLiteral("ID_MENU_FILE"));
  QAction* item = menu->addAction(QStringLiteral("ID_MENU_MINIMIZE"));
  menu->addSeparator();
  QMenu* submenu = menu->addMenu(QStringLiteral("ID_MENU_WINDOW"));
  QAction* nestedItem = submenu->addAction(QStringLiteral("ID_NOT_IN_THE_TABLE"));

  CMViewLocalizer::localizeObjectsRelativeTo(&window);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarnwell"));
  EXPECT_EQ(qobject_cast<QLabel*>(window.centralWidget())->text(), text("ID_OK"));
  // The window's walk leaves the menus to their own walk.
  EXPECT_EQ(menu->title(), QStringLiteral("ID_MENU_FILE"));

  CMViewLocalizer::localizeObjectsRelativeTo(window.menuBar());
  EXPECT_EQ(menu->title(), text("ID_MENU_FILE"));
  EXPECT_EQ(item->text(), text("ID_MENU_MINIMIZE"));
  EXPECT_EQ(submenu->title(), text("ID_MENU_WINDOW"));
  EXPECT_EQ(nestedItem->text(), QStringLiteral("ID_NOT_IN_THE_TABLE"));
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
  QLabel label(QStringLiteral("ID_OK"));
  CMViewLocalizer::localizeObjectsRelativeTo(&label);
  EXPECT_EQ(label.text(), QStringLiteral("ID_OK"));
}

}  // namespace
