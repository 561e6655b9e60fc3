#include "io/ply_exporter.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::TetraWithDeletions;

struct Written {
  int result = 0;
  std::string header;
  std::string body;
};

Written Save(const MeshT5& m, IoMask mask, bool binary = true, int nv = 0,
             const PlyBinding* bv = nullptr, int nf = 0, const PlyBinding* bf = nullptr) {
  ScratchDir dir;
  Written w;
  w.result = PlyExporter::Save(m, (dir / "m.ply").c_str(), binary, nv, bv, nf, bf, mask);
  std::string file = ReadFile(dir / "m.ply");
  size_t end = file.find("end_header\n");
  if (end != std::string::npos) {
    w.header = file.substr(0, end + 11);
    w.body = file.substr(end + 11);
  } else {
    w.header = file;
  }
  return w;
}

// Little-endian values from a binary body, in order.
class Body {
 public:
  explicit Body(const std::string& s) : s_(s) {}
  template <class T>
  T Next() {
    T v{};
    EXPECT_LE(at_ + sizeof v, s_.size());
    if (at_ + sizeof v <= s_.size()) std::memcpy(&v, s_.data() + at_, sizeof v);
    at_ += sizeof v;
    return v;
  }
  bool AtEnd() const { return at_ == s_.size(); }

 private:
  const std::string& s_;
  size_t at_ = 0;
};

const char kPlainHeader[] =
    "ply\nformat binary_little_endian 1.0\ncomment KelvorLIB generated\n"
    "element vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 4\nproperty list uchar int vertex_indices\nend_header\n";

TEST(PlyExporter, MaskZeroWritesPositionsAndDenselyNumberedFaces) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  Written w = Save(m, 0);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.header, kPlainHeader);
  ASSERT_EQ(w.body.size(), 4 * 12u + 4 * 13u);
  Body b(w.body);
  for (size_t i : {0u, 2u, 3u, 4u}) {
    EXPECT_EQ(b.Next<float>(), m.vertices[i].position.x);
    EXPECT_EQ(b.Next<float>(), m.vertices[i].position.y);
    EXPECT_EQ(b.Next<float>(), m.vertices[i].position.z);
  }
  const int32_t faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  for (const auto& f : faces) {
    EXPECT_EQ(b.Next<uint8_t>(), 3);
    for (int32_t i : f)
      EXPECT_EQ(b.Next<int32_t>(), i);
  }
  EXPECT_TRUE(b.AtEnd());
}

