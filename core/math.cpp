#include "core/math.h"

#include <algorithm>

namespace quarnel {

void Mat4d::SetIdentity() {
  for (double& e : m) e = 0.0;
  m[0] = m[5] = m[10] = m[15] = 1.0;
}

void Mat4d::SetScale(double s) {
  for (double& e : m) e = 0.0;
  m[0] = m[5] = m[10] = m[15] = s;
}

void Mat4d::GetMat3d(Mat3d& out) const {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out.m[3 * r + c] = m[4 * r + c];
}

void Mat4d::SetUpper3x3(const double nine[9]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[4 * r + c] = nine[3 * r + c];
}

Mat4d Mat4d::Transposed() const {
  Mat4d t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.m[4 * r + c] = m[4 * c + r];
  return t;
}

void Mat4d::Mul(const Mat4d& a, Mat4d& out, const Mat4d& b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += a.m[4 * i + k] * b.m[4 * k + j];
      out.m[4 * i + j] = s;
    }
}

void Mat4d::Multiplied(const Mat4d& a, Mat4d& out, const Mat4d& b) {
  Mat4d t;
  Mul(a, t, b);
  out = t;
}

namespace {
// Determinant of the 3x3 minor that leaves out row r and column c of the
// 4x4 array read as rows (element 4 * row + col).
double Minor(const double* a, int r, int c) {
  int rows[3], cols[3];
  for (int i = 0, k = 0; i < 4; ++i)
    if (i != r) rows[k++] = i;
  for (int i = 0, k = 0; i < 4; ++i)
    if (i != c) cols[k++] = i;
  auto e = [&](int i, int j) { return a[4 * rows[i] + cols[j]]; };
  return e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
         e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
         e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
}
}  // namespace

Mat4d& Mat4d::Invert() {
  double det = 0.0;
  for (int c = 0; c < 4; ++c) det += ((c & 1) ? -1.0 : 1.0) * m[c] * Minor(m, 0, c);
  if (det == 0.0) {
    SetIdentity();
    return *this;
  }
  double inv = 1.0 / det;
  Mat4d adj;
  // The inverse is the transposed cofactor matrix over the determinant.
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      adj.m[4 * c + r] = (((r + c) & 1) ? -1.0 : 1.0) * Minor(m, r, c) * inv;
  *this = adj;
  return *this;
}

namespace {
// The point (p, 1) through the matrix whose row r, column c is element
// r * rowStep + c * colStep of m, in double whatever the element type,
// divided by w unless w is exactly 0.
template <class T, class P>
Vec3d ProjectPoint(const T* m, int rowStep, int colStep, const P& p) {
  auto e = [&](int r, int c) { return double(m[r * rowStep + c * colStep]); };
  double x = e(0, 0) * p.x + e(0, 1) * p.y + e(0, 2) * p.z + e(0, 3);
  double y = e(1, 0) * p.x + e(1, 1) * p.y + e(1, 2) * p.z + e(1, 3);
  double z = e(2, 0) * p.x + e(2, 1) * p.y + e(2, 2) * p.z + e(2, 3);
  double w = e(3, 0) * p.x + e(3, 1) * p.y + e(3, 2) * p.z + e(3, 3);
  if (w != 0.0) {
    double k = 1.0 / w;
    x *= k;
    y *= k;
    z *= k;
  }
  return Vec3d(x, y, z);
}
}  // namespace

void Mat4d::TransformPoint(const Mat4d& a, Vec3d& out, const Vec3d& p) {
  out = ProjectPoint(a.m, 1, 4, p);
}

void Mat4d::TransformPointRowMajor(const Mat4d& a, Vec3d& out, const Vec3d& p) {
  out = ProjectPoint(a.m, 4, 1, p);
}

void Mat4f::TransformPoint(const Mat4f& a, Vec3f& out, const Vec3f& p) {
  out = ProjectPoint(a.m, 1, 4, p).ToFloat();
}

void Mat4d::SetRotate(double angleDeg, double x, double y, double z) {
  const double pi = 3.141592653589793;
  double t = angleDeg * pi * (1.0 / 180.0);
  double c = std::cos(t), s = std::sin(t);
  double len = std::sqrt(x * x + y * y + z * z);
  if (len > 0.0) {
    x /= len;
    y /= len;
    z /= len;
  }
  double k = 1.0 - c;
  m[0] = x * x * k + c;
  m[1] = x * y * k + z * s;
  m[2] = x * z * k - y * s;
  m[4] = x * y * k - z * s;
  m[5] = y * y * k + c;
  m[6] = y * z * k + x * s;
  m[8] = x * z * k + y * s;
  m[9] = y * z * k - x * s;
  m[10] = z * z * k + c;
  m[3] = m[7] = m[11] = m[12] = m[13] = m[14] = 0.0;
  m[15] = 1.0;
}

