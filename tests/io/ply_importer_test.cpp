// The importers of the four mesh types and the attribute probe.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/normals.h"
#include "import_helpers.h"
#include "io/ply_input.h"
#include "support/allocation_probe.h"

namespace quarnel {
namespace {

using namespace ply_type;
using test::Describe;
using test::LoadBytes;
using test::PlyFixture;
using test::PlyFixtureElement;

template <class MeshType>
class PlyImportAllTypes : public ::testing::Test {};
using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(PlyImportAllTypes, MeshTypes);

TYPED_TEST(PlyImportAllTypes, UnitCubeInEveryFormat) {
  const test::Soup cube = test::CubeSoup();
  for (PlyFormat format : test::kAllFormats) {
    SCOPED_TRACE(format);
    TypeParam mesh;
    auto r = LoadBytes(mesh, test::PlyFixtureBytes(test::CubeFixture(format)));
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(mesh.lastError, 0);
    EXPECT_EQ(r.mask, 0u);
    ASSERT_EQ(mesh.vertexCount, 8);
    ASSERT_EQ(mesh.faceCount, 12);
    ASSERT_EQ(mesh.vertices.size(), 8u);
    ASSERT_EQ(mesh.faces.size(), 12u);
    UpdateBoundingBox(mesh);
    EXPECT_EQ(mesh.bbox.min, Vec3f(0, 0, 0));
    EXPECT_EQ(mesh.bbox.max, Vec3f(1, 1, 1));
    for (std::size_t i = 0; i < 12; ++i) {
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(mesh.faces[i].v[k], &mesh.vertices[std::size_t(cube.tris[i][std::size_t(k)])]);
      }
      EXPECT_EQ(mesh.faces[i].flags, 0u);
      if constexpr (HasColor<typename TypeParam::FaceType>) {
        EXPECT_EQ(mesh.faces[i].color, (Color4b{255, 255, 255, 255}));
      }
      if constexpr (HasQuality<typename TypeParam::FaceType>) {
        EXPECT_EQ(mesh.faces[i].quality, 1.0f);
      }
    }
    for (const auto& v : mesh.vertices) {
      if constexpr (HasColor<typename TypeParam::VertexType>) {
        EXPECT_EQ(v.color, (Color4b{255, 255, 255, 255}));
      }
      if constexpr (HasQuality<typename TypeParam::VertexType>) {
        EXPECT_EQ(v.quality, 1.0f);
      }
    }
    EXPECT_FALSE(mesh.hasCamera);
    EXPECT_TRUE(mesh.textureNames.empty());
  }
}

TYPED_TEST(PlyImportAllTypes, TruncatedBinaryCubeFailsAtEveryLength) {
  for (PlyFormat format : {ply_format::BinaryLittleEndian, ply_format::BinaryBigEndian}) {
    const std::string bytes = test::PlyFixtureBytes(test::CubeFixture(format));
    const std::size_t body = bytes.find("end_header\n") + 11;
    // The caller's mesh survives every failed load untouched.
    TypeParam mesh;
    ASSERT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(test::MeshFixture(test::TetrahedronSoup(), format))).result, 0);
    const std::string before = Describe(mesh);
    for (std::size_t len = 0; len < bytes.size(); ++len) {
      SCOPED_TRACE(len);
      auto r = LoadBytes(mesh, bytes.substr(0, len), "cut.ply");
      ASSERT_EQ(r.result, -1);
      if (len >= body - 1) {  // "end_header" is enough without its line end
        EXPECT_EQ(mesh.lastError, ply_error::UnexpectedEof);
      } else {
        EXPECT_GE(mesh.lastError, 1);
        EXPECT_LE(mesh.lastError, 7);
      }
      mesh.lastError = 0;
      ASSERT_EQ(Describe(mesh), before);
    }
  }
}

