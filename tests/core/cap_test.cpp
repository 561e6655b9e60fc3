#include "core/cap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "clip_checks.h"
#include "core/border_loops.h"
#include "core/clean.h"
#include "core/clip_ops.h"
#include "core/normals.h"
#include "core/parallel_for.h"
#include "core/polygon_triangulation.h"
#include "core/topology.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// Twice the signed area of the triangle (a, b, c) of the polygon.
double DoubleArea2d(const std::vector<Point2d>& p, int a, int b, int c) {
  const Point2d &A = p[size_t(a)], &B = p[size_t(b)], &C = p[size_t(c)];
  return (B.x - A.x) * (C.y - A.y) - (B.y - A.y) * (C.x - A.x);
}

bool IsRotationOf(const std::vector<int>& t, int a, int b, int c) {
  return t.size() == 3 &&
         ((t[0] == a && t[1] == b && t[2] == c) || (t[0] == b && t[1] == c && t[2] == a) ||
          (t[0] == c && t[1] == a && t[2] == b));
}

// The polygon is cut into n - 2 counter-clockwise triangles that cover its
// area exactly.
::testing::AssertionResult CoversExactly(const std::vector<Point2d>& p) {
  std::vector<int> t;
  if (TriangulatePolygon2D(p, t) != 1) return ::testing::AssertionFailure() << "not finished";
  if (t.size() != 3 * (p.size() - 2))
    return ::testing::AssertionFailure() << t.size() / 3 << " triangles";
  double twice = 0.0;
  for (size_t i = 0; i < p.size(); ++i) {
    const Point2d &a = p[i == 0 ? p.size() - 1 : i - 1], &b = p[i];
    twice += a.x * b.y - b.x * a.y;
  }
  double sum = 0.0;
  for (size_t i = 0; i < t.size(); i += 3) {
    const double a = DoubleArea2d(p, t[i], t[i + 1], t[i + 2]);
    if (!(a > 0.0)) return ::testing::AssertionFailure() << "triangle " << i / 3 << " area " << a;
    sum += a;
  }
  if (std::fabs(sum - std::fabs(twice)) > 1e-9 * std::fabs(twice))
    return ::testing::AssertionFailure() << "area " << sum << " of " << std::fabs(twice);
  return ::testing::AssertionSuccess();
}

std::vector<Point2d> Scaled(std::vector<Point2d> p, double sx, double sy, bool reversed) {
  for (Point2d& q : p)
    q = {q.x * sx, q.y * sy};
  if (reversed) std::reverse(p.begin(), p.end());
  return p;
}

Soup TwoCubes() {
  Soup s = CubeSoup(1.0f, Vec3f(0, 0, 0));
  Soup t = CubeSoup(1.0f, Vec3f(3, 0, 0));
  const int base = int(s.points.size());
  s.points.insert(s.points.end(), t.points.begin(), t.points.end());
  for (auto tri : t.tris)
    s.tris.push_back({tri[0] + base, tri[1] + base, tri[2] + base});
  return s;
}

}  // namespace

TEST(CollectBorderLoops, ClosedTriangleAndGrid) {
  MeshT5 cube = Cube<MeshT5>();
  BuildFaceFaceAdjacency(cube);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(cube, loops);
  EXPECT_TRUE(loops.empty());

  MeshT5 tri = Build<MeshT5>({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, {{0, 1, 2}});
  BuildFaceFaceAdjacency(tri);
  CollectBorderLoops(tri, loops);
  ASSERT_EQ(loops.size(), 1u);
  EXPECT_EQ(loops[0].edgeCount, 3);
  EXPECT_EQ(loops[0].startVertex, &tri.vertices[0]);
  EXPECT_DOUBLE_EQ(BorderLoopLength(loops[0].Start(), 100), 12.0);

  MeshT5 grid = Grid<MeshT5>(5);
  BuildFaceFaceAdjacency(grid);
  loops.clear();
  CollectBorderLoops(grid, loops);
  ASSERT_EQ(loops.size(), 1u);
  EXPECT_EQ(loops[0].edgeCount, 20);
  EXPECT_EQ(loops[0].box.max, Vec3f(5, 5, 0));
  EXPECT_DOUBLE_EQ(BorderLoopLength(loops[0].Start(), 1000), 20.0);
}

TEST(CollectBorderLoops, BowTieAndBrokenAdjacencyFinish) {
  // Two triangles meeting at one vertex: its four border edges never hang
  // the walk.
  Soup s;
  s.points = {{0, 0, 0}, {1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}};
  s.tris = {{0, 1, 2}, {0, 4, 3}};
  MeshT5 m = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(m);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(m, loops);
  EXPECT_EQ(loops.size(), 2u);
  MeshT5 capped = WithBox(Build<MeshT5>(s));
  CapCut(capped, MakePlane(0, 0, 1, 0.0f));
  EXPECT_TRUE(Consistent(capped));

  // A border walk that never returns to its start is dropped.
  MeshT5 g = Grid<MeshT5>(2);
  BuildFaceFaceAdjacency(g);
  for (FaceT5& f : g.faces)
    for (int z = 0; z < 3; ++z)
      if (f.adjFace[z] != &f) f.adjFace[z] = &g.faces[0], f.adjIndex[z] = 1;
  loops.clear();
  CollectBorderLoops(g, loops);
  for (const BorderLoop& l : loops)
    EXPECT_LE(l.edgeCount, int(3 * g.faces.size()));
}

TEST(TriangulatePolygon2D, SmallCases) {
  std::vector<int> t;
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {1, 0}}, t), 0);
  EXPECT_TRUE(t.empty());

  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {1, 0}, {0, 1}}, t), 1);
  EXPECT_TRUE(IsRotationOf(t, 0, 1, 2));
  t.clear();
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {0, 1}, {1, 0}}, t), 1);
  EXPECT_TRUE(IsRotationOf(t, 2, 1, 0));

  t.clear();
  std::vector<Point2d> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_EQ(TriangulatePolygon2D(square, t), 1);
  ASSERT_EQ(t.size(), 6u);
  EXPECT_DOUBLE_EQ(DoubleArea2d(square, t[0], t[1], t[2]) + DoubleArea2d(square, t[3], t[4], t[5]),
                   2.0);
}

TEST(TriangulatePolygon2D, ThinAndSmallLoopsAreCoveredAtAnyScale) {
  const std::vector<std::vector<Point2d>> loops = {
      {{0, 0}, {10, 0}, {10, 1}, {0, 1}},
      {{0, 0}, {100, 0}, {100, 10}, {0, 10}},
      {{0, 0}, {10, 0}, {5, 0.5}},
      {{0, 0}, {10, 0}, {5, 2}},
      {{0, 0}, {0.05, 0}, {0.05, 0.05}, {0, 0.05}},
      {{0, 0}, {4, 0}, {4, 4}, {2, 2}, {0, 4}},
  };
  for (size_t i = 0; i < loops.size(); ++i)
    for (double scale : {1e-4, 1.0, 1e4})
      for (double aspect : {1.0, 1e-3, 50.0})
        for (bool reversed : {false, true})
          EXPECT_TRUE(CoversExactly(Scaled(loops[i], scale, scale * aspect, reversed)))
              << "loop " << i << " scale " << scale << " aspect " << aspect << " reversed "
              << reversed;
  // A triangle stays as given, turned counter-clockwise.
  std::vector<int> t;
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {10, 0}, {5, 0.5}}, t), 1);
  EXPECT_TRUE(IsRotationOf(t, 0, 1, 2));
  t.clear();
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {5, 2}, {10, 0}}, t), 1);
  EXPECT_TRUE(IsRotationOf(t, 2, 1, 0));
}

TEST(TriangulatePolygon2D, RandomSimpleLoopsAreCoveredExactly) {
  // Loops star-shaped around the origin (no gap between angles reaches half
  // a turn), some edges split at their middle, at random scales and aspects.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < 300; ++round) {
    const int n = 4 + int(unit(rng) * 60);
    std::vector<Point2d> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2.0 * 3.141592653589793 * (i + 0.9 * unit(rng)) / n;
      const double r = unit(rng) < 0.3 ? 1.0 : 0.2 + unit(rng);
      if (!p.empty() && unit(rng) < 0.2) {
        const Point2d& last = p.back();
        p.push_back({0.5 * (last.x + r * std::cos(a)), 0.5 * (last.y + r * std::sin(a))});
      }
      p.push_back({r * std::cos(a), r * std::sin(a)});
    }
    const double scale = std::pow(10.0, 8.0 * unit(rng) - 4.0);
    const double aspect = std::pow(10.0, 4.0 * unit(rng) - 2.0);
    std::vector<Point2d> q = Scaled(p, scale, scale * aspect, unit(rng) < 0.5);
    EXPECT_TRUE(CoversExactly(q)) << "round " << round;
  }
}

