#include "platform/document_manager.h"

#include <QCloseEvent>
#include <QDir>
#include <QLayout>
#include <QFileInfo>
#include <QMdiArea>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <algorithm>

#include "platform/file_dialogs.h"
#include "platform/framework_commands.h"
#include "platform/main_window.h"
#include "platform/recent_files.h"

namespace quarnel {

namespace {

QString CleanAbsolutePath(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

DocumentFrame::~DocumentFrame() { emit destroying(this); }

void DocumentFrame::closeEvent(QCloseEvent* event) {
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) {
    emit closed(this);
  }
}

void DocumentFrame::TakeCascadeGeometry() {
  QMdiArea* area = mdiArea();
  if (area == nullptr) {
    return;
  }
  if (!area->isVisible()) {
    // Before the main window is first shown its area has no size yet.
    if (QWidget* top = area->window(); top->layout() != nullptr) {
      top->layout()->activate();
    }
  }
  const QSize room = area->contentsRect().size();
  const QSize least = minimumSizeHint().expandedTo(minimumSize());
  const int width = std::max(room.width() * 3 / 4, least.width());
  const int height = std::max(room.height() * 3 / 4, least.height());
  QStyleOptionTitleBar option;
  option.initFrom(this);
  const int step = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, this), 1);
  // The windows made before this one, each a step further, starting again
  // at the corner once a window would reach past the area.
  const int index = std::max(
      static_cast<int>(area->subWindowList(QMdiArea::CreationOrder).indexOf(this)), 0);
  const int places = std::max(
      1 + std::min(room.width() - width, room.height() - height) / step, 1);
  const int offset = (index % places) * step;
  setGeometry(offset, offset, width, height);
}

DocumentManager::DocumentManager(MainWindow& window, DocumentTemplate& docTemplate,
                                 FileDialogs& dialogs, RecentFileList* recent)
    : QObject(&window),
      window_(&window),
      template_(docTemplate),
      dialogs_(dialogs),
      recent_(recent) {
  connect(window.MdiArea(), &QMdiArea::subWindowActivated, this,
          &DocumentManager::OnSubWindowActivated);
  connect(&window, &MainWindow::filesDropped, this, [this](const QStringList& paths) {
    if (dropRoute_) {
      dropRoute_(paths);
      return;
    }
    for (const QString& path : paths) {
      OpenDocumentFile(path);
    }
  });
  connect(&window, &MainWindow::closingDown, this, &DocumentManager::CloseDown);
  BuildCommands();
}

DocumentManager::~DocumentManager() { CloseDown(); }

void DocumentManager::CloseDown() {
  if (closingDown_) {
    return;
  }
  // From here on no window is activated, detached or retitled: the windows
  // go one after the other and the main window may be going too. Only the
  // list of views is kept, so that a view can still reach its document, and
  // the other views, while it is deleted.
  closingDown_ = true;
  if (window_) {
    disconnect(window_->MdiArea(), nullptr, this, nullptr);
  }
  std::vector<DocumentFrame*> frames;
  for (ViewEntry& entry : views_) {
    if (entry.frame != nullptr) {
      frames.push_back(entry.frame);
    }
  }
  activation_.clear();
  // The windows go before the documents, as views may still refer to their
  // documents while they go.
  for (DocumentFrame* frame : frames) {
    delete frame;
  }
  for (ViewEntry& entry : views_) {
    disconnect(entry.view, nullptr, this, nullptr);
  }
  views_.clear();
  closing_.clear();
  documents_.clear();
}

void DocumentManager::BuildCommands() {
  using namespace framework_command;
  appCommands_.On(kFileNew, [this] { NewDocument(); });
  appCommands_.On(kFileOpen, [this] { PromptAndOpen(); });
  appCommands_.On(kAppExit, [this] {
    if (window_) {
      window_->close();
    }
  });
  const int recentCount = recent_ != nullptr ? recent_->Capacity() : 0;
  if (recentCount > 0) {
    appCommands_.OnRange(
        kRecentFileFirst, kRecentFileFirst + recentCount - 1,
        [this](int id) { OpenRecent(id - kRecentFileFirst); },
        [this](int id, CommandState& state) {
          state.enabled = id - kRecentFileFirst < recent_->Size();
        });
  }
  docCommands_.On(kFileSave, [this] {
    if (Document* doc = ActiveDocument()) {
      SaveDocument(*doc, false);
    }
  });
  docCommands_.On(kFileSaveAs, [this] {
    if (Document* doc = ActiveDocument()) {
      SaveDocument(*doc, true);
    }
  });
  docCommands_.On(kFileClose, [this] {
    if (Document* doc = ActiveDocument()) {
      CloseDocument(*doc);
    }
  });
}

