#include "app/mesh_holder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "app_fixtures.h"
#include "io/ply_types.h"

namespace quarnel {
namespace {

using test::CubeKind;

const LoadProgressCallback kNoProgress = [](int, const char*) { return 1; };

// Probes and loads like the document does.
bool Open(MeshHolder& h, const std::string& path, bool edit = false) {
  h.SetTag(1);
  h.ProbeFile(path.c_str());
  if (edit) h.SetTag(5);
  IoMask mask = 0;
  return h.Load(path.c_str(), mask, kNoProgress);
}

TEST(MeshHolder, StartsEmptyWithPlaceholders) {
  MeshHolder h;
  EXPECT_EQ(h.Tag(), 0);
  EXPECT_TRUE(h.BBox()->IsNull());
  EXPECT_EQ(h.VertexCount(), 0);
  EXPECT_EQ(h.FaceCount(), 0);
  EXPECT_TRUE(h.TextureNames()->empty());
  EXPECT_EQ(*h.VertexPosition(0), Vec3f(0, 0, 0));
  EXPECT_EQ(*h.VertexQuality(3), 0.0f);
  EXPECT_EQ(h.FaceVertexIndex(0, 1), 0);
  EXPECT_EQ(h.m_selectedVertexCount, -1);
  EXPECT_EQ(h.m_selectedFaceCount, -1);
  EXPECT_EQ(h.m_material.shininess, 0);
  EXPECT_FLOAT_EQ(h.m_material.diffuse[0], 0.8f);
  EXPECT_EQ(h.m_textureFilter, 2);
  EXPECT_EQ(h.m_lightDirection[2], 1.0f);
  EXPECT_NE(h.GlTextureName(0), nullptr);
  IoMask mask = 7;
  EXPECT_FALSE(h.Load("/nonexistent.ply", mask, kNoProgress));
  EXPECT_EQ(mask, 0u);
  EXPECT_FALSE(h.ExportStl(test::TempFilePath("tag0.stl").c_str()));
  EXPECT_FALSE(std::filesystem::exists(test::TempFilePath("tag0.stl")));
}

TEST(MeshHolder, TheProbeChoosesTheLightestTypeThatHoldsTheFile) {
  struct Case {
    CubeKind kind;
    int tag;
  } cases[] = {{CubeKind::Plain, 1}, {CubeKind::Colored, 3}, {CubeKind::Quality, 3},
               {CubeKind::Textured, 4}};
  for (const Case& c : cases) {
    MeshHolder h;
    std::string path = test::WriteCenteredCube("probe.ply", c.kind);
    h.SetTag(1);
    EXPECT_TRUE(h.ProbeFile(path.c_str()));
    EXPECT_EQ(h.Tag(), c.tag);
    IoMask mask = 0;
    ASSERT_TRUE(h.Load(path.c_str(), mask, kNoProgress));
    EXPECT_EQ(h.LoadMask(), mask);
    EXPECT_EQ(h.VertexCount(), 8);
    EXPECT_EQ(h.FaceCount(), 12);
    EXPECT_FLOAT_EQ(h.BBox()->max.x, 0.5f);
  }
  MeshHolder h;
  EXPECT_FALSE(h.ProbeFile("/nonexistent/probe.ply"));
  EXPECT_EQ(h.Tag(), 1);
  EXPECT_EQ(h.ErrorCode(), ply_error::CantOpenFile);
}

TEST(MeshHolder, LoadBindsTheDrawerOfTheTag) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("bind.ply", CubeKind::Colored)));
  EXPECT_EQ(h.m_drawer3.mesh, &h.m_mesh3);
  EXPECT_EQ(h.m_drawer3.hints & GlHint::Strips, 0u);
  EXPECT_FLOAT_EQ(h.m_drawer3.depthOffset, 0.0005f);
  EXPECT_EQ(h.m_drawer1.mesh, nullptr);
  EXPECT_EQ(h.VertexColor(0)->r, 200);

  MeshHolder e;
  ASSERT_TRUE(Open(e, test::WriteCenteredCube("bind5.ply", CubeKind::Plain), true));
  EXPECT_EQ(e.Tag(), 5);
  EXPECT_EQ(e.m_drawer5.mesh, &e.m_mesh5);
}

