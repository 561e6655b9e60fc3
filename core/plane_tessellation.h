// Triangles over the regions that closed contours in a plane wind around,
// wherever the contours touch, cross or run along one another.
#pragma once

#include <cstdint>
#include <vector>

#include "core/polygon_triangulation.h"

namespace quarnel {

// A point made where two contour edges cross: the weighted sum of up to
// four points (contour points or earlier crossings, by id).
struct ContourCrossing {
  uint32_t from[4] = {0, 0, 0, 0};
  double weight[4] = {0.0, 0.0, 0.0, 0.0};
};

// Cuts the regions whose winding number has the sign of `sign` (the
// contours' points by id into points, each contour a closed cycle) into
// triangles, appended to triangles as id triples that turn counter-clockwise
// when sign > 0 and clockwise when sign < 0. Points with equal coordinates
// are one; a crossing that lies within `snap` of one of the points it is
// made from is taken as that point, any other gets the id points.size() + k
// and is appended to crossings as k. Returns false when the triangulation
// fails (the triangles are then cleared).
bool TessellateByWinding(const std::vector<Point2d>& points,
                         const std::vector<std::vector<uint32_t>>& contours, int sign, double snap,
                         std::vector<uint32_t>& triangles, std::vector<ContourCrossing>& crossings);

}  // namespace quarnel
