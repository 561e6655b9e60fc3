// The information pane, the scene decorations, picking and selection, the
// distance tape and clip editing, on the real main window.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/gl_text.h"
#include "app/mouse_flags.h"
#include "app_fixtures.h"
#include "app_harness.h"
#include "core/clip_checks.h"
#include "core/topology.h"
#include "support/allocation_probe.h"
#include "platform/bitmap_font.h"
#include "platform/framework_commands.h"

namespace quarnel {
namespace {

using test::AppHarness;
using test::CubeKind;
using test::Near;

Vec3f Centroid(const FaceT5& f) {
  return (f.v[0]->position + f.v[1]->position + f.v[2]->position) * (1.0 / 3.0);
}

class EditingTest : public ::testing::Test {
 protected:
  void OpenFile(const std::string& path, bool edit = true) {
    ASSERT_NE(view = h.StartView(path, edit), nullptr);
    Redraw();
  }
  void Open(CubeKind kind = CubeKind::Plain, bool edit = true) {
    OpenFile(test::WriteCenteredCube("editing.ply", kind), edit);
  }
  // Draws a frame, which also stores the matrices that picks unproject with.
  QImage Redraw() { return h.Frame(view); }
  // Makes the main window as wide as it takes to give the view the width.
  void SetViewWidth(int width) {
    h.Window().resize(width, 600);
    h.Pump(50);
    h.Window().resize(2 * width - view->width(), 600);
    h.Pump(50);
    Redraw();
    ASSERT_EQ(view->m_viewport[2], width);
  }
  void ExpectAFrameWithoutGlErrors() {
    Redraw();
    h.Pump(20);
    EXPECT_TRUE(h.GlErrors().empty());
  }
  MeshT5& Mesh() { return h.ActiveDoc()->Holder().m_mesh5; }
  MeshHolder& Holder() { return h.ActiveDoc()->Holder(); }

  // The window point (y downwards) where a point of the mesh appears.
  WindowPoint At(const Vec3f& p) {
    double x, y, z;
    gluProject(p.x, p.y, p.z, view->m_modelview, view->m_projection, view->m_viewport, &x, &y, &z);
    return WindowPoint{int(std::lround(x)), view->m_viewport[3] - int(std::lround(y))};
  }
  // A rubber band from a to b through the mouse handlers, with the
  // modifiers of flags.
  void Band(WindowPoint a, WindowPoint b, int flags = 0) {
    view->OnLButtonDown(MouseFlag::Left | flags, a);
    ASSERT_EQ(view->m_interactionMode, 7);
    view->OnMouseMove(MouseFlag::Left | flags, b);
    view->OnLButtonUp(flags, b);
    EXPECT_EQ(view->m_interactionMode, 6);
  }
  std::vector<const FaceT5*> SelectedFaces() {
    std::vector<const FaceT5*> faces;
    for (const FaceT5& f : Mesh().faces)
      if (IsLive(f.flags) && (f.flags & ElemFlag::Selected)) faces.push_back(&f);
    return faces;
  }

  AppHarness h;
  CQuarnelView* view = nullptr;
};

// --- Information pane and on-screen help ---------------------------------

// The rows below stand at their six columns where the view is wide enough
// for the texts.
TEST_F(EditingTest, TheInfoPaneOfAUnitCube) {
  Open();
  SetViewWidth(1280);
  InfoPaneLayout pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 32);
  const PaneText* counts = pane.Find("vert");
  ASSERT_NE(counts, nullptr);
  EXPECT_EQ(counts->text, "vert        8      face       12");
  EXPECT_EQ(counts->x, 10);
  EXPECT_EQ(counts->y, 12);
  const PaneText* fps = pane.Find("FPS ");
  ASSERT_NE(fps, nullptr);
  EXPECT_EQ(fps->x, 10 + 5 * (view->m_viewport[2] - 20) / 6);
  EXPECT_EQ(pane.Find("Selected"), nullptr);
  EXPECT_EQ(pane.Find("Standard Browsing Mode"), nullptr);

  // The mass block: the frame computes the properties, the pane shows them.
  ASSERT_TRUE(h.Execute(cmd::kMassProperties));
  Redraw();
  pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 16 * 5);
  const PaneText* title = pane.Find("Physical Properties");
  ASSERT_NE(title, nullptr);
  EXPECT_TRUE(title->large);
  EXPECT_EQ(title->y, 28);
  EXPECT_EQ(title->colour, (Color4b{128, 128, 255, 255}));
  ASSERT_NE(pane.Find("Volume 1.000"), nullptr);
  ASSERT_NE(pane.Find("Surface 6.000"), nullptr);
  const PaneText* centre = pane.Find("Center of mass ");
  ASSERT_NE(centre, nullptr);
  float c[3];
  ASSERT_EQ(std::sscanf(centre->text.c_str(), "Center of mass %f %f %f", &c[0], &c[1], &c[2]), 3);
  for (float v : c) EXPECT_NEAR(v, 0.0f, 1e-4);
  // Four decimals for a diagonal of 1.7.
  EXPECT_NE(centre->text.find(".0000"), std::string::npos) << centre->text;
  // A coordinate that rounds to zero reads as zero, whatever its sign.
  EXPECT_STREQ(FormatVec3f(Vec3f(-0.00004f, -0.0f, 0.00002f), 4), "0.0000 0.0000 0.0000");
  EXPECT_STREQ(FormatVec3f(Vec3f(-0.4f, -0.6f, 0.0f), 0), "     0     -1      0");

  // A selection count appears once the selection was coloured.
  ASSERT_TRUE(h.Execute(cmd::kSelectAll));
  pane = view->InfoPaneTexts();
  ASSERT_NE(pane.Find("Selected"), nullptr);
  EXPECT_EQ(pane.Find("Selected")->text, "Selected        0:v       12:f");
}