TEST(TriangulatePolygon2D, FineLoopsAreCutCompletely) {
  // Smooth loops of many points have ears flatter than any margin; they are
  // still cut into n - 2 triangles covering their area, quickly enough for
  // the window (a spatial index, not a pass over the loop per ear).
  const double pi = 3.141592653589793;
  for (const auto& [n, radius] : {std::pair{200000, 1.0}, std::pair{36000, 20000.0}}) {
    std::vector<Point2d> loop(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const double a = 2.0 * pi * i / n;
      const double r = radius * (1.0 + 0.002 * std::sin(37.0 * a));
      loop[size_t(i)] = {r * std::cos(a), r * std::sin(a)};
    }
    EXPECT_TRUE(CoversExactly(loop)) << n << " points";
  }
}

TEST(TriangulatePolygon2D, HolesAreCutOut) {
  // A square with star-shaped holes in a grid, given either way round, and
  // an annulus of two fine circles: n - 2 + 2 h triangles that cover the
  // square less the holes once.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double pi = 3.141592653589793;
  auto star = [&](double cx, double cy, double size, int n) {
    std::vector<Point2d> p;
    for (int i = 0; i < n; ++i) {
      const double a = 2.0 * pi * (i + 0.8 * unit(rng)) / n;
      const double r = size * (0.3 + 0.7 * unit(rng));
      p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    if (unit(rng) < 0.5) std::reverse(p.begin(), p.end());
    return p;
  };
  for (int round = 0; round < 40; ++round) {
    const int cells = 1 + round % 6;
    std::vector<std::vector<Point2d>> loops = {
        {{0, 0}, {double(cells), 0}, {double(cells), double(cells)}, {0, double(cells)}}};
    if (round % 2) std::reverse(loops[0].begin(), loops[0].end());
    for (int i = 0; i < cells; ++i)
      for (int j = 0; j < cells; ++j)
        if (unit(rng) < 0.7) loops.push_back(star(i + 0.5, j + 0.5, 0.45, 3 + int(unit(rng) * 30)));
    size_t points = 0;
    double area = 0.0;
    for (const auto& loop : loops) {
      points += loop.size();
      double twice = 0.0;
      for (size_t k = 0; k < loop.size(); ++k) {
        const Point2d &a = loop[k == 0 ? loop.size() - 1 : k - 1], &b = loop[k];
        twice += a.x * b.y - b.x * a.y;
      }
      area += &loop == &loops[0] ? std::fabs(twice) : -std::fabs(twice);
    }
    std::vector<Point2d> all;
    for (const auto& loop : loops)
      all.insert(all.end(), loop.begin(), loop.end());
    std::vector<int> t;
    ASSERT_EQ(TriangulatePolygonWithHoles2D(loops, t), 1) << "round " << round;
    ASSERT_EQ(t.size(), 3 * (points - 2 + 2 * (loops.size() - 1))) << "round " << round;
    double sum = 0.0;
    for (size_t i = 0; i < t.size(); i += 3) {
      const double a = DoubleArea2d(all, t[i], t[i + 1], t[i + 2]);
      ASSERT_GT(a, 0.0) << "round " << round;
      sum += a;
    }
    EXPECT_NEAR(sum, area, 1e-9 * area) << "round " << round;
  }
}

TEST(TriangulatePolygon2D, LoopsThatAreNotSimpleFinish) {
  // Two squares touching at a corner, walked as one loop: the shared point
  // comes twice, and both squares are capped (what is left runs back over
  // itself and has no area).
  std::vector<Point2d> touching = {{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}};
  std::vector<int> t;
  TriangulatePolygon2D(touching, t);
  double sum = 0.0;
  for (size_t i = 0; i < t.size(); i += 3)
    sum += DoubleArea2d(touching, t[i], t[i + 1], t[i + 2]);
  EXPECT_DOUBLE_EQ(sum, 4.0);

  // Self-crossing loops, repeated points and random scribbles: no hang, no
  // index out of range, every triangle counter-clockwise and finite.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::vector<std::vector<Point2d>> loops = {
      {{0, 0}, {2, 2}, {2, 0}, {0, 2}},
      {{0, 0}, {3, 3}, {3, 0}, {0, 1}},
      {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}},
      {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {-1, 0}, {-1, -1}},
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<Point2d> p(static_cast<size_t>(4 + round % 40));
    for (Point2d& q : p)
      q = {unit(rng), unit(rng)};
    if (round % 3 == 0) p[p.size() / 2] = p[0];
    loops.push_back(p);
  }
  for (const auto& p : loops) {
    t.clear();
    const int result = TriangulatePolygon2D(p, t);
    EXPECT_TRUE(result == 0 || result == 1);
    ASSERT_LE(t.size(), 3 * (p.size() - 2));
    for (size_t i = 0; i < t.size(); i += 3) {
      for (size_t k = i; k < i + 3; ++k)
        ASSERT_TRUE(t[k] >= 0 && t[k] < int(p.size()));
      const double a = DoubleArea2d(p, t[i], t[i + 1], t[i + 2]);
      EXPECT_TRUE(std::isfinite(a));
      EXPECT_GE(a, 0.0);
    }
  }
}

TEST(TriangulatePolygon2D, DegeneratePolygonsGiveUp) {
  std::vector<int> t;
  // No area at all: collinear or coincident points.
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, t), 0);
  EXPECT_EQ(TriangulatePolygon2D({{1, 1}, {1, 1}, {1, 1}}, t), 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {1, 0}, {nan, 1}, {0, 1}}, t), 0);
  EXPECT_EQ(TriangulatePolygon2D({{0, 0}, {inf, 0}, {0, 1}}, t), 0);
  // A finite area whose points lie further apart than a double holds.
  EXPECT_EQ(TriangulatePolygon2D({{-1e308, 0}, {1e308, 0}, {0, 1e-300}}, t), 0);
  EXPECT_TRUE(t.empty());
}

TEST(TriangulatePolygon2D, ConcavePolygonsAreCoveredExactly) {
  // A comb: reflex vertices must never be cut as ears, and the triangles
  // must cover the polygon's area exactly, all counter-clockwise.
  std::vector<Point2d> comb = {{0, 0}, {10, 0}, {10, 3}, {8, 3}, {8, 1}, {6, 1},
                               {6, 3}, {4, 3},  {4, 1},  {2, 1}, {2, 3}, {0, 3}};
  for (bool reversed : {false, true}) {
    std::vector<Point2d> p = comb;
    if (reversed) std::reverse(p.begin(), p.end());
    std::vector<int> t;
    EXPECT_EQ(TriangulatePolygon2D(p, t), 1);
    ASSERT_EQ(t.size(), 3 * (p.size() - 2));
    double sum = 0.0;
    for (size_t i = 0; i < t.size(); i += 3) {
      double a = DoubleArea2d(p, t[i], t[i + 1], t[i + 2]);
      EXPECT_GT(a, 0.0);
      sum += a;
    }
    EXPECT_DOUBLE_EQ(sum, 2.0 * (30.0 - 2 * 2.0 * 2.0));
  }
  // A point on the boundary of the only short ear (0, 1, 2) blocks it.
  std::vector<Point2d> p = {{0, 0}, {4, 0}, {4, 4}, {2, 2}, {0, 4}};
  std::vector<int> t;
  EXPECT_EQ(TriangulatePolygon2D(p, t), 1);
  for (size_t i = 0; i < t.size(); i += 3)
    EXPECT_FALSE(IsRotationOf({t[i], t[i + 1], t[i + 2]}, 0, 1, 2));
}

TEST(RemoveDuplicateFaces, DeletesTheLaterUnlessANeighbourIsExcluded) {
  Soup s = CubeSoup();
  s.tris.push_back({3, 0, 2});  // face 0 again, in another order
  MeshT5 m = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(m);
  RemoveDuplicateFaces(m);
  EXPECT_EQ(m.faceCount, 12);
  EXPECT_TRUE(m.faces[12].flags & ElemFlag::Deleted);
  EXPECT_FALSE(m.faces[0].flags & ElemFlag::Deleted);

  MeshT5 k = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(k);
  for (FaceT5* n : k.faces[12].adjFace)
    if (n != &k.faces[12] && n != &k.faces[0]) n->flags |= ElemFlag::Excluded;
  RemoveDuplicateFaces(k);
  EXPECT_EQ(k.faceCount, 13);

  // A whole second copy of a large mesh: every copy face goes.
  Soup big = IcosphereSoup(4);
  const size_t n = big.tris.size();
  for (size_t i = 0; i < n; ++i)
    big.tris.push_back(big.tris[i]);
  MeshT5 b = Build<MeshT5>(big);
  BuildFaceFaceAdjacency(b);
  RemoveDuplicateFaces(b);
  EXPECT_EQ(b.faceCount, int(n));
  for (size_t i = 0; i < n; ++i)
    EXPECT_FALSE(b.faces[i].flags & ElemFlag::Deleted);
  EXPECT_TRUE(Consistent(b));

  MeshT5 empty;
  RemoveDuplicateFaces(empty);
  EXPECT_EQ(empty.faceCount, 0);
}

