// Triangulation of planar polygons, with or without holes: ear clipping
// over a grid of the points, holes joined to the outer loop by bridges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/plane_grid.h"

namespace quarnel {

// Twice the signed area of the polygon's points in their order: positive
// when they run counter-clockwise.
double TwiceArea(const std::vector<Point2d>& polygon);

// 1 when q lies inside the polygon, 0 when outside, -1 when on its boundary.
int LoopContains(const std::vector<Point2d>& polygon, const Point2d& q);

// Whether a triangulation may not use the diagonal between the points with
// the indices given (in either order).
using RefusedDiagonal = std::function<bool(int, int)>;

// Ear clipping that cuts the shortest closing diagonals first. Appends index
// triples (counter-clockwise) into polygon to triangles; returns 1 when the
// polygon was cut completely (a simple polygon always is, into n - 2
// triangles), 0 when it has fewer than three points, a zero or non-finite
// area, or when it is not simple and what is left cannot be cut (the
// triangles found before stay appended). Given refused, no ear is cut whose
// closing diagonal it names: then even a simple polygon may be left
// unfinished.
int TriangulatePolygon2D(const std::vector<Point2d>& polygon, std::vector<int>& triangles,
                         const RefusedDiagonal& refused = {});

// The same for a polygon with holes: loops[0] is the outer boundary, the
// other loops are holes inside it, each in either order. Each hole is joined
// to the outer loop by a bridge, or where it touches the outer loop at a
// point (a point of both at the same place), at that point. A hole touching
// at more points splits the region into parts, one between each two
// touches: each part is clipped as a loop of its own, and the result is 1
// only when every part was cut completely. The indices count the points of
// all loops in turn; a complete cut gives n - 2 + 2 h triangles for n
// points and h bridged holes (two fewer for each point where a hole
// touches), covering the outer loop's area less the holes' once. refused as
// above; a bridge itself is never refused.
int TriangulatePolygonWithHoles2D(const std::vector<std::vector<Point2d>>& loops,
                                  std::vector<int>& triangles, const RefusedDiagonal& refused = {});
// The same over loops that are listed by their address, not copied.
int TriangulatePolygonWithHoles2D(const std::vector<const std::vector<Point2d>*>& loops,
                                  std::vector<int>& triangles, const RefusedDiagonal& refused = {});

// Flips each side of the triangles (counter-clockwise index triples into
// points) that refused names to the other diagonal of the two triangles on
// it, where the two form a strictly convex quadrilateral and that diagonal
// is not refused too. Returns whether no refused side is left; the triangles
// then still cover what they covered. On false the triangles are left part
// flipped.
bool FlipRefusedDiagonals(const std::vector<Point2d>& points, std::vector<int>& triangles,
                          const RefusedDiagonal& refused);

}  // namespace quarnel
