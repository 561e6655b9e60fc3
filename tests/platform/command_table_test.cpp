#include "platform/command_table.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QToolBar>

#include "platform/main_window.h"
#include "platform/profile.h"
#include "platform/recent_files.h"
#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::DrainEvents;
using test::TestApplication;

constexpr int kOpen = 57601;
constexpr int kRecent = 57616;
constexpr int kExit = 57665;
constexpr int kCopyView = 57634;
constexpr int kLighting = 32787;
constexpr int kWire = 32778;
constexpr int kSmooth = 32782;
constexpr int kUndo = 57643;
constexpr int kInfoPane = 32795;

const std::vector<MenuNode> kMenus = {
    {"&File", {{kOpen, "&Open...\tCtrl+O"}, {}, {kRecent, "Recent File"}, {}, {kExit, "E&xit"}}},
    {"&Edit", {{kUndo, "&Undo\tCtrl+Z"}, {kCopyView, "&Copy View\tCtrl+C"}}},
    {"&Render", {{"&Mode", {{kSmooth, "Smooth"}}}, {kLighting, "Lighting"}}},
};

const std::vector<Accelerator> kKeys = {
    {"Ctrl+C", kCopyView},
    {"Ctrl+Ins", kCopyView},
    {"Ctrl+O", kOpen},
    {"Ctrl+L", kLighting},
};

// The application end of a command chain, with state the tests can turn.
struct Fixture {
  MainWindow window;
  CommandRouter router;
  CommandMap app;
  CommandTable table{&window, router};
  std::vector<int> ran;
  bool lighting = true;
  bool copyEnabled = true;

  Fixture() {
    TestApplication();
    router.AddTarget(app);
    for (int id : {kOpen, kExit, kCopyView}) {
      app.On(id, [this, id] { ran.push_back(id); });
    }
    app.Update(kCopyView, [this](CommandState& s) { s.enabled = copyEnabled; });
    app.On(
        kLighting,
        [this] {
          ran.push_back(kLighting);
          lighting = !lighting;
        },
        [this](CommandState& s) { s.checked = lighting; });
    app.On(kSmooth, [this] { ran.push_back(kSmooth); });
    app.On(kWire, [this] { ran.push_back(kWire); });
    window.SetMenuBars(table.BuildMenuBar(kMenus, &window), {});
    table.SetAccelerators(kKeys);
    table.UpdateAll();
  }
};

TEST(CommandTable, OneActionPerCommandBuiltFromTheTables) {
  Fixture f;
  const std::vector<QMenu*>& menus = f.window.NoDocumentMenus();
  ASSERT_EQ(menus.size(), 3u);
  EXPECT_EQ(menus[0]->title(), QStringLiteral("&File"));
  const QList<QAction*> file = menus[0]->actions();
  ASSERT_EQ(file.size(), 5);
  EXPECT_TRUE(file[1]->isSeparator());
  EXPECT_TRUE(file[3]->isSeparator());
  EXPECT_EQ(file[0], f.table.Action(kOpen));
  EXPECT_EQ(f.table.IdOf(file[4]), kExit);

  // Texts are the tables' own: the key text comes only from the table, so
  // "Lighting" shows no key although Ctrl+L runs it.
  EXPECT_EQ(f.table.Action(kOpen)->text(), QStringLiteral("&Open...\tCtrl+O"));
  EXPECT_EQ(f.table.Action(kLighting)->text(), QStringLiteral("Lighting\t"));
  EXPECT_EQ(f.table.Action(kLighting)->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
  EXPECT_EQ(f.table.Action(kCopyView)->shortcuts(),
            (QList<QKeySequence>{QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}));

  // A popup inside a popup.
  QMenu* mode = menus[2]->actions()[0]->menu();
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->title(), QStringLiteral("&Mode"));
  EXPECT_EQ(mode->actions()[0], f.table.Action(kSmooth));

  // A toolbar shares the actions and names a toolbar-only command by its tip.
  QToolBar* bar = f.table.BuildToolBar(
      QStringLiteral("Main"),
      {{kOpen, ":/no/such.png"}, {}, {kWire, nullptr, "Wire"}, {kSmooth}, {kLighting}},
      QSize(32, 32), &f.window);
  const QList<QAction*> buttons = bar->actions();
  ASSERT_EQ(buttons.size(), 5);
  EXPECT_EQ(buttons[0], f.table.Action(kOpen));
  EXPECT_TRUE(buttons[1]->isSeparator());
  EXPECT_EQ(buttons[2]->toolTip(), QStringLiteral("Wire"));
  EXPECT_EQ(buttons[2]->text(), QStringLiteral("Wire\t"));
  EXPECT_EQ(buttons[0]->toolTip(), QStringLiteral("Open..."));
  EXPECT_EQ(bar->iconSize(), QSize(32, 32));
}

