#include "core/plane_edge_collapse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "clip_checks.h"
#include "core/border_loops.h"
#include "core/cap.h"
#include "core/clip_ops.h"
#include "core/topology.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// An n x n grid on z = 0 whose vertex `moved` is put at `to`, which makes a
// short edge.
MeshT5 GridWithShortEdge(int n, int moved, Vec3f to) {
  Soup s = GridSoup(n);
  s.points[size_t(moved)] = to;
  return Build<MeshT5>(s);
}

// Configures and runs a collapse on the plane z = 0.
int Collapse(MeshT5& m, double threshold, float tolerance, bool link = true) {
  PlaneEdgeCollapse c(m);
  c.planeTolerance = tolerance;
  c.threshold = threshold;
  c.Init();
  c.checkLinkConditions = link;
  int result = c.Run(2147483647);
  c.Finalize();
  return result;
}

::testing::AssertionResult CleanAfterRebuild(MeshT5& m) {
  BuildFaceFaceAdjacency(m);
  if (uint32_t t = CheckFaceFaceTopology(m))
    return ::testing::AssertionFailure() << "topology " << t;
  return Consistent(m);
}

}  // namespace

TEST(PlaneEdgeCollapse, EmptyMeshStopsAtOnce) {
  MeshT5 m;
  EXPECT_EQ(Collapse(m, 1.0, 1.0f), 1);
  MeshT5 grid = Grid<MeshT5>(2);
  PlaneEdgeCollapse c(grid);
  c.threshold = 10.0;
  c.Init();
  EXPECT_EQ(c.Run(0), 0);  // the limit is reached before anything is done
  EXPECT_EQ(grid.faceCount, 8);
}

TEST(PlaneEdgeCollapse, InteriorEdgeGoesToItsMidpoint) {
  // Edge 5-6 of a 3 x 3 grid, 0.1 long, inside the surface.
  MeshT5 m = GridWithShortEdge(3, 5, Vec3f(1.9f, 1.0f, 0.0f));
  m.vertices[5].color = Color4b{0, 0, 255, 255};
  m.vertices[6].color = Color4b{255, 0, 0, 255};
  EXPECT_EQ(Collapse(m, 0.5, 1e-3f), 1);
  EXPECT_EQ(m.faceCount, 16);
  EXPECT_EQ(m.vertexCount, 15);
  EXPECT_TRUE(m.vertices[5].flags & ElemFlag::Deleted);
  EXPECT_EQ(m.vertices[6].position, Vec3f(1.95f, 1.0f, 0.0f));
  EXPECT_EQ(m.vertices[6].color, (Color4b{255, 0, 0, 255}));
  EXPECT_TRUE(CleanAfterRebuild(m));
}

TEST(PlaneEdgeCollapse, BorderEdgeDeletesOneFace) {
  MeshT5 m = GridWithShortEdge(2, 1, Vec3f(1.9f, 0.0f, 0.0f));
  EXPECT_EQ(Collapse(m, 0.5, 1e-3f), 1);
  EXPECT_EQ(m.faceCount, 7);
  EXPECT_EQ(m.vertexCount, 8);
  EXPECT_TRUE(CleanAfterRebuild(m));
}

TEST(PlaneEdgeCollapse, ThresholdAndToleranceBoundsAreInclusive) {
  MeshT5 probe = GridWithShortEdge(3, 5, Vec3f(1.9f, 1.0f, 0.25f));
  const double length = Distance(probe.vertices[5].position, probe.vertices[6].position);
  {
    PlaneEdgeCollapse c(probe);
    c.threshold = length;
    c.Init();
    ASSERT_EQ(c.Heap().size(), 1u);  // exactly as long as the threshold
    EXPECT_EQ(c.Heap()[0].removed, &probe.vertices[5]);
    EXPECT_EQ(c.Heap()[0].survivor, &probe.vertices[6]);
  }
  MeshT5 longer = probe;
  EXPECT_EQ(Collapse(longer, std::nextafter(length, 0.0), 1.0f), 1);
  EXPECT_EQ(longer.faceCount, 18);

  MeshT5 atTolerance = probe;
  Collapse(atTolerance, 0.5, 0.25f);
  EXPECT_EQ(atTolerance.faceCount, 16);

  MeshT5 beyond = probe;
  Collapse(beyond, 0.5, std::nextafter(0.25f, 0.0f));
  EXPECT_EQ(beyond.faceCount, 18);
}

