// The trackball's mode maths and the window-space hit tests of its handles.
#include <gtest/gtest.h>

#include <cmath>

#include "app/trackball.h"
#include "matrix_checks.h"

namespace quarnel {
namespace {

using test::ExpectMatNear;
using test::Identity;
using test::Rotation;

// The increment the drag makes of two mode transforms: from press to now.
Mat4d Increment(TrackMode& mode, Vec3d press, Vec3d now, const Mat4d& frame = Identity()) {
  Mat4d b = mode.Transform(press, frame);
  Mat4d a = mode.Transform(now, frame);
  return b.Invert() * a;
}

TEST(SphereRotateMode, MapsPointsOntoTheSphereAndParaboloid) {
  SphereRotateMode m;
  ExpectMatNear(m.Transform(Vec3d(0, 0, 0), Identity()), Identity(), 0);
  // (0.5, 0, 0.866) lies 30 degrees from the pole, towards +x.
  ExpectMatNear(m.Transform(Vec3d(0.5, 0, 0), Identity()), Rotation(30, 0, 1, 0), 1e-8);
  // The front of the model follows the cursor to the right.
  Vec3d front = m.Transform(Vec3d(0.5, 0, 0), Identity()).TransformPoint(Vec3d(0, 0, 1));
  EXPECT_GT(front.x, 0.4);

  // Both surfaces meet at r = 1/sqrt(2) at height 1/sqrt(2): 45 degrees.
  const double r = 0.7071067811865476;
  const Mat4d below = m.Transform(Vec3d(r - 1e-12, 0, 0), Identity());
  const Mat4d at = m.Transform(Vec3d(r, 0, 0), Identity());
  ExpectMatNear(below, at, 1e-9);
  ExpectMatNear(at, Rotation(45, 0, 1, 0), 1e-7);

  // Far out the half chord is pushed past 1 and clamped: half a turn.
  const Mat4d far = m.Transform(Vec3d(0, 10, 0), Identity());
  Vec3d pole = far.TransformPoint(Vec3d(0, 0, 1));
  EXPECT_NEAR(pole.z, -1.0, 1e-7);
  for (double e : far.m) EXPECT_TRUE(std::isfinite(e));
}

TEST(AxisRotateMode, AnAxisTowardsTheViewerFollowsThePolarAngle) {
  AxisRotateMode m;
  m.m_axis = Vec3d(0, 0, 2);  // normalised in place
  ExpectMatNear(Increment(m, Vec3d(1, 0, 0), Vec3d(0, 3, 0)), Rotation(90, 0, 0, 1));
  EXPECT_EQ(m.m_axis, Vec3d(0, 0, 1));
  ExpectMatNear(m.Transform(Vec3d(0, 0, 0), Identity()), Identity(), 0);
  // Pointing away from the viewer the sense flips with it.
  m.m_axis = Vec3d(0, 0, -1);
  ExpectMatNear(Increment(m, Vec3d(1, 0, 0), Vec3d(0, 1, 0)), Rotation(90, 0, 0, 1));
  ExpectMatNear(m.Transform(Vec3d(0, 1, 0), Identity()), Rotation(-90, 0, 0, -1));
  // The angular rule whatever the axis when asked for.
  m.m_axis = Vec3d(1, 0, 0);
  m.m_angularMode = 1;
  ExpectMatNear(Increment(m, Vec3d(1, 0, 0), Vec3d(-1, 0, 0)), Rotation(180, 1, 0, 0), 1e-7);
}

TEST(AxisRotateMode, AnAxisInTheScreenPlaneTurnsOneRadianPerUnitAcross) {
  AxisRotateMode m;
  m.m_axis = Vec3d(1, 0, 0);  // screen direction (1, 0): across is y
  const double degPerRadian = 180.0 / M_PI;
  ExpectMatNear(Increment(m, Vec3d(0, 0, 0), Vec3d(0, 1, 0)), Rotation(-degPerRadian, 1, 0, 0),
                1e-7);
  ExpectMatNear(Increment(m, Vec3d(0, 0, 0), Vec3d(5, 0, 0)), Identity(), 1e-12);
  // A frame that turns the axis into the screen's y direction.
  ExpectMatNear(Increment(m, Vec3d(0, 0, 0), Vec3d(1, 0, 0), Rotation(90, 0, 0, 1)),
                Rotation(degPerRadian, 1, 0, 0), 1e-7);
}

TEST(AxisTranslateMode, MovesAlongTheAxisByTheDragAlongItsScreenImage) {
  AxisTranslateMode m;
  m.m_axis = Vec3d(3, 0, 0);
  Mat4d t = m.Transform(Vec3d(0.25, 7, 0), Identity());
  EXPECT_NEAR(t.m[12], 0.25, 1e-12);
  EXPECT_EQ(t.m[13], 0.0);
  // An axis seen end-on moves with the cursor's downward motion.
  m.m_axis = Vec3d(0, 0, 1);
  t = m.Transform(Vec3d(4, 0.5, 0), Identity());
  EXPECT_NEAR(t.m[14], -0.5, 1e-12);
  EXPECT_EQ(t.m[12], 0.0);
}

TEST(PlaneTranslateMode, DecomposesTheDragOnTheScreenImagesOfThePlane) {
  PlaneTranslateMode m(0, 1, 0, 0, 0, 1, 0);
  Mat4d t = m.Transform(Vec3d(0.5, -0.25, 9), Identity());
  EXPECT_NEAR(t.m[12], 0.5, 1e-12);
  EXPECT_NEAR(t.m[13], -0.25, 1e-12);
  EXPECT_NEAR(t.m[14], 0.0, 1e-12);

  // Seen edge-on, the plane XZ still moves along both of its vectors.
  m.m_planeU = Vec3d(1, 0, 0);
  m.m_planeV = Vec3d(0, 0, 1);
  t = m.Transform(Vec3d(0.5, 0.75, 0), Identity());
  EXPECT_NEAR(t.m[12], 0.5, 1e-12);
  EXPECT_NEAR(t.m[13], 0.0, 1e-12);
  EXPECT_NEAR(t.m[14], 0.75, 1e-12);

  // Screen images that coincide: the one more along the line of sight is
  // replaced by the perpendicular of the other.
  m.m_planeU = Vec3d(1, 0, 0);
  m.m_planeV = Vec3d(1, 0, 1);
  t = m.Transform(Vec3d(0.5, 0.75, 0), Identity());
  const double k = 0.75 / std::sqrt(2.0);
  EXPECT_NEAR(t.m[12], 0.5 + k, 1e-12);
  EXPECT_NEAR(t.m[14], k, 1e-12);
  for (double e : t.m) EXPECT_TRUE(std::isfinite(e));
}

TEST(ScaleMode, DoublesForEveryHundredUnitsUp) {
  ScaleMode m;
  ExpectMatNear(m.Transform(Vec3d(30, 0, 0), Identity()), Identity(), 0);
  EXPECT_DOUBLE_EQ(m.Transform(Vec3d(0, 100, 0), Identity()).m[0], 0.5);
  const Mat4d up = m.Transform(Vec3d(0, -100, 0), Identity());
  EXPECT_DOUBLE_EQ(up.m[5], 2.0);
  EXPECT_DOUBLE_EQ(up.m[10], 2.0);
  EXPECT_EQ(up.m[15], 1.0);
}

TEST(TrackMode, TheIdleModeNeverMoves) {
  TrackMode m;
  ExpectMatNear(m.Transform(Vec3d(4, 5, 6), Rotation(30, 1, 0, 0)), Identity(), 0);
  EXPECT_EQ(m.HitValue(Vec3d(400, 500, 0), TrackCamera()), 0.0);
}

TEST(HandleHitTests, SegmentWithinThreePixels) {
  const Vec3d a(0, 0, 0), b(100, 0, 0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(50, 3, 0), a, b), 0.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(103, 0, 0), a, b), 0.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(-3, 0, 0), a, b), 0.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(50, 3.5, 0), a, b), -1.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(103.5, 0, 0), a, b), -1.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(50, 3.01, 0), a, b), -1.0);
  // The ends' depth does not count; a segment of no length never hits.
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(50, 0, 0), Vec3d(0, 0, 5), Vec3d(100, 0, -5)), 0.0);
  EXPECT_EQ(WindowDistanceToSegment(Vec3d(0, 0, 0), a, a), -1.0);
}

