#include "io/stl_exporter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "support/mesh_builders.h"
#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::ReadFile;
using test::ScratchDir;

uint32_t U32At(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
         uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
}
float F32At(const std::string& s, size_t at) {
  uint32_t u = U32At(s, at);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
Vec3f Vec3At(const std::string& s, size_t at) {
  return {F32At(s, at), F32At(s, at + 4), F32At(s, at + 8)};
}

template <class M>
std::string Export(const M& m, bool binary = true, const char* name = nullptr) {
  ScratchDir dir;
  EXPECT_EQ(StlExporter::Save(m, (dir / "m.stl").c_str(), binary, name), 1);
  return ReadFile(dir / "m.stl");
}

// Every record of a binary file against the live faces of the mesh, in order.
template <class M>
void ExpectRecordsMatch(const std::string& file, const M& m) {
  size_t at = 84;
  for (const auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    ASSERT_LE(at + 50, file.size());
    Vec3f n = Vec3At(file, at);
    EXPECT_NEAR(n.Norm(), 1.0, 1e-6);
    Vec3f expected =
        Cross(f.v[1]->position - f.v[0]->position, f.v[2]->position - f.v[0]->position);
    EXPECT_GT(n.Dot(expected), 0.0);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(Vec3At(file, at + 12 + 12 * size_t(k)), f.v[k]->position);
    EXPECT_EQ(file[at + 48], 0);
    EXPECT_EQ(file[at + 49], 0);
    at += 50;
  }
  EXPECT_EQ(at, file.size());
}

TEST(StlExporter, UnitCubeIs684BytesWithOutwardUnitNormals) {
  MeshT5 cube = test::Cube<MeshT5>();
  std::string file = Export(cube);
  ASSERT_EQ(file.size(), 684u);
  EXPECT_EQ(file.substr(0, 80), "Kelvor" + std::string(74, ' '));
  EXPECT_EQ(U32At(file, 80), 12u);
  ExpectRecordsMatch(file, cube);
  for (size_t at = 84; at < file.size(); at += 50) {
    Vec3f n = Vec3At(file, at);
    Vec3f centroid =
        (Vec3At(file, at + 12) + Vec3At(file, at + 24) + Vec3At(file, at + 36)) * (1.0 / 3.0);
    EXPECT_GT(n.Dot(centroid - Vec3f(0.5f, 0.5f, 0.5f)), 0.0);
  }
}

TEST(StlExporter, DeletedFacesAreLeftOutAndTheCountMatchesTheRecords) {
  MeshT5 cube = test::Cube<MeshT5>();
  cube.faces[3].flags |= ElemFlag::Deleted;
  cube.faces[7].flags |= ElemFlag::Deleted;
  cube.faceCount = 10;
  std::string file = Export(cube);
  ASSERT_EQ(file.size(), 584u);
  EXPECT_EQ(U32At(file, 80), 10u);
  ExpectRecordsMatch(file, cube);

  // A live count out of step with the flags must not produce a header that
  // disagrees with the records.
  cube.faceCount = 12;
  EXPECT_EQ(Export(cube), file);
}

TEST(StlExporter, MeshWithoutFacesIsHeaderAndZeroCount) {
  MeshT1 empty;
  std::string file = Export(empty);
  ASSERT_EQ(file.size(), 84u);
  EXPECT_EQ(U32At(file, 80), 0u);
  EXPECT_EQ(Export(empty, false), "solid kelvor\nendsolid kelvor\n");
}

TEST(StlExporter, NormalsOfDegenerateTinyAndSwappedFaces) {
  test::Soup s;
  s.points = {{0, 0, 0}, {1, 0, 0},      {0, 1, 0},     {2, 0, 0},
              {0, 0, 0}, {1e-20f, 0, 0}, {0, 1e-20f, 0}};
  s.tris = {{0, 1, 2}, {0, 2, 1}, {0, 1, 3}, {0, 4, 2}, {4, 5, 6}};
  MeshT3 m = test::Build<MeshT3>(s);
  std::string file = Export(m);
  ASSERT_EQ(file.size(), 84u + 5 * 50);
  EXPECT_EQ(Vec3At(file, 84), Vec3f(0, 0, 1));
  EXPECT_EQ(Vec3At(file, 134), Vec3f(0, 0, -1));  // swapped corners reverse it
  EXPECT_EQ(Vec3At(file, 184), Vec3f(0, 0, 0));   // collinear corners
  EXPECT_EQ(Vec3At(file, 234), Vec3f(0, 0, 0));   // two equal corners
  EXPECT_EQ(Vec3At(file, 284), Vec3f(0, 0, 1));   // tiny, but a real triangle
}

TEST(StlExporter, HeaderNameIsCutTo80AndDoesNotStick) {
  MeshT4 tet = test::Tetrahedron<MeshT4>();
  std::string named = Export(tet, true, "part");
  EXPECT_EQ(named.substr(0, 80), "part" + std::string(76, '\0'));
  std::string longName(100, 'n');
  EXPECT_EQ(Export(tet, true, longName.c_str()).substr(0, 80), std::string(80, 'n'));
  EXPECT_EQ(Export(tet).substr(0, 80), "Kelvor" + std::string(74, ' '));
  EXPECT_EQ(named.substr(80), Export(tet).substr(80));
}

TEST(StlExporter, AsciiFormPrintsThirteenWideExponents) {
  test::Soup s;
  s.points = {{0, 0, 0}, {2, 0, 0}, {0, -0.5f, 1234.5f}};
  s.tris = {{0, 1, 2}};
  MeshT1 m = test::Build<MeshT1>(s);
  const char* expected =
      "solid shape\n"
      "  facet normal  0.000000e+00 -9.999999e-01 -4.050222e-04\n"
      "    outer loop\n"
      "      vertex   0.000000e+00  0.000000e+00  0.000000e+00\n"
      "      vertex   2.000000e+00  0.000000e+00  0.000000e+00\n"
      "      vertex   0.000000e+00 -5.000000e-01  1.234500e+03\n"
      "    endloop\n"
      "  endfacet\n"
      "endsolid kelvor\n";
  EXPECT_EQ(Export(m, false, "shape"), expected);
  EXPECT_EQ(Export(m, false).substr(0, 13), "solid kelvor\n");
}

template <class M>
M Sample() {
  M m = test::Icosphere<M>(1, 2.5f);
  for (size_t i : {0u, 5u, 17u, 79u}) {
    m.faces[i].flags |= ElemFlag::Deleted;
    --m.faceCount;
  }
  return m;
}

TEST(StlExporter, FourMeshTypesWriteIdenticalBytes) {
  for (bool binary : {true, false}) {
    std::string t1 = Export(Sample<MeshT1>(), binary);
    EXPECT_EQ(t1, Export(Sample<MeshT3>(), binary));
    EXPECT_EQ(t1, Export(Sample<MeshT4>(), binary));
    EXPECT_EQ(t1, Export(Sample<MeshT5>(), binary));
    if (binary) {
      EXPECT_EQ(t1.size(), 84u + 76 * 50);
      ExpectRecordsMatch(t1, Sample<MeshT1>());
    }
  }
}

}  // namespace
}  // namespace quarnel