TEST_F(EditingTest, PaneHeightsAndTheHelpColumn) {
  Open();
  SetViewWidth(1280);
  const int w = view->m_viewport[2], hgt = view->m_viewport[3];
  view->m_showPunctual = true;
  InfoPaneLayout pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 112);
  EXPECT_EQ(pane.Find("vert")->y, 92);
  EXPECT_EQ(pane.Find("Picking Info")->y, 60);
  EXPECT_EQ(pane.Find("BBox ")->y, 44);
  EXPECT_EQ(pane.Find("V0 N")->y, 28);
  EXPECT_EQ(pane.Find("V0 Q")->y, 12);  // edit mode shows the qualities
  EXPECT_EQ(pane.Find("V0 RGB"), nullptr);

  // A mesh with vertex colours adds a colour row under the block: the
  // blocks after it start below that row.
  Holder().m_loadMask |= io_mask::VertexColor;
  pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 128);
  ASSERT_NE(pane.Find("V0 RGB"), nullptr);
  EXPECT_EQ(pane.Find("V0 RGB")->y, 12);  // inside the pane, not below it
  Holder().ComputeMassProperties();
  view->m_showMassProperties = true;
  view->m_showDistance = true;
  pane = view->InfoPaneTexts();
  ASSERT_NE(pane.Find("V0 RGB"), nullptr);
  EXPECT_EQ(pane.Find("Physical Properties")->y, pane.Find("V0 RGB")->y - 16);
  EXPECT_EQ(pane.Find("Tape Info")->y, pane.Find("Physical Properties")->y - 32);
  Holder().m_loadMask &= ~io_mask::VertexColor;
  view->m_showMassProperties = false;

  view->m_showPunctual = false;
  pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 48);
  ASSERT_NE(pane.Find("Tape Info"), nullptr);
  EXPECT_EQ(pane.Find("Point0"), nullptr);

  view->m_showHelp = true;
  pane = view->InfoPaneTexts();
  EXPECT_TRUE(pane.help);
  EXPECT_EQ(pane.helpTexts, 21);
  const PaneText* title = pane.Find("Standard Browsing Mode");
  ASSERT_NE(title, nullptr);
  // The strip is 250 pixels wide, or wider where the font needs it.
  EXPECT_GE(pane.helpWidth, 250);
  EXPECT_EQ(title->x, w - pane.helpWidth + 10);
  EXPECT_EQ(title->y, hgt - 40);
  const PaneText* last = pane.Find("Ctrl+Wheel");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->y, hgt - 88 - 9 * 16);
  EXPECT_NE(pane.Find("Near/Far ClipPlane"), nullptr);
  EXPECT_NE(pane.Find("Shift+Drag: "), nullptr);
  // Every key ends before its action, in the font in use and in a larger
  // one, and the strip holds the actions.
  const int inUse = h.App().m_smallFontPixels;
  for (int pixels : {inUse, 24}) {
    h.App().m_smallFontPixels = pixels;
    pane = view->InfoPaneTexts();
    const QFont font = BitmapTextFont(pixels);
    ASSERT_EQ(pane.helpTexts, 21);
    for (int i = 1; i < 21; i += 2) {
      const PaneText& key = pane.texts[size_t(i)];
      const PaneText& action = pane.texts[size_t(i + 1)];
      EXPECT_EQ(key.y, action.y);
      EXPECT_LT(key.x + BitmapTextWidth(font, key.text.c_str()), action.x) << key.text;
      EXPECT_LE(action.x + BitmapTextWidth(font, action.text.c_str()), w) << action.text;
      EXPECT_GE(key.x, w - pane.helpWidth) << key.text;
    }
  }
  h.App().m_smallFontPixels = inUse;

  // Four textures: three names, then the dots.
  *Holder().MutableTextureNames() = {"a.png", "b.png", "c.png", "d.png"};
  Holder().m_textureWidth = 64;
  Holder().m_textureHeight = 32;
  pane = view->InfoPaneTexts();
  ASSERT_NE(pane.Find("a.png"), nullptr);
  EXPECT_EQ(pane.Find("a.png")->text, "a.png (64x32),   b.png,   c.png, ...");
  Holder().MutableTextureNames()->clear();

  // The flip preference puts its warning above the pane.
  view->m_showHelp = false;
  view->m_showDistance = false;
  h.App().m_flipTextures = true;
  pane = view->InfoPaneTexts();
  const PaneText* warning = pane.Find("WARNING: you are using the deprecated Flip Mode");
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(warning->y, 60);
  EXPECT_EQ(warning->colour, (Color4b{255, 128, 128, 255}));
  ASSERT_NE(pane.Find("Please, disable it and correct the images"), nullptr);
  EXPECT_EQ(pane.Find("Please, disable it")->y, 44);
}

TEST_F(EditingTest, ThePaneIsDrawnAlongTheBottomOnlyWhileItIsOn) {
  Open();
  view->m_showTrackBall = false;
  QImage img = Redraw();
  const int w = img.width(), hgt = img.height();
  // Translucent dark red over the grey background, 32 pixels high.
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - 2), 57, 32, 32, 4)) << std::hex << img.pixel(w - 3, hgt - 2);
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - 31), 57, 32, 32, 4));
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - 34), 64, 64, 64, 4));
  // The help column on the right, drawn by the pane too.
  view->m_showHelp = true;
  img = Redraw();
  EXPECT_TRUE(Near(img.pixel(w - 3, 5), 32, 32, 70, 4)) << std::hex << img.pixel(w - 3, 5);
  ASSERT_TRUE(h.Execute(cmd::kInfoPane));
  img = Redraw();
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - 2), 64, 64, 64, 4));
  EXPECT_TRUE(Near(img.pixel(w - 3, 5), 64, 64, 64, 4));
  EXPECT_TRUE(h.GlErrors().empty());
}

