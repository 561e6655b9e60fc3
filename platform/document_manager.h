#pragma once

#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/command_target.h"
#include "platform/document.h"

class QWidget;

namespace quarnel {

class CommandRouter;
class FileDialogs;
class MainWindow;
class RecentFileList;

// The window of one document view inside the main window's MDI area.
class DocumentFrame final : public QMdiSubWindow {
  Q_OBJECT

 public:
  using QMdiSubWindow::QMdiSubWindow;
  ~DocumentFrame() override;

  // Gives the window, added to an MDI area, its place and size for when it
  // is not maximised: below and right of the windows made before it, one
  // title bar further each, three quarters of the area wide and high. A
  // window shown maximised from the start would otherwise come back from it
  // (restored by the user, or by the area when another window comes
  // forward) with the size it was made with: a bare title bar.
  void TakeCascadeGeometry();

 signals:
  // The window accepted a close and is on its way out.
  void closed(DocumentFrame* frame);
  // The window is being deleted; this is the last moment it is still whole.
  void destroying(DocumentFrame* frame);

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// Opens, saves and closes the program's documents and keeps their windows:
// one DocumentFrame per view in the main window's MDI area, shown maximised
// when it is made, with its cascade place and size for when it is restored.
// It owns the documents; a document is deleted after its last view.
//
// It keeps the main window's title (the active document's title after the
// base title) and its menu bar (the document menus while any document window
// is open), adds opened and saved files to the recent-file list, and opens
// files dropped on the main window (or hands them to the drop route).
//
// It handles the framework commands of framework_commands.h: File New, Open,
// the recent files and Exit (ApplicationCommands), and Save, Save As and
// Close of the active document (DocumentCommands).
class DocumentManager final : public QObject {
  Q_OBJECT

 public:
  // recent may be null (no recent-file list).
  DocumentManager(MainWindow& window, DocumentTemplate& docTemplate, FileDialogs& dialogs,
                  RecentFileList* recent);
  ~DocumentManager() override;

  // A document made by File New, with its window; null when it refused.
  Document* NewDocument();
  // Opens the file into a new document with its window; null when the
  // document failed to open it (it has told the user why). A file that is
  // open already is not opened again: its document window is activated and
  // its document returned.
  Document* OpenDocumentFile(const QString& path);
  // True while OpenDocumentFile reads a file.
  bool Opening() const { return opening_ > 0; }
  // Where files dropped on the main window go. Without a route each opens at
  // once, in the order dropped.
  void SetDropRoute(std::function<void(const QStringList&)> route) {
    dropRoute_ = std::move(route);
  }
  // Asks for a file and opens it.
  Document* PromptAndOpen();
  // Save (askForName false) or Save As (true). Save asks for a name too when
  // the document has no file yet or its file is missing or read-only. True
  // when the document was written; then its path and title are the new ones.
  bool SaveDocument(Document& doc, bool askForName);
  // Closes every window of doc; false when one of them refused to close.
  bool CloseDocument(Document& doc);
  bool CloseAllDocuments();
  // Ends the bookkeeping and deletes every document window, then every
  // document. The main window calls it as it goes; the manager's own
  // destruction does too.
  void CloseDown();

  // The view of the active document window, its document; null when no
  // document window is open.
  QWidget* ActiveView() const;
  Document* ActiveDocument() const;
  std::vector<Document*> Documents() const;
  std::vector<QWidget*> ViewsOf(const Document& doc) const;
  // Every view of every document, documents in the order they were opened.
  std::vector<QWidget*> AllViews() const;
  Document* DocumentOf(const QWidget* view) const;
  QMdiSubWindow* FrameOf(const QWidget* view) const;
  // Schedules a repaint of every view of doc but except.
  void UpdateAllViews(const Document& doc, QWidget* except = nullptr);

  CommandTarget& ApplicationCommands() { return appCommands_; }
  // Null while no document is active.
  CommandTarget* DocumentCommands();
  // Appends the program's chain to router: the active view (when it is a
  // CommandTarget), its document, the document commands, mainFrame, app,
  // then the application commands. mainFrame and app may be null.
  void LinkRouter(CommandRouter& router, CommandTarget* mainFrame, CommandTarget* app);

 signals:
  void documentOpened(Document* doc);
  // The document's last window closed; the document is deleted right after
  // its views are.
  void documentClosing(Document* doc);
  void viewCreated(QWidget* view);
  // A document window became the active one; null when the last one closed.
  void viewActivated(QWidget* view);

 private:
  // Frames and views are compared as plain pointers and never cast: while
  // a window is deleted, signals about it arrive from inside its base
  // classes' destructors.
  struct ViewEntry {
    QWidget* view;
    DocumentFrame* frame;  // null once the window is being deleted
    Document* doc;
    bool live;  // false once its window accepted a close
  };

  Document* Adopt(std::unique_ptr<Document> doc);
  // The open document of the file at path (compared by canonical path), or null.
  Document* FindOpenDocument(const QString& path) const;
  void ActivateDocument(const Document& doc);
  void OnFrameClosed(DocumentFrame* frame);
  void OnFrameDestroying(DocumentFrame* frame);
  void OnViewDestroyed(QWidget* view);
  void OnSubWindowActivated(QMdiSubWindow* frame);
  void Detach(ViewEntry& entry);
  void RefreshWindow();
  void OpenRecent(int index);
  void AddRecent(const QString& path);
  bool HasLiveViews(const Document& doc) const;
  ViewEntry* EntryOf(const QWidget* view);
  const ViewEntry* EntryOf(const QWidget* view) const;
  void BuildCommands();

  QPointer<MainWindow> window_;
  DocumentTemplate& template_;
  FileDialogs& dialogs_;
  RecentFileList* recent_;
  std::vector<std::unique_ptr<Document>> documents_;
  // Documents whose windows are closed, waiting for their views' deletion.
  std::vector<std::unique_ptr<Document>> closing_;
  std::vector<ViewEntry> views_;
  std::vector<QWidget*> activation_;  // live views, most recently active last
  int untitledCount_ = 0;
  bool closingDown_ = false;
  int opening_ = 0;
  std::function<void(const QStringList&)> dropRoute_;
  CommandMap appCommands_;
  CommandMap docCommands_;
};

}  // namespace quarnel