TEST(PlaneEdgeCollapse, StalePurgeKeepsEveryLiveCandidateInHeapOrder) {
  MeshT5 m = Grid<MeshT5>(5);
  for (size_t i = 0; i < m.vertices.size(); ++i)
    m.vertices[i].position.x += 0.01f * float(i % 7);  // distinct lengths
  PlaneEdgeCollapse c(m);
  c.threshold = 10.0;
  c.Init();
  // A later stamp on some vertices and a deleted one make the candidates
  // touching them stale.
  ++m.currentMark;
  for (size_t i = 0; i < m.vertices.size(); i += 4)
    m.vertices[i].mark = m.currentMark;
  m.vertices[7].flags |= ElemFlag::Deleted;
  auto live = [&c] {
    std::vector<std::pair<VertexT5*, VertexT5*>> out;
    for (const CollapseCandidate& k : c.Heap())
      if (c.IsUpToDate(k)) out.push_back({k.removed, k.survivor});
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto before = live();
  const size_t size = c.Heap().size();
  ASSERT_LT(before.size(), size);
  c.ClearStaleCandidates();
  EXPECT_EQ(live(), before);
  EXPECT_LT(c.Heap().size(), size);
  const auto& heap = c.Heap();
  for (size_t i = 1; i < heap.size(); ++i)
    EXPECT_LE(heap[(i - 1) / 2].priority, heap[i].priority) << i;
}

TEST(PlaneEdgeCollapse, LinkConditionKeepsATriangularHole) {
  // Without face (5, 6, 10) the short edge 5-6 borders a hole of three
  // edges: 10 is a common neighbour of both ends but not opposite the edge.
  auto make = [] {
    MeshT5 m = GridWithShortEdge(3, 5, Vec3f(1.9f, 1.0f, 0.0f));
    for (FaceT5& f : m.faces)
      if (FaceHasVertices(f, &m.vertices[5], &m.vertices[6], &m.vertices[10])) {
        f.flags |= ElemFlag::Deleted;
        --m.faceCount;
      }
    return m;
  };
  const uint32_t bits = UserBitCounter::Current();
  MeshT5 kept = make();
  Collapse(kept, 0.5, 1e-3f, true);
  EXPECT_EQ(kept.faceCount, 17);
  EXPECT_EQ(UserBitCounter::Current(), bits);

  MeshT5 closed = make();
  Collapse(closed, 0.5, 1e-3f, false);
  EXPECT_LT(closed.faceCount, 17);
}

TEST(PlaneEdgeCollapse, BorderPointsAreNeverJoinedThroughTheInside) {
  // A 5 x 5 grid with holes either side of cell (2, 2), or one U-shaped
  // hole around three sides of it. Vertex (3, 2) is moved next to (2, 2):
  // the short edge between them runs through the inside of the surface
  // from border to border. Collapsing it would make one point that the
  // border passes twice (two loops pinched together, or one loop touching
  // itself); it stays, and the loops stay as they were.
  struct Row {
    const char* name;
    std::vector<std::pair<int, int>> holeCells;
    size_t loops;  // the grid's outer border included
  };
  const std::vector<Row> rows = {
      {"two holes", {{1, 2}, {3, 2}}, 3},
      {"one U-shaped hole", {{1, 2}, {1, 3}, {2, 3}, {3, 3}, {3, 2}}, 2},
  };
  for (const Row& row : rows) {
    const int n = 5;
    MeshT5 m = GridWithShortEdge(n, 2 * (n + 1) + 3, Vec3f(2.1f, 2.0f, 0.0f));
    for (auto [i, j] : row.holeCells)
      for (int k = 0; k < 2; ++k) {
        m.faces[size_t(2 * (j * n + i) + k)].flags |= ElemFlag::Deleted;
        --m.faceCount;
      }
    const int faces = m.faceCount;
    EXPECT_EQ(Collapse(m, 0.5, 1e-3f), 1) << row.name;
    EXPECT_EQ(m.faceCount, faces) << row.name;
    ASSERT_TRUE(CleanAfterRebuild(m)) << row.name;
    std::vector<BorderLoop> loops;
    CollectBorderLoops(m, loops);
    EXPECT_EQ(loops.size(), row.loops) << row.name;
    std::vector<int> visits(m.vertices.size(), 0);
    for (const BorderLoop& loop : loops) {
      FacePos p = loop.Start();
      for (int steps = 0; steps < 100; ++steps) {
        ++visits[m.VertexIndex(p.v)];
        if (!p.NextBorder(100) || p == loop.Start()) break;
      }
    }
    EXPECT_EQ(*std::max_element(visits.begin(), visits.end()), 1) << row.name;
  }
}

TEST(CollapseClipPlaneEdges, GridCutCloseToItsVerticesIsCleanedUp) {
  // The cut runs 0.0004 beside a column of vertices and 0.0004 beside the
  // grid's diagonals, leaving edges far shorter than the tolerance on the
  // plane; both sides are tried.
  for (float sign : {1.0f, -1.0f}) {
    MeshT5 m = WithBox(Grid<MeshT5>(10));
    const double diag = m.bbox.Diag();
    const float tolerance = float(diag * double(1e-4f));
    const Plane3f plane{Vec3f(sign, 0, 0), sign * 3.0004f};
    ClipByPlane(m, plane);
    EXPECT_TRUE(Consistent(m));
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
    int onPlane = 0;
    for (const FaceT5& f : m.faces) {
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z) {
        const VertexT5* a = f.v[z];
        const VertexT5* b = f.v[(z + 1) % 3];
        if (std::fabs(SignedDistance(a->position, plane)) > tolerance ||
            std::fabs(SignedDistance(b->position, plane)) > tolerance)
          continue;
        ++onPlane;
        EXPECT_GT(Distance(a->position, b->position), tolerance);
      }
    }
    EXPECT_GT(onPlane, 0);
  }
}

