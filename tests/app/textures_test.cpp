// Textures, normal maps and the cube map of the mesh holder, on an offscreen
// context: images generated next to generated meshes, the questions put to
// the user, the texture state and the pixels drawn.
#include <GL/gl.h>
#include <GL/glext.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "app/extensions.h"
#include "app/mesh_holder.h"
#include "app/rgb_image.h"
#include "app/user_prompt.h"
#include "render/gl_test_support.h"
#include "support/ply_fixture.h"
#include "texture_files.h"

// The window system's entry point lookup, declared here: its header's macros
// clash with the test framework's names.
extern "C" void (*glXGetProcAddressARB(const GLubyte* name))();

namespace quarnel {
namespace {

using test::Picture;
using test::Rgb8;

const Rgb8 kRed{255, 0, 0};
const Rgb8 kGreen{0, 255, 0};
const Rgb8 kBlue{0, 0, 255};

Picture Plain(int w, int h, Rgb8 c) {
  return test::SplitPicture(w, h, c, c);
}

bool Near(const std::array<int, 4>& p, Rgb8 c, int tolerance = 8) {
  return std::abs(p[0] - c.r) <= tolerance && std::abs(p[1] - c.g) <= tolerance &&
         std::abs(p[2] - c.b) <= tolerance;
}

// The texel at (x, y) of level 0 of the texture bound to target.
Rgb8 Texel(GLenum target, int x, int y) {
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &h);
  std::vector<unsigned char> data(size_t(w) * size_t(h) * 4 + 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
  const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 4;
  return {data[at], data[at + 1], data[at + 2]};
}

int TextureWidth(GLenum target = GL_TEXTURE_2D) {
  GLint w = -1;
  glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &w);
  return w;
}

class Textures : public test::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    SetUserPrompt([this](const std::string& text, PromptButtons buttons) {
      asked.push_back(text);
      if (buttons == PromptButtons::Ok) return true;
      const bool yes = !answers.empty() && answers.front();
      if (!answers.empty()) answers.pop_front();
      return yes;
    });
  }
  void TearDown() override {
    SetUserPrompt({});
    GlTest::TearDown();
  }

  // A fresh folder per test, with the document's trailing separator.
  std::string Folder() {
    return test::FreshFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  bool Open(MeshHolder& h, const std::string& path) {
    h.SetTag(1);
    h.ProbeFile(path.c_str());
    IoMask mask = 0;
    return h.Load(path.c_str(), mask, [](int, const char*) { return 1; });
  }
  // The square with its textures loaded from folder.
  void Load(MeshHolder& h, const std::string& folder, const std::vector<std::string>& comments,
            int maxSize = 1024, int tex0 = 0, int tex1 = 0) {
    ASSERT_TRUE(Open(h, test::WriteTexturedSquare(folder + "square.ply", comments, tex0, tex1)));
    ASSERT_EQ(h.Tag(), 4);
    EXPECT_EQ(h.LoadTextures(folder.c_str(), false, maxSize), 1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  }

  std::vector<std::string> asked;
  std::deque<bool> answers;
};

TEST_F(Textures, APngNextToTheMeshIsLoadedAndDrawn) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "split.png", test::SplitPicture(4, 4, kRed, kBlue)));
  MeshHolder h;
  Load(h, folder, {"TextureFile split.png"});
  EXPECT_TRUE(asked.empty());
  const uint32_t slot = *h.GlTextureName(0);
  ASSERT_NE(slot, 0u);
  EXPECT_TRUE(glIsTexture(slot));
  EXPECT_EQ(h.m_textureWidth, 4);
  EXPECT_EQ(h.m_textureHeight, 4);

  // The board: one unit square, its name and its slot.
  EXPECT_EQ(h.m_textureBoard.vertexCount, 4);
  EXPECT_EQ(h.m_textureBoard.faceCount, 2);
  EXPECT_EQ(h.m_textureBoard.textureNames, std::vector<std::string>{"split.png"});
  EXPECT_EQ(h.m_textureBoardDrawer.textureIds[0], slot);
  EXPECT_EQ(h.m_textureBoardDrawer.mesh, &h.m_textureBoard);
  EXPECT_FLOAT_EQ(h.m_textureBoard.bbox.max.x, 1.0f);

  h.m_textureFilter = 0;
  h.Draw(DMFlat, CMNone, true, false);
  EXPECT_EQ(h.m_textureMode, TMPerWedge);
  EXPECT_TRUE(Near(test::PixelAt(-0.5, 0.0), kRed));
  EXPECT_TRUE(Near(test::PixelAt(0.5, 0.0), kBlue));
  GLint env = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  EXPECT_EQ(env, GL_MODULATE);
  GLint mag = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
  EXPECT_EQ(mag, GL_NEAREST);

  // Texturing off: no texture mode, 2D texturing disabled, the plain colour.
  test::Clear();
  h.Draw(DMFlat, CMNone, false, false);
  EXPECT_EQ(h.m_textureMode, TMNone);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(Near(test::PixelAt(0.5, 0.0), Rgb8{255, 255, 255}));

  // The board draws its square with the same texture.
  test::Clear();
  glDisable(GL_BLEND);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(-0.5f, -0.5f, 0.0f);
  glEnable(GL_TEXTURE_2D);
  h.DrawTextureBoard();
  EXPECT_TRUE(Near(test::PixelAt(-0.25, 0.0), kRed));
  EXPECT_TRUE(Near(test::PixelAt(0.25, 0.0), kBlue));
  glDisable(GL_TEXTURE_2D);
}

