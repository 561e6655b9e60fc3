// The trackball's mode objects: what a drag point means in each of them,
// the handles they draw inside the glyph and the window-space hit tests of
// those handles.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/trackball.h"

namespace quarnel {

namespace {

// A handle point in GL window coordinates (y upwards), its depth in z.
Vec3d ToWindow(const TrackCamera& camera, const Vec3d& p) {
  Vec3d n;
  Mat4d::TransformPointRowMajor(camera.m_viewProj, n, p);
  const int* vp = camera.m_viewport;
  return {vp[0] + (n.x + 1.0) * vp[2] * 0.5, vp[1] + (n.y + 1.0) * vp[3] * 0.5, n.z};
}

double Cross2(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// The hit value of a handle inside the unit disc of the window's origin:
// the modes without a handle of their own answer this way.
double DiscHit(const Vec3d& q) {
  return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z) < 1.0 ? 0.0 : -1.0;
}

// The handle of the modes that work along an axis: the axis itself, drawn
// through the glyph a little beyond the unit sphere.
void DrawAxisHandle(const Vec3d& axis) {
  const Vec3d a = axis * 1.2, b = axis * -1.2;
  glBegin(GL_LINES);
  glVertex3dv(&a.x);
  glVertex3dv(&b.x);
  glEnd();
}

}  // namespace

// ---------------------------------------------------------------------------
// Hit tests in window coordinates

double WindowDistanceToSegment(Vec3d p, Vec3d a, Vec3d b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (std::fabs(len) < 1e-10) return -1.0;
  const double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len;
  if (t < -3.0 || t > len + 3.0) return -1.0;
  const double fx = a.x + dx * t / len, fy = a.y + dy * t / len;
  const double d = std::sqrt((p.x - fx) * (p.x - fx) + (p.y - fy) * (p.y - fy) + p.z * p.z);
  return d <= 3.0 ? 0.0 : -1.0;
}

bool PointInTriangle2D(double px, double py, double, const double* a, const double* b,
                       const double* c) {
  const double d = Cross2(b[0] - a[0], b[1] - a[1], c[0] - b[0], c[1] - b[1]);
  const double s1 = Cross2(b[0] - a[0], b[1] - a[1], px - b[0], py - b[1]);
  const double s2 = Cross2(c[0] - b[0], c[1] - b[1], px - c[0], py - c[1]);
  if (d > 0.0) return s1 >= 0.0 && s1 <= d && s2 >= 0.0 && s1 + s2 < d;
  return s1 >= d && s1 <= 0.0 && s2 <= 0.0 && s1 + s2 > d;
}

double PointInProjectedTriangle(Vec3d p, Vec3d a, Vec3d b, Vec3d c) {
  const double ta[3] = {a.x, a.y, 0.0}, tb[3] = {b.x, b.y, 0.0}, tc[3] = {c.x, c.y, 0.0};
  return PointInTriangle2D(p.x, p.y, p.z, ta, tb, tc) ? 0.0 : -1.0;
}

// ---------------------------------------------------------------------------
// Sphere rotation

Mat4d SphereRotateMode::Transform(Vec3d p, const Mat4d&) {
  const double r2 = p.x * p.x + p.y * p.y;
  const double r = std::sqrt(r2);
  Vec3d s;
  if (r < 0.7071067811865476) {
    s = Vec3d(p.x, p.y, std::sqrt(1.0 - r2));
  } else {
    s = Vec3d(p.x, p.y, 1.0606601717798214 - 0.7071067811865476 * r2);
    s.Normalize();
  }
  if (s == Vec3d(0.0, 0.0, 1.0)) return Mat4d::Identity();
  Vec3d axis(-s.y, s.x, 0.0);
  axis.Normalize();
  double d = (s - Vec3d(0.0, 0.0, 1.0)).Norm() * 0.5;
  // Beyond a quarter turn the rotation speeds up, so half a turn is in reach.
  if (d > 0.7071067811865476) d = d + (d - 0.7071067811865476) * 0.7;
  if (d > 1.0) d = 1.0;
  const double angle = 2.0 * std::asin(d) * 180.0 * 0.31830988654751274;
  Mat4d m;
  m.SetRotate(angle, axis.x, axis.y, axis.z);
  return m;
}

double SphereRotateMode::HitValue(Vec3d q, const TrackCamera&) { return DiscHit(q); }

// ---------------------------------------------------------------------------
// Rotation about an axis

Mat4d AxisRotateMode::Transform(Vec3d p, const Mat4d& frame) {
  m_axis.Normalize();
  const Vec3d a = frame.TransformPoint(m_axis);
  const double len = a.Norm();
  const double ax = len > 0.0 ? a.x / len : a.x, ay = len > 0.0 ? a.y / len : a.y;
  const bool angular =
      m_angularMode == 1 || (m_angularMode == 0 && std::sqrt(ax * ax + ay * ay) < 0.4);
  double theta;
  if (angular) {
    if (p.x == 0.0 && p.y == 0.0) return Mat4d::Identity();
    const double pl = std::sqrt(p.x * p.x + p.y * p.y);
    // Rounding may take the unit x a hair past 1, where acos has no value.
    theta = std::acos(std::clamp(p.x / pl, -1.0, 1.0));
    if (p.y < 0.0) theta = -theta;
    if (a.z < 0.0) theta = -theta;
  } else {
    theta = p.x * a.y - a.x * p.y;
  }
  Mat4d m;
  m.SetRotate(theta * 180.0 * 0.3183098861837907, m_axis.x, m_axis.y, m_axis.z);
  return m;
}

void AxisRotateMode::DrawHandle(int visible) {
  if (visible) DrawAxisHandle(m_axis);
}

double AxisRotateMode::HitValue(Vec3d q, const TrackCamera& camera) {
  m_axis.Normalize();
  const Vec3d& a = m_axis;
  const Vec3d h = (a.y == 0.0 && a.z == 0.0) ? Vec3d(0.0, 1.0, 0.0) : Vec3d(1.0, 0.0, 0.0);
  Vec3d u = h.Cross(a);
  u.Normalize();
  const Vec3d w = u.Cross(a);
  Vec3d prev;
  double best = -1.0;
  for (int i = 0; i <= 30; ++i) {
    const double t = i * 3.14159265 / 15.0;
    const Vec3d point = ToWindow(camera, u * std::sin(t) + w * std::cos(t));
    if (i > 0) {
      const double v = WindowDistanceToSegment(q, prev, point);
      if (v >= 0.0 && (best < 0.0 || v < best)) best = v;
    }
    prev = point;
  }
  return best;
}

// ---------------------------------------------------------------------------
// Translation in a plane

Mat4d PlaneTranslateMode::Transform(Vec3d p, const Mat4d& frame) {
  m_planeU.Normalize();
  m_planeV.Normalize();
  Vec3d su = frame.TransformPoint(m_planeU), sv = frame.TransformPoint(m_planeV);
  const double zu = su.z, zv = sv.z;
  auto flatten = [](Vec3d& s) {
    if (s.x == 0.0 && s.y == 0.0) s = Vec3d(0.0, 1.0, 0.0);
    const double l = std::sqrt(s.x * s.x + s.y * s.y);
    s = Vec3d(s.x / l, s.y / l, 0.0);
  };
  flatten(su);
  flatten(sv);
  // The vector that points more along the line of sight gives way to the
  // other, so that the two screen directions stay apart.
  auto adjust = [](Vec3d& s, const Vec3d& other) {
    if (s == other || s == other * -1.0) s = Vec3d(-other.y, other.x, 0.0);
    s = s - other * s.Dot(other);
    s.Normalize();
  };
  if (std::fabs(zv) < std::fabs(zu))
    adjust(su, sv);
  else
    adjust(sv, su);
  const double a = su.x * p.x + su.y * p.y;
  const double b = sv.x * p.x + sv.y * p.y;
  return Translation(m_planeU * a + m_planeV * b);
}

void PlaneTranslateMode::DrawHandle(int visible) {
  if (!visible) return;
  const Vec3d& u = m_planeU;
  const Vec3d& v = m_planeV;
  const Vec3d corners[5] = {(u + v) * 1.2, (u - v) * 1.2, (u * -1.0 - v) * 1.2,
                            (u * -1.0 + v) * 1.2, (u + v) * 1.2};
  glBegin(GL_LINE_STRIP);
  for (const Vec3d& c : corners) glVertex3dv(&c.x);
  glEnd();
}

double PlaneTranslateMode::HitValue(Vec3d q, const TrackCamera& camera) {
  const Vec3d& u = m_planeU;
  const Vec3d& v = m_planeV;
  const Vec3d points[8] = {u * 0.8 + v * 0.8,   u + v * 0.8,         u + v,
                           u * 0.8 + v,         u * -0.8 - v * 0.8,  u * -1.0 - v * 0.8,
                           u * -1.0 - v,        u * -0.8 - v};
  Vec3d w[8];
  for (int i = 0; i < 8; ++i) w[i] = ToWindow(camera, points[i]);
  const int triangles[4][3] = {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}};
  for (const auto& t : triangles)
    if (PointInProjectedTriangle(q, w[t[0]], w[t[1]], w[t[2]]) >= 0.0) return 0.0;
  return -1.0;
}

