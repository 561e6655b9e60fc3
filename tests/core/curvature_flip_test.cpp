#include "core/curvature_flip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/cap.h"
#include "core/polygon_triangulation.h"
#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr float kOneDegree = 0.017453292f;

// Prepares a mesh as the callers do: adjacency, unit face normals.
MeshT5 Prepared(const Soup& s) {
  auto m = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(m);
  ComputeFaceNormals(m, true);
  return m;
}

// A kite split along its long diagonal a-b: f = (a, b, c), g = (b, a, d).
Soup Kite(float cz = 0.0f) {
  Soup s;
  s.points = {{0, 0, 0}, {10, 0, 0}, {5, 1, cz}, {5, -1, 0}};
  s.tris = {{0, 1, 2}, {1, 0, 3}};
  return s;
}

bool HasEdge(const MeshT5& m, int a, int b) {
  for (auto& f : m.faces)
    for (int z = 0; z < 3; ++z) {
      int p = int(m.VertexIndex(f.v[z])), q = int(m.VertexIndex(f.v[(z + 1) % 3]));
      if ((p == a && q == b) || (p == b && q == a)) return true;
    }
  return false;
}

// Largest angle between the normals of two faces sharing an edge.
double MaxDihedral(const MeshT5& m) {
  double worst = 0.0;
  for (auto& f : m.faces)
    for (int z = 0; z < 3; ++z) {
      const FaceT5* g = f.adjFace[z];
      if (g == &f) continue;
      worst = std::max(worst, std::acos(std::clamp(f.normal.Dot(g->normal), -1.0, 1.0)));
    }
  return worst;
}

bool NormalsAreCurrent(const MeshT5& m) {
  for (auto& f : m.faces) {
    Vec3f n;
    TriangleUnitNormal(n, f.v[0]->position, f.v[1]->position, f.v[2]->position);
    if ((n - f.normal).Norm() > 1e-6) return false;
  }
  return true;
}

}  // namespace

TEST(FlipCoplanarEdges, FlipsASliverPairToTheBetterDiagonal) {
  auto m = Prepared(Kite());
  EXPECT_EQ(OptimizeCurvature(m, false), 0);  // flat: left alone
  EXPECT_TRUE(HasEdge(m, 0, 1));
  EXPECT_EQ(FlipCoplanarEdges(m, kOneDegree, false), 1);
  EXPECT_TRUE(HasEdge(m, 2, 3));
  EXPECT_FALSE(HasEdge(m, 0, 1));
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_TRUE(NormalsAreCurrent(m));
  // The new pair is the better one: a second pass leaves it.
  EXPECT_EQ(FlipCoplanarEdges(m, kOneDegree, false), 0);
}

TEST(FlipCoplanarEdges, TiesBordersAndSquaresStay) {
  // A square: both diagonals give the same qualities.
  auto sq = Prepared(Soup{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}});
  EXPECT_EQ(FlipCoplanarEdges(sq, kOneDegree, false), 0);
  // A lone sliver: all its edges are borders.
  auto one = Prepared(Soup{{{0, 0, 0}, {10, 0, 0}, {5, 0.1f, 0}}, {{0, 1, 2}}});
  EXPECT_EQ(FlipCoplanarEdges(one, kOneDegree, false), 0);
  EXPECT_EQ(OptimizeCurvature(one, false), 0);
}

TEST(FlipCoplanarEdges, BentOrNonConvexPairsStay) {
  // c lifted so the faces are about 2.9 degrees apart.
  auto bent = Prepared(Kite(0.05f));
  EXPECT_EQ(FlipCoplanarEdges(bent, kOneDegree, false), 0);
  // The angle is the caller's: at three degrees the same pair flips.
  EXPECT_EQ(FlipCoplanarEdges(bent, 3 * kOneDegree, false), 1);
  // A planar arrowhead: the other diagonal lies outside; the two new
  // triangles would face opposite ways.
  Soup s;
  s.points = {{0, 0, 0}, {10, 0, 0}, {5, 1, 0}, {-3, -0.2f, 0}};
  s.tris = {{0, 1, 2}, {1, 0, 3}};
  auto arrow = Prepared(s);
  EXPECT_EQ(FlipCoplanarEdges(arrow, kOneDegree, false), 0);
}

