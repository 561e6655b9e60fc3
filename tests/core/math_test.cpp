#include "core/math.h"

#include <gtest/gtest.h>

#include <cmath>

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
