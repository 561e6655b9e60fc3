#include <gtest/gtest.h>

#include "core/normals.h"
#include "render/gl_mesh.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

template <class M>
class UpdateTest : public ::testing::Test {};
using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(UpdateTest, MeshTypes);

template <class G>
void SetKey(G& g, int dm, int cm, int tm) {
  g.listDrawMode = dm;
  g.listColorMode = cm;
  g.listTextureMode = tm;
}
template <class G>
std::array<int, 3> Key(const G& g) {
  return {g.listDrawMode, g.listColorMode, g.listTextureMode};
}

TYPED_TEST(UpdateTest, ConstructedDrawer) {
  GlMesh<TypeParam> g;
  EXPECT_EQ(g.mesh, nullptr);
  EXPECT_TRUE(g.edges.empty() && g.lineStrips.empty() && g.strips.empty() && g.stripFaces.empty());
  EXPECT_TRUE(g.indices.empty() && g.indexRuns.empty());
  EXPECT_EQ(g.hints, 0x1000u);
  EXPECT_FLOAT_EQ(g.angle, 0.6283185f);
  EXPECT_FLOAT_EQ(g.depthOffset, 5e-5f);
  EXPECT_EQ(g.listId, -1);
  EXPECT_EQ(Key(g), (std::array<int, 3>{0, 0, 0}));
  for (uint32_t id : g.textureIds) EXPECT_EQ(id, 0u);
  EXPECT_EQ(g.textureIds.size(), 258u);

  // Unbound: Update changes nothing, not even the key.
  SetKey(g, 5, 2, 3);
  g.Update(0xFF);
  EXPECT_EQ(Key(g), (std::array<int, 3>{5, 2, 3}));
}

TYPED_TEST(UpdateTest, FullChangeWithDefaultHints) {
  auto m = test::Cube<TypeParam>(2.0f);
  GlMesh<TypeParam> g;
  g.mesh = &m;
  g.BuildEdgeList();
  g.BuildLineStrips();
  const auto edges = g.edges;
  ASSERT_FALSE(g.lineStrips.empty());
  SetKey(g, 5, 0, 0);
  g.Update(0xFF);
  EXPECT_EQ(m.bbox.min, Vec3f(0, 0, 0));
  EXPECT_EQ(m.bbox.max, Vec3f(2, 2, 2));
  // Unnormalised: the cross product of two edges of a right triangle of legs 2.
  EXPECT_FLOAT_EQ(float(m.faces[0].normal.Norm()), 4.0f);
  EXPECT_FLOAT_EQ(m.faces[0].normal.z, -4.0f);
  // Vertex 0 sums the normals of its six faces.
  EXPECT_GT(m.vertices[0].normal.Norm(), 4.0);
  EXPECT_TRUE(g.lineStrips.empty());
  EXPECT_EQ(g.edges, edges);
  EXPECT_TRUE(g.strips.empty() && g.indices.empty() && g.indexRuns.empty());
  EXPECT_EQ(Key(g), (std::array<int, 3>{0, 0, 0}));
}

TYPED_TEST(UpdateTest, PositionsOnlyKeepLineStrips) {
  auto m = test::Cube<TypeParam>();
  GlMesh<TypeParam> g;
  g.mesh = &m;
  g.BuildEdgeList();
  g.BuildLineStrips();
  const auto strips = g.lineStrips;
  m.vertices[7].position = Vec3f(3, 3, 3);
  SetKey(g, 3, 1, 0);
  g.Update(GlChange::Positions);
  EXPECT_EQ(g.lineStrips, strips);
  EXPECT_EQ(m.bbox.max, Vec3f(3, 3, 3));
  EXPECT_EQ(Key(g), (std::array<int, 3>{0, 0, 0}));
}

TYPED_TEST(UpdateTest, MasksWithoutGeometryBits) {
  auto m = test::Cube<TypeParam>();
  GlMesh<TypeParam> g;
  g.mesh = &m;
  // 0: nothing recomputed, the key stays.
  SetKey(g, 6, 3, 2);
  g.Update(0);
  EXPECT_TRUE(m.bbox.IsNull());
  EXPECT_EQ(m.faces[0].normal, Vec3f(0, 0, 0));
  EXPECT_EQ(Key(g), (std::array<int, 3>{6, 3, 2}));
  // 0x02: still nothing recomputed, but the key is reset.
  g.Update(0x02);
  EXPECT_TRUE(m.bbox.IsNull());
  EXPECT_EQ(Key(g), (std::array<int, 3>{0, 0, 0}));
  // 0 with strips and index arrays on: the index runs are rebuilt anyway.
  g.hints = GlHint::Strips | GlHint::IndexArrays;
  g.Update(GlChange::Connectivity);
  const auto runs = g.indexRuns;
  g.indexRuns.clear();
  g.indices.clear();
  g.Update(0);
  EXPECT_EQ(g.indexRuns, runs);
  EXPECT_FALSE(g.indices.empty());
}

TYPED_TEST(UpdateTest, KeptNormals) {
  auto m = test::Cube<TypeParam>();
  GlMesh<TypeParam> g;
  g.mesh = &m;
  m.faces[2].normal = Vec3f(9, 9, 9);
  m.vertices[2].normal = Vec3f(8, 8, 8);
  g.hints |= GlHint::KeepFaceNormals | GlHint::KeepVertexNormals;
  g.Update(0xFF);
  EXPECT_EQ(m.faces[2].normal, Vec3f(9, 9, 9));
  EXPECT_EQ(m.vertices[2].normal, Vec3f(8, 8, 8));
  EXPECT_FALSE(m.bbox.IsNull());
}