CommandTarget* DocumentManager::DocumentCommands() {
  return ActiveDocument() != nullptr ? &docCommands_ : nullptr;
}

void DocumentManager::LinkRouter(CommandRouter& router, CommandTarget* mainFrame,
                                 CommandTarget* app) {
  router.AddLink([this]() -> CommandTarget* { return dynamic_cast<CommandTarget*>(ActiveView()); });
  router.AddLink([this]() -> CommandTarget* { return ActiveDocument(); });
  router.AddLink([this] { return DocumentCommands(); });
  router.AddLink([mainFrame] { return mainFrame; });
  router.AddLink([app] { return app; });
  router.AddLink([this]() -> CommandTarget* { return &appCommands_; });
}

Document* DocumentManager::NewDocument() {
  std::unique_ptr<Document> doc = template_.CreateDocument();
  if (!doc) {
    return nullptr;
  }
  doc->manager_ = this;
  doc->title_ = template_.UntitledName() + QString::number(++untitledCount_);
  if (!doc->OnNewDocument()) {
    return nullptr;
  }
  return Adopt(std::move(doc));
}

Document* DocumentManager::OpenDocumentFile(const QString& path) {
  if (path.isEmpty()) {
    return nullptr;
  }
  const QString fullPath = CleanAbsolutePath(path);
  if (Document* open = FindOpenDocument(fullPath)) {
    // A file is open once: its window comes forward instead.
    ActivateDocument(*open);
    return open;
  }
  std::unique_ptr<Document> doc = template_.CreateDocument();
  if (!doc) {
    return nullptr;
  }
  doc->manager_ = this;
  ++opening_;
  const bool opened = doc->OnOpenDocument(fullPath);
  --opening_;
  if (!opened) {
    return nullptr;
  }
  doc->pathName_ = fullPath;
  doc->title_ = QFileInfo(fullPath).fileName();
  AddRecent(fullPath);
  return Adopt(std::move(doc));
}

Document* DocumentManager::FindOpenDocument(const QString& path) const {
  // Through links and other spellings the same file keeps one name.
  const QString canonical = QFileInfo(path).canonicalFilePath();
  if (canonical.isEmpty()) {
    return nullptr;
  }
  for (const auto& doc : documents_) {
    if (!doc->pathName_.isEmpty() && QFileInfo(doc->pathName_).canonicalFilePath() == canonical) {
      return doc.get();
    }
  }
  return nullptr;
}

void DocumentManager::ActivateDocument(const Document& doc) {
  // The document's window that was active last.
  for (auto it = activation_.rbegin(); it != activation_.rend(); ++it) {
    const ViewEntry* entry = EntryOf(*it);
    if (entry != nullptr && entry->doc == &doc && entry->frame != nullptr && window_) {
      window_->MdiArea()->setActiveSubWindow(entry->frame);
      return;
    }
  }
}

Document* DocumentManager::PromptAndOpen() {
  QString filter = template_.FileFilter();
  if (!filter.isEmpty()) {
    filter += QStringLiteral(";;");
  }
  filter += QStringLiteral("All Files (*)");
  const std::optional<QString> path = dialogs_.GetOpenFileName(window_, filter);
  return path ? OpenDocumentFile(*path) : nullptr;
}

Document* DocumentManager::Adopt(std::unique_ptr<Document> owned) {
  if (!window_) {
    return nullptr;
  }
  QWidget* view = template_.CreateView(*owned);
  if (view == nullptr) {
    return nullptr;
  }
  Document* doc = owned.get();
  documents_.push_back(std::move(owned));

  auto* frame = new DocumentFrame;
  frame->setWidget(view);
  frame->setAttribute(Qt::WA_DeleteOnClose);
  frame->setWindowTitle(doc->title_);
  views_.push_back({view, frame, doc, true});
  activation_.push_back(view);
  connect(frame, &DocumentFrame::closed, this, &DocumentManager::OnFrameClosed);
  connect(frame, &DocumentFrame::destroying, this, &DocumentManager::OnFrameDestroying);
  connect(view, &QObject::destroyed, this, [this, view] { OnViewDestroyed(view); });

  window_->MdiArea()->addSubWindow(frame);
  frame->TakeCascadeGeometry();
  emit viewCreated(view);
  // Every document window is shown maximised, also when the others are not.
  frame->showMaximized();
  window_->MdiArea()->setActiveSubWindow(frame);
  // Maximised over restored windows, the new window takes the whole area,
  // but only the window itself is marked to be drawn: the area kept what the
  // restored windows showed (their title bars, the grey under the pane)
  // until something else drew it, as the closing of File > Open's menu and
  // dialog happened to. Every route of an open draws the whole area here.
  window_->MdiArea()->viewport()->update();
  RefreshWindow();
  emit documentOpened(doc);
  return doc;
}

