// Clip and Cap of real models as the loader reads them: cuts that once
// stayed open. The models are in tests/data/real_models (their sources and
// licences in SOURCES.md there, the licences' notices in NOTICES), four of
// them as the part of the model that the cut reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/clip_ops.h"
#include "core/normals.h"
#include "core/topology.h"
#include "io/ply_importer.h"
#include "support/volumes.h"

namespace quarnel {
namespace {

struct RealCut {
  const char* file;
  Plane3f plane;
};

// The first three cross-sections are one or two simple loops. The plane edge
// collapse used to join a point just off the plane to two points of the loop
// that are not neighbours on it: the edge across the section kept the whole
// loop open (the first two), or the side faces it laid flat pinched the loop
// and left a slit (the blade). The next horse's two loops meet in the plane:
// the cap used to leave such a group of loops open. The last horse's three
// loops keep apart, one inside another, their points a little off the plane
// where the edge collapse moved them: capped by ear clipping, as a loop with
// its hole, the volume is exact.
const RealCut kCuts[] = {
    {"fixed_top.ply", {Vec3f(0.563594043f, 0.505864143f, 0.653041542f), 46.7124557f}},
    {"horse_cut.ply", {Vec3f(0.171397537f, 0.953646183f, -0.247349694f), -0.0326444693f}},
    {"turbineblade_cut.ply", {Vec3f(-0.0532669947f, -0.971538901f, -0.23081322f), -36.7516785f}},
    {"horse_meeting_loops_cut.ply",
     {Vec3f(0.961473405f, -0.262928993f, 0.0802320689f), 0.0365905836f}},
    {"horse_apart_loops_cut.ply",
     {Vec3f(-0.611407042f, -0.187315747f, -0.768826544f), 0.00114530185f}},
};

TEST(RealModelCuts, ClipAndCapClosesTheCut) {
  const char* data = std::getenv("QUARNEL_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QUARNEL_TEST_DATA names the tests' data folder";
  for (const RealCut& cut : kCuts) {
    SCOPED_TRACE(cut.file);
    const std::string path = std::string(data) + "/real_models/" + cut.file;
    MeshT5 mesh;
    IoMask mask{};
    ASSERT_EQ(PlyImporter::Open(mesh, path.c_str(), 0, nullptr, 0, nullptr, mask, {}), 0) << path;
    UpdateBoundingBox(mesh);
    const double exact = test::ClippedVolume(mesh, cut.plane);
    ClipAndCap(mesh, cut.plane);

    int border = 0;
    for (const FaceT5& f : mesh.faces)
      if (IsLive(f.flags))
        for (int z = 0; z < 3; ++z)
          border += f.adjFace[z] == &f;
    EXPECT_EQ(border, 0);
    EXPECT_EQ(CheckFaceFaceTopology(mesh), 0u);
    const Vec3d n(cut.plane.normal);
    const double got = test::SignedVolume(mesh, n * (double(cut.plane.d) / n.Dot(n)));
    EXPECT_NEAR(got, exact, 1e-4 * std::fabs(exact));
  }
}

}  // namespace
}  // namespace quarnel
