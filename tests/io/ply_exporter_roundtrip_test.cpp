// A file loaded into the editable mesh, saved and loaded again gives back
// what the first load gave.
#include <gtest/gtest.h>

#include "io/ply_exporter.h"
#include "io/ply_importer.h"
#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::ScratchDir;
using test::WriteFile;

const char* const kCameraFloats[] = {"view_px", "view_py", "view_pz", "x_axisx", "x_axisy",
                                     "x_axisz", "y_axisx", "y_axisy", "y_axisz", "z_axisx",
                                     "z_axisy", "z_axisz", "focal",   "scalex",  "scaley",
                                     "centerx", "centery"};

// A hand-written file with every attribute the editable mesh keeps.
std::string FullFile() {
  std::string s =
      "ply\nformat ascii 1.0\ncomment TextureFile first.png\ncomment TextureFile second.png\n"
      "comment TextureNormalFile bump.png\nelement camera 1\n";
  for (const char* p : kCameraFloats)
    s += std::string("property float ") + p + "\n";
  s += "property int viewportx\nproperty int viewporty\n";
  for (const char* p : {"k1", "k2", "k3", "k4"})
    s += std::string("property float ") + p + "\n";
  s +=
      "element vertex 6\nproperty float x\nproperty float y\nproperty float z\nproperty int flags\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty float quality\n"
      "element face 5\nproperty list uchar int vertex_indices\nproperty int flags\n"
      "property list uchar float texcoord\nproperty int texnumber\n"
      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty float quality\n"
      "end_header\n"
      "0.25 -1 2 1 0 0 0 1 0 0 0 1 1.5 0.5 0.5 320 240 640 480 0.1 -0.2 0.003 0\n"
      "0 0 0 0 255 0 0 0.5\n"
      "1 0 0 32 0 255 0 1.25\n"
      "0 1 0 0 0 0 255 -3\n"
      "0 0 1 64 10 20 30 1e-07\n"
      "1 1 1 0 200 100 50 7\n"
      "0.1 0.2 0.3 0 1 2 3 4\n"
      "3 0 2 1 0 6 0 0 1 0 0 1 0 255 255 255 1\n"
      "3 0 1 3 32 6 0.5 0.5 0.25 0.75 1 1 1 1 2 3 0.5\n"
      "3 0 3 2 128 6 0.1 0.2 0.3 0.4 0.5 0.6 -1 9 8 7 -2\n"
      "3 1 2 3 0 6 0 1 1 0 1 1 0 0 0 0 100\n"
      "3 1 4 2 256 6 0.9 0.9 0.8 0.8 0.7 0.7 1 40 50 60 0\n";
  return s;
}

MeshT5 Load(const std::string& path, IoMask& mask) {
  MeshT5 m;
  EXPECT_EQ(PlyImporter::Open(m, path.c_str(), 0, nullptr, 0, nullptr, mask, nullptr), 0)
      << "error " << m.lastError;
  return m;
}

void ExpectSameVertex(const VertexT5& a, const VertexT5& b) {
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.color, b.color);
  EXPECT_EQ(a.quality, b.quality);
}

void ExpectSameFace(const FaceT5& a, const FaceT5& b) {
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.color, b.color);
  EXPECT_EQ(a.quality, b.quality);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(a.wedge[k], b.wedge[k]);
    EXPECT_EQ(a.v[k]->position, b.v[k]->position);
  }
}

void ExpectSameMesh(const MeshT5& a, const MeshT5& b) {
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  ASSERT_EQ(a.faces.size(), b.faces.size());
  EXPECT_EQ(a.vertexCount, b.vertexCount);
  EXPECT_EQ(a.faceCount, b.faceCount);
  for (size_t i = 0; i < a.vertices.size(); ++i)
    ExpectSameVertex(a.vertices[i], b.vertices[i]);
  for (size_t j = 0; j < a.faces.size(); ++j) {
    ExpectSameFace(a.faces[j], b.faces[j]);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(a.VertexIndex(a.faces[j].v[k]), b.VertexIndex(b.faces[j].v[k]));
  }
  EXPECT_EQ(a.textureNames, b.textureNames);
  EXPECT_EQ(a.normalMapNames, b.normalMapNames);
  EXPECT_EQ(a.hasCamera, b.hasCamera);
  EXPECT_EQ(a.camera, b.camera);
}

