#include "core/clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "clip_checks.h"
#include "core/border_loops.h"
#include "core/cap.h"
#include "core/clip_ops.h"
#include "core/normals.h"
#include "core/topology.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

// Adjacency and border bits as the clip commands prepare them.
void Prepare(MeshT5& m) {
  BuildFaceFaceAdjacency(m);
  FaceBorderFromFF(m);
}

std::vector<const VertexT5*> LoopVertices(const BorderLoop& loop, size_t bound) {
  std::vector<const VertexT5*> out;
  FacePos p = loop.Start();
  do {
    out.push_back(p.v);
    if (!p.NextBorder(bound)) break;
  } while (!(p == loop.Start()) && out.size() <= bound);
  return out;
}

bool HasBorder(const FaceT5& f, int z) {
  return (f.flags & ElemFlag::Border(z)) != 0;
}

}  // namespace

TEST(ClipByPlane, UnitCubeAtHalfHeightLeavesOneLoopOnThePlane) {
  MeshT5 m = WithBox(Cube<MeshT5>());
  ClipByPlane(m, MakePlane(0, 0, -1, -0.5f));  // keeps z <= 0.5
  EXPECT_TRUE(Consistent(m));
  EXPECT_NEAR(SurfaceArea(m), 3.0, 1e-6);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(m, loops);
  ASSERT_EQ(loops.size(), 1u);
  EXPECT_EQ(loops[0].edgeCount, 8);
  auto verts = LoopVertices(loops[0], 3 * m.faces.size());
  EXPECT_EQ(verts.size(), 8u);
  for (const VertexT5* v : verts)
    EXPECT_FLOAT_EQ(v->position.z, 0.5f);
  for (const VertexT5& v : m.vertices) {
    if (IsLive(v.flags)) {
      EXPECT_LE(v.position.z, 0.5f);
    }
  }

  // A face deleted before the clip still points into the grown vertex array.
  MeshT5 d = WithBox(CubeWithDeletedFace<MeshT5>(4));
  ClipAndCap(d, MakePlane(0, 0, -1, -0.5f));
  EXPECT_TRUE(Consistent(d));
}

TEST(ClipByPlane, APointNoFaceUsesLeavesTheCutAsOnTheCleanModel) {
  // A stray point far away or with an infinite coordinate stretches the
  // box that the drawer shows; the cut's tolerances are the clean model's.
  // So they are where a face uses the infinite point (inside the cube, on
  // the removed side).
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    Soup soup;
    Vec3f stray;
    Plane3f plane;
    bool onAFace = false;
  };
  const Case cases[] = {
      {"cube, point far away", CubeSoup(), {1e6f, -1e6f, 0.5f}, MakePlane(0, 0, 1, 0.5f)},
      {"cube, infinite point", CubeSoup(), {0.0f, inf, 0.0f}, MakePlane(0, 0, 1, 0.5f)},
      {"icosphere, point far away", IcosphereSoup(3), {1000, 0, 0}, MakePlane(0, 0, 1, 0.1f)},
      {"cube, infinite corner", CubeSoup(), {0.5f, 0.5f, -inf}, MakePlane(0, 0, 1, 0.5f), true},
  };
  for (const Case& c : cases)
    for (const bool cap : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.name << (cap ? ", Clip and Cap" : ", Apply Clip"));
      auto cut = [&](bool stray) {
        Soup soup = c.soup;
        if (stray && c.onAFace) {
          const int n = int(soup.points.size());
          soup.points.insert(soup.points.end(), {{0.2f, 0.2f, 0.1f}, {0.8f, 0.2f, 0.1f}, c.stray});
          soup.tris.push_back({n, n + 1, n + 2});
        }
        MeshT5 m = Build<MeshT5>(soup);
        if (stray && !c.onAFace) m.AddVertices(1)->position = c.stray;
        UpdateBoundingBox(m);
        if (cap)
          ClipAndCap(m, c.plane);
        else
          ClipByPlane(m, c.plane);
        return m;
      };
      const MeshT5 clean = cut(false), m = cut(true);
      ASSERT_TRUE(Consistent(m));
      EXPECT_EQ(m.faceCount, clean.faceCount);
      EXPECT_NEAR(SignedVolume(m), SignedVolume(clean), 1e-9);
      EXPECT_EQ(BorderEdges(m), BorderEdges(clean));
    }
}

