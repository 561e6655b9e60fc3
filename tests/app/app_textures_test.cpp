// Textures in the running program: a view opened on a textured mesh loads
// its images at the initial update and shows them; a missing image is asked
// about and the mesh is drawn without it.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
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
using test::OnScreenCentre;
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

// A textured model named on the command line whose texture cannot be used:
// the box comes up once the window is shown, and whatever the answer the
// program runs on with its window showing the mesh in white. Each box used
// to run its event loop inside the main window's first show, which then read
// a layout animation that loop had deleted, and the program died.
TEST(AppTextures, AStartUpTextureBoxLeavesTheProgramRunning) {
  const std::string folder = FreshFolder("startup");
  // Wider than any texture the view allows with its size halved.
  ASSERT_TRUE(test::WritePng(folder + "wide.png",
                             test::SplitPicture(16385, 1, {255, 255, 255}, {255, 255, 255})));
  const QString guess =
      QString::fromStdString("Error in loading texture " + folder + "tex.png\\ Try to guess?");
  struct Row {
    const char* answers;
    std::string texture;
    std::vector<MessageAnswer> script;
    QStringList texts;
  };
  const Row rows[] = {
      {"No", "tex.png", {MessageAnswer::No}, {guess}},
      {"Escape", "tex.png", {}, {guess}},
      {"Yes, then OK", "tex.png", {MessageAnswer::Yes, MessageAnswer::Ok},
       {guess, "Failed texture guessing."}},
      {"OK to the rescale", "wide.png", {MessageAnswer::Ok}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answers);
    const std::string ply =
        test::WriteTexturedSquare(folder + "square.ply", {"TextureFile " + row.texture});
    AppHarness h;
    h.profile.WriteInt("Prefs", "HalveTextureSizeFlag", 1);
    h.BoxesRunTheirOwnLoop();
    for (MessageAnswer answer : row.script) h.messages.QueueAnswer(answer);
    ASSERT_TRUE(h.Start({QString::fromStdString(ply)}));
    CQuarnelView* view = h.ActiveView();
    ASSERT_NE(view, nullptr);
    h.Pump(100);
    ASSERT_TRUE(view->InitialUpdateDone());
    const QStringList texts = h.MessageTexts();
    if (row.texts.isEmpty()) {
      ASSERT_EQ(texts.size(), 1);
      EXPECT_TRUE(texts[0].startsWith("Warning: texture size is 16385x1 greater that allowed."))
          << texts[0].toStdString();
    } else {
      EXPECT_EQ(texts, row.texts);
    }
    EXPECT_TRUE(view->m_texturing);
    QRgb centre = 0;
    for (int tries = 0; tries < 50 && (IsBackground(centre) || qRed(centre) < 100); ++tries) {
      h.Pump(20);
      centre = OnScreenCentre(view);
    }
    EXPECT_FALSE(IsBackground(centre)) << std::hex << centre;
    EXPECT_GT(qRed(centre), 100) << std::hex << centre;
    EXPECT_LE(std::abs(qRed(centre) - qBlue(centre)), 8) << std::hex << centre;
    EXPECT_TRUE(h.Window().isVisible());
  }
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

TEST(AppTextures, MirrorReflectsTheEnvironmentAndLeavesNothingOnWhenOff) {
  // The program's own sky where the program looks for it, and a textured
  // square whose magenta texture the reflection takes the place of.
  const std::string folder = FreshFolder("mirror");
  std::filesystem::create_directories(folder + "test/cubemap");
  const char* suffixes[6] = {"_negx", "_posx", "_negy", "_posy", "_negz", "_posz"};
  QImage faces[6];
  for (int i = 0; i < 6; ++i) {
    faces[i] = QImage(QStringLiteral(QUARNEL_SOURCE_DIR "/res/environment/uffizi%1.png")
                          .arg(suffixes[i]));
    ASSERT_FALSE(faces[i].isNull()) << suffixes[i];
  }
  ASSERT_TRUE(test::WritePng(folder + "magenta.png",
                             test::SplitPicture(4, 4, {255, 0, 255}, {255, 0, 255})));
  const std::string ply =
      test::WriteTexturedSquare(folder + "square.ply", {"TextureFile magenta.png"});
  AppHarness h;
  CQuarnelView* view = h.StartView(ply);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->m_texturing);
  view->m_showTrackBall = false;
  view->m_showInfoPane = false;
  auto cleanState = [&](const char* when) {
    ASSERT_TRUE(view->MakeCurrent());
    for (GLenum cap : {GLenum(GL_TEXTURE_CUBE_MAP), GLenum(GL_TEXTURE_GEN_S),
                       GLenum(GL_TEXTURE_GEN_T), GLenum(GL_TEXTURE_GEN_R)})
      EXPECT_FALSE(glIsEnabled(cap)) << when << ": 0x" << std::hex << cap;
  };
  // The square lit without its texture: the colour the reflection is
  // modulated with.
  view->m_texturing = false;
  const QImage lit = h.Frame(view);
  view->m_texturing = true;
  const QImage before = h.Frame(view);

  // Without the sky's faces the user is told, and the mesh looks as before.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  bool ran = h.Execute(cmd::kMaterialMirror);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(ran);
  EXPECT_EQ(h.MessageTexts(),
            QStringList{"Error in loading environment map test/cubemap/uffizi_negx.png"});
  EXPECT_TRUE(h.Frame(view) == before);
  cleanState("no cube map");
  ASSERT_TRUE(h.Execute(cmd::kMaterialMirror));
  h.messages.ClearShown();

  for (const char* suffix : suffixes) {
    const std::string face = std::string("uffizi") + suffix + ".png";
    std::filesystem::copy_file(QUARNEL_SOURCE_DIR "/res/environment/" + face,
                               folder + "test/cubemap/" + face);
  }
  std::filesystem::current_path(folder);
  const int frames = view->m_frameCount;
  ran = h.Execute(cmd::kMaterialMirror);
  std::filesystem::current_path(previous);
  ASSERT_TRUE(ran);
  ASSERT_TRUE(view->m_mirror);
  if (h.App().m_cubeMapTexture == 0) GTEST_SKIP() << "no cube maps here";
  EXPECT_TRUE(h.MessageTexts().isEmpty()) << h.MessageTexts().join("|").toStdString();
  // The window shows the reflection without waiting for another redraw.
  h.Pump(100);
  EXPECT_GT(view->m_frameCount, frames);
  const QImage mirrored = h.Frame(view);
  EXPECT_EQ(h.ActiveDoc()->Holder().m_textureMode, 0);
  cleanState("Mirror on");

  // Each point of the square against the sky in the direction the eye's ray
  // leaves it: the reflection about the square's normal, looked up on the
  // cube's faces as OpenGL does.
  const double* m = view->m_modelview;
  double n[3] = {m[8], m[9], m[10]};
  const double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (double& c : n) c /= nl;
  int skyAbove = 0, groundBelow = 0;
  for (double x : {-0.8, -0.4, 0.0, 0.4, 0.8})
    for (double y : {-0.8, -0.4, 0.0, 0.4, 0.8}) {
      double wx = 0, wy = 0, wz = 0;
      ASSERT_TRUE(gluProject(x, y, 0.0, m, view->m_projection, view->m_viewport, &wx, &wy, &wz));
      const int px = int(wx), py = mirrored.height() - 1 - int(wy);
      double u[3] = {m[0] * x + m[4] * y + m[12], m[1] * x + m[5] * y + m[13],
                     m[2] * x + m[6] * y + m[14]};
      const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
      for (double& c : u) c /= ul;
      const double un = u[0] * n[0] + u[1] * n[1] + u[2] * n[2];
      const double r[3] = {u[0] - 2 * un * n[0], u[1] - 2 * un * n[1], u[2] - 2 * un * n[2]};
      int face;
      double sc, tc, ma;
      if (std::abs(r[0]) >= std::abs(r[1]) && std::abs(r[0]) >= std::abs(r[2])) {
        face = r[0] > 0 ? 1 : 0;
        sc = r[0] > 0 ? -r[2] : r[2];
        tc = -r[1];
        ma = std::abs(r[0]);
      } else if (std::abs(r[1]) >= std::abs(r[2])) {
        face = r[1] > 0 ? 3 : 2;
        sc = r[0];
        tc = r[1] > 0 ? r[2] : -r[2];
        ma = std::abs(r[1]);
      } else {
        face = r[2] > 0 ? 5 : 4;
        sc = r[2] > 0 ? r[0] : -r[0];
        tc = -r[1];
        ma = std::abs(r[2]);
      }
      const QImage& sky = faces[face];
      const int tx = int((sc / ma + 1) / 2 * sky.width()), ty = int((tc / ma + 1) / 2 * sky.height());
      // The filters blend neighbouring texels: the pixel lies within the
      // colours around the texel, scaled by the lit colour.
      const QRgb shown = mirrored.pixel(px, py), light = lit.pixel(px, py);
      int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const QRgb t = sky.pixel(std::clamp(tx + dx, 0, sky.width() - 1),
                                   std::clamp(ty + dy, 0, sky.height() - 1));
          const int c[3] = {qRed(t) * qRed(light) / 255, qGreen(t) * qGreen(light) / 255,
                            qBlue(t) * qBlue(light) / 255};
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
          }
        }
      const int got[3] = {qRed(shown), qGreen(shown), qBlue(shown)};
      for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(got[k] >= lo[k] - 6 && got[k] <= hi[k] + 6)
            << x << "," << y << " channel " << k << ": " << got[k] << " not in " << lo[k] << ".."
            << hi[k] << " (face " << face << " texel " << tx << "," << ty << ")";
      // A mirror facing the eye shows the sky at its top and the ground at
      // its bottom.
      skyAbove += y > 0.6 && qBlue(shown) > qRed(shown) + 20;
      groundBelow += y < -0.6 && qGreen(shown) > qBlue(shown);
    }
  EXPECT_EQ(skyAbove, 5);
  EXPECT_EQ(groundBelow, 5);

  // Every draw mode reflects without an OpenGL error and leaves nothing on.
  const int mode = view->m_drawMode;
  for (int dm = 1; dm <= 7; ++dm) {
    view->m_drawMode = dm;
    h.Frame(view);
    cleanState(("draw mode " + std::to_string(dm)).c_str());
  }
  view->m_drawMode = mode;
  h.Pump(50);
  EXPECT_TRUE(h.GlErrors().empty()) << h.GlErrors().front().toStdString();

  // Off again: the frame before Mirror, pixel for pixel.
  ASSERT_TRUE(h.Execute(cmd::kMaterialMirror));
  EXPECT_FALSE(view->m_mirror);
  const QImage after = h.Frame(view);
  EXPECT_EQ(h.ActiveDoc()->Holder().m_textureMode, 2);
  EXPECT_TRUE(after == before);
  cleanState("Mirror off");
}

}  // namespace
}  // namespace quarnel
