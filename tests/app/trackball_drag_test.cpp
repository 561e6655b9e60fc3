// Dragging a trackball through its action table: rotation, translation and
// scale by the mouse, the wheel, handle picking, and the spin after a quick
// release, on a camera set by hand and a clock driven by the test.
#include <gtest/gtest.h>

#include <cmath>

#include "app/trackball.h"
#include "matrix_checks.h"

namespace quarnel {
namespace {

using test::ExpectMatNear;
using test::Identity;
using test::Rotation;

int g_now = 0;
int TestTicks() { return g_now; }

double SpinAngle(const Quatd& q) {
  double angle = 0.0;
  Vec3d axis;
  Quatd::ToAxisAngle(q, angle, axis);
  return angle;
}

Quatd QuatOf(double radians, const Vec3d& axis) {
  const double s = std::sin(radians / 2.0);
  return {std::cos(radians / 2.0), axis.x * s, axis.y * s, axis.z * s};
}

class TrackBallDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 1000;
    TrackBall::SetTickSource(&TestTicks);
    SetCamera(200);
  }
  void TearDown() override { TrackBall::SetTickSource(nullptr); }

  // A camera that shows [-1, 1] x [-1, 1] on a square viewport: the window
  // centre is the trackball's centre and 100 pixels are one unit at 200.
  void SetCamera(int size) {
    const int vp[4] = {0, 0, size, size};
    tb.m_camera.Set(Identity(), Identity(), vp);
  }

  TrackBall tb;
};

TEST_F(TrackBallDrag, LeftDragTurnsOnTheSphereFromThePressEveryStep) {
  tb.MouseDown(100, 100, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_sphereMode);
  EXPECT_EQ(tb.m_buttonState, 1);
  EXPECT_TRUE(tb.m_dragging);
  tb.MouseMove(150, 100, 0);
  ExpectMatNear(tb.m_track, Rotation(30, 0, 1, 0), 1e-8);
  // The front of the model follows the cursor.
  EXPECT_GT(tb.m_track.TransformPoint(Vec3d(0, 0, 1)).x, 0.4);
  ExpectMatNear(tb.m_base, Identity(), 0);
  // Every step starts again from the press.
  tb.MouseMove(150, 100, 0);
  ExpectMatNear(tb.m_track, Rotation(30, 0, 1, 0), 1e-8);
  tb.MouseMove(100, 100, 0);
  ExpectMatNear(tb.m_track, Identity(), 1e-12);
  tb.MouseUp(100, 100, 0);
  EXPECT_FALSE(tb.m_dragging);
  // Moves after the release change nothing.
  tb.MouseMove(180, 20, 0);
  ExpectMatNear(tb.m_track, Identity(), 1e-12);
}

TEST_F(TrackBallDrag, RotationOfAFittedTrackballKeepsItsScale) {
  // The fit of a sphere of radius 2 about the origin.
  tb.SetScale(1, 1.0);
  tb.SetScale(2, 0.5);
  tb.MouseDown(100, 100, TrackButton::Left);
  tb.MouseMove(150, 100, 0);
  EXPECT_NEAR(tb.m_track.UniformScale(), 0.5, 1e-12);
  Mat4d turned = tb.m_track;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) turned.m[4 * r + c] *= 2.0;
  ExpectMatNear(turned, Rotation(30, 0, 1, 0), 1e-8);
}

TEST_F(TrackBallDrag, CtrlLeftAndMiddleMoveTheModelWithTheCursor) {
  // A fitted trackball: the point under the cursor must follow it exactly.
  for (int code : {TrackButton::Ctrl | TrackButton::Left, TrackButton::Middle}) {
    tb = TrackBall();
    SetCamera(200);
    tb.SetScale(2, 0.5);
    tb.MouseDown(100, 100, code);
    EXPECT_EQ(tb.m_mode, &tb.m_planeMoveMode) << code;
    tb.MouseMove(150, 80, 0);
    Vec3d moved = tb.m_track.TransformPoint(Vec3d(0, 0, 0));
    EXPECT_NEAR(moved.x, 0.5, 1e-12) << code;
    EXPECT_NEAR(moved.y, 0.2, 1e-12) << code;
    EXPECT_NEAR(moved.z, 0.0, 1e-12) << code;
    tb.MouseUp(150, 80, 0);
  }
}

