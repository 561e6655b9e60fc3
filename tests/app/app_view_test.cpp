// The view: its starting state, its projection, shared lists, and frames
// read back from its buffer.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QImage>
#include <cmath>
#include <cstring>

#include "app/extensions.h"
#include "app/main_frame.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "platform/document_manager.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::IsBackground;
using test::Near;
using test::Q;

// A pixel that shows the red cube: red well above green and blue.
bool IsCubeRed(QRgb c) { return qRed(c) > 120 && qRed(c) > 2 * qGreen(c) && qRed(c) > 2 * qBlue(c); }

int CountNonBackground(const QImage& img, QRect area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += !IsBackground(img.pixel(x, y));
  return n;
}

class ViewTest : public ::testing::Test {
 protected:
  void Open(CubeKind kind, bool edit = false) {
    ASSERT_NE(view = h.StartView(test::WriteCenteredCube("view.ply", kind), edit), nullptr);
  }

  AppHarness h;
  CQuarnelView* view = nullptr;
};

TEST_F(ViewTest, ANewViewStartsWithTheDocumentedState) {
  Open(CubeKind::Plain);
  EXPECT_EQ(view->m_drawMode, 5);
  EXPECT_EQ(view->m_colorMode, 0);
  EXPECT_TRUE(view->m_lighting);
  EXPECT_TRUE(view->m_showInfoPane);
  EXPECT_EQ(view->m_textureFilter, 2);
  EXPECT_EQ(view->m_fov, 45.0f);
  EXPECT_EQ(view->m_ticks, 10);
  EXPECT_EQ(view->m_backgroundColor, (Color4b{64, 64, 64, 255}));
  EXPECT_EQ(view->m_selectionMode, 2);
  EXPECT_EQ(view->m_clipPlaneNormal, Vec3f(0, 0, 1));
  // The initial update takes the trackball switch from the preferences.
  EXPECT_FALSE(view->m_showTrackBall);
  EXPECT_TRUE(view->m_trackBall.m_spinEnabled);
  EXPECT_GT(view->m_viewport[2], 0);
  EXPECT_GT(view->m_viewport[3], 0);
}

TEST_F(ViewTest, TheColourModeFollowsTheFilesAttributes) {
  Open(CubeKind::Colored);
  EXPECT_EQ(view->m_colorMode, 3);
}

TEST_F(ViewTest, AColouredCubeRendersInEveryDrawMode) {
  Open(CubeKind::Colored);
  // The corners must show the background, not the information pane.
  view->m_showInfoPane = false;
  for (int mode : {5, 6, 3, 2, 1}) {
    view->m_drawMode = mode;
    QImage img = h.Frame(view);
    ASSERT_FALSE(img.isNull());
    const int w = img.width(), hgt = img.height();
    for (QPoint corner : {QPoint(2, 2), QPoint(w - 3, 2), QPoint(2, hgt - 3), QPoint(w - 3, hgt - 3)})
      EXPECT_TRUE(IsBackground(img.pixel(corner))) << "mode " << mode;
    const QRect middle(w / 2 - w / 6, hgt / 2 - hgt / 6, w / 3, hgt / 3);
    if (mode == 5 || mode == 6) {
      EXPECT_TRUE(IsCubeRed(img.pixel(w / 2, hgt / 2))) << "mode " << mode << " "
                                                        << std::hex << img.pixel(w / 2, hgt / 2);
    } else {
      EXPECT_GT(CountNonBackground(img, middle.adjusted(-w / 6, -hgt / 6, w / 6, hgt / 6)), 3)
          << "mode " << mode;
    }
    if (mode == 3) {
      // Wire leaves the face interiors to the background.
      EXPECT_GT(middle.width() * middle.height() - CountNonBackground(img, middle), 100);
    }
  }
  EXPECT_TRUE(h.GlErrors().empty());
  EXPECT_GT(view->m_frameCount, 0);
  EXPECT_GT(view->m_meanFrameTime, 0.0f);
}

