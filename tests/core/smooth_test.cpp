#include "core/smooth.h"

#include <gtest/gtest.h>

#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

MeshT5 BorderedGrid(int n) {
  auto m = Grid<MeshT5>(n);
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  return m;
}

}  // namespace

TEST(SmoothVertices, FlatGridStaysAndLiftedVertexFallsBack) {
  auto m = BorderedGrid(4);
  auto before = m;
  SmoothVertices(m, 1, false);
  // Everything but the four corners stays: interior vertices sit at their
  // neighbours' average, border vertices on a straight border too.
  for (int j = 0; j <= 4; ++j)
    for (int i = 0; i <= 4; ++i) {
      const size_t k = size_t(j * 5 + i);
      const bool corner = (i == 0 || i == 4) && (j == 0 || j == 4);
      EXPECT_EQ(m.vertices[k].position == before.vertices[k].position, !corner) << i << "," << j;
    }
  EXPECT_EQ(m.vertices[0].position, Vec3f(0.5f, 0.5f, 0.0f));
  m = before;

  // Vertex (2,2) of a 5x5 grid: interior, lifted out of the plane.
  VertexT5& v = m.vertices[12];
  v.position.z = 1.0f;
  SmoothVertices(m, 1, false);
  EXPECT_FLOAT_EQ(v.position.x, 2.0f);
  EXPECT_FLOAT_EQ(v.position.y, 2.0f);
  EXPECT_FLOAT_EQ(v.position.z, 0.0f);
  // Its neighbours were pulled up by the lifted position of the iteration's
  // start.
  EXPECT_GT(m.vertices[13].position.z, 0.0f);
}

TEST(SmoothVertices, BorderVerticesMoveAlongTheBorderOnly) {
  auto m = BorderedGrid(2);
  // Lift the centre: the straight-border vertex (1,0) must not follow it.
  m.vertices[4].position.z = 3.0f;
  // Shift the corner (0,0) off the line: (1,0) averages (0,0) and (2,0).
  m.vertices[0].position = Vec3f(0.0f, -1.0f, 0.0f);
  SmoothVertices(m, 1, false);
  EXPECT_FLOAT_EQ(m.vertices[1].position.x, 1.0f);
  EXPECT_FLOAT_EQ(m.vertices[1].position.y, -0.5f);
  EXPECT_FLOAT_EQ(m.vertices[1].position.z, 0.0f);
}

TEST(SmoothVertices, SelectedOnlyAndUnusedVertices) {
  auto m = BorderedGrid(4);
  m.AddVertices(1);
  m.vertices.back().position = Vec3f(9, 9, 9);  // used by no face
  m.vertices[12].position.z = 1.0f;
  m.vertices[13].flags |= ElemFlag::Selected;
  m.vertices.back().flags |= ElemFlag::Selected;
  SmoothVertices(m, 1, true);
  EXPECT_FLOAT_EQ(m.vertices[12].position.z, 1.0f);  // unselected: stays
  EXPECT_GT(m.vertices[13].position.z, 0.0f);        // uses its position
  EXPECT_EQ(m.vertices.back().position, Vec3f(9, 9, 9));
}

TEST(SmoothVertices, TwoIterationsEqualTwoCallsAndNonPositiveDoNothing) {
  auto a = Build<MeshT5>(IcosphereSoup(2, 1.0f));
  for (size_t i = 0; i < a.vertices.size(); i += 3)
    a.vertices[i].position.x *= 1.3f;
  BuildFaceFaceAdjacency(a);
  FaceBorderFromFF(a);
  auto b = a;
  auto c = a;
  SmoothVertices(a, 2, false);
  SmoothVertices(b, 1, false);
  SmoothVertices(b, 1, false);
  for (size_t i = 0; i < a.vertices.size(); ++i)
    EXPECT_EQ(a.vertices[i].position, b.vertices[i].position);
  const auto original = c;
  SmoothVertices(c, 0, false);
  SmoothVertices(c, -3, false);
  for (size_t i = 0; i < c.vertices.size(); ++i)
    EXPECT_EQ(c.vertices[i].position, original.vertices[i].position);
}

TEST(SmoothVertices, TwoBorderChainsMeetingAtAVertex) {
  // Two triangles touching at vertex 0 only: it has four border edges.
  auto m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}},
                         {{0, 1, 2}, {0, 3, 4}});
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  m.vertices[0].position = Vec3f(0, 0, 2);
  SmoothVertices(m, 1, false);
  EXPECT_FLOAT_EQ(m.vertices[0].position.x, 0.0f);
  EXPECT_FLOAT_EQ(m.vertices[0].position.y, 0.0f);
  EXPECT_FLOAT_EQ(m.vertices[0].position.z, 0.0f);
}
