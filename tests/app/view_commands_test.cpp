// The view's commands as the menus, keys and toolbars reach them: their
// effects, check marks and enabling, and the context menu.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QCursor>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/command_ids.h"
#include "app/extensions.h"
#include "app/main_frame.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "platform/command_table.h"
#include "platform/document_manager.h"
#include "platform/framework_commands.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::Q;
using namespace cmd;

// A textured cube that names several texture files.
std::string WriteCubeWithTextures(const std::string& name, int count) {
  test::PlyFixture f = test::CenteredCubeFixture(CubeKind::Textured);
  for (int i = 1; i < count; ++i) f.comments.push_back("TextureFile cube" + std::to_string(i) + ".png");
  const std::string path = test::TempFilePath(name);
  test::WritePlyFixture(path, f);
  return path;
}

// Answers the next colour dialog: picks colour, or cancels when it is invalid.
void AnswerColourDialog(QColor colour) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, colour] {
    auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    timer->stop();
    timer->deleteLater();
    if (colour.isValid()) {
      dialog->setCurrentColor(colour);
      dialog->accept();
    } else {
      dialog->reject();
    }
  });
  timer->start(20);
}

// A cube with everything a key of the window can act on: two texture names
// with their coordinates, and quality per vertex and per face.
std::string WriteCubeForEveryKey() {
  test::PlyFixture f = test::CenteredCubeFixture(CubeKind::Textured);
  f.comments.push_back("TextureFile cube1.png");
  for (test::PlyFixtureElement& element : f.elements) {
    element.properties.push_back({"quality", ply_type::Float});
    for (std::size_t i = 0; i < element.records.size(); ++i) element.records[i].push_back(double(i));
  }
  const std::string path = test::TempFilePath("every-key.ply");
  test::WritePlyFixture(path, f);
  return path;
}

class ViewCommandsTest : public ::testing::Test {
 protected:
  void Open(const std::string& path, bool edit = false) {
    ASSERT_NE(view = h.StartView(path, edit), nullptr);
  }
  void Open(CubeKind kind, bool edit = false) {
    Open(test::WriteCenteredCube("commands.ply", kind), edit);
  }
  CommandTable& Table() { return h.App().MainFrame()->Commands(); }
  bool Enabled(int id) {
    Table().Update(id);
    return Table().Action(id)->isEnabled();
  }
  bool Checked(int id) {
    Table().Update(id);
    return Table().Action(id)->isChecked();
  }

  AppHarness h;
  CQuarnelView* view = nullptr;
};

TEST_F(ViewCommandsTest, RenderModesSetTheDrawModeAndCheckOnlyTheirItem) {
  Open(CubeKind::Plain);
  const std::pair<int, int> modes[] = {{kBoundingBox, 1}, {kPoints, 2},    {kWire, 3},
                                       {kHiddenLine, 4},  {kFlatWire, 7},  {kFlatShaded, 5},
                                       {kSmooth, 6}};
  for (auto [id, mode] : modes) {
    ASSERT_TRUE(h.Execute(id)) << id;
    EXPECT_EQ(view->m_drawMode, mode);
    for (auto [other, otherMode] : modes) EXPECT_EQ(Checked(other), other == id) << id << " " << other;
  }
}

