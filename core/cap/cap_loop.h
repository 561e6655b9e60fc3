// A loop of a plane cut as the cap sees it: its points in the plane's frame,
// the mesh's corners and border edges along it, and the way its cap turns.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/mesh.h"
#include "core/polygon_triangulation.h"
#include "core/topology.h"

namespace quarnel {

struct CapLoop {
  std::vector<Point2d> points;  // in walk order
  std::vector<VertexT5*> corners;
  // The border edge that ends at each point, from the point before it in
  // the walk (at the start, from the last one): edge z of face f.
  std::vector<FacePos> edges;
  // Of the edges: +1 where the edge runs against its face, -1 where along
  // it (where it ends at its face's next corner).
  std::vector<int8_t> turns;
  std::vector<uint32_t> places;  // of the points, among all the loops' places
  double twiceArea = 0.0;  // signed, of the points in walk order
  // Border edges whose face runs them against the walk, less those whose
  // face runs them along it: the turns summed.
  int64_t against = 0;
  Point2d lo, hi;  // box of the points

  // Whether the cap runs the loop along its walk: the new faces use each
  // border edge against the way its face runs, so the cap faces the way
  // the mesh does.
  bool Along() const { return against >= 0; }
  // Twice the signed area that the loop's cap turns: positive
  // counter-clockwise.
  double CapArea() const { return Along() ? twiceArea : -twiceArea; }
  // Takes twiceArea and the box afresh from the points (at least one).
  void Measure();
};

// The sign of the cut's cap as a whole: of the area that the loops' caps
// turn, summed (holes turn against the loops around them); where the sum
// is 0, that of the largest; 1 when nothing says.
int CutTurn(const std::vector<CapLoop>& caps);

// The loop of the given points of c, in the order given, each with the
// edge that ends at it in c.
CapLoop PartOf(const CapLoop& c, std::span<const size_t> points);

// Each loop that passes one place more than once, as a welded chessboard's
// border does where two squares touch at a corner, split there into loops
// that pass it once: each part split off has three or more points, some
// area, and every edge running the same way against its face; other parts
// are left in the loop. body (per loop) goes with them.
void SplitAtPinches(std::vector<CapLoop>& caps, std::vector<uint32_t>& body,
                    size_t placeCount);

}  // namespace quarnel
