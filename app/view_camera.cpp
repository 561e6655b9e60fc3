// The view's camera: fitting the trackballs to the mesh, the seven camera
// presets, the zoom on a clicked point and the animated moves from one
// trackball state to another.
#include <GL/gl.h>

#include <cmath>

#include "app/mouse_flags.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/clock.h"

namespace quarnel {

namespace {

// Length of an animated camera move, in clock ticks.
constexpr int kTransitionTicks = 500;

// The rotation of m without its uniform scale s, as a quaternion; a matrix
// without a usable scale counts as no rotation.
Quatd RotationOf(const Mat4d& m, double s) {
  if (!UsableScale(s)) return Quatd();
  Mat3d r;
  m.GetMat3d(r);
  for (double& e : r.m) e /= s;
  return Quatd::FromMat3d(r);
}

// Centre and half diagonal of a box. A box without extent (a mesh of one
// point, or none at all) would give an infinite fit scale: it is fitted as
// if its half diagonal were 1.
void FitSphere(const BBox3f* box, Vec3f& centre, float& radius) {
  centre = Vec3f(0.0f, 0.0f, 0.0f);
  radius = 1.0f;
  if (!box || box->IsNull()) return;
  centre = Vec3f((box->min.x + box->max.x) * 0.5f, (box->min.y + box->max.y) * 0.5f,
                 (box->min.z + box->max.z) * 0.5f);
  const float r = float(0.5 * (box->max - box->min).Norm());
  if (std::isfinite(r) && r > 0.0f) radius = r;
  if (!std::isfinite(centre.x) || !std::isfinite(centre.y) || !std::isfinite(centre.z))
    centre = Vec3f(0.0f, 0.0f, 0.0f);
}

void FitTrackBall(TrackBall& tb, const BBox3f* box) {
  Vec3f c;
  float r = 1.0f;
  FitSphere(box, c, r);
  tb.Reset();
  tb.SetScale(1, 1.0);
  tb.SetTranslation(1, 0.0, 0.0, 0.0);
  tb.SetScale(2, 1.0 / r);
  tb.SetTranslation(2, -c.x / r, -c.y / r, -c.z / r);
}

// The rotation that a camera preset applies after the fit.
Mat4d PresetRotation(int preset) {
  Mat4d r = Mat4d::Identity();
  switch (preset) {
    case 2: r.SetRotate(180.0, 0.0, 1.0, 0.0); break;
    case 3: r.SetRotate(90.0, 0.0, 1.0, 0.0); break;
    case 4: r.SetRotate(-90.0, 0.0, 1.0, 0.0); break;
    case 5: r.SetRotate(90.0, 1.0, 0.0, 0.0); break;
    case 6: r.SetRotate(-90.0, 1.0, 0.0, 0.0); break;
    default: break;
  }
  return r;
}

}  // namespace

Mat4d& InterpolateTransform(Mat4d& out, const Mat4d& a, const Mat4d& b, double w) {
  out = Mat4d::Identity();
  for (int i = 12; i < 15; ++i) out.m[i] = (1.0 - w) * a.m[i] + w * b.m[i];
  const double sa = a.UniformScale();
  const double sb = b.UniformScale();
  const double s = (1.0 - w) * (UsableScale(sa) ? sa : 1.0) + w * (UsableScale(sb) ? sb : 1.0);
  const Quatd q = Quatd::Slerp(RotationOf(a, sa), RotationOf(b, sb), w);
  Mat3d r;
  Quatd::ToMat3d(q, r);
  for (double& e : r.m) e *= s;
  out.SetUpper3x3(r.m);
  return out;
}

TrackBall& CQuarnelView::CurrentTrackBall() {
  return m_textureImageView == 1 ? m_textureTrackBall : m_trackBall;
}

void CQuarnelView::FitTrackBalls() {
  MeshHolder& holder = doc_.Holder();
  FitTrackBall(m_trackBall, holder.BBox());
  m_trackBall.ApplyTransform(PresetRotation(m_cameraPreset), 0x800);
  FitTrackBall(m_textureTrackBall, holder.TextureBoardBBox());
}

void CQuarnelView::ZoomAtPoint(int flags, int x, int y) {
  if (!MakeCurrent()) return;
  float depth = 1.0f;
  glReadPixels(x, m_viewport[3] - y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (depth == 1.0f) return;
  const Vec3d p = UnProject(x, y, depth);
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;

  TrackBall& tb = CurrentTrackBall();
  const bool shift = (flags & MouseFlag::Shift) != 0;
  const bool ctrl = (flags & MouseFlag::Control) != 0;
  const double f = shift ? 1.0 : (ctrl ? 1.5 : 2.0 / 3.0);
  const double s = tb.m_base.UniformScale() * f;
  if (!UsableScale(s)) return;

  TrackBall target(tb);
  target.m_base = Mat4d::Identity();
  target.m_base.SetScale(s);
  target.m_base.m[15] = 1.0;
  target.m_base.m[12] = p.x;
  target.m_base.m[13] = p.y;
  target.m_base.m[14] = p.z;

  const double ts = tb.m_track.UniformScale();
  Mat4d rotation = Mat4d::Identity();
  if (UsableScale(ts)) {
    rotation = Linear3(tb.m_track);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) rotation.m[4 * r + c] /= ts;
  }
  Mat4d scale = Mat4d::Identity();
  scale.SetScale(1.0 / s);
  scale.m[15] = 1.0;
  target.m_track = Translation(Vec3d(-p.x, -p.y, -p.z)) * scale * rotation;
  StartTransition(target);
}

void CQuarnelView::StartTransition(const TrackBall& target) {
  m_transitionFrom = CurrentTrackBall();
  m_transitionTo = target;
  const double lead = std::isfinite(m_meanFrameTime) ? double(m_meanFrameTime) : 0.0;
  m_transitionStart = int(double(app_.GetClock().Ticks()) - lead);
  m_transitionEnd = m_transitionStart + kTransitionTicks;
  if (m_interactionMode != 3 && m_interactionMode != 1) m_savedMode = m_interactionMode;
  m_interactionMode = 3;
  update();
}

void CQuarnelView::StepTransition() {
  if (m_interactionMode != 3) return;
  const double span = double(m_transitionEnd) - double(m_transitionStart);
  double t = span > 0.0 ? (double(app_.GetClock().Ticks()) - m_transitionStart) / span : 2.0;
  if (t > 1.0) {
    // The last frame shows the target as it was given: the blend would
    // only approximate it (by rounding, and wholly so for a target that is
    // not a similarity, such as a pasted one).
    m_interactionMode = m_savedMode;
    CurrentTrackBall() = m_transitionTo;
    return;
  }
  update();
  // A clock read before the start (it was set back) begins the move anew
  // rather than going through it backwards.
  if (t < 0.0) t = 0.0;
  const double w = std::pow(t, 0.5);

  TrackBall x(m_transitionTo);
  InterpolateTransform(x.m_base, m_transitionFrom.m_base, m_transitionTo.m_base, w);
  // The tracks are blended in the frame of the start's base and carried
  // back; in array products the left factor acts first.
  const Mat4d& bs = m_transitionFrom.m_base;
  const Mat4d bsInverse = bs.Inverse();
  const Mat4d from = bs * m_transitionFrom.m_track * bsInverse;
  const Mat4d to = bs * m_transitionTo.m_track * bsInverse;
  Mat4d blended;
  InterpolateTransform(blended, from, to, w);
  x.m_track = bsInverse * blended * bs;
  CurrentTrackBall() = x;
}

}  // namespace quarnel
