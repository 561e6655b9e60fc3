// Uniform Laplacian smoothing of the editable mesh.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// Per-vertex scratch of one smoothing call: the sum of the neighbours'
// positions and their number, one record per vertex record (deleted ones
// included), indexed by the vertex's place in the array.
struct SmoothAccumulators {
  struct Record {
    Vec3f sum;
    float count = 0.0f;
  };

  explicit SmoothAccumulators(MeshT5& m) : mesh(m) {}
  // One copy of initial per vertex record.
  void Init(const Record& initial) { records.assign(mesh.vertices.size(), initial); }
  Record& operator()(const VertexT5* v) { return records[mesh.VertexIndex(v)]; }

  MeshT5& mesh;
  std::vector<Record> records;
};

// Moves each vertex, `iterations` times, to the average of its edge
// neighbours; a vertex on a border edge to the average of its neighbours
// along border edges only, so an open boundary keeps its place. With
// selectedOnly only selected vertices move. Needs current border bits; all
// sums of one iteration are taken from the positions at its start.
void SmoothVertices(MeshT5& mesh, int32_t iterations, bool selectedOnly);

}  // namespace quarnel
