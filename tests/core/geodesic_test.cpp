#include "core/geodesic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "clip_checks.h"
#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

TEST(GeodesicDistanceFromBorder, GridDistanceIsStepsToTheNearestSide) {
  auto m = WithBox(Grid<MeshT5>(10));  // 11 x 11 vertices, unit spacing
  GeodesicDistanceFromBorder(m, false);
  for (int j = 0; j <= 10; ++j)
    for (int i = 0; i <= 10; ++i)
      EXPECT_FLOAT_EQ(m.vertices[size_t(j * 11 + i)].quality,
                      float(std::min({i, j, 10 - i, 10 - j})))
          << i << "," << j;
  EXPECT_FLOAT_EQ(m.vertices[60].quality, 5.0f);
}

TEST(GeodesicDistanceFromBorder, ClosedMeshIsZeroAndFaceQualityIsTheMean) {
  auto m = WithBox(Icosphere<MeshT5>(2, 3.0f));
  for (auto& v : m.vertices)
    v.quality = 7.0f;
  GeodesicDistanceFromBorder(m, true);
  for (auto& v : m.vertices)
    EXPECT_EQ(v.quality, 0.0f);
  for (auto& f : m.faces)
    EXPECT_EQ(f.quality, 0.0f);

  auto g = WithBox(Grid<MeshT5>(4));
  GeodesicDistanceFromBorder(g, true);
  for (auto& f : g.faces)
    EXPECT_FLOAT_EQ(f.quality, (f.v[0]->quality + f.v[1]->quality + f.v[2]->quality) / 3.0f);
}

TEST(GeodesicDistanceFromBorder, UnreachableAndDeletedVerticesGetZero) {
  // A grid, plus a closed tetrahedron apart from it, plus a deleted vertex.
  Soup s = GridSoup(4);
  Soup t = TetrahedronSoup();
  const int base = int(s.points.size());
  for (auto p : t.points)
    s.points.push_back(p + Vec3f(10, 10, 10));
  for (auto tr : t.tris)
    s.tris.push_back({tr[0] + base, tr[1] + base, tr[2] + base});
  s.points.push_back({50, 50, 50});
  auto m = WithBox(Build<MeshT5>(s));
  m.vertices.back().flags |= ElemFlag::Deleted;
  m.vertexCount--;
  GeodesicDistanceFromBorder(m, false);
  EXPECT_FLOAT_EQ(m.vertices[12].quality, 2.0f);  // centre of the 5x5 grid
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(m.vertices[size_t(base + i)].quality, 0.0f);
  EXPECT_EQ(m.vertices.back().quality, 0.0f);
  // It leaves vertex-face lists behind: the centre's list is not empty.
  EXPECT_NE(m.vertices[12].vfFace, nullptr);
}

TEST(GeodesicDistanceFromBorder, TakesTheShortestPathAndLeavesNearTies) {
  // A fan around an interior vertex c at the origin: one rim vertex is near
  // (0.5 away), the others 2 away.
  Soup s;
  s.points = {{0, 0, 0}, {0.5f, 0, 0}, {0, 2, 0}, {-2, 0, 0}, {0, -2, 0}};
  s.tris = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}};
  auto m = WithBox(Build<MeshT5>(s));
  GeodesicDistanceFromBorder(m, false);
  EXPECT_FLOAT_EQ(m.vertices[0].quality, 0.5f);
  for (int i = 1; i < 5; ++i)
    EXPECT_EQ(m.vertices[size_t(i)].quality, 0.0f);
}
