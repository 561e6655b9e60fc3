// The application driven as a user would: command lines, menus, open, save,
// export, reload, the idle pass.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>

#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "io/ply_types.h"
#include "platform/document_manager.h"
#include "platform/framework_commands.h"
#include "platform/idle_pass.h"
#include "platform/messages.h"
#include "platform/progress_window.h"
#include "platform/shell_open.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::DropOnWindow;
using test::OnScreenCentre;
using test::Q;

TEST(CommandLine, OnlyTheDashOrTheExactSlashTokensAreSwitches) {
  EXPECT_TRUE(ParseCommandLine({"-edit"}).editMode);
  EXPECT_TRUE(ParseCommandLine({"-Edit"}).editMode);
  EXPECT_TRUE(ParseCommandLine({"/edit"}).editMode);
  EXPECT_TRUE(ParseCommandLine({"/Edit"}).editMode);
  EXPECT_FALSE(ParseCommandLine({"-EDIT"}).editMode);
  EXPECT_FALSE(ParseCommandLine({"-eDit"}).editMode);
  EXPECT_FALSE(ParseCommandLine({"/EDIT"}).editMode);

  CQuarnelCommandLineInfo before = ParseCommandLine({"-edit", "/tmp/a.ply"});
  EXPECT_TRUE(before.editMode);
  EXPECT_EQ(before.fileName, "/tmp/a.ply");
  CQuarnelCommandLineInfo after = ParseCommandLine({"/tmp/a.ply", "-Edit"});
  EXPECT_TRUE(after.editMode);
  EXPECT_EQ(after.fileName, "/tmp/a.ply");
  // An absolute path that starts like the switch is a file.
  CQuarnelCommandLineInfo path = ParseCommandLine({"/edit/mesh.ply"});
  EXPECT_FALSE(path.editMode);
  EXPECT_EQ(path.fileName, "/edit/mesh.ply");
  CQuarnelCommandLineInfo two = ParseCommandLine({"-x", "a.ply", "b.ply"});
  EXPECT_EQ(two.fileName, "a.ply");
  EXPECT_FALSE(two.shellOpen);
  // The desktop entry's mark, in its one spelling.
  CQuarnelCommandLineInfo shell = ParseCommandLine({"-shellopen", "/tmp/a.ply"});
  EXPECT_TRUE(shell.shellOpen);
  EXPECT_FALSE(shell.editMode);
  EXPECT_EQ(shell.fileName, "/tmp/a.ply");
  // A start by the desktop opens every file it names, in order; any other
  // start the first.
  const QStringList files{"/tmp/a.ply", "/tmp/b.ply"};
  EXPECT_EQ(ParseCommandLine({"-shellopen", files[0], "/edit", files[1]}).FilesToOpen(), files);
  EXPECT_EQ(ParseCommandLine({files[0], files[1]}).FilesToOpen(), files.mid(0, 1));
  EXPECT_FALSE(ParseCommandLine({"/shellopen"}).shellOpen);
  EXPECT_FALSE(ParseCommandLine({"-ShellOpen"}).shellOpen);
  EXPECT_TRUE(ParseCommandLine({}).fileName.isEmpty());
}

TEST(Application, APlainStartOpensNoDocument) {
  AppHarness h;
  ASSERT_TRUE(h.Start({}));
  EXPECT_EQ(h.DocumentWindowCount(), 0);
  EXPECT_EQ(h.Window().windowTitle(), "Quarnel");
  EXPECT_FALSE(h.App().m_editMode);
  EXPECT_FALSE(h.App().MainFrame()->SelectionToolBar()->isVisible());
  EXPECT_TRUE(h.App().MainFrame()->MainToolBar()->isVisible());
  EXPECT_TRUE(h.messages.Shown().empty());
  EXPECT_NE(h.Window().MenuTitled("File"), nullptr);
  EXPECT_EQ(h.Window().MenuTitled("Mesh"), nullptr);
}

TEST(Application, EveryToolbarButtonHasItsPicture) {
  AppHarness h;
  ASSERT_TRUE(h.Start({}));
  for (const auto& table : {MainToolBarTable(), SelectionToolBarTable()})
    for (const ToolButton& b : table) {
      if (b.id == 0) continue;
      QPixmap picture(QString::fromLatin1(b.icon));
      EXPECT_FALSE(picture.isNull()) << b.icon;
    }
  EXPECT_EQ(MainToolBarTable().size(), 20u);
  EXPECT_EQ(SelectionToolBarTable().size(), 9u);
}