TEST_F(TrackBallDrag, ShiftLeftAndBothButtonsScaleWhileTheGlyphKeepsItsSize) {
  for (int code :
       {TrackButton::Shift | TrackButton::Left, TrackButton::Left | TrackButton::Middle}) {
    tb = TrackBall();
    SetCamera(200);
    tb.m_base.m[12] = 0.25;  // a centre off the origin stays where it is
    const Mat4d glyph = tb.m_base * tb.m_track;
    tb.MouseDown(100, 100, code);
    EXPECT_EQ(tb.m_mode, &tb.m_scaleMode) << code;
    tb.MouseMove(100, 200, 0);  // 100 pixels down halves the model
    EXPECT_NEAR(tb.m_track.UniformScale(), 0.5, 1e-12) << code;
    ExpectMatNear(tb.m_base * tb.m_track, glyph, 1e-12);
    Vec3d centre = tb.m_track.TransformPoint(Vec3d(0.25, 0, 0));
    EXPECT_NEAR(centre.x, 0.25, 1e-12) << code;
    tb.MouseMove(100, 0, 0);
    EXPECT_NEAR(tb.m_track.UniformScale(), 2.0, 1e-12) << code;
  }
}

TEST_F(TrackBallDrag, WheelStepsScaleByTheViewportHeight) {
  SetCamera(800);  // one notch is 100 pixels
  tb.MouseWheel(1, 0);
  EXPECT_NEAR(tb.m_track.UniformScale(), 0.5, 1e-12);
  EXPECT_EQ(tb.m_mode, &tb.m_scaleMode);
  EXPECT_EQ(tb.m_buttonState, 0);
  EXPECT_FALSE(tb.m_dragging);
  EXPECT_FALSE(tb.m_spinning);
  tb.MouseWheel(-2, 0);
  EXPECT_NEAR(tb.m_track.UniformScale(), 2.0, 1e-12);
  const Mat4d before = tb.m_track;
  tb.MouseWheel(0, 0);
  ExpectMatNear(tb.m_track, before, 1e-12);
  // A viewport 7 pixels high has a step of 0: the wheel does nothing.
  SetCamera(7);
  tb.MouseWheel(3, 0);
  ExpectMatNear(tb.m_track, before, 1e-12);
}

TEST_F(TrackBallDrag, WheelWithTheLeftButtonKeepsTheCurrentAction) {
  SetCamera(800);
  tb.MouseDown(400, 400, TrackButton::Ctrl | TrackButton::Left);
  tb.MouseUp(400, 400, 0);
  tb.MouseWheel(1, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_planeMoveMode);
  EXPECT_EQ(tb.m_buttonState, 0);
  EXPECT_NEAR(tb.m_track.UniformScale(), 1.0, 1e-12);
}

TEST_F(TrackBallDrag, HandlePickingGrabsTheFirstHandleHit) {
  tb.SetScale(1, 0.5);  // a glyph of radius 0.5: 50 pixels
  tb.SetHandlePicking(1);
  // The outer part of the X axis runs from x 150 to 160 on the centre line.
  tb.MouseDown(155, 100, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
  EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(1, 0, 0));
  EXPECT_EQ(tb.m_buttonState, 1);
  tb.MouseMove(175, 60, 0);
  EXPECT_NEAR(tb.m_track.m[12], 0.2, 1e-12);
  EXPECT_NEAR(tb.m_track.m[13], 0.0, 1e-12);
  tb.MouseUp(175, 60, 0);

  // Where the Y axis ends on the ring about X, the earlier entry wins.
  tb.Reset();
  tb.MouseDown(100, 50, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
  EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(0, 1, 0));
  tb.MouseUp(100, 50, 0);

  // On the ring about Z, away from the axes: the rotation about Z, which
  // follows the cursor's angle about the centre.
  tb.MouseDown(135, 65, TrackButton::Left | TrackButton::Handle);
  EXPECT_EQ(tb.m_mode, &tb.m_axisRotateMode);
  EXPECT_EQ(tb.m_axisRotateMode.m_axis, Vec3d(0, 0, 1));
  EXPECT_EQ(tb.m_buttonState, 0x81);
  tb.MouseMove(65, 65, 0);
  ExpectMatNear(tb.m_track, Rotation(90, 0, 0, 1), 1e-9);
  tb.MouseUp(65, 65, 0);

  // Off every handle the left button turns on the sphere.
  tb.MouseDown(120, 130, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_sphereMode);
  // Without handle picking, a press on a handle does too.
  tb.SetHandlePicking(0);
  tb.MouseDown(155, 100, TrackButton::Left);
  EXPECT_EQ(tb.m_mode, &tb.m_sphereMode);
}

