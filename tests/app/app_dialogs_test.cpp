// The application's dialogs and the file-type association: Preferences,
// About and File Types driven through their commands.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/about_dialog.h"
#include "app/command_ids.h"
#include "app/file_types.h"
#include "app/pref_dialog.h"
#include "app_harness.h"
#include "support/ply_fixture.h"

namespace quarnel {
namespace {

using test::AppHarness;

// Acts on the modal dialog of type D as soon as it is up; the action must
// close it. Gives up after a few seconds so a dialog that never opens fails
// the test instead of hanging it.
template <class D>
void WhenShown(std::function<void(D&)> act, bool* seen) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, seen] {
    D* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    if (!dialog && clock->elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (dialog) {
      *seen = true;
      act(*dialog);
    }
  });
  timer->start();
}

QCheckBox* Check(CPrefDlg& d, int id) {
  return qobject_cast<QCheckBox*>(d.Control(id));
}
QLineEdit* Edit(CPrefDlg& d, int id) {
  return qobject_cast<QLineEdit*>(d.Control(id));
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h.Start({})); }
  AppHarness h;
  bool seen = false;
};

TEST_F(Dialogs, PreferencesOkWritesAllFiveValues) {
  h.App().m_smallFontHeight = 11;
  WhenShown<CPrefDlg>(
      [](CPrefDlg& d) {
        EXPECT_EQ(d.windowTitle(), "Preferences");
        EXPECT_EQ(Edit(d, CPrefDlg::kSmallFontHeight)->text(), "11");
        EXPECT_EQ(Edit(d, CPrefDlg::kLargeFontHeight)->text(), "14");
        EXPECT_FALSE(Check(d, CPrefDlg::kShowTrackBall)->isChecked());
        EXPECT_EQ(Check(d, CPrefDlg::kFlipTextures)->text(),
                  "Flip Textures at loading (DEPRECATED)");
        Check(d, CPrefDlg::kShowTrackBall)->setChecked(true);
        Check(d, CPrefDlg::kHalveTextureSize)->setChecked(true);
        Edit(d, CPrefDlg::kLargeFontHeight)->setText(" 20 ");
        d.accept();
      },
      &seen);
  h.Execute(cmd::kPreferences);
  ASSERT_TRUE(seen);
  CQuarnelApp& app = h.App();
  EXPECT_TRUE(app.m_showTrackBallAtStart);
  EXPECT_TRUE(app.m_halveTextureSize);
  EXPECT_FALSE(app.m_flipTextures);
  EXPECT_EQ(app.m_smallFontHeight, 11);
  EXPECT_EQ(app.m_largeFontHeight, 20);
  // Unchanged values are written too.
  EXPECT_EQ(h.profile.GetInt("Prefs", "PngFlag", -1), 0);
  EXPECT_EQ(h.profile.GetInt("Prefs", "TrackFlag", -1), 1);
  EXPECT_EQ(h.profile.GetInt("Prefs", "SmallFontHeight", -1), 11);
  EXPECT_EQ(h.profile.GetInt("Prefs", "LargeFontHeight", -1), 20);
  EXPECT_EQ(h.profile.GetInt("Prefs", "HalveTextureSizeFlag", -1), 1);
  EXPECT_TRUE(h.MessageTexts().isEmpty());

  // What was written is what the next start reads.
  AppHarness next;
  ASSERT_TRUE(next.Start({}, &h.profile));
  EXPECT_TRUE(next.App().m_showTrackBallAtStart);
  EXPECT_EQ(next.App().m_largeFontHeight, 20);
}

TEST_F(Dialogs, PreferencesCancelChangesNothing) {
  WhenShown<CPrefDlg>(
      [](CPrefDlg& d) {
        Check(d, CPrefDlg::kFlipTextures)->setChecked(true);
        d.reject();
      },
      &seen);
  h.Execute(cmd::kPreferences);
  ASSERT_TRUE(seen);
  EXPECT_FALSE(h.App().m_flipTextures);
  EXPECT_FALSE(h.profile.Contains("Prefs", "PngFlag"));
  EXPECT_FALSE(h.profile.Contains("Prefs", "SmallFontHeight"));
}

