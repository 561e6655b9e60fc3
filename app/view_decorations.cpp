// Auxiliary geometry drawn in the scene's coordinates: grid planes, axes,
// the centre of mass, the box corners, the picked face and the clip plane
// and sphere.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/gl_text.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/bitmap_font.h"

namespace quarnel {

namespace {

constexpr GLbitfield kDecorationAttribs =
    GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_LINE_BIT | GL_CURRENT_BIT;
constexpr Color4b kRed{255, 0, 0, 255};
constexpr Color4b kGreen{0, 255, 0, 255};
constexpr Color4b kBlue{0, 0, 255, 255};
constexpr Color4b kManipulatorColour{255, 128, 128, 255};

// Lighting off and translucent blending, as every decoration draws.
void BeginDecoration() {
  glPushAttrib(kDecorationAttribs);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void Segment(const Vec3f& a, const Vec3f& b) {
  glVertex3fv(a.data());
  glVertex3fv(b.data());
}

// Three coloured segments through m, each h long on both sides.
void AxisCross(const Vec3f& m, double h) {
  glBegin(GL_LINES);
  glColor4ubv(kRed.data());
  Segment(m - Vec3f(float(h), 0, 0), m + Vec3f(float(h), 0, 0));
  glColor4ubv(kGreen.data());
  Segment(m - Vec3f(0, float(h), 0), m + Vec3f(0, float(h), 0));
  glColor4ubv(kBlue.data());
  Segment(m - Vec3f(0, 0, float(h)), m + Vec3f(0, 0, float(h)));
  glEnd();
}

}  // namespace

void CQuarnelView::DrawSceneDecorations(float diag) {
  MeshHolder& holder = doc_.Holder();
  const BBox3f& box = *holder.BBox();
  if (m_showPunctual) DrawPickedFace(diag);

  if (m_interactionMode == 4 || m_interactionMode == 5) {
    const Vec3f centre = box.Center();
    glPushMatrix();
    glPushMatrix();
    m_clipTrackBall.Apply();
    if (m_editing) m_clipTrackBall.Draw(kManipulatorColour, 1.0f);
    glPopMatrix();
    if (m_interactionMode == 4) {
      UpdateClipPlane();
      DrawPlaneGrid(m_clipPlane, centre, Vec3f(0, 1, 0), diag, diag, PlaneGridStyle(0));
    } else {
      UpdateClipSphere();
      DrawClipSphere(m_clipSphere, 8, 12);
    }
    glPopMatrix();
  }

  PlaneGridStyle style(2);
  Vec3f centre = box.Center();
  float size = diag;
  TickSpacing(style, m_ticks, size, centre);
  const float planeXY[4] = {0, 0, 1, 0};
  const float planeXZ[4] = {0, 1, 0, 0};
  const float planeYZ[4] = {1, 0, 0, 0};
  const Vec3f up(0, 1, 0);
  if (m_showPlaneXY) DrawPlaneGrid(planeXY, centre, up, size, size, style);
  if (m_showPlaneXZ) DrawPlaneGrid(planeXZ, centre, up, size, size, style);
  if (m_showPlaneYZ) DrawPlaneGrid(planeYZ, centre, up, size, size, style);
  if (m_showAxes) DrawAxes(1.2f * size);
  if (m_showMassProperties) DrawMassCenter(size);
  DrawTape();
}

void CQuarnelView::DrawPlaneGrid(const float plane[4], const Vec3f& centre, const Vec3f& up,
                                 float sizeU, float sizeV, const PlaneGridStyle& style) {
  const PlaneGrid grid = BuildPlaneGrid(plane, centre, up, sizeU, sizeV, style);
  BeginDecoration();
  glEnable(GL_CULL_FACE);
  // The fill stays a little behind coincident geometry, the lines in front.
  glDepthRange(0.001, 1.0);
  if (style.mode == 0 || style.mode == 2) {
    glBegin(GL_QUADS);
    glColor4ubv(style.frontColour.data());
    for (int i = 0; i < 4; ++i) glVertex3fv(grid.corners[i].data());
    glColor4ubv(style.backColour.data());
    for (int i : {0, 3, 2, 1}) glVertex3fv(grid.corners[i].data());
    glEnd();
  }
  glEnable(GL_LINE_SMOOTH);
  glDepthRange(0.0, 0.999);
  if (style.mode == 1 || style.mode == 2) {
    glBegin(GL_LINES);
    for (const Segment3f& s : grid.lines) Segment(s.a, s.b);
    glEnd();
  }
  glPopAttrib();
  // The depth range is not part of the saved attributes.
  glDepthRange(0.0, 1.0);
}

void CQuarnelView::DrawAxes(float length) {
  const double h = length * 0.5;
  BeginDecoration();
  glDepthRange(0.0, 0.9998);
  glEnable(GL_LINE_SMOOTH);
  glLineWidth(2.0f);
  AxisCross(Vec3f(0, 0, 0), h);
  glDepthRange(0.0, 1.0);
  glPopAttrib();
}

void CQuarnelView::DrawMassCenter(float size) {
  MeshHolder& holder = doc_.Holder();
  holder.ComputeMassProperties();
  const Vec3f m(holder.m_centerOfMass[0], holder.m_centerOfMass[1], holder.m_centerOfMass[2]);
  BeginDecoration();
  glEnable(GL_LINE_SMOOTH);
  glLineWidth(2.0f);
  AxisCross(m, size * 0.5);
  glPopAttrib();
}

void CQuarnelView::DrawBoxCorners() {
  const std::vector<Segment3f> marks = BoxCornerSegments(*doc_.Holder().BBox());
  BeginDecoration();
  glEnable(GL_LINE_SMOOTH);
  glLineWidth(1.0f);
  glColor4ub(0, 255, 255, 255);
  glBegin(GL_LINES);
  for (const Segment3f& s : marks) Segment(s.a, s.b);
  glEnd();
  glPopAttrib();
}

void CQuarnelView::DrawPickedFace(float size) {
  const PickInfo& p = m_pick;
  glPushAttrib(kDecorationAttribs);
  glDisable(GL_DEPTH_TEST);
  // A face a few pixels wide would print its three labels over each other:
  // where they would meet, the later ones move down below the earlier.
  double modelview[16], projection[16];
  int viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  const QFont font = BitmapTextFont(SmallFontPixels());
  std::string labels[3];
  std::vector<LabelBox> boxes(3);
  for (int k = 0; k < 3; ++k) {
    FormatString(labels[k], "v%i:%i", k, p.cornerIndices[k]);
    double wx = 0.0, wy = 0.0, wz = 0.0;
    const Vec3f& c = p.corners[k];
    if (gluProject(c.x, c.y, c.z, modelview, projection, viewport, &wx, &wy, &wz) != GL_TRUE ||
        !std::isfinite(wx) || !std::isfinite(wy))
      continue;
    boxes[k].x = int(std::lround(std::clamp(wx, -1e6, 1e6)));
    boxes[k].y = int(std::lround(std::clamp(wy, -1e6, 1e6)));
    boxes[k].width = BitmapTextWidth(font, labels[k].c_str());
    boxes[k].height = SmallFontPixels() + DevicePixels(2);
  }
  const std::vector<int> drops = LabelDrops(boxes);
  for (int k = 0; k < 3; ++k)
    DrawGlTextShifted(labels[k].c_str(), app_.m_smallFontLists, p.corners[k].data(),
                      Color4b{255, 255, 255, 255}, 0, -drops[k]);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(1.0f, 1.0f, 1.0f, 0.6f);
  glBegin(GL_TRIANGLES);
  for (const Vec3f& c : p.corners) glVertex3fv(c.data());
  glEnd();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LINE_SMOOTH);
  glLineWidth(2.0f);
  glColor4ubv(kRed.data());
  glBegin(GL_LINES);
  Segment(p.point, p.point + p.normal * (double(size) * 0.04));
  glEnd();
  glPopAttrib();
}

void CQuarnelView::DrawClipSphere(const float sphere[4], int stacks, int slices) {
  const std::vector<std::vector<Vec3f>> strips = WireSphereStrips(stacks, slices);
  glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_ACCUM_BUFFER_BIT | GL_DEPTH_BUFFER_BIT |
               GL_LIGHTING_BIT | GL_POLYGON_STIPPLE_BIT | GL_LINE_BIT);
  glPushMatrix();
  glTranslatef(sphere[0], sphere[1], sphere[2]);
  glScalef(sphere[3], sphere[3], sphere[3]);
  for (const std::vector<Vec3f>& strip : strips) {
    glBegin(GL_LINE_STRIP);
    for (const Vec3f& q : strip) {
      glNormal3fv(q.data());
      glVertex3fv(q.data());
    }
    glEnd();
  }
  glPopMatrix();
  glPopAttrib();
}

}  // namespace quarnel
