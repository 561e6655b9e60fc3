// Every algorithm of the editing core over meshes that real files contain:
// NaN coordinates, zero-area faces, repeated corners, edges of three or four
// faces, faces run the wrong way. The checks are that nothing crashes, hangs
// or leaves a live face on a deleted vertex; the sanitizer build does the
// rest.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/clean.h"
#include "core/color_ramp.h"
#include "core/curvature.h"
#include "core/curvature_flip.h"
#include "core/geodesic.h"
#include "core/mass_properties.h"
#include "core/normals.h"
#include "core/selection.h"
#include "core/smooth.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

MeshT5 NastyMesh() {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Soup s = GridSoup(4);
  const int n = int(s.points.size());
  s.points.push_back({nan, 1, 1});      // n
  s.points.push_back({nan, nan, nan});  // n + 1
  s.points.push_back({1, 1, 0});        // n + 2, at vertex 6's place
  s.points.push_back({2, 2, 5});        // n + 3
  s.points.push_back({2, 2, -5});       // n + 4
  s.points.push_back({inf, 0, 0});      // n + 5
  s.tris.push_back({n, 1, 2});          // NaN corner
  s.tris.push_back({n + 1, n + 1, 3});  // repeated NaN corner
  s.tris.push_back({5, 6, 5});          // repeated corner
  s.tris.push_back({0, 1, 2});          // collinear: zero area
  s.tris.push_back({6, n + 2, 7});      // zero-length edge after merging
  s.tris.push_back({6, 12, n + 3});     // edge 6-12 now has 3 faces...
  s.tris.push_back({12, 6, n + 4});     // ...and 4
  s.tris.push_back({0, 5, 6});          // runs the wrong way next to (0,1,6)
  s.tris.push_back({n + 5, 3, 4});      // infinite corner
  return Build<MeshT5>(s);
}

void RunEverything(MeshT5& m) {
  UpdateBoundingBox(m);
  ComputeFaceNormals(m, true);
  MassProperties mp;
  mp.ComputeVolumeIntegrals(m);
  float axes[16], moments[4];
  mp.PrincipalAxes(axes, moments);

  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
  SelectAll(m, SelectKind::Faces);
  InvertSelection(m, SelectKind::Vertices);
  SelectVerticesInsideSelectedFaces(m);
  for (auto& f : m.faces)
    if (IsLive(f.flags)) SelectConnectedComponent(m, &f);
  ColorSelectedVertices(m, Color4b{128, 128, 255, 255});
  ColorSelectedFaces(m, Color4b{128, 128, 255, 255});
  ColorBorder(m, Color4b{0, 0, 255, 255});

  SmoothVertices(m, 2, false);
  ComputeFaceNormals(m, true);
  OptimizeCurvature(m, false);
  for (int i = 0; i < 10; ++i)
    FlipCoplanarEdges(m, 0.017453292f, false);

  GeodesicDistanceFromBorder(m, true);
  ColorVerticesByQualityRange(m);
  ColorFacesByQualityRange(m);
  GaussianCurvature(m);
  SmoothVertexQuality(m, 1, false);
  ColorVerticesByQualityHistogram(m);
  EXPECT_EQ(m.faceCount, LiveFaces(m));
  EXPECT_EQ(m.vertexCount, LiveVertices(m));
}

}  // namespace

TEST(DegenerateInput, EveryAlgorithmRunsOnANastyMesh) {
  auto m = NastyMesh();
  RunEverything(m);
  EXPECT_TRUE(PointersInside(m));
}

TEST(DegenerateInput, CleaningLeavesNoLiveFaceOnADeletedVertex) {
  auto m = NastyMesh();
  m.faces[3].flags |= ElemFlag::Excluded2;
  MergeDuplicateVertices(m);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  RemoveDegenerateFaces(m);
  RemoveUnreferencedVertices(m);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  BuildFaceFaceAdjacency(m);
  m.vertices[6].flags |= ElemFlag::Selected;
  DeleteSelectedVertices(m);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  for (size_t i = 0; i < m.faces.size(); i += 2)
    m.faces[i].flags |= ElemFlag::Selected;
  DeleteSelectedFaces(m);
  RemoveUnreferencedVertices(m);
  EXPECT_TRUE(NoLiveFaceOnDeletedVertex(m));
  EXPECT_EQ(m.faceCount, LiveFaces(m));
  EXPECT_EQ(m.vertexCount, LiveVertices(m));
  RunEverything(m);
  EXPECT_TRUE(PointersInside(m));
}

TEST(DegenerateInput, GaussianCurvatureIsNeverNaN) {
  auto m = NastyMesh();
  GaussianCurvature(m);
  for (auto& v : m.vertices) {
    EXPECT_FALSE(std::isnan(v.quality));
    EXPECT_LE(std::fabs(v.quality), 0.05f);
  }
}

TEST(DegenerateInput, StaleAdjacencyAfterGrowthIsRebuiltByTheCallers) {
  // Faces appended after the adjacency was built: the walks must stay
  // inside the arrays once the caller rebuilds.
  auto m = Grid<MeshT5>(3);
  BuildFaceFaceAdjacency(m);
  FaceT5* f = m.AddFaces(2);
  f[0].v[0] = &m.vertices[0];
  f[0].v[1] = &m.vertices[1];
  f[0].v[2] = &m.vertices[4];
  f[1].v[0] = &m.vertices[0];
  f[1].v[1] = &m.vertices[4];
  f[1].v[2] = &m.vertices[5];
  BuildFaceFaceAdjacency(m);
  RunEverything(m);
  EXPECT_TRUE(PointersInside(m));
}