TYPED_TEST(PlyImportAllTypes, CoordinatesMustBeFloat) {
  PlyFixture f = test::CubeFixture(ply_format::Ascii);
  f.elements[0].properties[0].type = Double;
  TypeParam mesh;
  EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(f)).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::NoVertexField);
  IoMask mask = 0xFFFF;
  std::string path = test::TempFilePath("double_x.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, f));
  EXPECT_EQ(PlyImporter::LoadMask(path.c_str(), mask, mesh), 1);
  EXPECT_EQ(mask & io_mask::VertexCoord, 0u);
  EXPECT_EQ(mask & io_mask::FaceIndices, io_mask::FaceIndices);
}

TYPED_TEST(PlyImportAllTypes, FaceIndexListNeedsItsTypes) {
  PlyFixture f = test::CubeFixture(ply_format::BinaryLittleEndian);
  f.elements[1].properties[0].countType = Int;
  TypeParam mesh;
  EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(f)).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::NoFaceField);

  // "vertex_index" is the second choice.
  f.elements[1].properties[0] = {"vertex_index", Int, UChar};
  TypeParam other;
  EXPECT_EQ(LoadBytes(other, test::PlyFixtureBytes(f)).result, 0);
  EXPECT_EQ(other.faceCount, 12);
}

PlyFixture TriangleFile(PlyFormat format, std::vector<std::vector<double>> faces) {
  PlyFixture f = test::MeshFixture(test::TetrahedronSoup(), format);
  f.elements[1].records = std::move(faces);
  return f;
}

TYPED_TEST(PlyImportAllTypes, FaceErrors) {
  for (PlyFormat format : test::kAllFormats) {
    SCOPED_TRACE(format);
    TypeParam mesh;
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(format, {{3, 0, 1, 2}, {4, 0, 1, 2, 3}}))).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::FaceNotTriangle);
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(format, {{2, 0, 1}}))).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::FaceNotTriangle);
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(format, {{3, 0, 1, 4}}))).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);  // equal to the vertex count
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(format, {{3, -1, 1, 2}}))).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(format, {{3, 0, 1, 3}}))).result, 0);
    EXPECT_EQ(mesh.lastError, 0);

    // Faces before the vertices have no vertex to point to.
    PlyFixture swapped = TriangleFile(format, {{3, 0, 1, 2}});
    std::swap(swapped.elements[0], swapped.elements[1]);
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(swapped)).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);

    // A list longer than the staging room is refused, not written past it.
    std::vector<double> huge = {255};
    for (int i = 0; i < 255; ++i) huge.push_back(0);
    PlyFixture texcoords = TriangleFile(format, {{3, 0, 1, 2}});
    texcoords.elements[1].properties.push_back({"texcoord", Float, UChar});
    texcoords.elements[1].records[0].insert(texcoords.elements[1].records[0].end(), huge.begin(), huge.end());
    int result = LoadBytes(mesh, test::PlyFixtureBytes(texcoords)).result;
    if constexpr (HasWedge<typename TypeParam::FaceType>) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(mesh.lastError, ply_error::UnexpectedEof);
    } else {
      EXPECT_EQ(result, 0);  // not bound: skipped whatever its length
    }
  }
}

TYPED_TEST(PlyImportAllTypes, VertexCountBeyondTheFileFails) {
  PlyFixture f = test::CubeFixture(ply_format::BinaryLittleEndian);
  f.elements[0].declaredCount = 2000000000;
  TypeParam mesh;
  EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(f)).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::UnexpectedEof);
  // A negative count reads no vertex: the face reader then meets the first
  // vertex line "0 0 0", a face of no corners.
  f.format = ply_format::Ascii;
  f.elements[0].declaredCount = -1;
  std::string bytes = test::PlyFixtureBytes(f);
  bytes.replace(bytes.find("element vertex 8"), 16, "element vertex -5");
  EXPECT_EQ(LoadBytes(mesh, bytes).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::FaceNotTriangle);
}

