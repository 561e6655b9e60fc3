// Edge-flip optimisers of the editable mesh. Both need current face-face
// adjacency and unit face normals; both keep the adjacency consistent and
// recompute the normals of the faces they flip.
#pragma once

#include <cstdint>

#include "core/mesh.h"

namespace quarnel {

// One pass over the faces: flips an edge when that lowers the largest
// dihedral angle among the five edges of its quadrilateral. Changes nothing
// and returns 0 when the face-face topology is not clean. Returns the number
// of flips.
int32_t OptimizeCurvature(MeshT5& mesh, bool selectedOnly);

// One pass over the faces: flips an edge between two nearly coplanar faces
// (normals within one degree) when the other diagonal gives better shaped
// triangles. Returns the number of flips.
int32_t FlipCoplanarEdges(MeshT5& mesh, float angle, bool selectedOnly);

}  // namespace quarnel
