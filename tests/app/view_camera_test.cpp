// The view's camera: fitting to the mesh, presets, the zoom on a point, the
// animated moves, and the exchange of cameras through the clipboard, also
// between linked views.
#include <gtest/gtest.h>

#include <QImage>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "app/command_ids.h"
#include "app/mouse_flags.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "matrix_checks.h"
#include "platform/clock.h"
#include "platform/idle_pass.h"
#include "app/main_frame.h"
#include "platform/document_manager.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::IsBackground;
using test::Q;
using test::ExpectMatNear;
using test::Identity;
using test::Rotation;

std::string WriteCube(const std::string& name, float size, Vec3f origin) {
  const std::string path = test::TempFilePath(name);
  test::WritePlyFixture(path, test::MeshFixture(test::CubeSoup(size, origin), ply_format::Ascii));
  return path;
}

class ViewCameraTest : public ::testing::Test {
 protected:
  ViewCameraTest() { h.clock = &clock; }
  void Open(const std::string& path) { ASSERT_NE(view = h.StartView(path), nullptr); }
  CQuarnelView* OpenAnother(const std::string& path) {
    if (!h.App().Documents()->OpenDocumentFile(Q(path))) return nullptr;
    h.Pump(100);
    return h.ActiveView();
  }
  // Runs an animated move of v to its end.
  void FinishMove(CQuarnelView* v) {
    clock.Advance(1000.0);
    v->StepTransition();
  }

  FakeClock clock{10000.0};
  AppHarness h;
  CQuarnelView* view = nullptr;
};

TEST_F(ViewCameraTest, AMeshFarFromTheOriginIsFittedIntoTheView) {
  // Side 50, centred on (1000, 2000, -500).
  Open(WriteCube("far.ply", 50.0f, Vec3f(975.0f, 1975.0f, -525.0f)));
  const double r = 0.5 * std::sqrt(3.0 * 50.0 * 50.0);
  const Mat4d& track = view->m_trackBall.m_track;
  // The box centre goes to the origin, a corner onto the unit sphere.
  const Vec3d c = track.TransformPoint(Vec3d(1000.0, 2000.0, -500.0));
  EXPECT_NEAR(c.x, 0.0, 1e-4);
  EXPECT_NEAR(c.y, 0.0, 1e-4);
  EXPECT_NEAR(c.z, 0.0, 1e-4);
  EXPECT_NEAR(track.UniformScale(), 1.0 / r, 1e-9);
  const Vec3d corner = track.TransformPoint(Vec3d(1025.0, 2025.0, -475.0));
  EXPECT_NEAR(corner.Norm(), 1.0, 1e-4);
  // The trackball's glyph stands around the mesh.
  EXPECT_NEAR(view->m_trackBall.m_base.UniformScale(), r, 1e-6);
  EXPECT_NEAR(view->m_trackBall.m_base.m[12], 1000.0, 1e-3);

  const QImage img = h.Frame(view);
  ASSERT_FALSE(img.isNull());
  EXPECT_FALSE(IsBackground(img.pixel(img.width() / 2, img.height() / 2)));
  EXPECT_TRUE(IsBackground(img.pixel(2, 2)));
}

TEST_F(ViewCameraTest, AMeshWithoutExtentGetsAFiniteCamera) {
  // Every corner of the cube at one point.
  Open(WriteCube("point.ply", 0.0f, Vec3f(3.0f, 4.0f, 5.0f)));
  for (double e : view->m_trackBall.m_track.m) EXPECT_TRUE(std::isfinite(e));
  for (double e : view->m_trackBall.m_base.m) EXPECT_TRUE(std::isfinite(e));
  const Vec3d c = view->m_trackBall.m_track.TransformPoint(Vec3d(3.0, 4.0, 5.0));
  EXPECT_NEAR(c.Norm(), 0.0, 1e-5);
  h.Frame(view);
}