// A header that claims 2^31-1 faces over a megabyte of them and then a face
// of no corners, as zeros where a cut-off file ends: the room taken for the
// faces is what the faces in the file need. It used to be what a face of its
// count alone takes, 13 times as much in a binary file and 4 times in a text
// file, and the face of no corners took twice the room before it was refused.
TYPED_TEST(PlyImportAllTypes, FaceCountBeyondTheFileTakesRoomOnlyForTheFacesInIt) {
  using F = typename TypeParam::FaceType;
  for (PlyFormat format : {ply_format::Ascii, ply_format::BinaryLittleEndian}) {
    SCOPED_TRACE(format);
    const bool ascii = format == ply_format::Ascii;
    std::string bytes = std::string("ply\nformat ") + test::PlyFormatWord(format) +
                        " 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                        "property float z\nelement face 2147483647\n"
                        "property list uchar int vertex_indices\nend_header\n";
    std::string face;
    if (ascii) {
      bytes += "0 0 0\n1 0 0\n0 1 0\n";
      face = "3 0 1 2\n";
    } else {
      const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
      bytes.append(reinterpret_cast<const char*>(corners), sizeof corners);
      const std::int32_t indices[3] = {0, 1, 2};
      face = std::string(1, '\3') + std::string(reinterpret_cast<const char*>(indices), 12);
    }
    const std::size_t faces = (std::size_t(1) << 20) / face.size();
    for (std::size_t i = 0; i < faces; ++i) bytes += face;
    bytes += ascii ? std::string("0\n") : std::string(1, '\0');
    TypeParam mesh;
    test::TakeLargestAllocation();
    EXPECT_EQ(LoadBytes(mesh, bytes).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::FaceNotTriangle);
    EXPECT_LE(test::TakeLargestAllocation(), std::max(faces * sizeof(F), PlyInput::kDefaultCapacity));
  }
}

TYPED_TEST(PlyImportAllTypes, TristripsDecode) {
  PlyFixture f = test::MeshFixture(test::CubeSoup(), ply_format::Ascii);
  f.elements[1] = {"tristrips", {{"vertex_indices", Int, Int}}, {{8, 0, 1, 2, 3, -1, 4, 5, 6}, {2, 0, 1}}, -1};
  for (PlyFormat format : test::kAllFormats) {
    SCOPED_TRACE(format);
    f.format = format;
    TypeParam mesh;
    auto r = LoadBytes(mesh, test::PlyFixtureBytes(f));
    ASSERT_EQ(r.result, 0);
    ASSERT_EQ(mesh.faceCount, 3);
    const int expected[3][3] = {{0, 1, 2}, {2, 1, 3}, {4, 5, 6}};
    for (std::size_t i = 0; i < 3; ++i)
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(mesh.faces[i].v[k] - mesh.vertices.data(), expected[i][k]) << i << " " << k;
    if constexpr (HasColor<typename TypeParam::FaceType>) {
      EXPECT_EQ(mesh.faces[2].color, (Color4b{255, 255, 255, 255}));
    }
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.back().text, "Tristrip Face Loading");

    PlyFixture twice = f;
    twice.elements[1].records = {{8, 0, 1, 2, -1, -1, 4, 5, 6}};
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(twice)).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);
    twice.elements[1].records = {{4, 0, 1, 2, 8}};
    EXPECT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(twice)).result, -1);
    EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);
  }
}

TEST(PlyImport, OnlyTheFirstElementOfEachNameIsLoaded) {
  PlyFixture f = test::MeshFixture(test::TetrahedronSoup(), ply_format::BinaryBigEndian);
  PlyFixtureElement moreVertices = f.elements[0];
  for (auto& rec : moreVertices.records) rec[0] += 10;
  PlyFixtureElement moreFaces = f.elements[1];
  moreFaces.records.resize(1);
  PlyFixtureElement strips{"tristrips", {{"vertex_indices", Int, Int}}, {{3, 0, 1, 2}}, -1};
  PlyFixtureElement other{"other", {{"a", Double}, {"b", Int, UChar}}, {{1, 2, 5, 6}, {2, 0}}, -1};
  f.elements = {f.elements[0], other, f.elements[1], moreVertices, moreFaces, strips};
  MeshT5 mesh;
  ASSERT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(f)).result, 0);
  EXPECT_EQ(mesh.vertexCount, 4);
  EXPECT_EQ(mesh.faceCount, 4);
  EXPECT_EQ(mesh.vertices[1].position, Vec3f(1, 0, 0));
}