// ---------------------------------------------------------------------------
// Translation along an axis

Mat4d AxisTranslateMode::Transform(Vec3d p, const Mat4d& frame) {
  m_axis.Normalize();
  Vec3d s = frame.TransformPoint(m_axis);
  // An axis along the line of sight moves with the cursor's vertical motion.
  if (s.x == 0.0 && s.y == 0.0) {
    s.x = 0.0;
    s.y = -1.0;
  }
  const double l = std::sqrt(s.x * s.x + s.y * s.y);
  const double t = s.x / l * p.x + s.y / l * p.y;
  return Translation(m_axis * t);
}

void AxisTranslateMode::DrawHandle(int visible) {
  if (visible) DrawAxisHandle(m_axis);
}

double AxisTranslateMode::HitValue(Vec3d q, const TrackCamera& camera) {
  m_axis.Normalize();
  const Vec3d& a = m_axis;
  double best = -1.0;
  for (double sign : {1.0, -1.0}) {
    const double v =
        WindowDistanceToSegment(q, ToWindow(camera, a * sign), ToWindow(camera, a * (1.2 * sign)));
    if (v >= 0.0 && (best < 0.0 || v < best)) best = v;
  }
  return best;
}

// ---------------------------------------------------------------------------
// Uniform scale

Mat4d ScaleMode::Transform(Vec3d p, const Mat4d&) {
  const double f = std::pow(2.0, -p.y * 0.01);
  Mat4d m = Mat4d::Identity();
  m.m[0] = m.m[5] = m.m[10] = f;
  return m;
}

double ScaleMode::HitValue(Vec3d q, const TrackCamera&) { return DiscHit(q); }

}  // namespace quarnel