bool DocumentManager::SaveDocument(Document& doc, bool askForName) {
  QString target = doc.pathName_;
  bool rename = askForName;
  if (!rename) {
    const QFileInfo info(target);
    rename = target.isEmpty() || !info.exists() || !info.isWritable();
  }
  if (rename) {
    const QString initial = doc.pathName_.isEmpty() ? doc.title_ : doc.pathName_;
    const std::optional<QString> chosen = dialogs_.GetSaveFileName(
        window_, template_.FileFilter(), template_.DefaultExtension(), initial);
    if (!chosen || chosen->isEmpty()) {
      return false;
    }
    target = CleanAbsolutePath(*chosen);
  }
  if (!doc.OnSaveDocument(target)) {
    return false;
  }
  if (rename) {
    doc.pathName_ = target;
    doc.title_ = QFileInfo(target).fileName();
    for (const ViewEntry& entry : views_) {
      if (entry.doc == &doc && entry.frame) {
        entry.frame->setWindowTitle(doc.title_);
      }
    }
    AddRecent(target);
    RefreshWindow();
  }
  return true;
}

bool DocumentManager::CloseDocument(Document& doc) {
  // A close may run events; each window is looked up again before its turn.
  bool all = true;
  for (QWidget* view : ViewsOf(doc)) {
    QMdiSubWindow* frame = FrameOf(view);
    if (frame != nullptr && !frame->close()) {
      all = false;
    }
  }
  return all;
}

bool DocumentManager::CloseAllDocuments() {
  bool all = true;
  for (Document* doc : Documents()) {
    all = CloseDocument(*doc) && all;
  }
  return all;
}

void DocumentManager::OnFrameClosed(DocumentFrame* frame) {
  const auto it = std::find_if(views_.begin(), views_.end(),
                               [frame](const ViewEntry& e) { return e.frame == frame; });
  if (it != views_.end() && it->live) {
    Detach(*it);
  }
}

void DocumentManager::OnFrameDestroying(DocumentFrame* frame) {
  const auto it = std::find_if(views_.begin(), views_.end(),
                               [frame](const ViewEntry& e) { return e.frame == frame; });
  if (it == views_.end()) {
    return;
  }
  it->frame = nullptr;
  if (it->live && !closingDown_) {
    // Deleted without a close.
    Detach(*it);
  }
}

void DocumentManager::Detach(ViewEntry& entry) {
  entry.live = false;
  activation_.erase(std::remove(activation_.begin(), activation_.end(), entry.view),
                    activation_.end());
  Document* doc = entry.doc;
  if (!HasLiveViews(*doc)) {
    const auto it = std::find_if(documents_.begin(), documents_.end(),
                                 [doc](const auto& owned) { return owned.get() == doc; });
    if (it != documents_.end()) {
      closing_.push_back(std::move(*it));
      documents_.erase(it);
      emit documentClosing(doc);
    }
  }
  RefreshWindow();
  emit viewActivated(ActiveView());
}

void DocumentManager::OnViewDestroyed(QWidget* view) {
  const auto it = std::find_if(views_.begin(), views_.end(),
                               [view](const ViewEntry& e) { return e.view == view; });
  if (it == views_.end()) {
    return;
  }
  Document* doc = it->doc;
  if (it->live && !closingDown_) {
    // Destroyed without a close of its window.
    Detach(*it);
  }
  views_.erase(std::remove_if(views_.begin(), views_.end(),
                              [view](const ViewEntry& e) { return e.view == view; }),
               views_.end());
  const bool viewsLeft =
      std::any_of(views_.begin(), views_.end(), [doc](const ViewEntry& e) { return e.doc == doc; });
  if (!viewsLeft) {
    closing_.erase(std::remove_if(closing_.begin(), closing_.end(),
                                  [doc](const auto& owned) { return owned.get() == doc; }),
                   closing_.end());
  }
}

