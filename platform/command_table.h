#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <map>
#include <utility>
#include <vector>

#include "platform/command_target.h"

class QAction;
class QMenu;
class QToolBar;
class QWidget;

namespace quarnel {

class RecentFileList;

// One entry of a menu table: a command item {id, "text"}, a popup
// {"text", {entries...}} or a separator {}.
// Texts use '&' for the mnemonic; a tab separates the text from the key
// shown at the right ("&Copy View\tCtrl+C"). The keys themselves come from
// the accelerator table: a text shows no key that it does not spell out.
struct MenuNode {
  MenuNode() = default;
  MenuNode(int commandId, const char* itemText) : id(commandId), text(itemText) {}
  MenuNode(const char* popupText, std::vector<MenuNode> popupItems)
      : text(popupText), items(std::move(popupItems)), popup(true) {}

  bool IsSeparator() const { return !popup && id == 0; }

  int id = 0;
  const char* text = nullptr;
  std::vector<MenuNode> items;
  bool popup = false;
};

// One key of the accelerator table, in Qt's portable key text ("Ctrl+Shift+L",
// "Shift+Ins", "PgDown", "Esc"). Several keys may name one command.
struct Accelerator {
  const char* keys;
  int id;
};

// One toolbar button: a command and its icon (a resource path such as
// ":/toolbar/open.png"); {} is a separator. The tip defaults to the command's
// menu text.
struct ToolButton {
  ToolButton() = default;
  ToolButton(int commandId, const char* iconPath = nullptr, const char* tipText = nullptr)
      : id(commandId), icon(iconPath), tip(tipText) {}

  int id = 0;
  const char* icon = nullptr;
  const char* tip = nullptr;
};

// The program's commands as Qt actions: one QAction per command id, shared by
// every menu, toolbar and key that names the command. Triggering an action
// routes its id along the router's chain. Update handlers set the actions'
// enabled, checked and text states when a menu opens, after each command, and
// whenever UpdateAll runs (the idle pass calls it).
class CommandTable final : public QObject {
  Q_OBJECT

 public:
  // window receives the actions, so that their keys work wherever the focus
  // is inside it, also for commands that stand in no visible menu.
  CommandTable(QWidget* window, CommandRouter& router);
  ~CommandTable() override;

  // The action of id, made on first use.
  QAction* Action(int id);
  QAction* FindAction(int id) const;
  int IdOf(const QAction* action) const;

  // Menus from tables. Parent owns the menus.
  QMenu* BuildPopup(const MenuNode& popup, QWidget* parent);
  std::vector<QMenu*> BuildMenuBar(const std::vector<MenuNode>& popups, QWidget* parent);
  void SetAccelerators(const std::vector<Accelerator>& keys);
  QToolBar* BuildToolBar(const QString& title, const std::vector<ToolButton>& buttons,
                         QSize iconSize, QWidget* parent);

  // Lists the recent files in every menu that holds the item firstId: the
  // entries take the ids firstId, firstId + 1, ... (their commands are the
  // document manager's); with the list empty the item keeps its table text.
  void AttachRecentFiles(const RecentFileList* list, int firstId);

  // Runs a command as a menu pick would: refused when its update says
  // disabled; then the states are brought up to date. True when a handler ran.
  bool Execute(int id);
  void UpdateAll();
  void UpdateMenu(QMenu* menu);
  void Update(int id);

 signals:
  void commandExecuted(int id);

 private:
  void Apply(QAction* action, const CommandState& state);
  void AboutToShow(QMenu* menu);
  void RefreshRecentFiles(QMenu* menu);

  QWidget* window_;
  CommandRouter& router_;
  std::map<int, QAction*> actions_;
  std::map<int, QString> tableTexts_;
  const RecentFileList* recent_ = nullptr;
  int recentFirstId_ = 0;
};

// The text of a menu entry as a tooltip: without mnemonics and without the
// key part after a tab.
QString PlainCommandText(const QString& menuText);

}  // namespace quarnel