TEST(PlyImport, OptionalAttributesFollowTheMeshType) {
  PlyFixture f;
  f.format = ply_format::BinaryLittleEndian;
  f.elements = {
      {"vertex",
       {{"x", Float}, {"y", Float}, {"z", Float}, {"flags", Int}, {"quality", Float}, {"confidence", Float},
        {"red", UChar}, {"green", UChar}, {"blue", UChar}},
       {{0, 0, 0, 0, 0.5, 9, 10, 20, 30}, {1, 0, 0, 1, 0.25, 9, 40, 50, 60}, {0, 1, 0, 0, 2, 9, 70, 80, 90}},
       -1},
      {"face",
       {{"vertex_indices", Int, UChar}, {"flags", Int}, {"quality", Float}, {"red", UChar}, {"green", UChar},
        {"blue", UChar}, {"texcoord", Float, UChar}, {"texnumber", Int}},
       {{3, 0, 1, 2, 0x20, 3.5, 1, 2, 3, 6, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, -1},
        {3, 2, 1, 0, 1, 4.5, 4, 5, 6, 4, 0.7, 0.8, 0.9, 1.0, 7}},
       -1}};
  const std::string bytes = test::PlyFixtureBytes(f);

  MeshT1 m1;
  auto r1 = LoadBytes(m1, bytes);
  ASSERT_EQ(r1.result, 0);
  EXPECT_EQ(r1.mask, io_mask::VertexFlags | io_mask::FaceFlags);
  EXPECT_EQ(m1.vertexCount, 2);  // the second vertex is flagged deleted
  EXPECT_EQ(m1.faceCount, 1);
  EXPECT_EQ(m1.faces[0].flags, 0x20u);

  MeshT3 m3;
  auto r3 = LoadBytes(m3, bytes);
  ASSERT_EQ(r3.result, 0);
  EXPECT_EQ(r3.mask, io_mask::VertexFlags | io_mask::VertexQuality | io_mask::VertexColor |
                         io_mask::FaceFlags | io_mask::FaceQuality | io_mask::FaceColor);
  EXPECT_EQ(m3.vertices[0].quality, 0.5f);  // "quality" wins over "confidence"
  EXPECT_EQ(m3.vertices[2].color, (Color4b{70, 80, 90, 255}));
  EXPECT_EQ(m3.faces[1].quality, 4.5f);
  EXPECT_EQ(m3.faces[1].color, (Color4b{4, 5, 6, 255}));

  MeshT4 m4;
  auto r4 = LoadBytes(m4, bytes);
  ASSERT_EQ(r4.result, 0);
  EXPECT_EQ(r4.mask, io_mask::VertexFlags | io_mask::VertexColor | io_mask::FaceFlags | io_mask::FaceColor |
                         io_mask::WedgeTexCoord | io_mask::WedgeTexNumber);
  EXPECT_EQ(m4.faces[0].wedge[2].u, 0.5f);
  EXPECT_EQ(m4.faces[0].wedge[2].v, 0.6f);
  EXPECT_EQ(m4.faces[0].wedge[0].texIndex, -1);
  // A list of four coordinates leaves the third wedge at 0.
  EXPECT_EQ(m4.faces[1].wedge[1].v, 1.0f);
  EXPECT_EQ(m4.faces[1].wedge[2].u, 0.0f);
  EXPECT_EQ(m4.faces[1].wedge[2].v, 0.0f);
  EXPECT_EQ(m4.faces[1].wedge[2].texIndex, 7);

  MeshT5 m5;
  auto r5 = LoadBytes(m5, bytes);
  ASSERT_EQ(r5.result, 0);
  EXPECT_EQ(r5.mask, r3.mask | r4.mask);
  EXPECT_EQ(m5.vertices[1].quality, 0.25f);
  EXPECT_EQ(m5.faces[0].color, (Color4b{1, 2, 3, 255}));
  EXPECT_EQ(m5.faces[0].wedge[1].u, 0.3f);
}

