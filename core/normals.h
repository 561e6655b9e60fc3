// Derived per-mesh data: face and vertex normals, the bounding box of the
// live vertices, the surface area and the border-edge bits of the faces.
#pragma once

#include <algorithm>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// normal = (V1 - V0) x (V2 - V0) of one face; made unit length when
// normalize is set and the normal is not zero.
template <class F>
void ComputeFaceNormal(F& f, bool normalize) {
  Vec3f n;
  Vec3f::Cross(f.v[1]->position - f.v[0]->position, n, f.v[2]->position - f.v[0]->position);
  if (normalize) n.Normalize();
  f.normal = n;
}

// ComputeFaceNormal for every face that is not deleted.
template <class MeshT>
void ComputeFaceNormals(MeshT& mesh, bool normalize) {
  for (auto& f : mesh.faces)
    if (IsLive(f.flags)) ComputeFaceNormal(f, normalize);
}

// Sum of the (current) face normals around each vertex; unit length when
// normalize is set.
template <class MeshT>
void ComputeVertexNormals(MeshT& mesh, bool normalize) {
  for (auto& v : mesh.vertices)
    if (IsLiveIncluded(v.flags)) v.normal = Vec3f(0, 0, 0);
  for (auto& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) continue;
    for (auto* v : f.v)
      if (IsLiveIncluded(v->flags)) v->normal += f.normal;
  }
  if (normalize)
    for (auto& v : mesh.vertices)
      if (IsLiveIncluded(v.flags)) v.normal.Normalize();
}

// Box of the vertices that are neither deleted nor excluded; null when none.
template <class MeshT>
void UpdateBoundingBox(MeshT& mesh) {
  mesh.bbox.SetNull();
  for (auto& v : mesh.vertices)
    if (IsLiveIncluded(v.flags)) mesh.bbox.Add(v.position);
}

template <class MeshT>
double SurfaceArea(const MeshT& mesh) {
  double sum = 0.0;
  for (auto& f : mesh.faces)
    if (IsLive(f.flags)) sum += DoubleArea(f);
  return 0.5 * sum;
}

// Border bits from face-face adjacency: an edge whose slot points to its own
// face is a border; a neighbour that does not link back marks the edge
// non-manifold and leaves its border bit alone.
void FaceBorderFromFF(MeshT5& mesh);

// FaceBorderFromFF on the faces from index begin to end: a face's bits are
// read from its own links and its neighbours' links only, so ranges of
// faces may be set at once on separate threads.
void FaceBorderFromFF(MeshT5& mesh, size_t begin, size_t end);

// Border bits from vertex-face lists: an edge used by an odd number of faces
// is marked. Only sets bits.
void FaceBorderFromVF(MeshT5& mesh);

// Border bits without adjacency, from a sorted list of the edges: edges of one
// face, and edges of more than two faces, are borders.
template <class MeshT>
void FaceBorderFromEdgeList(MeshT& mesh) {
  using F = typename MeshT::FaceType;
  using V = typename MeshT::VertexType;
  if (mesh.faceCount == 0) return;
  struct Rec {
    const V* lo;
    const V* hi;
    F* face;
    int z;
  };
  std::vector<Rec> recs;
  recs.reserve(size_t(mesh.faceCount) * 3);
  for (auto& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    f.flags &= ~ElemFlag::BorderAll;
    for (int z = 0; z < 3; ++z) {
      const V* a = f.v[z];
      const V* b = f.v[(z + 1) % 3];
      if (std::less<>()(b, a)) std::swap(a, b);
      recs.push_back({a, b, &f, z});
    }
  }
  std::sort(recs.begin(), recs.end(), [](const Rec& x, const Rec& y) {
    if (x.lo != y.lo) return std::less<>()(x.lo, y.lo);
    return std::less<>()(x.hi, y.hi);
  });
  for (size_t i = 0; i < recs.size();) {
    size_t j = i + 1;
    while (j < recs.size() && recs[j].lo == recs[i].lo && recs[j].hi == recs[i].hi) ++j;
    if (j - i != 2)
      for (size_t k = i; k < j; ++k) recs[k].face->flags |= ElemFlag::Border(recs[k].z);
    i = j;
  }
}

}  // namespace quarnel