TEST(ClipByPlane, PlaneMissingTheMeshKeepsAllOrNothing) {
  MeshT5 keep = WithBox(Cube<MeshT5>());
  ClipByPlane(keep, MakePlane(0, 0, -1, -2.0f));
  EXPECT_EQ(keep.faceCount, 12);
  EXPECT_EQ(keep.vertexCount, 8);
  EXPECT_TRUE(Consistent(keep));

  MeshT5 none = WithBox(Cube<MeshT5>());
  ClipByPlane(none, MakePlane(0, 0, 1, 2.0f));
  EXPECT_EQ(none.faceCount, 0);
  EXPECT_EQ(none.vertexCount, 0);
  EXPECT_TRUE(Consistent(none));
  ClipAndCap(none, MakePlane(0, 0, 1, 2.0f));  // an empty mesh stays empty
  EXPECT_EQ(none.faceCount, 0);
}

TEST(ClipByPlane, PlaneThroughExistingVerticesLeavesNoZeroLengthEdge) {
  // The bottom vertices lie on the plane: the vertical edges are split at
  // t = 0, and the collapse removes the zero-length edges again.
  MeshT5 m = WithBox(Cube<MeshT5>());
  ClipByPlane(m, MakePlane(0, 0, 1, 0.0f));
  EXPECT_TRUE(Consistent(m));
  EXPECT_NEAR(SurfaceArea(m), 6.0, 1e-6);
  EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  EXPECT_EQ(BorderEdges(m), 0);
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      EXPECT_GT(Distance(f.v[z]->position, f.v[(z + 1) % 3]->position), 0.0);
    }
  }

  // Cut through a whole grid row of vertices, keeping one side.
  MeshT5 g = WithBox(Grid<MeshT5>(4));
  ClipByPlane(g, MakePlane(1, 0, 0, 2.0f));
  EXPECT_TRUE(Consistent(g));
  EXPECT_NEAR(SurfaceArea(g), 8.0, 1e-6);
  EXPECT_EQ(CheckFaceFaceTopology(g), 0u);
}

TEST(ClipByPlane, SliversAlongTheCutGoWithTheSideOfTheirOldCorners) {
  // A fan whose centre lies one float step below the plane z = Z, far from
  // the origin, its rim alternately above and below. The cut leaves slivers
  // between the centre and new points on the plane whose centroids lie
  // within rounding of it; they belong to the side of the centre and go,
  // so no face of the far side hangs on the cut.
  for (float Z : {136.0f, 500.0f, 4000.0f}) {
    Soup s;
    s.points.push_back({0, 0, std::nextafter(Z, 0.0f)});
    const int ring = 8;
    for (int k = 0; k < ring; ++k) {
      const double a = 2 * 3.141592653589793 * k / ring;
      s.points.push_back({float(0.01 * std::cos(a)), float(0.01 * std::sin(a)),
                          Z + (k % 2 ? 0.003f : -0.003f)});
    }
    for (int k = 0; k < ring; ++k)
      s.tris.push_back({0, 1 + k, 1 + (k + 1) % ring});
    for (bool sphere : {false, true}) {
      MeshT5 m = WithBox(Build<MeshT5>(s));
      if (sphere)
        ClipBySphere(m, Sphere3f{Vec3f(0, 0, Z - 1000.0f), 1000.0f});
      else
        ClipByPlane(m, MakePlane(0, 0, 1, Z));
      EXPECT_TRUE(Consistent(m)) << Z;
      for (const FaceT5& f : m.faces) {
        if (!IsLive(f.flags)) continue;
        for (const VertexT5* v : f.v)
          EXPECT_NE(v, &m.vertices[0]) << Z << (sphere ? " sphere" : " plane");
      }
    }
  }
}

TEST(RefineByPlane, NoCrossingEdgeLeavesTheMeshUntouched) {
  MeshT5 m = Cube<MeshT5>();
  Prepare(m);
  FaceT5* adj = m.faces[0].adjFace[0];
  ClipPlane p(MakePlane(0, 0, 1, 5.0f));
  EXPECT_FALSE(RefineByPlane(m, p, p, false));
  EXPECT_EQ(m.vertices.size(), 8u);
  EXPECT_EQ(m.faces.size(), 12u);
  EXPECT_EQ(m.faces[0].adjFace[0], adj);
}