TEST(Application, TheEditSwitchBeforeOrAfterTheFileGivesEditMode) {
  const QString file = Q(test::WriteCenteredCube("edit.ply", CubeKind::Colored));
  for (const QStringList& args : {QStringList{"-edit", file}, QStringList{file, "-Edit"},
                                  QStringList{"/edit", file}}) {
    AppHarness h;
    ASSERT_TRUE(h.Start(args)) << args.join(' ').toStdString();
    EXPECT_TRUE(h.App().m_editMode);
    ASSERT_EQ(h.DocumentWindowCount(), 1);
    EXPECT_EQ(h.Window().windowTitle(), "Tolvane - edit.ply");
    EXPECT_TRUE(h.App().MainFrame()->SelectionToolBar()->isVisible());
    ASSERT_NE(h.ActiveDoc(), nullptr);
    EXPECT_EQ(h.ActiveDoc()->Holder().Tag(), 5);
    // Edit mode keeps the Mesh and Selection menus.
    EXPECT_NE(h.Window().MenuTitled("Mesh"), nullptr);
    EXPECT_NE(h.Window().MenuTitled("Selection"), nullptr);
  }
}

TEST(Application, TheSwitchInCapitalsLeavesViewerMode) {
  const QString file = Q(test::WriteCenteredCube("caps.ply", CubeKind::Colored));
  AppHarness h;
  ASSERT_TRUE(h.Start({"-EDIT", file}));
  EXPECT_FALSE(h.App().m_editMode);
  EXPECT_EQ(h.Window().windowTitle(), "Quarnel - caps.ply");
  EXPECT_FALSE(h.App().MainFrame()->SelectionToolBar()->isVisible());
  EXPECT_EQ(h.ActiveDoc()->Holder().Tag(), 3);
}

TEST(Application, ViewerModeLosesTheMeshAndSelectionMenus) {
  AppHarness h;
  ASSERT_TRUE(h.Start({}));
  const QString first = Q(test::WriteCenteredCube("menus1.ply", CubeKind::Plain));
  const QString second = Q(test::WriteCenteredCube("menus2.ply", CubeKind::Plain));
  ASSERT_NE(h.App().Documents()->OpenDocumentFile(first), nullptr);
  h.Pump();
  EXPECT_EQ(h.Window().MenuTitled("Mesh"), nullptr);
  EXPECT_EQ(h.Window().MenuTitled("Selection"), nullptr);
  EXPECT_NE(h.Window().MenuTitled("Render"), nullptr);
  EXPECT_NE(h.Window().MenuTitled("Edit"), nullptr);
  ASSERT_NE(h.App().Documents()->OpenDocumentFile(second), nullptr);
  h.Pump();
  EXPECT_EQ(h.Window().MenuTitled("Mesh"), nullptr);
  EXPECT_NE(h.Window().MenuTitled("View"), nullptr);
  EXPECT_EQ(h.Window().DocumentMenus().size(), 6u);
  // Document windows are shown maximised.
  ASSERT_NE(h.Window().MdiArea()->activeSubWindow(), nullptr);
  EXPECT_TRUE(h.Window().MdiArea()->activeSubWindow()->isMaximized());
}

// The colour that dominates a pixel: 0 red, 1 green, 2 blue; -1 when none
// does (the background, black).
int DominantChannel(QRgb c) {
  const int v[3] = {qRed(c), qGreen(c), qBlue(c)};
  for (int i = 0; i < 3; ++i)
    if (v[i] > 100 && v[i] > 2 * v[(i + 1) % 3] && v[i] > 2 * v[(i + 2) % 3]) return i;
  return -1;
}

