#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <vector>

class QMdiArea;
class QMenu;

namespace quarnel {

// The program's main window: the menu bar, the toolbars and the area that
// holds one window per open document view.
//
// Title: the base title ("Quarnel", or a custom one such as "Tolvane"), then
// " - " and the active document's title while one is active. The MDI area's
// own title decoration of maximised windows is overridden.
//
// Menus: two menu bars as in a multi-document program, one while no document
// window is open and one while any is; both are lists of popups built from
// tables (CommandTable) and swapped on the one menu bar.
//
// Files dragged from a file manager onto the window are reported with their
// local paths by filesDropped.
//
// Keys of the document windows: Ctrl+F6 and Ctrl+Tab activate the next one,
// Ctrl+Shift+F6 and Ctrl+Shift+Tab the previous one, Ctrl+F4 closes the
// active one.
class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(const QString& baseTitle = QStringLiteral("Quarnel"),
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  QMdiArea* MdiArea() const { return mdiArea_; }

  void SetBaseTitle(const QString& title);
  const QString& BaseTitle() const { return baseTitle_; }
  // The active document's title; empty when no document window is active.
  void SetDocumentTitle(const QString& title);
  QString ComposedTitle() const;

  void SetMenuBars(std::vector<QMenu*> noDocument, std::vector<QMenu*> document);
  void ShowDocumentMenus(bool show);
  bool ShowingDocumentMenus() const { return showingDocument_; }
  const std::vector<QMenu*>& DocumentMenus() const { return documentMenus_; }
  const std::vector<QMenu*>& NoDocumentMenus() const { return noDocumentMenus_; }
  // Takes a popup off the document menu bar for the rest of the run (the
  // positions count the popups of the table, from 0). False when there is
  // no popup at that position.
  bool RemoveDocumentMenu(int position);
  // The popup at a position of the menu bar as it is shown now, or null.
  QMenu* MenuAt(int position) const;
  // The popup of the shown menu bar whose text (mnemonics removed) is title.
  QMenu* MenuTitled(const QString& title) const;
  // Out of the minimised state, on top and active: files handed over from
  // another program (a drop, the desktop) open in front of the user.
  void BringForward();

 signals:
  void filesDropped(const QStringList& paths);
  // The window is being deleted and its document windows go next: whatever
  // keeps books about them stops here.
  void closingDown();
  // The window accepted a close, by whatever route it came (the File menu's
  // Exit, the window manager's close button or key, the session's end), and
  // goes off the screen: the program is ending.
  void closed();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void AddDocumentWindowKeys();
  void ApplyTitle();
  void RebuildMenuBar();
  const std::vector<QMenu*>& ShownMenus() const;

  QMdiArea* mdiArea_;
  QString baseTitle_;
  QString documentTitle_;
  std::vector<QMenu*> noDocumentMenus_;
  std::vector<QMenu*> documentMenus_;
  bool showingDocument_ = false;
};

// The local file paths among dropped URLs, in their order.
QStringList LocalFilePaths(const QList<QUrl>& urls);

}  // namespace quarnel