TEST_F(EditingTest, ThePaneKeepsItsSizeOnScreensOfAnyPixelRatio) {
  // Run once as it comes and once more under QT_SCALE_FACTOR=2.
  Open();
  view->m_showTrackBall = false;
  const double ratio = view->devicePixelRatioF();
  if (const char* factor = std::getenv("QT_SCALE_FACTOR")) {
    EXPECT_DOUBLE_EQ(ratio, std::atof(factor));
  }
  auto px = [ratio](double units) { return int(std::lround(units * ratio)); };
  EXPECT_EQ(h.App().m_smallFontPixels, px(12));
  const InfoPaneLayout pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 2 * px(16));
  EXPECT_EQ(pane.Find("vert")->y, pane.paneHeight - px(4) - px(16));
  EXPECT_EQ(pane.Find("vert")->x, px(10));

  // On screen the strip is as many device pixels high.
  const QImage img = Redraw();
  const int w = img.width(), hgt = img.height();
  EXPECT_EQ(w, view->m_viewport[2]);
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - pane.paneHeight + 1), 57, 32, 32, 4));
  EXPECT_TRUE(Near(img.pixel(w - 3, hgt - pane.paneHeight - 2), 64, 64, 64, 4));
  // The first row's text stands inside the strip, as tall as the font.
  int top = hgt, bottom = -1;
  for (int y = hgt - pane.paneHeight; y < hgt; ++y)
    for (int x = px(10); x < px(60); ++x)
      if (qRed(img.pixel(x, y)) > 200) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  ASSERT_GE(bottom, top);
  EXPECT_GE(bottom - top + 1, px(7));
}

// Every text of the pane, as drawn: no two meet and none runs off the view,
// for every mesh type and pane content, at view widths from 800 pixels up.
TEST_F(EditingTest, NoTwoTextsOfThePaneMeetAtAnyWidth) {
  struct Kind {
    const char* name;
    CubeKind cube;
    bool edit;
  };
  const Kind kinds[] = {{"plain", CubeKind::Plain, false},
                        {"colours", CubeKind::Colored, false},
                        {"quality", CubeKind::Quality, false},
                        {"textures", CubeKind::Textured, false},
                        {"editable", CubeKind::Plain, true}};
  struct Content {
    const char* name;
    bool picked, mass, tape, selection, help, flip;
  };
  const Content contents[] = {{"counts", false, false, false, false, false, false},
                              {"picked face", true, false, false, false, false, false},
                              {"selection, mass and tape", false, true, true, true, false, false},
                              {"everything", true, true, true, true, true, true}};
  struct Box {
    std::string text;
    int x0, y0, x1, y1;  // window pixels, half-open
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    h.Stop();
    Open(kind.cube, kind.edit);
    view->m_showTrackBall = false;
    // The front face under the centre of the view, picked as the mouse does.
    Redraw();
    view->PickPunctualInfo(view->m_viewport[2] / 2, view->m_viewport[3] / 2);
    ASSERT_TRUE(view->m_showPunctual);
    const PickInfo pick = view->m_pick;
    Holder().ComputeMassProperties();
    const unsigned smallBase = h.App().m_smallFontLists, largeBase = h.App().m_largeFontLists;
    const QFont small = BitmapTextFont(h.App().m_smallFontPixels);
    const QFont large = BitmapTextFont(view->DevicePixels(h.App().m_largeFontHeight));
    for (int width : {800, 1024, 1280}) {
      SetViewWidth(width);
      for (const Content& content : contents) {
        SCOPED_TRACE(std::string(content.name) + " at " + std::to_string(width));
        view->m_pick = pick;
        view->m_showPunctual = content.picked;
        view->m_showMassProperties = content.mass;
        view->m_showDistance = content.tape;
        view->m_tapePoints.clear();
        if (content.tape)
          view->m_tapePoints = {Vec3d(-0.4321, 0.5, -0.25), Vec3d(0.5, -0.1234, 0.5)};
        Holder().m_selectedVertexCount = content.selection ? 1234567 : -1;
        Holder().m_selectedFaceCount = content.selection ? 7654321 : -1;
        view->m_showHelp = content.help;
        h.App().m_flipTextures = content.flip;

        std::vector<GlTextDraw> drawn;
        SetGlTextRecorder([&drawn](const GlTextDraw& d) { drawn.push_back(d); });
        Redraw();
        SetGlTextRecorder(nullptr);
        // The frame rate changes with every frame: it is known by its label.
        auto key = [](const std::string& text) {
          return text.compare(0, 4, "FPS ") == 0 ? std::string("FPS") : text;
        };
        const InfoPaneLayout pane = view->InfoPaneTexts();
        std::multiset<std::string> expected;
        for (const PaneText& t : pane.texts) expected.insert(key(t.text));
        const int w = view->m_viewport[2], hgt = view->m_viewport[3];
        std::vector<Box> boxes;
        for (const GlTextDraw& d : drawn) {
          auto found = expected.find(key(d.text));
          if ((d.listBase != smallBase && d.listBase != largeBase) || found == expected.end())
            continue;  // a label of the scene
          expected.erase(found);
          EXPECT_TRUE(d.valid) << d.text;
          const QFont& font = d.listBase == largeBase ? large : small;
          const QFontMetrics metrics(font);
          // The blanks at the end of some texts show nothing.
          const std::string shown = d.text.substr(0, d.text.find_last_not_of(' ') + 1);
          const int x = int(std::lround(d.x)), y = int(std::lround(d.y));
          boxes.push_back(Box{d.text, x, y - metrics.descent(),
                              x + BitmapTextWidth(font, shown.c_str()), y + metrics.ascent()});
        }
        for (const std::string& missing : expected) ADD_FAILURE() << "not drawn: " << missing;
        for (size_t i = 0; i < boxes.size(); ++i) {
          const Box& a = boxes[i];
          EXPECT_TRUE(a.x0 >= 0 && a.x1 <= w && a.y0 >= 0 && a.y1 <= hgt)
              << "\"" << a.text << "\" runs off the view at " << a.x0 << ".." << a.x1 << ", "
              << a.y0 << ".." << a.y1;
          for (size_t j = i + 1; j < boxes.size(); ++j) {
            const Box& b = boxes[j];
            EXPECT_FALSE(a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1)
                << "\"" << a.text << "\" meets \"" << b.text << "\"";
          }
        }
      }
    }
  }
}

// --- Scene decorations -------------------------------------------------