TEST(Application, TheDocumentWindowThatComesForwardIsDrawn) {
  // Three cubes that tell themselves apart by colour.
  std::vector<QString> files;
  for (int i = 0; i < 3; ++i) {
    test::PlyFixture f = test::CenteredCubeFixture(CubeKind::Colored);
    for (auto& r : f.elements[0].records)
      for (int k = 0; k < 3; ++k) r[r.size() - 3 + k] = k == i ? 200 : 30;
    const std::string path = test::TempFilePath("forward" + std::to_string(i) + ".ply");
    ASSERT_TRUE(test::WritePlyFixture(path, f));
    files.push_back(Q(path));
  }
  auto colourOf = [&](const CQuarnelDoc* doc) {
    for (int i = 0; i < 3; ++i)
      if (doc && doc->PathName() == files[i]) return i;
    return -1;
  };
  AppHarness h;
  ASSERT_TRUE(h.Start({files[0]}));
  MainWindow& window = h.Window();
  const auto ctrl = Qt::ControlModifier;
  const auto shift = Qt::ShiftModifier;
  auto key = [&](QKeyCombination k) {
    return [&window, k] {
      QApplication::setActiveWindow(&window);
      QTest::keyClick(&window, k.key(), k.keyboardModifiers());
    };
  };
  auto open = [&](int i) {
    return [&h, &files, i] {
      h.dialogs.QueueAnswer(files[i]);
      h.Execute(framework_command::kFileOpen);
    };
  };
  // What the restore and maximise buttons of the active window do.
  auto state = [&window](bool maximised) {
    return [&window, maximised] {
      QMdiSubWindow* frame = window.MdiArea()->activeSubWindow();
      maximised ? frame->showMaximized() : frame->showNormal();
    };
  };
  struct Step {
    const char* route;
    std::function<void()> run;
    int windows;
    bool bringsAnother = true;
  };
  const Step steps[] = {
      {"File > Open", open(1), 2},
      {"File > Open", open(2), 3},
      {"Ctrl+F6", key(ctrl | Qt::Key_F6), 3},
      {"Ctrl+Tab", key(ctrl | Qt::Key_Tab), 3},
      {"Ctrl+Shift+F6", key(ctrl | shift | Qt::Key_F6), 3},
      {"Ctrl+Shift+Tab", key(ctrl | shift | Qt::Key_Tab), 3},
      {"Restore", state(false), 3, false},
      {"Ctrl+F6 among restored windows", key(ctrl | Qt::Key_F6), 3},
      {"Ctrl+Shift+Tab among restored windows", key(ctrl | shift | Qt::Key_Tab), 3},
      {"Maximise", state(true), 3, false},
      {"Ctrl+Tab after the maximise", key(ctrl | Qt::Key_Tab), 3},
      {"File > Open of an open file", open(1), 3},
      {"File > Open of an open file", open(0), 3},
      {"Ctrl+F4", key(ctrl | Qt::Key_F4), 2},
      {"File > Close", [&h] { h.Execute(framework_command::kFileClose); }, 1},
  };
  int before = colourOf(h.ActiveDoc());
  for (const Step& step : steps) {
    step.run();
    h.Pump(20);
    EXPECT_EQ(h.DocumentWindowCount(), step.windows) << step.route;
    ASSERT_NE(h.ActiveView(), nullptr) << step.route;
    const int active = colourOf(h.ActiveDoc());
    ASSERT_NE(active, -1) << step.route;
    EXPECT_EQ(active != before, step.bringsAnother) << step.route;
    before = active;
    // A window that is not maximised is one to work in, not a bare title
    // bar: it was never shown at a size of its own before.
    const QSize room = window.MdiArea()->viewport()->size();
    for (QMdiSubWindow* frame : window.MdiArea()->subWindowList())
      if (!frame->isMaximized()) {
        EXPECT_GE(frame->width(), room.width() / 2) << step.route;
        EXPECT_GE(frame->height(), room.height() / 2) << step.route;
      }
    int shown = -1;
    for (int tries = 0; tries < 100 && shown != active; ++tries) {
      h.Pump(20);
      shown = DominantChannel(OnScreenCentre(h.ActiveView()));
    }
    EXPECT_EQ(shown, active) << step.route;
  }
}

// The document area as the screen shows it.
QImage AreaOnScreen(MainWindow& window) {
  QWidget* area = window.MdiArea()->viewport();
  const QPoint at = area->mapToGlobal(QPoint(0, 0));
  return area->screen()->grabWindow(0, at.x(), at.y(), area->width(), area->height()).toImage();
}

// The share of pixels that differ between two pictures of one size.
double DifferingShare(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1.0;
  qint64 differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      differing += !test::Near(p, qRed(q), qGreen(q), qBlue(q), 8);
    }
  return double(differing) / (double(a.width()) * a.height());
}

// However a file comes while the document windows are restored, its window
// is maximised and the whole area drawn anew, as File > Open draws it. A
// desktop open and a drop used to leave the old picture around the new
// mesh: the restored windows' title bars and the grey under the pane.
TEST(Application, EveryOpenAmongRestoredWindowsDrawsTheWholeArea) {
  const QString first = Q(test::WriteCenteredCube("restored-first.ply", CubeKind::Colored));
  const QString second = Q(test::WriteCenteredCube("restored-second.ply", CubeKind::Plain));
  const QString opened = Q(test::WriteCenteredCube("restored-new.ply", CubeKind::Colored));
  // Each route runs from the event loop, as the user's pick, the desktop's
  // request or the drop comes.
  const auto fromEventLoop = [](std::function<void()> route) {
    return [route](AppHarness& h) {
      QMetaObject::invokeMethod(&h.Window(), route, Qt::QueuedConnection);
      h.Pump(20);
    };
  };
  struct Row {
    const char* route;
    std::function<void(AppHarness&)> open;
  };
  const Row rows[] = {
      {"File > Open",
       [&](AppHarness& h) {
         h.dialogs.QueueAnswer(opened);
         h.Execute(framework_command::kFileOpen);
       }},
      {"File > Open from the event loop",
       [&](AppHarness& h) {
         h.dialogs.QueueAnswer(opened);
         fromEventLoop([&h] { h.Execute(framework_command::kFileOpen); })(h);
       }},
      {"desktop open",
       [&](AppHarness& h) {
         std::future<bool> taken = std::async(
             std::launch::async, [&] { return HandToRunningInstance(h.shellOpenName, opened); });
         while (taken.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
           h.Pump(5);
         EXPECT_TRUE(taken.get());
       }},
      {"drop",
       [&](AppHarness& h) {
         fromEventLoop([&h, &opened] { DropOnWindow(h.Window(), {opened}); })(h);
       }},
  };
  QImage expected;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.route);
    AppHarness h;
    ASSERT_TRUE(h.Start({first}));
    ASSERT_NE(h.App().Documents()->OpenDocumentFile(second), nullptr);
    h.Pump(100);
    h.Window().MdiArea()->activeSubWindow()->showNormal();
    h.Pump(200);
    row.open(h);
    QElapsedTimer timer;
    timer.start();
    while ((h.DocumentWindowCount() < 3 || !h.ActiveView()->InitialUpdateDone()) &&
           timer.elapsed() < 20000)
      h.Pump(20);
    ASSERT_EQ(h.DocumentWindowCount(), 3);
    ASSERT_EQ(h.ActiveDoc()->PathName(), opened);
    EXPECT_TRUE(h.Window().MdiArea()->activeSubWindow()->isMaximized());
    h.Pump(300);
    const QImage shown = AreaOnScreen(h.Window());
    if (expected.isNull()) {
      expected = shown;
      continue;
    }
    // The pane's frame rate differs from run to run.
    EXPECT_LT(DifferingShare(shown, expected), 0.01);
  }
}

