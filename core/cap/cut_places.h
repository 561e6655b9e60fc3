// The places of the cut: the points of the loops numbered by place, each
// place of one body.
#pragma once

#include "core/cap/cap_loop.h"
#include "core/cap/join_places.h"
#include "core/cut_tolerances.h"
#include "core/mesh.h"
#include <cstdint>
#include <vector>

namespace quarnel {

// The places of the loops' points (see GroupByPlace): each loop's places,
// and per place its point in the plane and its first vertex.
struct CutPlaces {
  std::vector<Point2d> at;
  std::vector<VertexT5*> vertex;
  std::vector<double> rounding;  // OwnRounding of the vertex
  double shape = 0.0;             // the model's ShapeRounding
};

// Where the join check found the corners apart with this tolerance (none
// met twice, or no two distinct ones at one place), each vertex is a place
// of its own: they have not moved since, and of fewer points no two come
// nearer. Otherwise the places are grouped afresh.
// Points of different bodies (body, per loop) are never one place.
CutPlaces NumberPlaces(const MeshT5& mesh, std::vector<CapLoop>& caps,
                       const CutTolerances& tolerances, const PointsApart& apart,
                       const std::vector<uint32_t>& body);

}  // namespace quarnel
