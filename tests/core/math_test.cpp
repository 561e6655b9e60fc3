#include "core/math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace quarnel;

TEST(Vec3f, NormalizeLeavesZeroAndScalesOthers) {
  Vec3f z(0, 0, 0);
  z.Normalize();
  EXPECT_EQ(z, Vec3f(0, 0, 0));
  Vec3f v(3, 0, 4);
  v.Normalize();
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.y, 0.0f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
  EXPECT_DOUBLE_EQ(Distance(Vec3f(1, 2, 3), Vec3f(1, 2, 5)), 2.0);
  EXPECT_EQ(Cross(Vec3f(1, 0, 0), Vec3f(0, 1, 0)), Vec3f(0, 0, 1));
}

TEST(BBox3f, AddGrowsFromNullBox) {
  BBox3f b;
  b.SetNull();
  EXPECT_TRUE(b.IsNull());
  EXPECT_DOUBLE_EQ(b.Diag(), std::sqrt(12.0));
  b.Add(Vec3f(2, 3, 4));
  EXPECT_EQ(b.min, Vec3f(2, 3, 4));
  EXPECT_EQ(b.max, Vec3f(2, 3, 4));
  b.Add(Vec3f(1, 5, 4));
  EXPECT_EQ(b.min, Vec3f(1, 3, 4));
  EXPECT_EQ(b.max, Vec3f(2, 5, 4));
  EXPECT_EQ(b.Center(), Vec3f(1.5f, 4, 4));
}

TEST(Mat4d, InvertSingularGivesIdentityAndRegularRoundTrips) {
  Mat4d m;
  m.SetIdentity();
  m[1] = 2;
  m[4] = 0;
  for (int c = 0; c < 4; ++c) m[4 * 2 + c] = 0;  // a zero row
  m.Invert();
  Mat4d id;
  id.SetIdentity();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], id[i]);

  Mat4d r;
  r.SetRotate(30, 1, 2, 3);
  r[12] = 5;
  r[13] = -2;
  r[14] = 1;
  Mat4d inv, prod;
  Mat4d::Inverted(r, inv);
  Mat4d::Mul(r, prod, inv);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(prod[i], id[i], 1e-12);
  Mat4d::Multiplied(r, r, inv);  // aliasing is allowed here
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(r[i], id[i], 1e-12);
}

TEST(Mat4d, RotationMatchesHandComputedMatrix) {
  Mat4d m;
  m.SetRotate(90, 0, 0, 2);
  EXPECT_NEAR(m[0], 0.0, 1e-15);
  EXPECT_NEAR(m[1], 1.0, 1e-15);
  EXPECT_NEAR(m[4], -1.0, 1e-15);
  EXPECT_NEAR(m[5], 0.0, 1e-15);
  EXPECT_EQ(m[10], 1.0);
  EXPECT_EQ(m[15], 1.0);
  // A point on x turns to y; the column reading carries the translation.
  m[12] = 10;
  Vec3d p = m.TransformPoint(Vec3d(1, 0, 0));
  EXPECT_NEAR(p.x, 10.0, 1e-12);
  EXPECT_NEAR(p.y, 1.0, 1e-12);
  Vec3d q;
  Mat4d::TransformPointRowMajor(m, q, Vec3d(1, 0, 0));
  EXPECT_NEAR(q.y, -1.0 / 11.0, 1e-12);  // transposed: turns the other way, w = 11
  Mat4d s;
  s.SetScale(8);
  EXPECT_NEAR(s.UniformScale(), 8.0, 1e-12);

  // A general axis, all nine elements: column c is the image of the unit
  // vector e_c, e cos t + (k x e) sin t + k (k . e)(1 - cos t) for the unit
  // axis k.
  const double t = 50.0 * 3.141592653589793 / 180.0;
  const Vec3d k = Vec3d(2, -3, 6) * (1.0 / 7.0);
  Mat4d r;
  r.SetRotate(50, 2, -3, 6);
  for (int c = 0; c < 3; ++c) {
    const Vec3d e(c == 0, c == 1, c == 2);
    const Vec3d image =
        e * std::cos(t) + k.Cross(e) * std::sin(t) + k * (k.Dot(e) * (1 - std::cos(t)));
    EXPECT_NEAR(r[4 * c + 0], image.x, 1e-15) << "column " << c;
    EXPECT_NEAR(r[4 * c + 1], image.y, 1e-15) << "column " << c;
    EXPECT_NEAR(r[4 * c + 2], image.z, 1e-15) << "column " << c;
    EXPECT_EQ(r[4 * c + 3], 0.0);
    EXPECT_EQ(r[12 + c], 0.0);
  }
  EXPECT_EQ(r[15], 1.0);
}

TEST(Mat4d, PointTransformDividesByW) {
  Mat4d m;
  m.SetIdentity();
  m[15] = 2;
  Vec3d p = m.TransformPoint(Vec3d(2, 4, 6));
  EXPECT_EQ(p, Vec3d(1, 2, 3));
  m[15] = 0;  // w = 0: returned undivided
  p = m.TransformPoint(Vec3d(2, 4, 6));
  EXPECT_EQ(p, Vec3d(2, 4, 6));
}

