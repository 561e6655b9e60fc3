#include "render/tri_stripper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "core/topology.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

using test::Build;
using test::Soup;

template <class M>
struct Strips {
  std::vector<typename M::VertexType*> v;
  std::vector<typename M::FaceType*> f;
};

template <class M>
Strips<M> BuildStrips(M& m) {
  Strips<M> s;
  TriStripper<M>::Build(m, s.v, s.f);
  return s;
}

// The triangles the strips draw (degenerate ones, from swaps, left out),
// each as its sorted vertex triple, counted; with the number of triangles
// wound against the face they stand for.
template <class M>
std::map<std::array<const void*, 3>, int> StripTriangles(const Strips<M>& s, int* flipped = nullptr) {
  std::map<std::array<const void*, 3>, int> tris;
  size_t start = 0;
  for (size_t i = 0; i < s.v.size(); ++i) {
    if (s.v[i]) continue;
    for (size_t k = start; k + 2 < i; ++k) {
      auto *a = s.v[k], *b = s.v[k + 1], *c = s.v[k + 2];
      if (a == b || b == c || a == c) continue;
      std::array<const void*, 3> t{a, b, c};
      std::sort(t.begin(), t.end());
      ++tris[t];
      if (flipped) {
        // Strip triangle k - start is wound as drawn when even, reversed when odd.
        if ((k - start) % 2) std::swap(a, b);
        for (auto& f : s.f)
          if (f && FaceHasVertices(*f, a, b, c)) {
            int r = 0;
            while (f->v[r] != a) ++r;
            if (f->v[(r + 1) % 3] != b) ++*flipped;
            break;
          }
      }
    }
    start = i + 1;
  }
  return tris;
}

template <class M>
std::map<std::array<const void*, 3>, int> LiveFaceTriangles(const M& m) {
  std::map<std::array<const void*, 3>, int> tris;
  for (auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    std::array<const void*, 3> t{f.v[0], f.v[1], f.v[2]};
    std::sort(t.begin(), t.end());
    ++tris[t];
  }
  return tris;
}

template <class M>
void ExpectEveryLiveFaceOnce(M& m, const Strips<M>& s) {
  ASSERT_EQ(s.v.size(), s.f.size());
  for (size_t i = 0; i < s.v.size(); ++i) EXPECT_EQ(s.v[i] == nullptr, s.f[i] == nullptr) << i;
  if (!s.v.empty()) {
    EXPECT_EQ(s.v.back(), nullptr);
  }
  int flipped = 0;
  EXPECT_EQ(StripTriangles(s, &flipped), LiveFaceTriangles(m));
  // Culling needs every strip triangle wound as its face.
  EXPECT_EQ(flipped, 0);
  for (auto& f : m.faces)
    if (IsLive(f.flags)) {
      EXPECT_TRUE(f.flags & ElemFlag::Visited);
    }
}

template <class M>
class StripperTest : public ::testing::Test {};
using NoAdjacencyTypes = ::testing::Types<MeshT1, MeshT3, MeshT4>;
TYPED_TEST_SUITE(StripperTest, NoAdjacencyTypes);

TYPED_TEST(StripperTest, EveryLiveFaceIsAStripOfItsOwn) {
  auto m = test::CubeWithDeletedFace<TypeParam>(4);
  auto s = BuildStrips(m);
  ExpectEveryLiveFaceOnce(m, s);
  ASSERT_EQ(s.v.size(), 11u * 4);
  size_t k = 0;
  for (auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    EXPECT_EQ(s.v[k], f.v[2]);
    EXPECT_EQ(s.v[k + 1], f.v[0]);
    EXPECT_EQ(s.v[k + 2], f.v[1]);
    EXPECT_EQ(s.v[k + 3], nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.f[k + size_t(i)], &f);
    k += 4;
  }
  std::vector<IndexRun> runs;
  std::vector<uint16_t> idx;
  EXPECT_TRUE(TriStripper<TypeParam>::BuildIndexArrays(m, s.v, runs, idx));
  EXPECT_EQ(runs, (std::vector<IndexRun>{{4, 33, 0}}));
  ASSERT_EQ(idx.size(), 33u);
  EXPECT_EQ(idx[0], m.faces[0].v[2] - m.vertices.data());
  EXPECT_EQ(idx[1], m.faces[0].v[0] - m.vertices.data());
}

TYPED_TEST(StripperTest, StartsAndCountsFindNothing) {
  auto m = test::Tetrahedron<TypeParam>();
  TriStripper<TypeParam> stripper(m);
  auto* f = &m.faces[1];
  const std::array<std::pair<int, int>, 6> expected{{{0, 1}, {0, 0}, {1, 2}, {1, 1}, {2, 0}, {2, 2}}};
  for (int i = 0; i < 6; ++i) {
    typename TriStripper<TypeParam>::Cursor c;
    EXPECT_EQ(stripper.TryStart(c, f, i), 0);
    EXPECT_EQ(c.f, f);
    EXPECT_EQ(c.z, expected[size_t(i)].first);
    EXPECT_EQ(c.v, f->v[expected[size_t(i)].second]);
    size_t n = 3;
    EXPECT_FALSE(stripper.Advance(c, n));
    EXPECT_EQ(n, 3u);
  }
  EXPECT_EQ(stripper.CountFreeNeighbours(f), 0);
  // Faces that all share edges still give one strip each.
  auto s = BuildStrips(m);
  EXPECT_EQ(std::count(s.v.begin(), s.v.end(), nullptr), 4);
  ExpectEveryLiveFaceOnce(m, s);
}