TEST_F(ViewCommandsTest, SwitchesToggleTheirFlagAndShowItAsCheckMark) {
  Open(CubeKind::Plain);
  struct Switch {
    int id;
    bool CQuarnelView::*flag;
  } switches[] = {
      {kXRay, &CQuarnelView::m_xRay},
      {kBackFaceCulling, &CQuarnelView::m_backFaceCulling},
      {kLighting, &CQuarnelView::m_lighting},
      {kDoubleSideLighting, &CQuarnelView::m_doubleSideLighting},
      {kFancyLighting, &CQuarnelView::m_fancyLighting},
      {kShowAxes, &CQuarnelView::m_showAxes},
      {kBoxCorner, &CQuarnelView::m_showBoxCorner},
      {kPlaneXY, &CQuarnelView::m_showPlaneXY},
      {kPlaneXZ, &CQuarnelView::m_showPlaneXZ},
      {kPlaneYZ, &CQuarnelView::m_showPlaneYZ},
      {kInfoPane, &CQuarnelView::m_showInfoPane},
      {kMassProperties, &CQuarnelView::m_showMassProperties},
      {kInfoDistance, &CQuarnelView::m_showDistance},
      {kInfoPunctual, &CQuarnelView::m_showPunctual},
      {kOnScreenHelp, &CQuarnelView::m_showHelp},
      {kShowTrackBall, &CQuarnelView::m_showTrackBall},
  };
  for (const Switch& s : switches) {
    const bool before = view->*s.flag;
    EXPECT_EQ(Checked(s.id), before) << s.id;
    ASSERT_TRUE(h.Execute(s.id)) << s.id;
    EXPECT_EQ(view->*s.flag, !before) << s.id;
    EXPECT_EQ(Checked(s.id), !before) << s.id;
    ASSERT_TRUE(h.Execute(s.id));
    EXPECT_EQ(view->*s.flag, before) << s.id;
  }
  // Link All TrackBalls is the application's switch.
  EXPECT_FALSE(Checked(kLinkTrackBalls));
  ASSERT_TRUE(h.Execute(kLinkTrackBalls));
  EXPECT_TRUE(h.App().m_linkTrackBalls);
  EXPECT_TRUE(Checked(kLinkTrackBalls));
}

TEST_F(ViewCommandsTest, TicksGrowAndShrinkByTenWithinTheirLimits) {
  Open(CubeKind::Plain);
  ASSERT_EQ(view->m_ticks, 10);
  for (int expected : {100, 1000, 1000}) {
    ASSERT_TRUE(h.Execute(kMoreTicks));
    EXPECT_EQ(view->m_ticks, expected);
  }
  for (int expected : {100, 10, 1, 1}) {
    ASSERT_TRUE(h.Execute(kLessTicks));
    EXPECT_EQ(view->m_ticks, expected);
  }
}

TEST_F(ViewCommandsTest, TextureCommandsAreGreyedWithoutTextures) {
  Open(CubeKind::Plain);
  for (int id : {kEnableTexturing, kEnableNormalMap, kFilterNearest, kFilterLinear, kFilterMipMap,
                 kViewTextureImage, kNextTexture})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_FALSE(h.Execute(kViewTextureImage));
  EXPECT_EQ(view->m_textureImageView, 0);
}

TEST_F(ViewCommandsTest, TextureNamesEnableTexturingButNotNormalMaps) {
  Open(WriteCubeWithTextures("one_texture.ply", 1));
  EXPECT_TRUE(Enabled(kEnableTexturing));
  EXPECT_FALSE(Enabled(kEnableNormalMap));
  EXPECT_FALSE(Enabled(kNextTexture));
  for (int id : {kFilterNearest, kFilterLinear, kFilterMipMap}) EXPECT_TRUE(Enabled(id));
  ASSERT_TRUE(h.Execute(kFilterNearest));
  EXPECT_EQ(view->m_textureFilter, 0);
  EXPECT_TRUE(Checked(kFilterNearest));
  EXPECT_FALSE(Checked(kFilterMipMap));

  const bool before = view->m_texturing;
  ASSERT_TRUE(h.Execute(kEnableTexturing));
  EXPECT_EQ(view->m_texturing, !before);

  // View Texture Image: on, off, and the texture camera starts anew.
  view->m_textureTrackBall.m_track.m[12] = 5.0;
  ASSERT_TRUE(h.Execute(kViewTextureImage));
  EXPECT_EQ(view->m_textureImageView, 1);
  EXPECT_EQ(view->m_textureTrackBall.m_track.m[12], 0.0);
  EXPECT_TRUE(Checked(kViewTextureImage));
  ASSERT_TRUE(h.Execute(kViewTextureImage));
  EXPECT_EQ(view->m_textureImageView, 0);
}

