// Small value types shared by the whole program: float vectors and boxes for
// mesh data, double matrices and quaternions for the camera and trackball.
// Arithmetic on float data is carried out in double and rounded on store.
#pragma once

#include <cmath>

namespace quarnel {

struct Vec3d;

struct Vec3f {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  Vec3f() = default;
  constexpr Vec3f(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }
  const float* data() const { return &x; }
  float* data() { return &x; }

  Vec3f operator+(const Vec3f& o) const {
    return {float(double(x) + o.x), float(double(y) + o.y), float(double(z) + o.z)};
  }
  Vec3f operator-(const Vec3f& o) const {
    return {float(double(x) - o.x), float(double(y) - o.y), float(double(z) - o.z)};
  }
  Vec3f operator*(double s) const { return {float(x * s), float(y * s), float(z * s)}; }
  Vec3f operator-() const { return {-x, -y, -z}; }
  Vec3f& operator+=(const Vec3f& o) { return *this = *this + o; }
  Vec3f& operator-=(const Vec3f& o) { return *this = *this - o; }
  bool operator==(const Vec3f& o) const { return x == o.x && y == o.y && z == o.z; }

  double Norm() const { return std::sqrt(double(x) * x + double(y) * y + double(z) * z); }
  double SquaredNorm() const { return double(x) * x + double(y) * y + double(z) * z; }
  double Dot(const Vec3f& o) const { return double(x) * o.x + double(y) * o.y + double(z) * o.z; }
  // In place; a zero vector stays as it is.
  void Normalize() {
    double n = Norm();
    if (n > 0.0) {
      double k = 1.0 / n;
      x = float(x * k);
      y = float(y * k);
      z = float(z * k);
    }
  }
  Vec3f Normalized() const {
    Vec3f r = *this;
    r.Normalize();
    return r;
  }

  static double Norm(const Vec3f& v) { return v.Norm(); }
  static double Dot(const Vec3f& a, const Vec3f& b) { return a.Dot(b); }
  static void Normalize(Vec3f& v) { v.Normalize(); }
  // out = a x b, computed in double.
  static void Cross(const Vec3f& a, Vec3f& out, const Vec3f& b) {
    double cx = double(a.y) * b.z - double(a.z) * b.y;
    double cy = double(a.z) * b.x - double(a.x) * b.z;
    double cz = double(a.x) * b.y - double(a.y) * b.x;
    out = Vec3f(float(cx), float(cy), float(cz));
  }
};

inline Vec3f Cross(const Vec3f& a, const Vec3f& b) {
  Vec3f r;
  Vec3f::Cross(a, r, b);
  return r;
}
inline double Dot(const Vec3f& a, const Vec3f& b) { return a.Dot(b); }
inline double Distance(const Vec3f& a, const Vec3f& b) { return (a - b).Norm(); }

struct Vec3d {
  double x = 0.0, y = 0.0, z = 0.0;