TEST(RefineByPlane, SplitRowBorderBitsAndDiagonal) {
  // One triangle, its top corner alone above the plane y = 1: row 3.
  auto refine = [](float topX) {
    MeshT5 m = Build<MeshT5>({{-1, 0, 0}, {topX, 2, 0}, {1, 0, 0}}, {{0, 1, 2}});
    Prepare(m);
    ClipPlane p(MakePlane(0, 1, 0, 1.0f));
    EXPECT_TRUE(RefineByPlane(m, p, p, false));
    EXPECT_EQ(m.faces.size(), 3u);
    EXPECT_EQ(m.vertices.size(), 5u);
    EXPECT_NEAR(SurfaceArea(m), 2.0, 1e-6);
    ComputeFaceNormals(m, true);
    for (const FaceT5& f : m.faces)
      EXPECT_FLOAT_EQ(f.normal.z, -1.0f);  // winding kept
    return m;
  };
  {
    // Equal diagonals: the row's own one stays.
    MeshT5 m = refine(0.0f);
    VertexT5 *V0 = &m.vertices[0], *V1 = &m.vertices[1], *V2 = &m.vertices[2];
    VertexT5 *P3 = &m.vertices[3], *P4 = &m.vertices[4];
    EXPECT_TRUE(FaceHasVertices(m.faces[0], P3, V1, P4));
    EXPECT_EQ(m.faces[1].v[0], V0);
    EXPECT_EQ(m.faces[1].v[1], P3);
    EXPECT_EQ(m.faces[1].v[2], V2);
    EXPECT_EQ(m.faces[2].v[0], P4);
    EXPECT_EQ(m.faces[2].v[1], V2);
    EXPECT_EQ(m.faces[2].v[2], P3);
    EXPECT_TRUE(HasBorder(m.faces[0], 0) && HasBorder(m.faces[0], 1) && !HasBorder(m.faces[0], 2));
    EXPECT_TRUE(HasBorder(m.faces[1], 0) && !HasBorder(m.faces[1], 1) && HasBorder(m.faces[1], 2));
    EXPECT_TRUE(HasBorder(m.faces[2], 0) && !HasBorder(m.faces[2], 1) && !HasBorder(m.faces[2], 2));
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  }
  {
    // The alternative diagonal V0-P4 is shorter: the quadrilateral is re-split.
    MeshT5 m = refine(-0.3f);
    VertexT5 *V0 = &m.vertices[0], *V2 = &m.vertices[2];
    VertexT5 *P3 = &m.vertices[3], *P4 = &m.vertices[4];
    EXPECT_EQ(m.faces[1].v[0], V0);
    EXPECT_EQ(m.faces[1].v[1], P4);
    EXPECT_EQ(m.faces[1].v[2], V2);
    EXPECT_EQ(m.faces[2].v[0], P4);
    EXPECT_EQ(m.faces[2].v[1], V0);
    EXPECT_EQ(m.faces[2].v[2], P3);
    EXPECT_TRUE(!HasBorder(m.faces[1], 0) && HasBorder(m.faces[1], 1) && HasBorder(m.faces[1], 2));
    EXPECT_TRUE(!HasBorder(m.faces[2], 0) && HasBorder(m.faces[2], 1) && !HasBorder(m.faces[2], 2));
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u);
  }
}

