// Which faces can put a fragment on the screen.
//
// A filled triangle without multisampling makes fragments only at pixel
// centres it covers, and only inside the viewport. Projecting the vertices
// once per draw and testing each face's window bounding box, widened by a
// margin larger than any rounding between this projection and OpenGL's,
// finds faces that cannot cover a pixel centre in the viewport: leaving them
// out changes no pixel and no depth value. On a dense mesh most faces are
// smaller than a pixel, and the triangle setup they skip is most of a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarnel {

class ScreenCoverage {
 public:
  // Reads the matrices, the viewport and the state of the current context.
  // False when a face may leave a trace without covering a pixel centre
  // (feedback or selection mode, polygons drawn as lines or points,
  // multisampling, polygon smoothing): then every face must be drawn.
  bool Begin();

  // Window x, y of `count` positions, each three floats, `stride` bytes
  // apart. A vertex at or behind the eye, or whose window coordinates are not
  // finite, gets NaN: faces on it are always drawn.
  void Project(const void* firstPosition, size_t stride, size_t count);

  // False only when the triangle on three projected vertices (positions in
  // the projected array) covers no pixel centre inside the viewport.
  bool Covers(size_t a, size_t b, size_t c) const {
    const float* p = xy_.data();
    return Axis(p[2 * a], p[2 * b], p[2 * c], lo_[0], hi_[0]) &&
           Axis(p[2 * a + 1], p[2 * b + 1], p[2 * c + 1], lo_[1], hi_[1]);
  }

 private:
  // Whether [min, max] of three coordinates, widened by the margin, holds a
  // pixel centre (an integer plus a half) between lo and hi. Any NaN answers
  // true. Plain comparisons: this runs for every face of every frame.
  static bool Axis(float a, float b, float c, float lo, float hi) {
    if (a != a || b != b || c != c) return true;
    float mn = a < b ? a : b, mx = a < b ? b : a;
    mn = c < mn ? c : mn;
    mx = c > mx ? c : mx;
    const float big = -mn > mx ? -mn : mx;
    const float m = kMargin + kRelativeMargin * big;
    mn -= m;
    mx += m;
    mn = mn > lo ? mn : lo;
    mx = mx < hi ? mx : hi;
    if (mx < mn) return false;
    // Both now lie in the viewport's range, well inside int.
    const float t = mx - 0.5f;
    int centre = int(t);
    if (float(centre) > t) --centre;
    return float(centre) + 0.5f >= mn;
  }

  // Far above the rounding between this projection and OpenGL's (float
  // transforms, vertices snapped to 1/256 pixel), far below a pixel.
  static constexpr float kMargin = 1.0f / 64.0f;  // pixels
  static constexpr float kRelativeMargin = 1.0f / 65536.0f;

  double m_[16] = {};           // projection x modelview, column-major
  double viewport_[4] = {};
  float lo_[2] = {}, hi_[2] = {};  // the viewport's pixel-centre range, widened
  std::vector<float> xy_;
};

}  // namespace quarnel
