#include "platform/document_manager.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/command_table.h"
#include "platform/file_dialogs.h"
#include "platform/framework_commands.h"
#include "platform/main_window.h"
#include "platform/profile.h"
#include "platform/recent_files.h"
#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using namespace framework_command;
using test::DrainEvents;
using test::TestApplication;

constexpr int kReload = 32867;
constexpr int kShowAxes = 32796;

// What the fakes saw, shared by every document and view of a test.
struct Journal {
  std::vector<QString> saves;
  int docsAlive = 0;
  int viewsAlive = 0;
  bool viewSawItsDocumentWhenDeleted = true;
  bool failSaves = false;
};

// A document that opens any file whose contents do not start with "bad".
class FakeDoc final : public Document {
 public:
  explicit FakeDoc(Journal& journal) : journal_(journal) {
    ++journal_.docsAlive;
    map_.On(kReload, [this] { ++reloads; });
  }
  ~FakeDoc() override { --journal_.docsAlive; }

  bool OnOpenDocument(const QString& path) override {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && !file.readAll().startsWith("bad");
  }
  bool OnSaveDocument(const QString& path) override {
    journal_.saves.push_back(path);
    return !journal_.failSaves;
  }
  bool OnCommand(int id) override { return map_.OnCommand(id); }
  bool HandlesCommand(int id) const override { return map_.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& s) override { return map_.OnUpdate(id, s); }

  int reloads = 0;

 private:
  Journal& journal_;
  CommandMap map_;
};

class FakeView final : public QWidget, public CommandTarget {
 public:
  FakeView(Journal& journal, Document& doc) : journal_(journal), doc_(doc) {
    ++journal_.viewsAlive;
    map_.On(kShowAxes, [this] { ++axes; });
  }
  ~FakeView() override {
    --journal_.viewsAlive;
    DocumentManager* manager = doc_.Manager();
    if (manager == nullptr || manager->DocumentOf(this) != &doc_ || journal_.docsAlive == 0) {
      journal_.viewSawItsDocumentWhenDeleted = false;
    }
  }
  bool OnCommand(int id) override { return map_.OnCommand(id); }
  bool HandlesCommand(int id) const override { return map_.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& s) override { return map_.OnUpdate(id, s); }

  int axes = 0;

 private:
  Journal& journal_;
  Document& doc_;
  CommandMap map_;
};

class FakeTemplate final : public DocumentTemplate {
 public:
  explicit FakeTemplate(Journal& journal) : journal_(journal) {}
  std::unique_ptr<Document> CreateDocument() override {
    return std::make_unique<FakeDoc>(journal_);
  }
  QWidget* CreateView(Document& doc) override { return new FakeView(journal_, doc); }
  QString FileFilter() const override { return QStringLiteral("Ply Meshes (*.ply)"); }
  QString DefaultExtension() const override { return QStringLiteral("ply"); }

 private:
  Journal& journal_;
};

class DocumentManagerTest : public ::testing::Test {
 protected:
  DocumentManagerTest() {
    TestApplication();
    noDocMenus = {new QMenu("&File", window.get())};
    docMenus = {new QMenu("&File", window.get()), new QMenu("&View", window.get())};
    window->SetMenuBars(noDocMenus, docMenus);
    manager = new DocumentManager(*window, docTemplate, dialogs, &recent);
    manager->LinkRouter(router, nullptr, nullptr);
    window->resize(800, 600);
    window->show();
  }

  QString WriteFile(const QString& name, const QByteArray& contents = "ply\n") {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
    return path;
  }

  FakeDoc* Open(const QString& name) {
    return static_cast<FakeDoc*>(manager->OpenDocumentFile(WriteFile(name)));
  }

  QTemporaryDir dir;
  Journal journal;
  FakeTemplate docTemplate{journal};
  ScriptedFileDialogs dialogs;
  MemoryProfile profile;
  RecentFileList recent{profile};
  std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>();
  std::vector<QMenu*> noDocMenus;
  std::vector<QMenu*> docMenus;
  DocumentManager* manager = nullptr;  // owned by the window
  CommandRouter router;
};