TEST(RefineByPlane, NewElementsGetDefinedAttributes) {
  // Corner 2 alone on the cut-off side of a plane and of a sphere: edges 1
  // and 2 are split away from their midpoints. The new vertices blend the
  // colour, quality and texture coordinates of their edge's ends with the
  // parameter of their position.
  const double planeAt = 0.25;
  const Sphere3f sphere{Vec3f(0, 1, 0), 0.75f};
  for (bool bySphere : {false, true}) {
    MeshT5 m = Build<MeshT5>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    m.vertices[0].color = Color4b{0, 0, 0, 0};
    m.vertices[1].color = Color4b{200, 100, 0, 255};
    m.vertices[2].color = Color4b{0, 100, 200, 255};
    m.vertices[1].quality = 4.0f;
    m.vertices[2].quality = 8.0f;
    FaceT5& f = m.faces[0];
    f.wedge[0] = {0.0f, 0.0f, 1};
    f.wedge[1] = {1.0f, 0.0f, 2};
    f.wedge[2] = {0.0f, 1.0f, 3};
    f.quality = 7.0f;
    f.color = Color4b{10, 20, 30, 255};
    Prepare(m);
    if (bySphere) {
      ASSERT_TRUE(RefineBySphere(m, ClipSphere(sphere), ClipSphere(sphere), false));
    } else {
      ClipPlane p(MakePlane(0, 1, 0, float(planeAt)));
      ASSERT_TRUE(RefineByPlane(m, p, p, false));
    }
    ASSERT_EQ(m.faces.size(), 3u);
    ASSERT_EQ(m.vertices.size(), 5u);
    for (size_t i = 3; i < m.vertices.size(); ++i) {
      const VertexT5& nv = m.vertices[i];
      // Edge 1 runs from corner 1 (1, 0) to corner 2 (0, 1), edge 2 from
      // corner 2 to corner 0 (0, 0).
      const bool edge1 = nv.position.x > 0.01f;
      const VertexT5& a = m.vertices[edge1 ? 1 : 2];
      const VertexT5& b = m.vertices[edge1 ? 2 : 0];
      const double t = edge1 ? nv.position.y : 1.0 - nv.position.y;
      if (!bySphere) {
        EXPECT_NEAR(nv.position.y, planeAt, 1e-7);
      }
      for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(nv.color[k], a.color[k] * (1 - t) + b.color[k] * t, 0.51) << k;
      EXPECT_NEAR(nv.quality, a.quality * (1 - t) + b.quality * t, 1e-5);
      const WedgeTexCoord expected =
          edge1 ? WedgeTexCoord{float(1 - t), float(t), 2} : WedgeTexCoord{0.0f, float(1 - t), 3};
      for (const FaceT5& g : m.faces)
        for (int j = 0; j < 3; ++j)
          if (g.v[j] == &nv) {
            EXPECT_NEAR(g.wedge[j].u, expected.u, 1e-6);
            EXPECT_NEAR(g.wedge[j].v, expected.v, 1e-6);
            EXPECT_EQ(g.wedge[j].texIndex, expected.texIndex);
          }
    }
    for (const FaceT5& g : m.faces) {
      EXPECT_EQ(g.quality, 7.0f);
      EXPECT_EQ(g.color, (Color4b{10, 20, 30, 255}));
    }
  }
}

TEST(RefineByPlane, SelectedOnlySplitsEdgesBetweenSelectedFaces) {
  MeshT5 m = Grid<MeshT5>(1);  // faces (0,1,3) and (0,3,2)
  m.faces[0].flags |= ElemFlag::Selected;
  Prepare(m);
  ClipPlane p(MakePlane(0, 1, 0, 0.5f));
  ASSERT_TRUE(RefineByPlane(m, p, p, true));
  // Only the border edge 1-3 of the selected face is split.
  EXPECT_EQ(m.vertices.size(), 5u);
  EXPECT_EQ(m.faces.size(), 3u);
  EXPECT_TRUE(m.faces[2].flags & ElemFlag::Selected);
  EXPECT_FALSE(m.faces[1].flags & ElemFlag::Selected);
  EXPECT_EQ(m.faces[1].v[0], &m.vertices[0]);  // untouched
  EXPECT_TRUE(Consistent(m));
}

TEST(RefineByPlane, FacesRunningASharedEdgeTheSameWayLeaveNoUndefinedFace) {
  for (bool lowFirst : {true, false}) {
    Soup s;
    s.points = {{0, 0, 0}, {0, 2, 0}, {1, 0.5f, 0}, {-1, 0.5f, 0}};
    if (lowFirst)
      s.tris = {{0, 1, 2}, {0, 1, 3}};  // both own the edge: two vertices on it
    else
      s.tris = {{1, 0, 2}, {1, 0, 3}};  // neither owns it: no vertex on it
    MeshT5 m = WithBox(Build<MeshT5>(s));
    Prepare(m);
    ClipPlane p(MakePlane(0, 1, 0, 1.0f));
    ASSERT_TRUE(RefineByPlane(m, p, p, false));
    EXPECT_TRUE(Consistent(m));
    EXPECT_NEAR(SurfaceArea(m), 2.0, 1e-6);
    MeshT5 c = WithBox(Build<MeshT5>(s));
    ClipAndCap(c, MakePlane(0, 1, 0, 1.0f));
    EXPECT_TRUE(Consistent(c));
  }
}