TEST(Quatd, FromAndToMatrixOf180AboutY) {
  Mat3d m;
  m(0, 0) = -1;
  m(1, 1) = 1;
  m(2, 2) = -1;
  Quatd q = Quatd::FromMat3d(m);
  EXPECT_NEAR(q.w, 0, 1e-15);
  EXPECT_NEAR(q.x, 0, 1e-15);
  EXPECT_NEAR(q.y, 1, 1e-15);
  EXPECT_NEAR(q.z, 0, 1e-15);
  Mat3d back;
  Quatd::ToMat3d(q, back);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(back.m[i], m.m[i], 1e-15);
}

namespace {

// The rotation of SetRotate read as rows (the OpenGL-order matrix read as
// rows is its transpose, which is again a rotation).
Mat3d RotationRows(double degrees, double x, double y, double z) {
  Mat4d r;
  r.SetRotate(degrees, x, y, z);
  Mat3d rows;
  r.GetMat3d(rows);
  return rows;
}

// Largest element difference of m and the matrix of its quaternion, which
// must be of unit length.
double RoundTripError(const Mat3d& m) {
  const Quatd q = Quatd::FromMat3d(m);
  Mat3d back;
  Quatd::ToMat3d(q, back);
  double worst = std::fabs(std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z) - 1.0);
  for (int i = 0; i < 9; ++i)
    worst = std::max(worst, std::fabs(back.m[i] - m.m[i]));
  return worst;
}

}  // namespace

TEST(Quatd, FromMatrixNearHalfTurnsAndPresetsRoundTrips) {
  // Each branch: the largest of w, x, y, z in turn.
  const Quatd expected[4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  const Mat3d branches[4] = {RotationRows(0, 1, 0, 0), RotationRows(180, 1, 0, 0),
                             RotationRows(180, 0, 1, 0), RotationRows(180, 0, 0, 1)};
  for (int b = 0; b < 4; ++b) {
    const Quatd q = Quatd::FromMat3d(branches[b]);
    const double sign = q.w + q.x + q.y + q.z < 0.0 ? -1.0 : 1.0;
    EXPECT_NEAR(sign * q.w, expected[b].w, 1e-15) << b;
    EXPECT_NEAR(sign * q.x, expected[b].x, 1e-15) << b;
    EXPECT_NEAR(sign * q.y, expected[b].y, 1e-15) << b;
    EXPECT_NEAR(sign * q.z, expected[b].z, 1e-15) << b;
  }

  // Random axes at half a turn and within 1e-6 degree of it: the trace is
  // zero up to rounding.
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 300; ++i) {
    const double x = unit(rng), y = unit(rng), z = unit(rng);
    const double angle = 180.0 + (i % 3 == 0 ? 0.0 : 1e-6 * unit(rng));
    EXPECT_LT(RoundTripError(RotationRows(angle, x, y, z)), 1e-9) << i;
  }

  // The seven camera presets, as the view finds them again in its trackball
  // matrix: scaled by the fit and divided by the cube root of the
  // determinant.
  const double presets[7][4] = {{0, 0, 1, 0},   {0, 0, 1, 0},  {180, 0, 1, 0}, {90, 0, 1, 0},
                                {-90, 0, 1, 0}, {90, 1, 0, 0}, {-90, 1, 0, 0}};
  for (const auto& p : presets)
    for (double scale = 1e-3; scale < 1e3; scale *= 1.37) {
      Mat4d m;
      m.SetRotate(p[0], p[1], p[2], p[3]);
      for (int k = 0; k < 11; ++k)
        if (k % 4 != 3) m[k] *= scale;
      const double s = m.UniformScale();
      Mat3d rows;
      m.GetMat3d(rows);
      for (double& e : rows.m)
        e /= s;
      EXPECT_LT(RoundTripError(rows), 1e-9) << p[0] << " scale " << scale;
    }
}

TEST(Quatd, MatrixRoundTripMatchesRotation) {
  Mat4d r;
  r.SetRotate(73, 0.3, -1, 0.5);
  // The OpenGL-order matrix read as rows is the transposed rotation; compare
  // quaternion-built rows with the column reading.
  Mat3d rows;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) rows(i, j) = r[4 * j + i];
  Quatd q = Quatd::FromMat3d(rows);
  Mat3d back;
  Quatd::ToMat3d(q, back);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(back.m[i], rows.m[i], 1e-12);
  double angle;
  Vec3d axis;
  Quatd::ToAxisAngle(q, angle, axis);
  EXPECT_NEAR(std::fabs(angle), 73 * 3.141592653589793 / 180, 1e-12);
}