TEST_F(ViewCameraTest, PresetsTurnTheFittedCamera) {
  Open(WriteCube("preset.ply", 2.0f, Vec3f(9.0f, -1.0f, -1.0f)));
  const double r = std::sqrt(3.0);
  const Vec3d centre(10.0, 0.0, 0.0);
  // Where each preset carries the points one radius along +x and +y of the
  // box centre.
  struct Case {
    int preset;
    Vec3d x, y;
  } cases[] = {
      {0, {1, 0, 0}, {0, 1, 0}},  {1, {1, 0, 0}, {0, 1, 0}},  {2, {-1, 0, 0}, {0, 1, 0}},
      {3, {0, 0, -1}, {0, 1, 0}}, {4, {0, 0, 1}, {0, 1, 0}},  {5, {1, 0, 0}, {0, 0, 1}},
      {6, {1, 0, 0}, {0, 0, -1}},
  };
  Mat4d front;
  for (const Case& c : cases) {
    view->m_cameraPreset = c.preset;
    view->FitTrackBalls();
    const Mat4d& track = view->m_trackBall.m_track;
    const Vec3d px = track.TransformPoint(centre + Vec3d(r, 0, 0));
    const Vec3d py = track.TransformPoint(centre + Vec3d(0, r, 0));
    EXPECT_NEAR((px - c.x).Norm(), 0.0, 1e-6) << c.preset;
    EXPECT_NEAR((py - c.y).Norm(), 0.0, 1e-6) << c.preset;
    if (c.preset == 1) front = track;
    if (c.preset == 2) ExpectMatNear(track, front * Rotation(180, 0, 1, 0), 1e-12, "back");
  }
  view->m_cameraPreset = 0;
  view->FitTrackBalls();
  ExpectMatNear(view->m_trackBall.m_track, front, 0.0, "free");
}

TEST_F(ViewCameraTest, InterpolationBlendsTranslationScaleAndRotation) {
  Mat4d a = Identity();
  Mat4d b = Rotation(90, 0, 0, 1);
  for (int i = 0; i < 12; ++i) b.m[i] *= 3.0;
  b.m[12] = 4.0;
  b.m[13] = -2.0;
  Mat4d out;
  ExpectMatNear(InterpolateTransform(out, a, b, 0.0), a, 1e-12, "start");
  ExpectMatNear(InterpolateTransform(out, a, b, 1.0), b, 1e-12, "end");
  InterpolateTransform(out, a, b, 0.5);
  EXPECT_NEAR(out.m[12], 2.0, 1e-12);
  EXPECT_NEAR(out.m[13], -1.0, 1e-12);
  EXPECT_NEAR(out.UniformScale(), 2.0, 1e-12);
  Mat4d half = Rotation(45, 0, 0, 1);
  for (int i = 0; i < 12; ++i) half.m[i] *= 2.0;
  half.m[12] = 2.0;
  half.m[13] = -1.0;
  ExpectMatNear(out, half, 1e-12, "half");
}

TEST_F(ViewCameraTest, AnAnimatedMoveStartsEarlyAndEndsExactlyAtItsTarget) {
  Open(test::WriteCenteredCube("move.ply", CubeKind::Plain));
  view->m_interactionMode = 2;
  view->m_meanFrameTime = 100.0f;
  const TrackBall start = view->m_trackBall;
  TrackBall target = start;
  target.m_track = start.m_track * Rotation(60, 0, 1, 0);
  target.m_track.m[12] += 0.5;
  target.m_base.m[13] = 2.0;
  view->StartTransition(target);
  EXPECT_EQ(view->m_interactionMode, 3);
  EXPECT_EQ(view->m_savedMode, 2);
  EXPECT_EQ(view->m_transitionEnd - view->m_transitionStart, 500);
  EXPECT_EQ(view->m_transitionStart, 10000 - 100);

  // The first frame is already a fifth of the way in time: w = sqrt(0.2).
  view->StepTransition();
  EXPECT_EQ(view->m_interactionMode, 3);
  const double w = std::sqrt(0.2);
  EXPECT_NEAR(view->m_trackBall.m_base.m[13], w * 2.0, 1e-9);

  clock.Advance(400.0);
  view->StepTransition();
  EXPECT_EQ(view->m_interactionMode, 3);
  clock.Advance(1.0);
  view->StepTransition();
  EXPECT_EQ(view->m_interactionMode, 2);
  ExpectMatNear(view->m_trackBall.m_track, target.m_track, 1e-12, "track");
  ExpectMatNear(view->m_trackBall.m_base, target.m_base, 1e-12, "base");

  // Outside a move a step changes nothing.
  view->StepTransition();
  ExpectMatNear(view->m_trackBall.m_track, target.m_track, 0.0, "after");
}