  Vec3d() = default;
  constexpr Vec3d(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
  explicit Vec3d(const Vec3f& v) : x(v.x), y(v.y), z(v.z) {}

  double& operator[](int i) { return (&x)[i]; }
  double operator[](int i) const { return (&x)[i]; }

  Vec3d operator+(const Vec3d& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3d operator-(const Vec3d& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3d operator*(double s) const { return {x * s, y * s, z * s}; }
  Vec3d& operator+=(const Vec3d& o) { return *this = *this + o; }
  bool operator==(const Vec3d& o) const { return x == o.x && y == o.y && z == o.z; }
  double Norm() const { return std::sqrt(x * x + y * y + z * z); }
  double Dot(const Vec3d& o) const { return x * o.x + y * o.y + z * o.z; }
  Vec3d Cross(const Vec3d& b) const {
    return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x};
  }
  void Normalize() {
    double n = Norm();
    if (n > 0.0) *this = *this * (1.0 / n);
  }
  Vec3f ToFloat() const { return {float(x), float(y), float(z)}; }
};

struct BBox3f {
  Vec3f min{1.0f, 1.0f, 1.0f};
  Vec3f max{-1.0f, -1.0f, -1.0f};

  void SetNull() {
    min = Vec3f(1.0f, 1.0f, 1.0f);
    max = Vec3f(-1.0f, -1.0f, -1.0f);
  }
  bool IsNull() const { return min.x > max.x || min.y > max.y || min.z > max.z; }
  void Add(const Vec3f& p) {
    if (IsNull()) {
      min = max = p;
      return;
    }
    for (int i = 0; i < 3; ++i) {
      if (min[i] > p[i]) min[i] = p[i];
      if (max[i] < p[i]) max[i] = p[i];
    }
  }
  // A null box gives sqrt(12), as its corners stand.
  double Diag() const { return (max - min).Norm(); }
  Vec3f Center() const {
    return {float((double(min.x) + max.x) * 0.5), float((double(min.y) + max.y) * 0.5),
            float((double(min.z) + max.z) * 0.5)};
  }
  Vec3f Dim() const { return max - min; }
};

// The plane n.p = d.
struct Plane3f {
  Vec3f normal;
  float d = 0.0f;
};

// p's signed distance scaled by |n|: a x + b y + c z - d.
inline double SignedDistance(const Vec3f& p, const Plane3f& pl) {
  return double(pl.normal.x) * p.x + double(pl.normal.y) * p.y + double(pl.normal.z) * p.z -
         double(pl.d);
}

// N = (p1 - p0) x (p2 - p0), made unit length unless it is zero.
inline void TriangleUnitNormal(Vec3f& out, const Vec3f& p0, const Vec3f& p1, const Vec3f& p2) {
  Vec3f::Cross(p1 - p0, out, p2 - p0);
  out.Normalize();
}

// Twice the area of a face, for every face record type.
template <class Face>
double DoubleArea(const Face& f) {
  Vec3f n;
  Vec3f::Cross(f.v[1]->position - f.v[0]->position, n, f.v[2]->position - f.v[0]->position);
  return n.Norm();
}

// Nine doubles, row by row: element 3r + c is row r, column c.
struct Mat3d {
  double m[9] = {};
  double& operator()(int r, int c) { return m[3 * r + c]; }
  double operator()(int r, int c) const { return m[3 * r + c]; }
};

// Sixteen doubles. The viewer keeps them in OpenGL order (element 4c + r is
// row r, column c, the translation in elements 12-14); each function below
// states the element formula it uses.
struct Mat4d {
  double m[16] = {};

  double& operator[](int i) { return m[i]; }
  double operator[](int i) const { return m[i]; }

  static void Assign(Mat4d& dst, const Mat4d& src) { dst = src; }
  static Mat4d Identity() {
    Mat4d r;
    r.SetIdentity();
    return r;
  }
  void SetIdentity();
  void SetScale(double s);
  void GetMat3d(Mat3d& out) const;
  void SetUpper3x3(const double nine[9]);
  // out element 4i + j = sum_k a(4i + k) b(4k + j); out must not alias a or b.
  static void Mul(const Mat4d& a, Mat4d& out, const Mat4d& b);
  // The same through a temporary, so out may alias a or b.
  static void Multiplied(const Mat4d& a, Mat4d& out, const Mat4d& b);
  Mat4d operator*(const Mat4d& b) const {
    Mat4d r;
    Mul(*this, r, b);
    return r;
  }
  // In place; a matrix whose determinant is exactly 0 becomes the identity.
  Mat4d& Invert();
  static void Inverted(const Mat4d& src, Mat4d& out) {
    out = src;
    out.Invert();
  }
  // A copy inverted as Invert() does it (the identity for a singular matrix).
  Mat4d Inverse() const { return Mat4d(*this).Invert(); }
  // Rows and columns swapped: element 4r + c of the result is element 4c + r.
  Mat4d Transposed() const;
  // Column (OpenGL) reading, divided by w unless w is exactly 0.
  static void TransformPoint(const Mat4d& m, Vec3d& out, const Vec3d& p);
  static Vec3d TransformedPoint(const Mat4d& m, Vec3d& out, const Vec3d& p) {
    TransformPoint(m, out, p);
    return out;
  }
  Vec3d TransformPoint(const Vec3d& p) const {
    Vec3d r;
    TransformPoint(*this, r, p);
    return r;
  }
  // Row reading, divided by w unless w is exactly 0.
  static void TransformPointRowMajor(const Mat4d& m, Vec3d& out, const Vec3d& p);
  // The rotation matrix of glRotated: angle in degrees.
  void SetRotate(double angleDeg, double ax, double ay, double az);
  double UniformScale() const;
};

// A scale factor a matrix may be divided by: a collapsed (zero) or non-finite
// scale would fill the result with NaN, so callers leave the matrix alone.
inline bool UsableScale(double s) { return std::isfinite(s) && s != 0.0; }

struct Mat4f {
  float m[16] = {};
  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
  static void TransformPoint(const Mat4f& m, Vec3f& out, const Vec3f& p);
};

// w, x, y, z: w is the scalar part.
struct Quatd {
  double w = 1.0, x = 0.0, y = 0.0, z = 0.0;

  Quatd() = default;
  constexpr Quatd(double aw, double ax, double ay, double az) : w(aw), x(ax), y(ay), z(az) {}

  void Normalize();
  // No sign flip towards the shorter arc: interpolation follows the two
  // quaternions as they are given.
  static Quatd Slerp(const Quatd& a, const Quatd& b, double t);
  static Quatd FromMat3d(const Mat3d& m);
  static void ToMat3d(const Quatd& q, Mat3d& out);
  // Angle in radians; the axis is (x, y, z) as it stands.
  static void ToAxisAngle(const Quatd& q, double& angle, Vec3d& axis);
};

// Makes the plane's normal unit length and returns two unit vectors u, v
// spanning it, u perpendicular to (dx, dy, dz) where that is possible.
void PlaneTangentFrame(Plane3f& plane, Vec3f& u, Vec3f& v, float dx, float dy, float dz);

struct Sphere3f {
  Vec3f center;
  float radius = 0.0f;
};

struct Line3f {
  Vec3f origin;
  Vec3f direction;
};

// 1 with both intersection points when the line meets the sphere, else 0.
int IntersectLineSphere(const Sphere3f& sphere, const Line3f& line, Vec3f& p1, Vec3f& p2);

// Cyclic Jacobi eigen-solver for a symmetric 4x4 matrix (row order; a is
// changed). Eigenvalues in d, eigenvector of d[i] in column i of v.
void SymmetricEigen4(double a[4][4], double d[4], double v[4][4], int& rotations);

namespace detail {
inline double Area2(double px, double py, double qx, double qy, double rx, double ry) {
  return px * (qy - ry) + qx * (ry - py) + rx * (py - qy);
}
}  // namespace detail

// Barycentric coordinates of p in the face, from the first of the (x, y),
// (x, z), (y, z) projections in which the triangle is not degenerate.
// Returns 0, writing nothing, when all three are.
template <class Face>
int FaceBarycentric(const Face& f, const Vec3f& p, float& b0, float& b1, float& b2) {
  const Vec3f& a = f.v[0]->position;
  const Vec3f& b = f.v[1]->position;
  const Vec3f& c = f.v[2]->position;
  const double eps = double(1e-6f);
  for (int proj = 0; proj < 3; ++proj) {
    int i = proj == 2 ? 1 : 0;
    int j = proj == 0 ? 1 : 2;
    double det = detail::Area2(a[i], a[j], b[i], b[j], c[i], c[j]);
    if (std::fabs(det) >= eps) {
      b0 = float(detail::Area2(p[i], p[j], b[i], b[j], c[i], c[j]) / det);
      b1 = float(detail::Area2(a[i], a[j], p[i], p[j], c[i], c[j]) / det);
      b2 = float(detail::Area2(a[i], a[j], b[i], b[j], p[i], p[j]) / det);
      return 1;
    }
  }
  return 0;
}

}  // namespace quarnel