TEST(RemoveFacesOnNonManifoldEdges, HangingFacesGoAttachedOnesStay) {
  // The diagonal 0-4 of a grid cell carries a fin (0, 4, 9): three faces on
  // one edge. The fin has two border edges and goes; the cell's faces have
  // one border edge and one non-manifold edge and stay.
  Soup s = GridSoup(2);
  s.points.push_back({0.5f, 0.5f, 1.0f});  // 9
  s.points.push_back({0.5f, 1.5f, 1.0f});  // 10
  s.tris.push_back({0, 4, 9});
  MeshT5 m = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(RemoveFacesOnNonManifoldEdges(m), 1);
  EXPECT_EQ(m.faceCount, 8);
  EXPECT_TRUE(m.faces[8].flags & ElemFlag::Deleted);
  // The diagonal's ring lost the fin: the two cell faces link back.
  EXPECT_EQ(m.faces[0].adjFace[2], &m.faces[1]);
  EXPECT_EQ(m.faces[1].adjFace[0], &m.faces[0]);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);

  // With a manifold neighbour across 4-9 the fin has one border edge and
  // one non-manifold edge, and nothing is removed.
  s.tris.push_back({9, 4, 10});
  MeshT5 k = Build<MeshT5>(s);
  BuildFaceFaceAdjacency(k);
  EXPECT_EQ(RemoveFacesOnNonManifoldEdges(k), 0);
  EXPECT_EQ(k.faceCount, 10);
}

TEST(CapCut, UnitCubeCutAtHalfHeightIsClosedAgain) {
  MeshT5 m = WithBox(Cube<MeshT5>());
  ClipAndCap(m, MakePlane(0, 0, -1, -0.5f));
  EXPECT_TRUE(Consistent(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(BorderEdges(m), 0);
  EXPECT_NEAR(SignedVolume(m), 0.5, 1e-6);
  EXPECT_NEAR(SurfaceArea(m), 4.0, 1e-6);
  int capFaces = 0;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags) || f.color != Color4b{0, 255, 0, 255}) continue;
    ++capFaces;
    EXPECT_TRUE(f.flags & ElemFlag::Selected);
    EXPECT_NEAR(f.normal.z, 1.0f, 1e-6);  // facing out of the kept half
    for (const VertexT5* v : f.v) {
      EXPECT_TRUE(v->flags & ElemFlag::Selected);
      EXPECT_FLOAT_EQ(v->position.z, 0.5f);
    }
    for (const WedgeTexCoord& w : f.wedge)
      EXPECT_EQ(w, WedgeTexCoord{});
    EXPECT_EQ(f.quality, 0.0f);
  }
  EXPECT_EQ(capFaces, 6);  // the octagon
}

TEST(CapCut, TwoSeparateHolesAreBothCapped) {
  MeshT5 m = WithBox(Build<MeshT5>(TwoCubes()));
  ClipAndCap(m, MakePlane(0, 0, 1, 0.25f));  // keeps z >= 0.25
  EXPECT_TRUE(Consistent(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(BorderEdges(m), 0);
  EXPECT_NEAR(SignedVolume(m), 1.5, 1e-6);
  double capArea = 0.0;
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags) && f.color == Color4b{0, 255, 0, 255}) capArea += 0.5 * DoubleArea(f);
  EXPECT_NEAR(capArea, 2.0, 1e-6);
}

TEST(CapCut, LoopOffThePlaneStaysOpen) {
  MeshT5 m = WithBox(Cube<MeshT5>());
  ClipByPlane(m, MakePlane(0, 0, -1, -0.5f));
  const int faces = m.faceCount;
  CapCut(m, MakePlane(0, 0, -1, -0.2f));  // 0.3 away, tolerance about 0.014
  EXPECT_EQ(m.faceCount, faces);
  EXPECT_EQ(BorderEdges(m), 8);
}

TEST(CapCut, DegenerateInputsFinish) {
  // A plane through the bottom vertices: the bottom square is capped by its
  // own mirror image, which the duplicate removal or the flips absorb.
  MeshT5 a = WithBox(Cube<MeshT5>());
  ClipAndCap(a, MakePlane(0, 0, -1, 0.0f));
  EXPECT_TRUE(Consistent(a));

  // A plane through a ring of vertices (x = 0), and one close to them.
  for (float d : {0.0f, 0.002f}) {
    MeshT5 g = WithBox(Icosphere<MeshT5>(3, 10.0f));
    ClipAndCap(g, MakePlane(1, 0, 0, d));
    EXPECT_TRUE(Consistent(g));
    BuildFaceFaceAdjacency(g);
    EXPECT_EQ(CheckFaceFaceTopology(g), 0u);
    EXPECT_EQ(BorderEdges(g), 0);
  }

  // The adjacency that the cap leaves is the one a build over the whole
  // mesh gives.
  auto asBuilt = [](const MeshT5& m) {
    MeshT5 built = m;
    BuildFaceFaceAdjacency(built);
    for (size_t i = 0; i < m.faces.size(); ++i)
      for (int z = 0; IsLive(m.faces[i].flags) && z < 3; ++z)
        if (m.faces[i].adjFace[z] - m.faces.data() != built.faces[i].adjFace[z] - built.faces.data() ||
            m.faces[i].adjIndex[z] != built.faces[i].adjIndex[z])
          return false;
    return true;
  };

  // An oblique cut through the middle: the cap closes it.
  MeshT5 s = WithBox(Icosphere<MeshT5>(3, 10.0f));
  ClipAndCap(s, MakePlane(0.2f, 0.1f, 1, 0.5f));
  EXPECT_TRUE(Consistent(s));
  EXPECT_TRUE(asBuilt(s));
  BuildFaceFaceAdjacency(s);
  EXPECT_EQ(CheckFaceFaceTopology(s), 0u);
  EXPECT_EQ(BorderEdges(s), 0);
  EXPECT_GT(SignedVolume(s), 0.0);

  // Two faces on the same corners apart from the cut: the later one goes.
  Soup pillow = IcosphereSoup(3, 10.0f);
  const int k = int(pillow.points.size());
  pillow.points.insert(pillow.points.end(), {{1, 1, 5}, {3, 1, 5}, {1, 3, 6}});
  pillow.tris.push_back({k, k + 1, k + 2});
  pillow.tris.push_back({k, k + 2, k + 1});
  MeshT5 p = WithBox(Build<MeshT5>(pillow));
  ClipAndCap(p, MakePlane(0.2f, 0.1f, 1, 0.5f));
  EXPECT_TRUE(Consistent(p));
  int pillowFaces = 0;
  for (const FaceT5& f : p.faces)
    pillowFaces += IsLive(f.flags) && FaceHasVertices(f, &p.vertices[size_t(k)],
                                                      &p.vertices[size_t(k) + 1],
                                                      &p.vertices[size_t(k) + 2]);
  EXPECT_EQ(pillowFaces, 1);
  EXPECT_TRUE(asBuilt(p));
}