TEST(Quatd, SlerpEndsAndNearlyEqualBranch) {
  Quatd a(1, 0, 0, 0);
  Quatd b(std::cos(1.0), std::sin(1.0), 0, 0);
  for (auto& bb : {b, Quatd(std::cos(0.0025), 0, std::sin(0.0025), 0)}) {
    Quatd s0 = Quatd::Slerp(a, bb, 0.0), s1 = Quatd::Slerp(a, bb, 1.0);
    EXPECT_NEAR(s0.w, a.w, 1e-12);
    EXPECT_NEAR(s1.w, bb.w, 1e-12);
    EXPECT_NEAR(s1.x, bb.x, 1e-12);
    EXPECT_NEAR(s1.y, bb.y, 1e-12);
  }
  // Opposite quaternions: the weighted sum is zero and the scalar part takes
  // the nudge; nearly opposite ones with a scalar part: x takes it.
  Quatd half = Quatd::Slerp(Quatd(0, 1, 0, 0), Quatd(0, -1, 0, 0), 0.5);
  EXPECT_EQ(half.w, 1.0);
  EXPECT_EQ(half.x, 0.0);
  Quatd near = Quatd::Slerp(a, Quatd(-std::cos(0.02), 0, std::sin(0.02), 0), 0.5);
  EXPECT_NEAR(near.w * near.w + near.x * near.x + near.y * near.y + near.z * near.z, 1.0, 1e-12);
  EXPECT_GT(near.x, 0.1);
  // A dot product rounded past 1 must not produce NaN.
  Quatd c(1.0000000000000002, 0, 0, 0);
  Quatd m = Quatd::Slerp(c, c, 0.5);
  EXPECT_FALSE(std::isnan(m.w));
  double angle;
  Vec3d axis;
  Quatd::ToAxisAngle(c, angle, axis);
  EXPECT_FALSE(std::isnan(angle));
}

TEST(Geometry, BarycentricFallsThroughProjections) {
  struct V { Vec3f position; };
  struct F { V* v[3]; };
  V a{{0, 0, 0}}, b{{0, 1, 0}}, c{{0, 0, 1}};
  F f{{&a, &b, &c}};
  float b0 = -1, b1 = -1, b2 = -1;
  ASSERT_EQ(FaceBarycentric(f, Vec3f(0, 0.25f, 0.25f), b0, b1, b2), 1);  // plane x = 0
  EXPECT_FLOAT_EQ(b0, 0.5f);
  EXPECT_FLOAT_EQ(b1, 0.25f);
  EXPECT_FLOAT_EQ(b2, 0.25f);
  V d{{1, 1, 1}}, e{{2, 2, 2}}, g{{3, 3, 3}};
  F seg{{&d, &e, &g}};
  b0 = 7;
  EXPECT_EQ(FaceBarycentric(seg, Vec3f(0, 0, 0), b0, b1, b2), 0);
  EXPECT_EQ(b0, 7);
}

TEST(Geometry, LineSphereTangentAndMiss) {
  Sphere3f s{{0, 0, 0}, 1};
  Vec3f p1, p2;
  ASSERT_EQ(IntersectLineSphere(s, Line3f{{-2, 1, 0}, {1, 0, 0}}, p1, p2), 1);
  EXPECT_EQ(p1, p2);
  EXPECT_NEAR(p1.x, 0, 1e-6);
  EXPECT_EQ(IntersectLineSphere(s, Line3f{{-2, 2, 0}, {1, 0, 0}}, p1, p2), 0);
  ASSERT_EQ(IntersectLineSphere(s, Line3f{{-2, 0, 0}, {4, 0, 0}}, p1, p2), 1);
  EXPECT_FLOAT_EQ(p1.x, 1);
  EXPECT_FLOAT_EQ(p2.x, -1);
  // A zero direction defines no line.
  EXPECT_EQ(IntersectLineSphere(s, Line3f{{0, 0, 0}, {0, 0, 0}}, p1, p2), 0);
}

TEST(Geometry, PlaneTangentFrameIsOrthonormal) {
  Plane3f pl{{0, 0, 2}, 4};
  Vec3f u, v;
  PlaneTangentFrame(pl, u, v, 0, 0, 1);  // direction parallel to n: fallback axis
  EXPECT_EQ(pl.normal, Vec3f(0, 0, 1));
  EXPECT_FLOAT_EQ(pl.d, 2);
  EXPECT_NEAR(u.Norm(), 1, 1e-6);
  EXPECT_NEAR(v.Norm(), 1, 1e-6);
  EXPECT_NEAR(u.Dot(v), 0, 1e-6);
  EXPECT_NEAR(u.Dot(pl.normal), 0, 1e-6);
}

TEST(Geometry, SymmetricEigen4) {
  double a[4][4] = {{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 5, 0}, {0, 0, 0, 7}};
  double d[4], v[4][4];
  int rot = -1;
  SymmetricEigen4(a, d, v, rot);
  EXPECT_EQ(rot, 0);
  EXPECT_EQ(d[2], 5);
  EXPECT_EQ(v[3][3], 1);
  double b[4][4] = {{2, 1, 0, 0}, {1, 2, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  SymmetricEigen4(b, d, v, rot);
  double lo = std::min(d[0], d[1]), hi = std::max(d[0], d[1]);
  EXPECT_NEAR(lo, 1, 1e-12);
  EXPECT_NEAR(hi, 3, 1e-12);
  EXPECT_GT(rot, 0);
}
