#include "io/vrml_exporter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::TetraWithDeletions;

template <class M>
std::string Export(const M& m, IoMask mask) {
  return test::ExportText<VrmlExporter>(m, mask, "m.wrl");
}

// The numbers after "scale" and "translation".
void Frame(const std::string& text, double scale[3], double translation[3]) {
  std::istringstream s(text.substr(text.find("  scale ") + 8));
  s >> scale[0] >> scale[1] >> scale[2];
  std::istringstream t(text.substr(text.find("  translation ") + 14));
  t >> translation[0] >> translation[1] >> translation[2];
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

TEST(VrmlExporter, ColourBlockOfTheExportCommandMatchesTheCheckedFile) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.textureNames = {"dir\\tex \"one\".png", "second.png"};
  test::ExpectMatchesExpected(Export(m, 0xFFFF), "vrml_tetra_t5_colors.wrl");
}

TEST(VrmlExporter, TextureCoordinateBlockMatchesTheCheckedFile) {
  MeshT4 m = TetraWithDeletions<MeshT4>();
  m.textureNames = {"skin.png"};
  test::ExpectMatchesExpected(Export(m, io_mask::WedgeTexCoord), "vrml_tetra_t4_texcoords.wrl");
}

TEST(VrmlExporter, PlainCubeMatchesTheCheckedFile) {
  MeshT1 m = test::Cube<MeshT1>(2.0f);
  UpdateBoundingBox(m);
  test::ExpectMatchesExpected(Export(m, 0xFFFF), "vrml_cube_t1.wrl");
}

TEST(VrmlExporter, BlockChoiceFollowsMaskAndType) {
  const std::string t3 = Export(TetraWithDeletions<MeshT3>(), 0xFFFF);
  EXPECT_NE(t3.find("color Color"), std::string::npos);
  EXPECT_EQ(t3.find("texCoord"), std::string::npos);
  // Colour wins over texture coordinates.
  const std::string t5 =
      Export(TetraWithDeletions<MeshT5>(), io_mask::VertexColor | io_mask::WedgeTexCoord);
  EXPECT_EQ(t5.find("texCoord"), std::string::npos);
  // MeshT3 has no wedges, MeshT1 no colour.
  const std::string t3tex = Export(TetraWithDeletions<MeshT3>(), io_mask::WedgeTexCoord);
  const std::string t1 = Export(TetraWithDeletions<MeshT1>(), 0xFFFF);
  EXPECT_EQ(t3tex, t1);
  EXPECT_EQ(t1.find("color Color"), std::string::npos);
  EXPECT_EQ(t1.find("texCoord"), std::string::npos);
  EXPECT_EQ(t1, Export(TetraWithDeletions<MeshT5>(), 0));
}

TEST(VrmlExporter, DeletedGeometryStaysOut) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  const std::string text = Export(m, 0xFFFF);
  EXPECT_EQ(text.find("9 9 9"), std::string::npos);
  EXPECT_EQ(Count(text, "-1,"), 2 * 4u);  // colorIndex and coordIndex, live faces only
  std::string coordIndex = text.substr(text.find("coordIndex\n        [") + 20);
  coordIndex = coordIndex.substr(0, coordIndex.find(']'));
  for (char& c : coordIndex)
    if (c == ',') c = ' ';
  std::istringstream in(coordIndex);
  std::vector<int> indices;
  for (int i; in >> i;)
    indices.push_back(i);
  EXPECT_EQ(indices, (std::vector<int>{0, 2, 1, -1, 0, 1, 3, -1, 0, 3, 2, -1, 1, 2, 3, -1}));
}

TEST(VrmlExporter, FrameFromTheBox) {
  double s[3], t[3];
  MeshT1 m = test::Cube<MeshT1>();
  m.bbox.min = Vec3f(0, 0, 0);
  m.bbox.max = Vec3f(2, 0, 0);
  Frame(Export(m, 0), s, t);
  for (double v : s)
    EXPECT_EQ(v, 4.0);
  EXPECT_EQ(t[0], -4.0);
  EXPECT_EQ(t[1], 0.0);  // by value: "-0" is fine
  EXPECT_EQ(t[2], -3.0);

  MeshT1 empty;  // the null box of an empty mesh
  const std::string text = Export(empty, 0xFFFF);
  EXPECT_NE(text.find("  scale 2.3094 2.3094 2.3094\n"), std::string::npos);
  Frame(text, s, t);
  for (double v : t)
    EXPECT_TRUE(v == 0.0 || v == -3.0);
  EXPECT_EQ(t[2], -3.0);

  // One point, or an infinite box: no usable diagonal, the model keeps its size.
  m.bbox.min = m.bbox.max = Vec3f(1, 2, 3);
  Frame(Export(m, 0), s, t);
  for (double v : s)
    EXPECT_EQ(v, 1.0);
  EXPECT_EQ(t[0], -1.0);
  EXPECT_EQ(t[1], -2.0);
  EXPECT_EQ(t[2], -6.0);
  m.bbox.min = Vec3f(0, 0, 0);
  m.bbox.max = Vec3f(INFINITY, 0, 0);
  Frame(Export(m, 0), s, t);
  for (double v : s)
    EXPECT_EQ(v, 1.0);
}

TEST(VrmlExporter, ListsBreakEveryFourOrSixEntries) {
  MeshT3 m = test::Icosphere<MeshT3>(0);  // 12 points, 20 faces
  UpdateBoundingBox(m);
  const std::string text = Export(m, 0xFFFF);
  const std::string points = text.substr(
      text.find("point\n          ["), text.find("          ]") - text.find("point\n          ["));
  EXPECT_EQ(Count(points, "\n            "), 3u);
  const std::string coordIndex = text.substr(text.find("coordIndex\n        ["));
  EXPECT_EQ(Count(coordIndex.substr(0, coordIndex.find("\n        ]")), "\n          "),
            4u);  // 20 faces / 6
  const std::string colorIndex = text.substr(text.find("colorIndex\n        ["));
  EXPECT_EQ(Count(colorIndex.substr(0, colorIndex.find("\n        ]")), "\n          "),
            5u);  // 20 / 4
}

TEST(VrmlExporter, ColourBytesAreScaledByTheFloatNearestOneOver255) {
  MeshT3 m = test::Tetrahedron<MeshT3>();
  m.vertices[0].color = Color4b{255, 128, 0, 7};
  UpdateBoundingBox(m);
  EXPECT_NE(Export(m, io_mask::VertexColor).find("\n            1 0.501961 0,"), std::string::npos);
}

}  // namespace
}  // namespace quarnel
