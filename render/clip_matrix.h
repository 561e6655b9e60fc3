#pragma once

#include <GL/gl.h>

namespace quarnel {

// The matrix that takes object coordinates to clip coordinates as OpenGL
// holds it while elements are drawn: projection times modelview,
// column-major.
inline void ReadClipMatrix(GLdouble m[16]) {
  GLdouble p[16], mv[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      GLdouble s = 0.0;
      for (int k = 0; k < 4; ++k) s += p[k * 4 + r] * mv[c * 4 + k];
      m[c * 4 + r] = s;
    }
}

}  // namespace quarnel
