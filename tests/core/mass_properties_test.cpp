#include "core/mass_properties.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/normals.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

template <class MeshT>
MassProperties Compute(MeshT& m) {
  ComputeFaceNormals(m, true);
  MassProperties mp;
  mp.ComputeVolumeIntegrals(m);
  return mp;
}

template <class MeshT>
void ReverseFaces(MeshT& m) {
  for (auto& f : m.faces)
    std::swap(f.v[1], f.v[2]);
}

}  // namespace

template <class MeshT>
class MassPropertiesAllTypes : public ::testing::Test {};
using AllMeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(MassPropertiesAllTypes, AllMeshTypes);

TYPED_TEST(MassPropertiesAllTypes, UnitCubeVolumeCentreAndTensor) {
  auto m = Cube<TypeParam>();
  MassProperties mp = Compute(m);
  EXPECT_NEAR(mp.T0, 1.0, 1e-12);
  Vec3d c = mp.CenterOfMass();
  EXPECT_NEAR(c.x, 0.5, 1e-12);
  EXPECT_NEAR(c.y, 0.5, 1e-12);
  EXPECT_NEAR(c.z, 0.5, 1e-12);

  float j[9];
  mp.InertiaTensor3(j);
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(j[3 * r + k], r == k ? 1.0 / 6.0 : 0.0, 1e-6);

  float j4[16];
  mp.InertiaTensor4(j4);
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) {
      double expect = r == k ? (r == 3 ? 1.0 : 1.0 / 6.0) : 0.0;
      EXPECT_NEAR(j4[4 * r + k], expect, 1e-6) << r << "," << k;
    }

  float axes[16], moments[4];
  mp.PrincipalAxes(axes, moments);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(moments[i], 1.0 / 6.0, 1e-6);
  EXPECT_NEAR(moments[3], 1.0, 1e-6);
  EXPECT_NEAR(std::fabs(axes[15]), 1.0, 1e-6);
}

TYPED_TEST(MassPropertiesAllTypes, ReversedCubeHasNegativeVolume) {
  auto m = Cube<TypeParam>();
  ReverseFaces(m);
  EXPECT_NEAR(Compute(m).T0, -1.0, 1e-12);
}

TEST(MassProperties, TetrahedronVolumeAndCentre) {
  auto m = Tetrahedron<MeshT5>();
  MassProperties mp = Compute(m);
  EXPECT_NEAR(mp.T0, 1.0 / 6.0, 1e-12);
  Vec3d c = mp.CenterOfMass();
  EXPECT_NEAR(c.x, 0.25, 1e-12);
  EXPECT_NEAR(c.y, 0.25, 1e-12);
  EXPECT_NEAR(c.z, 0.25, 1e-12);
}

TEST(MassProperties, ShiftedScaledCubeAndIcosphere) {
  auto m = Build<MeshT3>(CubeSoup(2.0f, {1, -3, 5}));
  MassProperties mp = Compute(m);
  EXPECT_NEAR(mp.T0, 8.0, 1e-9);
  Vec3d c = mp.CenterOfMass();
  EXPECT_NEAR(c.x, 2.0, 1e-9);
  EXPECT_NEAR(c.y, -2.0, 1e-9);
  EXPECT_NEAR(c.z, 6.0, 1e-9);
  float j[9];
  mp.InertiaTensor3(j);
  // A cube of side s and mass s^3: s^5 / 6 about its centre.
  EXPECT_NEAR(j[0], 32.0 / 6.0, 1e-4);
  EXPECT_NEAR(j[1], 0.0, 1e-4);

  // A fine sphere approaches 4/3 pi r^3 from below.
  auto s = Icosphere<MeshT1>(4, 2.0f);
  double v = Compute(s).T0;
  EXPECT_LT(v, 4.0 / 3.0 * std::numbers::pi * 8.0);
  EXPECT_GT(v, 0.99 * 4.0 / 3.0 * std::numbers::pi * 8.0);
}

TEST(MassProperties, DeletedFacesDoNotCount) {
  // Face 10 lies in x = 1: with it gone the x = 1 side closes only half.
  auto m = CubeWithDeletedFace<MeshT5>(10);
  double v = Compute(m).T0;
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_GT(std::fabs(v - 1.0), 1e-3);
}

TEST(MassProperties, ZeroAreaFacesAreSkippedAndKeepTheSumsFinite) {
  auto m = Cube<MeshT5>();
  // A degenerate face on three collinear points, and one on a repeated
  // corner: both have a zero normal.
  m.AddVertices(1);
  m.vertices.back().position = Vec3f(0.5f, 0.0f, 0.0f);
  FaceT5* f = m.AddFaces(2);
  f[0].v[0] = &m.vertices[0];
  f[0].v[1] = &m.vertices.back();
  f[0].v[2] = &m.vertices[1];
  f[1].v[0] = &m.vertices[2];
  f[1].v[1] = &m.vertices[2];
  f[1].v[2] = &m.vertices[3];
  MassProperties mp = Compute(m);
  EXPECT_NEAR(mp.T0, 1.0, 1e-12);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::isfinite(mp.T1[i]));
    EXPECT_TRUE(std::isfinite(mp.T2[i]));
    EXPECT_TRUE(std::isfinite(mp.TP[i]));
  }
}

TEST(MassProperties, EmptyMeshGivesZeroVolumeAndFiniteTensor) {
  MeshT1 m;
  MassProperties mp = Compute(m);
  EXPECT_EQ(mp.T0, 0.0);
  Vec3d c = mp.CenterOfMass();
  EXPECT_EQ(c, Vec3d(0, 0, 0));
  float j[9];
  mp.InertiaTensor3(j);
  for (float x : j)
    EXPECT_TRUE(std::isfinite(x));
}
