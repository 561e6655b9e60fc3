#include "core/cap/surface_edits.h"

#include "core/topology.h"

namespace quarnel {

void DeleteFacesAndLoneCorners(MeshT5& mesh, const std::vector<FaceT5*>& faces,
                               bool detach) {
  if (faces.empty()) return;
  const size_t bound = 3 * mesh.faces.size();
  for (FaceT5* f : faces) {
    for (int z = 0; z < 3 && detach; ++z)
      if (f->adjFace[z] != f && f->adjFace[z] != nullptr) DetachFaceFromRing(f, z, bound);
    f->flags |= ElemFlag::Deleted;
    --mesh.faceCount;
  }
  std::vector<uint8_t> used(mesh.vertices.size(), 0);
  for (const FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (const VertexT5* v : f.v)
        used[mesh.VertexIndex(v)] = 1;
  for (FaceT5* f : faces)
    for (VertexT5* v : f->v)
      if (!used[mesh.VertexIndex(v)] && IsLive(v->flags)) {
        v->flags |= ElemFlag::Deleted;
        --mesh.vertexCount;
      }
}

}  // namespace quarnel