TEST(FlipCoplanarEdges, SelectedOnlyNeedsBothFaces) {
  auto m = Prepared(Kite());
  m.faces[0].flags |= ElemFlag::Selected;
  EXPECT_EQ(FlipCoplanarEdges(m, kOneDegree, true), 0);
  m.faces[0].flags &= ~ElemFlag::Selected;
  m.faces[1].flags |= ElemFlag::Selected;
  EXPECT_EQ(FlipCoplanarEdges(m, kOneDegree, true), 0);
  m.faces[0].flags |= ElemFlag::Selected;
  EXPECT_EQ(FlipCoplanarEdges(m, kOneDegree, true), 1);
}

TEST(FlipCoplanarEdges, LeavesRingsAndInconsistentPairsAlone) {
  // Three coplanar-ish slivers on one edge: a ring, never flipped.
  Soup s = Kite();
  s.points.push_back({5, 0.5f, 0});
  s.tris.push_back({1, 0, 4});
  auto ring = Prepared(s);
  auto before = ring;
  FlipCoplanarEdges(ring, kOneDegree, false);
  for (size_t i = 0; i < ring.faces.size(); ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(ring.VertexIndex(ring.faces[i].v[k]), before.VertexIndex(before.faces[i].v[k]));
  EXPECT_EQ(OptimizeCurvature(ring, false), 0);

  // Two more faces on the outer edge b-c: flipping would hand that edge
  // from f to g and cut the ring.
  Soup r = Kite();
  r.points.push_back({8, 3, 0});
  r.points.push_back({8, 3, 1});
  r.tris.push_back({2, 1, 5});
  r.tris.push_back({1, 2, 4});
  auto outer = Prepared(r);
  const uint32_t maskBefore = CheckFaceFaceTopology(outer);
  EXPECT_EQ(FlipCoplanarEdges(outer, kOneDegree, false), 0);
  EXPECT_TRUE(HasEdge(outer, 0, 1));
  EXPECT_EQ(CheckFaceFaceTopology(outer), maskBefore);

  // The pair runs through the shared edge in the same direction: flipping it
  // would lose a vertex.
  Soup t = Kite();
  t.tris[1] = {0, 1, 3};
  auto bad = Prepared(t);
  bad.faces[1].normal = bad.faces[0].normal;  // pass the normal test
  EXPECT_EQ(FlipCoplanarEdges(bad, kOneDegree, false), 0);
  EXPECT_TRUE(HasEdge(bad, 0, 1));
}

// A flat ellipse cut into ears as the cap cuts it, and a jittered flat
// grid beside it: flips spread over several passes. Copies of them side by
// side have their faces spread over the array, each copy's among the
// others'.
Soup EarsAndJitteredGrids(int copies) {
  Soup s;
  for (int copy = 0; copy < copies; ++copy) {
    const float y = 2.0f * float(copy);
    std::vector<Point2d> rim;
    const int rimBase = int(s.points.size());
    for (int i = 0; i < 80; ++i) {
      const double a = 2.0 * std::numbers::pi * i / 80;
      s.points.push_back({float(std::cos(a)), y + float(0.3 * std::sin(a)), 0.0f});
      rim.push_back({double(s.points.back().x), double(s.points.back().y)});
    }
    std::vector<int> ears;
    EXPECT_EQ(TriangulatePolygon2D(rim, ears), 1);
    for (size_t i = 0; i + 2 < ears.size(); i += 3)
      s.tris.push_back({ears[i] + rimBase, ears[i + 1] + rimBase, ears[i + 2] + rimBase});
    Soup grid = GridSoup(12, 0.2f);
    const int base = int(s.points.size());
    for (size_t i = 0; i < grid.points.size(); ++i) {
      Vec3f p = grid.points[i];
      p.x += 3.0f + 0.07f * float(std::sin(double(i) * 12.9898));
      p.y += y + 0.07f * float(std::sin(double(i) * 78.233));
      s.points.push_back(p);
    }
    for (auto tri : grid.tris)
      s.tris.push_back({tri[0] + base, tri[1] + base, tri[2] + base});
  }
  if (copies > 1) {
    // Face k goes to place 7919 k modulo the count (7919 is prime).
    const std::vector<std::array<int, 3>> tris = s.tris;
    for (size_t k = 0; k < tris.size(); ++k)
      s.tris[k * 7919 % tris.size()] = tris[k];
  }
  return s;
}

TEST(FlipCoplanarEdges, RepeatedPassesMatchFullPasses) {
  // One copy, and enough for the flipper to pass over pieces on threads.
  for (const int copies : {1, 60}) {
    SCOPED_TRACE(copies);
    auto full = Prepared(EarsAndJitteredGrids(copies));
    auto tracked = full;
    CoplanarEdgeFlipper flipper(tracked, kOneDegree, false);
    // Pass by pass, so that every call goes on from the faces left stale.
    for (int pass = 0; pass < 5; ++pass) {
      const int32_t flips = FlipCoplanarEdges(full, kOneDegree, false);
      EXPECT_GT(flips, 0);
      EXPECT_EQ(flipper.Run(1), flips) << "pass " << pass;
    }
    int32_t rest = 0;
    for (int pass = 0; pass < 20; ++pass)
      rest += FlipCoplanarEdges(full, kOneDegree, false);
    EXPECT_EQ(flipper.Run(20), rest);
    EXPECT_EQ(flipper.Run(20), 0);
    for (size_t i = 0; i < full.faces.size(); ++i)
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(tracked.VertexIndex(tracked.faces[i].v[k]), full.VertexIndex(full.faces[i].v[k]));
        ASSERT_EQ(tracked.faces[i].adjFace[k] - tracked.faces.data(),
                  full.faces[i].adjFace[k] - full.faces.data());
      }
    EXPECT_EQ(FlipCoplanarEdges(full, kOneDegree, false), 0);
  }
}