TEST_F(ViewCameraTest, AMoveStartedDuringAMoveKeepsTheEarlierSavedMode) {
  Open(test::WriteCenteredCube("moves.ply", CubeKind::Plain));
  view->m_interactionMode = 2;
  TrackBall target = view->m_trackBall;
  target.m_track.m[12] = 1.0;
  view->StartTransition(target);
  clock.Advance(200.0);
  view->StepTransition();
  target.m_track.m[12] = -1.0;
  view->StartTransition(target);
  EXPECT_EQ(view->m_savedMode, 2);
  FinishMove(view);
  EXPECT_EQ(view->m_interactionMode, 2);
  EXPECT_NEAR(view->m_trackBall.m_track.m[12], -1.0, 1e-12);
}

TEST_F(ViewCameraTest, ZoomOnAPointCentresItAndScalesByTheModifier) {
  Open(test::WriteCenteredCube("zoom.ply", CubeKind::Plain));
  const double r = 0.5 * std::sqrt(3.0);
  struct Case {
    int flags;
    double factor;
  } cases[] = {{0, 2.0 / 3.0}, {MouseFlag::Control, 1.5}, {MouseFlag::Shift, 1.0},
               {MouseFlag::Shift | MouseFlag::Control, 1.0}};
  for (const Case& c : cases) {
    h.Execute(cmd::kResetTrackBall);
    h.Frame(view);
    const int x = view->m_viewport[2] / 2, y = view->m_viewport[3] / 2;
    view->m_interactionMode = 1;
    view->m_savedMode = 0;
    view->ZoomAtPoint(c.flags, x, y);
    ASSERT_EQ(view->m_interactionMode, 3) << c.flags;
    const TrackBall& to = view->m_transitionTo;
    EXPECT_NEAR(to.m_base.UniformScale(), r * c.factor, 1e-6) << c.flags;
    EXPECT_NEAR(to.m_track.UniformScale(), 1.0 / (r * c.factor), 1e-6) << c.flags;
    // The clicked point, on the front face, goes to the centre.
    const Vec3d p(to.m_base.m[12], to.m_base.m[13], to.m_base.m[14]);
    EXPECT_NEAR(p.z, 0.5, 0.02) << c.flags;
    EXPECT_NEAR(to.m_track.TransformPoint(p).Norm(), 0.0, 1e-9);
    FinishMove(view);
    EXPECT_EQ(view->m_interactionMode, 0);
  }
  // A click on the background leaves the zoom armed.
  h.Frame(view);
  view->m_interactionMode = 1;
  const TrackBall before = view->m_trackBall;
  view->ZoomAtPoint(0, 2, 2);
  EXPECT_EQ(view->m_interactionMode, 1);
  ExpectMatNear(view->m_trackBall.m_track, before.m_track, 0.0, "background");
}

