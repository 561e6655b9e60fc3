#include "render/edge_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "support/mesh_builders.h"

namespace quarnel {
namespace {

using test::Build;
using test::Soup;

template <class M>
class EdgeListTest : public ::testing::Test {};
using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(EdgeListTest, MeshTypes);

template <class M>
struct Built {
  std::vector<EdgeOf<M>> edges;
  std::vector<typename M::VertexType*> strips;
};

template <class M>
Built<M> BuildBoth(M& m) {
  Built<M> b;
  BuildEdgeList(m, b.edges);
  BuildLineStrips(m, b.edges, b.strips);
  return b;
}

// Every step of every strip, as an undirected pair with the lower address
// first, counted.
template <class V>
std::map<std::pair<V*, V*>, int> StripSteps(const std::vector<V*>& strips) {
  std::map<std::pair<V*, V*>, int> steps;
  for (size_t i = 1; i < strips.size(); ++i) {
    if (!strips[i - 1] || !strips[i]) continue;
    ++steps[std::minmax(strips[i - 1], strips[i])];
  }
  return steps;
}

// The structural promises on any mesh: edges sorted, unique, lower address
// first, exactly the edges of the live faces; strips walk each edge exactly
// once, single nulls between strips, none at either end.
template <class M>
void ExpectSound(M& m, size_t expectedEdges) {
  using V = typename M::VertexType;
  std::vector<uint32_t> before;
  for (auto& v : m.vertices) before.push_back(v.flags);
  Built<M> b = BuildBoth(m);

  ASSERT_EQ(b.edges.size(), expectedEdges);
  std::set<std::pair<V*, V*>> fromFaces;
  for (auto& f : m.faces)
    if (IsLive(f.flags))
      for (int k = 0; k < 3; ++k) fromFaces.insert(std::minmax(f.v[k], f.v[(k + 1) % 3]));
  const std::set<std::pair<V*, V*>> built(b.edges.begin(), b.edges.end());
  EXPECT_EQ(built, fromFaces);
  EXPECT_TRUE(std::is_sorted(b.edges.begin(), b.edges.end()));
  EXPECT_EQ(std::adjacent_find(b.edges.begin(), b.edges.end()), b.edges.end());
  for (auto& e : b.edges) EXPECT_LE(e.first, e.second);

  auto steps = StripSteps(b.strips);
  EXPECT_EQ(steps.size(), b.edges.size());
  for (auto& [edge, n] : steps) {
    EXPECT_EQ(n, 1) << "edge walked " << n << " times";
    EXPECT_TRUE(std::binary_search(b.edges.begin(), b.edges.end(), edge));
  }
  if (!b.strips.empty()) {
    EXPECT_NE(b.strips.front(), nullptr);
    EXPECT_NE(b.strips.back(), nullptr);
  }
  for (size_t i = 1; i < b.strips.size(); ++i)
    EXPECT_FALSE(!b.strips[i - 1] && !b.strips[i]) << "two nulls in a row at " << i;

  std::vector<uint32_t> after;
  for (auto& v : m.vertices) after.push_back(v.flags);
  EXPECT_EQ(after, before);
}

TYPED_TEST(EdgeListTest, OneTriangleIsOneClosedStrip) {
  auto m = Build<TypeParam>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{2, 0, 1}});
  auto b = BuildBoth(m);
  auto* v = m.vertices.data();
  ASSERT_EQ(b.edges.size(), 3u);
  EXPECT_EQ(b.edges[0], std::make_pair(v + 0, v + 1));
  EXPECT_EQ(b.edges[1], std::make_pair(v + 0, v + 2));
  EXPECT_EQ(b.edges[2], std::make_pair(v + 1, v + 2));
  EXPECT_EQ(b.strips, (std::vector<typename TypeParam::VertexType*>{v, v + 1, v + 2, v}));
}

TYPED_TEST(EdgeListTest, TwoTrianglesSharingAnEdge) {
  auto m = Build<TypeParam>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}});
  auto b = BuildBoth(m);
  auto* v = m.vertices.data();
  using P = EdgeOf<TypeParam>;
  EXPECT_EQ(b.edges, (std::vector<P>{{v, v + 1}, {v, v + 2}, {v + 1, v + 2}, {v + 1, v + 3},
                                     {v + 2, v + 3}}));
  EXPECT_EQ(b.strips, (std::vector<typename TypeParam::VertexType*>{v, v + 1, v + 2, v, nullptr,
                                                                     v + 1, v + 3, v + 2}));
}