TEST_F(Textures, TheTopOfThePictureLandsWhereTheTextureCoordinateVIsOne) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "stacked.png", test::StackedPicture(4, 4, kRed, kGreen)));
  MeshHolder h;
  Load(h, folder, {"TextureFile stacked.png"});
  h.m_textureFilter = 0;
  h.Draw(DMFlat, CMNone, true, false);
  EXPECT_TRUE(Near(test::PixelAt(0.0, 0.5), kRed));
  EXPECT_TRUE(Near(test::PixelAt(0.0, -0.5), kGreen));
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
}

TEST_F(Textures, AMissingTextureAsksAndNoLeavesTheSlotEmpty) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "tex.png", Plain(2, 2, kGreen)));
  MeshHolder h;
  answers = {false};
  Load(h, folder, {"TextureFile tex.tga"});
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Error in loading texture " + folder + "tex.tga\\ Try to guess?");
  const uint32_t slot = *h.GlTextureName(0);
  EXPECT_TRUE(glIsTexture(slot));
  glBindTexture(GL_TEXTURE_2D, slot);
  EXPECT_EQ(TextureWidth(), 0);
  // The mesh still draws, untextured.
  h.Draw(DMFlat, CMNone, true, false);
  EXPECT_TRUE(Near(test::PixelAt(0.3, 0.3), Rgb8{255, 255, 255}));
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);

  // Yes finds tex.png among the guesses.
  asked.clear();
  answers = {true};
  EXPECT_EQ(h.LoadTextures(folder.c_str(), false, 1024), 1);
  EXPECT_EQ(asked.size(), 1u);
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(0));
  EXPECT_EQ(TextureWidth(), 2);
  const Rgb8 texel = Texel(GL_TEXTURE_2D, 0, 0);
  EXPECT_EQ(texel.r, 0);
  EXPECT_EQ(texel.g, 255);
  // The object of the first load was replaced, not kept.
  EXPECT_FALSE(glIsTexture(slot) && slot != *h.GlTextureName(0));
}

TEST_F(Textures, WhenNoGuessLoadsTheUserIsTold) {
  const std::string folder = Folder();
  MeshHolder h;
  answers = {true};
  Load(h, folder, {"TextureFile gone.png"});
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1], "Failed texture guessing.");
  // A name of fewer than four characters guesses the bare extensions, here
  // in the current folder.
  asked.clear();
  answers = {true};
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  ASSERT_TRUE(test::WritePng(".png", Plain(1, 1, kRed)));
  uint32_t name = 0;
  glGenTextures(1, &name);
  EXPECT_EQ(h.LoadTextureFile("ab", name, false, 64), 1);
  std::filesystem::current_path(before);
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(h.m_textureWidth, 1);
  glDeleteTextures(1, &name);
}