TEST(CapCut, FineLoopOnASmallModelIsClosed) {
  // A finely cut unit sphere: its loop's ears are thin in model units, and
  // the cap still closes the hole.
  MeshT5 m = WithBox(Icosphere<MeshT5>(4));
  ClipAndCap(m, MakePlane(1, 0, 0, 0.0f));
  EXPECT_TRUE(Consistent(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(BorderEdges(m), 0);
  EXPECT_NEAR(SignedVolume(m), 0.5 * SignedVolume(WithBox(Icosphere<MeshT5>(4))), 1e-6);
}

TEST(CapCut, FlatBoxCutAcrossIsClosed) {
  // A 100 x 100 x 10 box cut at x = 50: the loop is a 100 x 10 rectangle,
  // whose diagonals are long against the root of its area.
  Soup s = CubeSoup();
  for (Vec3f& p : s.points)
    p = Vec3f(p.x * 100.0f, p.y * 100.0f, p.z * 10.0f);
  MeshT5 m = WithBox(Build<MeshT5>(s));
  ClipAndCap(m, MakePlane(1, 0, 0, 50.0f));
  EXPECT_TRUE(Consistent(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(BorderEdges(m), 0);
  EXPECT_NEAR(SignedVolume(m), 50000.0, 1e-6 * 50000.0);
}

TEST(CapCut, RandomPlaneCutsOfUnitModelsAreClosed) {
  // Wound outwards and inwards: the cap faces the way the mesh does, so the
  // result is consistently wound and holds the clipped volume (less what
  // the edge collapse moves), from any reference point.
  const std::vector<std::pair<const char*, Soup>> models = {
      {"sphere", IcosphereSoup(3)}, {"torus", TorusSoup(30, 12)}, {"cube", CubeSoup()}};
  for (bool inward : {false, true}) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (const auto& [name, soup] : models) {
      MeshT5 source = WithBox(Build<MeshT5>(soup));
      if (inward)
        for (FaceT5& f : source.faces)
          std::swap(f.v[1], f.v[2]);
      const double whole = std::fabs(SignedVolume(source));
      const Vec3f centre = source.bbox.Center();
      for (int cut = 0; cut < 100; ++cut) {
        Vec3f n(unit(rng), unit(rng), unit(rng));
        n.Normalize();
        if (n.Norm() < 0.5) n = Vec3f(0, 0, 1);
        // Through the middle half of the model along the normal.
        const float d = float(n.Dot(centre)) + 0.4f * unit(rng);
        MeshT5 m = source;
        const Plane3f plane = MakePlane(n.x, n.y, n.z, d);
        ClipAndCap(m, plane);
        ASSERT_TRUE(Consistent(m)) << name << " cut " << cut;
        BuildFaceFaceAdjacency(m);
        EXPECT_EQ(BorderEdges(m), 0) << name << " cut " << cut;
        EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << name << " cut " << cut << " inward " << inward;
        EXPECT_NEAR(SignedVolume(m), ClippedVolume(source, plane), 1e-4 * whole)
            << name << " cut " << cut << " inward " << inward;
        EXPECT_NEAR(SignedVolume(m, Vec3d(5, -3, 2)), SignedVolume(m), 1e-9 * whole);
        for (const FaceT5& f : m.faces) {
          if (IsLive(f.flags)) {
            ASSERT_TRUE(std::isfinite(f.normal.Norm())) << name << " cut " << cut;
          }
        }
      }
    }
  }
}

TEST(CapCut, LoopsInsideLoopsAreHolesAndIslands) {
  // A torus cut across its hole leaves two loops, one inside the other: the
  // cap is the ring between them, not two disks. A ball in the hole adds an
  // island inside the hole. A ball with 24 tall cavities side by side has
  // more loops than are nested by pairs. Wound either way, at five heights
  // and tilted.
  Soup ring = TorusSoup(48, 24);
  // Adds the soup stretched along z, wound inwards when cavity.
  auto add = [](Soup& to, const Soup& from, float stretch, bool cavity) {
    const int base = int(to.points.size());
    for (Vec3f p : from.points) to.points.push_back({p.x, p.y, p.z * stretch});
    for (auto tri : from.tris)
      to.tris.push_back({tri[0] + base, tri[cavity ? 2 : 1] + base, tri[cavity ? 1 : 2] + base});
  };
  Soup island = ring, cavities = IcosphereSoup(3);
  add(island, IcosphereSoup(2, 0.25f), 1.0f, false);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      if (i != 2 || j != 2)
        add(cavities, IcosphereSoup(1, 0.05f, {0.16f * float(i - 2), 0.16f * float(j - 2), 0}),
            6.0f, true);
  for (const Soup* soup : {&ring, &island, &cavities}) {
    for (bool inward : {false, true}) {
      MeshT5 source = WithBox(Build<MeshT5>(*soup));
      if (inward)
        for (FaceT5& f : source.faces)
          std::swap(f.v[1], f.v[2]);
      for (float tilt : {0.0f, 0.15f}) {
        for (float z : {-0.2f, -0.1f, 0.0f, 0.1f, 0.2f}) {
          const Plane3f plane = MakePlane(tilt, 0.5f * tilt, 1, z);
          MeshT5 m = source;
          ClipAndCap(m, plane);
          SCOPED_TRACE(::testing::Message() << "soup " << (soup == &ring ? 0 : soup == &island ? 1 : 2) << " inward "
                                            << inward << " tilt " << tilt << " z " << z);
          ASSERT_TRUE(Consistent(m));
          BuildFaceFaceAdjacency(m);
          EXPECT_EQ(BorderEdges(m), 0);
          EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
          const double clipped = ClippedVolume(source, plane);
          EXPECT_NEAR(SignedVolume(m), clipped, 1e-4 * std::fabs(clipped));
          // Covered once: two disks facing opposite ways over the hole
          // would close the mesh too, and hold the same volume.
          double area = 0.0, facing = 0.0;
          for (const FaceT5& f : m.faces) {
            if (!IsLive(f.flags) || f.color != Color4b{0, 255, 0, 255}) continue;
            area += 0.5 * DoubleArea(f);
            facing += 0.5 * Vec3d(f.normal).Dot(Vec3d(plane.normal)) * DoubleArea(f);
          }
          EXPECT_GT(area, 0.0);
          EXPECT_NEAR(std::fabs(facing) / plane.normal.Norm(), area, 1e-6 * area);
        }
      }
    }
  }
}

TEST(CapCut, ALoopInsideOneThatTurnsTheSameWayIsNoHole) {
  // A ball inside a ball, both wound outwards (as an island is on an open
  // model whose hole around it runs along the model's own border): the
  // inner loop's faces turn the same way as the outer's, so cutting it out
  // of the outer cap would run its edges the same way twice. Each is capped
  // on its own.
  Soup soup = IcosphereSoup(3);
  const Soup inner = IcosphereSoup(2, 0.4f);
  const int base = int(soup.points.size());
  soup.points.insert(soup.points.end(), inner.points.begin(), inner.points.end());
  for (auto tri : inner.tris)
    soup.tris.push_back({tri[0] + base, tri[1] + base, tri[2] + base});
  for (float z : {-0.2f, 0.0f, 0.25f}) {
    MeshT5 m = WithBox(Build<MeshT5>(soup));
    ClipAndCap(m, MakePlane(0.1f, 0.05f, 1, z));
    SCOPED_TRACE(::testing::Message() << "z " << z);
    ASSERT_TRUE(Consistent(m));
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(BorderEdges(m), 0);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  }
}

TEST(CapCut, SmallLoopMovedOffThePlaneByTheCollapseIsCapped) {
  // A 1000 x 1 x 1 beam of 1000 segments: the edge collapse works to 1e-4
  // of the box diagonal, far more than 1 % of the cut's own size.
  Soup beam;
  const int segments = 1000;
  for (int i = 0; i <= segments; ++i) {
    const float x = 1000.0f * float(i) / segments;
    for (Vec3f corner : {Vec3f(x, 0, 0), Vec3f(x, 1, 0), Vec3f(x, 1, 1), Vec3f(x, 0, 1)})
      beam.points.push_back(corner);
  }
  for (int i = 0; i < segments; ++i)
    for (int k = 0; k < 4; ++k) {
      const int a = 4 * i + k, b = 4 * i + (k + 1) % 4;
      beam.tris.push_back({a, b + 4, a + 4});
      beam.tris.push_back({a, b, b + 4});
    }
  const int end = 4 * segments;
  for (std::array<int, 3> tri : std::vector<std::array<int, 3>>{
           {0, 2, 1}, {0, 3, 2}, {end, end + 1, end + 2}, {end, end + 2, end + 3}})
    beam.tris.push_back(tri);
  MeshT5 m = WithBox(Build<MeshT5>(beam));
  ASSERT_NEAR(SignedVolume(m), 1000.0, 1e-3);
  ClipAndCap(m, MakePlane(-0.970114589f, -0.0142770046f, 0.242226958f, -627.707825f));
  EXPECT_TRUE(Consistent(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(BorderEdges(m), 0);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
}

TEST(CapCut, ACutAcrossASplitSeamIsCappedAndTheSeamElsewhereStaysSplit) {
  // A UV sphere whose seam and poles are split, each point with a colour of
  // its own: cut across the seam, across it and near a pole, through the
  // pole fans alone, and away from the seam. By Clip and Cap, and by the
  // cap alone after Apply Clip, which joins nothing before its edge
  // collapse.
  MeshT5 source = WithBox(Build<MeshT5>(SplitSeamSphereSoup(32, 16)));
  for (size_t i = 0; i < source.vertices.size(); ++i)
    source.vertices[i].color = Color4b{uint8_t(i), uint8_t(i >> 8), 7, 255};
  const double whole = SignedVolume(source);
  for (const Plane3f& plane : {MakePlane(0.15f, 0.1f, 1, 0.2f), MakePlane(0.2f, 1, 0.1f, 0.05f),
                               MakePlane(0.1f, -0.05f, 1, 0.9f), MakePlane(0, 0, 1, 0.99f),
                               MakePlane(1, 0, 0, -0.3f)})
  for (const bool capAlone : {false, true}) {
    SCOPED_TRACE(::testing::Message() << "plane " << plane.normal.x << " " << plane.normal.y
                                      << " " << plane.normal.z << " " << plane.d
                                      << (capAlone ? ", cap after Apply Clip" : ""));
    MeshT5 m = source;
    if (capAlone) {
      ClipByPlane(m, plane);
      CapCut(m, plane);
    } else {
      ClipAndCap(m, plane);
    }
    ASSERT_TRUE(Consistent(m));
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    EXPECT_EQ(OpenEdgesAtPlaces(m), 0);
    // The cap's own edges meet the surface's: no border edge is left on
    // the plane (the seam off it stays open, as it was).
    int onPlane = 0;
    for (const FaceT5& f : m.faces)
      for (int z = 0; z < 3 && IsLive(f.flags); ++z)
        onPlane += f.adjFace[z] == &f &&
                   std::fabs(SignedDistance(f.v[z]->position, plane)) < 1e-5 &&
                   std::fabs(SignedDistance(f.v[(z + 1) % 3]->position, plane)) < 1e-5;
    EXPECT_EQ(onPlane, 0);
    EXPECT_NEAR(SignedVolume(m), ClippedVolume(source, plane), 1e-4 * whole);
    // Every point off the cut is still there with its own colour: the seam
    // and the poles away from the cut are as split as they were.
    int off = 0, kept = 0;
    for (size_t i = 0; i < source.vertices.size(); ++i) {
      if (!(SignedDistance(source.vertices[i].position, plane) > 1e-3)) continue;
      ++off;
      const VertexT5& v = m.vertices[i];
      kept += IsLive(v.flags) && v.color == source.vertices[i].color &&
              v.position == source.vertices[i].position;
    }
    EXPECT_EQ(kept, off);
  }
}

TEST(CapCut, TextureCoordinatesStayWithTheirCorners) {
  // The cap's flips of nearly flat pairs run over the whole model: on a
  // torus whose texture coordinates jump across its seams, split there or
  // not, every face keeps its corners' coordinates, far from the cut too,
  // and none comes to lie across a seam.
  for (const bool split : {true, false}) {
    SCOPED_TRACE(::testing::Message() << "split " << split);
    const MeshT5 source = WithBox(TexturedTorus(48, 24, split));
    MeshT5 m = source;
    ClipAndCap(m, MakePlane(0, 0, 1, 0.1f));
    ASSERT_TRUE(Consistent(m));
    EXPECT_EQ(FacesWithStrayTexCoords(source, m), 0);
  }
}

namespace {

// Border edges left once a copy's points are rounded to a grid of 1e-5 and
// those at one place joined: the two sides of a seam whose points differ
// by the residues of the trigonometry match there.
int OpenEdgesNear(const MeshT5& m) {
  MeshT5 joined = m;
  for (VertexT5& v : joined.vertices)
    for (float* c : {&v.position.x, &v.position.y, &v.position.z})
      *c = std::round(*c * 1e5f) / 1e5f;
  return OpenEdgesAtPlaces(joined);
}

// Clip and Cap of source: closed (at places within rounding), no
// topology bit that the source has not, the clipped volume, and the cap
// covering the section once: all its faces face one way along the plane's
// normal, with the section's area when that is given.
::testing::AssertionResult ClosesOnce(const MeshT5& source, const Plane3f& plane,
                                      double section = -1.0) {
  MeshT5 m = source;
  ClipAndCap(m, plane);
  if (!Consistent(m)) return ::testing::AssertionFailure() << "inconsistent";
  BuildFaceFaceAdjacency(m);
  MeshT5 before = source;
  BuildFaceFaceAdjacency(before);
  double area = 0.0, facing = 0.0;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags) || f.color != Color4b{0, 255, 0, 255}) continue;
    area += 0.5 * DoubleArea(f);
    facing += 0.5 * Vec3d(f.normal).Dot(Vec3d(plane.normal)) * DoubleArea(f);
  }
  facing = std::fabs(facing) / plane.normal.Norm();
  const int open = BorderEdges(m) == 0 ? 0 : OpenEdgesNear(m);
  const double whole = std::fabs(SignedVolume(source)), clipped = ClippedVolume(source, plane);
  ::testing::Message numbers;
  numbers << "open " << open << ", topology " << CheckFaceFaceTopology(m)
          << ", volume " << SignedVolume(m) << " of " << clipped << ", cap area " << area
          << " facing " << facing;
  if (open != 0 || (CheckFaceFaceTopology(m) & ~CheckFaceFaceTopology(before)) != 0 ||
      std::fabs(SignedVolume(m) - clipped) > 1e-4 * whole || !(area > 0.0) ||
      std::fabs(facing - area) > 1e-6 * area ||
      (section >= 0.0 && std::fabs(area - section) > 1e-5 * section))
    return ::testing::AssertionFailure() << numbers;
  return ::testing::AssertionSuccess() << numbers;
}

// A block of 3 x 3 x 3 unit cubes with a tunnel through the middle row
// along x (floor at z = 1, ceiling at z = 2), turned by the unit quaternion
// q and moved by t, stored as float.
MeshT5 TurnedTunnelBlock(const std::array<double, 4>& q, const std::array<double, 3>& t,
                         double (&m)[3][3]) {
  std::vector<std::array<int, 3>> cells;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k)
        if (j != 1 || k != 1) cells.push_back({i, j, k});
  Soup s = VoxelSoup(cells);
  const double w = q[0], x = q[1], y = q[2], z = q[3];
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) m[a][b] = r[a][b];
  for (Vec3f& p : s.points) {
    const double v[3] = {p.x, p.y, p.z};
    double o[3];
    for (int a = 0; a < 3; ++a) o[a] = r[a][0] * v[0] + r[a][1] * v[1] + r[a][2] * v[2] + t[size_t(a)];
    p = Vec3f(float(o[0]), float(o[1]), float(o[2]));
  }
  return WithBox(Build<MeshT5>(s));
}

}  // namespace

