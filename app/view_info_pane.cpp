// The information pane along the bottom edge of the view and the on-screen
// help on its right edge.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "app/gl_text.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/bitmap_font.h"

namespace quarnel {

namespace {

constexpr Color4b kWhite{255, 255, 255, 255};
constexpr Color4b kLightBlue{128, 128, 255, 255};
constexpr Color4b kLightRed{255, 128, 128, 255};

struct HelpRow {
  const char* key;
  const char* action;
};

constexpr HelpRow kHelpRows[] = {
    {"Drag", "Rotate"},
    {"Ctrl+Drag", "Pan"},
    {"Wheel", "Zoom"},
    {"Shift+Drag: ", "Zoom"},
    {"Ctrl+Shift+Drag", "Move Light"},
    {"Dbl Click", "Zoom at Point"},
    {"Ctrl+Dbl Click", "Zoom Out"},
    {"Ctrl+Shift+Dbl Click", "Punctual Info"},
    {"Shift+Wheel", "Focal Length"},
    {"Ctrl+Wheel", "Near/Far ClipPlane"},
};

// Volumes and areas above a million read better in groups of digits.
std::string LargeOrFixed(const char* label, float value) {
  std::string s;
  if (value > 1000000.0f) {
    std::string digits;
    const double v = std::trunc(double(value));
    FormatThousands(digits, v < 9.0e18 ? int64_t(v) : int64_t(9000000000000000000));
    return FormatString(s, "%s %s", label, digits.c_str());
  }
  return FormatString(s, "%s %3.3f", label, NoNegativeZero(value, 3));
}

std::string TextureLine(const std::vector<std::string>& names, int width, int height) {
  std::string s;
  const char* n0 = names[0].c_str();
  switch (names.size()) {
    case 1: return FormatString(s, "%s (%ix%i)", n0, width, height);
    case 2: return FormatString(s, "%s (%ix%i),   %s, ", n0, width, height, names[1].c_str());
    case 3:
      return FormatString(s, "%s (%ix%i),   %s,   %s", n0, width, height, names[1].c_str(),
                          names[2].c_str());
    default:
      return FormatString(s, "%s (%ix%i),   %s,   %s, ...", n0, width, height, names[1].c_str(),
                          names[2].c_str());
  }
}

void Quad(int x0, int y0, int x1, int y1) {
  glBegin(GL_QUADS);
  glVertex2i(x0, y0);
  glVertex2i(x1, y0);
  glVertex2i(x1, y1);
  glVertex2i(x0, y1);
  glEnd();
}

}  // namespace

InfoPaneLayout CQuarnelView::InfoPaneTexts() {
  InfoPaneLayout layout;
  const int w = m_viewport[2], h = m_viewport[3];
  auto put = [&layout](std::string text, int x, int y, bool large, Color4b colour) {
    layout.texts.push_back(PaneText{std::move(text), x, y, large, colour});
  };
  // Offsets are given for one device pixel per unit.
  auto px = [this](double units) { return DevicePixels(units); };
  const int line = px(16);

  if (m_showHelp) {
    layout.help = true;
    // The key column is as wide as its longest key in the font in use, the
    // strip as wide as the keys and the actions need.
    const QFont font = BitmapTextFont(SmallFontPixels());
    int keyWidth = 0, actionWidth = 0;
    for (const HelpRow& row : kHelpRows) {
      keyWidth = std::max(keyWidth, BitmapTextWidth(font, row.key));
      actionWidth = std::max(actionWidth, BitmapTextWidth(font, row.action));
    }
    const int column = std::max(px(120), keyWidth + px(10));
    layout.helpWidth = std::max(px(250), px(10) + column + actionWidth + px(10));
    const int keyX = w - layout.helpWidth + px(10);
    put("Standard Browsing Mode", keyX, h - px(40), true, kWhite);
    int y = h - px(88);
    for (const HelpRow& row : kHelpRows) {
      put(row.key, keyX, y, false, kWhite);
      put(row.action, keyX + column, y, false, kWhite);
      y -= line;
    }
    layout.helpTexts = int(layout.texts.size());
  }

  MeshHolder& holder = doc_.Holder();
  const int tapeCount = int(m_tapePoints.size());
  int lines = (m_showPunctual || m_showDistance || m_showMassProperties) ? 3 : 2;
  // The picking block has a fifth row, the corners' colours, for meshes
  // that have them.
  if (m_showPunctual) lines += (holder.LoadMask() & io_mask::VertexColor) ? 5 : 4;
  if (m_showDistance && tapeCount >= 1) lines += 3;
  if (m_showMassProperties) lines += 2;
  layout.paneHeight = line * lines;

  const BBox3f& box = *holder.BBox();
  const int d = PaneDecimals(box.Diag());
  int x[6];
  for (int i = 0; i < 6; ++i) x[i] = px(10) + i * (w - px(20)) / 6;
  int y = layout.paneHeight - px(4);
  std::string s, a, b;

  if (app_.m_flipTextures) {
    put("WARNING: you are using the deprecated Flip Mode", x[0], y + 2 * line, true, kLightRed);
    put("Please, disable it and correct the images", x[0], y + line, false, kWhite);
  }

  put(FormatString(s, "vert %8s      face %8s", FormatThousands(a, holder.VertexCount()).c_str(),
                   FormatThousands(b, holder.FaceCount()).c_str()),
      x[0], y - line, false, kWhite);
  const std::vector<std::string>* textures = holder.TextureNames();
  if (textures && !textures->empty())
    put(TextureLine(*textures, holder.m_textureWidth, holder.m_textureHeight), x[2], y - line,
        false, kWhite);
  if (holder.m_selectedVertexCount >= 0 || holder.m_selectedFaceCount >= 0) {
    FormatThousands(a, holder.m_selectedVertexCount < 0 ? 0 : holder.m_selectedVertexCount);
    FormatThousands(b, holder.m_selectedFaceCount < 0 ? 0 : holder.m_selectedFaceCount);
    put(FormatString(s, "Selected %8s:v %8s:f", a.c_str(), b.c_str()), x[4], y - line, false,
        kWhite);
  }
  FormatThousands(a, KiloTrianglesPerSecond(holder.FaceCount(), m_meanFrameTime));
  put(FormatString(s, "FPS %3.2f  (TPS %8sk) ", FramesPerSecond(m_meanFrameTime), a.c_str()), x[5],
      y - line, false, kWhite);

  y = layout.paneHeight - px(4) - 3 * line;
  if (m_showPunctual) {
    const PickInfo& p = m_pick;
    const IoMask mask = holder.LoadMask();
    put("Picking Info", x[0], y, true, kLightBlue);
    put(FormatString(s, "Picked %s", FormatVec3f(p.point, d)), x[1], y, false, kWhite);
    put(FormatString(s, "T id<%3i> (%3i %3i %3i)", p.faceIndex, p.cornerIndices[0],
                     p.cornerIndices[1], p.cornerIndices[2]),
        x[2], y, false, kWhite);
    put(FormatString(s, "BBox %s (min)", FormatVec3f(box.min, d)), x[1], y - line, false, kWhite);
    put(FormatString(s, "BBox %s (max)", FormatVec3f(box.max, d)), x[1], y - 2 * line, false,
        kWhite);
    if (mask & io_mask::VertexQuality)
      put(FormatString(s, "Q %6.3f ", NoNegativeZero(p.quality, 3)), x[2], y - 2 * line, false,
          kWhite);
    for (int i = 0; i < 3; ++i) {
      put(FormatString(s, "V%i P %s", i, FormatVec3f(p.corners[i], d)), x[3 + i], y - line, false,
          kWhite);
      put(FormatString(s, "V%i N %s", i, FormatVec3f(p.cornerNormals[i], 3)), x[3 + i],
          y - 2 * line, false, kWhite);
      if ((mask & io_mask::VertexQuality) || app_.m_editMode)
        put(FormatString(s, "V%i Q %6.3f ", i, NoNegativeZero(p.cornerQualities[i], 3)), x[3 + i],
            y - 3 * line, false, kWhite);
      if (mask & io_mask::VertexColor)
        put(FormatString(s, "V%i RGB %3i %3i %3i", i, p.cornerColors[i].r, p.cornerColors[i].g,
                         p.cornerColors[i].b),
            x[3 + i], y - 4 * line, false, kWhite);
    }
    // The colour row stands a line below the block's own four; the blocks
    // after it start below that row rather than over it.
    y -= (mask & io_mask::VertexColor) ? 5 * line : 4 * line;
  }

  if (m_showMassProperties && holder.MassComputed()) {
    put("Physical Properties", x[0], y, true, kLightBlue);
    put(LargeOrFixed("Volume", holder.m_volume), x[1], y, false, kWhite);
    put(LargeOrFixed("Surface", holder.m_surfaceArea), x[2], y, false, kWhite);
    const Vec3f c(holder.m_centerOfMass[0], holder.m_centerOfMass[1], holder.m_centerOfMass[2]);
    put(FormatString(s, "Center of mass %s", FormatVec3f(c, d)), x[3], y, false, kWhite);
    y -= 2 * line;
  }

  if (m_showDistance) {
    put("Tape Info", x[0], y, true, kLightBlue);
    auto point = [&](const char* label, const Vec3d& q) {
      return FormatString(s, "%s %8.4f %8.4f %8.4f", label, NoNegativeZero(q.x, 4),
                          NoNegativeZero(q.y, 4), NoNegativeZero(q.z, 4));
    };
    if (tapeCount >= 1) put(point("Point0", m_tapePoints[0]), x[1], y, false, kWhite);
    if (tapeCount >= 2) {
      const Vec3d& p0 = m_tapePoints[0];
      const Vec3d& p1 = m_tapePoints[1];
      put(point("Point1", p1), x[1], y - line, false, kWhite);
      put(FormatString(s, "Distance %8.4f", (p1 - p0).Norm()), x[3], y, false, kWhite);
    }
  }
  return layout;
}

void CQuarnelView::DrawInfoPane() {
  const InfoPaneLayout layout = InfoPaneTexts();
  const int vx = m_viewport[0], vy = m_viewport[1], w = m_viewport[2], h = m_viewport[3];

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluOrtho2D(vx, vx + w, vy, vy + h);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);

  auto drawTexts = [&](size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) {
      const PaneText& t = layout.texts[i];
      const double position[3] = {double(t.x), double(t.y), 0.0};
      DrawGlText(t.text.c_str(), t.large ? app_.m_largeFontLists : app_.m_smallFontLists,
                 position, t.colour);
    }
  };
  if (layout.help) {
    glColor4f(0.0f, 0.0f, 0.3f, 0.5f);
    Quad(w - layout.helpWidth, 0, w, h);
    drawTexts(0, size_t(layout.helpTexts));
  }
  glViewport(vx, vy, w, h);
  glColor4f(0.2f, 0.0f, 0.0f, 0.5f);
  Quad(0, 0, w, layout.paneHeight);
  drawTexts(size_t(layout.helpTexts), layout.texts.size());

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace quarnel
