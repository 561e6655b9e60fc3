#include "render/box_drawer.h"

#include <GL/gl.h>

#include <initializer_list>

namespace quarnel {

void DrawBox(const BBox3f& box) {
  const float x0 = box.min.x, y0 = box.min.y, z0 = box.min.z;
  const float x1 = box.max.x, y1 = box.max.y, z1 = box.max.z;
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  for (const float z : {z0, z1}) {
    glBegin(GL_LINE_STRIP);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glVertex3f(x0, y0, z);
    glEnd();
  }
  glBegin(GL_LINES);
  glVertex3f(x0, y0, z0);
  glVertex3f(x0, y0, z1);
  glVertex3f(x1, y0, z0);
  glVertex3f(x1, y0, z1);
  glVertex3f(x1, y1, z0);
  glVertex3f(x1, y1, z1);
  glVertex3f(x0, y1, z0);
  glVertex3f(x0, y1, z1);
  glEnd();
  glPopAttrib();
}

}  // namespace quarnel
