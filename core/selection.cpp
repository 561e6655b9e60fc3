#include "core/selection.h"

#include <vector>

namespace quarnel {

namespace {

// Runs op on the flags word of every live, non-excluded element of the kind.
// Returns false for an unknown kind.
template <class Op>
bool ForEachSelectable(MeshT5& mesh, int32_t kind, Op op) {
  auto visit = [&](auto& records) {
    for (auto& r : records)
      if (!(r.flags & (ElemFlag::Deleted | ElemFlag::Excluded))) op(r.flags);
  };
  if (kind == SelectKind::Faces)
    visit(mesh.faces);
  else if (kind == SelectKind::Vertices)
    visit(mesh.vertices);
  else
    return false;
  return true;
}

}  // namespace

int32_t SelectAll(MeshT5& mesh, int32_t kind) {
  if (!ForEachSelectable(mesh, kind, [](uint32_t& fl) { fl |= ElemFlag::Selected; })) return 0;
  return kind == SelectKind::Faces ? mesh.faceCount : mesh.vertexCount;
}

int32_t ClearSelection(MeshT5& mesh, int32_t kind) {
  ForEachSelectable(mesh, kind, [](uint32_t& fl) { fl &= ~ElemFlag::Selected; });
  return 0;
}

int32_t InvertSelection(MeshT5& mesh, int32_t kind) {
  int32_t count = 0;
  ForEachSelectable(mesh, kind, [&](uint32_t& fl) {
    fl ^= ElemFlag::Selected;
    if (fl & ElemFlag::Selected) ++count;
  });
  return count;
}

void SelectVerticesInsideSelectedFaces(MeshT5& mesh) {
  SelectAll(mesh, SelectKind::Vertices);
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded | ElemFlag::Selected)) continue;
    for (VertexT5* v : f.v)
      v->flags &= ~ElemFlag::Selected;
  }
}

int32_t SelectConnectedComponent(MeshT5& mesh, FaceT5* start) {
  if (start == nullptr) return 0;
  for (FaceT5& f : mesh.faces)
    f.flags &= ~ElemFlag::Visited;
  const uint32_t mark = ElemFlag::Visited | ElemFlag::Selected;
  start->flags |= mark;
  int32_t count = 1;
  // The visited bit bounds the fill: every face is pushed at most once.
  std::vector<FaceT5*> stack{start};
  while (!stack.empty()) {
    FaceT5* f = stack.back();
    stack.pop_back();
    for (int z = 0; z < 3; ++z) {
      FaceT5* n = f->adjFace[z];
      // A null slot is the end of a vertex-face list, not a neighbour.
      if (n == nullptr || n == f || (n->flags & ElemFlag::Visited)) continue;
      n->flags |= mark;
      ++count;
      stack.push_back(n);
    }
  }
  return count;
}

}  // namespace quarnel