TYPED_TEST(EdgeListTest, DisjointTrianglesGiveTwoStrips) {
  auto m = Build<TypeParam>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}},
                            {{0, 1, 2}, {3, 4, 5}});
  auto b = BuildBoth(m);
  ASSERT_EQ(b.strips.size(), 9u);
  EXPECT_EQ(std::count(b.strips.begin(), b.strips.end(), nullptr), 1);
  EXPECT_EQ(b.strips[4], nullptr);
  ExpectSound(m, 6);
}

TYPED_TEST(EdgeListTest, EveryEdgeOnceOnIcosahedronAndGrid) {
  auto ico = Build<TypeParam>(test::IcosphereSoup(0));
  ExpectSound(ico, 30);
  auto ico2 = Build<TypeParam>(test::IcosphereSoup(2));
  ExpectSound(ico2, 480);
  const int n = 7;
  auto grid = Build<TypeParam>(test::GridSoup(n));
  ExpectSound(grid, size_t(3 * n * n + 2 * n));
  auto torus = Build<TypeParam>(test::TorusSoup(9, 5));
  ExpectSound(torus, 3 * 9 * 5);
}

TYPED_TEST(EdgeListTest, DeletedFacesAndVertexFlags) {
  // A deleted face adds no edge; vertex flags of every kind (deleted
  // vertices included) come back unchanged.
  auto m = test::CubeWithDeletedFace<TypeParam>(0);
  m.vertices[3].flags = ElemFlag::Selected | ElemFlag::Border1;
  m.vertices[5].flags = ElemFlag::Deleted | 0x80000000u;
  ExpectSound(m, 18);
  auto whole = test::Cube<TypeParam>();
  ExpectSound(whole, 18);
}

TYPED_TEST(EdgeListTest, NoLiveFaceGivesEmptyLists) {
  auto m = test::Cube<TypeParam>();
  for (auto& f : m.faces) f.flags |= ElemFlag::Deleted;
  // faceCount disagrees with the flags on purpose: the walk must not read
  // the first edge of an empty list.
  auto b = BuildBoth(m);
  EXPECT_TRUE(b.edges.empty());
  EXPECT_TRUE(b.strips.empty());

  TypeParam empty;
  auto e = BuildBoth(empty);
  EXPECT_TRUE(e.edges.empty());
  EXPECT_TRUE(e.strips.empty());
}

TYPED_TEST(EdgeListTest, RepeatedVertexAndDuplicateFace) {
  auto m = Build<TypeParam>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 1, 2}, {0, 0, 1}});
  auto b = BuildBoth(m);
  auto* v = m.vertices.data();
  using P = EdgeOf<TypeParam>;
  EXPECT_EQ(b.edges, (std::vector<P>{{v, v}, {v, v + 1}, {v, v + 2}, {v + 1, v + 2}}));
  // The loop edge is a step that stays on its vertex.
  EXPECT_EQ(b.strips, (std::vector<typename TypeParam::VertexType*>{v, v, v + 1, v + 2, v}));
}

TEST(TempVertexData, RestoresFlagsOnStopAndOnEarlyExit) {
  auto m = test::Cube<MeshT3>();
  for (size_t i = 0; i < m.vertices.size(); ++i) m.vertices[i].flags = uint32_t(i * 0x1111) | 1u;
  std::vector<uint32_t> before;
  for (auto& v : m.vertices) before.push_back(v.flags);
  auto flags = [&] {
    std::vector<uint32_t> f;
    for (auto& v : m.vertices) f.push_back(v.flags);
    return f;
  };
  {
    TempVertexData<MeshT3> t(m);
    t.Start(0, UINT32_MAX);
    for (auto& v : m.vertices) {
      EXPECT_EQ(t(&v).word0, 0u);
      EXPECT_EQ(t(&v).word1, UINT32_MAX);
      t(&v).word0 = 77;
    }
    EXPECT_EQ(t(&m.vertices[6]).savedFlags, before[6]);
    t.Stop();
    EXPECT_EQ(flags(), before);
  }
  EXPECT_EQ(flags(), before);
  // An algorithm that leaves by an exception still gives the flags back.
  try {
    TempVertexData<MeshT3> t(m);
    t.Start(1, 2);
    EXPECT_NE(flags(), before);
    throw std::runtime_error("early");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(flags(), before);

  MeshT1 empty;
  TempVertexData<MeshT1> t(empty);
  t.Start(0, 0);
  EXPECT_EQ(t.Size(), 0u);
  t.Stop();
}

}  // namespace
}  // namespace quarnel
