#include "core/normals.h"

#include <gtest/gtest.h>

#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

template <class M>
class NormalsAllTypes : public ::testing::Test {};
using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(NormalsAllTypes, MeshTypes);

TYPED_TEST(NormalsAllTypes, CubeAreaBoxAndNormals) {
  TypeParam m = Cube<TypeParam>();
  EXPECT_DOUBLE_EQ(SurfaceArea(m), 6.0);
  UpdateBoundingBox(m);
  EXPECT_EQ(m.bbox.min, Vec3f(0, 0, 0));
  EXPECT_EQ(m.bbox.max, Vec3f(1, 1, 1));
  ComputeFaceNormals(m, false);
  EXPECT_EQ(m.faces[0].normal, Vec3f(0, 0, -1));  // twice the area of a half square
  ComputeVertexNormals(m, true);
  const float k = float(1.0 / std::sqrt(3.0));
  // Corner 7 (1,1,1) sums 2 faces on each of its three sides.
  EXPECT_NEAR(m.vertices[7].normal.x, k, 1e-6);
  EXPECT_NEAR(m.vertices[7].normal.y, k, 1e-6);
  EXPECT_NEAR(m.vertices[7].normal.z, k, 1e-6);
}

TYPED_TEST(NormalsAllTypes, TetrahedronNormalsAndDeletedRecords) {
  TypeParam m = Tetrahedron<TypeParam>();
  m.vertices[0].normal = Vec3f(9, 9, 9);
  m.vertices[0].flags = ElemFlag::Excluded;
  ComputeFaceNormals(m, true);
  EXPECT_EQ(m.faces[3].normal, Vec3f(1, 1, 1).Normalized());
  ComputeVertexNormals(m, false);
  EXPECT_EQ(m.vertices[0].normal, Vec3f(9, 9, 9));  // excluded: neither zeroed nor summed
  // Vertex 3 at (0,0,1): unit normals of faces 1, 2, 3.
  Vec3f expect = Vec3f(0, -1, 0) + Vec3f(-1, 0, 0) + Vec3f(1, 1, 1).Normalized();
  EXPECT_NEAR(m.vertices[3].normal.x, expect.x, 1e-6);
  EXPECT_NEAR(m.vertices[3].normal.z, expect.z, 1e-6);
  for (auto& v : m.vertices) v.flags |= ElemFlag::Deleted;
  UpdateBoundingBox(m);
  EXPECT_EQ(m.bbox.min, Vec3f(1, 1, 1));
  EXPECT_EQ(m.bbox.max, Vec3f(-1, -1, -1));
  m.faces[0].flags |= ElemFlag::Deleted;
  Vec3f before = m.faces[0].normal;
  ComputeFaceNormals(m, false);
  EXPECT_EQ(m.faces[0].normal, before);
}

TEST(Normals, AreaWeightedVertexNormal) {
  Soup s;
  s.points = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 1}};
  s.tris = {{0, 1, 2}, {0, 3, 1}};  // areas 2 (normal +z) and 1 (normal +y)
  MeshT3 m = Build<MeshT3>(s);
  ComputeFaceNormals(m, false);
  ComputeVertexNormals(m, false);
  EXPECT_EQ(m.vertices[0].normal, Vec3f(0, 2, 4));
  Soup t;
  t.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  t.tris = {{0, 1, 2}};
  EXPECT_DOUBLE_EQ(SurfaceArea(Build<MeshT1>(t)), 0.5);
}

namespace {
uint32_t BorderBits(const MeshT5& m, size_t f) { return m.faces[f].flags & ElemFlag::BorderAll; }

int CountBorderEdges(const MeshT5& m) {
  int n = 0;
  for (auto& f : m.faces)
    if (IsLive(f.flags))
      for (int z = 0; z < 3; ++z) n += (f.flags & ElemFlag::Border(z)) != 0;
  return n;
}

void ClearBorders(MeshT5& m) {
  for (auto& f : m.faces) f.flags &= ~ElemFlag::BorderAll;
}
}  // namespace

TEST(Border, ClosedCubeHasNoBorderAndDeletedFaceGivesThree) {
  MeshT5 cube = Cube<MeshT5>();
  BuildFaceFaceAdjacency(cube);
  FaceBorderFromFF(cube);
  EXPECT_EQ(CountBorderEdges(cube), 0);

  MeshT5 m = CubeWithDeletedFace<MeshT5>(4);
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  std::vector<uint32_t> ff;
  for (size_t i = 0; i < m.faces.size(); ++i) ff.push_back(BorderBits(m, i));
  EXPECT_EQ(CountBorderEdges(m), 3);

  ClearBorders(m);
  BuildVertexFaceAdjacency(m);
  FaceBorderFromVF(m);
  for (size_t i = 0; i < m.faces.size(); ++i)
    if (IsLive(m.faces[i].flags)) {
      EXPECT_EQ(BorderBits(m, i), ff[i]) << i;
    }

  FaceBorderFromEdgeList(m);
  for (size_t i = 0; i < m.faces.size(); ++i)
    if (IsLive(m.faces[i].flags)) {
      EXPECT_EQ(BorderBits(m, i), ff[i]) << i;
    }

  MeshT4 m4 = CubeWithDeletedFace<MeshT4>(4);
  FaceBorderFromEdgeList(m4);
  for (size_t i = 0; i < m4.faces.size(); ++i)
    if (IsLive(m4.faces[i].flags)) {
      EXPECT_EQ(m4.faces[i].flags & ElemFlag::BorderAll, ff[i]);
    }
}

TEST(Border, SingleTriangleAndOddEvenFans) {
  Soup s;
  s.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  s.tris = {{0, 1, 2}};
  MeshT5 one = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(one);
  FaceBorderFromFF(one);
  EXPECT_EQ(BorderBits(one, 0), ElemFlag::BorderAll);
  ClearBorders(one);
  BuildVertexFaceAdjacency(one);
  FaceBorderFromVF(one);
  EXPECT_EQ(BorderBits(one, 0), ElemFlag::BorderAll);

  // Three faces on edge 0-1: both list methods mark it; four: only the edge list.
  s.tris = {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}};
  MeshT5 three = Build<MeshT5>(s);
  FaceBorderFromEdgeList(three);
  for (int f = 0; f < 3; ++f) EXPECT_TRUE(three.faces[size_t(f)].flags & ElemFlag::Border0);
  ClearBorders(three);
  BuildVertexFaceAdjacency(three);
  FaceBorderFromVF(three);
  for (int f = 0; f < 3; ++f) EXPECT_TRUE(three.faces[size_t(f)].flags & ElemFlag::Border0);
  ClearBorders(three);
  BuildFaceFaceAdjacency(three);
  FaceBorderFromFF(three);
  int nonManifold = 0;
  for (auto& f : three.faces) nonManifold += (f.flags & ElemFlag::NonManifold0) != 0;
  EXPECT_GE(nonManifold, 1);

  s.tris.push_back({1, 0, 5});
  MeshT5 four = Build<MeshT5>(s);
  FaceBorderFromEdgeList(four);
  for (int f = 0; f < 4; ++f) EXPECT_TRUE(four.faces[size_t(f)].flags & ElemFlag::Border0);
  ClearBorders(four);
  BuildVertexFaceAdjacency(four);
  FaceBorderFromVF(four);
  for (int f = 0; f < 4; ++f) EXPECT_FALSE(four.faces[size_t(f)].flags & ElemFlag::Border0);
}