TEST_F(ViewCameraTest, CopyViewAndPasteViewCarryTheCameraToAnotherView) {
  Open(test::WriteCenteredCube("first.ply", CubeKind::Plain));
  CQuarnelView* first = view;
  CQuarnelView* second = OpenAnother(WriteCube("second.ply", 10.0f, Vec3f(100, 0, 0)));
  ASSERT_NE(second, nullptr);
  ASSERT_NE(second, first);

  first->m_cameraPreset = 3;
  first->FitTrackBalls();
  first->m_trackBall.m_track.m[13] = 0.25;
  first->m_fov = 30.0f;
  first->OnCopyView();

  // The block: the length, then the two matrices and the field of view.
  const std::optional<QByteArray> payload = h.clipboard.Get();
  ASSERT_TRUE(payload.has_value());
  ASSERT_EQ(payload->size(), 264);
  double element = 0.0;
  std::memcpy(&element, payload->constData() + 13 * 8, 8);
  EXPECT_EQ(element, 0.25);
  std::memcpy(&element, payload->constData() + 128 + 15 * 8, 8);
  EXPECT_EQ(element, 1.0);
  float fov = 0.0f;
  std::memcpy(&fov, payload->constData() + 256, 4);
  EXPECT_EQ(fov, 30.0f);

  second->m_trackBall.m_spinEnabled = true;
  second->OnPasteView();
  EXPECT_EQ(second->m_interactionMode, 3);
  EXPECT_EQ(second->m_fov, 30.0f);  // at once
  FinishMove(second);
  EXPECT_EQ(second->m_interactionMode, 0);
  ExpectMatNear(second->m_trackBall.m_track, first->m_trackBall.m_track, 1e-12, "track");
  ExpectMatNear(second->m_trackBall.m_base, first->m_trackBall.m_base, 1e-12, "base");
  // The pasted camera is a new trackball: it does not spin.
  EXPECT_FALSE(second->m_trackBall.m_spinEnabled);
}

TEST_F(ViewCameraTest, PasteWhileViewingTheTextureImageMovesTheTextureCamera) {
  Open(test::WriteCenteredCube("texture.ply", CubeKind::Plain));
  TrackBall source;
  source.m_track.m[12] = 0.75;
  view->m_trackBall = source;
  view->OnCopyView();
  view->m_trackBall.m_track.m[12] = 0.0;
  view->m_textureImageView = 1;
  view->OnPasteView();
  FinishMove(view);
  EXPECT_NEAR(view->m_textureTrackBall.m_track.m[12], 0.75, 1e-12);
  EXPECT_EQ(view->m_trackBall.m_track.m[12], 0.0);
}

TEST_F(ViewCameraTest, ForeignBlocksPasteWhatTheyHoldAndNoMore) {
  Open(test::WriteCenteredCube("foreign.ply", CubeKind::Plain));
  view->m_fov = 40.0f;
  // 100 bytes: the first twelve elements of the track and half of the next.
  QByteArray payload(100, '\0');
  for (int i = 0; i < 12; ++i) {
    const double v = 2.0 + i;
    std::memcpy(payload.data() + 8 * i, &v, 8);
  }
  h.clipboard.PutForeignBlock(EncodeClipboardBlock(payload));
  view->OnPasteView();
  FinishMove(view);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(view->m_trackBall.m_track.m[i], 2.0 + i);
  EXPECT_EQ(view->m_trackBall.m_track.m[15], 1.0);
  ExpectMatNear(view->m_trackBall.m_base, Identity(), 0.0, "base");
  EXPECT_EQ(view->m_fov, 40.0f);

  // A length past the limit pastes no payload: the camera goes to identity.
  QByteArray tooLong(1024, '\0');
  tooLong[0] = char(0xFD);
  tooLong[1] = char(0x03);  // 1021
  h.clipboard.PutForeignBlock(tooLong);
  view->OnPasteView();
  FinishMove(view);
  ExpectMatNear(view->m_trackBall.m_track, Identity(), 0.0, "too long");
  EXPECT_EQ(view->m_fov, 40.0f);

  // A camera that is not made of numbers is not taken.
  h.Execute(cmd::kResetTrackBall);
  const Mat4d fitted = view->m_trackBall.m_track;
  QByteArray broken(264, '\0');
  const double nan = std::nan("");
  std::memcpy(broken.data() + 8 * 5, &nan, 8);
  const float hugeFov = std::numeric_limits<float>::infinity();
  std::memcpy(broken.data() + 256, &hugeFov, 4);
  h.clipboard.PutForeignBlock(EncodeClipboardBlock(broken));
  view->OnPasteView();
  EXPECT_EQ(view->m_interactionMode, 0);
  ExpectMatNear(view->m_trackBall.m_track, fitted, 0.0, "nan");
  EXPECT_EQ(view->m_fov, 40.0f);

  // A field of view is held to the wheel's range.
  for (auto [pasted, taken] : {std::pair{170.0f, 90.0f}, std::pair{0.5f, 5.0f},
                               std::pair{-30.0f, 5.0f}, std::pair{60.0f, 60.0f}}) {
    QByteArray camera(264, '\0');
    std::memcpy(camera.data() + 256, &pasted, 4);
    h.clipboard.PutForeignBlock(EncodeClipboardBlock(camera));
    view->OnPasteView();
    EXPECT_EQ(view->m_fov, taken) << pasted;
  }
  h.Frame(view);
}