TEST_F(Textures, ACorruptOrTruncatedImageCountsAsUnreadable) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "whole.png", test::SplitPicture(64, 64, kRed, kBlue)));
  const std::string whole = test::ReadFileBytes(folder + "whole.png");
  ASSERT_TRUE(test::WriteFileBytes(folder + "half.png", whole.substr(0, whole.size() / 2)));
  ASSERT_TRUE(test::WriteFileBytes(folder + "noise.png", std::string(300, '\x5a')));
  ASSERT_TRUE(test::WriteFileBytes(folder + "empty.png", ""));
  // A pipe that nobody writes would hold the load forever.
  ASSERT_EQ(::mkfifo((folder + "pipe.png").c_str(), 0600), 0);
  MeshHolder h;
  Load(h, folder,
       {"TextureFile half.png", "TextureFile noise.png", "TextureFile empty.png",
        "TextureFile pipe.png", "TextureNormalFile half.png"});
  ASSERT_EQ(asked.size(), 5u);
  EXPECT_EQ(asked[0], "Error in loading texture " + folder + "half.png\\ Try to guess?");
  EXPECT_EQ(asked[3], "Error in loading texture " + folder + "pipe.png\\ Try to guess?");
  EXPECT_EQ(asked[4], "Error in loading normal map " + folder + "half.png\\ Try to guess?");
  for (unsigned i = 0; i < 4; ++i) {
    glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(i));
    EXPECT_EQ(TextureWidth(), 0) << i;
  }
  EXPECT_EQ(h.m_textureBoard.faceCount, 8);
}

TEST_F(Textures, ATextureAboveTheLimitIsRescaledAfterAWarning) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "wide.png", test::SplitPicture(16, 4, kRed, kBlue)));
  MeshHolder h;
  Load(h, folder, {"TextureFile wide.png"}, 8);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Warning: texture size is 16x4 greater that allowed. Rescaled to 8x4");
  EXPECT_EQ(h.m_textureWidth, 8);
  EXPECT_EQ(h.m_textureHeight, 4);
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(0));
  EXPECT_EQ(TextureWidth(), 8);
}

TEST_F(Textures, SeveralTexturesDrawPerFaceOnlyWithATextureNumber) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "a.png", Plain(2, 2, kRed)));
  ASSERT_TRUE(test::WritePng(folder + "b.png", Plain(2, 2, kGreen)));
  MeshHolder h;
  Load(h, folder, {"TextureFile a.png", "TextureFile b.png"}, 1024, 0, 1);
  ASSERT_TRUE(h.LoadMask() & io_mask::WedgeTexNumber);
  EXPECT_EQ(h.m_textureBoard.faceCount, 4);
  EXPECT_FLOAT_EQ(h.m_textureBoard.vertices[4].position.x, 1.5f);
  EXPECT_EQ(h.m_textureBoard.faces[2].wedge[0].texIndex, 1);

  h.Draw(DMFlat, CMNone, true, false);
  EXPECT_EQ(h.m_textureMode, TMPerWedgeMulti);
  // Face 0 is the lower right triangle, face 1 the upper left.
  EXPECT_TRUE(Near(test::PixelAt(0.5, -0.5), kRed));
  EXPECT_TRUE(Near(test::PixelAt(-0.5, 0.5), kGreen));

  // Without texture numbers every face shows the first texture.
  h.m_loadMask &= ~io_mask::WedgeTexNumber;
  test::Clear();
  h.Draw(DMFlat, CMNone, true, false);
  EXPECT_EQ(h.m_textureMode, TMPerWedge);
  EXPECT_TRUE(Near(test::PixelAt(-0.5, 0.5), kRed));
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
}