TEST(CapCut, PointsWithinTheRoundingOfTheModelAreOnePlace) {
  // Seams whose two sides differ by the residues of the trigonometry: a UV
  // sphere cut across its seam, a torus whose meridian is split cut
  // through its ring of points at z = 0 (the seam splits the loops there),
  // either way.
  const MeshT5 sphere = WithBox(Build<MeshT5>(SplitSeamSphereSoup(32, 16, 1.0f, true)));
  for (const Plane3f& plane : {MakePlane(0.2f, 1, 0.1f, 0.05f), MakePlane(0.15f, 0.1f, 1, 0.2f),
                               MakePlane(1, 0, 0, 0.3f)})
    EXPECT_TRUE(ClosesOnce(sphere, plane)) << "sphere, plane " << plane.normal.x << " "
                                           << plane.normal.y << " " << plane.normal.z;
  for (int sides : {16, 24}) {
    const MeshT5 torus = WithBox(Build<MeshT5>(SplitMeridianTorusSoup(16, sides)));
    for (float side : {1.0f, -1.0f})
      EXPECT_TRUE(ClosesOnce(torus, MakePlane(0, 0, side, 0)))
          << "torus of " << sides << " sides, plane side " << side;
  }
  // Tilted nearly as far as the plane that touches the tube twice: the
  // loops run along the seam within 1 % of their size of the plane, beyond
  // the clip's tolerance, and its two sides there are one place too.
  EXPECT_TRUE(ClosesOnce(WithBox(Build<MeshT5>(SplitMeridianTorusSoup(32, 16))),
                         MakePlane(-0.314919859f, -0.00877569243f, -0.949077666f, -0.0323330313f)));
  // Across the tube where the seam runs just off the plane: the loop on one
  // side of it lies on the plane by its own size, the small one on the other
  // side does not; joined at the seam, the two are one loop of the cut.
  EXPECT_TRUE(ClosesOnce(WithBox(Build<MeshT5>(SplitMeridianTorusSoup(32, 16))),
                         MakePlane(-0.201072648f, -0.599688411f, -0.774560273f, 0.0322129466f)));
  // A turned tunnel block stored as float, cut within rounding at its
  // tunnel's ceiling or floor.
  const struct {
    std::array<double, 4> q;
    std::array<double, 3> t;
    double height;
  } blocks[] = {
      {{-0.93351851526054641, -0.25499820552581637, -0.21191364404274357, 0.13642472031447891},
       {2.709073366325641, -9.1362122613838945, 3.5889997380107292},
       2.0},
      {{0.26949203054901877, -0.63366913260021906, -0.018021066728332105, 0.72492255932218419},
       {3.4739693511681971, 0.51586942437450445, 3.9122083145149817},
       1.0},
  };
  for (const auto& b : blocks) {
    double m[3][3];
    const MeshT5 block = TurnedTunnelBlock(b.q, b.t, m);
    for (double side : {1.0, -1.0}) {
      const Vec3d n(m[0][2] * side, m[1][2] * side, m[2][2] * side);
      const double d = side * b.height + n.Dot(Vec3d(b.t[0], b.t[1], b.t[2]));
      EXPECT_TRUE(ClosesOnce(block, MakePlane(float(n.x), float(n.y), float(n.z), float(d))))
          << "tunnel block at height " << b.height << ", side " << side;
    }
  }
}

// A box of side `size` at origin, wound inwards when `cavity`, added to s.
void AddBox(Soup& s, float size, Vec3f origin, bool cavity) {
  const Soup box = CubeSoup(size, origin);
  const int base = int(s.points.size());
  s.points.insert(s.points.end(), box.points.begin(), box.points.end());
  for (auto t : box.tris)
    s.tris.push_back({t[0] + base, t[cavity ? 2 : 1] + base, t[cavity ? 1 : 2] + base});
}

TEST(CapCut, PointsAFewFloatStepsApartStayApartFarFromTheOrigin) {
  // A hollow box at x = 1000 whose walls are 6 float steps thick there:
  // the inner wall's points stand apart from the outer's, and the cap is
  // the ring between them.
  const float step = std::nextafter(1000.0f, 2000.0f) - 1000.0f, w = 6.0f * step;
  Soup hollow;
  AddBox(hollow, 1.0f, {1000.0f, 0.0f, 0.0f}, false);
  AddBox(hollow, 1.0f - 2.0f * w, {1000.0f + w, w, w}, true);
  const MeshT5 m = WithBox(Build<MeshT5>(hollow));
  const double inner = double(hollow.points[15].x) - double(hollow.points[8].x);
  EXPECT_TRUE(ClosesOnce(m, MakePlane(0, 0, 1, 0.5f), 1.0 - inner * inner));
}