TEST(OptimizeCurvature, ClosedTetrahedronFlipsNothing) {
  auto m = Prepared(TetrahedronSoup());
  EXPECT_EQ(OptimizeCurvature(m, false), 0);
  MeshT5 empty;
  EXPECT_EQ(OptimizeCurvature(empty, false), 0);
}

TEST(OptimizeCurvature, TurnsDiagonalsAcrossACreaseIntoTheRulings) {
  // z = 0.2 (x + y)^2 bends along (1, 1) and is straight along (1, -1); the
  // grid's diagonals run along (1, 1), across the bend.
  Soup s = GridSoup(6);
  for (auto& p : s.points)
    p.z = 0.2f * (p.x + p.y) * (p.x + p.y);
  auto m = Prepared(s);
  const double before = MaxDihedral(m);
  const int flips = OptimizeCurvature(m, false);
  EXPECT_GT(flips, 0);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_TRUE(NormalsAreCurrent(m));
  EXPECT_LT(MaxDihedral(m), before);
  // Interior cells now carry the (1, -1) diagonal: (1,1)-(2,0) of the 7x7
  // vertex grid is vertices 8 and 2.
  EXPECT_TRUE(HasEdge(m, 8, 2));
  EXPECT_FALSE(HasEdge(m, 1, 9));
}

TEST(OptimizeCurvature, TextureCoordinatesStayWithTheirCornersAndSeamsStay) {
  // A bumpy torus whose texture coordinates jump across its seams, split
  // there or shared with corners of their own on either side.
  for (const bool split : {true, false}) {
    SCOPED_TRACE(::testing::Message() << "split " << split);
    MeshT5 m = TexturedTorus(48, 24, split, 0.15f);
    BuildFaceFaceAdjacency(m);
    ComputeFaceNormals(m, true);
    const MeshT5 before = m;
    EXPECT_GT(OptimizeCurvature(m, false), 0);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    EXPECT_EQ(FacesWithStrayTexCoords(before, m), 0);
  }
}

TEST(OptimizeCurvature, StaleBorderBitStopsIt) {
  Soup s = GridSoup(3);
  for (auto& p : s.points)
    p.z = 0.2f * (p.x + p.y) * (p.x + p.y);
  auto m = Prepared(s);
  // Face 0's edge 2 has a neighbour; a border bit on it is stale.
  m.faces[0].flags |= ElemFlag::Border(2);
  auto before = m;
  EXPECT_EQ(OptimizeCurvature(m, false), 0);
  for (size_t i = 0; i < m.faces.size(); ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(m.VertexIndex(m.faces[i].v[k]), before.VertexIndex(before.faces[i].v[k]));
  // FlipCoplanarEdges does not check the topology.
  EXPECT_GE(FlipCoplanarEdges(m, kOneDegree, false), 0);
}