TEST_F(Textures, ANormalMapTakesTheSlotOfTheTextureOfItsIndex) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "t.png", Plain(2, 2, kRed)));
  ASSERT_TRUE(test::WritePng(folder + "n.png", Plain(2, 2, Rgb8{128, 128, 255})));
  MeshHolder h;
  Load(h, folder, {"TextureFile t.png", "TextureNormalFile n.png"});
  EXPECT_TRUE(asked.empty());
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(0));
  EXPECT_EQ(Texel(GL_TEXTURE_2D, 0, 0).b, 255);
  EXPECT_EQ(h.m_textureBoard.faceCount, 2);
  EXPECT_EQ(h.m_textureBoardDrawer.textureIds[0], *h.GlTextureName(0));

  // Normal mapping: no lighting, the combine environment, linear filters
  // even when mipmaps are asked for.
  h.m_textureFilter = 2;
  h.Draw(DMFlat, CMNone, true, true);
  EXPECT_EQ(h.m_textureMode, TMPerWedge);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint env = 0, min = 0, combine = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, &combine);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
  EXPECT_EQ(env, GL_COMBINE_ARB);
  EXPECT_EQ(combine, GL_DOT3_RGB_ARB);
  EXPECT_EQ(min, GL_LINEAR);
  // The light along +z dotted with the normal (0, 0, 1): full brightness.
  const auto p = test::PixelAt(0.3, 0.3);
  EXPECT_GT(p[0], 200);
  EXPECT_GT(p[1], 200);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
}

TEST_F(Textures, NamesWrittenWithBackslashesAreFoundInTheirFolders) {
  const std::string folder = Folder();
  std::filesystem::create_directories(folder + "maps");
  ASSERT_TRUE(test::WritePng(folder + "maps/t.png", Plain(2, 2, kRed)));
  ASSERT_TRUE(test::WritePng(folder + "maps/n.png", Plain(4, 4, Rgb8{128, 128, 255})));
  MeshHolder h;
  Load(h, folder, {"TextureFile maps\\t.png", "TextureFile maps\\n.png",
                   "TextureNormalFile maps\\n.png"});
  EXPECT_TRUE(asked.empty());
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(1));
  EXPECT_EQ(TextureWidth(), 4);
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(0));
  EXPECT_EQ(Texel(GL_TEXTURE_2D, 0, 0).b, 255);
}

TEST_F(Textures, ANormalMapIsUploadedToItsSlotWhateverAQuestionBound) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "n.png", Plain(4, 4, Rgb8{128, 128, 255})));
  GLuint other = 0;
  glGenTextures(1, &other);
  // The question box lets a view paint, which leaves its own texture bound.
  SetUserPrompt([&](const std::string& text, PromptButtons) {
    asked.push_back(text);
    glBindTexture(GL_TEXTURE_2D, other);
    return true;
  });
  MeshHolder h;
  Load(h, folder, {"TextureNormalFile n.jpg"});
  ASSERT_EQ(asked.size(), 1u);
  glBindTexture(GL_TEXTURE_2D, other);
  EXPECT_EQ(TextureWidth(), 0);
  glBindTexture(GL_TEXTURE_2D, *h.GlTextureName(0));
  EXPECT_EQ(TextureWidth(), 4);
  glDeleteTextures(1, &other);
}

TEST_F(Textures, NormalMapsAloneMakeNoBoardSquares) {
  const std::string folder = Folder();
  ASSERT_TRUE(test::WritePng(folder + "n.png", Plain(2, 2, Rgb8{128, 128, 255})));
  MeshHolder h;
  Load(h, folder, {"TextureNormalFile n.png"});
  EXPECT_EQ(h.m_textureBoard.faceCount, 0);
  EXPECT_EQ(h.m_textureBoard.vertexCount, 0);
  h.Draw(DMFlat, CMNone, false, true);
  EXPECT_EQ(h.m_textureMode, TMPerWedge);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDisable(GL_TEXTURE_2D);
}

