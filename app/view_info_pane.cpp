// The information pane along the bottom edge of the view and the on-screen
// help on its right edge.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

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

// A text of a pane block before it is placed: its row inside the block and
// its width in the font it is drawn with.
struct Cell {
  std::string text;
  int row = 0;
  bool large = false;
  Color4b colour = kWhite;
  int width = 0;
};

// Texts of a block that start at one x, the x of one of the six column
// anchors where the row has room for them.
struct Column {
  int anchor = 0;
  // Wraps to lines of its own only together with the column before it.
  bool joinsPrevious = false;
  std::vector<Cell> cells;
};

// The widths the pane's fonts give, without the trailing blanks some texts
// end with: those take no room on the screen.
class TextWidths {
 public:
  TextWidths(int smallPixels, int largePixels)
      : small_(BitmapTextFont(smallPixels)), large_(BitmapTextFont(largePixels)) {}
  int operator()(const std::string& text, bool large) const {
    const size_t end = text.find_last_not_of(' ');
    const std::string shown = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    return BitmapTextWidth(large ? large_ : small_, shown.c_str());
  }

 private:
  QFont small_, large_;
};

constexpr int kNoNeed = std::numeric_limits<int>::min();

// How far right of column a's x column b must start so that no text of b
// meets a text of a on the same row; kNoNeed when they share no row.
int Need(const Column& a, const Column& b, int gap) {
  int need = kNoNeed;
  for (const Cell& p : a.cells)
    for (const Cell& q : b.cells)
      if (p.row == q.row) need = std::max(need, p.width + gap);
  return need;
}

int Widest(const Column& c) {
  int widest = 0;
  for (const Cell& cell : c.cells) widest = std::max(widest, cell.width);
  return widest;
}

// Columns that share the lines of a block, each with the x of its anchor
// and the x it is given.
struct Band {
  std::vector<const Column*> columns;
  std::vector<int> anchors;
  std::vector<int> x;
};

// Gives every column of the band its anchor where there is room, else the
// least x right of every text it would meet on its rows, and then moves
// columns left, as little as needed, so that the last texts end by right.
// False, with every column right of its neighbours, when even packed tight
// from the first anchor on they would not end by right.
bool Fit(Band& band, int right, int gap) {
  const size_t n = band.columns.size();
  std::vector<int> least(n), wanted(n);
  bool fits = true;
  for (size_t k = 0; k < n; ++k) {
    least[k] = band.anchors[0];
    wanted[k] = band.anchors[k];
    for (size_t i = 0; i < k; ++i) {
      const int need = Need(*band.columns[i], *band.columns[k], gap);
      if (need == kNoNeed) continue;
      least[k] = std::max(least[k], least[i] + need);
      wanted[k] = std::max(wanted[k], wanted[i] + need);
    }
    if (least[k] + Widest(*band.columns[k]) > right) fits = false;
  }
  band.x = wanted;
  if (!fits) return false;
  // From the right: each column ends by right and before the column after
  // it on every row they share. Packed tight they fit, so no column comes
  // to stand left of its least x.
  for (size_t k = n; k-- > 0;) {
    int x = std::min(wanted[k], right - Widest(*band.columns[k]));
    for (size_t j = k + 1; j < n; ++j) {
      const int need = Need(*band.columns[k], *band.columns[j], gap);
      if (need != kNoNeed) x = std::min(x, band.x[j] - need);
    }
    band.x[k] = x;
  }
  return true;
}

// A placed text of a block: its x and its line from the block's first line.
struct Placed {
  const Cell* cell;
  int x;
  int line;
};

