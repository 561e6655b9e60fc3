// Textures in the running program: a view opened on a textured mesh loads
// its images at the initial update and shows them; a missing image is asked
// about and the mesh is drawn without it.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "app/command_ids.h"
#include "app_harness.h"
#include "support/ply_fixture.h"
#include "texture_files.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::FreshFolder;
using test::IsBackground;
using test::Rgb8;

TEST(AppTextures, AViewShowsTheTextureNamedByTheMesh) {
  const std::string folder = FreshFolder("shown");
  ASSERT_TRUE(
      test::WritePng(folder + "split.png", test::SplitPicture(8, 8, {255, 0, 0}, {0, 0, 255})));
  const std::string ply =
      test::WriteTexturedSquare(folder + "square.ply", {"TextureFile split.png"});
  AppHarness h;
  CQuarnelView* view = h.StartView(ply);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(h.MessageTexts().isEmpty()) << h.MessageTexts().join("|").toStdString();
  EXPECT_TRUE(view->m_texturing);
  MeshHolder& holder = h.ActiveDoc()->Holder();
  EXPECT_NE(*holder.GlTextureName(0), 0u);
  EXPECT_EQ(holder.m_textureBoard.faceCount, 2);

  view->m_showTrackBall = false;
  const QImage img = h.Frame(view);
  const int w = img.width(), ht = img.height();
  const QRgb left = img.pixel(w / 2 - w / 10, ht / 2);
  const QRgb right = img.pixel(w / 2 + w / 10, ht / 2);
  EXPECT_GT(qRed(left), 2 * qBlue(left)) << std::hex << left;
  EXPECT_GT(qBlue(right), 2 * qRed(right)) << std::hex << right;
  EXPECT_EQ(holder.m_textureMode, 2);

  // Texturing off draws the square in the material's white.
  view->m_texturing = false;
  const QRgb plain = h.Frame(view).pixel(w / 2 + w / 10, ht / 2);
  EXPECT_LE(std::abs(qRed(plain) - qBlue(plain)), 8) << std::hex << plain;

  // The texture board of View Texture Image shows the same image.
  view->m_textureImageView = 1;
  const QImage board = h.Frame(view);
  bool red = false, blue = false;
  for (int x = 0; x < w; x += 2) {
    const QRgb c = board.pixel(x, ht / 2 + ht / 10);
    red |= qRed(c) > 2 * qBlue(c) + 40 && qGreen(c) < 60;
    blue |= qBlue(c) > 2 * qRed(c) + 40 && qGreen(c) < 60;
  }
  EXPECT_TRUE(red && blue);
}

TEST(AppTextures, TheTextureBoardShowsTheImagesOwnColours) {
  // Four quadrants, one of them the cream of the sample's checker.
  const Rgb8 quadrant[2][2] = {{{235, 215, 226}, {40, 90, 160}}, {{200, 60, 60}, {90, 170, 80}}};
  test::Picture picture{8, 8, std::vector<Rgb8>(64)};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      picture.At(x, y) = quadrant[y / 4][x / 4];
  const std::string folder = FreshFolder("board");
  ASSERT_TRUE(test::WritePng(folder + "quads.png", picture));
  const std::string ply = test::WriteTexturedSquare(folder + "square.ply", {"TextureFile quads.png"});
  AppHarness h;
  CQuarnelView* view = h.StartView(ply);
  ASSERT_NE(view, nullptr);
  h.Frame(view);
  // Whatever colour the overlays left current, here the tape's.
  ASSERT_TRUE(view->MakeCurrent());
  glColor3ub(235, 129, 69);
  view->m_textureImageView = 1;
  const QImage img = h.Frame(view);
  const QImage file(QString::fromStdString(folder + "quads.png"));
  ASSERT_FALSE(file.isNull());
  MeshHolder& holder = h.ActiveDoc()->Holder();
  const Vec3f c = holder.TextureBoardBBox()->Center();
  // The centre of each quadrant of the board's unit square, through the
  // board's matrices, against the same point of the file (v = 1 its top).
  for (double u : {0.25, 0.75})
    for (double v : {0.25, 0.75}) {
      double wx = 0, wy = 0, wz = 0;
      ASSERT_TRUE(gluProject(u - c.x, v - c.y, -c.z, view->m_modelview, view->m_projection,
                             view->m_viewport, &wx, &wy, &wz));
      const QRgb shown = img.pixel(int(wx), img.height() - 1 - int(wy));
      const QRgb expected = file.pixel(int(u * 8), int((1.0 - v) * 8));
      EXPECT_TRUE(test::Near(shown, qRed(expected), qGreen(expected), qBlue(expected), 4))
          << u << "," << v << ": " << std::hex << shown << " for " << expected;
    }
}

