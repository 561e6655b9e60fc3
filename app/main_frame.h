// The main window of the program with its menus, toolbars and the area of
// the document windows. The menus, keys and toolbars are built from the
// tables of main_frame.cpp.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "platform/command_table.h"
#include "platform/command_target.h"
#include "platform/main_window.h"

class QToolBar;

namespace quarnel {

class DocumentManager;
class RecentFileList;

// The popups of the menu bars, in table order.
std::vector<MenuNode> NoDocumentMenuTable();  // menu 128
std::vector<MenuNode> DocumentMenuTable();    // menu 129
std::vector<Accelerator> AcceleratorTable();
std::vector<ToolButton> MainToolBarTable();
std::vector<ToolButton> SelectionToolBarTable();
// Positions of the Mesh and Selection popups in the document menu table.
inline constexpr int kMeshMenuPosition = 2;

class CMainFrame final : public QObject, public CommandTarget {
  Q_OBJECT

 public:
  CMainFrame(const QString& title, CommandRouter& router);
  ~CMainFrame() override;

  // Builds menus, keys and toolbars; false when one of them cannot be made.
  bool OnCreate(const RecentFileList* recent);
  // In viewer mode the first document window to become active takes the
  // Mesh and Selection menus off the menu bar for the rest of the run.
  void WatchFirstActivation(DocumentManager& documents, bool editMode);

  MainWindow& Window() { return *window_; }
  CommandTable& Commands() { return *commands_; }
  QToolBar* MainToolBar() const { return mainToolBar_; }
  QToolBar* SelectionToolBar() const { return selectionToolBar_; }
  void DockSelectionToolBar();

  bool OnCommand(int id) override { return map_.OnCommand(id); }
  bool HandlesCommand(int id) const override { return map_.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& state) override { return map_.OnUpdate(id, state); }

 private:
  std::unique_ptr<MainWindow> window_;
  CommandTable* commands_;  // owned by the window
  QToolBar* mainToolBar_ = nullptr;
  QToolBar* selectionToolBar_ = nullptr;
  bool firstActivation_ = true;
  CommandMap map_;
};

}  // namespace quarnel
