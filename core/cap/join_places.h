// Points of the cut that stand at one place joined into one vertex, as
// the two sides of a split seam do where the cut crosses it.
#pragma once

#include "core/border_loops.h"
#include "core/cut_tolerances.h"
#include "core/math.h"
#include "core/mesh.h"
#include <cstdint>
#include <utility>
#include <vector>

namespace quarnel {

// Points of the cut that JoinAtOnePlace joined none of, and the tolerance
// it looked for places with: alone[i] is 1 for vertex i when it is one of
// them. Empty when some were joined. separate tells whether GroupByPlace
// found each at a place of its own (else some that shared a place were
// kept apart).
struct PointsApart {
  std::vector<uint8_t> alone;
  double tolerance = 0.0;
  bool separate = false;
};

// Pairs of vertices.
using VertexLinks = std::vector<std::pair<const VertexT5*, const VertexT5*>>;

// Sets of the given vertices that stand at one place (within the place
// tolerance and the rounding of their coordinates, see GroupByPlace)
// become their first vertex in the array, unless joining a set would give
// an edge more than two faces, or two faces running an edge the same way,
// or two bodies' loops cross or run along one another there
// (KeepBodiesApart). A face that would get two corners in one place is a
// needle no wider than the rounding: it goes, with the corners that no
// other face uses. Returns whether any were joined: the face-face
// adjacency is then stale. Where none were joined, they are set in apart
// (when given). The ends of each link given (both
// among the points) are at one place too, however far apart their
// coordinates stand.
bool JoinAtOnePlace(MeshT5& mesh, const Plane3f& plane, std::vector<VertexT5*> points,
                    const CutTolerances& tolerances, PointsApart* apart = nullptr,
                    const VertexLinks* links = nullptr);

// The points of the loops, as JoinCutPointsAtOnePlace takes the corners of
// the border edges: those within the plane tolerance of the plane.
bool JoinLoopPointsAtOnePlace(MeshT5& mesh, const LoopWalks& walks, const Plane3f& plane,
                              const CutTolerances& tolerances, PointsApart& apart);

}  // namespace quarnel