TEST_F(DocumentManagerTest, OpenGivesAMaximisedWindowTitleMenusAndRecentEntry) {
  QSignalSpy opened(manager, &DocumentManager::documentOpened);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel"));
  EXPECT_FALSE(window->ShowingDocumentMenus());

  FakeDoc* doc = Open("cube.ply");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(opened.count(), 1);
  EXPECT_EQ(doc->Title(), QStringLiteral("cube.ply"));
  EXPECT_EQ(doc->PathName(), QFileInfo(dir.filePath("cube.ply")).absoluteFilePath());
  EXPECT_EQ(manager->ActiveDocument(), doc);
  QWidget* view = manager->ActiveView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(manager->DocumentOf(view), doc);
  QMdiSubWindow* frame = manager->FrameOf(view);
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isMaximized());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("cube.ply"));
  DrainEvents();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - cube.ply"));
  EXPECT_TRUE(window->ShowingDocumentMenus());
  EXPECT_EQ(recent.Paths(), QStringList{doc->PathName()});

  window->SetBaseTitle(QStringLiteral("Tolvane"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Tolvane - cube.ply"));
}

TEST_F(DocumentManagerTest, AFailedOpenLeavesNothingBehind) {
  const QString bad = WriteFile("broken.ply", "bad header");
  EXPECT_EQ(manager->OpenDocumentFile(bad), nullptr);
  EXPECT_EQ(manager->OpenDocumentFile(dir.filePath("missing.ply")), nullptr);
  EXPECT_EQ(manager->OpenDocumentFile(QString()), nullptr);
  EXPECT_TRUE(manager->Documents().empty());
  EXPECT_EQ(journal.docsAlive, 0);
  EXPECT_TRUE(window->MdiArea()->subWindowList().isEmpty());
  EXPECT_TRUE(recent.Empty());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel"));
}

TEST_F(DocumentManagerTest, EveryNewWindowOpensMaximisedAndActive) {
  FakeDoc* first = Open("a.ply");
  manager->FrameOf(manager->ActiveView())->showNormal();
  FakeDoc* second = Open("b.ply");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(manager->ActiveDocument(), second);
  EXPECT_TRUE(manager->FrameOf(manager->ActiveView())->isMaximized());
  EXPECT_EQ(manager->Documents(), (std::vector<Document*>{first, second}));
  const std::vector<QWidget*> views = manager->AllViews();
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(manager->DocumentOf(views[0]), first);

  QSignalSpy activated(manager, &DocumentManager::viewActivated);
  window->MdiArea()->setActiveSubWindow(manager->FrameOf(views[0]));
  EXPECT_EQ(manager->ActiveDocument(), first);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - a.ply"));
  ASSERT_GE(activated.count(), 1);
  EXPECT_EQ(activated.last().at(0).value<QWidget*>(), views[0]);
}

TEST_F(DocumentManagerTest, ClosingTheLastWindowDeletesTheDocumentAfterItsView) {
  FakeDoc* a = Open("a.ply");
  Open("b.ply");
  ASSERT_EQ(journal.docsAlive, 2);
  QSignalSpy closing(manager, &DocumentManager::documentClosing);

  // File Close of the active document (b), through the command chain.
  ASSERT_TRUE(router.Execute(kFileClose));
  EXPECT_EQ(closing.count(), 1);
  EXPECT_EQ(manager->Documents(), std::vector<Document*>{a});
  DrainEvents();
  EXPECT_EQ(journal.docsAlive, 1);
  EXPECT_EQ(journal.viewsAlive, 1);
  EXPECT_EQ(manager->ActiveDocument(), a);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - a.ply"));

  // The window's own close button does the same.
  ASSERT_TRUE(manager->FrameOf(manager->ActiveView())->close());
  EXPECT_EQ(manager->ActiveDocument(), nullptr);
  EXPECT_EQ(manager->ActiveView(), nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel"));
  EXPECT_FALSE(window->ShowingDocumentMenus());
  EXPECT_EQ(router.Query(kFileSave).enabled, false);
  DrainEvents();
  EXPECT_EQ(journal.docsAlive, 0);
  EXPECT_EQ(journal.viewsAlive, 0);
  EXPECT_TRUE(journal.viewSawItsDocumentWhenDeleted);
}

TEST_F(DocumentManagerTest, AFileThatIsOpenIsActivatedNotOpenedAgain) {
  FakeDoc* a = Open("a.ply");
  FakeDoc* b = Open("b.ply");
  ASSERT_TRUE(QFile::link(dir.filePath("a.ply"), dir.filePath("link.ply")));
  QMdiSubWindow* frameOfB = manager->FrameOf(manager->ViewsOf(*b)[0]);
  const QStringList spellings = {dir.filePath("a.ply"), dir.path() + "/sub/../a.ply",
                                 dir.filePath("link.ply")};
  for (const QString& spelling : spellings) {
    window->MdiArea()->setActiveSubWindow(frameOfB);
    EXPECT_EQ(manager->OpenDocumentFile(spelling), a) << spelling.toStdString();
    EXPECT_EQ(manager->ActiveDocument(), a);
  }
  window->MdiArea()->setActiveSubWindow(frameOfB);
  emit window->filesDropped({dir.filePath("a.ply")});
  EXPECT_EQ(manager->ActiveDocument(), a);
  EXPECT_EQ(manager->Documents(), (std::vector<Document*>{a, b}));
  EXPECT_EQ(window->MdiArea()->subWindowList().size(), 2);
  EXPECT_EQ(journal.docsAlive, 2);
  EXPECT_EQ(recent.Size(), 2);
}

TEST_F(DocumentManagerTest, DeletingTheMainWindowTakesViewsThenDocuments) {
  Open("a.ply");
  Open("b.ply");
  window.reset();
  EXPECT_EQ(journal.viewsAlive, 0);
  EXPECT_EQ(journal.docsAlive, 0);
  EXPECT_TRUE(journal.viewSawItsDocumentWhenDeleted);
}

TEST_F(DocumentManagerTest, NewDocumentsAreNumberedUntitledWithoutPath) {
  ASSERT_TRUE(router.Execute(kFileNew));
  ASSERT_TRUE(router.Execute(kFileNew));
  const std::vector<Document*> docs = manager->Documents();
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0]->Title(), QStringLiteral("Untitled1"));
  EXPECT_EQ(docs[1]->Title(), QStringLiteral("Untitled2"));
  EXPECT_TRUE(docs[1]->PathName().isEmpty());
  EXPECT_TRUE(recent.Empty());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - Untitled2"));
}

