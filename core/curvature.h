// Scalar fields over the vertices of the editable mesh, written into the
// vertex quality: the discrete Gaussian curvature, and Laplacian smoothing
// of whatever the quality holds.
#pragma once

#include <cstdint>

#include "core/mesh.h"

namespace quarnel {

// The angle deficit of each live vertex over its mixed (Voronoi) area, with
// the border angle taken off border vertices, clamped to [-0.05, 0.05].
// Rebuilds face-face adjacency and the border bits first, so the result does
// not depend on what earlier commands left in the adjacency slots.
void GaussianCurvature(MeshT5& mesh);

// Moves each vertex's quality, `iterations` times, to the average of its edge
// neighbours' (along border edges only for border vertices), like
// SmoothVertices does with positions. Needs current border bits.
void SmoothVertexQuality(MeshT5& mesh, int32_t iterations, bool selectedOnly);

}  // namespace quarnel