TEST_F(ViewTest, ProjectionMatchesTheHandComputedOnes) {
  Open(CubeKind::Plain);
  ASSERT_TRUE(view->MakeCurrent());
  const double aspect = double(view->m_viewport[2]) / view->m_viewport[3];
  view->SetProjection();
  view->ReadMatrices();
  // 45 degrees: d = 1.5 / tan(22.5 degrees), near d - 2, far d + 2.
  const double d = 1.5 / std::tan(22.5 * M_PI / 180.0);
  EXPECT_NEAR(view->m_cameraDistance, 3.6213, 1e-4);
  const double n = d - 2.0, f = d + 2.0, cot = 1.0 / std::tan(22.5 * M_PI / 180.0);
  const double* p = view->m_projection;
  EXPECT_NEAR(p[0], cot / aspect, 1e-4);
  EXPECT_NEAR(p[5], cot, 1e-4);
  EXPECT_NEAR(p[10], (f + n) / (n - f), 1e-4);
  EXPECT_NEAR(p[11], -1.0, 1e-9);
  EXPECT_NEAR(p[14], 2.0 * f * n / (n - f), 1e-4);
  EXPECT_NEAR(view->m_modelview[14], -d, 1e-4);

  // Exactly 5 degrees is orthographic: height 3, depth -2c to 2c, no eye offset.
  view->m_fov = 5.0f;
  view->SetProjection();
  view->ReadMatrices();
  EXPECT_NEAR(p[0], 1.0 / (1.5 * aspect), 1e-6);
  EXPECT_NEAR(p[5], 1.0 / 1.5, 1e-6);
  EXPECT_NEAR(p[10], -0.5, 1e-9);
  EXPECT_NEAR(p[14], 0.0, 1e-9);
  EXPECT_NEAR(p[15], 1.0, 1e-9);
  EXPECT_EQ(view->m_modelview[14], 0.0);

  // A large clip factor puts the near plane at a tenth of the distance.
  view->m_fov = 45.0f;
  view->m_clipFactor = 10.0f;
  view->SetProjection();
  view->ReadMatrices();
  const double n2 = 0.1 * d, f2 = d + 20.0;
  EXPECT_NEAR(p[14], 2.0 * f2 * n2 / (n2 - f2), 1e-4);
}

TEST_F(ViewTest, DegenerateProjectionInputsStayFinite) {
  Open(CubeKind::Plain);
  ASSERT_TRUE(view->MakeCurrent());
  while (glGetError() != GL_NO_ERROR) {
  }
  struct Case {
    float fov, clip;
  } cases[] = {{45.0f, 0.0f}, {45.0f, INFINITY}, {NAN, 1.0f},     {INFINITY, 1.0f},
               {0.0f, 1.0f},  {180.0f, 1.0f},    {45.0f, -3.0f},  {5.0f, 0.0f},
               {45.0f, NAN}};
  for (const Case& c : cases) {
    view->m_fov = c.fov;
    view->m_clipFactor = c.clip;
    view->SetProjection();
    view->ReadMatrices();
    for (double e : view->m_projection) EXPECT_TRUE(std::isfinite(e)) << c.fov << " " << c.clip;
    for (double e : view->m_modelview) EXPECT_TRUE(std::isfinite(e)) << c.fov << " " << c.clip;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << c.fov << " " << c.clip;
  }
  // A zero-height window keeps the last viewport.
  int before[4];
  std::memcpy(before, view->m_viewport, sizeof before);
  view->resize(view->width(), 0);
  h.Pump(50);
  EXPECT_EQ(std::memcmp(before, view->m_viewport, sizeof before), 0);
}

TEST_F(ViewTest, UnProjectTurnsTheWindowCentreIntoTheAxis) {
  Open(CubeKind::Plain);
  ASSERT_TRUE(view->MakeCurrent());
  view->SetProjection();
  view->ReadMatrices();
  const double cx = view->m_viewport[2] / 2.0, cy = view->m_viewport[3] / 2.0;
  Vec3d p = view->UnProject(cx, cy, 0.5);
  EXPECT_NEAR(p.x, 0.0, 1e-6);
  EXPECT_NEAR(p.y, 0.0, 1e-6);
}