TEST(PlyExporter, EveryAttributeInHeaderAndBodyOrder) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.textureNames = {"a.png", "b c.png"};
  m.normalMapNames = {"n.png"};
  m.hasCamera = true;
  m.camera.view_px = 1.5f;
  m.camera.viewportx = 640;
  m.camera.viewporty = -480;
  m.camera.k4 = 0.25f;
  m.vertices[0].flags |= ElemFlag::Selected;
  m.vertices[0].quality = 0.75f;
  m.faces[0].quality = 2.5f;
  m.faces[0].color = Color4b{1, 2, 3, 4};
  m.faces[0].wedge[0].texIndex = -1;
  m.faces[0].flags |= ElemFlag::Border0;
  const PlyBinding vx[] = {
      {"vertex", "mark", ply_type::Short, ply_type::Int, int32_t(offsetof(VertexT5, mark))}};
  const PlyBinding fx[] = {
      {"face", "q2", ply_type::Double, ply_type::Float, int32_t(offsetof(FaceT5, quality))}};
  m.vertices[0].mark = 70000;  // keeps its low 16 bits as a short

  Written w = Save(m, 0xFFFF, true, 1, vx, 1, fx);
  ASSERT_EQ(w.result, 0);
  std::string expected =
      "ply\nformat binary_little_endian 1.0\ncomment KelvorLIB generated\n"
      "comment TextureFile a.png\ncomment TextureFile bc.png\ncomment TextureNormalFile n.png\n"
      "element camera 1\n";
  for (const char* p : {"view_px", "view_py", "view_pz", "x_axisx", "x_axisy", "x_axisz", "y_axisx",
                        "y_axisy", "y_axisz", "z_axisx", "z_axisy", "z_axisz", "focal", "scalex",
                        "scaley", "centerx", "centery"})
    expected += std::string("property float ") + p + "\n";
  expected += "property int viewportx\nproperty int viewporty\n";
  for (const char* p : {"k1", "k2", "k3", "k4"})
    expected += std::string("property float ") + p + "\n";
  expected +=
      "element vertex 4\nproperty float x\nproperty float y\nproperty float z\nproperty int flags\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
      "property float quality\nproperty short mark\n"
      "element face 4\nproperty list uchar int vertex_indices\nproperty int flags\n"
      "property list uchar float texcoord\nproperty int texnumber\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
      "property float quality\nproperty double q2\nend_header\n";
  EXPECT_EQ(w.header, expected);
  ASSERT_EQ(w.body.size(), 92u + 4 * (12 + 4 + 4 + 4 + 2) + 4 * (13 + 4 + 25 + 4 + 4 + 4 + 8));

  Body b(w.body);
  EXPECT_EQ(b.Next<float>(), 1.5f);
  for (int i = 0; i < 16; ++i)
    b.Next<float>();
  EXPECT_EQ(b.Next<int32_t>(), 640);
  EXPECT_EQ(b.Next<int32_t>(), -480);
  for (int i = 0; i < 3; ++i)
    b.Next<float>();
  EXPECT_EQ(b.Next<float>(), 0.25f);
  // First vertex.
  for (int i = 0; i < 3; ++i)
    b.Next<float>();
  EXPECT_EQ(b.Next<uint32_t>(), ElemFlag::Selected);
  EXPECT_EQ(b.Next<uint8_t>(), m.vertices[0].color.r);
  EXPECT_EQ(b.Next<uint8_t>(), 128);
  EXPECT_EQ(b.Next<uint8_t>(), 255);
  EXPECT_EQ(b.Next<uint8_t>(), 255);
  EXPECT_EQ(b.Next<float>(), 0.75f);
  EXPECT_EQ(b.Next<int16_t>(), int16_t(70000 & 0xFFFF));
  for (int v = 1; v < 4; ++v)
    for (int i = 0; i < 26; ++i)
      b.Next<uint8_t>();
  // First face.
  EXPECT_EQ(b.Next<uint8_t>(), 3);
  EXPECT_EQ(b.Next<int32_t>(), 0);
  EXPECT_EQ(b.Next<int32_t>(), 2);
  EXPECT_EQ(b.Next<int32_t>(), 1);
  EXPECT_EQ(b.Next<uint32_t>(), m.faces[0].flags);
  EXPECT_EQ(b.Next<uint8_t>(), 6);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(b.Next<float>(), m.faces[0].wedge[k].u);
    EXPECT_EQ(b.Next<float>(), m.faces[0].wedge[k].v);
  }
  EXPECT_EQ(b.Next<int32_t>(), -1);
  EXPECT_EQ(b.Next<uint8_t>(), 1);
  EXPECT_EQ(b.Next<uint8_t>(), 2);
  EXPECT_EQ(b.Next<uint8_t>(), 3);
  EXPECT_EQ(b.Next<uint8_t>(), 4);
  EXPECT_EQ(b.Next<float>(), 2.5f);
  EXPECT_EQ(b.Next<double>(), 2.5);
}

TEST(PlyExporter, TextureNamesDecideTexNumberAndCommentLines) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  // No names: the list is declared anyway, without comments.
  Written none = Save(m, io_mask::WedgeTexCoord | io_mask::WedgeTexNumber);
  EXPECT_EQ(none.header.find("comment TextureFile"), std::string::npos);
  EXPECT_NE(none.header.find("property list uchar float texcoord\n"), std::string::npos);
  EXPECT_EQ(none.header.find("texnumber"), std::string::npos);
  EXPECT_EQ(none.body.size(), 4 * 12u + 4 * (13 + 25));

  m.textureNames = {"only.png"};
  Written one = Save(m, io_mask::WedgeTexCoord);
  EXPECT_NE(
      one.header.find("comment KelvorLIB generated\ncomment TextureFile only.png\nelement vertex"),
      std::string::npos);
  EXPECT_EQ(one.header.find("texnumber"), std::string::npos);

  // Without the texture bit the names are not written; normal maps always are.
  m.normalMapNames = {"bump.png"};
  Written noTex = Save(m, 0);
  EXPECT_EQ(noTex.header.find("TextureFile"), std::string::npos);
  EXPECT_NE(noTex.header.find("comment TextureNormalFile bump.png\n"), std::string::npos);
}