TEST(MeshHolder, AFailedLoadLeavesThePreviousMeshUsable) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("keep.ply", CubeKind::Colored)));
  const IoMask mask = h.LoadMask();
  const Vec3f* before = h.VertexPosition(0);

  IoMask failed = 0;
  EXPECT_FALSE(h.Load(test::WriteTruncatedCube("trunc.ply").c_str(), failed, kNoProgress));
  EXPECT_NE(h.ErrorCode(), 0);
  EXPECT_NE(PlyErrorText(h.ErrorCode())[0], '\0');
  EXPECT_EQ(h.VertexCount(), 8);
  EXPECT_EQ(h.FaceCount(), 12);
  EXPECT_EQ(h.LoadMask(), mask);
  EXPECT_EQ(h.VertexPosition(0), before);
  EXPECT_EQ(h.VertexColor(5)->r, 200);
  EXPECT_EQ(h.m_drawer3.mesh, &h.m_mesh3);
  EXPECT_TRUE(test::PointersInside(h.m_mesh3));
}

TEST(MeshHolder, SaveWritesWhatReopensTheSame) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("save-src.ply", CubeKind::Colored), true));
  std::string out = test::TempFilePath("saved.ply");
  EXPECT_EQ(h.Save(out.c_str()), 0);

  MeshHolder back;
  ASSERT_TRUE(Open(back, out, true));
  EXPECT_EQ(back.VertexCount(), 8);
  EXPECT_EQ(back.FaceCount(), 12);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(*back.VertexColor(i), *h.VertexColor(i));
    EXPECT_EQ(*back.VertexPosition(i), *h.VertexPosition(i));
  }
  // The colours came back because the load mask named them.
  EXPECT_NE(back.LoadMask() & io_mask::VertexColor, 0u);
}

TEST(MeshHolder, ExportsTheActiveMeshInEachFormat) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("export.ply", CubeKind::Textured)));
  const IoMask mask = h.LoadMask();
  for (const char* name : {"e.stl", "e.obj", "e.wrl"}) std::filesystem::remove(test::TempFilePath(name));
  EXPECT_TRUE(h.ExportStl(test::TempFilePath("e.stl").c_str()));
  EXPECT_TRUE(h.ExportObj(test::TempFilePath("e.obj").c_str()));
  EXPECT_TRUE(h.ExportVrml(test::TempFilePath("e.wrl").c_str()));
  EXPECT_EQ(std::filesystem::file_size(test::TempFilePath("e.stl")), 84u + 12u * 50u);
  EXPECT_GT(std::filesystem::file_size(test::TempFilePath("e.obj")), 0u);
  EXPECT_GT(std::filesystem::file_size(test::TempFilePath("e.wrl")), 0u);
  EXPECT_EQ(h.LoadMask(), mask);
}

TEST(MeshHolder, MassPropertiesOfTheUnitCube) {
  MeshHolder h;
  std::string path = test::TempFilePath("unit.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, test::CubeFixture(ply_format::Ascii)));
  ASSERT_TRUE(Open(h, path));
  h.ComputeMassProperties();
  EXPECT_TRUE(h.MassComputed());
  EXPECT_NEAR(h.m_volume, 1.0f, 1e-5);
  EXPECT_NEAR(h.m_surfaceArea, 6.0f, 1e-5);
  ASSERT_TRUE(h.HasCenterOfMass());
  for (float c : h.m_centerOfMass) EXPECT_NEAR(c, 0.5f, 1e-5);
}

TEST(MeshHolder, MassPropertiesOfAnOpenTriangleStayFinite) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteTriangle("tri.ply")));
  h.ComputeMassProperties();
  EXPECT_TRUE(std::isfinite(h.m_volume));
  EXPECT_NEAR(h.m_surfaceArea, 0.5f, 1e-6);
  for (float c : h.m_centerOfMass) EXPECT_TRUE(std::isfinite(c));
  // The triangle lies in z = 0 through the origin: it bounds no volume, and
  // there is no centre of mass.
  EXPECT_EQ(h.m_volume, 0.0f);
  EXPECT_FALSE(h.HasCenterOfMass());
}

TEST(MeshHolder, ResultsOfAnOlderMeshAreDropped) {
  MeshHolder h;
  std::string unit = test::TempFilePath("unit2.ply");
  ASSERT_TRUE(test::WritePlyFixture(unit, test::CubeFixture(ply_format::Ascii)));
  ASSERT_TRUE(Open(h, unit, true));
  h.ComputeMassProperties();
  h.ColorBorder();
  h.ColorSelectedVertices();
  h.ColorSelectedFaces();
  EXPECT_TRUE(h.m_borderComputed);
  EXPECT_NEAR(h.m_volume, 1.0f, 1e-5);
  EXPECT_EQ(h.m_selectedVertexCount, 0);

  // A change of the mesh: every vertex moves twice as far from the origin.
  for (auto& v : h.m_mesh5.vertices) v.position = v.position * 2.0;
  h.MeshChanged();
  EXPECT_FALSE(h.MassComputed());
  EXPECT_FALSE(h.m_borderComputed);
  // The pane shows no selection counts of the old mesh.
  EXPECT_EQ(h.m_selectedVertexCount, -1);
  EXPECT_EQ(h.m_selectedFaceCount, -1);
  h.ComputeMassProperties();
  EXPECT_NEAR(h.m_volume, 8.0f, 1e-4);

  // A reload drops them as well.
  h.ColorSelectedFaces();
  IoMask mask = 0;
  ASSERT_TRUE(h.Load(unit.c_str(), mask, kNoProgress));
  EXPECT_FALSE(h.MassComputed());
  EXPECT_EQ(h.m_selectedFaceCount, -1);
}

