// Border loops of the editable mesh: the closed chains of edges that have
// no neighbour across them, found and walked through face-face adjacency.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
// steps[first[i] .. first[i + 1]). What later steps read of each step's
// face is read as the walk meets it, while the face is at hand: thirds[k]
// is the corner of step k's face off its edge, and ends[k] whether the
// step's point is its edge's second corner (f->v[(z + 1) % 3] == v); both
// run beside steps. points[k] is the position of step k's point, read
// when the loops' boxes are (as the point stood then).
struct LoopWalks {
  std::vector<FacePos> steps;
  std::vector<const VertexT5*> thirds;
  std::vector<uint8_t> ends;
  std::vector<Vec3f> points;
  std::vector<size_t> first;

  // Appends step p, whose face has its corners.
  void Push(const FacePos& p) {
    steps.push_back(p);
    thirds.push_back(p.f->v[(p.z + 2) % 3]);
    ends.push_back(p.f->v[(p.z + 1) % 3] == p.v);
  }
  // Appends step k of loop i (and what was read of it) as a step of a
  // loop to come, whose walk is closed by pushing its end on first.
  void Copy(size_t i, size_t k) {
    const size_t s = first[i] + k;
    const FacePos step = steps[s];
    const VertexT5* third = thirds[s];
    const uint8_t end = ends[s];
    const Vec3f point = points[s];
    steps.push_back(step), thirds.push_back(third), ends.push_back(end), points.push_back(point);
  }
  // Drops the steps from k on.
  void Cut(size_t k) {
    steps.resize(k), thirds.resize(k), ends.resize(k), points.resize(std::min(k, points.size()));
  }

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