TEST(Application, EachKindOfFileGetsItsMeshType) {
  struct Case {
    CubeKind kind;
    int viewerTag;
  } cases[] = {{CubeKind::Plain, 1}, {CubeKind::Colored, 3}, {CubeKind::Textured, 4}};
  for (const Case& c : cases) {
    const QString file = Q(test::WriteCenteredCube("kind.ply", c.kind));
    AppHarness viewer;
    ASSERT_TRUE(viewer.Start({file}));
    EXPECT_EQ(viewer.ActiveDoc()->Holder().Tag(), c.viewerTag);
    AppHarness editor;
    ASSERT_TRUE(editor.Start({"-edit", file}));
    EXPECT_EQ(editor.ActiveDoc()->Holder().Tag(), 5);
  }
}

// Whether a progress window is on the screen.
bool AProgressWindowIsUp() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() &&
        w->findChild<QProgressBar*>(QString(), Qt::FindDirectChildrenOnly) != nullptr)
      return true;
  return false;
}

TEST(Application, ATruncatedFileShowsItsLoaderMessageAndLeavesNoWindow) {
  const QString file = Q(test::WriteTruncatedCube("trunc-app.ply"));
  AppHarness h;
  ASSERT_TRUE(h.Start({}));
  h.dialogs.QueueAnswer(file);
  h.Execute(framework_command::kFileOpen);
  h.Pump();
  EXPECT_EQ(h.DocumentWindowCount(), 0);
  ASSERT_EQ(h.messages.Shown().size(), 1u);
  EXPECT_EQ(h.messages.Shown()[0].text, PlyErrorText(ply_error::UnexpectedEof));

  // Named on the command line, the same file ends the start; the progress
  // window is never up under a box, the loader's or the header probe's.
  const std::string headerless = test::TempFilePath("headerless-app.ply");
  ASSERT_TRUE(test::WriteFileBytes(headerless, "no header here\n"));
  for (const QString& path : {file, Q(headerless)}) {
    AppHarness cl;
    bool progressUpUnderBox = false;
    cl.messages.SetObserver([&](const Message&) { progressUpUnderBox |= AProgressWindowIsUp(); });
    EXPECT_FALSE(cl.Start({path}));
    EXPECT_FALSE(cl.messages.Shown().empty());
    EXPECT_FALSE(progressUpUnderBox) << path.toStdString();
  }
}

// The program's progress window, watched at every step of a load.
class WatchedProgress final : public ProgressReporter {
 public:
  explicit WatchedProgress(std::function<void()> look) : look_(std::move(look)) {}
  void Begin() override {
    window_.Begin();
    look_();
  }
  void Report(int percent, const char* caption) override {
    window_.Report(percent, caption);
    look_();
  }
  void End() override {
    look_();
    window_.End();
  }

 private:
  ProgressWindow window_;
  std::function<void()> look_;
};