TEST_F(ViewCommandsTest, NextTextureRotatesNamesAndGlNamesTogether) {
  Open(WriteCubeWithTextures("three_textures.ply", 3));
  MeshHolder& holder = view->GetDocument().Holder();
  ASSERT_EQ(holder.TextureNames()->size(), 3u);
  ASSERT_TRUE(Enabled(kNextTexture));
  const std::vector<std::string> names = *holder.TextureNames();
  for (unsigned i = 0; i < 3; ++i) *holder.GlTextureName(i) = 100 + i;

  ASSERT_TRUE(h.Execute(kNextTexture));
  EXPECT_EQ((*holder.TextureNames())[0], names[1]);
  EXPECT_EQ((*holder.TextureNames())[2], names[0]);
  EXPECT_EQ(*holder.GlTextureName(0), 101u);
  EXPECT_EQ(*holder.GlTextureName(2), 100u);
  ASSERT_TRUE(h.Execute(kNextTexture));
  ASSERT_TRUE(h.Execute(kNextTexture));
  EXPECT_EQ(*holder.TextureNames(), names);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(*holder.GlTextureName(i), 100 + i);
}

TEST_F(ViewCommandsTest, ColourItemsFollowTheLoadMaskAndTheMeshType) {
  Open(CubeKind::Quality);
  MeshHolder& holder = view->GetDocument().Holder();
  EXPECT_TRUE(Enabled(kColorNone));
  EXPECT_TRUE(Enabled(kColorCustom));
  EXPECT_TRUE(Enabled(kColorPerVertexQuality));
  EXPECT_FALSE(Enabled(kColorPerVertex));
  EXPECT_FALSE(Enabled(kColorPerFace));
  EXPECT_FALSE(Enabled(kColorPerFaceQuality));

  ASSERT_TRUE(h.Execute(kColorNone));
  EXPECT_EQ(view->m_colorMode, 0);
  ASSERT_TRUE(h.Execute(kColorPerVertexQuality));
  EXPECT_EQ(view->m_colorMode, 3);
  ASSERT_TRUE(h.Execute(kColorCustom));
  EXPECT_EQ(view->m_colorMode, 3);

  // Either face-colour bit enables Per Face.
  const IoMask mask = holder.m_loadMask;
  for (IoMask bits : {io_mask::FaceColor, io_mask::FaceColorList}) {
    holder.m_loadMask = bits;
    EXPECT_TRUE(Enabled(kColorPerFace)) << bits;
  }
  holder.m_loadMask = io_mask::FaceQuality;
  EXPECT_TRUE(Enabled(kColorPerFaceQuality));
  holder.m_loadMask = mask;

  // Border needs one of the types with adjacency; geodesic distance and
  // curvature the editable one.
  const int tag = holder.Tag();
  for (int t : {1, 3, 4, 5}) {
    holder.m_tag = t;
    EXPECT_EQ(Enabled(kColorBorder), t != 1) << t;
    EXPECT_EQ(Enabled(kColorGeodesic), t == 5) << t;
    EXPECT_EQ(Enabled(kColorGaussian), t == 5) << t;
  }
  holder.m_tag = tag;

  // The selection colourings have no condition and no check mark.
  EXPECT_TRUE(Enabled(kColorFaceSelected));
  EXPECT_FALSE(Checked(kColorFaceSelected));
  EXPECT_TRUE(Enabled(kColorVertexSelected));
}

TEST_F(ViewCommandsTest, CameraPresetsAreCheckedAndRefitTheCamera) {
  Open(CubeKind::Plain);
  const int ids[] = {kCameraFree, kCameraFront, kCameraBack,  kCameraLeft,
                     kCameraRight, kCameraTop,  kCameraBottom};
  for (int preset = 6; preset >= 0; --preset) {
    view->m_trackBall.m_track.m[13] = 3.0;
    ASSERT_TRUE(h.Execute(ids[preset]));
    EXPECT_EQ(view->m_cameraPreset, preset);
    for (int other = 0; other < 7; ++other) EXPECT_EQ(Checked(ids[other]), other == preset);
    EXPECT_NEAR(view->m_trackBall.m_track.m[13], 0.0, 1e-12);
  }
  view->m_trackBall.m_track.m[12] = 4.0;
  ASSERT_TRUE(h.Execute(kResetTrackBall));
  EXPECT_NEAR(view->m_trackBall.m_track.m[12], 0.0, 1e-12);
}

