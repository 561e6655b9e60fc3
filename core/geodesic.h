// Distance along the mesh edges from every vertex to the mesh border.
#pragma once

#include "core/mesh.h"

namespace quarnel {

// Dijkstra over the edges, seeded with every border vertex; the distance goes
// to the vertex quality (0 for vertices the border cannot reach, and for all
// vertices of a closed mesh). With setFaceQuality every live face gets the
// mean of its corners. Needs a current bbox (it scales the tolerance below
// which a shorter path is not taken); builds vertex-face lists and border bits
// itself and leaves the vertex-face lists in the adjacency slots.
void GeodesicDistanceFromBorder(MeshT5& mesh, bool setFaceQuality);

}  // namespace quarnel
