// What the cap adds, planned before the mesh changes.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"
#include "core/plane_tessellation.h"

namespace quarnel {

// A border edge of a loop as the cap runs it, from place p to place q:
// edge z of face f.
struct CapSide {
  uint32_t p, q;
  FaceT5* f;
  int z;
};

// What the cap adds: triangles as place triples in the turn of the faces,
// the points it makes where loops cross (numbered on from the places), and
// the border edges on which it puts points of its own, so that the faces
// there are split at them.
struct CapPlan {
  std::vector<uint32_t> triangles;
  std::vector<ContourCrossing> crossings;
  // The part of the face beyond each point (towards corner z + 1) starts
  // at ahead's point: the point itself, or where the surface crosses itself
  // there, a second point at its place (ahead empty: all the points).
  struct Split {
    FaceT5* f;
    int z;
    std::vector<uint32_t> points;
    std::vector<uint32_t> ahead;
  };
  std::vector<Split> splits;
};

}  // namespace quarnel