TEST_F(ViewTest, TwoViewsShareDisplayListsAndFonts) {
  Open(CubeKind::Plain);
  const unsigned small = h.App().m_smallFontLists, large = h.App().m_largeFontLists;
  ASSERT_NE(small, 0u);
  ASSERT_NE(large, 0u);
  ASSERT_NE(h.App().Documents()->OpenDocumentFile(Q(test::WriteCenteredCube("second.ply", CubeKind::Colored))),
            nullptr);
  h.Pump(100);
  CQuarnelView* second = h.ActiveView();
  ASSERT_NE(second, view);
  ASSERT_TRUE(second->InitialUpdateDone());
  EXPECT_EQ(h.App().m_smallFontLists, small);
  EXPECT_EQ(h.App().m_largeFontLists, large);
  ASSERT_TRUE(second->MakeCurrent());
  EXPECT_TRUE(glIsList(small));
  EXPECT_TRUE(glIsList(large + 254));
  EXPECT_EQ(h.App().FindSharedGLContext(second->context()), view->context());

  // When the last view goes, the next view makes the fonts again.
  h.App().Documents()->CloseAllDocuments();
  h.Pump(100);
  EXPECT_EQ(h.App().m_smallFontLists, 0u);
  ASSERT_NE(h.App().Documents()->OpenDocumentFile(Q(test::WriteCenteredCube("third.ply", CubeKind::Plain))),
            nullptr);
  h.Pump(100);
  EXPECT_NE(h.App().m_smallFontLists, 0u);
}

TEST_F(ViewTest, AFrameWithEverySwitchOnRaisesNoOpenGLError) {
  Open(CubeKind::Colored, true);
  view->m_lighting = true;
  view->m_doubleSideLighting = true;
  view->m_fancyLighting = true;
  view->m_xRay = true;
  view->m_backFaceCulling = true;
  view->m_showTrackBall = true;
  view->m_environment = true;
  view->m_lightDragging = true;
  view->m_texturing = true;
  view->m_normalMap = true;
  view->m_mirror = true;
  for (int cm = 0; cm < 4; ++cm)
    for (int dm = 0; dm < 8; ++dm) {
      view->m_drawMode = dm;
      view->m_colorMode = cm;
      h.Frame(view);
    }
  view->m_textureImageView = 1;
  h.Frame(view);
  view->m_textureImageView = 0;
  view->m_lighting = false;
  h.Frame(view);
  h.Pump(50);
  EXPECT_TRUE(h.GlErrors().empty()) << h.GlErrors().front().toStdString();
  ASSERT_TRUE(view->MakeCurrent());
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  // The extension loader saw this context and fetched the entry points of
  // the groups it offers.
  EXPECT_EQ(PublicExtensionFlags().gl12, 1);
  EXPECT_NE(LoadedExtensionProc("glTexImage3D"), nullptr);
  if (PublicExtensionFlags().gl[GlExt::ARB_multitexture]) {
    EXPECT_NE(LoadedExtensionProc("glActiveTextureARB"), nullptr);
  }
  for (int flag : PublicExtensionFlags().wgl) EXPECT_EQ(flag, 0);
}

TEST_F(ViewTest, AnOpenGLErrorInAFrameIsShownAfterThePaintOnce) {
  Open(CubeKind::Plain);
  ASSERT_TRUE(view->MakeCurrent());
  for (int i = 0; i < 3; ++i) {
    glEnable(0xFFFF);  // leaves GL_INVALID_ENUM for the next check
    view->update();
    h.Pump(50);
    ASSERT_TRUE(view->MakeCurrent());
  }
  std::vector<QString> errors = h.GlErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "DEBUG: invalid enum");
}

TEST(FormatVec3f, DecimalsAndWidths) {
  EXPECT_STREQ(FormatVec3f(Vec3f(1.5f, -2.25f, 3.0f), 2), "  1.50  -2.25   3.00");
  EXPECT_STREQ(FormatVec3f(Vec3f(1.5f, 0, 0), 0), "     2      0      0");
  EXPECT_STREQ(FormatVec3f(Vec3f(0.125f, 0, 0), 5), "0.1250 0.0000 0.0000");
  EXPECT_STREQ(FormatVec3f(Vec3f(0.125f, 0, 0), -1), "0.1250 0.0000 0.0000");
  // Huge values never run past the buffer.
  const char* text = FormatVec3f(Vec3f(3e38f, -3e38f, 3e38f), 4);
  EXPECT_LT(std::strlen(text), 128u);
}

}  // namespace
}  // namespace quarnel