TEST(PlyExporter, CameraNeedsBothTheBitAndTheRecord) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  EXPECT_EQ(Save(m, io_mask::Camera).header, kPlainHeader);
  m.hasCamera = true;
  Written w = Save(m, io_mask::Camera);
  EXPECT_NE(w.header.find("element camera 1\n"), std::string::npos);
  EXPECT_EQ(w.body.size(), 92u + 4 * 12 + 4 * 13);
  EXPECT_EQ(Save(m, 0).header, kPlainHeader);
}

TEST(PlyExporter, FaceColourListIsWrittenAsFaceColour) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  Written w = Save(m, io_mask::FaceColorList);
  EXPECT_NE(w.header.find(
                "property list uchar int vertex_indices\nproperty uchar red\nproperty uchar green\n"
                "property uchar blue\nproperty uchar alpha\nend_header\n"),
            std::string::npos);
  EXPECT_EQ(w.body.size(), 4 * 12u + 4 * 17);
}

TEST(PlyExporter, MeshIsUnchangedAndFlagsAreWrittenAsOnEntry) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.vertices[2].flags |= 0x40000000u;
  std::vector<uint32_t> before;
  for (auto& v : m.vertices)
    before.push_back(v.flags);
  Written w = Save(m, io_mask::VertexFlags);
  ASSERT_EQ(w.result, 0);
  std::vector<uint32_t> after;
  for (auto& v : m.vertices)
    after.push_back(v.flags);
  EXPECT_EQ(after, before);
  Body b(w.body);
  for (size_t i : {0u, 2u, 3u, 4u}) {
    for (int k = 0; k < 3; ++k)
      b.Next<float>();
    EXPECT_EQ(b.Next<uint32_t>(), m.vertices[i].flags);
  }
}

TEST(PlyExporter, LiveFaceOnADeletedVertexKeepsAValidIndex) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.faces[2].flags &= ~ElemFlag::Deleted;  // face 2 uses the deleted vertex 1
  Written w = Save(m, io_mask::VertexFlags);
  EXPECT_NE(w.header.find("element vertex 5\n"), std::string::npos);
  EXPECT_NE(w.header.find("element face 5\n"), std::string::npos);
  Body b(w.body);
  for (int v = 0; v < 5; ++v) {
    for (int k = 0; k < 3; ++k)
      b.Next<float>();
    uint32_t flags = b.Next<uint32_t>();
    EXPECT_EQ(flags, m.vertices[size_t(v)].flags);
  }
  for (int f = 0; f < 5; ++f) {
    EXPECT_EQ(b.Next<uint8_t>(), 3);
    for (int k = 0; k < 3; ++k) {
      int32_t i = b.Next<int32_t>();
      EXPECT_TRUE(i >= 0 && i < 5) << i;
    }
  }
  EXPECT_TRUE(b.AtEnd());
}

TEST(PlyExporter, AsciiFormIsOneLinePerRecord) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.textureNames = {"t.png"};
  m.vertices[0].quality = 0.1f;
  m.faces[4].quality = -3.0f;
  Written w = Save(
      m,
      io_mask::VertexFlags | io_mask::VertexQuality | io_mask::WedgeTexCoord | io_mask::FaceQuality,
      false);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(
      w.header,
      "ply\nformat ascii 1.0\ncomment KelvorLIB generated\ncomment TextureFile t.png\n"
      "element vertex 4\nproperty float x\nproperty float y\nproperty float z\nproperty int flags\n"
      "property float quality\nelement face 4\nproperty list uchar int vertex_indices\n"
      "property list uchar float texcoord\nproperty float quality\nend_header\n");
  EXPECT_EQ(w.body,
            "0 0 0 0 0.1\n"
            "1 0 0 0 0\n"
            "0 1 0 0 0\n"
            "0 0 1 0 0\n"
            "3 0 2 1 6 0.1 0 0.1 0.5 0.1 1 0\n"
            "3 0 1 3 6 0.2 0 0.2 0.5 0.2 1 0\n"
            "3 0 3 2 6 0.4 0 0.4 0.5 0.4 1 0\n"
            "3 1 2 3 6 0.5 0 0.5 0.5 0.5 1 -3\n");
}