TEST(Application, NothingOfTheProgramRunsWhileAFileLoads) {
  // Enough records for the importer to report progress a few times.
  const std::string path = test::TempFilePath("busy-open.ply");
  ASSERT_TRUE(
      test::WritePlyFixture(path, test::MeshFixture(test::GridSoup(40), ply_format::Ascii)));
  const QString file = Q(path);
  AppHarness h;
  long long passesBefore = 0;
  bool queuedCallRan = false;
  int looks = 0;
  bool somethingRan = false;
  auto deferredBoxShown = [&] {
    return !h.MessageTexts().filter(QStringLiteral("after the")).isEmpty();
  };
  WatchedProgress watched([&] {
    ++looks;
    somethingRan |=
        queuedCallRan || h.App().Idle()->Passes() != passesBefore || deferredBoxShown();
  });
  h.progress = &watched;
  ASSERT_TRUE(h.Start({}));

  // An idle pass, a box deferred from a paint and a queued call are all due
  // when the open starts; they wait until it is over.
  h.App().Idle()->Wake();
  {
    MessageSink::PaintingScope painting(h.messages);
    h.messages.Show(QStringLiteral("after the load"));
  }
  QMetaObject::invokeMethod(&h.Window(), [&] { queuedCallRan = true; }, Qt::QueuedConnection);
  passesBefore = h.App().Idle()->Passes();
  ASSERT_NE(h.App().Documents()->OpenDocumentFile(file), nullptr);
  EXPECT_GE(looks, 4);
  EXPECT_FALSE(somethingRan);

  h.Pump();
  EXPECT_TRUE(queuedCallRan);
  EXPECT_GT(h.App().Idle()->Passes(), passesBefore);
  EXPECT_EQ(h.MessageTexts(), QStringList{QStringLiteral("after the load")});

  // The boxes of a failed open run an event loop, as a modal box does; the
  // idle pass and the boxes deferred from paints still wait for the open.
  const std::string broken = test::TempFilePath("busy-broken.ply");
  ASSERT_TRUE(test::WriteFileBytes(broken, "ply\nformat ascii 1.0\nelement vertex 3\n"));
  h.messages.ClearShown();
  queuedCallRan = false;
  int boxes = 0;
  h.messages.SetObserver([&](const Message&) {
    ++boxes;
    h.Pump(30);
    somethingRan |= h.App().Idle()->Passes() != passesBefore || deferredBoxShown();
  });
  h.App().Idle()->Wake();
  {
    MessageSink::PaintingScope painting(h.messages);
    h.messages.Show(QStringLiteral("after the failed load"));
  }
  passesBefore = h.App().Idle()->Passes();
  EXPECT_EQ(h.App().Documents()->OpenDocumentFile(Q(broken)), nullptr);
  EXPECT_GE(boxes, 1);
  EXPECT_FALSE(somethingRan);
  h.messages.SetObserver({});
  h.Pump();
  EXPECT_GT(h.App().Idle()->Passes(), passesBefore);
  EXPECT_TRUE(h.MessageTexts().contains(QStringLiteral("after the failed load")));
  h.Stop();
}

// The program's progress window, on a clock that moves on at every report so
// that each report that changes the picture paints it; look runs after each.
class SteppedProgress final : public ProgressReporter {
 public:
  SteppedProgress(AppHarness& h, std::function<void(ProgressWindow&)> look)
      : h_(h), look_(std::move(look)) {}
  void Begin() override {
    // One window for the whole run, owned by the main window, as the
    // program's own.
    if (!window_) window_ = std::make_unique<ProgressWindow>(&h_.Window(), clock_);
    window_->Begin();
  }
  void Report(int percent, const char* caption) override {
    clock_.Advance(1000.0 / ProgressWindow::kMaxPaintsPerSecond);
    window_->Report(percent, caption);
    look_(*window_);
  }
  void End() override { window_->End(); }

 private:
  AppHarness& h_;
  std::function<void(ProgressWindow&)> look_;
  FakeClock clock_;
  std::unique_ptr<ProgressWindow> window_;
};

TEST(Application, TheProgressWindowIsOnTheScreenOnEveryOpen) {
  const std::string big = test::TempFilePath("progress-big.ply");
  const std::string dropped = test::TempFilePath("progress-dropped.ply");
  for (const std::string& path : {big, dropped})
    ASSERT_TRUE(test::WritePlyFixture(
        path, test::MeshFixture(test::GridSoup(150), ply_format::BinaryLittleEndian)));
  AppHarness h;
  // Mid-load, once: the screen where the window stands, and what the window
  // itself paints there.
  QImage onScreen, painted;
  QString caption, barText;
  SteppedProgress progress(h, [&](ProgressWindow& window) {
    if (!onScreen.isNull() || window.Position() < 40 || window.Position() > 60) return;
    QWidget* w = window.Window();
    const QRect at = w->geometry();
    onScreen = w->screen()->grabWindow(0, at.x(), at.y(), at.width(), at.height()).toImage();
    painted = w->grab().toImage();
    caption = window.Caption();
    barText = w->findChild<QProgressBar*>()->text();
  });
  h.progress = &progress;
  // The program runs with a document from its command line when the others
  // are opened.
  ASSERT_TRUE(h.Start({Q(test::WriteCenteredCube("progress-first.ply", CubeKind::Colored))}));
  const std::pair<const char*, std::function<void()>> routes[] = {
      {"File > Open",
       [&] {
         h.dialogs.QueueAnswer(Q(big));
         h.Execute(framework_command::kFileOpen);
       }},
      {"Reload", [&] { h.Execute(cmd::kFileReload); }},
      {"a recent file",
       [&] {
         h.Execute(framework_command::kFileClose);
         h.Pump(50);
         h.Execute(framework_command::kRecentFileFirst);
       }},
      // A drop brings the main window forward first.
      {"a drop",
       [&] {
         DropOnWindow(h.Window(), {Q(dropped)});
       }},
  };
  for (const auto& [route, run] : routes) {
    onScreen = painted = QImage();
    h.Pump(50);
    run();
    ASSERT_FALSE(onScreen.isNull()) << route;
    EXPECT_FALSE(caption.isEmpty()) << route;
    EXPECT_TRUE(barText.contains(caption)) << route;
    // The screen shows the window's picture: the bar with its caption.
    const QImage a = onScreen.convertToFormat(QImage::Format_RGB32);
    const QImage b = painted.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(a.size(), b.size()) << route;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) differing += !test::Near(a.pixel(x, y), qRed(b.pixel(x, y)),
                                                                   qGreen(b.pixel(x, y)),
                                                                   qBlue(b.pixel(x, y)), 8);
    EXPECT_LE(differing, a.width() * a.height() / 100) << route;
  }
  EXPECT_EQ(h.ActiveDoc()->PathName(), Q(dropped));
  EXPECT_EQ(h.DocumentWindowCount(), 3);
}

