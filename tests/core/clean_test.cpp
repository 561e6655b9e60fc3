#include "core/clean.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

TEST(RemoveDegenerateFaces, ComparesPointersNotPositions) {
  auto m = Build<MeshT5>({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}},
                    {{0, 1, 2}, {0, 3, 0}, {3, 3, 3}, {1, 1, 2}});
  m.faces[3].flags |= ElemFlag::Excluded;
  EXPECT_EQ(RemoveDegenerateFaces(m), 2);
  EXPECT_EQ(m.faceCount, 2);
  EXPECT_TRUE(IsLive(m.faces[0].flags));   // three distinct records at one place
  EXPECT_FALSE(IsLive(m.faces[1].flags));  // V0 = V2
  EXPECT_FALSE(IsLive(m.faces[2].flags));
  EXPECT_TRUE(IsLive(m.faces[3].flags));  // excluded faces are left alone
  EXPECT_EQ(RemoveDegenerateFaces(m), 0);
}

TEST(MergeDuplicateVertices, CubeSoupMergesToEightVerticesAndCleanTopology) {
  auto m = Build<MeshT5>(CubeTriangleSoup());
  ASSERT_EQ(m.vertexCount, 36);
  EXPECT_EQ(MergeDuplicateVertices(m), 28);
  EXPECT_EQ(m.vertexCount, 8);
  EXPECT_EQ(LiveVertices(m), 8);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(RemoveUnreferencedVertices(m), 0);
  EXPECT_EQ(m.vertexCount, 8);
}

TEST(MergeDuplicateVertices, ThreeAtOnePlaceLeaveOne) {
  auto m = Build<MeshT5>({{1, 2, 3}, {5, 5, 5}, {1, 2, 3}, {0, 0, 0}, {1, 2, 3}},
                    {{0, 1, 3}, {2, 3, 1}, {4, 1, 3}});
  EXPECT_EQ(MergeDuplicateVertices(m), 2);
  EXPECT_EQ(m.vertexCount, 3);
  VertexT5* kept = m.faces[0].v[0];
  EXPECT_TRUE(IsLive(kept->flags));
  EXPECT_EQ(m.faces[1].v[0], kept);
  EXPECT_EQ(m.faces[2].v[0], kept);
  // The merged records keep their data apart from the deleted bit.
  int deletedAtPlace = 0;
  for (auto& v : m.vertices)
    if (!IsLive(v.flags) && v.position == Vec3f(1, 2, 3)) ++deletedAtPlace;
  EXPECT_EQ(deletedAtPlace, 2);
}

TEST(MergeDuplicateVertices, DeletedAndExcludedVerticesNeverSeparateLiveOnes) {
  // 0 and 2 live at one place, 1 deleted at the same place between them by
  // index, as an edit leaves it: 2 merges into 0, and nothing into 1.
  auto m = Build<MeshT5>({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {0, 0, 0}}, {{0, 2, 3}});
  m.vertices[1].flags |= ElemFlag::Deleted;
  m.vertexCount = 3;
  EXPECT_EQ(MergeDuplicateVertices(m), 1);
  EXPECT_EQ(m.vertexCount, 2);
  EXPECT_EQ(m.faces[0].v[1], &m.vertices[0]);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));

  // An excluded (0x4) vertex is never merged away, and the live vertices at
  // its place merge among themselves, wherever it lies by index.
  for (int excluded = 0; excluded < 3; ++excluded) {
    auto e = Build<MeshT5>({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {0, 0, 0}}, {{0, 1, 3}, {2, 1, 3}});
    e.vertices[size_t(excluded)].flags |= ElemFlag::Excluded;
    EXPECT_EQ(MergeDuplicateVertices(e), 1) << excluded;
    EXPECT_TRUE(IsLive(e.vertices[size_t(excluded)].flags)) << excluded;
    int liveIncluded = 0;
    for (auto& v : e.vertices) liveIncluded += IsLiveIncluded(v.flags);
    EXPECT_EQ(liveIncluded, 2) << excluded;  // one at (2, 2, 2), and (0, 0, 0)
    EXPECT_TRUE(NoLiveFaceOnDeletedVertex(e)) << excluded;
  }
}

TEST(MergeDuplicateVertices, EmptyMeshOrNoLiveVerticesChangeNothing) {
  MeshT5 empty;
  EXPECT_EQ(MergeDuplicateVertices(empty), 0);
  auto m = Build<MeshT5>({{0, 0, 0}, {0, 0, 0}}, {});
  m.vertexCount = 0;
  EXPECT_EQ(MergeDuplicateVertices(m), 0);
  EXPECT_TRUE(IsLive(m.vertices[0].flags) && IsLive(m.vertices[1].flags));
}

