// Points taken as one place when they lie within a tolerance of one another:
// the rounding that float coordinates and trigonometry leave between points
// meant to coincide, as on the two sides of a split seam.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/math.h"

namespace quarnel {

// The float step at size: the rounding of a coordinate that size stored as
// float. 0 where that is not finite.
double FloatStep(double size);

// The float step at the size of p's largest coordinate: the rounding of a
// point stored as float, or made by the clip from float points, in its
// largest coordinate. 0 where that is not finite.
double OwnRounding(const Vec3d& p);

// How far from a plane its own float rounding may put a point that lies on
// it: half a float step of each coordinate, taken along the plane's normal.
// Far from the origin, a point the cut makes on the plane lands that far
// off it once stored.
double RoundingAlong(const Vec3f& p, const Plane3f& plane);

// Whether p and q stand at one place: in each coordinate no farther apart
// than tolerance, nor than the float step at that coordinate's own size or
// shape where that is larger (the rounding that the arithmetic which made
// the model's shape leaves near 0, see ShapeRounding). Far from the origin only the far
// coordinate rounds coarsely: points a few float steps apart there, or
// apart in another coordinate by more than its own rounding, stay apart.
bool AtOnePlace(const Vec3d& p, const Vec3d& q, double tolerance, double shape);

// The place of each point: the smallest index of the points that it is
// joined to by a chain of pairs at one place (AtOnePlace). A point with a
// coordinate that is not finite is a place of its own. With tolerance 0
// only equal points share a place. Expected time linear in the number of
// points.
std::vector<uint32_t> GroupByPlace(std::span<const Vec3d> points, double tolerance, double shape);

// The tolerance of points at one place in a model with this box: a few
// float steps at the size of its largest coordinate, the rounding of float
// coordinates (and of the trigonometry that made them, as on the two sides
// of a split seam). 0 for a null box or one that is not finite.
double PlaceTolerance(const BBox3f& box);

// The float step at half the largest side of a model with this box: the
// rounding of its shape's coordinates about its own centre, wherever the
// model stands. 0 for a null box or one that is not finite.
double ShapeRounding(const BBox3f& box);

}  // namespace quarnel
