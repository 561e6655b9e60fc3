#include "core/topology.h"

#include <gtest/gtest.h>

#include "core/normals.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

TEST(FaceFace, SingleTriangleAndPair) {
  MeshT5 one = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  BuildFaceFaceAdjacency(one);
  for (int z = 0; z < 3; ++z) {
    EXPECT_EQ(one.faces[0].adjFace[z], &one.faces[0]);
    EXPECT_EQ(one.faces[0].adjIndex[z], z);
  }
  EXPECT_EQ(CheckFaceFaceTopology(one), 0u);

  MeshT5 two = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
  BuildFaceFaceAdjacency(two);
  EXPECT_EQ(two.faces[0].adjFace[2], &two.faces[1]);
  EXPECT_EQ(two.faces[0].adjIndex[2], 0);
  EXPECT_EQ(two.faces[1].adjFace[0], &two.faces[0]);
  EXPECT_EQ(CheckFaceFaceTopology(two), 0u);

  // One face reversed: the shared edge runs the same way in both faces.
  std::swap(two.faces[1].v[1], two.faces[1].v[2]);
  BuildFaceFaceAdjacency(two);
  uint32_t mask = CheckFaceFaceTopology(two);
  EXPECT_TRUE(mask & (TopologyProblem::VertexMismatch1 | TopologyProblem::VertexMismatch2));
}

TEST(FaceFace, PairLinksThatDisagreeAreReported) {
  auto pair = [] {
    MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 0}},
                             {{0, 1, 2}, {0, 2, 3}});
    BuildFaceFaceAdjacency(m);
    return m;
  };
  // Face 1 links back to face 0, but names the wrong edge of it.
  MeshT5 index = pair();
  index.faces[1].adjIndex[0] = 1;
  EXPECT_TRUE(CheckFaceFaceTopology(index) & TopologyProblem::BackIndex);
  // Face 1's far corner of the shared edge is another vertex: seen from
  // face 0 the first corner matches and the second does not.
  MeshT5 corner = pair();
  corner.faces[1].v[1] = &corner.vertices[4];
  const uint32_t mask = CheckFaceFaceTopology(corner);
  EXPECT_TRUE(mask & TopologyProblem::VertexMismatch2);
  EXPECT_FALSE(mask & TopologyProblem::BackIndex);
}

TEST(FaceFace, ClosedShapesAreClean) {
  MeshT5 cube = Cube<MeshT5>();
  BuildFaceFaceAdjacency(cube);
  EXPECT_EQ(CheckFaceFaceTopology(cube), 0u);
  MeshT5 ico = Icosphere<MeshT5>(2);
  BuildFaceFaceAdjacency(ico);
  EXPECT_EQ(CheckFaceFaceTopology(ico), 0u);
  // Nothing to build: the slots keep what they held.
  MeshT5 empty;
  BuildFaceFaceAdjacency(empty);
  EXPECT_EQ(CheckFaceFaceTopology(empty), 0u);
}

TEST(FaceFace, NonManifoldRingIsReportedAndDetached) {
  MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                      {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  BuildFaceFaceAdjacency(m);
  // The ring of the shared edge visits all three faces.
  EXPECT_TRUE(CheckFaceFaceTopology(m) & TopologyProblem::NonManifoldRing);
  int n = DetachNonManifoldEdges(m);
  EXPECT_GE(n, 1);
  EXPECT_FALSE(CheckFaceFaceTopology(m) & TopologyProblem::NonManifoldRing);
  int detached = 0;
  for (auto& f : m.faces) detached += (f.flags & ElemFlag::Detached) != 0;
  EXPECT_GE(detached, 2);
}

TEST(FaceFace, DegenerateFaceIsReportedAndEdgesSkipped) {
  MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}}, {{0, 1, 1}});
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), TopologyProblem::DegenerateFace);
}