TEST(StripperT5, SingleTriangleAndPair) {
  Soup one;
  one.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  one.tris = {{0, 1, 2}};
  auto m = Build<MeshT5>(one);
  BuildFaceFaceAdjacency(m);
  auto s = BuildStrips(m);
  auto* v = m.vertices.data();
  EXPECT_EQ(s.v, (std::vector<VertexT5*>{v + 2, v, v + 1, nullptr}));
  std::vector<IndexRun> runs;
  std::vector<uint16_t> idx;
  TriStripper<MeshT5>::BuildIndexArrays(m, s.v, runs, idx);
  EXPECT_EQ(runs, (std::vector<IndexRun>{{4, 3, 0}}));
  EXPECT_EQ(idx, (std::vector<uint16_t>{2, 0, 1}));

  Soup two;
  two.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  two.tris = {{0, 1, 2}, {1, 3, 2}};
  auto p = Build<MeshT5>(two);
  BuildFaceFaceAdjacency(p);
  auto t = BuildStrips(p);
  ASSERT_EQ(t.v.size(), 5u);
  EXPECT_EQ(t.v[4], nullptr);
  ASSERT_EQ(t.f.size(), 5u);
  EXPECT_EQ(t.f[0], t.f[1]);
  EXPECT_EQ(t.f[1], t.f[2]);
  EXPECT_NE(t.f[3], t.f[0]);
  ExpectEveryLiveFaceOnce(p, t);
  TriStripper<MeshT5>::BuildIndexArrays(p, t.v, runs, idx);
  EXPECT_EQ(runs, (std::vector<IndexRun>{{5, 4, 0}, {4, 0, 4}}));
  EXPECT_EQ(idx.size(), 4u);
}

TEST(StripperT5, EveryLiveFaceExactlyOnceOnClosedAndOpenMeshes) {
  for (int level = 0; level <= 3; ++level) {
    auto m = test::Icosphere<MeshT5>(level);
    BuildFaceFaceAdjacency(m);
    auto s = BuildStrips(m);
    ExpectEveryLiveFaceOnce(m, s);
    // Strips are worth having: far fewer vertices than three per face.
    if (level >= 2) {
      EXPECT_LT(s.v.size(), m.faces.size() * 2);
    }
  }
  auto grid = test::Grid<MeshT5>(20);
  BuildFaceFaceAdjacency(grid);
  ExpectEveryLiveFaceOnce(grid, BuildStrips(grid));
  auto torus = Build<MeshT5>(test::TorusSoup(30, 12));
  BuildFaceFaceAdjacency(torus);
  ExpectEveryLiveFaceOnce(torus, BuildStrips(torus));

  // Deleted faces stay out; adjacency rebuilt without them.
  auto holed = test::Grid<MeshT5>(10);
  for (size_t i = 0; i < holed.faces.size(); i += 7) {
    holed.faces[i].flags |= ElemFlag::Deleted;
    --holed.faceCount;
  }
  BuildFaceFaceAdjacency(holed);
  ExpectEveryLiveFaceOnce(holed, BuildStrips(holed));
}

TEST(StripperT5, NonManifoldEdgesDetachedFirst) {
  // Three faces on one edge, detached as the drawer's update does.
  auto m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                         {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}});
  BuildFaceFaceAdjacency(m);
  DetachNonManifoldEdges(m);
  ExpectEveryLiveFaceOnce(m, BuildStrips(m));
}

TEST(StripperT5, BrokenAdjacencyNeverHangsOrReadsOutside) {
  auto m = test::Icosphere<MeshT5>(2);
  // Never built: every link null.
  ExpectEveryLiveFaceOnce(m, BuildStrips(m));
  // Links out of the array, bad edge indices, to deleted faces, and a ring
  // that does not link back.
  BuildFaceFaceAdjacency(m);
  m.faces[0].adjFace[0] = m.faces.data() + m.faces.size() + 5;
  m.faces[1].adjIndex[1] = 7;
  m.faces[2].adjIndex[0] = -1;
  m.faces[3].adjFace[2] = &m.faces[10];
  m.faces[10].flags |= ElemFlag::Deleted;
  --m.faceCount;
  for (size_t i = 20; i < 60; ++i) m.faces[i].adjFace[i % 3] = &m.faces[(i * 37) % m.faces.size()];
  auto s = BuildStrips(m);
  ASSERT_EQ(s.v.size(), s.f.size());
  EXPECT_EQ(s.v.back(), nullptr);
  // Every strip vertex is a vertex of the mesh, every strip face a live face.
  for (size_t i = 0; i < s.v.size(); ++i) {
    if (!s.v[i]) continue;
    EXPECT_TRUE(s.v[i] >= m.vertices.data() && s.v[i] < m.vertices.data() + m.vertices.size());
    EXPECT_TRUE(IsLive(s.f[i]->flags));
  }
  // The vertex-face lists in the slots (built last) are no face-face rings.
  auto vf = test::Icosphere<MeshT5>(1);
  BuildVertexFaceAdjacency(vf);
  auto t = BuildStrips(vf);
  EXPECT_EQ(t.v.back(), nullptr);
}