TEST_F(EditingTest, TheXYPlaneShowsItsFrontFromAboveAndItsBackFromBelow) {
  Open();
  view->m_showTrackBall = false;
  view->m_showInfoPane = false;
  ASSERT_TRUE(h.Execute(cmd::kPlaneXY));
  QImage img = Redraw();
  // The camera looks down -z: the side the normal points to.
  EXPECT_TRUE(Near(img.pixel(3, 3), 96, 96, 159, 4)) << std::hex << img.pixel(3, 3);
  view->m_trackBall.m_track.SetRotate(180.0, 0, 1, 0);
  img = Redraw();
  EXPECT_TRUE(Near(img.pixel(3, 3), 159, 96, 96, 4)) << std::hex << img.pixel(3, 3);
  // Every decoration at once draws without an OpenGL error.
  view->m_showAxes = view->m_showPlaneXZ = view->m_showPlaneYZ = true;
  view->m_showBoxCorner = view->m_showMassProperties = view->m_showPunctual = true;
  view->m_showInfoPane = view->m_showHelp = true;
  ExpectAFrameWithoutGlErrors();
}

// --- Picking and selection ---------------------------------------------

TEST_F(EditingTest, APunctualPickFindsTheFaceUnderThePixel) {
  Open(CubeKind::Colored);
  const Vec3f target(0.2f, 0.1f, 0.5f);
  const WindowPoint p = At(target);
  view->OnLButtonDblClk(MouseFlag::Control | MouseFlag::Shift, p);
  EXPECT_TRUE(view->m_showPunctual);
  const PickInfo& pick = view->m_pick;
  EXPECT_NEAR(pick.point.x, target.x, 0.01);
  EXPECT_NEAR(pick.point.y, target.y, 0.01);
  EXPECT_NEAR(pick.point.z, target.z, 0.01);
  ASSERT_GE(pick.faceIndex, 0);
  const FaceT5& f = Mesh().faces[size_t(pick.faceIndex)];
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(pick.cornerIndices[k], int(Mesh().VertexIndex(f.v[k])));
    EXPECT_EQ(pick.corners[k], f.v[k]->position);
    EXPECT_FLOAT_EQ(pick.corners[k].z, 0.5f);
    EXPECT_EQ(pick.cornerColors[k], (Color4b{200, 30, 30, 255}));
    EXPECT_NEAR(pick.cornerNormals[k].Norm(), 1.0, 1e-5);
  }
  EXPECT_NEAR(pick.weights[0] + pick.weights[1] + pick.weights[2], 1.0, 1e-4);
  EXPECT_NEAR(pick.faceNormal.z, 1.0f, 1e-5);
  EXPECT_NEAR(pick.normal.Norm(), 1.0, 1e-5);
  const InfoPaneLayout pane = view->InfoPaneTexts();
  ASSERT_NE(pane.Find("T id<"), nullptr);
  ASSERT_NE(pane.Find("V2 RGB 200  30  30"), nullptr);

  // The background leaves the pick as it was.
  const PickInfo before = pick;
  view->OnLButtonDblClk(MouseFlag::Control | MouseFlag::Shift, WindowPoint{2, 2});
  EXPECT_EQ(view->m_pick.faceIndex, before.faceIndex);
  EXPECT_EQ(view->m_pick.point, before.point);
  ExpectAFrameWithoutGlErrors();
}

TEST_F(EditingTest, AViewerPickInterpolatesTheVertexQuality) {
  Open(CubeKind::Quality, false);
  ASSERT_EQ(Holder().Tag(), 3);
  const WindowPoint p = At(Vec3f(-0.1f, 0.2f, 0.5f));
  view->PickPunctualInfo(p.x, view->m_viewport[3] - p.y);
  ASSERT_TRUE(view->m_showPunctual);
  const PickInfo& pick = view->m_pick;
  double q = 0.0;
  for (int k = 0; k < 3; ++k) {
    // The fixture's quality is the vertex index.
    EXPECT_FLOAT_EQ(pick.cornerQualities[k], float(pick.cornerIndices[k]));
    q += double(pick.weights[k]) * pick.cornerQualities[k];
  }
  EXPECT_NEAR(pick.quality, q, 1e-4);
  const InfoPaneLayout pane = view->InfoPaneTexts();
  const PaneText* shown = pane.Find("Q ");
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->y, pane.Find("BBox ")->y - 16);
  EXPECT_NE(pane.Find("V1 Q"), nullptr);
  // No colour in the file: no colour row.
  EXPECT_EQ(pane.Find("V1 RGB"), nullptr);
}

TEST_F(EditingTest, ARubberBandSelectsTheFacesUnderIt) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kToolRegion));
  EXPECT_EQ(view->m_interactionMode, 6);
  EXPECT_TRUE(view->m_editing);
  EXPECT_EQ(view->m_selectionTool, 1);

  // A small band inside the front face reaches the front face and, hidden
  // behind it, the back face.
  WindowPoint a = At(Vec3f(0.2f, 0.2f, 0.5f)), b = At(Vec3f(0.3f, 0.3f, 0.5f));
  Band(a, b);
  std::vector<const FaceT5*> selected = SelectedFaces();
  ASSERT_FALSE(selected.empty());
  EXPECT_LE(selected.size(), 4u);
  int front = 0, back = 0;
  for (const FaceT5* f : selected) {
    const float z = Centroid(*f).z;
    ASSERT_NEAR(std::abs(z), 0.5f, 1e-5) << "a side face was selected";
    (z > 0 ? front : back) += 1;
  }
  EXPECT_GE(front, 1);
  EXPECT_GE(back, 1);
  EXPECT_EQ(Holder().m_selectedFaceCount, int(selected.size()));
  EXPECT_EQ(view->m_colorMode, 2);

  // Shift removes, Ctrl adds, a plain band replaces.
  const size_t small = selected.size();
  Band(a, b, MouseFlag::Shift);
  EXPECT_TRUE(SelectedFaces().empty());
  Band(a, b, MouseFlag::Control);
  EXPECT_EQ(SelectedFaces().size(), small);
  WindowPoint all0 = At(Vec3f(-0.9f, -0.9f, 0.5f)), all1 = At(Vec3f(0.9f, 0.9f, 0.5f));
  Band(all0, all1, MouseFlag::Control);
  EXPECT_EQ(SelectedFaces().size(), 12u);
  Band(a, b);
  EXPECT_EQ(SelectedFaces().size(), small);
  // A click without a drag is a band of no size, which narrows nothing:
  // everything in view is picked.
  Band(a, a);
  EXPECT_EQ(SelectedFaces().size(), 12u);

  // Vertex mode: a band around one corner of the front face.
  ASSERT_TRUE(h.Execute(cmd::kSelectVertex));
  const Vec3f corner(0.5f, 0.5f, 0.5f);
  WindowPoint c = At(corner);
  Band(WindowPoint{c.x - 4, c.y - 4}, WindowPoint{c.x + 4, c.y + 4});
  int selectedVertices = 0;
  for (const VertexT5& v : Mesh().vertices)
    if (v.flags & ElemFlag::Selected) {
      ++selectedVertices;
      EXPECT_EQ(v.position, corner);
    }
  EXPECT_EQ(selectedVertices, 1);
  EXPECT_EQ(Holder().m_selectedVertexCount, 1);
  EXPECT_EQ(view->m_colorMode, 3);

  // The same tool command again ends the selection mode.
  ASSERT_TRUE(h.Execute(cmd::kToolRegion));
  EXPECT_EQ(view->m_interactionMode, 0);
  EXPECT_FALSE(view->m_editing);
  h.Pump(20);
  EXPECT_TRUE(h.GlErrors().empty());
}