TEST(CommandTable, StatesFollowTheUpdateHandlers) {
  Fixture f;
  EXPECT_TRUE(f.table.Action(kOpen)->isEnabled());
  EXPECT_FALSE(f.table.Action(kUndo)->isEnabled());  // nobody handles it
  EXPECT_TRUE(f.table.Action(kLighting)->isChecked());
  EXPECT_FALSE(f.table.Action(kOpen)->isCheckable());

  // Running a command brings every state up to date.
  f.table.Action(kLighting)->trigger();
  EXPECT_EQ(f.ran, std::vector<int>{kLighting});
  EXPECT_FALSE(f.lighting);
  EXPECT_FALSE(f.table.Action(kLighting)->isChecked());
  EXPECT_FALSE(f.table.Action(kLighting)->isCheckable());
  f.table.Action(kLighting)->trigger();
  EXPECT_TRUE(f.table.Action(kLighting)->isChecked());

  // Opening a menu updates its items.
  f.copyEnabled = false;
  EXPECT_TRUE(f.table.Action(kCopyView)->isEnabled());
  QMenu* edit = f.window.NoDocumentMenus()[1];
  edit->popup(QPoint(10, 10));
  EXPECT_FALSE(f.table.Action(kCopyView)->isEnabled());
  edit->hide();

  // A command whose update says disabled does not run, also when asked for
  // directly (a key pressed before the last update).
  f.ran.clear();
  EXPECT_FALSE(f.table.Execute(kCopyView));
  EXPECT_FALSE(f.table.Execute(kUndo));
  EXPECT_TRUE(f.ran.empty());
  f.copyEnabled = true;
  EXPECT_TRUE(f.table.Execute(kCopyView));
  EXPECT_EQ(f.ran, std::vector<int>{kCopyView});
}

TEST(CommandTable, KeysRunTheirCommands) {
  Fixture f;
  f.window.show();
  f.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
  // Keys reach the shortcuts of the active window only; the display may be
  // shared with other programs that take the focus meanwhile.
  QApplication::setActiveWindow(&f.window);
  QTest::keyClick(&f.window, Qt::Key_Insert, Qt::ControlModifier);
  QTest::keyClick(&f.window, Qt::Key_L, Qt::ControlModifier);
  f.copyEnabled = false;
  f.table.UpdateAll();
  QApplication::setActiveWindow(&f.window);
  QTest::keyClick(&f.window, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(f.ran, (std::vector<int>{kCopyView, kLighting}));
}

TEST(CommandTable, RecentFilesFillTheFileMenu) {
  Fixture f;
  MemoryProfile profile;
  RecentFileList recent(profile);
  f.app.OnRange(
      kRecent, kRecent + 3, [&](int id) { f.ran.push_back(id); },
      [&](int id, CommandState& s) { s.enabled = id - kRecent < recent.Size(); });
  f.table.AttachRecentFiles(&recent, kRecent);
  QMenu* file = f.window.NoDocumentMenus()[0];

  auto texts = [&] {
    std::vector<QString> out;
    for (QAction* action : file->actions()) {
      out.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return out;
  };
  file->popup(QPoint(10, 10));
  file->hide();
  EXPECT_EQ(texts(),
            (std::vector<QString>{"&Open...\tCtrl+O", "-", "Recent File\t", "-", "E&xit\t"}));
  EXPECT_FALSE(f.table.Action(kRecent)->isEnabled());

  recent.Add(QStringLiteral("/m/a.ply"));
  recent.Add(QStringLiteral("/m/b.ply"));
  recent.Add(QStringLiteral("/m/c.ply"));
  file->popup(QPoint(10, 10));
  file->hide();
  EXPECT_EQ(texts(), (std::vector<QString>{"&Open...\tCtrl+O", "-", "&1 /m/c.ply\t",
                                           "&2 /m/b.ply\t", "&3 /m/a.ply\t", "-", "E&xit\t"}));
  EXPECT_TRUE(f.table.Action(kRecent + 2)->isEnabled());
  f.table.Action(kRecent + 2)->trigger();
  EXPECT_EQ(f.ran, std::vector<int>{kRecent + 2});

  // Entries that left the list leave the menu.
  recent.Remove(0);
  recent.Remove(0);
  file->popup(QPoint(10, 10));
  file->hide();
  EXPECT_EQ(texts(),
            (std::vector<QString>{"&Open...\tCtrl+O", "-", "&1 /m/a.ply\t", "-", "E&xit\t"}));
}

TEST(CommandText, PlainTextDropsMnemonicsAndKeys) {
  EXPECT_EQ(PlainCommandText(QStringLiteral("&Copy View\tCtrl+C")), QStringLiteral("Copy View"));
  EXPECT_EQ(PlainCommandText(QStringLiteral("Save &As...")), QStringLiteral("Save As..."));
  EXPECT_EQ(PlainCommandText(QStringLiteral("R&&D")), QStringLiteral("R&D"));
  EXPECT_EQ(PlainCommandText(QStringLiteral("Apply ")), QStringLiteral("Apply"));
}

}  // namespace
}  // namespace quarnel
