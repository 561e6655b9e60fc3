// The mouse on the real view: Qt Test events routed by the interaction mode
// to the trackballs, the rubber band, the zoom, the tape and the cursors.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/command_ids.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "platform/clock.h"
#include "platform/cursors.h"
#include "platform/idle_pass.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::IsBackground;

int g_now = 0;
int TestTicks() { return g_now; }

constexpr Qt::KeyboardModifiers kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

class MouseTest : public ::testing::Test {
 protected:
  void TearDown() override { TrackBall::SetTickSource(nullptr); }

  void Open(bool edit = false) {
    QStringList args{QString::fromStdString(test::WriteCenteredCube("mouse.ply", CubeKind::Plain))};
    if (edit) args << "-edit";
    ASSERT_TRUE(h.Start(args));
    // The trackballs' clock stands still unless a test moves it: no drag
    // spins by chance.
    g_now = 1000;
    TrackBall::SetTickSource(&TestTicks);
    view = h.ActiveView();
    ASSERT_NE(view, nullptr);
    h.Pump(100);
    ASSERT_TRUE(view->InitialUpdateDone());
    // A drawn frame gives every trackball its camera.
    h.Frame(view);
    centre = QPoint(view->width() / 2, view->height() / 2);
    // The rings about X and Y are seen edge-on through the centre, where a
    // press grabs them; this point is clear of every handle.
    offCentre = centre + QPoint(-20, 15);
  }

  void Press(Qt::MouseButton b, QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::mousePress(view, b, m, p);
  }
  void Release(Qt::MouseButton b, QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::mouseRelease(view, b, m, p);
  }
  // A move with the buttons that are down.
  void Drag(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::mouseEvent(QTest::MouseMove, view, Qt::NoButton, m, p);
  }
  // A press at `from`, one move to `to` and the release there.
  void PressDragRelease(Qt::MouseButton b, QPoint from, QPoint to,
                        Qt::KeyboardModifiers m = Qt::NoModifier) {
    Press(b, from, m);
    Drag(to, m);
    Release(b, to, m);
  }
  // A move with no button down.
  void Hover(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(view->mapToGlobal(p)), Qt::NoButton,
                  Qt::NoButton, m);
    QApplication::sendEvent(view, &e);
  }
  void Wheel(int delta, Qt::KeyboardModifiers m = Qt::NoModifier,
             Qt::MouseButtons buttons = Qt::NoButton) {
    QWheelEvent e(QPointF(centre), QPointF(view->mapToGlobal(centre)), QPoint(), QPoint(0, delta),
                  buttons, m, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &e);
  }
  Vec3d Front() const { return view->m_trackBall.m_track.TransformPoint(Vec3d(0, 0, 0.5)); }
  Vec3d Origin(const TrackBall& tb) const { return tb.m_track.TransformPoint(Vec3d(0, 0, 0)); }
  bool Same(const Mat4d& a, const Mat4d& b) const {
    for (int i = 0; i < 16; ++i)
      if (std::fabs(a.m[i] - b.m[i]) > 1e-12) return false;
    return true;
  }

  AppHarness h;
  CQuarnelView* view = nullptr;
  QPoint centre;
  QPoint offCentre;
};

TEST_F(MouseTest, LeftDragTurnsTheModelAndTheReleaseEndsTheDrag) {
  Open();
  const Vec3d before = Front();
  Press(Qt::LeftButton, offCentre);
  EXPECT_EQ(view->m_trackBall.m_handlePicking, 1);
  EXPECT_TRUE(view->m_trackBall.m_dragging);
  Drag(offCentre + QPoint(60, 0));
  // The front of the cube follows the cursor to the right.
  EXPECT_GT(Front().x, before.x + 0.05);
  Release(Qt::LeftButton, offCentre + QPoint(60, 0));
  EXPECT_FALSE(view->m_trackBall.m_dragging);
  EXPECT_FALSE(view->m_trackBall.m_spinning);
  EXPECT_FALSE(view->m_lightDragging);
}