TEST(HandleHitTests, TriangleInsideExcludesItsThirdEdge) {
  const Vec3d a(0, 0, 0), b(10, 0, 0), c(0, 10, 0);
  EXPECT_EQ(PointInProjectedTriangle(Vec3d(2, 2, 0), a, b, c), 0.0);
  EXPECT_EQ(PointInProjectedTriangle(Vec3d(6, 6, 0), a, b, c), -1.0);
  // Either winding.
  EXPECT_EQ(PointInProjectedTriangle(Vec3d(2, 2, 0), a, c, b), 0.0);
  EXPECT_EQ(PointInProjectedTriangle(Vec3d(-1, 2, 0), a, c, b), -1.0);
  // Collinear corners contain nothing.
  EXPECT_EQ(PointInProjectedTriangle(Vec3d(5, 0, 0), a, b, Vec3d(20, 0, 0)), -1.0);
}

// A camera that shows [-1, 1] x [-1, 1] on a 200 x 200 viewport.
TrackCamera UnitCamera() {
  TrackCamera c;
  const int vp[4] = {0, 0, 200, 200};
  c.Set(Identity(), Identity(), vp);
  return c;
}

TEST(HandleHitTests, RingAxisAndCornerSquaresInTheWindow) {
  const TrackCamera cam = UnitCamera();
  AxisRotateMode ring;
  ring.m_axis = Vec3d(0, 0, 1);  // a circle of 100 pixels about the centre
  EXPECT_EQ(ring.HitValue(Vec3d(200, 100, 0), cam), 0.0);
  EXPECT_EQ(ring.HitValue(Vec3d(100, 198, 0), cam), 0.0);
  EXPECT_EQ(ring.HitValue(Vec3d(100, 100, 0), cam), -1.0);
  EXPECT_EQ(ring.HitValue(Vec3d(150, 150, 0), cam), -1.0);
  // The ring about X is seen edge-on: a vertical line through the centre.
  ring.m_axis = Vec3d(1, 0, 0);
  EXPECT_EQ(ring.HitValue(Vec3d(101, 160, 0), cam), 0.0);
  EXPECT_EQ(ring.HitValue(Vec3d(110, 160, 0), cam), -1.0);

  AxisTranslateMode axis;
  axis.m_axis = Vec3d(1, 0, 0);  // outer parts: x from 200 to 220 and 0 to -20
  EXPECT_EQ(axis.HitValue(Vec3d(201, 101, 0), cam), 0.0);
  EXPECT_EQ(axis.HitValue(Vec3d(-10, 100, 0), cam), 0.0);
  EXPECT_EQ(axis.HitValue(Vec3d(150, 100, 0), cam), -1.0);

  // Corner squares between 0.8 and 1.0: window 180..200 on both axes.
  PlaneTranslateMode plane(0, 1, 0, 0, 0, 1, 0);
  EXPECT_EQ(plane.HitValue(Vec3d(190, 190, 0), cam), 0.0);
  EXPECT_EQ(plane.HitValue(Vec3d(10, 10, 0), cam), 0.0);
  EXPECT_EQ(plane.HitValue(Vec3d(190, 10, 0), cam), -1.0);
  EXPECT_EQ(plane.HitValue(Vec3d(100, 100, 0), cam), -1.0);
  // On the edge P0-P1 and the diagonal P0-P2 hit; the edge P3-P0 between
  // its corners does not.
  EXPECT_EQ(plane.HitValue(Vec3d(190, 180, 0), cam), 0.0);
  EXPECT_EQ(plane.HitValue(Vec3d(190, 190, 0), cam), 0.0);
  EXPECT_EQ(plane.HitValue(Vec3d(180, 190, 0), cam), -1.0);

  SphereRotateMode sphere;
  EXPECT_EQ(sphere.HitValue(Vec3d(0.5, 0, 0), cam), 0.0);
  EXPECT_EQ(sphere.HitValue(Vec3d(100, 100, 0), cam), -1.0);
}

}  // namespace
}  // namespace quarnel
