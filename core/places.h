// Points taken as one place when they lie within a tolerance of one another:
// the rounding that float coordinates and trigonometry leave between points
// meant to coincide, as on the two sides of a split seam.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/math.h"

namespace quarnel {

// Two float steps at the size of p's largest coordinate: the rounding of a
// point stored as float, or made by the clip from float points, next to its
// own coordinates. 0 where that is not finite.
double OwnRounding(const Vec3d& p);

// The place of each point: the smallest index of the points that it is
// joined to by a chain of pairs no farther apart in any coordinate than
// tolerance, nor than the OwnRounding of either: points a few float steps
// apart far from the origin stay apart. A point with a coordinate that is not finite is a place of
// its own. With tolerance 0 only equal points share a place. Expected time
// linear in the number of points.
std::vector<uint32_t> GroupByPlace(std::span<const Vec3d> points, double tolerance);

// The tolerance of points at one place in a model with this box: a few
// float steps at the size of its largest coordinate, the rounding of float
// coordinates (and of the trigonometry that made them, as on the two sides
// of a split seam). 0 for a null box or one that is not finite.
double PlaceTolerance(const BBox3f& box);

}  // namespace quarnel
