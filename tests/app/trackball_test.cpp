#include "app/trackball.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "matrix_checks.h"

namespace quarnel {
namespace {

using test::ExpectMatNear;
using test::Identity;

TEST(TrackBall, ConstructionGivesIdentityMatricesAndTheDefaultTable) {
  TrackBall tb;
  EXPECT_EQ(tb.m_mode, nullptr);
  ExpectMatNear(tb.m_track, Identity(), 0);
  ExpectMatNear(tb.m_base, Identity(), 0);
  ExpectMatNear(tb.m_spinBase, Identity(), 0);
  EXPECT_EQ(tb.m_pressX, -1);
  EXPECT_EQ(tb.m_pressY, -1);
  EXPECT_FALSE(tb.m_spinEnabled);
  EXPECT_FALSE(tb.m_spinning);
  EXPECT_FALSE(tb.m_dragging);
  EXPECT_EQ(tb.m_spin.w, 1.0);
  EXPECT_EQ(tb.m_action, (TrackAction{0, 0, 3, 1}));
  EXPECT_EQ(tb.m_handlePicking, 0);
  EXPECT_EQ(tb.m_buttonState, 0);

  const TrackAction expected[15] = {
      {0, 0, 3, 1},       {7, 0, 3, 33},      {7, 0, 3, 2},       {10, 0x1000, 2, 3},
      {10, 0x1000, 2, 17}, {10, 0x1000, 2, 8}, {4, 0x400, 3, 129}, {5, 0x400, 3, 129},
      {6, 0x400, 3, 129}, {1, 0x400, 3, 129}, {2, 0x400, 3, 129}, {3, 0x400, 3, 129},
      {7, 0x400, 3, 129}, {8, 0x400, 3, 129}, {9, 0x400, 3, 129}};
  ASSERT_EQ(tb.m_actions.size(), 15u);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(tb.m_actions[size_t(i)], expected[i]) << "entry " << i;

  EXPECT_EQ(tb.m_axisRotateMode.m_axis, Vec3d(0, 1, 0));
  EXPECT_EQ(tb.m_axisRotateMode.m_angularMode, 0);
  EXPECT_EQ(tb.m_planeMoveMode.m_planeU, Vec3d(1, 0, 0));
  EXPECT_EQ(tb.m_planeMoveMode.m_planeV, Vec3d(0, 1, 0));
  EXPECT_EQ(tb.m_axisMoveMode.m_axis, Vec3d(1, 0, 0));
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(tb.ModeObject(i)->m_space, 0);
    EXPECT_EQ(tb.ModeObject(i)->m_p2, 3);
  }
}

TEST(TrackBall, CopyDesignatesTheCopysOwnModeObject) {
  TrackBall a;
  a.m_axisRotateMode.m_axis = Vec3d(0, 0, 1);
  a.m_mode = &a.m_axisRotateMode;
  a.m_track.m[12] = 5.0;
  a.m_actions.pop_back();

  TrackBall b(a);
  EXPECT_EQ(b.m_mode, &b.m_axisRotateMode);
  EXPECT_EQ(b.m_axisRotateMode.m_axis, Vec3d(0, 0, 1));
  EXPECT_EQ(b.m_track.m[12], 5.0);
  EXPECT_EQ(b.m_actions.size(), 14u);

  TrackBall c;
  c = a;
  EXPECT_EQ(c.m_mode, &c.m_axisRotateMode);

  TrackBall fresh;
  TrackBall d(fresh);
  EXPECT_EQ(d.m_mode, nullptr);

  a.m_mode = &a.m_idleMode;
  c = a;
  EXPECT_EQ(c.m_mode, &c.m_idleMode);
}

TEST(TrackBall, ResetTouchesOnlyTheTrack) {
  TrackBall tb;
  tb.m_track.SetRotate(30, 0, 1, 0);
  tb.m_base.m[12] = 2.0;
  tb.Reset();
  ExpectMatNear(tb.m_track, Identity(), 0);
  EXPECT_EQ(tb.m_base.m[12], 2.0);
}

TEST(TrackBall, TranslationInTrackSpaceKeepsTheGlyphOnScreen) {
  TrackBall tb;
  tb.m_track.SetRotate(40, 1, 1, 0);
  tb.m_base.m[13] = 0.5;
  Mat4d before = tb.m_base * tb.m_track;
  tb.SetTranslation(2, 1.0, -2.0, 3.0);
  ExpectMatNear(tb.m_base * tb.m_track, before, 1e-12);
  EXPECT_NEAR(tb.m_track.m[12], 1.0, 1e-15);

  // Space 3 sets the translation and leaves the base frame.
  Mat4d base = tb.m_base;
  tb.SetTranslation(3, 7, 8, 9);
  EXPECT_EQ(tb.m_track.m[12], 7);
  EXPECT_EQ(tb.m_track.m[14], 9);
  ExpectMatNear(tb.m_base, base, 0);

  tb.SetTranslation(1, 4, 5, 6);
  EXPECT_EQ(tb.m_base.m[12], 4);
  EXPECT_EQ(tb.m_base.m[13], 5);

  Mat4d track = tb.m_track;
  base = tb.m_base;
  tb.SetTranslation(0, 1, 1, 1);
  tb.SetTranslation(4, 1, 1, 1);
  ExpectMatNear(tb.m_track, track, 0);
  ExpectMatNear(tb.m_base, base, 0);
}

TEST(TrackBall, TranslationFollowsTheSpinBaseOnlyWhileSpinning) {
  TrackBall tb;
  tb.SetTranslation(2, 1, 0, 0);
  EXPECT_EQ(tb.m_spinBase.m[12], 0.0);
  tb.m_spinning = true;
  tb.SetTranslation(2, 1, 0, 0);
  EXPECT_EQ(tb.m_spinBase.m[12], 1.0);
  tb.SetTranslation(3, 4, 0, 0);
  EXPECT_EQ(tb.m_spinBase.m[12], 4.0);
}

TEST(TrackBall, ScaleIsSetNotMultiplied) {
  TrackBall tb;
  tb.m_track.SetRotate(25, 0, 0, 1);
  tb.SetScale(2, 0.25);
  EXPECT_NEAR(tb.m_track.UniformScale(), 0.25, 1e-12);
  Mat4d once = tb.m_track, baseOnce = tb.m_base;
  tb.SetScale(2, 0.25);
  ExpectMatNear(tb.m_track, once, 1e-12);
  ExpectMatNear(tb.m_base, baseOnce, 1e-12);
  // The glyph stays where it stood: the base frame grew by the inverse.
  EXPECT_NEAR(tb.m_base.UniformScale(), 4.0, 1e-12);

  tb.SetScale(1, 2.0);
  EXPECT_NEAR(tb.m_base.UniformScale(), 2.0, 1e-12);
  tb.SetScale(3, 3.0);
  EXPECT_NEAR(tb.m_track.UniformScale(), 3.0, 1e-12);
}

TEST(TrackBall, ScaleOfADegenerateMatrixLeavesItFinite) {
  TrackBall tb;
  for (double& e : tb.m_track.m) e = 0.0;
  tb.SetScale(3, 2.0);
  for (double e : tb.m_track.m) EXPECT_TRUE(std::isfinite(e));
  tb.SetScale(2, 2.0);
  for (double e : tb.m_base.m) EXPECT_TRUE(std::isfinite(e));
  // A scale that is no number is not taken at all.
  for (double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
    TrackBall fresh;
    fresh.m_track.SetRotate(25, 0, 0, 1);
    const Mat4d track = fresh.m_track, base = fresh.m_base;
    fresh.SetScale(1, bad);
    fresh.SetScale(3, bad);
    ExpectMatNear(fresh.m_track, track, 0.0);
    ExpectMatNear(fresh.m_base, base, 0.0);
  }
}

TEST(TrackBall, FitSequenceMapsTheBoundingSphereOntoTheUnitSphere) {
  // The camera fit's use of the edits: centre c, radius r.
  TrackBall tb;
  const Vec3d c(2, -1, 3);
  const double r = 4.0;
  tb.Reset();
  tb.SetScale(1, 1.0);
  tb.SetTranslation(1, 0, 0, 0);
  tb.SetScale(2, 1.0 / r);
  tb.SetTranslation(2, -c.x / r, -c.y / r, -c.z / r);
  Vec3d centre = tb.m_track.TransformPoint(c);
  EXPECT_NEAR(centre.Norm(), 0.0, 1e-12);
  Vec3d onSphere = tb.m_track.TransformPoint(c + Vec3d(r, 0, 0));
  EXPECT_NEAR(onSphere.Norm(), 1.0, 1e-12);
  // The base frame puts the glyph's unit circle on the bounding sphere.
  Vec3d glyphCentre = OriginThrough(tb.m_base * tb.m_track);
  EXPECT_NEAR(glyphCentre.Norm(), 0.0, 1e-12);
  EXPECT_NEAR(OriginThrough(tb.m_base).x, c.x, 1e-12);
  EXPECT_NEAR(tb.m_base.UniformScale(), r, 1e-12);
}

TEST(TrackBall, ApplyTransformOnlyInTheTwoRotationSpaces) {
  Mat4d r;
  r.SetRotate(90, 0, 1, 0);
  TrackBall a, b, c;
  a.ApplyTransform(r, 0x400);
  b.ApplyTransform(r, 0x800);
  ExpectMatNear(a.m_track, b.m_track, 0);
  ExpectMatNear(a.m_track, r, 0);
  c.ApplyTransform(r, 0);
  c.ApplyTransform(r, 0x1000);
  ExpectMatNear(c.m_track, Identity(), 0);
}

TEST(TrackCamera, WindowPointsRoundTripThroughTheCamera) {
  // An orthographic camera over [-2, 2] x [-1, 1] on a 400 x 200 viewport.
  Mat4d proj = Identity();
  proj.m[0] = 0.5;
  Mat4d mv = Identity();
  mv.m[12] = 1.0;  // the model is moved one unit right
  const int vp[4] = {0, 0, 400, 200};
  TrackCamera cam;
  cam.Set(proj, mv, vp);
  // The window centre (mouse coordinates) is the origin of view space, which
  // is x = -1 in model space.
  Vec3d p = cam.WindowToWorld(Vec3d(200, 100, 0));
  EXPECT_NEAR(p.x, -1.0, 1e-12);
  EXPECT_NEAR(p.y, 0.0, 1e-12);
  // The top left corner (y downwards) is (-2, 1) in view space.
  p = cam.WindowToWorld(Vec3d(0, 0, 0));
  EXPECT_NEAR(p.x, -3.0, 1e-12);
  EXPECT_NEAR(p.y, 1.0, 1e-12);

  const int empty[4] = {0, 0, 0, 0};
  cam.Set(proj, mv, empty);
  p = cam.WindowToWorld(Vec3d(10, 10, 0));
  EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
}

TEST(TrackBall, WindowToTrackSpaceIsRelativeToTheCentre) {
  TrackBall tb;
  const int vp[4] = {0, 0, 200, 200};
  tb.m_camera.Set(Identity(), Identity(), vp);
  tb.m_base.m[12] = 0.5;  // centre at x = 0.5
  Vec3d v = tb.WindowToTrackSpace(150, 100, 0.0);  // window x 150 is ndc 0.5
  EXPECT_NEAR(v.x, 0.0, 1e-12);
  EXPECT_NEAR(v.y, 0.0, 1e-12);
  v = tb.WindowToTrackSpace(100, 50, 0.0);
  EXPECT_NEAR(v.x, -0.5, 1e-12);
  EXPECT_NEAR(v.y, 0.5, 1e-12);
}

TEST(TrackBall, ScreenFrameOfAnUnturnedCameraIsTheIdentity) {
  TrackBall tb;
  const int vp[4] = {0, 0, 300, 200};
  Mat4d proj = Identity();
  proj.m[0] = 2.0 / 3.0;
  tb.m_camera.Set(proj, Identity(), vp);
  tb.m_trackAtPress.SetRotate(90, 0, 0, 1);
  tb.UpdateScreenFrame();
  Mat4d frame = Identity();
  ExpectMatNear(tb.m_screenFrame, frame, 1e-12);
  // In track space the screen's right is the track's turned axis.
  Mat4d expected;
  expected.SetRotate(-90, 0, 0, 1);
  ExpectMatNear(tb.m_screenFrameInTrack, expected, 1e-12);
}

}  // namespace
}  // namespace quarnel