TEST(PlyExporter, ExtraValuesConvertFromMemoryToFileType) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  m.vertices[0].quality = -2.75f;
  m.vertices[0].color.r = 200;
  m.vertices[0].mark = -5;
  m.faces[0].quality = 1e30f;
  const PlyBinding vx[] = {
      {"vertex", "qi", ply_type::Int, ply_type::Float, int32_t(offsetof(VertexT5, quality))},
      {"vertex", "rc", ply_type::Char, ply_type::UChar, int32_t(offsetof(VertexT5, color))},
      {"vertex", "rs", ply_type::Short, ply_type::Char, int32_t(offsetof(VertexT5, color))},
      {"vertex", "rd", ply_type::Double, ply_type::UChar, int32_t(offsetof(VertexT5, color))},
      {"vertex", "mu", ply_type::UInt, ply_type::Int, int32_t(offsetof(VertexT5, mark))},
      {"vertex", "mf", ply_type::Float, ply_type::Int, int32_t(offsetof(VertexT5, mark))},
  };
  const PlyBinding fx[] = {
      {"face", "qs", ply_type::Short, ply_type::Float, int32_t(offsetof(FaceT5, quality))},
      {"face", "qf", ply_type::UShort, ply_type::Float, int32_t(offsetof(FaceT5, quality))},
  };
  Written w = Save(m, 0, false, 6, vx, 2, fx);
  ASSERT_EQ(w.result, 0);
  EXPECT_NE(
      w.header.find("property int qi\nproperty char rc\nproperty short rs\nproperty double rd\n"
                    "property uint mu\nproperty float mf\nelement face"),
      std::string::npos);
  EXPECT_EQ(w.body.substr(0, w.body.find('\n')), "0 0 0 -2 -56 -56 200 4294967291 -5");
  // A float beyond the integer type's range is held to it.
  size_t face0 = w.body.find("\n3 ") + 1;
  EXPECT_EQ(w.body.substr(face0, w.body.find('\n', face0) - face0), "3 0 2 1 32767 65535");
}

TEST(PlyExporter, UnusableArgumentsFailWithoutTouchingTheTarget) {
  MeshT5 m = TetraWithDeletions<MeshT5>();
  ScratchDir dir;
  const std::string target = dir / "m.ply";
  test::WriteFile(target, "before");
  const PlyBinding outside[] = {
      {"vertex", "x2", ply_type::Double, ply_type::Double, int32_t(sizeof(VertexT5) - 4)}};
  const PlyBinding badType[] = {{"vertex", "t", 0, ply_type::Int, 0}};
  const PlyBinding noName[] = {{"vertex", nullptr, ply_type::Int, ply_type::Int, 0}};
  const PlyBinding blankName[] = {{"vertex", "two words", ply_type::Int, ply_type::Int, 0}};
  const PlyBinding negative[] = {{"face", "n", ply_type::Int, ply_type::Int, -4}};
  for (const PlyBinding* b : {outside, badType, noName, blankName})
    EXPECT_EQ(PlyExporter::Save(m, target.c_str(), true, 1, b, 0, nullptr, 0), -1);
  EXPECT_EQ(PlyExporter::Save(m, target.c_str(), true, 0, nullptr, 1, negative, 0), -1);
  EXPECT_EQ(PlyExporter::Save(m, target.c_str(), true, 2, nullptr, 0, nullptr, 0), -1);
  EXPECT_EQ(ReadFile(target), "before");
  EXPECT_EQ(PlyExporter::Save(m, nullptr, true, 0, nullptr, 0, nullptr, 0), -1);
  EXPECT_EQ(dir.Entries().size(), 1u);
}

}  // namespace
}  // namespace quarnel