TEST_F(MouseTest, ModifiersAndTheMiddleButtonMoveAndScale) {
  Open();
  // Ctrl + left moves the model with the cursor.
  Vec3d o = Origin(view->m_trackBall);
  PressDragRelease(Qt::LeftButton, centre, centre + QPoint(40, 0), Qt::ControlModifier);
  EXPECT_GT(Origin(view->m_trackBall).x, o.x + 0.01);
  EXPECT_NEAR(Origin(view->m_trackBall).y, o.y, 1e-9);

  // So does the middle button, upwards here.
  o = Origin(view->m_trackBall);
  PressDragRelease(Qt::MiddleButton, centre, centre + QPoint(0, -40));
  EXPECT_GT(Origin(view->m_trackBall).y, o.y + 0.01);

  // Shift + left scales: down shrinks.
  const double scale = view->m_trackBall.m_track.UniformScale();
  PressDragRelease(Qt::LeftButton, centre, centre + QPoint(0, 100), Qt::ShiftModifier);
  EXPECT_NEAR(view->m_trackBall.m_track.UniformScale(), scale * 0.5, 1e-9);
}

TEST_F(MouseTest, CtrlShiftDragTurnsTheLightUntilTheKeysAreLetGo) {
  Open();
  const Mat4d light = view->m_lightTrackBall.m_track;
  const Mat4d camera = view->m_trackBall.m_track;
  Press(Qt::LeftButton, centre, kCtrlShift);
  EXPECT_TRUE(view->m_lightDragging);
  EXPECT_TRUE(view->m_lightTrackBall.m_dragging);
  Drag(centre + QPoint(50, 20), kCtrlShift);
  EXPECT_TRUE(view->m_lightDragging);
  EXPECT_FALSE(Same(view->m_lightTrackBall.m_track, light));
  // The camera was not pressed, so it does not move.
  EXPECT_TRUE(Same(view->m_trackBall.m_track, camera));
  Drag(centre + QPoint(60, 20));
  EXPECT_FALSE(view->m_lightDragging);
  Release(Qt::LeftButton, centre + QPoint(60, 20));
  EXPECT_FALSE(view->m_lightDragging);
}

TEST_F(MouseTest, ShiftWheelSetsTheFieldOfViewWithinItsLimits) {
  Open();
  view->m_fov = 45.0f;
  Wheel(-480, Qt::ShiftModifier);  // four notches towards the user: 93.3
  EXPECT_EQ(view->m_fov, 90.0f);
  view->m_fov = 45.0f;
  Wheel(-120, Qt::ShiftModifier);
  EXPECT_NEAR(view->m_fov, 54.0f, 1e-4);
  view->m_fov = 45.0f;
  Wheel(13 * 120, Qt::ShiftModifier);  // about 4.2, orthographic at 5
  EXPECT_EQ(view->m_fov, 5.0f);
  // Less than a notch only clamps.
  view->m_fov = 95.0f;
  Wheel(60, Qt::ShiftModifier);
  EXPECT_EQ(view->m_fov, 90.0f);

  // Ctrl scales the clip factor without a limit.
  view->m_clipFactor = 1.0f;
  Wheel(120, Qt::ControlModifier);
  EXPECT_NEAR(view->m_clipFactor, 0.8333333f, 1e-7);
  Wheel(-240, Qt::ControlModifier);
  EXPECT_NEAR(view->m_clipFactor, 0.8333333f * 1.44f, 1e-6);
  EXPECT_EQ(view->m_fov, 90.0f);
  // However far the wheel runs, the factor stays one that the next notch
  // changes back.
  for (int i = 0; i < 4; ++i) Wheel(-32760, Qt::ControlModifier);
  EXPECT_TRUE(std::isfinite(view->m_clipFactor));
  const float high = view->m_clipFactor;
  Wheel(120, Qt::ControlModifier);
  EXPECT_LT(view->m_clipFactor, high);
  for (int i = 0; i < 4; ++i) Wheel(32760, Qt::ControlModifier);
  EXPECT_GT(view->m_clipFactor, 0.0f);
}