// A trackball fitted, as the view fits it, to a box of half diagonal r
// about c, then turned by the camera's rotation.
void FitAndTurn(TrackBall& tb, const Vec3d& c, double r, const Mat4d& turn) {
  tb.Reset();
  tb.SetScale(1, 1.0);
  tb.SetTranslation(1, 0.0, 0.0, 0.0);
  tb.SetScale(2, 1.0 / r);
  tb.SetTranslation(2, -c.x / r, -c.y / r, -c.z / r);
  tb.ApplyTransform(turn, 0x800);
}

// Where a point of the trackball's frame shows on the 200-pixel camera, in
// mouse coordinates.
Vec3d WindowOf(const TrackBall& tb, const Vec3d& inBase) {
  const Vec3d world = tb.m_track.TransformPoint(tb.m_base.TransformPoint(inBase));
  return {(world.x + 1.0) * 100.0, 200.0 - (world.y + 1.0) * 100.0, 0.0};
}

TEST_F(TrackBallDrag, HandlesOfAFittedTurnedModelAreHitWhereTheyShowAndFollowTheCursor) {
  const struct {
    Vec3d centre;
    Mat4d turn;
  } rows[] = {
      {{0, 0, 0}, Identity()},
      {{3.0, -2.0, 1.5}, Identity()},
      {{3.0, -2.0, 1.5}, Rotation(15, 1, 0, 0) * Rotation(10, 0, 1, 0)},
      // The Z axis points away from the viewer: the turn is mirrored.
      {{-40.0, 7.0, 2.0}, Rotation(180, 0, 1, 0) * Rotation(15, 1, 0, 0)},
  };
  for (const auto& row : rows) {
    tb = TrackBall();
    SetCamera(200);
    FitAndTurn(tb, row.centre, 12.0, row.turn);
    tb.SetHandlePicking(1);
    // The glyph stands on the window's centre however far the box is from
    // the origin.
    const Vec3d middle = WindowOf(tb, Vec3d(0, 0, 0));
    EXPECT_NEAR(middle.x, 100.0, 1e-9);
    EXPECT_NEAR(middle.y, 100.0, 1e-9);

    // The outer part of the X axis.
    const Vec3d axis = WindowOf(tb, Vec3d(1.1, 0, 0));
    tb.MouseDown(int(std::lround(axis.x)), int(std::lround(axis.y)), TrackButton::Left);
    EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
    EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(1, 0, 0));
    tb.MouseUp(int(std::lround(axis.x)), int(std::lround(axis.y)), 0);

    // The ring about Z, between the axes: the point grabbed goes round with
    // the cursor.
    const double at = 50.0 * 3.14159265358979 / 180.0;
    const Vec3d onRing(std::cos(at), std::sin(at), 0.0);
    const Vec3d press = WindowOf(tb, onRing);
    const int px = int(std::lround(press.x)), py = int(std::lround(press.y));
    tb.MouseDown(px, py, TrackButton::Left);
    ASSERT_EQ(tb.m_mode, &tb.m_axisRotateMode);
    EXPECT_EQ(tb.m_axisRotateMode.m_axis, Vec3d(0, 0, 1));
    // The cursor turns by 60 degrees about the glyph's centre on screen.
    const double a0 = std::atan2(-(py - 100.0), px - 100.0);
    const double radius = std::hypot(px - 100.0, py - 100.0);
    const double a1 = a0 + 60.0 * 3.14159265358979 / 180.0;
    const int cx = int(std::lround(100.0 + radius * std::cos(a1)));
    const int cy = int(std::lround(100.0 - radius * std::sin(a1)));
    tb.MouseMove(cx, cy, 0);
    const Vec3d now = WindowOf(tb, onRing);
    const double shown = std::atan2(-(now.y - 100.0), now.x - 100.0);
    const double cursor = std::atan2(-(cy - 100.0), cx - 100.0);
    EXPECT_NEAR(std::remainder(shown - cursor, 2.0 * 3.14159265358979), 0.0, 0.06)
        << row.centre.x;
    tb.MouseUp(cx, cy, 0);
    // The centre stays where it was.
    EXPECT_NEAR(WindowOf(tb, Vec3d(0, 0, 0)).x, 100.0, 1e-9);
  }
}

TEST_F(TrackBallDrag, AnUnknownCodeFallsBackToTheSphereFromTheFirstMove) {
  tb.MouseDown(100, 100, TrackButton::Shift | TrackButton::Middle);
  EXPECT_EQ(tb.m_mode, &tb.m_sphereMode);
  EXPECT_EQ(tb.m_modeChanged, 1);
  tb.MouseMove(150, 100, 0);  // the drag starts here, so nothing jumps
  ExpectMatNear(tb.m_track, Identity(), 1e-12);
  tb.MouseMove(100, 100, 0);
  ExpectMatNear(tb.m_track, Rotation(-30, 0, 1, 0), 1e-8);
}