TYPED_TEST(UpdateTest, EdgeListHint) {
  auto m = test::Icosphere<TypeParam>(1);
  GlMesh<TypeParam> g;
  g.mesh = &m;
  g.hints = GlHint::EdgeList;
  g.Update(0xFF);
  EXPECT_EQ(g.edges.size(), 120u);
  EXPECT_FALSE(g.lineStrips.empty());
  // With the lazy bit as well the strips are dropped again; edges stay.
  g.hints = GlHint::EdgeList | GlHint::LazyLineStrips;
  g.Update(0xFF);
  EXPECT_EQ(g.edges.size(), 120u);
  EXPECT_TRUE(g.lineStrips.empty());
}

TYPED_TEST(UpdateTest, StripsAndIndexArrays) {
  auto m = test::Icosphere<TypeParam>(2);
  GlMesh<TypeParam> g;
  g.mesh = &m;
  g.hints = GlHint::Strips | GlHint::IndexArrays;
  g.Update(0xFF);
  ASSERT_EQ(g.strips.size(), g.stripFaces.size());
  size_t drawn = 0;
  for (const auto& r : g.indexRuns) drawn += size_t(r.mode == 4 ? r.count / 3 : r.count - 2);
  EXPECT_GE(drawn, m.faces.size());
  if constexpr (HasAdjacency<typename TypeParam::FaceType>) {
    EXPECT_LT(g.strips.size(), 3 * m.faces.size());
    EXPECT_GT(g.indexRuns.size(), 1u);
  } else {
    EXPECT_EQ(g.strips.size(), 4 * m.faces.size());
    ASSERT_EQ(g.indexRuns.size(), 1u);
    EXPECT_EQ(g.indexRuns[0], (IndexRun{4, int32_t(3 * m.faces.size()), 0}));
  }
}

TYPED_TEST(UpdateTest, NoLiveFace) {
  auto m = test::Cube<TypeParam>();
  for (auto& f : m.faces) f.flags |= ElemFlag::Deleted;
  for (auto& v : m.vertices) v.flags |= ElemFlag::Deleted;
  m.faceCount = 0;
  m.vertexCount = 0;
  GlMesh<TypeParam> g;
  g.mesh = &m;
  g.hints = GlHint::Strips | GlHint::IndexArrays | GlHint::EdgeList;
  g.Update(0xFF);
  EXPECT_TRUE(m.bbox.IsNull());
  EXPECT_TRUE(g.edges.empty() && g.lineStrips.empty() && g.strips.empty() && g.stripFaces.empty());
  EXPECT_TRUE(g.indices.empty());
  EXPECT_EQ(g.indexRuns, (std::vector<IndexRun>{{4, 0, 0}}));
}

TEST(UpdateT5, AdjacencySteps) {
  auto m = test::Icosphere<MeshT5>(1);
  GlMeshT5 g;
  g.mesh = &m;
  // Strips build face-face adjacency first.
  g.hints = GlHint::Strips;
  g.Update(0xFF);
  for (auto& f : m.faces)
    for (auto* a : f.adjFace) EXPECT_NE(a, &f);  // closed: no border
  EXPECT_FALSE(g.strips.empty());
  // The vertex-face step follows any normal change.
  g.hints = GlHint::VFAdjacency;
  g.Update(GlChange::Positions);
  for (auto& v : m.vertices) EXPECT_NE(v.vfFace, nullptr);
  // With 0x100 the vertex-face lists are left as they are.
  for (auto& v : m.vertices) v.vfFace = nullptr;
  g.hints = GlHint::VFAdjacency | GlHint::KeepVF;
  g.Update(0xFF);
  for (auto& v : m.vertices) EXPECT_EQ(v.vfFace, nullptr);
}

TEST(UpdateT5, KeptStaleAdjacencyStillGivesSoundStrips) {
  // Hint 0x80 keeps whatever the slots hold; here vertex-face lists.
  auto m = test::Icosphere<MeshT5>(2);
  GlMeshT5 g;
  g.mesh = &m;
  g.hints = GlHint::VFAdjacency;
  g.Update(0xFF);
  g.hints = GlHint::Strips | GlHint::KeepFF | GlHint::KeepNonManifold | GlHint::IndexArrays;
  g.Update(0xFF);
  ASSERT_FALSE(g.strips.empty());
  EXPECT_EQ(g.strips.back(), nullptr);
  for (auto* v : g.strips)
    if (v) {
      EXPECT_TRUE(v >= m.vertices.data() && v < m.vertices.data() + m.vertices.size());
    }
}

TEST(UpdateT1, TooManyVerticesForIndexArrays) {
  auto m = test::Grid<MeshT1>(260);  // 261 x 261 = 68121 vertex slots
  GlMeshT1 g;
  g.mesh = &m;
  g.hints = GlHint::Strips | GlHint::IndexArrays;
  g.Update(0xFF);
  EXPECT_EQ(g.strips.size(), 4 * m.faces.size());
  EXPECT_TRUE(g.indexRuns.empty());
  EXPECT_TRUE(g.indices.empty());
}

}  // namespace
}  // namespace quarnel
