#include "io/obj_exporter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::TetraWithDeletions;

template <class M>
std::string Export(const M& m, IoMask mask) {
  return test::ExportText<ObjExporter>(m, mask, "m.obj");
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
  return out;
}

// The export command passes 0xFFFF: texture coordinates and vertex normals
// on the types with wedges, vertex normals alone on the others.
TEST(ObjExporter, ExportCommandMaskMatchesTheCheckedFiles) {
  test::ExpectMatchesExpected(Export(TetraWithDeletions<MeshT5>(), 0xFFFF),
                              "obj_tetra_t5_ffff.obj");
  test::ExpectMatchesExpected(Export(TetraWithDeletions<MeshT3>(), 0xFFFF),
                              "obj_tetra_t3_ffff.obj");
  EXPECT_EQ(Export(TetraWithDeletions<MeshT4>(), 0xFFFF),
            Export(TetraWithDeletions<MeshT5>(), 0xFFFF));
  EXPECT_EQ(Export(TetraWithDeletions<MeshT1>(), 0xFFFF),
            Export(TetraWithDeletions<MeshT3>(), 0xFFFF));
}

TEST(ObjExporter, FaceNormalsAreNumberedByLiveFace) {
  test::ExpectMatchesExpected(Export(TetraWithDeletions<MeshT1>(), io_mask::FaceNormal),
                              "obj_tetra_t1_face_normals.obj");
}

TEST(ObjExporter, MaskChoosesTheFaceLineForm) {
  const std::string plain = Export(TetraWithDeletions<MeshT5>(), 0);
  EXPECT_EQ(LinesStartingWith(plain, "f "),
            (std::vector<std::string>{"f 1 3 2", "f 1 2 4", "f 1 4 3", "f 2 3 4"}));
  EXPECT_TRUE(LinesStartingWith(plain, "vt ").empty());
  EXPECT_TRUE(LinesStartingWith(plain, "vn ").empty());
  EXPECT_EQ(LinesStartingWith(plain, "v ").size(), 4u);

  // Types without wedges ignore the texture bit.
  EXPECT_EQ(Export(TetraWithDeletions<MeshT3>(), io_mask::WedgeTexCoord),
            Export(TetraWithDeletions<MeshT3>(), 0));
  EXPECT_EQ(Export(TetraWithDeletions<MeshT1>(), io_mask::WedgeTexCoord), plain);

  const std::string tex = Export(TetraWithDeletions<MeshT4>(), io_mask::WedgeTexCoord);
  EXPECT_EQ(LinesStartingWith(tex, "f "),
            (std::vector<std::string>{"f 1/1 3/2 2/3", "f 1/4 2/5 4/6", "f 1/7 4/8 3/9",
                                      "f 2/10 3/11 4/12"}));
  EXPECT_EQ(LinesStartingWith(tex, "vt ").size(), 12u);
  // Texture coordinates of the deleted face (u = 0.3) are not written.
  EXPECT_EQ(tex.find("vt 0.3 "), std::string::npos);

  const std::string both =
      Export(TetraWithDeletions<MeshT5>(), io_mask::VertexNormal | io_mask::FaceNormal);
  EXPECT_EQ(LinesStartingWith(both, "vn ").size(), 4u);  // per vertex wins
  EXPECT_EQ(LinesStartingWith(both, "f ")[3], "f 2//2 3//3 4//4");
}

TEST(ObjExporter, LiveFaceOnADeletedVertexStillGetsAWrittenVertex) {
  MeshT3 m = TetraWithDeletions<MeshT3>();
  m.vertices[3].flags |= ElemFlag::Deleted;  // still used by three live faces
  const std::string text = Export(m, io_mask::VertexNormal);
  EXPECT_EQ(LinesStartingWith(text, "v ").size(), 4u);
  EXPECT_EQ(LinesStartingWith(text, "vn ").size(), 4u);
  EXPECT_EQ(LinesStartingWith(text, "f ")[0], "f 1//1 3//3 2//2");

  m.vertices[3].flags &= ~ElemFlag::Deleted;
  m.faces[0].flags |= ElemFlag::Deleted;
  m.faces[3].flags |= ElemFlag::Deleted;
  m.faces[4].flags |= ElemFlag::Deleted;
  m.vertices[3].flags |= ElemFlag::Deleted;  // now used by no live face
  EXPECT_EQ(LinesStartingWith(Export(m, 0), "v ").size(), 3u);
  EXPECT_EQ(LinesStartingWith(Export(m, 0), "f "), (std::vector<std::string>{"f 1 2 3"}));
}

TEST(ObjExporter, EmptyMeshIsTheHeaderLineOnly) {
  EXPECT_EQ(Export(MeshT4(), 0xFFFF), "#OBJ by KelvorLib\n");
}

}  // namespace
}  // namespace quarnel