TEST(ClipAndCap, CutsNearlyParallelToASubdividedSideClose) {
  // A 100 x 1 x 1 beam cut by planes tilted 0.05 to 5 degrees from one of
  // its long sides, mostly along the beam, through a point on that side.
  // Where the kept part is thinner than the collapse's tolerance, the
  // collapse lays side faces onto the cut loop; the cap still closes every
  // cut and leaves no edge of three or more faces, and its flips neither
  // make an edge that is already there nor leave stale border bits. The
  // last planes are cuts whose coplanar flips once made such an edge.
  std::vector<Plane3f> planes = {
      MakePlane(0.00368096447f, -0.99997592f, -0.00587948831f, 0.0935391113f),
      MakePlane(0.00161446596f, 0.00181263452f, -0.999997079f, 0.130835414f),
      MakePlane(-0.00246102712f, -0.999993622f, 0.00259035197f, -0.191371873f)};
  const double pi = 3.141592653589793;
  for (double degrees : {0.05, 0.2, 0.7, 1.5, 3.0, 5.0}) {
    for (int side = 0; side < 4; ++side) {
      for (int k = 0; k < 4; ++k) {
        // Sides +y, -y, +z, -z; the tilt turns the side's normal towards
        // a direction in the side's plane.
        const double sign = side % 2 == 0 ? 1.0 : -1.0;
        const Vec3d n = side < 2 ? Vec3d(0, sign, 0) : Vec3d(0, 0, sign);
        const Vec3d t1(1, 0, 0), t2 = n.Cross(t1);
        const double phi = pi * (k % 2) + (0.1 + 0.15 * side) * (k < 2 ? 1.0 : -1.0);
        const double theta = degrees * pi / 180;
        Vec3d normal = n * std::cos(theta) + (t1 * std::cos(phi) + t2 * std::sin(phi)) * std::sin(theta);
        if ((k + side) % 2 == 1) normal = normal * -1.0;
        Vec3d point(20.0 + 17.0 * k + 3.0 * side, 0.3 + 0.1 * k, 0.3 + 0.1 * k);
        (side < 2 ? point.y : point.z) = side % 2 == 0 ? 1.0 : 0.0;
        planes.push_back(Plane3f{normal.ToFloat(), float(normal.Dot(point))});
      }
    }
  }
  const MeshT5 beam = WithBox(Build<MeshT5>(BeamSoup(100.0f, 100)));
  for (size_t cut = 0; cut < planes.size(); ++cut) {
    MeshT5 m = beam;
    ClipAndCap(m, planes[cut]);
    ASSERT_TRUE(Consistent(m)) << "cut " << cut;
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << "cut " << cut;
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << "cut " << cut;
    EXPECT_EQ(BorderEdges(m), 0) << "cut " << cut;
  }
  // Cuts that keep only a sliver thinner than the collapse's tolerance: the
  // collapse lays all of it flat on the plane, and a cap would give its
  // edges third faces. The loop stays open, as Clip by Plane leaves it.
  for (const Plane3f& plane :
       {MakePlane(-9.13239855e-05f, 0.00209313747f, 0.999997795f, 0.995119214f),
        MakePlane(-0.000654474832f, 0.00191899878f, 0.999997973f, 0.9933272f),
        MakePlane(1.23083901e-05f, -0.999998152f, -0.00192554842f, 0.000146975988f)}) {
    MeshT5 m = beam;
    ClipAndCap(m, plane);
    ASSERT_GT(m.faceCount, 0);
    ASSERT_TRUE(Consistent(m)) << plane.d;
    BuildFaceFaceAdjacency(m);
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << plane.d;
  }
}

