// The geometry of the view's auxiliary drawings, apart from OpenGL: grid
// planes and their tick spacing, the wire sphere, the box-corner marks, the
// distance ruler, and the clip plane and sphere that the clip manipulator
// carries.
#pragma once

#include <vector>

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

// The look of one grid plane.
struct PlaneGridStyle {
  explicit PlaneGridStyle(int aMode) : mode(aMode) {}

  float stepU = 10.0f;
  float stepV = 10.0f;
  Color4b frontColour{128, 128, 255, 128};  // seen from the side the normal points to
  Color4b backColour{255, 128, 128, 128};   // the other side, and the grid lines
  int mode;                                 // 0 fill, 1 lines, 2 both
};

// Rounds size up to a power of ten, makes both steps size / ticks and snaps
// every coordinate of centre toward zero onto a multiple of the step. A size
// that is not positive counts as 1, fewer than one tick as one.
void TickSpacing(PlaneGridStyle& style, int ticks, float& size, Vec3f& centre);

struct Segment3f {
  Vec3f a;
  Vec3f b;
};

// A grid plane: the filled rectangle (corners counter-clockwise seen from
// the normal's side) and its lines, in the order they are drawn.
struct PlaneGrid {
  Vec3f corners[4];
  std::vector<Segment3f> lines;
};

// The grid of the plane a x + b y + c z = d (plane[0..3]) around the
// projection of centre onto it, its first axis perpendicular to up. An axis
// shorter than two steps gets one line through the centre; one of more than
// a thousand steps gets a thousand and one lines over its whole side. A
// fill-only style gets no lines.
PlaneGrid BuildPlaneGrid(const float plane[4], const Vec3f& centre, const Vec3f& up, float sizeU,
                         float sizeV, const PlaneGridStyle& style);

// The wire sphere of radius 1 at the origin: stacks - 1 parallels of
// slices + 1 points, then slices meridians of stacks + 1 points. Every point
// is also its own normal.
std::vector<std::vector<Vec3f>> WireSphereStrips(int stacks, int slices);

// At each of the eight box corners three marks along the box edges that meet
// there, pointing into the box, a quarter of the box's extent long.
std::vector<Segment3f> BoxCornerSegments(const BBox3f& box);

// The spacing of the ruler's small ticks for a tape of the given length:
// the power of ten at the length's integer decimal logarithm, divided by ten
// until the length holds at least 30 of them. 0 for a length that is zero or
// not finite: such a tape has no ticks.
double RulerStep(double length);

// A text label in window pixels: its left edge, its baseline and its size.
struct LabelBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// How far each label moves down, in pixels, so that it covers none of the
// labels before it: 0 where it is clear, else just below the ones in its way.
std::vector<int> LabelDrops(const std::vector<LabelBox>& labels);

// The clip plane that the manipulator's track matrix makes of the plane
// through centre with the given normal: (a, b, c, d) in out, the normal of
// unit length unless the transform collapsed it.
void ClipPlaneFromTrack(const Mat4d& track, const Vec3f& normal, const Vec3f& centre, float out[4]);

// The clip sphere of the same transform from the sphere at centre with the
// given radius: centre x, y, z and radius in out.
void ClipSphereFromTrack(const Mat4d& track, const Vec3f& centre, double radius, float out[4]);

}  // namespace quarnel
