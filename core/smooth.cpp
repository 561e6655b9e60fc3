#include "core/smooth.h"

namespace quarnel {

void SmoothVertices(MeshT5& mesh, int32_t iterations, bool selectedOnly) {
  SmoothAccumulators acc(mesh);
  const SmoothAccumulators::Record zero{};
  acc.Init(zero);
  for (int32_t it = 0; it < iterations; ++it) {
    for (auto& r : acc.records)
      r = zero;

    // Sums the neighbours across the edges whose border bit equals onBorder.
    auto accumulate = [&](bool onBorder) {
      for (FaceT5& f : mesh.faces) {
        if (!IsLive(f.flags)) continue;
        for (int z = 0; z < 3; ++z) {
          if (((f.flags & ElemFlag::Border(z)) != 0) != onBorder) continue;
          VertexT5* a = f.v[z];
          VertexT5* b = f.v[(z + 1) % 3];
          auto& ra = acc(a);
          auto& rb = acc(b);
          ra.sum += b->position;
          rb.sum += a->position;
          ra.count += 1.0f;
          rb.count += 1.0f;
        }
      }
    };
    accumulate(false);
    // A border vertex forgets its interior neighbours and is pulled along
    // the border only.
    ForEachBorderEdge(mesh, [&](FaceT5& f, int z) {
      acc(f.v[z]) = zero;
      acc(f.v[(z + 1) % 3]) = zero;
    });
    accumulate(true);

    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      VertexT5& v = mesh.vertices[i];
      const auto& r = acc.records[i];
      if (!IsLive(v.flags) || !(r.count > 0.0f)) continue;
      if (selectedOnly && !(v.flags & ElemFlag::Selected)) continue;
      v.position = r.sum * (1.0f / r.count);
    }
  }
}

}  // namespace quarnel