TEST_F(MouseTest, ThePressGrabsTheHandleUnderTheCursor) {
  Open();
  view->m_showTrackBall = true;
  h.Frame(view);
  // Where the camera shows the outer part of the X axis.
  const TrackBall& tb = view->m_trackBall;
  auto rowOrder = [](const Mat4d& a) {
    Mat4d t;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) t.m[4 * r + c] = a.m[4 * c + r];
    return t;
  };
  const Mat4d toNdc = tb.m_camera.m_viewProj * rowOrder(tb.m_track) * rowOrder(tb.m_base);
  Vec3d n;
  Mat4d::TransformPointRowMajor(toNdc, n, Vec3d(1.1, 0, 0));
  const int* vp = tb.m_camera.m_viewport;
  const QPoint handle(int(std::lround(vp[0] + (n.x + 1.0) * vp[2] * 0.5)),
                      int(std::lround(vp[3] - (vp[1] + (n.y + 1.0) * vp[3] * 0.5))));
  Press(Qt::LeftButton, handle);
  EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
  EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(1, 0, 0));
  const Vec3d before = Origin(tb);
  Drag(handle + QPoint(30, 30));
  EXPECT_GT(Origin(tb).x, before.x + 0.01);
  EXPECT_NEAR(Origin(tb).y, before.y, 1e-9);
  // The frame draws the grabbed handle without an OpenGL error.
  h.Frame(view);
  Release(Qt::LeftButton, handle + QPoint(30, 30));
  for (const Message& m : h.messages.Shown())
    EXPECT_NE(m.caption, "OpenGL Usage Error") << m.text.toStdString();
  // Only the main trackball picks handles.
  EXPECT_EQ(view->m_lightTrackBall.m_handlePicking, 0);
  EXPECT_EQ(view->m_clipTrackBall.m_handlePicking, 0);
}

TEST_F(MouseTest, PlainAndCtrlShiftWheelScaleTheCamera) {
  Open();
  const int step = view->m_trackBall.m_camera.m_viewport[3] / 8;
  for (Qt::KeyboardModifiers m : {Qt::KeyboardModifiers(Qt::NoModifier), kCtrlShift}) {
    const double scale = view->m_trackBall.m_track.UniformScale();
    Wheel(120, m);
    EXPECT_NEAR(view->m_trackBall.m_track.UniformScale(), scale * std::pow(2.0, -0.01 * step),
                1e-9);
    EXPECT_EQ(view->m_trackBall.m_buttonState, 0);
  }
  // A delta under a notch is a wheel step of 0.
  const Mat4d before = view->m_trackBall.m_track;
  Wheel(60);
  EXPECT_TRUE(Same(view->m_trackBall.m_track, before));
}

TEST_F(MouseTest, ResetTrackBallRecoversFromAThousandWheelNotches) {
  Open();
  // Far beyond the notches after which the base frame's scale no longer
  // fits in a double.
  for (int i = 0; i < 1000; ++i) Wheel(120);
  h.Frame(view);
  ASSERT_TRUE(h.Execute(cmd::kResetTrackBall));
  h.Frame(view);
  for (double e : view->m_trackBall.m_base.m) ASSERT_TRUE(std::isfinite(e));
  const Vec3d before = Front();
  PressDragRelease(Qt::LeftButton, offCentre, offCentre + QPoint(60, 0));
  EXPECT_GT(Front().x, before.x + 0.05);
  // The wheel works again too.
  const double scale = view->m_trackBall.m_track.UniformScale();
  Wheel(-120);
  EXPECT_GT(view->m_trackBall.m_track.UniformScale(), scale * 1.01);
}

