#pragma once

#include <QString>

#include <optional>

class QMenu;
class QMenuBar;
class QObject;
class QWidget;

// Replaces the message IDs that layouts carry as their texts by the string table's texts:
// labels, buttons, check boxes, group boxes, tab labels, table headers, combo-box items,
// line edits, window titles, menus and their actions. A text the table does not know stays
// as it is; without a loaded table nothing changes.
class CMViewLocalizer final {
 public:
  CMViewLocalizer() = delete;

  // Nothing for none; otherwise localizeObjects.
  static void localizeObjectsRelativeTo(QObject* object);
  // A menu or menu bar: its menus; a window: its title and contents; another widget: its
  // tree. Anything else is left alone.
  static void localizeObjects(QObject* object);
  static void localizeViewObjectsLeaf(QWidget* view);
  static void localizeWindowObject(QWidget* window);
  static void localizeMenuObjects(QMenu* menu);
  static void localizeMenuObjects(QMenuBar* menuBar);

  // The table's text for `text` used as a key, when the table accepts it as a text.
  static std::optional<QString> localized(const QString& text);
};
