#include "platform/command_table.h"

#include <QAction>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QPointer>
#include <QToolBar>
#include <QWidget>

#include "platform/recent_files.h"

namespace quarnel {

namespace {

// Qt menus append an action's key to its text unless the text already holds a
// tab. The program's menus show exactly their table texts, so a text without
// a key part gets an empty one.
QString MenuActionText(const QString& text) {
  return text.contains(QLatin1Char('\t')) ? text : text + QLatin1Char('\t');
}

}  // namespace

QString PlainCommandText(const QString& menuText) {
  const QString head = menuText.section(QLatin1Char('\t'), 0, 0);
  QString plain;
  plain.reserve(head.size());
  for (qsizetype i = 0; i < head.size(); ++i) {
    if (head.at(i) == QLatin1Char('&')) {
      if (i + 1 < head.size() && head.at(i + 1) == QLatin1Char('&')) {
        plain.append(QLatin1Char('&'));
        ++i;
      }
      continue;
    }
    plain.append(head.at(i));
  }
  return plain.trimmed();
}

CommandTable::CommandTable(QWidget* window, CommandRouter& router)
    : QObject(window), window_(window), router_(router) {}

CommandTable::~CommandTable() = default;

QAction* CommandTable::FindAction(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* CommandTable::Action(int id) {
  if (QAction* existing = FindAction(id)) {
    return existing;
  }
  auto* action = new QAction(this);
  action->setData(id);
  action->setShortcutContext(Qt::WindowShortcut);
  // Nothing is enabled before its update handler has said so.
  action->setEnabled(false);
  connect(action, &QAction::triggered, this, [this, id] { Execute(id); });
  if (window_ != nullptr) {
    window_->addAction(action);
  }
  actions_.emplace(id, action);
  return action;
}

int CommandTable::IdOf(const QAction* action) const {
  if (action == nullptr) {
    return 0;
  }
  const auto it = actions_.find(action->data().toInt());
  return it != actions_.end() && it->second == action ? it->first : 0;
}

QMenu* CommandTable::BuildPopup(const MenuNode& popup, QWidget* parent) {
  auto* menu = new QMenu(QString::fromUtf8(popup.text != nullptr ? popup.text : ""), parent);
  for (const MenuNode& item : popup.items) {
    if (item.popup) {
      menu->addMenu(BuildPopup(item, menu));
    } else if (item.IsSeparator()) {
      menu->addSeparator();
    } else {
      QAction* action = Action(item.id);
      const QString text = QString::fromUtf8(item.text != nullptr ? item.text : "");
      tableTexts_[item.id] = text;
      action->setText(MenuActionText(text));
      action->setIconText(PlainCommandText(text));
      menu->addAction(action);
    }
  }
  connect(menu, &QMenu::aboutToShow, this, [this, menu] { AboutToShow(menu); });
  return menu;
}

std::vector<QMenu*> CommandTable::BuildMenuBar(const std::vector<MenuNode>& popups,
                                               QWidget* parent) {
  std::vector<QMenu*> menus;
  menus.reserve(popups.size());
  for (const MenuNode& popup : popups) {
    menus.push_back(BuildPopup(popup, parent));
  }
  return menus;
}

void CommandTable::SetAccelerators(const std::vector<Accelerator>& keys) {
  std::map<int, QList<QKeySequence>> byId;
  for (const Accelerator& key : keys) {
    byId[key.id].append(
        QKeySequence::fromString(QString::fromLatin1(key.keys), QKeySequence::PortableText));
  }
  for (const auto& [id, sequences] : byId) {
    Action(id)->setShortcuts(sequences);
  }
}

QToolBar* CommandTable::BuildToolBar(const QString& title, const std::vector<ToolButton>& buttons,
                                     QSize iconSize, QWidget* parent) {
  auto* bar = new QToolBar(title, parent);
  bar->setObjectName(title);
  bar->setIconSize(iconSize);
  for (const ToolButton& button : buttons) {
    if (button.id == 0) {
      bar->addSeparator();
      continue;
    }
    QAction* action = Action(button.id);
    if (button.icon != nullptr) {
      action->setIcon(QIcon(QString::fromUtf8(button.icon)));
    }
    QString tip =
        button.tip != nullptr ? QString::fromUtf8(button.tip) : PlainCommandText(action->text());
    if (action->text().isEmpty()) {
      // A command that stands in no menu: its tip names it.
      action->setText(MenuActionText(tip));
      action->setIconText(tip);
    }
    action->setToolTip(tip);
    bar->addAction(action);
  }
  return bar;
}

void CommandTable::AttachRecentFiles(const RecentFileList* list, int firstId) {
  recent_ = list;
  recentFirstId_ = firstId;
}

bool CommandTable::Execute(int id) {
  const CommandState state = router_.Query(id);
  if (!state.enabled) {
    if (QAction* action = FindAction(id)) {
      Apply(action, state);
    }
    return false;
  }
  // A command may close the window that owns this table.
  QPointer<CommandTable> self(this);
  const bool handled = router_.Execute(id);
  if (self) {
    emit commandExecuted(id);
  }
  if (self) {
    UpdateAll();
  }
  return handled;
}

void CommandTable::UpdateAll() {
  for (const auto& [id, action] : actions_) {
    Apply(action, router_.Query(id));
  }
}

void CommandTable::Update(int id) {
  if (QAction* action = FindAction(id)) {
    Apply(action, router_.Query(id));
  }
}

void CommandTable::UpdateMenu(QMenu* menu) {
  for (QAction* action : menu->actions()) {
    if (const int id = IdOf(action); id != 0) {
      Apply(action, router_.Query(id));
    }
  }
}

void CommandTable::Apply(QAction* action, const CommandState& state) {
  action->setEnabled(state.enabled);
  if (state.checked) {
    action->setCheckable(true);
    action->setChecked(true);
  } else if (action->isCheckable()) {
    // An unchecked item shows no check box at all, as in the menus'
    // tables, rather than an empty one.
    action->setChecked(false);
    action->setCheckable(false);
  }
  if (state.text) {
    action->setText(MenuActionText(*state.text));
  }
}

void CommandTable::AboutToShow(QMenu* menu) {
  RefreshRecentFiles(menu);
  UpdateMenu(menu);
}

void CommandTable::RefreshRecentFiles(QMenu* menu) {
  if (recent_ == nullptr) {
    return;
  }
  QAction* first = FindAction(recentFirstId_);
  if (first == nullptr || !menu->actions().contains(first)) {
    return;
  }
  for (int i = 1; i < recent_->Capacity(); ++i) {
    if (QAction* entry = FindAction(recentFirstId_ + i)) {
      menu->removeAction(entry);
    }
  }
  if (recent_->Empty()) {
    first->setText(MenuActionText(tableTexts_[recentFirstId_]));
    return;
  }
  first->setText(MenuActionText(recent_->MenuText(0)));
  const QList<QAction*> actions = menu->actions();
  const qsizetype at = actions.indexOf(first);
  QAction* before = at + 1 < actions.size() ? actions.at(at + 1) : nullptr;
  for (int i = 1; i < recent_->Size(); ++i) {
    QAction* entry = Action(recentFirstId_ + i);
    entry->setText(MenuActionText(recent_->MenuText(i)));
    menu->insertAction(before, entry);
  }
}

}  // namespace quarnel