TEST_F(MouseTest, SelectionModesTakeTheLeftButtonOnlyWhileEditing) {
  Open(true);
  view->m_interactionMode = 6;
  view->m_selectionTool = 2;
  view->m_editing = true;
  const Mat4d camera = view->m_trackBall.m_track;
  Press(Qt::LeftButton, offCentre);
  Drag(offCentre + QPoint(50, 0));
  EXPECT_TRUE(Same(view->m_trackBall.m_track, camera));
  Release(Qt::LeftButton, offCentre + QPoint(50, 0));
  EXPECT_EQ(view->m_interactionMode, 6);

  // Not editing, the drag turns the camera, and the release ends no drag:
  // the camera hears button-ups in browse mode only.
  view->m_editing = false;
  Press(Qt::LeftButton, offCentre);
  Drag(offCentre + QPoint(50, 0));
  EXPECT_FALSE(Same(view->m_trackBall.m_track, camera));
  Release(Qt::LeftButton, offCentre + QPoint(50, 0));
  EXPECT_TRUE(view->m_trackBall.m_dragging);
}

TEST_F(MouseTest, TheRegionToolDragsARubberBand) {
  Open(true);
  view->m_interactionMode = 6;
  view->m_selectionTool = 1;
  view->m_editing = true;
  const Mat4d camera = view->m_trackBall.m_track;
  Press(Qt::LeftButton, centre);
  EXPECT_EQ(view->m_interactionMode, 7);
  EXPECT_EQ(view->m_bandOrigin.x, centre.x());
  EXPECT_EQ(view->m_bandOrigin.y, centre.y());
  EXPECT_EQ(view->m_bandPrevious.x, -1);
  EXPECT_EQ(view->m_bandCorner.x, -1);
  Drag(centre + QPoint(30, 20));
  EXPECT_EQ(view->m_bandCorner.x, centre.x() + 30);
  EXPECT_EQ(view->m_bandCorner.y, centre.y() + 20);
  h.Pump(30);
  Release(Qt::LeftButton, centre + QPoint(40, 25));
  EXPECT_EQ(view->m_interactionMode, 6);
  EXPECT_EQ(view->m_bandCorner.x, centre.x() + 40);
  EXPECT_TRUE(Same(view->m_trackBall.m_track, camera));
}

// The band from a to b drawn over `scene`: each side shows the scene's
// colours inverted, every pixel off the sides is the scene's own.
void ExpectBandOver(const QImage& shown, const QImage& scene, QPoint a, QPoint b) {
  ASSERT_EQ(shown.size(), scene.size());
  const int x0 = std::min(a.x(), b.x()), x1 = std::max(a.x(), b.x());
  const int y0 = std::min(a.y(), b.y()), y1 = std::max(a.y(), b.y());
  // A side on the line between two pixels lands on one of them.
  auto near = [](int v, int line) { return v >= line - 1 && v <= line; };
  auto onBand = [&](int x, int y) {
    const bool inX = x >= x0 - 1 && x <= x1, inY = y >= y0 - 1 && y <= y1;
    return ((near(x, x0) || near(x, x1)) && inY) || ((near(y, y0) || near(y, y1)) && inX);
  };
  auto inverted = [&](int x, int y) {
    const QRgb s = scene.pixel(x, y);
    return test::Near(shown.pixel(x, y), 255 - qRed(s), 255 - qGreen(s), 255 - qBlue(s), 2);
  };
  int changed = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (!onBand(x, y) && shown.pixel(x, y) != scene.pixel(x, y)) ++changed;
  EXPECT_EQ(changed, 0);
  for (int k = 1; k < 4; ++k) {
    const int x = x0 + (x1 - x0) * k / 4, y = y0 + (y1 - y0) * k / 4;
    EXPECT_TRUE(inverted(x0 - 1, y) || inverted(x0, y)) << "left " << k;
    EXPECT_TRUE(inverted(x1 - 1, y) || inverted(x1, y)) << "right " << k;
    EXPECT_TRUE(inverted(x, y0 - 1) || inverted(x, y0)) << "top " << k;
    EXPECT_TRUE(inverted(x, y1 - 1) || inverted(x, y1)) << "bottom " << k;
  }
}

