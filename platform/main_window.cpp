#include "platform/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QOpenGLWidget>
#include <QUrl>

#include "platform/command_table.h"

namespace quarnel {

QStringList LocalFilePaths(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      // A "%00" in the URL would cut the name short where the file is opened:
      // such a URL names no file.
      const QString path = url.toLocalFile();
      if (!path.isEmpty() && !path.contains(QChar(u'\0'))) {
        paths.append(path);
      }
    }
  }
  return paths;
}

MainWindow::MainWindow(const QString& baseTitle, QWidget* parent)
    : QMainWindow(parent), mdiArea_(new QMdiArea(this)), baseTitle_(baseTitle) {
  setCentralWidget(mdiArea_);
  // The document views draw with OpenGL, and a window that holds one is
  // composed with OpenGL. Made for that from the start, the window keeps its
  // window-system window when the first view comes; made anew then, it lost
  // whatever was sent to the old one meanwhile, such as the window manager's
  // close during the first load. The widget that says so stays hidden.
  (new QOpenGLWidget(this))->hide();
  setAcceptDrops(true);
  AddDocumentWindowKeys();
  ApplyTitle();
}

void MainWindow::AddDocumentWindowKeys() {
  // The keys every multi-document program has, which stand in no menu:
  // next and previous document window, and close the active one.
  const auto add = [this](const QList<QKeySequence>& keys, void (QMdiArea::*slot)()) {
    auto* action = new QAction(this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, mdiArea_, slot);
    addAction(action);
  };
  add({QKeySequence(Qt::CTRL | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)},
      &QMdiArea::activateNextSubWindow);
  add({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6),
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
      &QMdiArea::activatePreviousSubWindow);
  add({QKeySequence(Qt::CTRL | Qt::Key_F4)}, &QMdiArea::closeActiveSubWindow);
}

MainWindow::~MainWindow() {
  // The document windows go first, while this window is still whole: their
  // views and documents may reach back to it as they close down.
  emit closingDown();
  qDeleteAll(mdiArea_->subWindowList());
}

void MainWindow::SetBaseTitle(const QString& title) {
  baseTitle_ = title;
  ApplyTitle();
}

void MainWindow::SetDocumentTitle(const QString& title) {
  documentTitle_ = title;
  ApplyTitle();
}

QString MainWindow::ComposedTitle() const {
  return documentTitle_.isEmpty() ? baseTitle_
                                  : baseTitle_ + QStringLiteral(" - ") + documentTitle_;
}

void MainWindow::ApplyTitle() {
  const QString title = ComposedTitle();
  if (windowTitle() != title) {
    setWindowTitle(title);
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A maximised MDI window writes "<title> - [<window>]" into the main
  // window's title; the program's title stays its own.
  if (event->type() == QEvent::WindowTitleChange) {
    ApplyTitle();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) emit closed();
}

void MainWindow::SetMenuBars(std::vector<QMenu*> noDocument, std::vector<QMenu*> document) {
  noDocumentMenus_ = std::move(noDocument);
  documentMenus_ = std::move(document);
  RebuildMenuBar();
}

void MainWindow::ShowDocumentMenus(bool show) {
  if (show != showingDocument_) {
    showingDocument_ = show;
    RebuildMenuBar();
  }
}

const std::vector<QMenu*>& MainWindow::ShownMenus() const {
  return showingDocument_ ? documentMenus_ : noDocumentMenus_;
}

void MainWindow::RebuildMenuBar() {
  QMenuBar* bar = menuBar();
  bar->clear();
  for (QMenu* menu : ShownMenus()) {
    bar->addMenu(menu);
  }
}

bool MainWindow::RemoveDocumentMenu(int position) {
  if (position < 0 || position >= static_cast<int>(documentMenus_.size())) {
    return false;
  }
  documentMenus_.erase(documentMenus_.begin() + position);
  if (showingDocument_) {
    RebuildMenuBar();
  }
  return true;
}

QMenu* MainWindow::MenuAt(int position) const {
  const std::vector<QMenu*>& menus = ShownMenus();
  return position >= 0 && position < static_cast<int>(menus.size()) ? menus[position] : nullptr;
}

QMenu* MainWindow::MenuTitled(const QString& title) const {
  for (QMenu* menu : ShownMenus()) {
    if (PlainCommandText(menu->title()) == title) {
      return menu;
    }
  }
  return nullptr;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !LocalFilePaths(event->mimeData()->urls()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls() && !LocalFilePaths(event->mimeData()->urls()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalFilePaths(event->mimeData()->urls());
  if (paths.isEmpty()) {
    return;
  }
  event->acceptProposedAction();
  // Files come from another program: bring the window forward first.
  BringForward();
  emit filesDropped(paths);
}

void MainWindow::BringForward() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

}  // namespace quarnel