TEST_F(ViewCameraTest, LinkedViewsFollowTheFocusedOne) {
  Open(test::WriteCenteredCube("linked1.ply", CubeKind::Plain));
  CQuarnelView* first = view;
  CQuarnelView* second = OpenAnother(test::WriteCenteredCube("linked2.ply", CubeKind::Colored));
  ASSERT_NE(second, nullptr);
  h.Window().activateWindow();
  second->setFocus();
  h.Pump(100);
  if (!second->hasFocus()) GTEST_SKIP() << "the display gives no keyboard focus";

  ASSERT_TRUE(h.Execute(cmd::kLinkTrackBalls));
  second->m_trackBall.m_track = second->m_trackBall.m_track * Rotation(30, 1, 0, 0);
  second->m_fov = 20.0f;
  // The first pass: the first view takes the old block (none), the focused
  // one publishes; the second pass brings the camera over.
  h.App().OnIdle(0);
  h.App().OnIdle(1);
  EXPECT_EQ(first->m_interactionMode, 3);
  EXPECT_EQ(first->m_fov, 20.0f);
  EXPECT_EQ(second->m_interactionMode, 0);
  FinishMove(first);
  ExpectMatNear(first->m_trackBall.m_track, second->m_trackBall.m_track, 1e-12, "linked");

  // Unlinked, nothing follows.
  ASSERT_TRUE(h.Execute(cmd::kLinkTrackBalls));
  second->m_fov = 50.0f;
  h.App().OnIdle(0);
  h.App().OnIdle(1);
  EXPECT_EQ(first->m_fov, 20.0f);
}

TEST(LinkedViewsOnTheDesktopClipboard, RestWhenNothingMoves) {
  AppHarness h;
  SystemClipboardBlocks desktop;
  AppServices services;
  services.profile = &h.profile;
  services.messages = &h.messages;
  services.dialogs = &h.dialogs;
  services.clipboard = &desktop;
  services.shellOpenName = h.shellOpenName;
  auto app = std::make_unique<CQuarnelApp>(services);
  ASSERT_TRUE(app->InitInstance({Q(test::WriteCenteredCube("desk1.ply", CubeKind::Plain))}));
  ASSERT_NE(app->Documents()->OpenDocumentFile(Q(test::WriteCenteredCube("desk2.ply", CubeKind::Plain))), nullptr);
  h.Pump(200);
  auto* focused = qobject_cast<CQuarnelView*>(app->Documents()->ActiveView());
  ASSERT_NE(focused, nullptr);
  app->MainFrame()->Window().activateWindow();
  focused->setFocus();
  h.Pump(100);
  if (!focused->hasFocus()) GTEST_SKIP() << "the display gives no keyboard focus";
  CQuarnelView* other = nullptr;
  for (QWidget* w : app->Documents()->AllViews())
    if (w != focused) other = qobject_cast<CQuarnelView*>(w);
  ASSERT_NE(other, nullptr);
  focused->m_trackBall.m_track = focused->m_trackBall.m_track * Rotation(40, 0, 1, 0);

  // Publishing the camera changes the clipboard, which must not wake the
  // idle pass again: the program comes to rest.
  app->m_linkTrackBalls = true;
  app->Idle()->Wake();
  h.Pump(300);
  app->Idle()->Wake();
  h.Pump(300);
  const long long passes = app->Idle()->Passes();
  h.Pump(500);
  EXPECT_LT(app->Idle()->Passes() - passes, 5);
  EXPECT_TRUE(app->Idle()->Resting());
  ExpectMatNear(other->m_transitionTo.m_track, focused->m_trackBall.m_track, 0.0, "linked");
  app.reset();
  h.Pump(50);
}

}  // namespace
}  // namespace quarnel