TEST(CapCut, EachBodyIsCappedOnItsOwn) {
  // A 2 x 2 x 2 box with a cavity of 0.002 (a box wound inwards) that holds
  // a cube of 0.001, cut through both: the cavity is a hole of the box's
  // cap, and the cube is capped on its own.
  Soup pore;
  AddBox(pore, 2.0f, {-1, -1, -1}, false);
  AddBox(pore, 0.002f, {-0.001f, -0.001f, -0.001f}, true);
  AddBox(pore, 0.001f, {-0.0005f, -0.0005f, -0.0005f}, false);
  const MeshT5 m = WithBox(Build<MeshT5>(pore));
  for (float z : {0.0003f, -0.0002f})
    EXPECT_TRUE(ClosesOnce(m, MakePlane(0, 0, 1, z), 4.0 - 0.002 * 0.002 + 0.001 * 0.001))
        << "z " << z;
  // Two blocks of 2 x 2 x 2 unit cubes, the upper moved by (1, 1) onto
  // the lower, cut at a tilt across the square where they touch: there
  // the loops run along one another, back to back, between two places
  // that both pass through.
  std::vector<std::array<int, 3>> lower, upper;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k) {
        lower.push_back({i, j, k});
        upper.push_back({i + 1, j + 1, k + 2});
      }
  Soup stacked = VoxelSoup(lower);
  const Soup top = VoxelSoup(upper);
  const int base = int(stacked.points.size());
  stacked.points.insert(stacked.points.end(), top.points.begin(), top.points.end());
  for (auto t : top.tris) stacked.tris.push_back({t[0] + base, t[1] + base, t[2] + base});
  EXPECT_TRUE(ClosesOnce(WithBox(Build<MeshT5>(stacked)),
                         MakePlane(-0.404355258f, 0.720459104f, 0.563414156f, 2.03552055f)));
}

TEST(CapCut, TwoHolesTouchingAlongAnEdgeAreCutOutOnce) {
  // A 4 x 4 x 2 block with two square through-holes that touch along one
  // vertical edge (an edge of four faces), cut at its middle layer of
  // points: the section is 16 less the holes' 2, which touch at a point.
  std::vector<std::array<int, 3>> cells;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 2; ++k)
        if (!(i == 1 && j == 1) && !(i == 2 && j == 2)) cells.push_back({i, j, k});
  const MeshT5 block = WithBox(Build<MeshT5>(VoxelSoup(cells)));
  EXPECT_TRUE(ClosesOnce(block, MakePlane(0, 0, 1, 1), 14.0));
  EXPECT_TRUE(ClosesOnce(block, MakePlane(0, 0, -1, -1), 14.0));
}

TEST(CapCut, APipeWhoseBoreTouchesItsWallAlongALineStaysManifold) {
  // The wall and the bore have points of their own along the line where
  // they touch; cuts across that line close the section, whose hole touches
  // its outer loop at one point, and leave both surfaces apart elsewhere.
  MeshT5 source = WithBox(Build<MeshT5>(TangentBorePipeSoup(48, 32, 8, 2.0f)));
  const double whole = SignedVolume(source);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int cut = 0; cut < 8; ++cut) {
    Vec3f n(0.5f * unit(rng), 0.5f * unit(rng), 1.0f);
    if (cut % 2) n = n * -1.0f;
    const Vec3f through(1.0f, 0.0f, 1.0f + 0.4f * unit(rng));
    const Plane3f plane = MakePlane(n.x, n.y, n.z, float(n.Dot(through)));
    SCOPED_TRACE(::testing::Message() << "cut " << cut);
    MeshT5 m = source;
    ClipAndCap(m, plane);
    ASSERT_TRUE(Consistent(m));
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(BorderEdges(m), 0);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    EXPECT_NEAR(SignedVolume(m), ClippedVolume(source, plane), 1e-4 * whole);
  }
}

TEST(CapCut, ATipSquashedIntoOneFaceOnTheCutLeavesNothingOpen) {
  // A tetrahedron's apex stands just above the plane, one of its base
  // points just below it: the edge collapse joins the apex to the cut point
  // between them and leaves one face of the tip flat on the cut, all three
  // edges open. Under it nothing has thickness. Wound either way, so the
  // face looks into the kept side or away from it.
  for (bool inward : {false, true}) {
    SCOPED_TRACE(::testing::Message() << "inward " << inward);
    MeshT5 m = WithBox(Build<MeshT5>(
        {{0, 0, 5e-5f}, {1, 0, -0.002f}, {-0.001f, -0.001f, -0.001f}, {0, 1, -0.002f}},
        {{0, 2, 1}, {0, 3, 2}, {0, 1, 3}, {1, 2, 3}}));
    if (inward)
      for (FaceT5& f : m.faces)
        std::swap(f.v[1], f.v[2]);
    ClipAndCap(m, MakePlane(0, 0, 1, 0.0f));
    ASSERT_TRUE(Consistent(m));
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(BorderEdges(m), 0);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    EXPECT_NEAR(SignedVolume(m), 0.0, 1e-12);
  }
}

namespace {

// Loops on z = 0 under fans of faces: each fan joins a ring of the loops'
// points (counter-clockwise seen from above) to an apex above it. Two fans
// that share two points which are not neighbours on a loop share an edge
// across the cap's region, as the plane edge collapse can leave one.
struct Fans {
  std::vector<std::array<double, 2>> points;
  std::vector<std::vector<int>> rings;
  double capArea = 0.0;  // of the region the loops bound
  int openEdges = 0;     // left open by the cap
  // The first two fans' apexes are corners of one closed tetrahedron above
  // them: the fans are parts of one surface.
  bool oneSurface = false;
};

::testing::AssertionResult CapsAsExpected(const Fans& fans) {
  Soup s;
  for (const auto& p : fans.points)
    s.points.push_back(Vec3f(float(p[0]), float(p[1]), 0.0f));
  double volume = 0.0;
  for (const std::vector<int>& ring : fans.rings) {
    double cx = 0.0, cy = 0.0, twice = 0.0;
    for (size_t k = 0; k < ring.size(); ++k) {
      const auto &a = fans.points[size_t(ring[k])],
                 &b = fans.points[size_t(ring[(k + 1) % ring.size()])];
      cx += a[0] / double(ring.size()), cy += a[1] / double(ring.size());
      twice += a[0] * b[1] - b[0] * a[1];
    }
    const int apex = int(s.points.size());
    s.points.push_back(Vec3f(float(cx), float(cy), 1.0f));
    for (size_t k = 0; k < ring.size(); ++k)
      s.tris.push_back({ring[k], ring[(k + 1) % ring.size()], apex});
    volume += twice / 6.0;
  }
  if (fans.oneSurface) {
    const int a = int(fans.points.size()), b = a + 1, c = a + 2, d = a + 3;
    s.points.push_back(s.points[size_t(a)] + Vec3f(0, 0, 1));
    s.points.push_back(s.points[size_t(b)] + Vec3f(0.5f, 0, 2));
    const Vec3d pa(s.points[size_t(a)]), ab = Vec3d(s.points[size_t(b)]) - pa,
                ac = Vec3d(s.points[size_t(c)]) - pa, ad = Vec3d(s.points[size_t(d)]) - pa;
    const double det = ab.Cross(ac).Dot(ad);
    for (std::array<int, 3> t : std::vector<std::array<int, 3>>{{a, c, b}, {a, b, d}, {a, d, c}, {b, c, d}})
      s.tris.push_back(det > 0.0 ? t : std::array<int, 3>{t[0], t[2], t[1]});
    volume += std::fabs(det) / 6.0;
  }
  MeshT5 m = WithBox(Build<MeshT5>(s));
  CapCut(m, MakePlane(0, 0, 1, 0.0f));
  if (!Consistent(m)) return ::testing::AssertionFailure() << "inconsistent";
  BuildFaceFaceAdjacency(m);
  if (CheckFaceFaceTopology(m) != 0u)
    return ::testing::AssertionFailure() << "topology " << CheckFaceFaceTopology(m);
  if (BorderEdges(m) != fans.openEdges)
    return ::testing::AssertionFailure() << BorderEdges(m) << " open edges";
  double capArea = 0.0;
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags) && f.color == Color4b{0, 255, 0, 255}) capArea += 0.5 * DoubleArea(f);
  if (std::fabs(capArea - fans.capArea) > 1e-5 * fans.capArea)
    return ::testing::AssertionFailure() << "cap area " << capArea;
  if (fans.openEdges == 0 && std::fabs(SignedVolume(m) - volume) > 1e-5 * volume)
    return ::testing::AssertionFailure() << "volume " << SignedVolume(m) << " of " << volume;
  return ::testing::AssertionSuccess();
}