TEST_F(MouseTest, TheRubberBandShowsOverTheSceneAtEveryStep) {
  // A clock that stands still keeps the pane's frame rate from one frame to
  // the next.
  FakeClock clock(1000.0);
  h.clock = &clock;
  Open(true);
  view->m_interactionMode = 6;
  view->m_selectionTool = 1;
  view->m_editing = true;
  const QImage scene = h.Frame(view);
  ASSERT_FALSE(IsBackground(scene.pixel(centre.x(), centre.y())));
  const QPoint a = centre - QPoint(40, 30);
  Press(Qt::LeftButton, a);
  // Each step is shown in the window before the view is read back.
  Drag(centre + QPoint(50, 35));
  h.Pump(30);
  ExpectBandOver(h.Frame(view), scene, a, centre + QPoint(50, 35));
  // Drawn again unmoved, and after a move the old sides are gone.
  h.Pump(30);
  ExpectBandOver(h.Frame(view), scene, a, centre + QPoint(50, 35));
  Drag(centre + QPoint(20, -60));
  h.Pump(30);
  ExpectBandOver(h.Frame(view), scene, a, centre + QPoint(20, -60));

  // A resize mid-drag: the scene is drawn anew under the band.
  view->resize(view->width() - 40, view->height() - 30);
  h.Pump(50);
  const QImage resized = h.Frame(view);
  ASSERT_EQ(resized.width(), view->width());
  EXPECT_TRUE(IsBackground(resized.pixel(resized.width() - 3, 3)));
  EXPECT_FALSE(IsBackground(resized.pixel(resized.width() / 2, resized.height() / 2)));
  EXPECT_EQ(view->m_interactionMode, 7);
  Release(Qt::LeftButton, centre + QPoint(20, -60));
  EXPECT_EQ(view->m_interactionMode, 6);
}

TEST_F(MouseTest, EachModeShowsItsCursor) {
  Open(true);
  const CursorSet& cursors = h.App().m_cursors;
  struct Case {
    int mode, tool;
    bool editing;
    Qt::KeyboardModifiers keys;
    CursorId cursor;
  } cases[] = {
      {1, 0, false, Qt::NoModifier, CursorId::ZoomOnPoint},
      {2, 0, false, Qt::NoModifier, CursorId::DistanceTape},
      {6, 1, true, Qt::ControlModifier, CursorId::RegionAdd},
      {6, 1, true, kCtrlShift, CursorId::RegionAdd},
      {7, 1, true, Qt::ShiftModifier, CursorId::RegionSubtract},
      {6, 1, true, Qt::NoModifier, CursorId::RegionReplace},
      {6, 1, false, Qt::ControlModifier, CursorId::RegionIdle},
      {6, 2, true, Qt::ControlModifier, CursorId::ComponentAdd},
      {6, 2, true, Qt::ShiftModifier, CursorId::ComponentSubtract},
      {6, 2, true, Qt::NoModifier, CursorId::ComponentReplace},
      {6, 2, false, Qt::NoModifier, CursorId::ComponentIdle},
  };
  for (const Case& c : cases) {
    view->m_interactionMode = c.mode;
    view->m_selectionTool = c.tool;
    view->m_editing = c.editing;
    Hover(centre, c.keys);
    EXPECT_TRUE(view->cursor() == cursors.Get(c.cursor))
        << "mode " << c.mode << " tool " << c.tool << " cursor " << int(c.cursor);
  }
  // The other modes give the window its own cursor back.
  for (int mode : {0, 3, 4, 5}) {
    view->m_interactionMode = 1;
    Hover(centre);
    view->m_interactionMode = mode;
    view->m_editing = false;
    Hover(centre);
    EXPECT_FALSE(view->testAttribute(Qt::WA_SetCursor)) << mode;
  }
}