TEST(MeshHolder, ScalarColouringsPutTheFileQualityBack) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("quality.ply", CubeKind::Quality), true));
  h.ColorByGeodesicDistance();
  EXPECT_TRUE(h.m_geodesicComputed);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(*h.VertexQuality(i), float(i));
  // The geodesic colouring leaves face-face adjacency behind for the
  // selection and editing commands.
  for (const FaceT5& f : h.m_mesh5.faces)
    for (int z = 0; z < 3; ++z) {
      const FaceT5* g = f.adjFace[z];
      ASSERT_NE(g, nullptr);
      EXPECT_EQ(g->adjFace[f.adjIndex[z]], &f);
    }
  h.ColorByGeodesicDistance();
  h.ColorByGaussianCurvature();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(*h.VertexQuality(i), float(i));

  // "Vertex Quality" shows the file's quality: lowest red, highest blue.
  h.ColorByVertexQuality();
  EXPECT_EQ(*h.VertexColor(0), (Color4b{255, 0, 0, 255}));
  EXPECT_EQ(h.VertexColor(7)->b, 255);
}

TEST(MeshHolder, BorderColouringMarksTheOpenEdges) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteTriangle("border.ply")));
  EXPECT_EQ(h.Tag(), 1);
  h.ColorBorder();  // a plain mesh has no colours
  EXPECT_FALSE(h.m_borderComputed);

  MeshHolder e;
  ASSERT_TRUE(Open(e, test::WriteTriangle("border5.ply"), true));
  e.ColorBorder();
  EXPECT_TRUE(e.m_borderComputed);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(*e.VertexColor(i), (Color4b{0, 0, 255, 255}));
}

TEST(MeshHolder, SelectionColouringCountsPerType) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("sel.ply", CubeKind::Plain)));
  h.ColorSelectedVertices();
  h.ColorSelectedFaces();
  EXPECT_EQ(h.m_selectedVertexCount, 0);
  EXPECT_EQ(h.m_selectedFaceCount, 0);

  MeshHolder e;
  ASSERT_TRUE(Open(e, test::WriteCenteredCube("sel5.ply", CubeKind::Plain), true));
  e.m_mesh5.vertices[2].flags |= ElemFlag::Selected;
  e.m_mesh5.faces[4].flags |= ElemFlag::Selected;
  e.ColorSelectedVertices();
  e.ColorSelectedFaces();
  EXPECT_EQ(e.m_selectedVertexCount, 1);
  EXPECT_EQ(e.m_selectedFaceCount, 1);
  EXPECT_EQ(*e.VertexColor(2), (Color4b{128, 128, 255, 255}));
  EXPECT_EQ(*e.FaceColor(4), (Color4b{128, 128, 255, 255}));
}

TEST(MeshHolder, AccessorsStayInsideTheArrays) {
  MeshHolder h;
  ASSERT_TRUE(Open(h, test::WriteCenteredCube("acc.ply", CubeKind::Plain)));
  EXPECT_EQ(*h.VertexPosition(-1), Vec3f(0, 0, 0));
  EXPECT_EQ(*h.VertexPosition(8), Vec3f(0, 0, 0));
  EXPECT_EQ(*h.VertexPosition(0), h.m_mesh1.vertices[0].position);
  EXPECT_EQ(*h.VertexColor(0), Color4b{});  // a plain mesh has no colour
  EXPECT_EQ(*h.FaceQuality(0), 0.0f);
  EXPECT_EQ(h.FaceVertexIndex(1, 2), int(h.m_mesh1.VertexIndex(h.m_mesh1.faces[1].v[2])));
  EXPECT_EQ(h.FaceVertexIndex(12, 0), 0);
  EXPECT_EQ(h.FaceVertexIndex(0, 3), 0);
  EXPECT_EQ(h.GlTextureName(257), &h.m_drawer1.textureIds[257]);
  EXPECT_EQ(h.GlTextureName(258), nullptr);
}

}  // namespace
}  // namespace quarnel