namespace {

// The live faces with every corner on the plane: their area facing the
// removed side (where they bound the kept solid on the cut) and facing the
// kept side (a sheet of the removed part), the cap's own faces apart.
struct FacesOnThePlane {
  double out = 0.0, in = 0.0, cap = 0.0;
  int inCount = 0;
};

FacesOnThePlane OnThePlane(const MeshT5& m, const Plane3f& plane) {
  FacesOnThePlane r;
  const Vec3d n(plane.normal);
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    bool on = true;
    for (const VertexT5* v : f.v) on = on && std::fabs(SignedDistance(v->position, plane)) <= 1e-4;
    if (!on) continue;
    const Vec3d a(f.v[0]->position), b(f.v[1]->position), c(f.v[2]->position);
    const Vec3d cross = (b - a).Cross(c - a);
    const double area = 0.5 * cross.Norm();
    if (cross.Dot(n) < 0.0) {
      r.out += area;
      if (f.flags & ElemFlag::Selected) r.cap += area;
    } else if (area > 0.0) {
      r.in += area;
      ++r.inCount;
    }
  }
  return r;
}

}  // namespace

TEST(ClipAndCap, AFaceInThePlaneStaysOnlyWhereItBoundsTheKeptSolid) {
  // Cuts along a face of the model, both ways: a face lying in the plane
  // stays when it faces the removed side, where it is part of the kept
  // solid's face on the cut, and goes when it faces the kept side. The
  // cap and the faces kept on the plane cover the section once.
  struct Cut {
    const char* name;
    Soup soup;
    Plane3f plane;
    double volume, section, keptOnPlane;
    bool byPlace = false;  // its faces meet by place alone, across creases or everywhere
  };
  // The stair turned and moved away from the origin: its tread lies in the
  // plane only within the rounding of its points' values, some of them on
  // either side, and the refinement splits it into pieces and slivers.
  auto turned = [](float sign) {
    const Vec3d axis(0.6, 0.0, 0.8), shift(100, -50, 20);
    const double c = std::cos(1.2), s = std::sin(1.2);
    auto turn = [&](const Vec3d& p) {
      return p * c + axis.Cross(p) * s + axis * (axis.Dot(p) * (1 - c));
    };
    Soup soup = StairSoup();
    for (Vec3f& p : soup.points) p = (turn(Vec3d(p)) + shift).ToFloat();
    const Vec3d n = turn(Vec3d(0, 0, sign));
    return std::pair(soup, Plane3f{n.ToFloat(), float(n.Dot(turn(Vec3d(6, 4, 4)) + shift))});
  };
  const auto [upSoup, upPlane] = turned(1.0f);
  const auto [downSoup, downPlane] = turned(-1.0f);
  // The flat-shaded stair with the tread's points a float step off the
  // walls', as an export that rounds each face's copies on its own gives.
  Soup offStep = FlatShadedSoup(StairSoup());
  {
    std::vector<uint8_t> tread(offStep.points.size(), 0);
    for (const auto& t : offStep.tris)
      if (offStep.points[size_t(t[0])].z == 4 && offStep.points[size_t(t[1])].z == 4 &&
          offStep.points[size_t(t[2])].z == 4)
        for (int k : t)
          tread[size_t(k)] = 1;
    for (size_t i = 0; i < tread.size(); ++i)
      if (tread[i]) {
        Vec3f& p = offStep.points[i];
        p.x = std::nextafter(p.x, 9.0f), p.y = std::nextafter(p.y, 9.0f);
      }
  }
  // A torus cut through its ring of points, flat-shaded: the faces next
  // to the cut meet those of the quads beyond by place alone.
  const Soup torus = TorusSoup(16, 8);
  const double halfTorus = 0.5 * SignedVolume(WithBox(Build<MeshT5>(torus)));
  const double annulus = 8.0 * std::sin(3.141592653589793 / 8.0) * (1.3 * 1.3 - 0.7 * 0.7);
  const Cut cuts[] = {
      // The upper block above the tread, and the lower block under it.
      {"stair up", StairSoup(), MakePlane(0, 0, 1, 4), 128, 32, 0},
      {"stair down", StairSoup(), MakePlane(0, 0, -1, -4), 256, 64, 32},
      {"turned stair up", upSoup, upPlane, 128, 32, 0},
      {"turned stair down", downSoup, downPlane, 256, 64, 32},
      // Flat-shaded exports and soups, a face in the plane meeting the wall
      // next to it, and the soup's the next face in the plane, by place
      // alone: what the welded model gives. Nothing of the cube stays
      // above its top face.
      {"flat-shaded stair up", FlatShadedSoup(StairSoup()), MakePlane(0, 0, 1, 4), 128, 32, 0, true},
      {"stair soup up", TriangleSoupOf(StairSoup()), MakePlane(0, 0, 1, 4), 128, 32, 0, true},
      {"turned flat-shaded stair up", FlatShadedSoup(upSoup), upPlane, 128, 32, 0, true},
      {"turned flat-shaded stair down", FlatShadedSoup(downSoup), downPlane, 256, 64, 32, true},
      {"flat-shaded stair up, tread a float step off", offStep, MakePlane(0, 0, 1, 4), 128, 32, 0,
       true},
      {"flat-shaded cube above its top", FlatShadedSoup(CubeSoup()), MakePlane(0, 0, 1, 1), 0, 0, 0,
       true},
      {"flat-shaded torus above its ring", FlatShadedSoup(torus), MakePlane(0, 0, 1, 0), halfTorus,
       annulus, 0, true},
      {"flat-shaded torus under its ring", FlatShadedSoup(torus), MakePlane(0, 0, -1, 0), halfTorus,
       annulus, 0, true},
  };
  for (const Cut& cut : cuts) {
    MeshT5 clipped = WithBox(Build<MeshT5>(cut.soup));
    ClipByPlane(clipped, cut.plane);
    ASSERT_TRUE(Consistent(clipped)) << cut.name;
    const FacesOnThePlane sheet = OnThePlane(clipped, cut.plane);
    EXPECT_EQ(sheet.inCount, 0) << cut.name << " (Apply Clip) area " << sheet.in;
    EXPECT_NEAR(sheet.out, cut.keptOnPlane, 1e-4) << cut.name << " (Apply Clip)";

    MeshT5 m = WithBox(Build<MeshT5>(cut.soup));
    ClipAndCap(m, cut.plane);
    ASSERT_TRUE(Consistent(m)) << cut.name;
    EXPECT_EQ(cut.byPlace ? OpenEdgesAtPlaces(m) : BorderEdges(m), 0) << cut.name;
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << cut.name;
    EXPECT_NEAR(SignedVolume(m), cut.volume, 1e-3) << cut.name;
    const FacesOnThePlane on = OnThePlane(m, cut.plane);
    EXPECT_EQ(on.inCount, 0) << cut.name << " area " << on.in;
    EXPECT_NEAR(on.out, cut.section, 1e-4) << cut.name << " cap " << on.cap;
  }
  // A flat sheet lying in the plane on its own is no solid's face: it stays
  // whichever way it faces, as it is, with the cap too (which neither
  // covers nor removes it): grids, a lone triangle, a square.
  const Soup triangle{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}};
  for (const Soup& flat : {GridSoup(4), GridSoup(2), GridSoup(8), triangle, GridSoup(1)})
    for (const float sign : {1.0f, -1.0f})
      for (const bool cap : {false, true}) {
        MeshT5 sheet = WithBox(Build<MeshT5>(flat));
        const MeshT5 before = sheet;
        if (cap)
          ClipAndCap(sheet, MakePlane(0, 0, sign, 0));
        else
          ClipByPlane(sheet, MakePlane(0, 0, sign, 0));
        SCOPED_TRACE(::testing::Message() << flat.points.size() << " points, plane side " << sign
                                          << (cap ? ", Clip and Cap" : ", Apply Clip"));
        ASSERT_EQ(sheet.faceCount, before.faceCount);
        ASSERT_EQ(sheet.vertexCount, before.vertexCount);
        for (size_t f = 0; f < before.faces.size(); ++f)
          for (int k = 0; k < 3; ++k)
            EXPECT_EQ(sheet.faces[f].v[k]->position, before.faces[f].v[k]->position);
      }
}