double Mat4d::UniformScale() const {
  double det = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
               m[2] * (m[4] * m[9] - m[5] * m[8]);
  return std::pow(det, 1.0 / 3.0);
}

void Quatd::Normalize() {
  double n = std::sqrt(w * w + x * x + y * y + z * z);
  if (n > 0.0) {
    double k = 1.0 / n;
    w *= k;
    x *= k;
    y *= k;
    z *= k;
  }
}

Quatd Quatd::Slerp(const Quatd& a, const Quatd& b, double t) {
  double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  // Rounding can push the dot product of unit quaternions past 1; acos of
  // that would be NaN and turn the camera into NaN.
  double theta = std::acos(std::clamp(dot, -1.0, 1.0));
  double s0, s1;
  if (theta > 0.01) {
    double st = std::sin(theta);
    s0 = std::sin((1.0 - t) * theta) / st;
    s1 = std::sin(t * theta) / st;
  } else {
    s0 = 1.0 - t;
    s1 = t;
  }
  Quatd r(s0 * a.w + s1 * b.w, s0 * a.x + s1 * b.x, s0 * a.y + s1 * b.y, s0 * a.z + s1 * b.z);
  if (dot < -0.999) {
    double e = (1.0 - t) * t;
    if (r.w == 0.0)
      r.w = e;
    else
      r.x += e;
  }
  r.Normalize();
  return r;
}

Quatd Quatd::FromMat3d(const Mat3d& m) {
  // Four times the squares of w, x, y and z; the root is taken of the
  // largest, which is at least 1 for a rotation, so that neither rounding
  // of a near-zero candidate nor the division by its root can spoil the
  // result (at 180 degrees the trace candidate is zero up to rounding).
  double candidates[4] = {1.0 + m(0, 0) + m(1, 1) + m(2, 2)};
  for (int i = 0; i < 3; ++i)
    candidates[i + 1] = 1.0 + m(i, i) - m((i + 1) % 3, (i + 1) % 3) - m((i + 2) % 3, (i + 2) % 3);
  // Among the axes a tie goes to the later one, between the trace and an
  // axis to the trace.
  int largest = 1;
  for (int c = 2; c < 4; ++c)
    if (candidates[c] >= candidates[largest]) largest = c;
  if (candidates[0] >= candidates[largest]) largest = 0;
  Quatd q;
  if (largest == 0) {
    const double s = 0.5 / std::sqrt(candidates[0]);
    q.w = 0.25 / s;
    q.x = (m(2, 1) - m(1, 2)) * s;
    q.y = (m(0, 2) - m(2, 0)) * s;
    q.z = (m(1, 0) - m(0, 1)) * s;
    return q;
  }
  const int i = largest - 1, j = (i + 1) % 3, k = (i + 2) % 3;
  const double s = 0.5 / std::sqrt(candidates[largest]);
  double v[3];
  v[i] = 0.25 / s;
  v[j] = (m(i, j) + m(j, i)) * s;
  v[k] = (m(i, k) + m(k, i)) * s;
  q.w = (m(k, j) - m(j, k)) * s;
  // Where the trace is positive the scalar part is kept positive, as the
  // trace branch gives it, so that blends between rotations go the same way
  // round as before.
  if (candidates[0] > 0.0 && q.w < 0.0) {
    q.w = -q.w;
    for (double& e : v)
      e = -e;
  }
  q.x = v[0];
  q.y = v[1];
  q.z = v[2];
  return q;
}

void Quatd::ToMat3d(const Quatd& q, Mat3d& out) {
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  out(0, 0) = 1 - 2 * (y * y + z * z);
  out(0, 1) = 2 * (x * y - z * w);
  out(0, 2) = 2 * (x * z + y * w);
  out(1, 0) = 2 * (x * y + z * w);
  out(1, 1) = 1 - 2 * (z * z + x * x);
  out(1, 2) = 2 * (y * z - x * w);
  out(2, 0) = 2 * (x * z - y * w);
  out(2, 1) = 2 * (y * z + x * w);
  out(2, 2) = 1 - 2 * (x * x + y * y);
}

void Quatd::ToAxisAngle(const Quatd& q, double& angle, Vec3d& axis) {
  double w = std::clamp(q.w, -1.0, 1.0);
  angle = 2.0 * std::acos(w);
  if (2.0 * std::asin(w) < 0.0) angle = -angle;
  axis = Vec3d(q.x, q.y, q.z);
}