TEST_F(EditingTest, AComponentClickSelectsTheWholeConnectedPart) {
  test::Soup soup = test::CubeSoup(1.0f, Vec3f(-0.5f, -0.5f, -0.5f));
  // A second, separate cube far off to the side.
  const test::Soup other = test::CubeSoup(0.2f, Vec3f(3.0f, 3.0f, 3.0f));
  const int offset = int(soup.points.size());
  for (const Vec3f& p : other.points) soup.points.push_back(p);
  for (auto t : other.tris) soup.tris.push_back({t[0] + offset, t[1] + offset, t[2] + offset});
  const std::string path = test::TempFilePath("two_parts.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, test::MeshFixture(soup, ply_format::Ascii)));
  OpenFile(path);
  ASSERT_TRUE(h.Execute(cmd::kToolComponent));
  EXPECT_EQ(view->m_selectionTool, 2);
  Redraw();
  // The big cube is the one at the centre of the box between both.
  const BBox3f& box = *Holder().BBox();
  const Vec3f probe(0.0f, 0.0f, 0.5f);
  ASSERT_LT(box.min.x, probe.x);
  view->OnLButtonDown(MouseFlag::Left, At(probe));
  view->OnLButtonUp(0, At(probe));
  const std::vector<const FaceT5*> selected = SelectedFaces();
  EXPECT_EQ(selected.size(), 12u);
  for (const FaceT5* f : selected) EXPECT_LE(f->v[0]->position.x, 0.5f);
}

TEST_F(EditingTest, DeletingTheSelection) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kToolRegion));
  Band(At(Vec3f(0.2f, 0.2f, 0.5f)), At(Vec3f(0.3f, 0.3f, 0.5f)));
  const size_t n = SelectedFaces().size();
  ASSERT_GT(n, 0u);
  ASSERT_TRUE(h.Execute(cmd::kDeleteSelected));
  EXPECT_EQ(Mesh().faceCount, int(12 - n));
  EXPECT_TRUE(SelectedFaces().empty());
  Redraw();
  char counts[64];
  std::snprintf(counts, sizeof counts, "vert        8      face %8d", int(12 - n));
  EXPECT_EQ(view->InfoPaneTexts().Find("vert")->text, counts);
  // The counts of the deleted selection are not shown.
  EXPECT_EQ(view->InfoPaneTexts().Find("Selected"), nullptr);

  // Vertex mode: a selected vertex takes its faces along.
  ASSERT_TRUE(h.Execute(cmd::kSelectVertex));
  VertexT5& corner = Mesh().vertices[0];
  int around = 0;
  for (const FaceT5& f : Mesh().faces)
    if (IsLive(f.flags) && (f.v[0] == &corner || f.v[1] == &corner || f.v[2] == &corner)) ++around;
  ASSERT_GT(around, 0);
  const int faces = Mesh().faceCount;
  corner.flags |= ElemFlag::Selected;
  ASSERT_TRUE(h.Execute(cmd::kDeleteSelected));
  EXPECT_EQ(Mesh().faceCount, faces - around);
  EXPECT_EQ(Mesh().vertexCount, 7);
  for (const FaceT5& f : Mesh().faces) {
    if (!IsLive(f.flags)) continue;
    for (const VertexT5* v : f.v) EXPECT_NE(v, &corner);
  }
  ExpectAFrameWithoutGlErrors();
}