TEST(FaceFace, CorruptRingDoesNotHang) {
  MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                      {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  BuildFaceFaceAdjacency(m);
  // Make a ring that never returns to face 0.
  m.faces[1].adjFace[0] = &m.faces[2];
  m.faces[1].adjIndex[0] = 0;
  m.faces[2].adjFace[0] = &m.faces[1];
  m.faces[2].adjIndex[0] = 0;
  m.faces[0].adjFace[0] = &m.faces[1];
  EXPECT_TRUE(CheckFaceFaceTopology(m) & TopologyProblem::OpenRing);
  EXPECT_FALSE(DetachFaceFromRing(&m.faces[0], 0, 10));
  DetachNonManifoldEdges(m);  // returns; the count does not matter here
}

TEST(VertexFace, ListsHeadWithLastFaceAndSkipUnused) {
  MeshT5 m = Cube<MeshT5>();
  m.AddVertices(1);  // unused
  BuildVertexFaceAdjacency(m);
  EXPECT_EQ(m.vertices.back().vfFace, nullptr);
  // Vertex 7 is used by faces 2, 3, 6, 7, 10, 11: the head is the last one.
  EXPECT_EQ(m.vertices[7].vfFace, &m.faces[11]);
  int count = 0;
  for (FaceT5* f = m.vertices[0].vfFace; f;) {
    int c = 0;
    while (f->v[c] != &m.vertices[0]) ++c;
    ++count;
    int nc = f->adjIndex[c];
    f = f->adjFace[c];
    (void)nc;
  }
  EXPECT_EQ(count, 6);
  // Detaching the head hands the list on to its successor.
  FaceT5* head = m.vertices[0].vfFace;
  head->DetachFromVF(head->v[0] == &m.vertices[0] ? 0 : head->v[1] == &m.vertices[0] ? 1 : 2);
  EXPECT_NE(m.vertices[0].vfFace, head);
}

TEST(FlipEdge, SquareDiagonalFlipsBackAndForth) {
  // Square 0-1-2-3 with a triangle glued on edge 1-2 to check the outer link.
  MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0.5f, 0}},
                      {{0, 1, 2}, {0, 2, 3}, {1, 4, 2}});
  BuildFaceFaceAdjacency(m);
  ASSERT_EQ(CheckFaceFaceTopology(m), 0u);
  ASSERT_TRUE(FlipEdge(&m.faces[0], 2));
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  // The diagonal is now 1-3.
  auto has = [](const FaceT5& f, const VertexT5* a) {
    return f.v[0] == a || f.v[1] == a || f.v[2] == a;
  };
  EXPECT_TRUE(has(m.faces[0], &m.vertices[3]) && has(m.faces[0], &m.vertices[1]));
  EXPECT_TRUE(has(m.faces[1], &m.vertices[3]) && has(m.faces[1], &m.vertices[1]));
  // The glued triangle still links back to whichever face owns edge 1-2.
  FaceT5& t = m.faces[2];
  int zt = 2;  // edge 2 of t runs 2 -> 1
  FaceT5* owner = t.adjFace[zt];
  EXPECT_EQ(owner->adjFace[t.adjIndex[zt]], &t);
  // Flip the new diagonal: the first diagonal comes back.
  int z = 0;
  while (m.faces[0].adjFace[z] != &m.faces[1]) ++z;
  ASSERT_TRUE(FlipEdge(&m.faces[0], z));
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_TRUE(has(m.faces[0], &m.vertices[0]) && has(m.faces[0], &m.vertices[2]));
  // A border edge is not flipped.
  EXPECT_FALSE(FlipEdge(&m.faces[2], 0));
}

