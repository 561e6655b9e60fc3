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

  // Projects `count` positions, each three floats, `stride` bytes apart.
  // A vertex at or behind the eye, or whose window coordinates are not
  // finite, spans the whole viewport: faces on it are always drawn.
  void Project(const void* firstPosition, size_t stride, size_t count);

  // False only when the triangle on three projected vertices (positions in
  // the projected array) covers no pixel centre inside the viewport.
  bool Covers(size_t a, size_t b, size_t c) const {
    const Span& p = spans_[a];
    const Span& q = spans_[b];
    const Span& r = spans_[c];
    return Min(p.x0, q.x0, r.x0) <= Max(p.x1, q.x1, r.x1) &&
           Min(p.y0, q.y0, r.y0) <= Max(p.y1, q.y1, r.y1);
  }

 private:
  // Per vertex and axis, the pixel centres (numbered by the pixel) that the
  // vertex's coordinate widened by the margin reaches: from the first at or
  // above coordinate - margin (x0, y0) to the last at or below coordinate +
  // margin (x1, y1), both clamped to one beyond the viewport's. A face's
  // bounding box holds centre k exactly when the least first <= k <= the
  // greatest last, so a face covers one when the least first is not above the
  // greatest last.
  struct Span {
    int32_t x0, x1, y0, y1;
  };
  static int32_t Min(int32_t a, int32_t b, int32_t c) {
    const int32_t m = a < b ? a : b;
    return c < m ? c : m;
  }
  static int32_t Max(int32_t a, int32_t b, int32_t c) {
    const int32_t m = a < b ? b : a;
    return c > m ? c : m;
  }

  // Far above the rounding between this projection and OpenGL's (float
  // transforms, vertices snapped to 1/256 pixel), far below a pixel.
  static constexpr double kMargin = 1.0 / 64.0;  // pixels
  static constexpr double kRelativeMargin = 1.0 / 65536.0;

  // Float rounding of the driver's transform, generously: 16 units in the
  // last place of the largest term.
  static constexpr double kFloatRounding = 16.0 / 16777216.0;

  double m_[16] = {};  // projection x modelview, column-major
  double a_[16] = {};  // the same over absolute values: the scale of the rounding
  int32_t viewport_[4] = {};
  std::vector<Span> spans_;
};

}  // namespace quarnel