void DocumentManager::OnSubWindowActivated(QMdiSubWindow* frame) {
  if (closingDown_) {
    return;
  }
  if (frame != nullptr) {
    for (const ViewEntry& entry : views_) {
      if (entry.frame == frame && entry.live) {
        activation_.erase(std::remove(activation_.begin(), activation_.end(), entry.view),
                          activation_.end());
        activation_.push_back(entry.view);
        RefreshWindow();
        emit viewActivated(entry.view);
        return;
      }
    }
  }
  RefreshWindow();
}

void DocumentManager::RefreshWindow() {
  if (!window_ || closingDown_) {
    return;
  }
  const bool anyLive =
      std::any_of(views_.begin(), views_.end(), [](const ViewEntry& e) { return e.live; });
  window_->ShowDocumentMenus(anyLive);
  const Document* doc = ActiveDocument();
  window_->SetDocumentTitle(doc != nullptr ? doc->Title() : QString());
}

void DocumentManager::OpenRecent(int index) {
  if (recent_ == nullptr || index < 0 || index >= recent_->Size()) {
    return;
  }
  const QString path = recent_->At(index);
  if (OpenDocumentFile(path) == nullptr) {
    // A file that no longer opens leaves the list, as it would only fail again.
    const int at = static_cast<int>(recent_->Paths().indexOf(path));
    recent_->Remove(at);
    recent_->Save();
  }
}

void DocumentManager::AddRecent(const QString& path) {
  if (recent_ != nullptr) {
    recent_->Add(path);
    recent_->Save();
  }
}

bool DocumentManager::HasLiveViews(const Document& doc) const {
  return std::any_of(views_.begin(), views_.end(),
                     [&doc](const ViewEntry& e) { return e.doc == &doc && e.live; });
}

DocumentManager::ViewEntry* DocumentManager::EntryOf(const QWidget* view) {
  for (ViewEntry& entry : views_) {
    if (entry.view == view && entry.live) {
      return &entry;
    }
  }
  return nullptr;
}

const DocumentManager::ViewEntry* DocumentManager::EntryOf(const QWidget* view) const {
  for (const ViewEntry& entry : views_) {
    if (entry.view == view && entry.live) {
      return &entry;
    }
  }
  return nullptr;
}

QWidget* DocumentManager::ActiveView() const {
  if (closingDown_) {
    return nullptr;
  }
  if (window_) {
    if (QMdiSubWindow* current = window_->MdiArea()->currentSubWindow()) {
      for (const ViewEntry& entry : views_) {
        if (entry.frame == current && entry.live) {
          return entry.view;
        }
      }
    }
  }
  return activation_.empty() ? nullptr : activation_.back();
}

Document* DocumentManager::ActiveDocument() const {
  const ViewEntry* entry = EntryOf(ActiveView());
  return entry != nullptr ? entry->doc : nullptr;
}

std::vector<Document*> DocumentManager::Documents() const {
  std::vector<Document*> docs;
  docs.reserve(documents_.size());
  for (const auto& doc : documents_) {
    docs.push_back(doc.get());
  }
  return docs;
}

std::vector<QWidget*> DocumentManager::ViewsOf(const Document& doc) const {
  std::vector<QWidget*> views;
  for (const ViewEntry& entry : views_) {
    if (entry.doc == &doc && entry.live) {
      views.push_back(entry.view);
    }
  }
  return views;
}

std::vector<QWidget*> DocumentManager::AllViews() const {
  std::vector<QWidget*> views;
  for (const auto& doc : documents_) {
    const std::vector<QWidget*> ofDoc = ViewsOf(*doc);
    views.insert(views.end(), ofDoc.begin(), ofDoc.end());
  }
  return views;
}

Document* DocumentManager::DocumentOf(const QWidget* view) const {
  // Also for a view whose window has closed: it may still need its document
  // while it is being deleted.
  for (const ViewEntry& entry : views_) {
    if (entry.view == view) {
      return entry.doc;
    }
  }
  return nullptr;
}

QMdiSubWindow* DocumentManager::FrameOf(const QWidget* view) const {
  const ViewEntry* entry = EntryOf(view);
  return entry != nullptr ? entry->frame : nullptr;
}

void DocumentManager::UpdateAllViews(const Document& doc, QWidget* except) {
  for (QWidget* view : ViewsOf(doc)) {
    if (view != except) {
      view->update();
    }
  }
}

}  // namespace quarnel