TEST_F(TrackBallDrag, ChangingTheActionMidDragGoesOnFromTheCurrentPoint) {
  tb.MouseDown(100, 100, TrackButton::Left);
  tb.MouseMove(150, 100, 0);
  const Mat4d turned = tb.m_track;
  tb.m_spinning = true;
  tb.SetAction(7, 0, 3);
  tb.MouseMove(150, 100, 0);
  ExpectMatNear(tb.m_track, turned, 1e-12);
  EXPECT_FALSE(tb.m_spinning);
  tb.MouseMove(160, 100, 0);
  Vec3d moved = tb.m_track.TransformPoint(Vec3d(0, 0, 0));
  EXPECT_NEAR(moved.x, 0.1, 1e-12);

  // A move with a different code chooses by the table alone: 0x81 is the
  // first handle entry, the translation along X, without a hit test.
  tb.MouseMove(160, 100, TrackButton::Left | TrackButton::Handle);
  EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
  EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(1, 0, 0));
  // A move with code 0 keeps whatever is chosen.
  tb.MouseMove(170, 100, 0);
  EXPECT_EQ(tb.m_mode, &tb.m_axisMoveMode);
  EXPECT_EQ(tb.m_buttonState, 0x81);
}

TEST_F(TrackBallDrag, TheIdleModeAndADegenerateTrackMoveNothing) {
  for (int action : {11, -1}) {
    tb.MouseDown(100, 100, TrackButton::Left);
    tb.SetAction(action, 0, 3);
    EXPECT_EQ(tb.m_mode, &tb.m_idleMode);
    tb.MouseMove(140, 130, 0);
    tb.MouseMove(170, 30, 0);
    ExpectMatNear(tb.m_track, Identity(), 0);
    ExpectMatNear(tb.m_base, Identity(), 0);
  }
  for (double& e : tb.m_track.m) e = 0.0;
  tb.MouseDown(100, 100, TrackButton::Left);
  tb.MouseMove(150, 120, 0);
  tb.MouseUp(150, 120, 0);
  for (double e : tb.m_track.m) EXPECT_TRUE(std::isfinite(e));
  for (double e : tb.m_base.m) EXPECT_TRUE(std::isfinite(e));
  EXPECT_TRUE(std::isfinite(tb.m_spin.w));
}

TEST_F(TrackBallDrag, ATrackballWhoseCameraWasNeverReadMovesNothing) {
  // A view's trackball before its first frame: no viewport, no screen frame.
  tb.m_camera = TrackCamera();
  tb.SetScale(2, 0.5);
  const Mat4d track = tb.m_track, base = tb.m_base;
  for (int code : {TrackButton::Left, TrackButton::Ctrl | TrackButton::Left,
                   TrackButton::Shift | TrackButton::Left}) {
    tb.MouseDown(100, 100, code);
    tb.MouseMove(150, 130, 0);
    tb.MouseUp(150, 130, 0);
    tb.MouseWheel(-3, 0);
    ExpectMatNear(tb.m_track, track, 0);
    ExpectMatNear(tb.m_base, base, 0);
  }
}

// ---------------------------------------------------------------------------
// Spin

TEST_F(TrackBallDrag, AQuickReleaseSpinsOnInTheDragsDirection) {
  tb.m_spinEnabled = true;
  tb.MouseDown(100, 100, TrackButton::Left);
  g_now = 1060;
  tb.MouseMove(110, 100, 0);
  g_now = 1120;
  tb.MouseMove(120, 100, 0);
  const double dragged = std::asin(0.2) * 1.0;  // sphere angle of 0.2 units
  EXPECT_NEAR(SpinAngle(tb.m_spin), dragged, 1e-8);
  g_now = 1130;
  tb.MouseUp(120, 100, 0);
  EXPECT_TRUE(tb.m_spinning);
  EXPECT_EQ(tb.m_lastMoveTime, 1130);
  EXPECT_EQ(tb.m_prevMoveTime, 1060);
  // Slower than 0.4 radian per 100 ticks: the spin keeps the drag's speed,
  // the angle of the latest samples every 70 ticks.
  EXPECT_NEAR(SpinAngle(tb.m_spin), dragged, 1e-8);
  g_now = 1200;
  tb.AdvanceSpin();
  ExpectMatNear(tb.m_track, Rotation(2.0 * dragged * 180.0 / M_PI, 0, 1, 0), 1e-8);
  EXPECT_GT(tb.m_track.TransformPoint(Vec3d(0, 0, 1)).x, 0.35);
  // The next press stops it.
  tb.MouseDown(100, 100, TrackButton::Left);
  EXPECT_FALSE(tb.m_spinning);
}

