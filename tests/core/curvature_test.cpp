#include "core/curvature.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

TEST(GaussianCurvature, IcosphereMedianIsOneOverRadiusSquared) {
  auto m = Icosphere<MeshT5>(4, 10.0f);
  GaussianCurvature(m);
  std::vector<float> k;
  for (auto& v : m.vertices)
    k.push_back(v.quality);
  std::nth_element(k.begin(), k.begin() + long(k.size() / 2), k.end());
  EXPECT_NEAR(k[k.size() / 2], 0.01, 0.001);
}

TEST(GaussianCurvature, FlatInteriorAndStraightBorderAreZero) {
  auto m = Grid<MeshT5>(4);
  GaussianCurvature(m);
  for (int j = 0; j <= 4; ++j)
    for (int i = 0; i <= 4; ++i) {
      const bool corner = (i == 0 || i == 4) && (j == 0 || j == 4);
      if (corner) continue;
      EXPECT_NEAR(m.vertices[size_t(j * 5 + i)].quality, 0.0, 1e-6) << i << "," << j;
    }
}

TEST(GaussianCurvature, BuildsItsOwnAdjacencyWhateverTheSlotsHold) {
  auto a = Icosphere<MeshT5>(2, 10.0f);
  auto b = a;
  BuildVertexFaceAdjacency(b);  // what the geodesic distance leaves behind
  for (auto& f : b.faces)
    f.flags |= ElemFlag::BorderAll;
  GaussianCurvature(a);
  GaussianCurvature(b);
  for (size_t i = 0; i < a.vertices.size(); ++i)
    EXPECT_EQ(a.vertices[i].quality, b.vertices[i].quality);
  for (auto& f : b.faces)
    EXPECT_EQ(f.flags & ElemFlag::BorderAll, 0u);
}

TEST(GaussianCurvature, ClampsConesAndUnusedVertices) {
  // A sharp cone: apex far above a small hexagon.
  Soup s;
  s.points.push_back({0, 0, 10});
  for (int i = 0; i < 6; ++i) {
    double t = i * std::numbers::pi / 3;
    s.points.push_back({float(std::cos(t)), float(std::sin(t)), 0});
  }
  for (int i = 0; i < 6; ++i)
    s.tris.push_back({0, 1 + i, 1 + (i + 1) % 6});
  s.points.push_back({4, 4, 4});  // used by no face
  s.points.push_back({5, 5, 5});  // deleted
  auto m = Build<MeshT5>(s);
  m.vertices[8].flags |= ElemFlag::Deleted;
  m.vertices[8].quality = 42.0f;
  GaussianCurvature(m);
  EXPECT_FLOAT_EQ(m.vertices[0].quality, 0.05f);
  EXPECT_FLOAT_EQ(m.vertices[7].quality, 0.05f);
  EXPECT_EQ(m.vertices[8].quality, 42.0f);
}

TEST(GaussianCurvature, DegenerateFacesGiveFiniteValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  Soup s = GridSoup(3);
  s.points.push_back({1, 1, 0});    // at the place of vertex 5
  s.points.push_back({nan, 0, 0});  // NaN vertex
  s.tris.push_back({5, 6, 5});      // repeated corner
  s.tris.push_back({5, 16, 6});     // zero-length edge 5-16
  s.tris.push_back({0, 1, 2});      // collinear: zero area
  s.tris.push_back({17, 1, 2});     // NaN corner
  s.tris.push_back({0, 1, 5});      // third face on edge 0-1
  auto m = Build<MeshT5>(s);
  GaussianCurvature(m);
  for (auto& v : m.vertices) {
    EXPECT_FALSE(std::isnan(v.quality));
    EXPECT_LE(std::fabs(v.quality), 0.05f);
  }
}

TEST(SmoothVertexQuality, ConstantFieldStaysAndIsolatedVertexKeepsItsValue) {
  auto m = Grid<MeshT5>(4);
  m.AddVertices(1);
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  for (auto& v : m.vertices)
    v.quality = 3.5f;
  m.vertices.back().quality = -8.0f;
  const uint32_t flagsBefore = m.vertices[3].flags |= ElemFlag::Selected;
  SmoothVertexQuality(m, 1, false);
  for (size_t i = 0; i + 1 < m.vertices.size(); ++i)
    EXPECT_FLOAT_EQ(m.vertices[i].quality, 3.5f);
  EXPECT_EQ(m.vertices.back().quality, -8.0f);
  EXPECT_EQ(m.vertices[3].flags, flagsBefore);  // flags restored
}

TEST(SmoothVertexQuality, AveragesNeighboursBorderAlongBorderAndSelectedOnly) {
  auto m = Grid<MeshT5>(2);
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  for (auto& v : m.vertices)
    v.quality = 0.0f;
  m.vertices[4].quality = 6.0f;  // the centre
  m.vertices[1].quality = 2.0f;  // bottom middle, on the border
  auto a = m;
  SmoothVertexQuality(a, 1, false);
  // The centre's six edge neighbours: 0, 1, 3, 5, 7, 8 (each counted twice).
  EXPECT_FLOAT_EQ(a.vertices[4].quality, 2.0f / 6.0f);
  // Border vertex 1 averages its border neighbours 0 and 2 only.
  EXPECT_FLOAT_EQ(a.vertices[1].quality, 0.0f);
  // Corner 0 averages border neighbours 1 and 3.
  EXPECT_FLOAT_EQ(a.vertices[0].quality, 1.0f);

  auto b = m;
  b.vertices[0].flags |= ElemFlag::Selected;
  SmoothVertexQuality(b, 1, true);
  EXPECT_FLOAT_EQ(b.vertices[0].quality, 1.0f);
  EXPECT_FLOAT_EQ(b.vertices[4].quality, 6.0f);
  EXPECT_EQ(b.vertices[0].flags, ElemFlag::Selected);

  auto c = m;
  SmoothVertexQuality(c, 0, false);
  SmoothVertexQuality(c, -1, false);
  EXPECT_FLOAT_EQ(c.vertices[4].quality, 6.0f);
}