TEST_F(Dialogs, ANonIntegerFontHeightKeepsTheDialogOpen) {
  // A height out of range would be rasterised at every start.
  const struct {
    int control;
    const char* text;
    const char* message;
  } rows[] = {
      {CPrefDlg::kSmallFontHeight, "12px", "Please enter an integer."},
      {CPrefDlg::kSmallFontHeight, "0", "Please enter an integer between 1 and 200."},
      {CPrefDlg::kLargeFontHeight, "10000", "Please enter an integer between 1 and 200."},
      {CPrefDlg::kLargeFontHeight, "-3", "Please enter an integer between 1 and 200."},
  };
  for (const auto& row : rows) {
    h.messages.ClearShown();
    seen = false;
    bool stayedOpen = false;
    WhenShown<CPrefDlg>(
        [&](CPrefDlg& d) {
          Edit(d, row.control)->setText(row.text);
          Check(d, CPrefDlg::kFlipTextures)->setChecked(true);
          d.accept();
          stayedOpen = d.isVisible();
          EXPECT_EQ(d.m_flipTextures, 0);
          d.reject();
        },
        &seen);
    h.Execute(cmd::kPreferences);
    ASSERT_TRUE(seen) << row.text;
    EXPECT_TRUE(stayedOpen) << row.text;
    EXPECT_EQ(h.MessageTexts(), QStringList{row.message});
    EXPECT_FALSE(h.profile.Contains("Prefs", "PngFlag"));
  }
  // The limits themselves are heights.
  WhenShown<CPrefDlg>(
      [](CPrefDlg& d) {
        Edit(d, CPrefDlg::kSmallFontHeight)->setText("1");
        Edit(d, CPrefDlg::kLargeFontHeight)->setText("200");
        d.accept();
      },
      &seen);
  h.Execute(cmd::kPreferences);
  EXPECT_EQ(h.profile.GetInt("Prefs", "SmallFontHeight", -1), 1);
  EXPECT_EQ(h.profile.GetInt("Prefs", "LargeFontHeight", -1), 200);
}

TEST_F(Dialogs, AFailedProfileWriteIsReported) {
  h.profile.SetWritable(false);
  WhenShown<CPrefDlg>([](CPrefDlg& d) { d.accept(); }, &seen);
  h.Execute(cmd::kPreferences);
  ASSERT_TRUE(seen);
  EXPECT_EQ(h.MessageTexts(), QStringList{"The preferences could not be saved."});
}

TEST_F(Dialogs, AboutShowsTheBuildLineAndTheVersion) {
  QString build, version, title;
  bool icon = false;
  WhenShown<CAboutDlg>(
      [&](CAboutDlg& d) {
        title = d.windowTitle();
        for (const QLabel* label : d.findChildren<QLabel*>())
          icon |= !label->pixmap().isNull();
        build = d.Control(CAboutDlg::kBuildText)->text();
        version = d.Control(CAboutDlg::kProductVersion)->text();
        d.accept();
      },
      &seen);
  EXPECT_TRUE(h.Execute(cmd::kAppAbout));
  ASSERT_TRUE(seen);
  EXPECT_EQ(title, "About Quarnel");
  // The program's icon, in the box and on the main window.
  EXPECT_TRUE(icon);
  EXPECT_FALSE(h.Window().windowIcon().isNull());
  EXPECT_TRUE(build.startsWith("Build on ")) << build.toStdString();
  EXPECT_EQ(version, ProductVersion());
  EXPECT_FALSE(version.isEmpty());
  EXPECT_EQ(BuildLine("Dec  7 2026"), "Build on Dec 7 2026");
  EXPECT_EQ(BuildLine(""), "Build on");
}