TEST_F(DocumentManagerTest, SaveWritesInPlaceAndSaveAsRenames) {
  FakeDoc* doc = Open("a.ply");
  const QString original = doc->PathName();
  ASSERT_TRUE(router.Execute(kFileSave));
  EXPECT_EQ(journal.saves, std::vector<QString>{original});
  EXPECT_TRUE(dialogs.Requests().empty());

  // Save As: the dialog offers the current file, with the document filter.
  const QString other = dir.filePath("b.ply");
  dialogs.QueueAnswer(other);
  ASSERT_TRUE(router.Execute(kFileSaveAs));
  ASSERT_EQ(dialogs.Requests().size(), 1u);
  EXPECT_TRUE(dialogs.Requests()[0].save);
  EXPECT_EQ(dialogs.Requests()[0].initialPath, original);
  EXPECT_EQ(dialogs.Requests()[0].filter, QStringLiteral("Ply Meshes (*.ply)"));
  EXPECT_EQ(dialogs.Requests()[0].defaultExtension, QStringLiteral("ply"));
  EXPECT_EQ(journal.saves.back(), other);
  EXPECT_EQ(doc->PathName(), other);
  EXPECT_EQ(doc->Title(), QStringLiteral("b.ply"));
  EXPECT_EQ(manager->FrameOf(manager->ActiveView())->windowTitle(), QStringLiteral("b.ply"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - b.ply"));
  EXPECT_EQ(recent.At(0), other);
  EXPECT_EQ(recent.At(1), original);

  // Cancelled: nothing written.
  EXPECT_FALSE(manager->SaveDocument(*doc, true));
  EXPECT_EQ(journal.saves.size(), 2u);
}

TEST_F(DocumentManagerTest, AFailedSaveKeepsNameTitleAndRecentFiles) {
  FakeDoc* doc = Open("a.ply");
  const QString original = doc->PathName();
  journal.failSaves = true;
  dialogs.QueueAnswer(dir.filePath("elsewhere.ply"));
  EXPECT_FALSE(manager->SaveDocument(*doc, true));
  EXPECT_EQ(doc->PathName(), original);
  EXPECT_EQ(doc->Title(), QStringLiteral("a.ply"));
  EXPECT_EQ(recent.Paths(), QStringList{original});
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarnel - a.ply"));
}

TEST_F(DocumentManagerTest, SaveAsksForANameWhenThereIsNoFileToWriteInPlace) {
  ASSERT_NE(manager->NewDocument(), nullptr);
  dialogs.QueueAnswer(std::nullopt);
  router.Execute(kFileSave);
  ASSERT_EQ(dialogs.Requests().size(), 1u);
  EXPECT_EQ(dialogs.Requests()[0].initialPath, QStringLiteral("Untitled1"));
  EXPECT_TRUE(journal.saves.empty());

  // A document whose file went away since it was opened.
  FakeDoc* doc = Open("gone.ply");
  QFile::remove(doc->PathName());
  const QString again = dir.filePath("again.ply");
  dialogs.QueueAnswer(again);
  EXPECT_TRUE(manager->SaveDocument(*doc, false));
  EXPECT_EQ(dialogs.Requests().size(), 2u);
  EXPECT_EQ(journal.saves, std::vector<QString>{again});
}

TEST_F(DocumentManagerTest, CommandsTravelViewDocumentThenFramework) {
  FakeDoc* doc = Open("a.ply");
  auto* view = static_cast<FakeView*>(manager->ActiveView());
  EXPECT_TRUE(router.Execute(kShowAxes));
  EXPECT_TRUE(router.Execute(kReload));
  EXPECT_EQ(view->axes, 1);
  EXPECT_EQ(doc->reloads, 1);
  EXPECT_TRUE(router.Query(kFileSave).enabled);
  EXPECT_TRUE(router.Query(kFileOpen).enabled);
  EXPECT_FALSE(router.Query(kRecentFileFirst + 1).enabled);
  EXPECT_TRUE(router.Query(kRecentFileFirst).enabled);

  ASSERT_TRUE(router.Execute(kFileClose));
  EXPECT_FALSE(router.Query(kShowAxes).enabled);
  EXPECT_FALSE(router.Query(kReload).enabled);
  EXPECT_TRUE(router.Query(kFileNew).enabled);
}

TEST_F(DocumentManagerTest, OpenDialogAndRecentFilesOpenDocuments) {
  dialogs.QueueAnswer(WriteFile("picked.ply"));
  ASSERT_TRUE(router.Execute(kFileOpen));
  ASSERT_EQ(manager->Documents().size(), 1u);
  EXPECT_EQ(dialogs.Requests()[0].filter, QStringLiteral("Ply Meshes (*.ply);;All Files (*)"));
  EXPECT_FALSE(dialogs.Requests()[0].save);

  Open("other.ply");
  ASSERT_EQ(recent.Size(), 2);
  // Both are open: the entry brings its window forward.
  ASSERT_TRUE(router.Execute(kRecentFileFirst + 1));
  ASSERT_EQ(manager->Documents().size(), 2u);
  EXPECT_EQ(manager->ActiveDocument()->Title(), QStringLiteral("picked.ply"));

  // An entry that no longer opens leaves the list.
  QFile::remove(recent.At(1));
  ASSERT_TRUE(router.Execute(kRecentFileFirst + 1));
  EXPECT_EQ(manager->Documents().size(), 2u);
  EXPECT_EQ(recent.Size(), 1);
  EXPECT_EQ(profile.GetString(RecentFileList::kSection, "File2", "x"), QString());
}

TEST_F(DocumentManagerTest, DroppedFilesOpenAsDocuments) {
  const QString a = WriteFile("a.ply");
  const QString bad = WriteFile("bad.ply", "bad");
  emit window->filesDropped({a, bad, WriteFile("c.ply")});
  ASSERT_EQ(manager->Documents().size(), 2u);
  EXPECT_EQ(manager->Documents()[1]->Title(), QStringLiteral("c.ply"));
}

TEST_F(DocumentManagerTest, UpdateAllViewsRepaintsTheDocumentsViews) {
  FakeDoc* doc = Open("a.ply");
  QWidget* view = manager->ActiveView();
  DrainEvents();
  int paints = 0;
  struct Counter : QObject {
    int& n;
    explicit Counter(int& c) : n(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) {
        ++n;
      }
      return false;
    }
  } counter(paints);
  view->installEventFilter(&counter);
  manager->UpdateAllViews(*doc, view);
  DrainEvents();
  EXPECT_EQ(paints, 0);
  // Other programs' windows may cover this one for a moment; a covered
  // window is painted once it shows again.
  manager->UpdateAllViews(*doc);
  EXPECT_TRUE(QTest::qWaitFor([&] { return paints >= 1; }, 5000));
  view->removeEventFilter(&counter);
}

}  // namespace
}  // namespace quarnel