TEST(PlyImport, ConfidenceStandsInForQualityAndColoursNeedAllThree) {
  PlyFixture f;
  f.format = ply_format::Ascii;
  f.elements = {{"vertex",
                 {{"x", Float}, {"y", Float}, {"z", Float}, {"confidence", Float}, {"red", UChar}, {"green", UChar}},
                 {{0, 0, 0, 0.75, 1, 2}, {1, 0, 0, 0.5, 3, 4}, {0, 1, 0, 0.25, 5, 6}},
                 -1},
                {"face", {{"vertex_indices", Int, UChar}, {"color", Float, UChar}},
                 {{3, 0, 1, 2, 9, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {3, 0, 2, 1, 6, 1, 1, 1, 0, 0, 0}, {3, 1, 2, 0, 2, 1, 1},
                  {3, 2, 1, 0, 3, -1, 2, std::nan("")}},
                 -1}};
  MeshT3 m;
  auto r = LoadBytes(m, test::PlyFixtureBytes(f));
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(r.mask, io_mask::VertexQuality | io_mask::FaceColorList);
  EXPECT_EQ(m.vertices[0].quality, 0.75f);
  EXPECT_EQ(m.vertices[1].color, (Color4b{255, 255, 255, 255}));
  // Three triples: the mean, truncated: 255 x 1/3 = 85.
  EXPECT_EQ(m.faces[0].color, (Color4b{85, 85, 85, 255}));
  EXPECT_EQ(m.faces[1].color, (Color4b{127, 127, 127, 255}));  // two triples
  EXPECT_EQ(m.faces[2].color, (Color4b{255, 255, 255, 255}));  // no whole triple
  EXPECT_EQ(m.faces[3].color, (Color4b{0, 255, 0, 255}));      // clamped, NaN gives 0

  IoMask probe = 0;
  std::string path = test::TempFilePath("confidence.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, f));
  ASSERT_EQ(PlyImporter::LoadMask(path.c_str(), probe, m), 1);
  EXPECT_EQ(probe, io_mask::VertexCoord | io_mask::VertexQuality | io_mask::FaceIndices | io_mask::FaceColorList);
}

// The viewer's choice of the mesh type from the probe's mask.
int MeshTypeFor(IoMask mask) {
  if (mask & io_mask::WedgeTexCoord) return 4;
  if (mask & (io_mask::VertexColor | io_mask::VertexQuality | io_mask::FaceColor | io_mask::FaceQuality |
              io_mask::FaceColorList)) {
    return 3;
  }
  return 1;
}

TEST(PlyProbe, PicksTheMeshTypeFromTheAttributes) {
  auto probe = [](const PlyFixture& f, IoMask& mask) {
    std::string path = test::TempFilePath("probe.ply");
    EXPECT_TRUE(test::WritePlyFixture(path, f));
    MeshT1 mesh;
    mesh.lastError = 42;
    int r = PlyImporter::LoadMask(path.c_str(), mask, mesh);
    EXPECT_EQ(mesh.lastError, 42);  // a successful probe leaves it alone
    return r;
  };
  PlyFixture plain = test::CubeFixture(ply_format::BinaryLittleEndian);
  IoMask mask = 0;
  ASSERT_EQ(probe(plain, mask), 1);
  EXPECT_EQ(mask, io_mask::VertexCoord | io_mask::FaceIndices);
  EXPECT_EQ(MeshTypeFor(mask), 1);

  PlyFixture flags = plain;
  flags.elements[0].properties.push_back({"flags", Int});
  for (auto& rec : flags.elements[0].records) rec.push_back(0);
  ASSERT_EQ(probe(flags, mask), 1);
  EXPECT_EQ(MeshTypeFor(mask), 1);

  PlyFixture colored = plain;
  for (const char* c : {"red", "green", "blue"}) colored.elements[1].properties.push_back({c, UChar});
  for (auto& rec : colored.elements[1].records) rec.insert(rec.end(), {1, 2, 3});
  ASSERT_EQ(probe(colored, mask), 1);
  EXPECT_EQ(mask, io_mask::VertexCoord | io_mask::FaceIndices | io_mask::FaceColor);
  EXPECT_EQ(MeshTypeFor(mask), 3);

  PlyFixture textured = plain;
  textured.elements[1].properties.push_back({"texnumber", Int});  // tried without texcoord too
  textured.elements[1].properties.push_back({"texcoord", Float, UChar});
  for (auto& rec : textured.elements[1].records) rec.insert(rec.end(), {0, 6, 0, 0, 1, 0, 1, 1});
  ASSERT_EQ(probe(textured, mask), 1);
  EXPECT_EQ(mask, io_mask::VertexCoord | io_mask::FaceIndices | io_mask::WedgeTexCoord | io_mask::WedgeTexNumber);
  EXPECT_EQ(MeshTypeFor(mask), 4);

  // Strips and "vertex_index" are not the probe's business; cameras neither.
  PlyFixture strips = plain;
  strips.elements[1] = {"tristrips", {{"vertex_indices", Int, Int}}, {{3, 0, 1, 2}}, -1};
  ASSERT_EQ(probe(strips, mask), 1);
  EXPECT_EQ(mask, io_mask::VertexCoord);

  MeshT1 mesh;
  EXPECT_EQ(PlyImporter::LoadMask(test::TempFilePath("missing.ply").c_str(), mask, mesh), 0);
  EXPECT_EQ(mesh.lastError, ply_error::CantOpenFile);
  EXPECT_EQ(mask, 0u);
  ASSERT_TRUE(test::WriteFileBytes(test::TempFilePath("bad.ply"), "ply\nformat ascii 1.0\nbogus\n"));
  EXPECT_EQ(PlyImporter::LoadMask(test::TempFilePath("bad.ply").c_str(), mask, mesh), 0);
  EXPECT_EQ(mesh.lastError, ply_error::SyntaxError);
}

PlyFixtureElement CameraElement(int properties, std::vector<std::vector<double>> records) {
  static const char* const names[23] = {"view_px", "view_py", "view_pz", "x_axisx", "x_axisy", "x_axisz",
                                        "y_axisx", "y_axisy", "y_axisz", "z_axisx", "z_axisy", "z_axisz",
                                        "focal",   "scalex",  "scaley",  "centerx", "centery", "viewportx",
                                        "viewporty", "k1",    "k2",      "k3",      "k4"};
  PlyFixtureElement e{"camera", {}, std::move(records), -1};
  for (int i = 0; i < properties; ++i) e.properties.push_back({names[i], (i == 17 || i == 18) ? Int : Float});
  return e;
}

TEST(PlyImport, CameraRecords) {
  for (PlyFormat format : test::kAllFormats) {
    SCOPED_TRACE(format);
    std::vector<double> first(23, 1.0), second(23);
    for (int i = 0; i < 23; ++i) second[std::size_t(i)] = i + 0.5;
    second[17] = 640;
    second[18] = 480;
    PlyFixture f = test::CubeFixture(format);
    f.elements.insert(f.elements.begin() + 1, CameraElement(23, {first, second}));
    MeshT4 mesh;
    auto r = LoadBytes(mesh, test::PlyFixtureBytes(f));
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.mask, io_mask::Camera);
    ASSERT_TRUE(mesh.hasCamera);
    EXPECT_EQ(mesh.camera.view_px, 0.5f);  // the last record wins
    EXPECT_EQ(mesh.camera.focal, 12.5f);
    EXPECT_EQ(mesh.camera.viewportx, 640);
    EXPECT_EQ(mesh.camera.viewporty, 480);
    EXPECT_EQ(mesh.camera.k4, 22.5f);

    // Fewer properties: still read, but no camera bit.
    PlyFixture partial = test::CubeFixture(format);
    partial.elements.push_back(CameraElement(5, {{1, 2, 3, 4, 5}}));
    auto p = LoadBytes(mesh, test::PlyFixtureBytes(partial));
    ASSERT_EQ(p.result, 0);
    EXPECT_EQ(p.mask, 0u);
    EXPECT_TRUE(mesh.hasCamera);
    EXPECT_EQ(mesh.camera.x_axisy, 5.0f);

    PlyFixture none = test::CubeFixture(format);
    ASSERT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(none)).result, 0);
    EXPECT_FALSE(mesh.hasCamera);
  }
}

