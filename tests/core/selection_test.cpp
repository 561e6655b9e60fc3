#include "core/selection.h"

#include <gtest/gtest.h>

#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

const Color4b kWhite{255, 255, 255, 255};
const Color4b kSel{128, 128, 255, 255};
const Color4b kBlue{0, 0, 255, 255};

int SelectedFaces(const MeshT5& m) {
  int n = 0;
  for (auto& f : m.faces)
    n += (f.flags & ElemFlag::Selected) != 0;
  return n;
}

// Two tetrahedra apart from each other in one mesh.
MeshT5 TwoTetrahedra() {
  Soup a = TetrahedronSoup();
  Soup s = a;
  for (auto p : a.points)
    s.points.push_back(p + Vec3f(5, 0, 0));
  for (auto t : a.tris)
    s.tris.push_back({t[0] + 4, t[1] + 4, t[2] + 4});
  return Build<MeshT5>(s);
}

}  // namespace

TEST(Selection, UnknownKindDoesNothing) {
  auto m = Cube<MeshT5>();
  for (int kind : {2, -1, 7}) {
    EXPECT_EQ(SelectAll(m, kind), 0);
    EXPECT_EQ(ClearSelection(m, kind), 0);
    EXPECT_EQ(InvertSelection(m, kind), 0);
  }
  for (auto& f : m.faces)
    EXPECT_EQ(f.flags, 0u);
  for (auto& v : m.vertices)
    EXPECT_EQ(v.flags, 0u);
}

TEST(Selection, SelectAllSkipsDeletedAndExcludedButReturnsLiveCount) {
  auto m = CubeWithDeletedFace<MeshT5>(0);
  m.faces[1].flags |= ElemFlag::Excluded;
  EXPECT_EQ(SelectAll(m, SelectKind::Faces), 11);
  EXPECT_EQ(SelectedFaces(m), 10);
  EXPECT_FALSE(m.faces[0].flags & ElemFlag::Selected);
  EXPECT_FALSE(m.faces[1].flags & ElemFlag::Selected);
  EXPECT_EQ(SelectAll(m, SelectKind::Vertices), 8);
  EXPECT_EQ(ClearSelection(m, SelectKind::Faces), 0);
  EXPECT_EQ(SelectedFaces(m), 0);
  for (auto& v : m.vertices)
    EXPECT_TRUE(v.flags & ElemFlag::Selected);
}

TEST(Selection, InvertTwiceRestoresAndCountsAddUp) {
  auto m = Cube<MeshT5>();
  m.faces[2].flags |= ElemFlag::Selected;
  m.faces[5].flags |= ElemFlag::Selected;
  m.faces[7].flags |= ElemFlag::Excluded | ElemFlag::Selected;
  m.faces[8].flags |= ElemFlag::Deleted;
  m.faceCount = 11;
  const int a = InvertSelection(m, SelectKind::Faces);
  EXPECT_EQ(a, 8);  // 12 - deleted - excluded - the 2 selected
  const int b = InvertSelection(m, SelectKind::Faces);
  EXPECT_EQ(a + b, 10);
  EXPECT_TRUE(m.faces[2].flags & ElemFlag::Selected);
  EXPECT_TRUE(m.faces[7].flags & ElemFlag::Selected);  // excluded: untouched
  EXPECT_EQ(SelectedFaces(m), 3);
}

TEST(Selection, VerticesInsideSelectedFaces) {
  auto m = Grid<MeshT5>(2);
  m.AddVertices(1);  // used by no face: stays selected
  // The bottom row of cells: only the vertices of the bottom row of the
  // grid, (0,0), (1,0), (2,0), have no unselected face.
  for (int i : {0, 1, 2, 3})
    m.faces[size_t(i)].flags |= ElemFlag::Selected;
  SelectVerticesInsideSelectedFaces(m);
  for (size_t i = 0; i < 9; ++i)
    EXPECT_EQ((m.vertices[i].flags & ElemFlag::Selected) != 0, i < 3) << i;
  EXPECT_TRUE(m.vertices[9].flags & ElemFlag::Selected);
}

