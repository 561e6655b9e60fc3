// Border loops of the editable mesh: the closed chains of edges that have
// no neighbour across them, found and walked through face-face adjacency.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/math.h"
#include "core/mesh.h"
#include "core/topology.h"

namespace quarnel {

struct BorderLoop {
  FaceT5* startFace = nullptr;
  int startEdge = 0;
  VertexT5* startVertex = nullptr;  // corner startEdge of startFace
  int edgeCount = 0;                // border edges walked around the loop
  BBox3f box;                       // of the loop's vertices without 0x2

  FacePos Start() const { return FacePos(startFace, startEdge, startVertex); }
};

// The walks around border loops, each walked once for all that is asked of
// the loops: loop i's steps, its start first and then each border step
// (FacePos::NextBorder) up to the one back at the start, are
// steps[first[i] .. first[i + 1]).
struct LoopWalks {
  std::vector<FacePos> steps;
  std::vector<size_t> first;

  std::span<const FacePos> Of(size_t i) const {
    return {steps.data() + first[i], first[i + 1] - first[i]};
  }
};

// Appends one record per closed border loop, each found from the first face
// in array order that carries one of its edges. Needs face-face adjacency;
// leaves ElemFlag::Visited on the faces walked. A walk that does not come
// back to its start within three times the face count (non-manifold border
// vertices) is dropped.
void CollectBorderLoops(MeshT5& mesh, std::vector<BorderLoop>& out);

// CollectBorderLoops; with walks, also sets walks to each appended loop's
// walk, in the order of the records.
void CollectLoops(MeshT5& mesh, std::vector<BorderLoop>& out, LoopWalks* walks);

// Length of the border loop through start; the walk gives up after maxSteps
// border edges and returns the length summed so far.
double BorderLoopLength(const FacePos& start, size_t maxSteps);

}  // namespace quarnel