TEST_F(ViewCommandsTest, ZoomOnPointArmsAndDisarmsAndRemembersTheMode) {
  Open(CubeKind::Plain);
  view->m_xRay = true;
  ASSERT_TRUE(h.Execute(kZoomOnPoint));
  EXPECT_FALSE(view->m_xRay);
  EXPECT_EQ(view->m_interactionMode, 1);
  EXPECT_TRUE(Checked(kZoomOnPoint));
  ASSERT_TRUE(h.Execute(kZoomOnPoint));
  EXPECT_EQ(view->m_interactionMode, 0);
  EXPECT_FALSE(Checked(kZoomOnPoint));

  view->m_interactionMode = 2;
  ASSERT_TRUE(h.Execute(kZoomOnPoint));
  EXPECT_EQ(view->m_savedMode, 2);
  // During an animated move the mode to return to stays.
  view->m_interactionMode = 3;
  view->m_savedMode = 6;
  ASSERT_TRUE(h.Execute(kZoomOnPoint));
  EXPECT_EQ(view->m_interactionMode, 1);
  EXPECT_EQ(view->m_savedMode, 6);
}

TEST_F(ViewCommandsTest, SelectionModesAreChecked) {
  Open(CubeKind::Plain, true);
  ASSERT_TRUE(h.Execute(kSelectVertex));
  EXPECT_EQ(view->m_selectionMode, 1);
  EXPECT_TRUE(Checked(kSelectVertex));
  EXPECT_FALSE(Checked(kSelectFace));
  ASSERT_TRUE(h.Execute(kSelectFace));
  EXPECT_EQ(view->m_selectionMode, 2);
  EXPECT_TRUE(Checked(kSelectFace));
}

TEST_F(ViewCommandsTest, PasteViewIsGreyedUntilTheClipboardHoldsAView) {
  Open(CubeKind::Plain);
  EXPECT_FALSE(Enabled(kPasteView));
  EXPECT_FALSE(h.Execute(kPasteView));
  ASSERT_TRUE(h.Execute(kCopyView));
  EXPECT_TRUE(Enabled(kPasteView));
  h.clipboard.TakeAway();
  EXPECT_FALSE(Enabled(kPasteView));
}

TEST_F(ViewCommandsTest, TheContextMenuIsTheRenderMenuAtThePoint) {
  Open(CubeKind::Plain);
  QMenu* render = h.Window().MenuTitled("Render");
  ASSERT_NE(render, nullptr);
  const QPoint at = view->mapToGlobal(QPoint(20, 30));
  view->OnContextMenu(at.x(), at.y());
  EXPECT_TRUE(render->isVisible());
  EXPECT_LT((render->pos() - at).manhattanLength(), 40);
  render->hide();
  // Its items are the menu bar's, so a pick reaches the view's handlers.
  ASSERT_TRUE(h.Execute(kPoints));
  EXPECT_EQ(view->m_drawMode, 2);
  h.Pump(50);

  // The menu key opens it where the mouse is.
  QCursor::setPos(view->mapToGlobal(QPoint(60, 40)));
  h.Pump(50);
  const QPoint mouse = QCursor::pos();
  view->OnContextMenu(-1, -1);
  EXPECT_TRUE(render->isVisible());
  EXPECT_LT((render->pos() - mouse).manhattanLength(), 40);
  render->hide();
}