TEST_F(MouseTest, DoubleClicksArmTheZoomOrPickAPoint) {
  Open();
  // A plain double click arms the zoom; the second release zooms at the point.
  QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, centre);
  EXPECT_EQ(view->m_interactionMode, 1);
  Release(Qt::LeftButton, centre);
  EXPECT_EQ(view->m_interactionMode, 3);
  EXPECT_EQ(view->m_savedMode, 0);

  // With Ctrl and Shift it picks and leaves the mode alone.
  view->m_interactionMode = 0;
  QTest::mouseDClick(view, Qt::LeftButton, kCtrlShift, centre);
  Release(Qt::LeftButton, centre, kCtrlShift);
  EXPECT_EQ(view->m_interactionMode, 0);
}

TEST_F(MouseTest, AMiddleReleaseInTapeModePlacesAPoint) {
  Open();
  view->m_interactionMode = 2;
  view->m_tapePoints.clear();
  view->m_tapeWindowPoints.clear();
  const Mat4d camera = view->m_trackBall.m_track;
  Press(Qt::MiddleButton, centre);
  EXPECT_FALSE(view->m_trackBall.m_dragging);
  Release(Qt::MiddleButton, centre);
  EXPECT_EQ(view->m_tapePoints.size(), 1u);
  EXPECT_TRUE(Same(view->m_trackBall.m_track, camera));
  // With one point placed, hovering tracks the cursor from the bottom.
  Hover(centre + QPoint(10, 5));
  EXPECT_EQ(view->m_mousePoint.x, centre.x() + 10);
  EXPECT_EQ(view->m_mousePoint.y, view->m_viewport[3] - centre.y() - 5);
}

TEST_F(MouseTest, ClipAndTextureViewsTakeTheirOwnTrackball) {
  Open(true);
  view->m_interactionMode = 4;
  view->m_editing = true;
  Press(Qt::LeftButton, centre);
  EXPECT_TRUE(view->m_clipTrackBall.m_dragging);
  EXPECT_FALSE(view->m_trackBall.m_dragging);
  Release(Qt::LeftButton, centre);
  view->m_interactionMode = 0;
  view->m_editing = false;

  view->m_textureImageView = 1;
  h.Frame(view);
  const Mat4d camera = view->m_trackBall.m_track;
  const Vec3d board = Origin(view->m_textureTrackBall);
  PressDragRelease(Qt::LeftButton, centre, centre + QPoint(40, 0));
  EXPECT_GT(Origin(view->m_textureTrackBall).x, board.x + 0.01);
  const double scale = view->m_textureTrackBall.m_track.UniformScale();
  Wheel(-120);
  EXPECT_GT(view->m_textureTrackBall.m_track.UniformScale(), scale * 1.01);
  EXPECT_TRUE(Same(view->m_trackBall.m_track, camera));
}

TEST_F(MouseTest, AQuickReleaseKeepsTheViewSpinningUntilTheNextPress) {
  Open();
  Press(Qt::LeftButton, offCentre);
  g_now += 60;
  Drag(offCentre + QPoint(20, 0));
  g_now += 60;
  Drag(offCentre + QPoint(40, 0));
  g_now += 10;
  Release(Qt::LeftButton, offCentre + QPoint(40, 0));
  ASSERT_TRUE(view->m_trackBall.m_spinning);
  // The idle pass keeps redrawing, and every frame turns the model further.
  const Vec3d before = Front();
  const int frames = view->m_frameCount;
  g_now += 200;
  h.Pump(200);
  EXPECT_GT(view->m_frameCount, frames + 1);
  EXPECT_GT(Front().x, before.x + 0.01);
  EXPECT_FALSE(h.App().Idle()->Resting());
  Press(Qt::LeftButton, offCentre);
  EXPECT_FALSE(view->m_trackBall.m_spinning);
  Release(Qt::LeftButton, offCentre);
}

}  // namespace
}  // namespace quarnel