TEST(ClipAndCap, BorderBitsStayCurrentOnAModelWithOpenBorders) {
  // A sphere with a hole: the cap's flips next to the hole's border must
  // move the border bits with their edges (no bit 0x80 afterwards).
  MeshT5 open = Icosphere<MeshT5>(3);
  for (size_t i = 0; i < 6; ++i) {
    open.faces[i].flags |= ElemFlag::Deleted;
    --open.faceCount;
  }
  open = WithBox(open);
  const double pi = 3.141592653589793;
  for (int cut = 0; cut < 40; ++cut) {
    // Normals spread over the sphere, planes through its middle half.
    const double z = 1.0 - (cut + 0.5) / 20.0, r = std::sqrt(1.0 - z * z);
    const double a = cut * pi * (3.0 - std::sqrt(5.0));
    MeshT5 m = open;
    ClipAndCap(m, MakePlane(float(r * std::cos(a)), float(r * std::sin(a)), float(z),
                            float(0.4 * std::sin(1.7 * cut))));
    ASSERT_TRUE(Consistent(m)) << "cut " << cut;
    EXPECT_EQ(CheckFaceFaceTopology(m), 0u) << "cut " << cut;
  }
}

TEST(ClipBySphere, IcosphereBorderLiesOnTheSphere) {
  MeshT5 m = WithBox(Icosphere<MeshT5>(3));
  const size_t original = m.vertices.size();
  const double before = SurfaceArea(m);
  Sphere3f s{Vec3f(1.0f, 0.2f, 0.0f), 0.6f};
  ClipBySphere(m, s);
  EXPECT_TRUE(Consistent(m));
  EXPECT_LT(SurfaceArea(m), before);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(m, loops);
  ASSERT_GE(loops.size(), 1u);
  // The vertices made by the cut lie on the sphere; an old vertex reaches
  // the border only where a face outside the sphere had its centroid
  // inside it, so within a fraction of an edge length (about 0.15 here).
  size_t made = 0;
  for (const BorderLoop& loop : loops)
    for (const VertexT5* v : LoopVertices(loop, 3 * m.faces.size())) {
      const double d = Distance(v->position, s.center);
      if (m.VertexIndex(v) >= original) {
        ++made;
        EXPECT_NEAR(d, 0.6, 1e-5);
      } else {
        EXPECT_GT(d, 0.6);
        EXPECT_LT(d, 0.62);
      }
    }
  EXPECT_GT(made, 30u);
  for (const VertexT5& v : m.vertices) {
    if (IsLive(v.flags)) {
      EXPECT_GT(Distance(v.position, s.center), 0.6 - 1e-5);
    }
  }
}