// Clip and Cap of a PipeSoup keeping z >= 0: closed with the volume of the
// upper half, the cap covering the section at z = 0 once.
::testing::AssertionResult PipeCapsOnce(const Soup& pipe) {
  const int n = int(pipe.points.size()) / 6;
  double section = 0.0;
  for (int ring : {1, 4})
    for (int k = 0; k < n; ++k) {
      const Vec3f &a = pipe.points[size_t(ring * n + k)],
                  &b = pipe.points[size_t(ring * n + (k + 1) % n)];
      section += (ring == 1 ? 0.5 : -0.5) * (double(a.x) * b.y - double(b.x) * a.y);
    }
  const Plane3f plane = MakePlane(0, 0, 1, 0.0f);
  const MeshT5 source = WithBox(Build<MeshT5>(pipe));
  MeshT5 m = source;
  ClipAndCap(m, plane);
  if (!Consistent(m)) return ::testing::AssertionFailure() << "inconsistent";
  BuildFaceFaceAdjacency(m);
  double capArea = 0.0;
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags) && f.color == Color4b{0, 255, 0, 255}) capArea += 0.5 * DoubleArea(f);
  const double volume = ClippedVolume(source, plane);
  ::testing::Message numbers;
  numbers << "cap area " << capArea << " of section " << section << ", open edges "
          << BorderEdges(m) << ", topology " << CheckFaceFaceTopology(m) << ", volume "
          << SignedVolume(m) << " of " << volume;
  if (BorderEdges(m) != 0 || CheckFaceFaceTopology(m) != 0u ||
      std::fabs(capArea - section) > 1e-6 * section ||
      std::fabs(SignedVolume(m) - volume) > 1e-6 * volume)
    return ::testing::AssertionFailure() << numbers;
  return ::testing::AssertionSuccess() << numbers;
}

}  // namespace

TEST(CapCut, FarFromTheOriginPointsJoinOnlyWithinTheirOwnCoordinatesRounding) {
  // At x = 1e5 a float step in x is 1/128, in y about 1e-7.
  const double x = 1e5, step = 1.0 / 128;
  // A corner one step in x and 0.005 in y from the next: two places, and
  // the notch between them is no part of the cap.
  EXPECT_TRUE(CapsAsExpected({{{x, 0}, {x + 1, 0}, {x + 1, 1}, {x, 1}, {x + step, 0.005}},
                              {{0, 1, 2, 3, 4}},
                              1 - 0.5 * step,
                              0}));
  // Two bodies whose sides run along one another a step apart, each
  // through a point of its own there: the points stay apart, and each body
  // is capped on its own.
  const double a = 27 * step, b = 28 * step;
  EXPECT_TRUE(CapsAsExpected({{{x - a, -1}, {x + a, -1}, {x + a, 0}, {x + a, 1}, {x - a, 1},
                               {x - b, -0.25}, {x + b, -0.25}, {x + b, 0}, {x + b, 0.25}, {x - b, 0.25}},
                              {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}},
                              4 * a + b,
                              0}));
  // Three bars crossing at their middles there, cut at a steep tilt: the
  // points the cut makes lie off the plane by their rounding in x, more
  // than the plane's tolerance, and each bar's loop is still capped.
  Soup jack;
  for (int axis = 0; axis < 3; ++axis) {
    const double t = 0.2 + 0.01 * axis;
    Soup bar = CubeSoup(1.0f, Vec3f(0, 0, 0));
    for (Vec3f& p : bar.points)
      for (int k = 0; k < 3; ++k) {
        const double half = k == axis ? 1.0 : t;
        (&p.x)[k] = float((k == 0 ? x : 0.0) + half * (2.0 * (&p.x)[k] - 1.0));
      }
    const int base = int(jack.points.size());
    jack.points.insert(jack.points.end(), bar.points.begin(), bar.points.end());
    for (auto tri : bar.tris) jack.tris.push_back({tri[0] + base, tri[1] + base, tri[2] + base});
  }
  MeshT5 m = WithBox(Build<MeshT5>(jack));
  ClipAndCap(m, MakePlane(-0.947419405f, -0.170113176f, -0.27103138f, -94741.5547f));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(BorderEdges(m), 0);
}

TEST(CapCut, AnEdgeAcrossTheLoopIsAvoidedWhereACapCan) {
  // A loop narrowed to a neck, its two halves under two fans that share the
  // edge across the neck: the ear clipping's cap would lie on that edge.
  const std::vector<std::array<double, 2>> neck = {{0, -0.1}, {2, -1}, {2, 1},
                                                   {0, 0.1},  {-2, 1}, {-2, -1}};
  // Its two triangles on the edge form a convex quadrilateral: flipped.
  EXPECT_TRUE(CapsAsExpected({neck, {{0, 1, 2, 3}, {3, 4, 5, 0}}, 4.4, 0}));
  // They do not: the ears closing on the edge are refused.
  EXPECT_TRUE(
      CapsAsExpected({{{0, -0.25}, {2.75, -1.25}, {2.5, 0.75}, {0, 0.25}, {-2, 0.5}, {-1.5, -0.5}},
                      {{0, 1, 2, 3}, {3, 4, 5, 0}},
                      4.5625,
                      0}));
  // Every cap of a dart uses the edge from its tip to its notch: it stays
  // open and the surface keeps two faces on each edge; the neck beside it
  // is closed.
  Fans both = {{{0, 3}, {-1, -1}, {0, 0}, {1, -1}}, {{0, 1, 2}, {2, 3, 0}}, 4.4, 4};
  for (const auto& p : neck)
    both.points.push_back({p[0] + 10.0, p[1]});
  both.rings.push_back({4, 5, 6, 7});
  both.rings.push_back({7, 8, 9, 4});
  EXPECT_TRUE(CapsAsExpected(both));
}

TEST(CapCut, ALoopThatCannotBeCutCompletelyIsLeftUntouched) {
  // A loop that crosses itself in the plane, winding twice round its
  // middle: the ear clipping cuts some of it and then stops, and a cover
  // by winding leaves the sides round the middle inside it. None of its
  // triangles is added.
  EXPECT_TRUE(CapsAsExpected({{{0, 2}, {-1.2, -1.6}, {1.9, 0.6}, {-1.9, 0.6}, {1.2, -1.6}},
                              {{0, 1, 2, 3, 4}},
                              0.0,
                              5}));
}