// File Types with XDG folders of its own.
class FileTypes : public Dialogs {
 protected:
  void SetUp() override {
    Dialogs::SetUp();
    root = test::TempFilePath(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(root);
    savedData = Get("XDG_DATA_HOME");
    savedConfig = Get("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  }
  void TearDown() override {
    Restore("XDG_DATA_HOME", savedData);
    Restore("XDG_CONFIG_HOME", savedConfig);
  }
  static std::string Get(const char* name) {
    const char* v = ::getenv(name);
    return v ? v : "\x01";
  }
  static void Restore(const char* name, const std::string& value) {
    if (value == "\x01")
      ::unsetenv(name);
    else
      ::setenv(name, value.c_str(), 1);
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string root, savedData, savedConfig;
};

TEST_F(FileTypes, NoOrCancelLeavesTheFoldersAlone) {
  for (MessageAnswer a : {MessageAnswer::No, MessageAnswer::Cancel}) {
    h.messages.QueueAnswer(a);
    h.Execute(cmd::kFileTypes);
  }
  ASSERT_EQ(h.MessageTexts().size(), 2);
  EXPECT_EQ(h.MessageTexts()[0], "Do you want re-associate Quarnel with file types?");
  EXPECT_EQ(h.messages.Shown()[0].buttons, MessageButtons::YesNoCancel);
  EXPECT_FALSE(std::filesystem::exists(root + "/data"));
  EXPECT_FALSE(std::filesystem::exists(root + "/config"));
}

TEST_F(FileTypes, YesWritesTheTypeTheEntryAndTheDefault) {
  std::filesystem::create_directories(root + "/config");
  {
    std::ofstream out(root + "/config/mimeapps.list");
    out << "[Default Applications]\ntext/plain=editor.desktop\nmodel/x-ply=other.desktop\n"
           "[Added Associations]\nimage/png=viewer.desktop;\n";
  }
  h.messages.QueueAnswer(MessageAnswer::Yes);
  h.Execute(cmd::kFileTypes);
  const std::string package = Read(root + "/data/mime/packages/quarnel-ply.xml");
  EXPECT_NE(package.find("<mime-type type=\"model/x-ply3dmesh\">"), std::string::npos);
  EXPECT_NE(package.find("<glob pattern=\"*.ply\"/>"), std::string::npos);
  EXPECT_NE(package.find("<comment>PLY 3d Mesh</comment>"), std::string::npos);
  const std::string entry = Read(root + "/data/applications/quarnel.desktop");
  EXPECT_NE(entry.find("MimeType=model/x-ply3dmesh;"), std::string::npos);
  // The desktop's starts are marked, so that they go to a running instance.
  EXPECT_NE(entry.find("Exec=\"" + QCoreApplication::applicationFilePath().toStdString() +
                       "\" -shellopen %f"),
            std::string::npos);
  // The entry shows the program's icon, written beside the user's others.
  const std::string icon = root + "/data/icons/hicolor/128x128/apps/quarnel.png";
  EXPECT_NE(entry.find("\nIcon=" + icon + "\n"), std::string::npos) << entry;
  EXPECT_EQ(QImage(QString::fromStdString(icon)).size(), QSize(128, 128));
  const std::string list = Read(root + "/config/mimeapps.list");
  EXPECT_EQ(
      list,
      "[Default Applications]\nmodel/x-ply3dmesh=quarnel.desktop\ntext/plain=editor.desktop\n"
      "[Added Associations]\nmodel/x-ply3dmesh=quarnel.desktop;\nimage/png=viewer.desktop;\n");
  // No temporary file is left beside the targets.
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();

  // Asked again, the association is made anew, once.
  h.messages.QueueAnswer(MessageAnswer::Yes);
  h.Execute(cmd::kFileTypes);
  EXPECT_EQ(Read(root + "/config/mimeapps.list"), list);
}

TEST(FileTypeText, MimeAppsEditsKeepForeignLines) {
  const QString text =
      "# mine\n[Default Applications]\nmodel/ply=a.desktop\n text/x-ply = b.desktop\n"
      "image/png=c.desktop\n[Removed Associations]\napplication/x-ply=d.desktop;\n";
  EXPECT_EQ(MimeAppsWithout(text, PlyMimeTypes()),
            "# mine\n[Default Applications]\nimage/png=c.desktop\n[Removed Associations]\n");
  EXPECT_EQ(MimeAppsWith("", "Default Applications", "k", "v"), "[Default Applications]\nk=v\n");
  EXPECT_EQ(MimeAppsWith("[A]\nx=1", "B", "k", "v"), "[A]\nx=1\n\n[B]\nk=v\n");
  EXPECT_EQ(MimeAppsWith("[B]\nk=old\n[C]\nk=c\n", "B", "k", "v"), "[B]\nk=v\n[C]\nk=c\n");
}

TEST(FileTypeText, ExecQuotingFollowsTheDesktopEntryRules) {
  EXPECT_EQ(DesktopExecArgument("/opt/q/quarnel"), "\"/opt/q/quarnel\"");
  EXPECT_EQ(DesktopExecArgument("/a b/q"), "\"/a b/q\"");
  EXPECT_EQ(DesktopExecArgument("/a\"b"), "\"/a\\\\\"b\"");
  EXPECT_EQ(DesktopExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
  EXPECT_EQ(DesktopExecArgument("/$x/100%"), "\"/\\\\$x/100%%\"");
}

}  // namespace
}  // namespace quarnel