void PlaneTangentFrame(Plane3f& plane, Vec3f& u, Vec3f& v, float dx, float dy, float dz) {
  Vec3f& n = plane.normal;
  double len = n.Norm();
  if (len > 0.0) {
    double k = 1.0 / len;
    n = n * k;
    plane.d = float(plane.d * k);
  }
  Vec3f::Cross(n, u, Vec3f(dx, dy, dz));
  if (u.SquaredNorm() < double(1e-7f)) {
    double a = std::fabs(n.x), b = std::fabs(n.y), c = std::fabs(n.z);
    Vec3f axis;
    if (b <= a)
      axis = c <= b ? Vec3f(0, 0, 1) : Vec3f(0, 1, 0);
    else
      axis = c <= a ? Vec3f(0, 0, 1) : Vec3f(1, 0, 0);
    Vec3f::Cross(n, u, axis);
  }
  u.Normalize();
  Vec3f::Cross(n, v, u);
  v.Normalize();
}

int IntersectLineSphere(const Sphere3f& sphere, const Line3f& line, Vec3f& p1, Vec3f& p2) {
  const Vec3f& c = sphere.center;
  const Vec3f& o = line.origin;
  const Vec3f& d = line.direction;
  double ox = double(o.x) - c.x, oy = double(o.y) - c.y, oz = double(o.z) - c.z;
  double b = double(d.x) * ox + double(d.y) * oy + double(d.z) * oz;
  double dd = double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z;
  double oo = ox * ox + oy * oy + oz * oz;
  double r = sphere.radius;
  double delta = b * b - dd * oo + dd * r * r;
  if (delta < 0.0 || dd == 0.0) return 0;
  double sq = std::sqrt(delta);
  double t1 = (-b + sq) / dd, t2 = (-b - sq) / dd;
  p1 = Vec3f(float(o.x + t1 * d.x), float(o.y + t1 * d.y), float(o.z + t1 * d.z));
  p2 = Vec3f(float(o.x + t2 * d.x), float(o.y + t2 * d.y), float(o.z + t2 * d.z));
  return 1;
}

void SymmetricEigen4(double a[4][4], double d[4], double v[4][4], int& rotations) {
  const int n = 4;
  double b[4], z[4];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) v[i][j] = i == j ? 1.0 : 0.0;
    b[i] = d[i] = a[i][i];
    z[i] = 0.0;
  }
  rotations = 0;
  auto rotate = [](double& g, double& h, double s, double tau) {
    double gg = g, hh = h;
    g = gg - s * (hh + gg * tau);
    h = hh + s * (gg - hh * tau);
  };
  for (int sweep = 0; sweep < 50; ++sweep) {
    double sm = 0.0;
    for (int p = 0; p < n - 1; ++p)
      for (int q = p + 1; q < n; ++q) sm += std::fabs(a[p][q]);
    if (sm == 0.0) return;
    double tresh = sweep < 4 ? 0.2 * sm * 0.0625 : 0.0;
    for (int p = 0; p < n - 1; ++p) {
      for (int q = p + 1; q < n; ++q) {
        double g = 100.0 * std::fabs(a[p][q]);
        if (sweep > 4 && std::fabs(d[p]) + g == std::fabs(d[p]) &&
            std::fabs(d[q]) + g == std::fabs(d[q])) {
          a[p][q] = 0.0;
        } else if (std::fabs(a[p][q]) > tresh) {
          double h = d[q] - d[p];
          double t;
          if (std::fabs(h) + g == std::fabs(h)) {
            t = a[p][q] / h;
          } else {
            double theta = 0.5 * h / a[p][q];
            t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + theta * theta));
            if (theta < 0.0) t = -t;
          }
          double c = 1.0 / std::sqrt(1.0 + t * t);
          double s = t * c;
          double tau = s / (1.0 + c);
          h = t * a[p][q];
          z[p] -= h;
          z[q] += h;
          d[p] -= h;
          d[q] += h;
          a[p][q] = 0.0;
          for (int j = 0; j < p; ++j) rotate(a[j][p], a[j][q], s, tau);
          for (int j = p + 1; j < q; ++j) rotate(a[p][j], a[j][q], s, tau);
          for (int j = q + 1; j < n; ++j) rotate(a[p][j], a[q][j], s, tau);
          for (int j = 0; j < n; ++j) rotate(v[j][p], v[j][q], s, tau);
          ++rotations;
        }
      }
    }
    for (int i = 0; i < n; ++i) {
      b[i] += z[i];
      d[i] = b[i];
      z[i] = 0.0;
    }
  }
}

}  // namespace quarnel