TEST_F(EditingTest, SmoothingMovesOnlyTheSelection) {
  // A 4 x 4 grid with its middle vertex lifted.
  test::Soup soup = test::GridSoup(4);
  const size_t peak = 12;
  ASSERT_EQ(soup.points[peak].x, 2.0f);
  ASSERT_EQ(soup.points[peak].y, 2.0f);
  soup.points[peak].z = 1.0f;
  const std::string path = test::TempFilePath("bump.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, test::MeshFixture(soup, ply_format::Ascii)));
  OpenFile(path);
  EXPECT_FLOAT_EQ(Holder().BBox()->max.z, 1.0f);

  // Vertex mode: only the selected vertex moves.
  ASSERT_TRUE(h.Execute(cmd::kSelectVertex));
  Mesh().vertices[peak].flags |= ElemFlag::Selected;
  ASSERT_TRUE(h.Execute(cmd::kSmoothSelected));
  EXPECT_LT(Mesh().vertices[peak].position.z, 0.2f);
  for (size_t i = 0; i < Mesh().vertices.size(); ++i) {
    if (i == peak) continue;
    EXPECT_EQ(Mesh().vertices[i].position, soup.points[i]) << i;
  }
  EXPECT_LT(Holder().BBox()->max.z, 0.2f);

  // Face mode: the vertices whose faces are all selected move.
  Mesh().vertices[peak].position.z = 1.0f;
  ASSERT_TRUE(h.Execute(cmd::kSelectFace));
  ASSERT_TRUE(h.Execute(cmd::kSelectAll));  // inverts an empty face selection
  EXPECT_EQ(SelectedFaces().size(), 32u);
  ASSERT_TRUE(h.Execute(cmd::kSmoothSelected));
  EXPECT_LT(Mesh().vertices[peak].position.z, 0.5f);
  EXPECT_GT(Mesh().vertices[peak - 1].position.z, 0.0f);
  // None clears the face selection.
  ASSERT_TRUE(h.Execute(cmd::kSelectNone));
  EXPECT_TRUE(SelectedFaces().empty());
  EXPECT_EQ(Holder().m_selectedFaceCount, 0);
}

TEST_F(EditingTest, TheSelectionCountsFollowEveryEditThatKeepsTheSelection) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kSelectFace));
  struct Edit {
    const char* name;
    std::vector<int> commands;
    bool keeps;  // some of the selection stands afterwards
  };
  const Edit edits[] = {
      {"clip by plane", {cmd::kClipPlaneStart, cmd::kClipPlaneApply}, true},
      {"smooth", {cmd::kSmoothSelected}, true},
      {"unify vertices", {cmd::kUnifyDuplicatedVertices}, true},
      {"unreferenced vertices", {cmd::kRemoveUnrefVert}, true},
      {"optimise curvature", {cmd::kOptimizeCurvature}, true},
      {"flip normals", {cmd::kFlipNormals}, true},
      {"degenerate faces", {cmd::kRemoveDegenerateFaces}, true},
      {"clip by sphere", {cmd::kClipSphereStart, cmd::kClipSphereApply}, true},
      {"clip and cap", {cmd::kClipPlaneStart, cmd::kClipPlaneCap}, true},
      {"delete", {cmd::kDeleteSelected}, false},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.name);
    ASSERT_TRUE(h.Execute(cmd::kSelectNone));
    ASSERT_TRUE(h.Execute(cmd::kSelectAll));
    for (int id : edit.commands) ASSERT_TRUE(h.Execute(id));
    int vertices = 0;
    for (const VertexT5& v : Mesh().vertices)
      if (IsLive(v.flags) && (v.flags & ElemFlag::Selected)) ++vertices;
    const int faces = int(SelectedFaces().size());
    EXPECT_EQ(faces > 0, edit.keeps);
    const InfoPaneLayout pane = view->InfoPaneTexts();
    const PaneText* shown = pane.Find("Selected");
    if (faces == 0 && vertices == 0) {
      EXPECT_EQ(shown, nullptr);
      continue;
    }
    ASSERT_NE(shown, nullptr);
    char text[64];
    std::snprintf(text, sizeof text, "Selected %8d:v %8d:f", vertices, faces);
    EXPECT_EQ(shown->text, text);
  }
}

// --- Distance tape -------------------------------------------------------

TEST_F(EditingTest, TheTapeMeasuresBetweenTwoPickedPoints) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kMeasureDistance));
  EXPECT_EQ(view->m_interactionMode, 2);
  const WindowPoint a = At(Vec3f(-0.3f, 0.1f, 0.5f)), b = At(Vec3f(0.3f, 0.1f, 0.5f));

  // The background places nothing but shows the tape block.
  view->OnLButtonUp(0, WindowPoint{2, 2});
  EXPECT_TRUE(view->m_tapePoints.empty());
  EXPECT_TRUE(view->m_showDistance);

  view->OnLButtonUp(0, a);
  ASSERT_EQ(view->m_tapePoints.size(), 1u);
  EXPECT_EQ(view->m_interactionMode, 2);
  EXPECT_EQ(view->m_tapeWindowPoints[0].x, a.x);
  EXPECT_EQ(view->m_tapeWindowPoints[0].y, view->m_viewport[3] - a.y);
  view->OnMouseMove(0, b);
  Redraw();  // the rubber line
  // A middle release places the second point too.
  view->OnMButtonUp(0, b);
  ASSERT_EQ(view->m_tapePoints.size(), 2u);
  EXPECT_EQ(view->m_interactionMode, 0);
  const Vec3d p0 = view->m_tapePoints[0], p1 = view->m_tapePoints[1];
  EXPECT_NEAR(p0.x, -0.3, 0.01);
  EXPECT_NEAR(p0.z, 0.5, 0.01);
  EXPECT_NEAR((p1 - p0).Norm(), 0.6, 0.01);

  Redraw();  // the ruler
  const InfoPaneLayout pane = view->InfoPaneTexts();
  EXPECT_EQ(pane.paneHeight, 16 * 6);
  const PaneText* distance = pane.Find("Distance ");
  ASSERT_NE(distance, nullptr);
  double shown = 0;
  ASSERT_EQ(std::sscanf(distance->text.c_str(), "Distance %lf", &shown), 1);
  EXPECT_NEAR(shown, (p1 - p0).Norm(), 1e-4);
  EXPECT_EQ(distance->y, pane.Find("Tape Info")->y);
  EXPECT_EQ(pane.Find("Point1")->y, distance->y - 16);

  // Measuring again starts an empty tape.
  ASSERT_TRUE(h.Execute(cmd::kMeasureDistance));
  EXPECT_EQ(view->m_interactionMode, 2);
  EXPECT_TRUE(view->m_tapePoints.empty());
  // Two clicks on one pixel: a tape of length 0 draws without ticks.
  view->OnLButtonUp(0, a);
  view->OnLButtonUp(0, a);
  ASSERT_EQ(view->m_tapePoints.size(), 2u);
  ExpectAFrameWithoutGlErrors();
}

// --- Clip editing --------------------------------------------------------