TEST(SelectConnectedComponent, TwoTetrahedraAreTwoComponents) {
  auto m = TwoTetrahedra();
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(SelectConnectedComponent(m, &m.faces[1]), 4);
  for (size_t i = 0; i < 8; ++i)
    EXPECT_EQ((m.faces[i].flags & ElemFlag::Selected) != 0, i < 4) << i;
  ClearSelection(m, SelectKind::Faces);
  EXPECT_EQ(SelectConnectedComponent(m, &m.faces[6]), 4);
  EXPECT_EQ(SelectedFaces(m), 4);
  EXPECT_TRUE(m.faces[4].flags & ElemFlag::Selected);
  EXPECT_EQ(SelectConnectedComponent(m, nullptr), 0);
}

TEST(SelectConnectedComponent, BorderStopsAndRingsCarry) {
  // A lone triangle: only itself.
  auto one = Build<MeshT5>(Soup{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}});
  BuildFaceFaceAdjacency(one);
  EXPECT_EQ(SelectConnectedComponent(one, &one.faces[0]), 1);

  // Three triangles on one edge: the ring reaches all three.
  auto m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                         {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  BuildFaceFaceAdjacency(m);
  EXPECT_EQ(SelectConnectedComponent(m, &m.faces[0]), 3);
  for (auto& f : m.faces)
    EXPECT_TRUE(f.flags & ElemFlag::Visited);
}

TEST(SelectConnectedComponent, ToleratesVertexFaceListsInTheSlots) {
  auto m = Grid<MeshT5>(3);
  BuildVertexFaceAdjacency(m);
  const int n = SelectConnectedComponent(m, &m.faces[0]);
  EXPECT_GE(n, 1);
  EXPECT_LE(n, 18);
}

template <class MeshT>
class SelectionColourings : public ::testing::Test {};
using ColouredMeshTypes = ::testing::Types<MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(SelectionColourings, ColouredMeshTypes);

TYPED_TEST(SelectionColourings, SelectedAndBorderColours) {
  auto m = Grid<TypeParam>(2);
  const Color4b old{1, 2, 3, 4};
  m.vertices[0].flags |= ElemFlag::Selected;
  m.vertices[1].flags |= ElemFlag::Selected | ElemFlag::Deleted;
  m.vertices[1].color = old;
  m.vertices[2].color = old;
  EXPECT_EQ(ColorSelectedVertices(m, kSel), 1);
  EXPECT_EQ(m.vertices[0].color, kSel);
  EXPECT_EQ(m.vertices[1].color, old);  // deleted: kept
  EXPECT_EQ(m.vertices[2].color, kWhite);

  m.faces[3].flags |= ElemFlag::Selected;
  m.faces[4].flags |= ElemFlag::Deleted | ElemFlag::Selected;
  m.faces[4].color = old;
  EXPECT_EQ(ColorSelectedFaces(m, kSel), 1);
  EXPECT_EQ(m.faces[3].color, kSel);
  EXPECT_EQ(m.faces[4].color, old);
  EXPECT_EQ(m.faces[0].color, kWhite);

  // Border bits of the grid from the edge list: the centre vertex (4) is
  // the only one off the border.
  m.faces[4].flags &= ~ElemFlag::Deleted;
  m.vertices[1].flags &= ~ElemFlag::Deleted;
  FaceBorderFromEdgeList(m);
  for (auto& f : m.faces)
    f.color = old;
  ColorBorder(m, kBlue);
  for (size_t i = 0; i < 9; ++i)
    EXPECT_EQ(m.vertices[i].color, i == 4 ? kWhite : kBlue) << i;
  for (auto& f : m.faces)
    EXPECT_EQ(f.color, (f.flags & ElemFlag::BorderAll) ? kBlue : old);
}

TYPED_TEST(SelectionColourings, BorderOnClosedMeshOnlyWhitensVertices) {
  auto m = Cube<TypeParam>();
  FaceBorderFromEdgeList(m);
  const Color4b old{9, 9, 9, 9};
  for (auto& f : m.faces)
    f.color = old;
  for (auto& v : m.vertices)
    v.color = old;
  ColorBorder(m, kBlue);
  for (auto& v : m.vertices)
    EXPECT_EQ(v.color, kWhite);
  for (auto& f : m.faces)
    EXPECT_EQ(f.color, old);
}