TEST_F(ViewCommandsTest, BackgroundColourTakesTheChosenColourOpaque) {
  Open(CubeKind::Plain);
  AnswerColourDialog(QColor(10, 20, 30));
  ASSERT_TRUE(h.Execute(kBackgroundColor));
  EXPECT_EQ(view->m_backgroundColor, (Color4b{10, 20, 30, 255}));
  const QImage img = h.Frame(view);
  EXPECT_EQ(qRed(img.pixel(2, 2)), 10);
  EXPECT_EQ(qBlue(img.pixel(2, 2)), 30);
  // Cancel keeps it.
  AnswerColourDialog(QColor());
  ASSERT_TRUE(h.Execute(kBackgroundColor));
  EXPECT_EQ(view->m_backgroundColor, (Color4b{10, 20, 30, 255}));
}

TEST_F(ViewCommandsTest, MirrorAndEnvironmentLoadTheCubeMapWhenSwitchedOn) {
  Open(CubeKind::Plain);
  // The six faces where the program looks for them, from the current folder.
  const QString folder = QString::fromStdString(test::TempFilePath("cubemap_run"));
  ASSERT_TRUE(QDir().mkpath(folder + "/test/cubemap"));
  for (const char* face : {"negx", "posx", "negy", "posy", "negz", "posz"}) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(QColor(40, 200, 90));
    ASSERT_TRUE(image.save(folder + "/test/cubemap/uffizi_" + face + ".png"));
  }
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder));

  ASSERT_TRUE(h.Execute(kBackgroundEnvironment));
  EXPECT_TRUE(view->m_environment);
  EXPECT_TRUE(Checked(kBackgroundEnvironment));
  const unsigned texture = h.App().m_cubeMapTexture;
  ASSERT_TRUE(view->MakeCurrent());
  if (PublicExtensionFlags().gl[GlExt::ARB_texture_cube_map]) {
    ASSERT_NE(texture, 0u);
    EXPECT_TRUE(glIsTexture(texture));
  }

  // Mirror shares the texture; switching off loads nothing.
  ASSERT_TRUE(h.Execute(kMaterialMirror));
  EXPECT_TRUE(view->m_mirror);
  EXPECT_TRUE(Checked(kMaterialMirror));
  EXPECT_EQ(h.App().m_cubeMapTexture, texture);
  ASSERT_TRUE(h.Execute(kMaterialMirror));
  EXPECT_FALSE(view->m_mirror);
  EXPECT_FALSE(Checked(kMaterialMirror));
  h.Frame(view);
  QDir::setCurrent(previous);
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// Every key of the window's accelerator table, and the keys of the document
// windows, pressed on the real main window in edit mode.
TEST_F(ViewCommandsTest, EveryKeyOfTheWindowRunsItsCommand) {
  Open(WriteCubeForEveryKey(), true);
  MainWindow& window = h.Window();
  QMdiArea* area = window.MdiArea();
  CommandTable& table = Table();
  QSignalSpy ran(&table, &CommandTable::commandExecuted);
  auto activeIndex = [area] { return int(area->subWindowList().indexOf(area->activeSubWindow())); };
  int before = 0;
  bool shown = false;
  // id: the command the key runs; 0 for a key whose command has no handler
  // (nothing runs) or that is no command (check says what it did).
  struct Row {
    QKeyCombination key;
    int id;
    std::function<void()> setup;
    std::function<bool()> check;
  };
  const auto ctrl = Qt::ControlModifier;
  const auto shift = Qt::ShiftModifier;
  const Row rows[] = {
      {ctrl | Qt::Key_C, kCopyView, {}, [&] { return h.clipboard.HasBlock(); }},
      {ctrl | Qt::Key_Insert, kCopyView, {}, {}},
      {ctrl | Qt::Key_V, kPasteView, {}, {}},
      {shift | Qt::Key_Insert, kPasteView, {}, {}},
      {shift | Qt::Key_Delete, 0, {}, {}},
      {ctrl | Qt::Key_X, 0, {}, {}},
      {Qt::AltModifier | Qt::Key_Backspace, 0, {}, {}},
      {ctrl | Qt::Key_Z, 0, {}, {}},
      {ctrl | Qt::Key_O, framework_command::kFileOpen, {},
       [&] { return h.dialogs.Requests().size() == 1; }},
      {ctrl | Qt::Key_R, kFileReload, {}, {}},
      {ctrl | Qt::Key_S, framework_command::kFileSave,
       [&] { h.messages.QueueAnswer(MessageAnswer::Cancel); },
       [&] { return h.MessageTexts().contains("Are you sure to overwrite the currently opened file?"); }},
      {QKeyCombination(Qt::Key_F6), 0, {}, {}},
      {shift | Qt::Key_F6, 0, {}, {}},
      {ctrl | Qt::Key_K, kBackFaceCulling, {}, [&] { return view->m_backFaceCulling; }},
      {ctrl | shift | Qt::Key_Q, kColorPerFaceQuality, {}, [&] { return view->m_colorMode == 2; }},
      {ctrl | Qt::Key_Q, kColorPerVertexQuality, {}, [&] { return view->m_colorMode == 3; }},
      {ctrl | Qt::Key_D, kDoubleSideLighting, {}, [&] { return view->m_doubleSideLighting; }},
      {ctrl | Qt::Key_F, kFancyLighting, {}, [&] { return view->m_fancyLighting; }},
      {ctrl | Qt::Key_L, kLighting, {}, [&] { return !view->m_lighting; }},
      {ctrl | Qt::Key_Delete, kDeleteSelected, {}, {}},
      {ctrl | shift | Qt::Key_L, kLinkTrackBalls, {}, [&] { return h.App().m_linkTrackBalls; }},
      {ctrl | Qt::Key_H, kResetTrackBall, {}, {}},
      {ctrl | shift | Qt::Key_H, kShowTrackBall, [&] { shown = view->m_showTrackBall; },
       [&] { return view->m_showTrackBall != shown; }},
      {QKeyCombination(Qt::Key_PageDown), kNextTexture, {},
       [&] { return h.ActiveDoc()->Holder().TextureNames()->front() == "cube1.png"; }},
      {ctrl | Qt::Key_T, kViewTextureImage, {}, [&] { return view->m_textureImageView == 1; }},
      {QKeyCombination(Qt::Key_Escape), kToggleEditing, [&] { h.Execute(kClipPlaneStart); },
       [&] { return view->m_editing; }},
      {ctrl | Qt::Key_N, framework_command::kFileNew, {},
       [&] { return h.DocumentWindowCount() == 2; }},
      {ctrl | Qt::Key_N, framework_command::kFileNew, {},
       [&] { return h.DocumentWindowCount() == 3; }},
      // The document windows: next, previous, close.
      {ctrl | Qt::Key_F6, 0, {}, [&] { return activeIndex() == (before + 1) % 3; }},
      {ctrl | Qt::Key_Tab, 0, {}, [&] { return activeIndex() == (before + 1) % 3; }},
      {ctrl | shift | Qt::Key_F6, 0, {}, [&] { return activeIndex() == (before + 2) % 3; }},
      {ctrl | shift | Qt::Key_Tab, 0, {}, [&] { return activeIndex() == (before + 2) % 3; }},
      {ctrl | Qt::Key_F4, 0, {}, [&] { return h.DocumentWindowCount() == 2; }},
  };
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  for (const Row& row : rows) {
    const QString name = QKeySequence(row.key).toString();
    if (row.setup) row.setup();
    table.UpdateAll();
    ran.clear();
    before = activeIndex();
    // Keys reach the shortcuts of the active window only; the display may
    // be shared with other programs that take the focus meanwhile.
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, row.key.key(), row.key.keyboardModifiers());
    h.Pump(20);
    QList<int> ids;
    for (const QList<QVariant>& args : ran) ids << args.at(0).toInt();
    EXPECT_EQ(ids, row.id ? QList<int>{row.id} : QList<int>{}) << name.toStdString();
    if (row.check) {
      EXPECT_TRUE(row.check()) << name.toStdString();
    }
  }
}

}  // namespace
}  // namespace quarnel