TEST_F(TrackBallDrag, SpinSpeedIsCappedAtPointFourRadianPerHundredTicks) {
  struct Case {
    double angle;  // radians over the 100 ticks between the samples
    bool spins;
    double spinAngle;
  } cases[] = {{1.0, true, 0.4}, {0.3, true, 0.3}, {0.0099, false, 0.0099}, {0.005, false, 0.005}};
  for (const Case& c : cases) {
    tb = TrackBall();
    SetCamera(200);
    tb.m_track = Rotation(20, 1, 0, 0);
    tb.m_dragging = true;
    tb.m_prevMoveTime = 0;
    tb.m_lastMoveTime = 100;
    tb.m_spin = QuatOf(c.angle, Vec3d(0, 1, 0));
    g_now = 100;
    tb.EndDrag(0, 0);
    EXPECT_EQ(tb.m_spinning, c.spins) << c.angle;
    EXPECT_NEAR(SpinAngle(tb.m_spin), c.spinAngle, 1e-12) << c.angle;
    ExpectMatNear(tb.m_spinBase, tb.m_track, 0);
  }
}

TEST_F(TrackBallDrag, AFullTurnTakesTheSpinPeriod) {
  tb.m_spinning = true;
  tb.m_spinEnabled = true;
  tb.m_prevMoveTime = 0;
  tb.m_lastMoveTime = 100;
  tb.m_spin = QuatOf(0.4, Vec3d(0, 0, 1));
  tb.m_base.m[12] = 1.0;  // turns about the centre, not the origin
  g_now = 100 + 785;      // a half turn: pi / 0.4 * 100 ticks
  tb.AdvanceSpin();
  Vec3d p = tb.m_track.TransformPoint(Vec3d(2, 0, 0));
  EXPECT_NEAR(p.x, 0.0, 1e-3);
  EXPECT_NEAR(p.y, 0.0, 1e-2);
  Vec3d centre = tb.m_track.TransformPoint(Vec3d(1, 0, 0));
  EXPECT_NEAR(centre.x, 1.0, 1e-12);
  g_now = 100 + 1571;  // a full turn
  tb.AdvanceSpin();
  ExpectMatNear(tb.m_track, Identity(), 1e-3);
  // A spin without rotation leaves the track at the spin base.
  tb.m_spin = Quatd(1, 0, 0, 0);
  tb.m_spinBase = Rotation(10, 1, 0, 0);
  tb.AdvanceSpin();
  ExpectMatNear(tb.m_track, tb.m_spinBase, 1e-15);
}

TEST_F(TrackBallDrag, SlowOrUnsampledReleasesDoNotSpin) {
  // No move at all.
  tb.MouseDown(100, 100, TrackButton::Left);
  g_now += 10;
  tb.MouseUp(100, 100, 0);
  EXPECT_FALSE(tb.m_spinning);
  // Moves within 50 ticks of the press take no sample.
  tb.MouseDown(100, 100, TrackButton::Left);
  g_now += 50;
  tb.MouseMove(180, 100, 0);
  tb.MouseUp(180, 100, 0);
  EXPECT_EQ(tb.m_lastMoveTime, tb.m_prevMoveTime);
  EXPECT_FALSE(tb.m_spinning);
  // A fast drag released 100 ticks after its last sample.
  tb.MouseDown(100, 100, TrackButton::Left);
  g_now += 60;
  tb.MouseMove(140, 100, 0);
  g_now += 100;
  tb.MouseUp(140, 100, 0);
  EXPECT_FALSE(tb.m_spinning);
  // A wheel step is one drag well within 50 ticks.
  tb.MouseWheel(2, 0);
  EXPECT_FALSE(tb.m_spinning);
}

TEST_F(TrackBallDrag, SwitchingSpinOnOrOffStopsARunningSpin) {
  tb.m_spinning = true;
  tb.SetSpinEnabled(true);
  EXPECT_FALSE(tb.m_spinning);
  EXPECT_TRUE(tb.m_spinEnabled);
  tb.m_spinning = true;
  tb.SetSpinEnabled(true);
  EXPECT_TRUE(tb.m_spinning);
  tb.SetSpinEnabled(false);
  EXPECT_FALSE(tb.m_spinning);
  EXPECT_FALSE(tb.m_spinEnabled);
}

}  // namespace
}  // namespace quarnel
