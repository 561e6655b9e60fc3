#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLWidget>
#include <cmath>
#include <memory>

#include "platform/bitmap_font.h"
#include "platform/gl_context.h"
#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::DrainEvents;
using test::TestApplication;

// A current context of the views' format on an offscreen surface, with a
// framebuffer to draw into.
class GlFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    surfaceOwner = std::make_unique<QOffscreenSurface>();
    contextOwner = std::make_unique<QOpenGLContext>();
    surfaceOwner->setFormat(ViewSurfaceFormat());
    surfaceOwner->create();
    context().setFormat(ViewSurfaceFormat());
    context().setShareContext(QOpenGLContext::globalShareContext());
    ASSERT_TRUE(context().create());
    ASSERT_TRUE(context().makeCurrent(surfaceOwner.get()));
    fbo = std::make_unique<QOpenGLFramebufferObject>(QSize(kWidth, kHeight),
                                                     QOpenGLFramebufferObject::NoAttachment);
    ASSERT_TRUE(fbo->bind());
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
  void TearDown() override {
    fbo.reset();
    if (contextOwner) {
      contextOwner->doneCurrent();
    }
    contextOwner.reset();
    surfaceOwner.reset();
  }

  QOpenGLContext& context() { return *contextOwner; }
  QOffscreenSurface* surface() { return surfaceOwner.get(); }

  static constexpr int kWidth = 96;
  static constexpr int kHeight = 40;
  // Made after the application, which a surface needs.
  std::unique_ptr<QOffscreenSurface> surfaceOwner;
  std::unique_ptr<QOpenGLContext> contextOwner;
  std::unique_ptr<QOpenGLFramebufferObject> fbo;
};

TEST_F(GlFixture, TheViewsFormatIsACompatibilityContextWithDepth) {
  const QSurfaceFormat format = context().format();
  EXPECT_GE(format.depthBufferSize(), 24);
  EXPECT_NE(format.profile(), QSurfaceFormat::CoreProfile);
  EXPECT_EQ(format.swapBehavior(), QSurfaceFormat::DoubleBuffer);
  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
  EXPECT_TRUE(HasCurrentGlContext());
  // Fixed-function calls work: a display list compiles.
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glEndList();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glDeleteLists(list, 1);
}

TEST_F(GlFixture, EntryPointsComeFromTheCurrentContext) {
  EXPECT_NE(GetGlProcAddress("glActiveTexture"), nullptr);
  EXPECT_EQ(GetGlProcAddress(nullptr), nullptr);
  context().doneCurrent();
  EXPECT_FALSE(HasCurrentGlContext());
  EXPECT_EQ(GetGlProcAddress("glActiveTexture"), nullptr);
  ASSERT_TRUE(context().makeCurrent(surface()));
}

TEST_F(GlFixture, TextDrawnFromTheListsMatchesTheGlyphBitmaps) {
  const QFont font = BitmapTextFont(14);
  const GLuint base = glGenLists(255);
  ASSERT_NE(base, 0u);
  ASSERT_TRUE(BuildBitmapFontLists(font, base, 0, 255));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(1, 1, 1);
  glRasterPos2i(4, 12);
  glListBase(base);
  const unsigned char text[] = {'H', 'g', '\n', 'H'};
  glCallLists(4, GL_UNSIGNED_BYTE, text);

  const GlyphBitmap h = RasteriseGlyph(font, 'H');
  const GlyphBitmap g = RasteriseGlyph(font, 'g');
  // The raster position moved by the advances, the control code by nothing.
  GLfloat raster[4];
  glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
  EXPECT_FLOAT_EQ(raster[0], 4.0f + 2.0f * h.advance + g.advance);
  EXPECT_FLOAT_EQ(raster[1], 12.0f);

  // The first H stands where its bitmap says, pixel for pixel.
  std::vector<unsigned char> pixels(kWidth * kHeight * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  auto lit = [&](int x, int y) {
    return pixels[static_cast<size_t>((y * kWidth + x) * 4)] > 127;
  };
  const int left = 4 - static_cast<int>(h.originX);
  const int bottom = 12 - static_cast<int>(h.originY);
  int mismatches = 0;
  for (int r = 0; r < h.height; ++r) {
    for (int x = 0; x < h.width; ++x) {
      mismatches += lit(left + x, bottom + r) != h.Lit(x, r);
    }
  }
  EXPECT_EQ(mismatches, 0);
  // The g reaches below the baseline.
  bool below = false;
  for (int x = 0; x < kWidth; ++x) {
    below |= lit(x, 11);
  }
  EXPECT_TRUE(below);

  glDeleteLists(base, 255);
  EXPECT_FALSE(BuildBitmapFontLists(font, 0, 0, 255));
}

TEST(GlyphRasteriser, EachGlyphAsOnACanvasOfItsOwnAndAdvancingAsItsText) {
  TestApplication();
  // One rasteriser serves a whole font through one canvas; a glyph after a
  // larger or smaller one must not keep anything of it.
  for (int height : {9, 14, 40}) {
    const QFont font = BitmapTextFont(height);
    GlyphRasteriser shared(font);
    for (int code : {int('W'), int('.'), int('g'), 0xC9, int('j'), int(' '), int('M'), 0xBE}) {
      const GlyphBitmap alone = GlyphRasteriser(font).Rasterise(code);
      const GlyphBitmap g = shared.Rasterise(code);
      EXPECT_EQ(g.width, alone.width) << height << " " << code;
      EXPECT_EQ(g.height, alone.height) << height << " " << code;
      EXPECT_EQ(g.originX, alone.originX) << height << " " << code;
      EXPECT_EQ(g.originY, alone.originY) << height << " " << code;
      EXPECT_EQ(g.advance, alone.advance) << height << " " << code;
      EXPECT_EQ(g.bits, alone.bits) << height << " " << code;
    }
    // Glyphs are measured one character at a time; a text of that one
    // character must advance as far (the soft hyphen: not at all).
    const QFontMetricsF metrics(font);
    for (int code = 0x20; code < 0x100; ++code) {
      const QChar ch = CharacterOfByte(code);
      if (ch.isNull()) continue;
      EXPECT_EQ(shared.Rasterise(code).advance, std::round(metrics.horizontalAdvance(QString(ch))))
          << height << " " << code;
    }
  }
}

TEST(GlSharing, ViewsShareDisplayListsWithEachOther) {
  TestApplication();
  QOpenGLWidget first;
  QOpenGLWidget second;
  first.resize(64, 64);
  second.resize(64, 64);
  first.show();
  second.show();
  DrainEvents();
  ASSERT_TRUE(first.isValid());
  ASSERT_TRUE(second.isValid());

  first.makeCurrent();
  const GLuint base = glGenLists(255);
  ASSERT_TRUE(BuildBitmapFontLists(BitmapTextFont(12), base, 0, 255));
  first.doneCurrent();

  second.makeCurrent();
  EXPECT_EQ(glIsList(base + 'A'), static_cast<GLboolean>(GL_TRUE));
  second.doneCurrent();
  EXPECT_FALSE(BuildBitmapFontLists(BitmapTextFont(12), base, 0, 255));
}

}  // namespace
}  // namespace quarnel