TEST_F(EditingTest, ClipByPlaneFromTheMeshMenuKeepsTheUpperHalf) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneStart));
  EXPECT_EQ(view->m_interactionMode, 4);
  Redraw();
  EXPECT_FLOAT_EQ(view->m_clipPlane[2], 1.0f);
  EXPECT_FLOAT_EQ(view->m_clipPlane[3], 0.0f);
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneApply));
  EXPECT_EQ(view->m_interactionMode, 0);
  EXPECT_FALSE(view->m_editing);
  EXPECT_FALSE(h.ActiveDoc()->Loading());
  ASSERT_GT(Mesh().faceCount, 0);
  for (const FaceT5& f : Mesh().faces) {
    if (IsLive(f.flags)) {
      EXPECT_GE(Centroid(f).z, 0.0f);
    }
  }
  EXPECT_NEAR(Holder().BBox()->min.z, 0.0f, 1e-5);
  EXPECT_FLOAT_EQ(Holder().BBox()->max.z, 0.5f);
  ExpectAFrameWithoutGlErrors();
}

TEST_F(EditingTest, FlipPlaneThenClipAndCapKeepsTheOtherHalfClosed) {
  Open();
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneStart));
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneFlip));
  EXPECT_EQ(view->m_clipPlaneNormal, Vec3f(0, 0, -1));
  // No frame between the flip and the cut: the cut still takes the flip.
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneCap));
  EXPECT_EQ(view->m_interactionMode, 0);
  int cap = 0;
  for (const FaceT5& f : Mesh().faces) {
    if (!IsLive(f.flags)) continue;
    EXPECT_LE(Centroid(f).z, 0.0f);
    if (f.flags & ElemFlag::Selected) {
      ++cap;
      EXPECT_EQ(f.color, (Color4b{0, 255, 0, 255}));
    }
  }
  EXPECT_GT(cap, 0);
  // Closed again: every edge has a neighbour.
  BuildFaceFaceAdjacency(Mesh());
  for (const FaceT5& f : Mesh().faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) EXPECT_NE(f.adjFace[z], &f);
  }
}

// A cut that runs out of memory half way used to end the program; had it not,
// the mesh would have kept the points the cut had already added.
TEST_F(EditingTest, ACutThatRunsOutOfMemoryLeavesTheMeshAsItWas) {
  // The sphere's faces take 2.4 MB, its vertices 0.6 MB: the cut's first
  // allocations are under 2 MB, and it fails where the face array grows.
  const std::string path = test::TempFilePath("out_of_memory_sphere.ply");
  ASSERT_TRUE(test::WritePlyFixture(
      path, test::MeshFixture(test::IcosphereSoup(5, 0.5f), ply_format::BinaryLittleEndian)));
  OpenFile(path);
  const auto digest = [this] {
    std::string text = std::to_string(Mesh().vertexCount) + " " +
                       std::to_string(Mesh().faceCount) + " " +
                       std::to_string(Mesh().vertices.size()) + ":";
    for (const FaceT5& f : Mesh().faces) {
      text += std::to_string(f.flags) + " ";
      for (const VertexT5* v : f.v) text += std::to_string(Mesh().VertexIndex(v)) + " ";
    }
    return text;
  };
  const std::string before = digest();
  struct Cut {
    const char* name;
    int start;
    int apply;
  };
  for (const Cut& cut : {Cut{"clip by plane", cmd::kClipPlaneStart, cmd::kClipPlaneApply},
                         Cut{"clip and cap", cmd::kClipPlaneStart, cmd::kClipPlaneCap},
                         Cut{"clip by sphere", cmd::kClipSphereStart, cmd::kClipSphereApply}}) {
    SCOPED_TRACE(cut.name);
    h.messages.ClearShown();
    ASSERT_TRUE(h.Execute(cut.start));
    test::FailAllocationsFrom(std::size_t(2) << 20);
    const bool ran = h.Execute(cut.apply);
    test::FailAllocationsFrom(0);
    EXPECT_TRUE(ran);
    EXPECT_EQ(h.MessageTexts(), QStringList{"Not enough memory to complete the command."});
    // Compared whole; shown only by its counts.
    const std::string after = digest();
    EXPECT_TRUE(after == before) << after.substr(0, after.find(':'));
    EXPECT_FALSE(h.ActiveDoc()->Loading());
    EXPECT_EQ(view->m_interactionMode, 0);
    ExpectAFrameWithoutGlErrors();
  }
}

TEST_F(EditingTest, ClipAndCapOfAColouredSphereWithAHoleLeavesNoSeamAndCurrentBorders) {
  // Colour and quality vary linearly over the sphere, so a point the cut
  // adds on an edge must show the value of its own position; a hole near
  // the cut puts faces that the cap's flips turn next to a border.
  test::Soup soup = test::IcosphereSoup(3);
  soup.tris.erase(soup.tris.begin(), soup.tris.begin() + 6);
  auto colour = [](const Vec3f& p, int k) { return 128.0 + 120.0 * p[k]; };
  auto quality = [](const Vec3f& p) { return 10.0 * p.z + 20.0; };
  test::PlyFixture fixture = test::MeshFixture(soup, ply_format::Ascii);
  test::PlyFixtureElement& vertex = fixture.elements[0];
  for (const char* c : {"red", "green", "blue"}) vertex.properties.push_back({c, ply_type::UChar});
  vertex.properties.push_back({"quality", ply_type::Float});
  for (size_t i = 0; i < vertex.records.size(); ++i) {
    const Vec3f& p = soup.points[i];
    for (int k = 0; k < 3; ++k) vertex.records[i].push_back(std::round(colour(p, k)));
    vertex.records[i].push_back(quality(p));
  }
  const std::string path = test::TempFilePath("holed_sphere.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, fixture));
  OpenFile(path);
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneStart));
  view->m_clipPlaneNormal = Vec3f(0.2222222f, 0.0f, 0.9749960f);
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneCap));
  EXPECT_EQ(CheckFaceFaceTopology(Mesh()) & TopologyProblem::BorderWithNeighbour, 0u);
  // The collapse moves a point up to half its threshold (0.0017 here) and
  // keeps the point's own values.
  int cut = 0;
  for (const VertexT5& v : Mesh().vertices) {
    if (!IsLive(v.flags)) continue;
    cut += std::fabs(v.position.Norm() - 1.0) > 1e-3;  // made inside a face
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(v.color[k], colour(v.position, k), 1.5) << k;
    EXPECT_EQ(v.color[3], 255);
    EXPECT_NEAR(v.quality, quality(v.position), 0.02);
  }
  EXPECT_GT(cut, 0);
  ExpectAFrameWithoutGlErrors();
}