TEST(CapCut, CrossingLoopsOfASurfaceThatCrossesItselfCoverEachRegionOnce) {
  // Two fans of one surface (they share an apex) that pass through each
  // other, the second turned over: their loops cross, and the regions they
  // wind around are covered, one each way; where both lie, neither.
  EXPECT_TRUE(
      CapsAsExpected({{{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {1, 2.5}, {2.5, 2.5}, {2.5, 1}},
                      {{0, 1, 2, 3}, {4, 5, 6, 7}},
                      4.25,
                      0,
                      true}));
  // One fan over a loop that crosses itself: the two faces whose sides
  // cross share the apex, so the line from the crossing up to it lies in
  // both. Each lobe is covered and has a point of its own at the crossing,
  // so that the line is two edges of two faces each, not one of four.
  EXPECT_TRUE(CapsAsExpected({{{0, 0}, {4, 0}, {4, 2}, {1, 2}, {1, -1}, {0, -1}},
                              {{0, 1, 2, 3, 4, 5}},
                              7.0,
                              0}));
  // Two bodies that pass through each other: each is capped on its own,
  // the region where both lie twice.
  EXPECT_TRUE(
      CapsAsExpected({{{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {1, 2.5}, {2.5, 2.5}, {2.5, 1}},
                      {{0, 1, 2, 3}, {4, 5, 6, 7}},
                      6.25,
                      0}));
  EXPECT_TRUE(
      CapsAsExpected({{{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {2.5, 1}, {2.5, 2.5}, {1, 2.5}},
                      {{0, 1, 2, 3}, {4, 5, 6, 7}},
                      6.25,
                      0}));
}

// A prism of rows layers over the quadrilateral (0, 0), (2, 2), (2, 0),
// (0, 1), fanned from its first corner: its sides (0, 0)-(2, 2) and
// (2, 0)-(0, 1) cross, and its two lobes turn opposite ways.
Soup BowtiePrism(int rows) {
  const float corners[4][2] = {{0, 0}, {2, 2}, {2, 0}, {0, 1}};
  Soup s;
  for (int k = 0; k <= rows; ++k)
    for (const auto& c : corners) s.points.push_back({c[0], c[1], float(k) / float(rows)});
  const int top = 4 * rows;
  s.tris = {{0, 2, 1}, {0, 3, 2}, {top, top + 1, top + 2}, {top, top + 2, top + 3}};
  for (int k = 0; k < rows; ++k)
    for (int a = 0; a < 4; ++a) {
      const int b = (a + 1) % 4, lo = 4 * k, hi = 4 * (k + 1);
      s.tris.push_back({lo + a, lo + b, hi + b});
      s.tris.push_back({lo + a, hi + b, hi + a});
    }
  // Turned so that the volume is positive: the larger lobe faces out.
  double volume = 0.0;
  for (const auto& t : s.tris) {
    const Vec3d a(s.points[size_t(t[0])]), b(s.points[size_t(t[1])]), c(s.points[size_t(t[2])]);
    volume += a.Dot(b.Cross(c));
  }
  if (volume < 0.0)
    for (auto& t : s.tris) std::swap(t[1], t[2]);
  return s;
}

TEST(CapCut, ASurfaceThatCrossesItselfIsClosedWhereItsLoopsRunAlongOneAnother) {
  // Cut at a tilt through both lobes: the loops of the two lobes run along
  // one another on the line where the lobes cross, and there the surface
  // closes on itself; the rest is covered. Where the cut crosses the
  // fanned ends, whose two faces overlap, a loop point lies on the side of
  // a face of the other one: splitting that face there would give a second
  // copy of an edge the other face has. Where the cut parts the lobes, the
  // region where both lie is covered by neither (the section counted once
  // per winding layer, when given).
  struct Cut {
    Plane3f plane;
    double section;
  };
  const MeshT5 bowtie = WithBox(Build<MeshT5>(BowtiePrism(4)));
  for (const Cut& cut : {Cut{MakePlane(0.229971662f, 0.687864482f, 0.688444197f, 0.853541613f), 0},
                         Cut{MakePlane(-0.338393658f, -0.93213141f, -0.128921419f, -0.958823383f), 0},
                         Cut{MakePlane(0.207353309f, -0.837400138f, -0.505732715f, -0.227961272f), 0},
                         Cut{MakePlane(0.133298352f, 0.973493993f, 0.185851991f, 0.848111153f), 1.87011}}) {
    SCOPED_TRACE(::testing::Message() << "plane d " << cut.plane.d);
    MeshT5 m = bowtie;
    ClipAndCap(m, cut.plane);
    ASSERT_TRUE(Consistent(m));
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(BorderEdges(m), 0);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    double capArea = 0.0;
    for (const FaceT5& f : m.faces)
      if (IsLive(f.flags) && f.color == Color4b{0, 255, 0, 255}) capArea += 0.5 * DoubleArea(f);
    if (cut.section > 0.0) {
      EXPECT_NEAR(capArea, cut.section, 1e-5 * cut.section);
    }
  }
}

TEST(CapCut, AHoleThatTouchesItsLoopLeavesNoSlit) {
  // The loop and a hole that share a point (the loop pinched there), under
  // a fan each: the hole is cut out at the shared point.
  EXPECT_TRUE(CapsAsExpected({{{0, 0}, {2, 0}, {4, 0}, {4, 4}, {0, 4}, {1.5, 1}, {2.5, 1}},
                              {{0, 1, 2, 3, 4}, {1, 5, 6}},
                              15.5,
                              0}));
  // A hole apart from its loop, with an island inside it that touches it
  // at a point (a ball resting on a cavity's wall, joined to it there): the
  // hole is still cut out of the loop's cap, and the island capped.
  EXPECT_TRUE(CapsAsExpected({{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {1.5, 1}, {1, 3}, {3, 3},
                               {1.8, 2.6}, {2.0, 2.9}},
                              {{0, 1, 2, 3}, {4, 5, 6}, {5, 7, 8}},
                              14.16,
                              0}));
  // An L-shaped loop and a triangle in its notch that touch at a point, the
  // L with a hole apart from both: the hole is cut out of the L's cap, not
  // covered as a loop of its own.
  EXPECT_TRUE(CapsAsExpected({{{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}, {4, 3}, {3, 4},
                               {0.5, 0.5}, {0.5, 1.5}, {1.5, 1.5}, {1.5, 0.5}},
                              {{0, 1, 2, 3, 4, 5}, {3, 6, 7}, {8, 9, 10, 11}},
                              12.5,
                              0}));
  // Closed pipes whose bore touches the wall at z = 0, at one vertex of
  // both, cut there: the section falls apart at each touch into parts, and
  // each part is capped once. Touching at one point, away from the bore's
  // rightmost point, and at two points (two crescents).
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingCircleBore(64, 0.4, 32), {32}, true)));
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingCircleBore(64, 0.4, 24), {24}, true)));
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingEllipseBore(64, 0.5), {0, 32}, true)));
  // The bore's points next to the touch lie on the wall's edges, within
  // rounding outside them: the bore is still a hole of the wall's loop,
  // and the needles between the two are closed by faces without area.
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingCircleBore(128, 0.5, 0), {0}, true)));
  // Two such pipes side by side: each is capped as on its own.
  for (const Soup& pipe : {PipeSoup(TouchingCircleBore(128, 0.5, 0), {0}, true),
                           PipeSoup(TouchingEllipseBore(64, 0.5), {}, false)}) {
    Soup two = pipe;
    const int base = int(two.points.size());
    for (Vec3f p : pipe.points) two.points.push_back(p + Vec3f(3, 0, 0));
    for (auto t : pipe.tris) two.tris.push_back({t[0] + base, t[1] + base, t[2] + base});
    double areas[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      MeshT5 m = WithBox(Build<MeshT5>(k == 0 ? pipe : two));
      ClipAndCap(m, MakePlane(0, 0, 1, 0.0f));
      BuildFaceFaceAdjacency(m);
      EXPECT_EQ(BorderEdges(m), 0) << k;
      EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << k;
      for (const FaceT5& f : m.faces)
        if (IsLive(f.flags) && f.color == Color4b{0, 255, 0, 255}) areas[k] += 0.5 * DoubleArea(f);
    }
    EXPECT_NEAR(areas[1], 2.0 * areas[0], 1e-6 * areas[0]);
  }
  // Cut at a tilt through both touches: the plane passes within rounding
  // of the shared points, and the clip splits their edges right beside
  // them, on the wall and on the bore. Those points and the shared one are
  // one place: both loops pass it, and nothing is left open.
  const MeshT5 touching = WithBox(Build<MeshT5>(PipeSoup(TouchingEllipseBore(32, 0.5), {0, 16}, true)));
  for (double degrees : {5.0, 30.0}) {
    const double t = degrees * 3.141592653589793 / 180.0;
    EXPECT_TRUE(ClosesOnce(touching, MakePlane(0, float(std::sin(t)), float(std::cos(t)), 0)))
        << degrees << " degrees";
  }
  // The ellipse's points at the touches made by the trigonometry, not
  // copied from the wall's: 6e-17 apart from them at one of the two.
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingEllipseBore(64, 0.5), {}, false)));
}

// The same pipes with a vertex of the bore's own at each touch, at the
// wall's vertex's place: the cap joins the two.
TEST(CapCut, AHoleThatTouchesItsLoopAtItsOwnVerticesLeavesNoSlit) {
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingCircleBore(64, 0.4, 32), {32}, false)));
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingEllipseBore(64, 0.5), {0, 32}, false)));
  EXPECT_TRUE(PipeCapsOnce(PipeSoup(TouchingCircleBore(128, 0.5, 0), {0}, false)));
}


namespace {

// Unit cubes as the black squares of a side x side chessboard, welded
// where they touch along an edge, or (apart) each on its own.
Soup Chessboard(int side, bool apart) {
  Soup s;
  std::map<std::array<float, 3>, int> at;
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      if ((i + j) % 2) continue;
      const float spread = apart ? 1.5f : 1.0f;
      const Soup cube = CubeSoup(1.0f, {spread * float(i), spread * float(j), 0.0f});
      for (const std::array<int, 3>& t : cube.tris) {
        std::array<int, 3> tri;
        for (int k = 0; k < 3; ++k) {
          const Vec3f p = cube.points[size_t(t[size_t(k)])];
          const auto [it, added] = at.try_emplace({p.x, p.y, p.z}, int(s.points.size()));
          if (added) s.points.push_back(p);
          tri[size_t(k)] = it->second;
        }
        s.tris.push_back(tri);
      }
    }
  return s;
}

// What a face and a vertex record hold, by index.
std::vector<double> Records(const MeshT5& m) {
  std::vector<double> out;
  for (const VertexT5& v : m.vertices)
    out.insert(out.end(), {v.position.x, v.position.y, v.position.z, double(v.flags)});
  for (const FaceT5& f : m.faces) {
    out.push_back(double(f.flags));
    if (!IsLive(f.flags)) continue;
    for (int k = 0; k < 3; ++k)
      out.insert(out.end(), {double(m.VertexIndex(f.v[k])), double(f.adjFace[k] - m.faces.data()),
                             double(f.adjIndex[k]), f.normal[k]});
  }
  return out;
}

}  // namespace

// Cuts through thousands of loops spread their work over the cores: the
// mesh comes out record for record as one thread makes it.
TEST(ClipAndCap, ManyLoopsSpreadOverTheCoresGiveWhatOneThreadGives) {
  const Plane3f cuts[] = {{Vec3f(0.0f, 0.0f, 1.0f), 0.5f}, {Vec3f(0.0f, 0.6f, 0.8f), 0.37f}};
  for (const bool apart : {false, true}) {
    const MeshT5 model = Build<MeshT5>(Chessboard(60, apart));
    for (const Plane3f& cut : cuts) {
      SCOPED_TRACE(testing::Message() << (apart ? "apart" : "welded") << " d " << cut.d);
      MeshT5 spread = model, alone = model;
      ClipAndCap(spread, cut);
      ParallelThreadLimit() = 1;
      ClipAndCap(alone, cut);
      ParallelThreadLimit() = 8;
      EXPECT_EQ(BorderEdges(spread), 0);
      EXPECT_EQ(Records(spread), Records(alone));
    }
  }
}
