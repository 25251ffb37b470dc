#include "app/ui/CMViewLocalizer.h"

#include "app/localize/CMLocalize.h"
#include "app/ui/CMTabViewLabels.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTableView>

namespace {

// Localises the text `get` reads and hands an accepted result to `set`.
template <typename Get, typename Set>
void localizeText(Get get, Set set) {
  // An empty text stays empty; setting it would still clear a label's image.
  const QString current = get();
  if (current.isEmpty()) {
    return;
  }
  if (const std::optional<QString> text = CMViewLocalizer::localized(current)) {
    set(*text);
  }
}

void localizeTabWidget(QTabWidget* tabs) {
  for (int index = 0; index < tabs->count(); ++index) {
    CMViewLocalizer::localizeViewObjectsLeaf(tabs->widget(index));
  }
  if (auto* labels = dynamic_cast<CMTabViewLabels*>(tabs)) {
    QStringList texts = labels->cmTabViewGetLabels();
    for (QString& label : texts) {
      label = CMViewLocalizer::localized(label).value_or(label);
    }
    labels->cmTabViewSetLabels(texts);
    return;
  }
  for (int index = 0; index < tabs->count(); ++index) {
    localizeText([&] { return tabs->tabText(index); },
                 [&](const QString& text) { tabs->setTabText(index, text); });
  }
}

// The column titles only: the rows are data, never message IDs.
void localizeTableHeader(QTableView* table) {
  QAbstractItemModel* model = table->model();
  if (model == nullptr) {
    return;
  }
  for (int column = 0; column < model->columnCount(); ++column) {
    localizeText([&] { return model->headerData(column, Qt::Horizontal).toString(); },
                 [&](const QString& text) { model->setHeaderData(column, Qt::Horizontal, text); });
  }
}

void localizeComboBox(QComboBox* comboBox) {
  for (int index = 0; index < comboBox->count(); ++index) {
    localizeText([&] { return comboBox->itemText(index); },
                 [&](const QString& text) { comboBox->setItemText(index, text); });
  }
}

// The view's own texts: its title, its string value.
void localizeOwnTexts(QWidget* view) {
  if (auto* button = qobject_cast<QAbstractButton*>(view)) {
    localizeText([&] { return button->text(); },
                 [&](const QString& text) { button->setText(text); });
  } else if (auto* box = qobject_cast<QGroupBox*>(view)) {
    localizeText([&] { return box->title(); }, [&](const QString& text) { box->setTitle(text); });
  } else if (auto* label = qobject_cast<QLabel*>(view)) {
    localizeText([&] { return label->text(); }, [&](const QString& text) { label->setText(text); });
  } else if (auto* field = qobject_cast<QLineEdit*>(view)) {
    localizeText([&] { return field->text(); }, [&](const QString& text) { field->setText(text); });
    localizeText([&] { return field->placeholderText(); },
                 [&](const QString& text) { field->setPlaceholderText(text); });
  }
  // Tool tips and accessible names may carry IDs as well; empty ones stay empty.
  if (!view->toolTip().isEmpty()) {
    localizeText([&] { return view->toolTip(); },
                 [&](const QString& text) { view->setToolTip(text); });
  }
  if (!view->accessibleName().isEmpty()) {
    localizeText([&] { return view->accessibleName(); },
                 [&](const QString& text) { view->setAccessibleName(text); });
  }
}

}  // namespace

std::optional<QString> CMViewLocalizer::localized(const QString& text) {
  const std::shared_ptr<CMLocalize> table = CMLocalize::shared();
  if (table == nullptr) {
    return std::nullopt;
  }
  QString result = table->getLocalizedString(text);
  if (!CMLocalize::isCorrectLocalizedString(result)) {
    return std::nullopt;
  }
  return result;
}

void CMViewLocalizer::localizeObjectsRelativeTo(QObject* object) {
  if (object != nullptr) {
    localizeObjects(object);
  }
}

void CMViewLocalizer::localizeObjects(QObject* object) {
  if (auto* menu = qobject_cast<QMenu*>(object)) {
    localizeMenuObjects(menu);
  } else if (auto* menuBar = qobject_cast<QMenuBar*>(object)) {
    localizeMenuObjects(menuBar);
  } else if (auto* widget = qobject_cast<QWidget*>(object)) {
    if (widget->isWindow()) {
      localizeWindowObject(widget);
    } else {
      localizeViewObjectsLeaf(widget);
    }
  }
}

void CMViewLocalizer::localizeViewObjectsLeaf(QWidget* view) {
  if (view == nullptr || CMLocalize::shared() == nullptr) {
    return;
  }
  // Menus have their own walk, run once for the application's menu.
  if (qobject_cast<QMenu*>(view) != nullptr || qobject_cast<QMenuBar*>(view) != nullptr) {
    return;
  }
  if (auto* tabs = qobject_cast<QTabWidget*>(view)) {
    localizeTabWidget(tabs);
  } else if (auto* table = qobject_cast<QTableView*>(view)) {
    localizeTableHeader(table);
  } else if (auto* comboBox = qobject_cast<QComboBox*>(view)) {
    localizeComboBox(comboBox);
  } else {
    const QList<QWidget*> children = view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
      // A window parented to this view is localised when it loads itself.
      if (!child->isWindow()) {
        localizeViewObjectsLeaf(child);
      }
    }
  }
  if (qobject_cast<QComboBox*>(view) == nullptr) {
    localizeOwnTexts(view);
  }
}

void CMViewLocalizer::localizeWindowObject(QWidget* window) {
  if (window == nullptr) {
    return;
  }
  const QString key = CMLocalize::getWindowTitleJudgedApplycationType(window->windowTitle());
  if (const std::optional<QString> title = localized(key)) {
    window->setWindowTitle(*title);
  }
  localizeViewObjectsLeaf(window);
}

void CMViewLocalizer::localizeMenuObjects(QMenu* menu) {
  if (menu == nullptr) {
    return;
  }
  const QList<QAction*> actions = menu->actions();
  for (QAction* action : actions) {
    if (action->menu() != nullptr) {
      localizeMenuObjects(action->menu());
    }
    if (!action->isSeparator()) {
      localizeText([&] { return action->text(); },
                   [&](const QString& text) { action->setText(text); });
    }
  }
  localizeText([&] { return menu->title(); }, [&](const QString& text) { menu->setTitle(text); });
}

void CMViewLocalizer::localizeMenuObjects(QMenuBar* menuBar) {
  if (menuBar == nullptr) {
    return;
  }
  const QList<QAction*> actions = menuBar->actions();
  for (QAction* action : actions) {
    if (action->menu() != nullptr) {
      localizeMenuObjects(action->menu());
    } else if (!action->isSeparator()) {
      localizeText([&] { return action->text(); },
                   [&](const QString& text) { action->setText(text); });
    }
  }
}