TEST_F(Textures, OnlyNormalMapsNamedPngAreFlipped) {
  const std::string folder = Folder();
  const Picture stacked = test::StackedPicture(2, 2, kRed, kGreen);
  ASSERT_TRUE(test::WritePng(folder + "N.PNG", stacked));
  ASSERT_TRUE(test::WritePng(folder + "n.png", stacked));
  MeshHolder h;
  auto firstRow = [&](const std::string& file, bool flip) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    h.LoadNormalMapFile((folder + file).c_str(), name, flip, 0);
    const Rgb8 c = Texel(GL_TEXTURE_2D, 0, 0);
    glDeleteTextures(1, &name);
    return c.r > 128 ? 'r' : 'g';
  };
  const char plain = firstRow("N.PNG", false);
  EXPECT_NE(firstRow("N.PNG", true), plain);
  // n.jpg is missing; the guess finds n.png, but the name asked for decides.
  answers = {true};
  EXPECT_EQ(firstRow("n.jpg", true), plain);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Error in loading normal map " + folder + "n.jpg\\ Try to guess?");
}

TEST_F(Textures, NamesBeyondTheSlotTableAreNotLoaded) {
  const std::string folder = Folder();
  std::vector<std::string> comments;
  for (int i = 0; i < int(kTextureSlots) + 2; ++i)
    comments.push_back("TextureFile t" + std::to_string(i) + ".png");
  ASSERT_TRUE(test::WritePng(folder + "t0.png", Plain(1, 1, kRed)));
  ASSERT_TRUE(test::WritePng(folder + "t259.png", Plain(1, 1, kRed)));
  MeshHolder h;
  Load(h, folder, comments);
  // The warning, then one question per missing file within the table.
  ASSERT_EQ(asked.size(), 1u + kTextureSlots - 1);
  EXPECT_NE(asked[0].find("only the first 258"), std::string::npos);
  EXPECT_EQ(h.m_textureBoard.faceCount, int(2 * kTextureSlots));
  EXPECT_NE(h.m_drawer4.textureIds[kTextureSlots - 1], 0u);
}

class CubeMap : public Textures {
 protected:
  void SetUp() override {
    Textures::SetUp();
    SetExtensionProcResolver([](const char* name) {
      return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
    });
    InitGLExtensions();
  }
};

TEST_F(CubeMap, IsMadeOnceFromSixFaceImages) {
  if (!PublicExtensionFlags().gl[GlExt::ARB_texture_cube_map]) GTEST_SKIP() << "no cube maps here";
  const std::string folder = Folder();
  uint32_t name = 0;
  // A face missing: the user is told, nothing is made.
  EXPECT_EQ(MeshHolder::LoadCubeMap((folder + "sky.png").c_str(), name), 1);
  EXPECT_EQ(name, 0u);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Error in loading environment map " + folder + "sky_negx.png");
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP_ARB));

  const Rgb8 colours[6] = {kRed, kGreen, kBlue, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
  const char* suffixes[6] = {"_negx", "_posx", "_negy", "_posy", "_negz", "_posz"};
  // A face that is not square is refused as well.
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(test::WritePng(folder + "sky" + suffixes[i] + ".png",
                               Plain(3, i == 4 ? 2 : 3, colours[i])));
  asked.clear();
  EXPECT_EQ(MeshHolder::LoadCubeMap((folder + "sky.png").c_str(), name), 1);
  EXPECT_EQ(name, 0u);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "The faces of an environment map must be square and of one size: " + folder +
                          "sky_negz.png");

  ASSERT_TRUE(test::WritePng(folder + "sky_negz.png", Plain(3, 3, colours[4])));
  asked.clear();
  EXPECT_EQ(MeshHolder::LoadCubeMap((folder + "sky.png").c_str(), name), 1);
  EXPECT_TRUE(asked.empty());
  ASSERT_NE(name, 0u);
  EXPECT_TRUE(glIsTexture(name));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP_ARB));
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, name);
  const GLenum faces[6] = {GL_TEXTURE_CUBE_MAP_NEGATIVE_X_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB,
                           GL_TEXTURE_CUBE_MAP_NEGATIVE_Y_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_Y_ARB,
                           GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_Z_ARB};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(TextureWidth(faces[i]), 4) << i;  // 3 x 3 resampled to 4 x 4
    const Rgb8 t = Texel(faces[i], 3, 3);
    EXPECT_EQ(t.r, colours[i].r);
    EXPECT_EQ(t.g, colours[i].g);
    EXPECT_EQ(t.b, colours[i].b);
  }
  // A second switch-on finds the name set and makes nothing.
  const uint32_t first = name;
  EXPECT_EQ(MeshHolder::LoadCubeMap((folder + "none.png").c_str(), name), 1);
  EXPECT_EQ(name, first);
  EXPECT_TRUE(asked.empty());
  glDeleteTextures(1, &name);
}