TEST(Application, SaveAsThenReopenKeepsCountsAndColours) {
  const QString file = Q(test::WriteCenteredCube("save-app.ply", CubeKind::Colored));
  const QString copy = Q(test::TempFilePath("save-app-copy.ply"));
  QFile::remove(copy);
  AppHarness h;
  ASSERT_TRUE(h.Start({"-edit", file}));
  h.dialogs.QueueAnswer(copy);
  EXPECT_TRUE(h.Execute(framework_command::kFileSaveAs));
  EXPECT_TRUE(h.messages.Shown().empty());
  EXPECT_EQ(h.Window().windowTitle(), "Tolvane - save-app-copy.ply");

  // The saved file is the open one now: opening it again only activates it.
  CQuarnelDoc* saved = h.ActiveDoc();
  EXPECT_EQ(h.App().Documents()->OpenDocumentFile(copy), saved);
  EXPECT_EQ(h.DocumentWindowCount(), 1);

  AppHarness other;
  ASSERT_TRUE(other.Start({"-edit", copy}));
  ASSERT_NE(other.ActiveDoc(), nullptr);
  const MeshHolder& back = other.ActiveDoc()->Holder();
  const MeshHolder& original = saved->Holder();
  EXPECT_EQ(back.VertexCount(), original.VertexCount());
  EXPECT_EQ(back.FaceCount(), original.FaceCount());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(*back.VertexColor(i), *original.VertexColor(i));
}

TEST(Application, SavingOverTheOpenFileAsksFirst) {
  const QString file = Q(test::WriteCenteredCube("overwrite.ply", CubeKind::Colored));
  const auto before = std::filesystem::last_write_time(file.toStdString());
  AppHarness h;
  ASSERT_TRUE(h.Start({"-edit", file}));
  h.messages.QueueAnswer(MessageAnswer::Cancel);
  EXPECT_FALSE(h.ActiveDoc()->OnSaveDocument(h.ActiveDoc()->PathName()));
  ASSERT_EQ(h.messages.Shown().size(), 1u);
  EXPECT_EQ(h.messages.Shown()[0].text, "Are you sure to overwrite the currently opened file?");
  EXPECT_EQ(std::filesystem::last_write_time(file.toStdString()), before);
}

TEST(Application, AFailedSaveShowsAMessageAndKeepsTheFile) {
  const QString file = Q(test::WriteCenteredCube("failing-src.ply", CubeKind::Colored));
  std::filesystem::path dir = std::filesystem::path(test::TempFilePath("readonly-dir"));
  std::filesystem::create_directories(dir);
  const std::string target = (dir / "kept.ply").string();
  ASSERT_TRUE(test::WriteFileBytes(target, "precious"));

  AppHarness h;
  ASSERT_TRUE(h.Start({"-edit", file}));
  const QString title = h.Window().windowTitle();
  bool saved = true;
  if (::geteuid() != 0) {
    ::chmod(dir.c_str(), 0555);
    saved = h.ActiveDoc()->OnSaveDocument(Q(target));
    ::chmod(dir.c_str(), 0755);
  } else {
    // Root writes into any folder; a file-size limit makes the write fail
    // the same way instead.
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit lim = old;
    lim.rlim_cur = 16;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &lim);
    saved = h.ActiveDoc()->OnSaveDocument(Q(target));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_FALSE(saved);
  ASSERT_EQ(h.messages.Shown().size(), 1u);
  EXPECT_TRUE(h.messages.Shown()[0].text.contains(Q(target)));
  EXPECT_EQ(test::ReadFileBytes(target), "precious");
  EXPECT_EQ(h.Window().windowTitle(), title);
}

// Runs as `user` in its scope, as far as file permissions go. Root may write
// any file, so a file the user may not write needs another user.
class ActingAs {
 public:
  explicit ActingAs(uid_t user) : was_(::geteuid()) { ok_ = user == was_ || ::seteuid(user) == 0; }
  ~ActingAs() {
    if (::geteuid() != was_) (void)::seteuid(was_);
  }
  ActingAs(const ActingAs&) = delete;
  ActingAs& operator=(const ActingAs&) = delete;
  bool Ok() const { return ok_; }