TEST(MergeDuplicateVertices, NaNVerticesNeverMergeAndZeroSignsDo) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto m = Build<MeshT5>({{nan, 0, 0},
                     {nan, 0, 0},
                     {0, nan, 1},
                     {0, nan, 1},
                     {-0.0f, 0, 0},
                     {0.0f, 0, 0},
                     {3, 0, 0},
                     {nan, nan, nan}},
                    {{0, 1, 6}, {2, 3, 6}, {4, 5, 6}, {7, 7, 6}});
  EXPECT_EQ(MergeDuplicateVertices(m), 1);  // only -0 and +0
  EXPECT_EQ(m.faces[2].v[0], m.faces[2].v[1]);
  EXPECT_NE(m.faces[0].v[0], m.faces[0].v[1]);
  EXPECT_NE(m.faces[1].v[0], m.faces[1].v[1]);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
}

TEST(MergeDuplicateVertices, RepointsExcludedFacesToo) {
  auto m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}, {0, 3, 2}});
  m.faces[0].flags |= ElemFlag::Excluded2;
  m.faces[1].flags |= ElemFlag::Excluded;
  EXPECT_EQ(MergeDuplicateVertices(m), 1);
  EXPECT_EQ(m.faces[0].v[1], m.faces[1].v[1]);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
}

TEST(RemoveUnreferencedVertices, KeepsExcludedAndUsedVertices) {
  auto m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {6, 6, 6}, {7, 7, 7}},
                    {{0, 1, 2}, {3, 1, 2}, {5, 1, 2}});
  m.vertices[4].flags |= ElemFlag::Excluded;  // unused but excluded: kept
  m.faces[1].flags |= ElemFlag::Deleted;      // 3 only on a deleted face
  m.faceCount = 2;
  m.faces[2].flags |= ElemFlag::Excluded2;  // a live face keeps 5 alive
  EXPECT_EQ(RemoveUnreferencedVertices(m), 1);
  EXPECT_EQ(m.vertexCount, 5);
  EXPECT_FALSE(IsLive(m.vertices[3].flags));
  EXPECT_TRUE(IsLive(m.vertices[4].flags));
  EXPECT_TRUE(IsLive(m.vertices[5].flags));
  EXPECT_TRUE(m.vertices[0].flags & ElemFlag::Visited);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
}

TEST(DeleteSelectedFaces, DetachesFromRingsAndClearsSelection) {
  auto m = Grid<MeshT5>(2);
  BuildFaceFaceAdjacency(m);
  // Face 0 is (0,0)-(1,0)-(1,1); its edge 2 is shared with face 1.
  FaceT5* f0 = &m.faces[0];
  FaceT5* f1 = m.faces[0].adjFace[2];
  ASSERT_EQ(f1, &m.faces[1]);
  const int k = m.faces[0].adjIndex[2];
  f0->flags |= ElemFlag::Selected;
  m.faces[3].flags |= ElemFlag::Selected | ElemFlag::Excluded;  // never deleted here
  EXPECT_EQ(DeleteSelectedFaces(m), 1);
  EXPECT_EQ(m.faceCount, 7);
  EXPECT_FALSE(IsLive(f0->flags));
  EXPECT_FALSE(f0->flags & ElemFlag::Selected);
  EXPECT_EQ(f1->adjFace[k], f1);  // now a border edge
  EXPECT_EQ(f1->adjIndex[k], k);
  EXPECT_TRUE(IsLive(m.faces[3].flags));
  for (auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    for (auto* a : f.adjFace)
      EXPECT_NE(a, f0);
  }
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
}

TEST(DeleteSelectedVertices, DeletesEveryFaceOnASelectedVertex) {
  auto m = Grid<MeshT5>(2);
  BuildFaceFaceAdjacency(m);
  VertexT5* centre = &m.vertices[4];
  centre->flags |= ElemFlag::Selected;
  m.faces[0].flags |= ElemFlag::Excluded;  // excluded faces go too
  EXPECT_EQ(DeleteSelectedVertices(m), 1);
  EXPECT_EQ(m.vertexCount, 8);
  EXPECT_FALSE(IsLive(centre->flags));
  EXPECT_TRUE(centre->flags & ElemFlag::Selected);
  int deleted = 0;
  for (auto& f : m.faces) {
    bool uses = f.v[0] == centre || f.v[1] == centre || f.v[2] == centre;
    EXPECT_EQ(!IsLive(f.flags), uses);
    deleted += uses;
  }
  EXPECT_EQ(m.faceCount, 8 - deleted);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
}

TEST(DeleteSelectedFaces, ToleratesSlotsThatHoldVertexFaceLists) {
  auto m = Grid<MeshT5>(2);
  BuildVertexFaceAdjacency(m);  // null links at list ends
  for (auto& f : m.faces)
    f.flags |= ElemFlag::Selected;
  EXPECT_EQ(DeleteSelectedFaces(m), 8);
  EXPECT_EQ(m.faceCount, 0);
}