TEST(PlyImport, TextureNamesFromComments) {
  PlyFixture f = test::CubeFixture(ply_format::Ascii);
  f.comments = {"TextureFile <this>_tex.png", "TextureFile my \ttexture\x7f.jpg", "TextureNormalFile <THIS>.nrm.png",
                "something else", "TextureFile"};
  std::string bytes = test::PlyFixtureBytes(f);
  std::string path = test::TempFilePath("Model.PLY");
  ASSERT_TRUE(test::WriteFileBytes(path, bytes));
  MeshT4 mesh;
  mesh.textureNames = {"stale"};
  ASSERT_EQ(test::LoadFile(mesh, path).result, 0);
  ASSERT_EQ(mesh.textureNames.size(), 3u);
  EXPECT_EQ(mesh.textureNames[0], "Model_tex.png");
  EXPECT_EQ(mesh.textureNames[1], "mytexture.jpg");
  EXPECT_EQ(mesh.textureNames[2], "");
  ASSERT_EQ(mesh.normalMapNames.size(), 1u);
  EXPECT_EQ(mesh.normalMapNames[0], "Model.nrm.png");

  EXPECT_EQ(PlyTextureName("<this>.png\n", "/some/dir\\bunny.ply"), "bunny.png");
  EXPECT_EQ(PlyTextureName("a<thi>b", "x.ply"), "a<thi>b");
  EXPECT_EQ(PlyTextureName("{x}|~", "x.ply"), "{x|");
  EXPECT_EQ(PlyTextureName("<tHiS><this>", "dir/mesh.data"), "mesh.datamesh.data");
}