 private:
  uid_t was_;
  bool ok_ = false;
};

// The folder would let a temporary file be renamed over a file the user may
// not write; neither a save nor an export does that. Each fails with its
// message and leaves the file as it was.
TEST(Application, SavesAndExportsLeaveAFileTheUserMayNotWrite) {
  const QString source = Q(test::WriteCenteredCube("unwritable-src.ply", CubeKind::Colored));
  const bool root = ::geteuid() == 0;
  const uid_t user = root ? 65534 : ::geteuid();
  const std::filesystem::path dir = test::TempFilePath("unwritable");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(::chown(dir.c_str(), user, gid_t(-1)), 0);
  const auto make = [&](const char* name, uid_t owner, mode_t mode) {
    const std::string path = (dir / name).string();
    const bool made = test::WriteFileBytes(path, "precious") &&
                      ::chown(path.c_str(), owner, gid_t(-1)) == 0 && ::chmod(path.c_str(), mode) == 0;
    return made ? path : std::string();
  };
  struct Case {
    const char* what;
    std::string target;
    int command;
    const char* message;
  };
  std::vector<Case> cases = {
      {"Save As over the user's read-only file", make("own.ply", user, 0444),
       framework_command::kFileSaveAs, "Could not save the file \"%1\"."},
      {"an export over the user's read-only file", make("own.stl", user, 0444), cmd::kFileExport,
       "Could not export the file \"%1\"."},
  };
  // Only root can give a file to another user.
  if (root)
    cases.push_back({"Save As over another user's file", make("other.ply", 0, 0644),
                     framework_command::kFileSaveAs, "Could not save the file \"%1\"."});

  AppHarness h;
  ASSERT_TRUE(h.Start({"-edit", source}));
  const QString title = h.Window().windowTitle();
  for (const Case& c : cases) {
    ASSERT_FALSE(c.target.empty()) << c.what;
    h.messages.ClearShown();
    h.dialogs.QueueAnswer(Q(c.target));
    {
      const ActingAs acting(user);
      ASSERT_TRUE(acting.Ok()) << c.what;
      h.Execute(c.command);
    }
    EXPECT_EQ(h.MessageTexts().join(u'\n').toStdString(),
              QString::fromLatin1(c.message).arg(Q(c.target)).toStdString())
        << c.what;
    EXPECT_EQ(test::ReadFileBytes(c.target), "precious") << c.what;
    EXPECT_EQ(h.Window().windowTitle().toStdString(), title.toStdString()) << c.what;
  }
  // No temporary file is left beside them.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), std::ptrdiff_t(cases.size()));
}

TEST(Application, ExportGoesByTheExactExtension) {
  const QString file = Q(test::WriteCenteredCube("export-app.ply", CubeKind::Colored));
  AppHarness h;
  ASSERT_TRUE(h.Start({file}));
  for (const char* name : {"out.stl", "out.obj", "out.wrl", "OUT.STL"})
    std::filesystem::remove(test::TempFilePath(name));
  for (const char* name : {"out.stl", "out.obj", "out.wrl", "OUT.STL"}) {
    h.dialogs.QueueAnswer(Q(test::TempFilePath(name)));
    EXPECT_TRUE(h.Execute(cmd::kFileExport));
  }
  EXPECT_TRUE(std::filesystem::exists(test::TempFilePath("out.stl")));
  EXPECT_TRUE(std::filesystem::exists(test::TempFilePath("out.obj")));
  EXPECT_TRUE(std::filesystem::exists(test::TempFilePath("out.wrl")));
  EXPECT_FALSE(std::filesystem::exists(test::TempFilePath("OUT.STL")));
  EXPECT_TRUE(h.messages.Shown().empty());
  // A cancelled dialog writes nothing either.
  EXPECT_TRUE(h.Execute(cmd::kFileExport));
  ASSERT_EQ(h.dialogs.Requests().size(), 5u);
  EXPECT_EQ(h.dialogs.Requests()[0].defaultExtension, "wrl");
}

TEST(Application, TheMeshCommandsAreForTheEditableMeshOnly) {
  const QString file = Q(test::WriteCenteredCube("cmds.ply", CubeKind::Plain));
  AppHarness viewer;
  ASSERT_TRUE(viewer.Start({file}));
  for (int id : {cmd::kUnifyDuplicatedVertices, cmd::kRemoveUnrefVert, cmd::kOptimizeCurvature,
                 cmd::kFlipNormals, cmd::kRemoveDegenerateFaces, framework_command::kFileSave})
    EXPECT_FALSE(viewer.Execute(id)) << id;
  EXPECT_TRUE(viewer.Execute(cmd::kMaterialMoreShiny));
  EXPECT_EQ(viewer.ActiveDoc()->Holder().m_material.shininess, 250);

  AppHarness editor;
  ASSERT_TRUE(editor.Start({"-edit", file}));
  MeshHolder& holder = editor.ActiveDoc()->Holder();
  holder.ComputeMassProperties();
  const FaceT5 before = holder.m_mesh5.faces[0];
  EXPECT_TRUE(editor.Execute(cmd::kFlipNormals));
  const FaceT5& after = holder.m_mesh5.faces[0];
  EXPECT_EQ(after.v[0], before.v[1]);
  EXPECT_EQ(after.v[1], before.v[0]);
  EXPECT_EQ(after.wedge[0], before.wedge[1]);
  EXPECT_FALSE(holder.MassComputed());
  for (int id : {cmd::kUnifyDuplicatedVertices, cmd::kRemoveUnrefVert, cmd::kOptimizeCurvature,
                 cmd::kRemoveDegenerateFaces})
    EXPECT_TRUE(editor.Execute(id)) << id;
  EXPECT_EQ(holder.FaceCount(), 12);
}