TEST(AppTextures, AMissingTextureIsAskedAboutAndTheMeshDrawsWithoutIt) {
  const std::string folder = FreshFolder("missing");
  const std::string ply = test::WriteTexturedSquare(folder + "square.ply", {"TextureFile tex.png"});
  AppHarness h;
  h.messages.QueueAnswer(MessageAnswer::Yes);
  CQuarnelView* view = h.StartView(ply);
  ASSERT_NE(view, nullptr);
  const QStringList texts = h.MessageTexts();
  ASSERT_EQ(texts.size(), 2) << texts.join("|").toStdString();
  EXPECT_EQ(texts[0], QString::fromStdString("Error in loading texture " + folder +
                                             "tex.png\\ Try to guess?"));
  EXPECT_EQ(h.messages.Shown()[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(texts[1], "Failed texture guessing.");

  view->m_showTrackBall = false;
  const QImage img = h.Frame(view);
  const QRgb centre = img.pixel(img.width() / 2, img.height() / 2);
  EXPECT_FALSE(IsBackground(centre));
  EXPECT_LE(std::abs(qRed(centre) - qBlue(centre)), 8) << std::hex << centre;
  h.Pump(50);
  // No OpenGL error came of drawing with the empty texture.
  for (const Message& m : h.messages.Shown())
    EXPECT_NE(m.caption, "OpenGL Usage Error") << m.text.toStdString();
}

TEST(AppTextures, TheEnvironmentBackgroundShowsTheCubeMapFaces) {
  // The default environment is read relative to the current folder.
  const std::string folder = FreshFolder("environment");
  std::filesystem::create_directories(folder + "test/cubemap");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const std::string ply = test::WriteTexturedSquare(folder + "square.ply", {});
  AppHarness h;
  ASSERT_TRUE(h.Start({QString::fromStdString(ply)}));
  CQuarnelView* view = h.ActiveView();
  ASSERT_NE(view, nullptr);
  h.Pump(100);

  // Without its faces the environment tells the user and stays off screen.
  h.Execute(cmd::kBackgroundEnvironment);
  EXPECT_TRUE(view->m_environment);
  EXPECT_EQ(h.App().m_cubeMapTexture, 0u);
  EXPECT_EQ(h.MessageTexts(),
            QStringList{"Error in loading environment map test/cubemap/uffizi_negx.png"});
  EXPECT_TRUE(IsBackground(h.Frame(view).pixel(3, 3)));
  h.Execute(cmd::kBackgroundEnvironment);
  EXPECT_FALSE(view->m_environment);

  for (const char* face : {"_negx", "_posx", "_negy", "_posy", "_negz", "_posz"})
    ASSERT_TRUE(test::WritePng(folder + "test/cubemap/uffizi" + face + ".png",
                               test::SplitPicture(4, 4, {0, 200, 0}, {0, 200, 0})));
  h.Execute(cmd::kBackgroundEnvironment);
  std::filesystem::current_path(before);
  EXPECT_NE(h.App().m_cubeMapTexture, 0u);
  EXPECT_EQ(h.MessageTexts().size(), 1);
  const QRgb corner = h.Frame(view).pixel(3, 3);
  EXPECT_GT(qGreen(corner), 150) << std::hex << corner;
  EXPECT_LT(qRed(corner), 50) << std::hex << corner;
}

TEST(AppTextures, TheEnvironmentShowsUpright) {
  // Every face red above and blue below: the sky stays red above the view
  // and blue below it.
  const std::string folder = FreshFolder("upright");
  std::filesystem::create_directories(folder + "test/cubemap");
  for (const char* face : {"_negx", "_posx", "_negy", "_posy", "_negz", "_posz"})
    ASSERT_TRUE(test::WritePng(folder + "test/cubemap/uffizi" + face + ".png",
                               test::StackedPicture(8, 8, {255, 0, 0}, {0, 0, 255})));
  const std::string ply = test::WriteTexturedSquare(folder + "square.ply", {});
  AppHarness h;
  CQuarnelView* view = h.StartView(ply);
  ASSERT_NE(view, nullptr);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  h.Execute(cmd::kBackgroundEnvironment);
  std::filesystem::current_path(before);
  ASSERT_NE(h.App().m_cubeMapTexture, 0u) << h.MessageTexts().join("|").toStdString();
  view->m_showInfoPane = false;
  const QImage img = h.Frame(view);
  const QRgb top = img.pixel(3, img.height() / 4), bottom = img.pixel(3, img.height() * 3 / 4);
  EXPECT_GT(qRed(top), 200) << std::hex << top;
  EXPECT_LT(qBlue(top), 50) << std::hex << top;
  EXPECT_GT(qBlue(bottom), 200) << std::hex << bottom;
  EXPECT_LT(qRed(bottom), 50) << std::hex << bottom;
}

}  // namespace
}  // namespace quarnel