TEST(PlyRoundTrip, EveryAttributeSurvivesSaveAndReload) {
  ScratchDir dir;
  WriteFile(dir / "src.ply", FullFile());
  IoMask loaded = 0;
  MeshT5 first = Load(dir / "src.ply", loaded);
  const IoMask all = io_mask::VertexFlags | io_mask::VertexColor | io_mask::VertexQuality |
                     io_mask::FaceFlags | io_mask::FaceColor | io_mask::FaceQuality |
                     io_mask::WedgeTexCoord | io_mask::WedgeTexNumber | io_mask::Camera;
  ASSERT_EQ(loaded, all);
  ASSERT_EQ(first.vertices.size(), 6u);
  ASSERT_TRUE(first.hasCamera);
  EXPECT_EQ(first.faces[2].wedge[0].texIndex, -1);

  for (bool binary : {true, false}) {
    SCOPED_TRACE(binary ? "binary" : "ascii");
    ASSERT_EQ(PlyExporter::Save(first, (dir / "saved.ply").c_str(), binary, 0, nullptr, 0, nullptr,
                                loaded),
              0);
    IoMask reloaded = 0;
    MeshT5 second = Load(dir / "saved.ply", reloaded);
    EXPECT_EQ(reloaded, loaded);
    ExpectSameMesh(first, second);
  }
}

TEST(PlyRoundTrip, DeletedRecordsAreDroppedAndTheRestRenumbered) {
  ScratchDir dir;
  WriteFile(dir / "src.ply", FullFile());
  IoMask mask = 0;
  MeshT5 first = Load(dir / "src.ply", mask);
  first.faces[1].flags |= ElemFlag::Deleted;  // (0, 1, 3)
  --first.faceCount;
  first.vertices[3].flags |= ElemFlag::Deleted;  // now used by face 2 and 3 only
  first.faces[2].flags |= ElemFlag::Deleted;
  first.faces[3].flags |= ElemFlag::Deleted;
  first.faceCount -= 2;
  --first.vertexCount;
  first.vertices[5].flags |= ElemFlag::Deleted;  // used by no face
  --first.vertexCount;

  ASSERT_EQ(
      PlyExporter::Save(first, (dir / "saved.ply").c_str(), true, 0, nullptr, 0, nullptr, mask), 0);
  IoMask reloaded = 0;
  MeshT5 second = Load(dir / "saved.ply", reloaded);
  ASSERT_EQ(second.vertices.size(), 4u);
  ASSERT_EQ(second.faces.size(), 2u);
  EXPECT_EQ(second.vertexCount, 4);
  EXPECT_EQ(second.faceCount, 2);
  const size_t liveVertices[] = {0, 1, 2, 4};
  for (size_t i = 0; i < 4; ++i)
    ExpectSameVertex(second.vertices[i], first.vertices[liveVertices[i]]);
  ExpectSameFace(second.faces[0], first.faces[0]);
  ExpectSameFace(second.faces[1], first.faces[4]);
  // (1, 4, 2) in the first numbering is (1, 3, 2) in the dense one.
  EXPECT_EQ(second.VertexIndex(second.faces[1].v[0]), 1u);
  EXPECT_EQ(second.VertexIndex(second.faces[1].v[1]), 3u);
  EXPECT_EQ(second.VertexIndex(second.faces[1].v[2]), 2u);
}

TEST(PlyRoundTrip, ColourListComesBackAsFaceColour) {
  ScratchDir dir;
  WriteFile(
      dir / "src.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float "
      "z\n"
      "element face 1\nproperty list uchar int vertex_indices\nproperty list uchar float color\n"
      "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2 9 1 0 0 1 0 0 1 0.5 0.25\n");
  IoMask mask = 0;
  MeshT5 first = Load(dir / "src.ply", mask);
  ASSERT_EQ(mask, io_mask::FaceColorList);
  ASSERT_EQ(
      PlyExporter::Save(first, (dir / "saved.ply").c_str(), true, 0, nullptr, 0, nullptr, mask), 0);
  IoMask reloaded = 0;
  MeshT5 second = Load(dir / "saved.ply", reloaded);
  EXPECT_EQ(reloaded, io_mask::FaceColor);
  ASSERT_EQ(second.faces.size(), 1u);
  EXPECT_EQ(second.faces[0].color, first.faces[0].color);
  EXPECT_NE(first.faces[0].color, (Color4b{255, 255, 255, 255}));
}

TEST(PlyRoundTrip, MaskZeroKeepsGeometryOnly) {
  ScratchDir dir;
  WriteFile(dir / "src.ply", FullFile());
  IoMask mask = 0;
  MeshT5 first = Load(dir / "src.ply", mask);
  ASSERT_EQ(PlyExporter::Save(first, (dir / "saved.ply").c_str(), true, 0, nullptr, 0, nullptr, 0),
            0);
  IoMask reloaded = 0;
  MeshT5 second = Load(dir / "saved.ply", reloaded);
  EXPECT_EQ(reloaded, 0u);
  ASSERT_EQ(second.vertices.size(), first.vertices.size());
  for (size_t i = 0; i < first.vertices.size(); ++i)
    EXPECT_EQ(second.vertices[i].position, first.vertices[i].position);
  EXPECT_FALSE(second.hasCamera);
  EXPECT_TRUE(second.textureNames.empty());
  EXPECT_EQ(second.normalMapNames, first.normalMapNames);
}

}  // namespace
}  // namespace quarnel