TEST(Application, TexturesWithoutCoordinatesAreDroppedAfterAWarning) {
  test::PlyFixture f = test::CenteredCubeFixture(CubeKind::Plain);
  f.comments.push_back("TextureFile cube.png");
  const std::string path = test::TempFilePath("tex-nocoords.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, f));
  AppHarness h;
  ASSERT_TRUE(h.Start({Q(path)}));
  ASSERT_EQ(h.messages.Shown().size(), 1u);
  EXPECT_EQ(h.messages.Shown()[0].text,
            "Ply Warning, mesh has texures specified in the comments but no tex coords.\n");
  const MeshHolder& holder = h.ActiveDoc()->Holder();
  EXPECT_TRUE(holder.TextureNames()->empty());
  EXPECT_FLOAT_EQ(holder.m_material.diffuse[0], 1.0f);
}

TEST(Application, AFailedReloadKeepsTheMeshOnShow) {
  const std::string path = test::WriteCenteredCube("reload.ply", CubeKind::Colored);
  AppHarness h;
  ASSERT_TRUE(h.Start({Q(path)}));
  CQuarnelDoc* doc = h.ActiveDoc();
  ASSERT_FALSE(doc->Loading());
  ASSERT_TRUE(test::WriteFileBytes(path, "ply\nformat ascii 1.0\nelement vertex 3\n"));
  EXPECT_TRUE(h.Execute(cmd::kFileReload));
  EXPECT_FALSE(h.messages.Shown().empty());
  EXPECT_FALSE(doc->Loading());
  EXPECT_EQ(doc->Holder().Tag(), 3);
  EXPECT_EQ(doc->Holder().VertexCount(), 8);
  EXPECT_EQ(h.DocumentWindowCount(), 1);

  // A good file reloads.
  h.messages.ClearShown();
  ASSERT_TRUE(test::WritePlyFixture(path, test::CenteredCubeFixture(CubeKind::Plain)));
  EXPECT_TRUE(h.Execute(cmd::kFileReload));
  EXPECT_TRUE(h.messages.Shown().empty());
  EXPECT_EQ(doc->Holder().Tag(), 1);

  // A document made by File New has nothing to reload.
  EXPECT_TRUE(h.Execute(framework_command::kFileNew));
  EXPECT_TRUE(h.ActiveDoc()->Loading());
  EXPECT_FALSE(h.Execute(cmd::kFileReload));
}

TEST(Application, TheIdlePassRestsWhenNothingNeedsIt) {
  const QString file = Q(test::WriteCenteredCube("idle.ply", CubeKind::Colored));
  AppHarness h;
  ASSERT_TRUE(h.Start({file}));
  h.Pump(200);
  CQuarnelView* view = h.ActiveView();
  ASSERT_NE(view, nullptr);
  const int frames = view->m_frameCount;
  const long long passes = h.App().Idle()->Passes();
  h.Pump(300);
  EXPECT_TRUE(h.App().Idle()->Resting());
  EXPECT_EQ(view->m_frameCount, frames);
  EXPECT_LE(h.App().Idle()->Passes(), passes + 1);

  // A spinning main trackball keeps the view drawing until it stops.
  view->m_trackBall.m_spinning = true;
  h.App().Idle()->Wake();
  h.Pump(200);
  EXPECT_GT(view->m_frameCount, frames + 2);
  view->m_trackBall.m_spinning = false;
  h.Pump(100);
  const int after = view->m_frameCount;
  h.Pump(200);
  EXPECT_EQ(view->m_frameCount, after);
  EXPECT_TRUE(h.App().Idle()->Resting());
}

TEST(Application, ExitClearsOnlyOurOwnClipboardData) {
  AppHarness ours;
  ASSERT_TRUE(ours.Start({}));
  ours.clipboard.Put("camera");
  ours.Stop();
  EXPECT_FALSE(ours.clipboard.HasBlock());

  AppHarness foreign;
  ASSERT_TRUE(foreign.Start({}));
  foreign.clipboard.PutForeignBlock(EncodeClipboardBlock("camera"));
  foreign.Stop();
  EXPECT_TRUE(foreign.clipboard.HasBlock());
}

}  // namespace
}  // namespace quarnel
