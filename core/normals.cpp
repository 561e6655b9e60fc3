#include "core/normals.h"

namespace quarnel {

void FaceBorderFromFF(MeshT5& mesh) {
  FaceBorderFromFF(mesh, 0, mesh.faces.size());
}

void FaceBorderFromFF(MeshT5& mesh, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) {
    FaceT5& f = mesh.faces[i];
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      FaceT5* g = f.adjFace[z];
      int k = f.adjIndex[z];
      if (g == &f) {
        f.flags |= ElemFlag::Border(z);
      } else if (g == nullptr || k < 0 || k > 2 || g->adjFace[k] != &f) {
        f.flags |= ElemFlag::NonManifold(z);
      } else {
        f.flags &= ~ElemFlag::Border(z);
      }
    }
  }
}

void FaceBorderFromVF(MeshT5& mesh) {
  // Each list is walked at most once per live face, so a corrupt list can
  // never loop for ever.
  const size_t bound = mesh.faces.size();
  auto walk = [bound](VertexT5& c, auto&& visit) {
    FaceT5* f = c.vfFace;
    int k = c.vfCorner;
    for (size_t steps = 0; f != nullptr && k >= 0 && k < 3 && steps < bound; ++steps) {
      visit(f, k);
      FaceT5* nf = f->adjFace[k];
      k = f->adjIndex[k];
      f = nf;
    }
  };
  for (VertexT5& c : mesh.vertices) {
    if (c.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) continue;
    if (c.vfFace == nullptr) continue;
    walk(c, [](FaceT5* f, int k) {
      f->v[(k + 1) % 3]->flags &= ~ElemFlag::Visited;
      f->v[(k + 2) % 3]->flags &= ~ElemFlag::Visited;
    });
    walk(c, [](FaceT5* f, int k) {
      f->v[(k + 1) % 3]->flags ^= ElemFlag::Visited;
      f->v[(k + 2) % 3]->flags ^= ElemFlag::Visited;
    });
    walk(c, [&c](FaceT5* f, int k) {
      VertexT5* b = f->v[(k + 1) % 3];
      VertexT5* a = f->v[(k + 2) % 3];
      auto marked = [](const VertexT5* x) {
        return (x->flags & ElemFlag::Visited) && !(x->flags & ElemFlag::Excluded2);
      };
      if (std::less<>()(&c, b) && marked(b)) f->flags |= ElemFlag::Border(k);
      if (std::less<>()(&c, a) && marked(a)) f->flags |= ElemFlag::Border((k + 2) % 3);
    });
  }
}

}  // namespace quarnel