TEST_F(CubeMap, FacesKeepTheirTopRowUp) {
  if (!PublicExtensionFlags().gl[GlExt::ARB_texture_cube_map]) GTEST_SKIP() << "no cube maps here";
  const std::string folder = Folder();
  for (const char* suffix : {"_negx", "_posx", "_negy", "_posy", "_negz", "_posz"})
    ASSERT_TRUE(test::WritePng(folder + "sky" + suffix + ".png",
                               test::StackedPicture(4, 4, kRed, kBlue)));
  uint32_t name = 0;
  EXPECT_EQ(MeshHolder::LoadCubeMap((folder + "sky.png").c_str(), name), 1);
  ASSERT_NE(name, 0u);
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, name);
  // A face's first row is the one seen at the top (t = 0 points up).
  for (GLenum face = GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB; face <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB;
       ++face) {
    const Rgb8 top = Texel(face, 1, 0), bottom = Texel(face, 1, 3);
    EXPECT_EQ(top.r, 255) << face;
    EXPECT_EQ(bottom.b, 255) << face;
  }
  glDeleteTextures(1, &name);
}

TEST_F(CubeMap, TheProgramsOwnEnvironmentHasSkyAboveAndGroundBelow) {
  if (!PublicExtensionFlags().gl[GlExt::ARB_texture_cube_map]) GTEST_SKIP() << "no cube maps here";
  uint32_t name = 0;
  EXPECT_EQ(MeshHolder::LoadCubeMap(QUARNEL_SOURCE_DIR "/res/environment/uffizi.png", name), 1);
  EXPECT_TRUE(asked.empty());
  ASSERT_NE(name, 0u);
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, name);
  for (GLenum face : {GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB, GL_TEXTURE_CUBE_MAP_NEGATIVE_X_ARB,
                      GL_TEXTURE_CUBE_MAP_POSITIVE_Z_ARB, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB}) {
    const int size = TextureWidth(face);
    EXPECT_EQ(size, 256);
    const Rgb8 sky = Texel(face, size / 2, 1), ground = Texel(face, size / 2, size - 2);
    EXPECT_GT(int(sky.b), int(sky.r) + 40) << face;
    EXPECT_GT(int(ground.g), int(ground.b) + 20) << face;
  }
  const Rgb8 zenith = Texel(GL_TEXTURE_CUBE_MAP_POSITIVE_Y_ARB, 128, 128);
  const Rgb8 nadir = Texel(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y_ARB, 128, 128);
  EXPECT_GT(int(zenith.b), int(zenith.g));
  EXPECT_GT(int(nadir.g), int(nadir.b));
  glDeleteTextures(1, &name);
}

TEST_F(Textures, UploadResamplesSidesThatAreNotPowersOfTwo) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  UploadTextureImage(RgbImage(300, 200), false, 0, GL_TEXTURE_2D);
  EXPECT_EQ(TextureWidth(), 512);
  GLint h = 0, components = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  EXPECT_EQ(h, 256);
  UploadTextureImage(RgbImage(256, 256), true, 3, GL_TEXTURE_2D);
  EXPECT_EQ(TextureWidth(), 256);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &components);
  EXPECT_EQ(components, 128);  // the mipmaps were built
  UploadTextureImage(RgbImage(1, 1), false, 0, GL_TEXTURE_2D);
  EXPECT_EQ(TextureWidth(), 1);
  glDeleteTextures(1, &name);
}

}  // namespace
}  // namespace quarnel