TEST(StripperT5, RepeatedVerticesAndBrokenLinksStillPlaceEveryFaceOnce) {
  // Faces that repeat a vertex give rings and links that do not come back;
  // more links are then broken at random. Every live face must stand in
  // exactly one strip, once (a swap names the face it returns to again, next
  // to itself).
  std::mt19937 rng(5);
  const std::vector<Soup> shapes = {test::GridSoup(4), test::IcosphereSoup(1),
                                    test::TorusSoup(6, 4)};
  for (int round = 0; round < 300; ++round) {
    Soup s = shapes[size_t(round) % shapes.size()];
    const size_t faces = s.tris.size();
    for (int k = 0; k < 1 + round % 4; ++k) {
      auto& tri = s.tris[rng() % faces];
      tri[(rng() % 3)] = tri[(rng() % 3)];
    }
    auto m = Build<MeshT5>(s);
    if (round % 5 == 0) {
      m.faces[rng() % faces].flags |= ElemFlag::Deleted;
      m.faceCount = test::LiveFaces(m);
    }
    BuildFaceFaceAdjacency(m);
    for (int k = 0; k < round % 3; ++k) {
      FaceT5& f = m.faces[rng() % faces];
      const int z = int(rng() % 3);
      f.adjFace[z] = &m.faces[rng() % faces];
      f.adjIndex[z] = int8_t(rng() % 3);
    }
    auto strips = BuildStrips(m);
    std::map<const FaceT5*, int> placed;
    for (size_t i = 0; i < strips.f.size(); ++i)
      if (strips.f[i] && (i == 0 || strips.f[i - 1] != strips.f[i])) ++placed[strips.f[i]];
    int live = 0;
    for (const FaceT5& f : m.faces) {
      if (!IsLive(f.flags)) continue;
      ++live;
      EXPECT_EQ(placed[&f], 1) << "round " << round << " face " << &f - m.faces.data();
    }
    EXPECT_EQ(int(placed.size()), live) << "round " << round;
  }
}

TEST(StripperT5, FaceCountAboveTheLiveFacesStopsAtTheArrayEnd) {
  auto m = test::Cube<MeshT5>();
  m.faceCount = 1000;
  BuildFaceFaceAdjacency(m);
  ExpectEveryLiveFaceOnce(m, BuildStrips(m));
}

TEST(IndexArrays, RunsFromMixedStrips) {
  auto m = test::Grid<MeshT5>(3);
  auto* v = m.vertices.data();
  // A strip of five, a lone triangle, a strip of four, a lone triangle.
  std::vector<VertexT5*> s{v, v + 1, v + 2, v + 3, v + 4, nullptr, v + 5, v + 6, v + 7, nullptr,
                           v + 8, v + 9, v + 10, v + 11, nullptr, v + 12, v + 13, v + 14, nullptr};
  std::vector<IndexRun> runs;
  std::vector<uint16_t> idx;
  ASSERT_TRUE(TriStripper<MeshT5>::BuildIndexArrays(m, s, runs, idx));
  EXPECT_EQ(runs, (std::vector<IndexRun>{{5, 5, 0}, {5, 4, 5}, {4, 6, 9}}));
  EXPECT_EQ(idx, (std::vector<uint16_t>{0, 1, 2, 3, 4, 8, 9, 10, 11, 5, 6, 7, 12, 13, 14}));

  std::vector<VertexT5*> none;
  ASSERT_TRUE(TriStripper<MeshT5>::BuildIndexArrays(m, none, runs, idx));
  EXPECT_EQ(runs, (std::vector<IndexRun>{{4, 0, 0}}));
  EXPECT_TRUE(idx.empty());
}

TEST(IndexArrays, NotBuiltBeyondSixteenBits) {
  MeshT1 m;
  m.vertices.resize(65536);
  std::vector<VertexT1*> s{&m.vertices[65535], &m.vertices[0], &m.vertices[1], nullptr};
  std::vector<IndexRun> runs;
  std::vector<uint16_t> idx;
  EXPECT_TRUE(TriStripper<MeshT1>::BuildIndexArrays(m, s, runs, idx));
  EXPECT_EQ(idx, (std::vector<uint16_t>{65535, 0, 1}));
  m.vertices.resize(65537);
  s = {&m.vertices[65536], &m.vertices[0], &m.vertices[1], nullptr};
  EXPECT_FALSE(TriStripper<MeshT1>::BuildIndexArrays(m, s, runs, idx));
  EXPECT_TRUE(runs.empty());
  EXPECT_TRUE(idx.empty());
}

}  // namespace
}  // namespace quarnel
