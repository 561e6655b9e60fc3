// Edits of the surface that the cap makes before it adds its faces.
#pragma once

#include "core/mesh.h"
#include <vector>

namespace quarnel {

// Deletes the faces, taking each out of the rings of its edges, and the
// corners that no other live face uses.
void DeleteFacesAndLoneCorners(MeshT5& mesh, const std::vector<FaceT5*>& faces,
                               bool detach = true);

}  // namespace quarnel