TEST(PlyImport, ProgressEveryThousandRecords) {
  test::Soup grid = test::GridSoup(49);  // 2500 vertices, 4802 faces
  PlyFixture f = test::MeshFixture(grid, ply_format::BinaryLittleEndian);
  MeshT1 mesh;
  auto r = LoadBytes(mesh, test::PlyFixtureBytes(f));
  ASSERT_EQ(r.result, 0);
  std::vector<test::ProgressCall> expected = {{0, "Vertex Loading"},  {20, "Vertex Loading"},
                                              {40, "Vertex Loading"}, {50, "Face Loading"},
                                              {60, "Face Loading"},   {70, "Face Loading"},
                                              {81, "Face Loading"},   {91, "Face Loading"}};
  EXPECT_EQ(r.progress, expected);

  IoMask mask;
  EXPECT_EQ(PlyImporter::Open(mesh, test::TempFilePath("load.ply").c_str(), 0, nullptr, 0, nullptr, mask, nullptr), 0);
}

struct ExtraVertex {
  float nx, ny, nz;
};

TEST(PlyImport, ExtraBindingsLandInTheRecords) {
  PlyFixture f = test::MeshFixture(test::TetrahedronSoup(), ply_format::BinaryBigEndian);
  f.elements[0].properties.push_back({"nx", Float});
  f.elements[0].properties.push_back({"id", UShort});
  for (std::size_t i = 0; i < f.elements[0].records.size(); ++i) {
    f.elements[0].records[i].push_back(double(i) + 0.5);
    f.elements[0].records[i].push_back(double(1000 + i));
  }
  f.elements[1].properties.push_back({"q", Double});
  for (auto& rec : f.elements[1].records) rec.push_back(-2.5);
  std::string path = test::TempFilePath("extra.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, f));

  PlyBinding vertexExtras[2] = {
      {"vertex", "nx", Float, Float, std::int32_t(offsetof(VertexT5, normal)), 0, 0, 0, 0, 0, 0, 0},
      {"vertex", "id", UShort, Int, std::int32_t(offsetof(VertexT5, mark)), 0, 0, 0, 0, 0, 0, 0}};
  PlyBinding faceExtras[1] = {
      {"face", "q", Double, Float, std::int32_t(offsetof(FaceT5, quality)), 0, 0, 0, 0, 0, 0, 0}};
  MeshT5 mesh;
  auto r = test::LoadFile(mesh, path, 2, vertexExtras, 1, faceExtras);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(mesh.vertices[3].normal.x, 3.5f);
  EXPECT_EQ(mesh.vertices[3].mark, 1003);
  EXPECT_EQ(mesh.faces[2].quality, -2.5f);

  // An extra binding that fails gives the reader's error.
  PlyBinding missing[1] = {{"vertex", "nope", Float, Float, 0, 0, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(test::LoadFile(mesh, path, 1, missing).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::PropertyNotFound);

  // More than 256 bytes of extras, a list, or a field outside the record:
  // nowhere sound to put them.
  std::vector<PlyBinding> many(33, vertexExtras[0]);
  for (auto& b : many) b.memType = Double;
  many[0].fileType = Float;
  EXPECT_EQ(test::LoadFile(mesh, path, 33, many.data()).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::BadTypeOnAddToRead);
  PlyBinding outside[1] = {vertexExtras[0]};
  outside[0].offset = std::int32_t(sizeof(VertexT5)) - 2;
  EXPECT_EQ(test::LoadFile(mesh, path, 1, outside).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::BadTypeOnAddToRead);
  PlyBinding list[1] = {{"face", "vertex_indices", Int, Int, 0, 1, 0, UChar, UChar, 0, 0, 3}};
  EXPECT_EQ(test::LoadFile(mesh, path, 0, nullptr, 1, list).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::BadTypeOnAddToRead);
  PlyBinding otherElement[1] = {{"vertex", "x", Float, Float, 0, 0, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(test::LoadFile(mesh, path, 0, nullptr, 1, otherElement).result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::BadTypeOnAddToRead);
}

TEST(PlyImport, FailureLeavesTheMeshAsItWas) {
  MeshT5 mesh;
  ASSERT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(test::CubeFixture(ply_format::Ascii))).result, 0);
  mesh.textureNames = {"keep.png"};
  mesh.color = Color4b{1, 2, 3, 4};
  const std::string before = Describe(mesh);
  VertexT5* firstVertex = mesh.vertices.data();
  auto r = LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(ply_format::Ascii, {{3, 0, 1, 2}, {3, 0, 1, 9}})));
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(mesh.lastError, ply_error::BadVertexIndex);
  mesh.lastError = 0;
  EXPECT_EQ(Describe(mesh), before);
  EXPECT_EQ(mesh.vertices.data(), firstVertex);

  // A successful load replaces everything but the whole-mesh colour.
  ASSERT_EQ(LoadBytes(mesh, test::PlyFixtureBytes(TriangleFile(ply_format::Ascii, {{3, 0, 1, 2}}))).result, 0);
  EXPECT_EQ(mesh.vertexCount, 4);
  EXPECT_TRUE(mesh.textureNames.empty());
  EXPECT_EQ(mesh.color, (Color4b{1, 2, 3, 4}));
  EXPECT_TRUE(test::PointersInside(mesh));
}

}  // namespace
}  // namespace quarnel
