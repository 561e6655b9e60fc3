// The distance tape: two points picked on the mesh surface, the rubber line
// while the second is placed, and the ruler between them.
#include <GL/gl.h>
#include <GL/glu.h>

#include "app/quarnel_view.h"

namespace quarnel {

void CQuarnelView::OnMeasureDistance() {
  if (m_xRay) {
    m_xRay = false;
    update();
  }
  if (m_interactionMode == 2) {
    m_interactionMode = 0;
    return;
  }
  m_interactionMode = 2;
  std::vector<Vec3d>().swap(m_tapePoints);
  std::vector<WindowPoint>().swap(m_tapeWindowPoints);
}

void CQuarnelView::AddTapePoint(int x, int y) {
  if (m_tapePoints.size() >= 2) return;
  m_showDistance = true;
  const int yb = m_viewport[3] - y;
  float depth = 1.0f;
  if (MakeCurrent()) glReadPixels(x, yb, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (depth == 1.0f) return;
  m_tapePoints.push_back(UnProject(x, y, depth));
  m_tapeWindowPoints.push_back(WindowPoint{x, yb});
  update();
  if (m_tapePoints.size() == 2) m_interactionMode = 0;
}

void CQuarnelView::DrawTape() {
  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glDepthMask(GL_FALSE);
  glLineWidth(3.0f);
  glColor3f(1.0f, 0.6f, 0.3f);

  if (m_tapePoints.size() == 1 && !m_tapeWindowPoints.empty()) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(m_viewport[0], m_viewport[0] + m_viewport[2], m_viewport[1],
               m_viewport[1] + m_viewport[3]);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_LINES);
    glVertex2i(m_tapeWindowPoints[0].x, m_tapeWindowPoints[0].y);
    glVertex2i(m_mousePoint.x, m_mousePoint.y);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
  } else if (m_tapePoints.size() == 2 && m_showDistance) {
    const Vec3d p0 = m_tapePoints[0], p1 = m_tapePoints[1];
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glBegin(GL_LINES);
    glVertex3d(p0.x, p0.y, p0.z);
    glVertex3d(p1.x, p1.y, p1.z);
    glEnd();
    // A thin copy shows where the mesh hides the tape.
    glDisable(GL_DEPTH_TEST);
    glLineWidth(0.3f);
    glBegin(GL_LINES);
    glVertex3d(p0.x, p0.y, p0.z);
    glVertex3d(p1.x, p1.y, p1.z);
    glEnd();

    const Vec3d d = p1 - p0;
    const double length = d.Norm();
    const double step = RulerStep(length);
    if (step > 0.0) {
      const Vec3d u = d * (1.0 / length);
      const Mat4d inverse = m_trackBall.m_track.Inverse();
      Vec3d eye = inverse.TransformPoint(Vec3d(0, 0, 1)) - inverse.TransformPoint(Vec3d(0, 0, 0));
      eye.Normalize();
      Vec3d side = d.Cross(eye);
      side.Normalize();
      glColor4ub(0, 0, 255, 255);
      auto tick = [&](double t, double half) {
        const Vec3d at = p0 + u * t;
        const Vec3d a = at + side * half, b = at - side * half;
        glVertex3d(a.x, a.y, a.z);
        glVertex3d(b.x, b.y, b.z);
      };
      glBegin(GL_LINES);
      for (int i = 0; double(i) * step < length; ++i) tick(double(i) * step, step / 3.0);
      for (int i = 0; double(i) * 10.0 * step < length; ++i) tick(double(i) * 10.0 * step, step);
      glEnd();
    }
  }
  glDepthMask(GL_TRUE);
  glPopAttrib();
}

}  // namespace quarnel