// Lays the columns of a block out on as few lines as the pane's width
// allows: columns keep their rows while they fit beside the ones before
// them; a group of joined columns that does not fit goes on lines of its
// own below, its anchors counted from the indent anchor (the first column
// right of the block's title), and is split into single columns only when
// it would not fit there either. Returns the number of lines used.
int LayOutBlock(const std::vector<Column>& columns, const int anchors[6], int indent, int right,
                int gap, std::vector<Placed>& placed) {
  std::vector<Band> bands(1);
  // Adds columns [first, last) to the last band when they fit there (or
  // when force is set); true when added.
  auto add = [&](size_t first, size_t last, bool force) {
    Band tried = bands.back();
    const bool firstBand = bands.size() == 1;
    for (size_t i = first; i < last; ++i) {
      const Column& c = columns[i];
      const int head = tried.columns.empty() ? c.anchor : tried.columns.front()->anchor;
      tried.anchors.push_back(firstBand ? anchors[c.anchor]
                                        : anchors[std::clamp(indent + c.anchor - head, 0, 5)]);
      tried.columns.push_back(&c);
    }
    if (!Fit(tried, right, gap) && !force) return false;
    bands.back() = std::move(tried);
    return true;
  };
  auto place = [&](size_t first, size_t last) {
    if (add(first, last, false)) return true;
    if (bands.back().columns.empty()) return false;
    bands.emplace_back();
    return add(first, last, false);
  };
  for (size_t first = 0; first < columns.size();) {
    size_t last = first + 1;
    while (last < columns.size() && columns[last].joinsPrevious) ++last;
    if (!place(first, last))
      for (size_t i = first; i < last; ++i)
        if (!place(i, i + 1)) add(i, i + 1, true);  // wider than the pane
    first = last;
  }

  int line = 0;
  for (const Band& band : bands) {
    if (band.columns.empty()) continue;
    int low = std::numeric_limits<int>::max(), high = 0;
    for (const Column* c : band.columns)
      for (const Cell& cell : c->cells) {
        low = std::min(low, cell.row);
        high = std::max(high, cell.row);
      }
    // The first band keeps the block's rows, its title's row on top; the
    // others start on their first row with a text.
    if (&band == &bands.front()) low = 0;
    for (size_t k = 0; k < band.columns.size(); ++k)
      for (const Cell& cell : band.columns[k]->cells)
        placed.push_back(Placed{&cell, band.x[k], line + cell.row - low});
    line += high - low + 1;
  }
  return line;
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
  const BBox3f& box = *holder.BBox();
  const int d = PaneDecimals(box.Diag());
  int x[6];
  for (int i = 0; i < 6; ++i) x[i] = px(10) + i * (w - px(20)) / 6;
  // Texts start at the six anchors where they have room. A text longer than
  // its column pushes the columns after it right, and the row as a whole
  // moves left to end inside the pane; what does not fit beside the rest
  // goes on lines of its own below.
  const int right = w - px(10), gap = px(10);
  const TextWidths widthOf(SmallFontPixels(), DevicePixels(app_.m_largeFontHeight));
  std::string s, a, b;
  auto cell = [&widthOf](std::string text, int row, bool large = false, Color4b colour = kWhite) {
    const int width = widthOf(text, large);
    return Cell{std::move(text), row, large, colour, width};
  };
  auto column = [](std::vector<Column>& block, int anchor, bool joins, std::vector<Cell> cells) {
    if (!cells.empty()) block.push_back(Column{anchor, joins, std::move(cells)});
  };

  // The first row: counts, textures, selection counts, frame rate.
  std::vector<Column> counts;
  column(counts, 0, false,
         {cell(FormatString(s, "vert %8s      face %8s",
                            FormatThousands(a, holder.VertexCount()).c_str(),
                            FormatThousands(b, holder.FaceCount()).c_str()),
               0)});
  const std::vector<std::string>* textures = holder.TextureNames();
  if (textures && !textures->empty())
    column(counts, 2, false,
           {cell(TextureLine(*textures, holder.m_textureWidth, holder.m_textureHeight), 0)});
  if (holder.m_selectedVertexCount >= 0 || holder.m_selectedFaceCount >= 0) {
    FormatThousands(a, holder.m_selectedVertexCount < 0 ? 0 : holder.m_selectedVertexCount);
    FormatThousands(b, holder.m_selectedFaceCount < 0 ? 0 : holder.m_selectedFaceCount);
    column(counts, 4, false,
           {cell(FormatString(s, "Selected %8s:v %8s:f", a.c_str(), b.c_str()), 0)});
  }
  FormatThousands(a, KiloTrianglesPerSecond(holder.FaceCount(), m_meanFrameTime));
  column(counts, 5, false,
         {cell(FormatString(s, "FPS %3.2f  (TPS %8sk) ", FramesPerSecond(m_meanFrameTime),
                            a.c_str()),
               0)});

  // The picking block: the point and the face on its first three rows, the
  // corners' columns beside them, wrapped below them together when narrow.
  std::vector<Column> picking;
  if (m_showPunctual) {
    const PickInfo& p = m_pick;
    const IoMask mask = holder.LoadMask();
    column(picking, 0, false, {cell("Picking Info", 0, true, kLightBlue)});
    column(picking, 1, true,
           {cell(FormatString(s, "Picked %s", FormatVec3f(p.point, d)), 0),
            cell(FormatString(s, "BBox %s (min)", FormatVec3f(box.min, d)), 1),
            cell(FormatString(s, "BBox %s (max)", FormatVec3f(box.max, d)), 2)});
    std::vector<Cell> face{cell(FormatString(s, "T id<%3i> (%3i %3i %3i)", p.faceIndex,
                                             p.cornerIndices[0], p.cornerIndices[1],
                                             p.cornerIndices[2]),
                                0)};
    if (mask & io_mask::VertexQuality)
      face.push_back(cell(FormatString(s, "Q %6.3f ", NoNegativeZero(p.quality, 3)), 2));
    column(picking, 2, true, std::move(face));
    for (int i = 0; i < 3; ++i) {
      std::vector<Cell> corner{
          cell(FormatString(s, "V%i P %s", i, FormatVec3f(p.corners[i], d)), 1),
          cell(FormatString(s, "V%i N %s", i, FormatVec3f(p.cornerNormals[i], 3)), 2)};
      if ((mask & io_mask::VertexQuality) || app_.m_editMode)
        corner.push_back(
            cell(FormatString(s, "V%i Q %6.3f ", i, NoNegativeZero(p.cornerQualities[i], 3)), 3));
      if (mask & io_mask::VertexColor)
        corner.push_back(cell(FormatString(s, "V%i RGB %3i %3i %3i", i, p.cornerColors[i].r,
                                           p.cornerColors[i].g, p.cornerColors[i].b),
                              4));
      column(picking, 3 + i, i > 0, std::move(corner));
    }
  }

  std::vector<Column> mass;
  if (m_showMassProperties && holder.MassComputed()) {
    const Vec3f c(holder.m_centerOfMass[0], holder.m_centerOfMass[1], holder.m_centerOfMass[2]);
    column(mass, 0, false, {cell("Physical Properties", 0, true, kLightBlue)});
    column(mass, 1, false, {cell(LargeOrFixed("Volume", holder.m_volume), 0)});
    column(mass, 2, false, {cell(LargeOrFixed("Surface", holder.m_surfaceArea), 0)});
    column(mass, 3, false, {cell(FormatString(s, "Center of mass %s", FormatVec3f(c, d)), 0)});
  }

  std::vector<Column> tape;
  if (m_showDistance) {
    auto point = [&](const char* label, const Vec3d& q) {
      return FormatString(s, "%s %8.4f %8.4f %8.4f", label, NoNegativeZero(q.x, 4),
                          NoNegativeZero(q.y, 4), NoNegativeZero(q.z, 4));
    };
    column(tape, 0, false, {cell("Tape Info", 0, true, kLightBlue)});
    std::vector<Cell> points;
    if (tapeCount >= 1) points.push_back(cell(point("Point0", m_tapePoints[0]), 0));
    if (tapeCount >= 2) points.push_back(cell(point("Point1", m_tapePoints[1]), 1));
    column(tape, 1, false, std::move(points));
    if (tapeCount >= 2)
      column(tape, 3, false,
             {cell(FormatString(s, "Distance %8.4f", (m_tapePoints[1] - m_tapePoints[0]).Norm()),
                   0)});
  }

  std::vector<Placed> countsPlaced, pickingPlaced, massPlaced, tapePlaced;
  const int countLines = std::max(1, LayOutBlock(counts, x, 0, right, gap, countsPlaced));
  // Each block keeps at least the lines it always had (the picking block a
  // fifth, the corners' colours, for meshes that have them); one that wraps
  // takes the lines it needs.
  const int pickingLines = std::max((holder.LoadMask() & io_mask::VertexColor) ? 5 : 4,
                                    LayOutBlock(picking, x, 1, right, gap, pickingPlaced));
  const int massLines = std::max(2, LayOutBlock(mass, x, 1, right, gap, massPlaced));
  const int tapeLines = std::max(3, LayOutBlock(tape, x, 1, right, gap, tapePlaced));

  int lines = 1 + countLines;
  if (m_showPunctual || m_showDistance || m_showMassProperties) lines += 1;
  if (m_showPunctual) lines += pickingLines;
  if (m_showDistance && tapeCount >= 1) lines += tapeLines;
  if (m_showMassProperties) lines += massLines;
  layout.paneHeight = line * lines;

  int y = layout.paneHeight - px(4);
  if (app_.m_flipTextures) {
    put("WARNING: you are using the deprecated Flip Mode", x[0], y + 2 * line, true, kLightRed);
    put("Please, disable it and correct the images", x[0], y + line, false, kWhite);
  }
  auto putBlock = [&](const std::vector<Placed>& placed, int top) {
    for (const Placed& p : placed)
      put(p.cell->text, p.x, top - p.line * line, p.cell->large, p.cell->colour);
  };
  putBlock(countsPlaced, y - line);
  // The blocks start a blank line below the first row; each moves the next
  // one down by the lines it keeps.
  y -= (countLines + 2) * line;
  if (m_showPunctual) {
    putBlock(pickingPlaced, y);
    y -= pickingLines * line;
  }
  if (!mass.empty()) {
    putBlock(massPlaced, y);
    y -= massLines * line;
  }
  putBlock(tapePlaced, y);
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