TEST(FlipEdge, RefusesNonManifoldEdge) {
  MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                      {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  BuildFaceFaceAdjacency(m);
  auto before = m.faces;
  for (int z = 0; z < 3; ++z) FlipEdge(&m.faces[0], z);
  EXPECT_EQ(m.faces[0].v[0], before[0].v[0]);
  EXPECT_EQ(m.faces[0].v[1], before[0].v[1]);
  EXPECT_EQ(m.faces[0].v[2], before[0].v[2]);
}

TEST(FacePos, NextBorderWalksTheBoundaryOfAStrip) {
  MeshT5 m = Grid<MeshT5>(3);
  BuildFaceFaceAdjacency(m);
  // Find a border edge to start from.
  FacePos start;
  for (auto& f : m.faces)
    for (int z = 0; z < 3; ++z)
      if (f.adjFace[z] == &f && !start.f) start = FacePos(&f, z);
  ASSERT_NE(start.f, nullptr);
  FacePos p = start;
  int steps = 0;
  do {
    ASSERT_TRUE(p.NextBorder(m.faces.size()));
    ++steps;
  } while (!(p == start) && steps < 100);
  EXPECT_EQ(steps, 12);  // 4 sides of 3 edges
}

TEST(MeshRecords, AddFacesAndVerticesRebaseEveryPointer) {
  MeshT5 m = Cube<MeshT5>();
  m.faces.shrink_to_fit();
  m.faces[3].flags |= ElemFlag::Deleted;  // deleted faces are rebased too
  BuildFaceFaceAdjacency(m);
  FaceT5* keep = &m.faces[5];
  FaceT5* none = nullptr;
  FaceT5* first = m.AddFaces(3, {&keep, &none});
  EXPECT_EQ(first, &m.faces[12]);
  EXPECT_EQ(keep, &m.faces[5]);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(m.faceCount, 15);
  EXPECT_EQ(first->flags, 0u);
  EXPECT_EQ(first->wedge[2].texIndex, 0);
  EXPECT_EQ(first->v[0], nullptr);
  first[0].v[0] = first[0].v[1] = first[0].v[2] = &m.vertices[0];
  first[1].v[0] = first[1].v[1] = first[1].v[2] = &m.vertices[0];
  first[2].v[0] = first[2].v[1] = first[2].v[2] = &m.vertices[0];
  EXPECT_TRUE(PointersInside(m));
  m.vertices.shrink_to_fit();
  VertexT5* kv = &m.vertices[2];
  VertexT5* nv = m.AddVertices(4, {&kv});
  EXPECT_EQ(nv, &m.vertices[8]);
  EXPECT_EQ(kv, &m.vertices[2]);
  EXPECT_EQ(nv->quality, 0.0f);
  EXPECT_EQ(nv->color, Color4b{});
  EXPECT_TRUE(PointersInside(m));
  EXPECT_EQ(m.faces[3].v[0], &m.vertices[4]);
  MeshT5 empty;
  FaceT5* f0 = empty.AddFaces(1);
  EXPECT_EQ(f0, &empty.faces[0]);
  EXPECT_EQ(empty.AddFaces(0), empty.faces.data() + 1);
  // A copy points into its own arrays.
  MeshT5 copy = m;
  EXPECT_TRUE(PointersInside(copy));
}

TEST(MeshRecords, UserBitsAndTempVertexData) {
  UserBitCounter::Reset();
  uint32_t a = UserBitCounter::Take(), b = UserBitCounter::Take();
  EXPECT_EQ(a, 0x400u);
  EXPECT_EQ(b, 0x800u);
  UserBitCounter::Release(a);  // not the current one: no change
  EXPECT_EQ(UserBitCounter::Current(), 0x800u);
  UserBitCounter::Release(b);
  UserBitCounter::Release(a);
  EXPECT_EQ(UserBitCounter::Current(), 0x200u);

  MeshT3 m = Tetrahedron<MeshT3>();
  m.vertices[1].flags = ElemFlag::Deleted | ElemFlag::Selected;
  m.vertices[2].flags = ElemFlag::Visited;
  {
    TempVertexData<MeshT3> t(m);
    t.Start(0, 0xFFFFFFFFu);
    EXPECT_EQ(t(&m.vertices[2]).savedFlags, ElemFlag::Visited);
    t(&m.vertices[3]).word0 = 7;
    EXPECT_EQ(t.At(3).word0, 7u);
    // Leaving early restores the flags too.
  }
  EXPECT_EQ(m.vertices[1].flags, ElemFlag::Deleted | ElemFlag::Selected);
  EXPECT_EQ(m.vertices[2].flags, ElemFlag::Visited);
  EXPECT_EQ(m.vertices[0].flags, 0u);
  TempVertexData<MeshT3> t(m);
  t.Start(0, 0);
  t.Stop();
  EXPECT_EQ(m.vertices[1].flags, ElemFlag::Deleted | ElemFlag::Selected);
}

TEST(MeshRecords, FaceHasVerticesIsOrderFree) {
  MeshT1 m = Tetrahedron<MeshT1>();
  auto* v = m.vertices.data();
  EXPECT_EQ(FaceHasVertices(m.faces[0], &v[1], &v[0], &v[2]), 1);
  EXPECT_EQ(FaceHasVertices(m.faces[0], &v[1], &v[0], &v[3]), 0);
  MeshT1 fresh;
  EXPECT_TRUE(fresh.bbox.IsNull());
  EXPECT_EQ(fresh.faceCount, 0);
}
