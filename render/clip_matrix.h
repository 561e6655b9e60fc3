#pragma once

#include <GL/gl.h>

namespace quarnel {

// The matrix that takes object coordinates to clip coordinates as OpenGL
// holds it while elements are drawn: projection times modelview,
// column-major. With magnitude, also the same product taken over absolute
// values: the scale of the terms that cancel in each element, which is what
// rounding in the driver's float arithmetic is proportional to.
inline void ReadClipMatrix(GLdouble m[16], GLdouble* magnitude = nullptr) {
  GLdouble p[16], mv[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      GLdouble s = 0.0, a = 0.0;
      for (int k = 0; k < 4; ++k) {
        const GLdouble t = p[k * 4 + r] * mv[c * 4 + k];
        s += t;
        a += t < 0.0 ? -t : t;
      }
      m[c * 4 + r] = s;
      if (magnitude) magnitude[c * 4 + r] = a;
    }
}

}  // namespace quarnel