TEST_F(EditingTest, ClipAndCapThroughTheTorusSampleLeavesItsHoleOpen) {
  // The default plane through the middle of the sample torus cuts two
  // loops, one inside the other: the cap is the ring between them.
  OpenFile(QUARNEL_SOURCE_DIR "/samples/torus_colour.ply");
  const MeshT5 before = Mesh();
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneStart));
  Redraw();
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneCap));
  const float* p = view->m_clipPlane;
  const Plane3f plane{Vec3f(p[0], p[1], p[2]), p[3]};
  BuildFaceFaceAdjacency(Mesh());
  EXPECT_EQ(test::BorderEdges(Mesh()), 0);
  EXPECT_EQ(CheckFaceFaceTopology(Mesh()), 0u);
  const double half = test::ClippedVolume(before, plane);
  EXPECT_NEAR(test::SignedVolume(Mesh()), half, 1e-4 * half);
  EXPECT_NEAR(half, 0.5 * test::SignedVolume(before), 1e-3);
  // No cap face over the hole.
  const Vec3f centre = before.bbox.Center();
  for (const FaceT5& f : Mesh().faces) {
    if (IsLive(f.flags)) {
      EXPECT_GT(std::hypot(Centroid(f).x - centre.x, Centroid(f).y - centre.y), 0.5);
    }
  }
  ExpectAFrameWithoutGlErrors();

  // Saved and opened again, the half torus is still closed, and the points
  // of the cut carry the colours of the ring they lie on (the sample has no
  // dark colour), not black.
  const std::string copy = test::TempFilePath("torus_capped.ply");
  h.dialogs.QueueAnswer(QString::fromStdString(copy));
  ASSERT_TRUE(h.Execute(framework_command::kFileSaveAs));
  EXPECT_TRUE(h.messages.Shown().empty());
  AppHarness other;
  ASSERT_NE(other.StartView(copy, true), nullptr);
  MeshT5& back = other.ActiveDoc()->Holder().m_mesh5;
  EXPECT_EQ(back.faceCount, Mesh().faceCount);
  BuildFaceFaceAdjacency(back);
  EXPECT_EQ(test::BorderEdges(back), 0);
  EXPECT_EQ(CheckFaceFaceTopology(back), 0u);
  EXPECT_NEAR(test::SignedVolume(back), half, 1e-4 * half);
  for (const VertexT5& v : back.vertices) {
    if (IsLive(v.flags)) {
      EXPECT_GE(v.color[0] + v.color[1] + v.color[2], 150) << v.position.x << " " << v.position.z;
    }
  }
}

TEST_F(EditingTest, TheClipCommandsFollowTheMode) {
  // A flat 8 x 8 grid: the sphere, a third of the box diagonal around the
  // box centre, cuts a round hole into it.
  const std::string path = test::TempFilePath("grid.ply");
  ASSERT_TRUE(test::WritePlyFixture(path, test::MeshFixture(test::GridSoup(8), ply_format::Ascii)));
  OpenFile(path);
  auto state = [this](int id) {
    CommandState s;
    view->OnUpdate(id, s);
    return s;
  };
  EXPECT_TRUE(state(cmd::kClipPlaneStart).enabled);
  EXPECT_FALSE(state(cmd::kClipPlaneApply).enabled);
  EXPECT_FALSE(state(cmd::kToggleEditing).enabled);
  // Esc outside the editing modes does nothing.
  EXPECT_FALSE(h.Execute(cmd::kToggleEditing));
  view->OnToggleEditing();
  EXPECT_FALSE(view->m_editing);

  const size_t actions = view->m_clipTrackBall.m_actions.size();
  ASSERT_TRUE(h.Execute(cmd::kClipSphereStart));
  EXPECT_EQ(view->m_interactionMode, 5);
  EXPECT_FALSE(state(cmd::kClipPlaneStart).enabled);
  EXPECT_TRUE(state(cmd::kClipSphereApply).enabled);
  EXPECT_FALSE(state(cmd::kClipPlaneApply).enabled);
  EXPECT_EQ(view->m_clipTrackBall.m_actions.size(), actions + 1);
  EXPECT_EQ(view->m_clipTrackBall.m_actions.front(), (TrackAction{10, 0x1000, 3, 8}));
  ASSERT_TRUE(h.Execute(cmd::kToggleEditing));
  EXPECT_TRUE(view->m_editing);
  Redraw();  // the manipulator and the sphere
  EXPECT_NEAR(view->m_clipSphere[0], 4.0, 1e-5);
  EXPECT_NEAR(view->m_clipSphere[1], 4.0, 1e-5);
  EXPECT_NEAR(view->m_clipSphere[3], std::sqrt(128.0) / 3.0, 1e-4);
  const int before = Mesh().faceCount;

  ASSERT_TRUE(h.Execute(cmd::kClipSphereCap));
  EXPECT_EQ(view->m_interactionMode, 0);
  EXPECT_FALSE(view->m_editing);
  ASSERT_GT(Mesh().faceCount, 0);
  EXPECT_LT(Mesh().faceCount, before);
  const Vec3f centre(view->m_clipSphere[0], view->m_clipSphere[1], view->m_clipSphere[2]);
  for (const FaceT5& f : Mesh().faces) {
    if (IsLive(f.flags)) {
      EXPECT_GE(Distance(Centroid(f), centre), view->m_clipSphere[3] - 1e-4);
    }
  }

  // Plane normal commands check the one that is set.
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneStart));
  ASSERT_TRUE(h.Execute(cmd::kClipPlaneXZ));
  EXPECT_TRUE(state(cmd::kClipPlaneXZ).checked);
  EXPECT_FALSE(state(cmd::kClipPlaneXY).checked);
  h.Pump(20);
  EXPECT_TRUE(h.GlErrors().empty());
}

}  // namespace
}  // namespace quarnel
