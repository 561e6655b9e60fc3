// Faces of a mesh gathered into groups that no face-face link crosses. A
// piece is a set of faces joined by links, taken both ways; each group is
// made of whole pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// The faces of mesh, deleted or not, in up to `groups` groups, each made of
// the pieces whose first faces lie in one share of the face indices, its
// faces in ascending order. A null link or one to the face itself joins
// nothing. None when all faces are one piece, a link leads out of the face
// array or the array has 2^32 faces or more. Runs on threads.
std::vector<std::vector<uint32_t>> GroupFacePieces(const MeshT5& mesh, size_t groups);

}  // namespace quarnel