TEST(ClipBySphere, SphereHoldingTheWholeMeshRemovesEverything) {
  MeshT5 m = WithBox(Icosphere<MeshT5>(1));
  ClipBySphere(m, Sphere3f{Vec3f(0, 0, 0), 10.0f});
  EXPECT_EQ(m.faceCount, 0);
  EXPECT_EQ(m.vertexCount, 0);
  EXPECT_TRUE(Consistent(m));
}

TEST(ClipSphere, MissedIntersectionStaysOnTheEdgeLine) {
  // Rounding can make a crossing edge miss the sphere; the new vertex then
  // takes the line's point nearest the centre, never the origin.
  MeshT5 m = Build<MeshT5>({{2, 3, 1}, {4, 3, 1}, {3, 5, 1}}, {{0, 1, 2}});
  ClipSphere c(Sphere3f{Vec3f(3, 0, 1), 1.0f});
  VertexT5 nv;
  c.EdgeIntersection(nv, m.faces[0], 0);
  EXPECT_EQ(nv.position, Vec3f(3, 3, 1));
}

TEST(Clip, MeshWithNaNVerticesFinishes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto make = [&] {
    MeshT5 m = Icosphere<MeshT5>(2);
    m.vertices[3].position = Vec3f(nan, 0.0f, 0.0f);
    m.vertices[17].position = Vec3f(nan, nan, nan);
    UpdateBoundingBox(m);
    return m;
  };
  MeshT5 a = make();
  ClipByPlane(a, MakePlane(0, 0, 1, 0.1f));
  EXPECT_TRUE(Consistent(a));
  MeshT5 b = make();
  ClipAndCap(b, MakePlane(0.3f, 0, 1, 0.1f));
  EXPECT_TRUE(Consistent(b));
  MeshT5 c = make();
  ClipBySphere(c, Sphere3f{Vec3f(0.5f, 0, 0), 0.7f});
  EXPECT_TRUE(Consistent(c));
  MeshT5 d = make();
  ClipByPlane(d, MakePlane(nan, 0, 1, 0.0f));
  EXPECT_TRUE(Consistent(d));
}