TEST(CollapseClipPlaneEdges, PointJustAboveTheCutMakesNoEdgeAcrossTheSection) {
  // Two pyramids on either side of the plane x = 0, apexes (+-2, 2, 1),
  // glued along the polygon D1 (0, 1, -1), the points `above`, D2
  // (0, -1, -1). Cut by z = 0, the section is two quadrilaterals joined at
  // a waist as wide as the points above are high: only the cap diagonal
  // across the waist closes it. The points above lie within the collapse's
  // tolerance of the plane and next to the waist's ends, to which they are
  // joined along the surface. Merged into one end of the waist, a point
  // above would join it to the other end through the inside, on the very
  // diagonal the cap needs; with two points above, each merged into one
  // end, their edge would.
  struct Row {
    const char* name;
    std::vector<Vec3f> above;
  };
  const std::vector<Row> rows = {
      {"one point", {Vec3f(0, 0, 1e-4f)}},
      {"two points", {Vec3f(0, 0.01f, 1e-4f), Vec3f(0, -0.01f, 1e-4f)}},
  };
  const Plane3f plane = MakePlane(0, 0, 1, 0);
  for (const Row& row : rows) {
    Soup s;
    s.points = {Vec3f(2, 2, 1), Vec3f(-2, 2, 1), Vec3f(0, 1, -1)};
    s.points.insert(s.points.end(), row.above.begin(), row.above.end());
    s.points.push_back(Vec3f(0, -1, -1));
    const int n = int(s.points.size()) - 2;  // the glued polygon, from index 2
    for (int i = 0; i < n; ++i) {
      const int a = 2 + i, b = 2 + (i + 1) % n;
      s.tris.push_back({a, b, 0});
      s.tris.push_back({b, a, 1});
    }
    const MeshT5 source = WithBox(Build<MeshT5>(s));

    MeshT5 clipped = source;
    ClipByPlane(clipped, plane);
    ASSERT_TRUE(Consistent(clipped)) << row.name;
    std::vector<uint8_t> onBorder(clipped.vertices.size(), 0);
    for (const FaceT5& f : clipped.faces) {
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z) {
        if (f.adjFace[z] != &f) continue;
        onBorder[clipped.VertexIndex(f.v[z])] = 1;
        onBorder[clipped.VertexIndex(f.v[(z + 1) % 3])] = 1;
      }
    }
    for (const FaceT5& f : clipped.faces) {
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z)
        EXPECT_FALSE(f.adjFace[z] != &f && onBorder[clipped.VertexIndex(f.v[z])] &&
                     onBorder[clipped.VertexIndex(f.v[(z + 1) % 3])])
            << row.name << ": an inside edge joins two border points";
    }

    MeshT5 capped = source;
    ClipAndCap(capped, plane);
    ASSERT_TRUE(Consistent(capped)) << row.name;
    BuildFaceFaceAdjacency(capped);
    EXPECT_EQ(BorderEdges(capped), 0) << row.name;
    EXPECT_EQ(CheckFaceFaceTopology(capped), 0u) << row.name;
    const double exact = ClippedVolume(source, plane);
    EXPECT_NEAR(SignedVolume(capped), exact, 1e-4 * exact) << row.name;
  }
}
