#include "core/topology.h"

#include <algorithm>
#include <vector>

namespace quarnel {

namespace {

struct EdgeRecord {
  VertexT5* lo;
  VertexT5* hi;
  FaceT5* face;
  int z;
  bool operator<(const EdgeRecord& o) const {
    if (lo != o.lo) return std::less<>()(lo, o.lo);
    return std::less<>()(hi, o.hi);
  }
  bool SameEdge(const EdgeRecord& o) const { return lo == o.lo && hi == o.hi; }
};

}  // namespace

void BuildFaceFaceAdjacency(MeshT5& mesh) {
  if (mesh.faceCount == 0) return;
  std::vector<EdgeRecord> edges;
  edges.reserve(size_t(mesh.faceCount) * 3);
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      VertexT5* a = f.v[z];
      VertexT5* b = f.v[(z + 1) % 3];
      if (std::less<>()(b, a)) std::swap(a, b);
      edges.push_back({a, b, &f, z});
    }
  }
  std::sort(edges.begin(), edges.end());
  for (size_t i = 0; i < edges.size();) {
    size_t j = i + 1;
    while (j < edges.size() && edges[j].SameEdge(edges[i])) ++j;
    for (size_t k = i; k < j; ++k) {
      const EdgeRecord& next = (k + 1 < j) ? edges[k + 1] : edges[i];
      edges[k].face->adjFace[edges[k].z] = next.face;
      edges[k].face->adjIndex[edges[k].z] = int8_t(next.z);
    }
    i = j;
  }
}

void BuildVertexFaceAdjacency(MeshT5& mesh) {
  for (VertexT5& v : mesh.vertices) {
    v.vfFace = nullptr;
    v.vfCorner = 0;
  }
  for (FaceT5& f : mesh.faces) {
    if (!IsLiveIncluded(f.flags)) continue;
    for (int i = 0; i < 3; ++i) {
      VertexT5* v = f.v[i];
      f.adjFace[i] = v->vfFace;
      f.adjIndex[i] = int8_t(v->vfCorner);
      v->vfFace = &f;
      v->vfCorner = i;
    }
  }
}

bool DetachFaceFromRing(FaceT5* f, int z, size_t maxSteps) {
  FaceT5* g = f->adjFace[z];
  int k = f->adjIndex[z];
  size_t steps = 0;
  while (g != nullptr && ValidCorner(k) && g->adjFace[k] != f) {
    if (++steps > maxSteps) return false;
    FaceT5* ng = g->adjFace[k];
    k = g->adjIndex[k];
    g = ng;
  }
  if (g == nullptr || !ValidCorner(k)) return false;
  g->adjFace[k] = f->adjFace[z];
  g->adjIndex[k] = f->adjIndex[z];
  f->adjFace[z] = f;
  f->adjIndex[z] = int8_t(z);
  g->flags |= ElemFlag::Detached;
  f->flags |= ElemFlag::Detached;
  return true;
}

int DetachNonManifoldEdges(MeshT5& mesh) {
  int count = 0;
  const size_t bound = mesh.faces.size() + 1;
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) continue;
    for (int z = 0; z < 3; ++z) {
      FaceT5* g = f.adjFace[z];
      int k = f.adjIndex[z];
      if (g == &f || g == nullptr || !ValidCorner(k)) continue;
      if (g->adjFace[k] != &f) {
        if (DetachFaceFromRing(&f, z, bound)) ++count;
      }
    }
  }
  return count;
}

uint32_t CheckFaceFaceTopology(const MeshT5& mesh) {
  using namespace TopologyProblem;
  uint32_t mask = 0;
  for (const FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    if (HasCornerTwice(f)) {
      mask |= DegenerateFace;
      continue;
    }
    for (int z = 0; z < 3; ++z) {
      const FaceT5* g = f.adjFace[z];
      int k = f.adjIndex[z];
      if (g == &f) continue;
      if (g == nullptr || !ValidCorner(k)) {
        mask |= OpenRing;
        continue;
      }
      if (g->adjFace[k] != &f) {
        // A ring: walk it, one step per member, for at most 100 steps.
        const FaceT5* c = g;
        int ck = k;
        bool closed = false;
        for (int steps = 0; steps < 100; ++steps) {
          const FaceT5* n = c->adjFace[ck];
          int nk = c->adjIndex[ck];
          if (n == nullptr || !ValidCorner(nk)) break;
          c = n;
          ck = nk;
          if (c == &f) {
            closed = true;
            break;
          }
        }
        if (!closed)
          mask |= OpenRing;
        else
          mask |= (ck == z) ? NonManifoldRing : OpenRing;
        continue;
      }
      if (f.flags & ElemFlag::Border(z)) mask |= BorderWithNeighbour;
      if (g->adjIndex[k] != z)
        mask |= BackIndex;
      else if (g->v[k] != f.v[(z + 1) % 3])
        mask |= VertexMismatch1;
      else if (g->v[(k + 1) % 3] != f.v[z])
        mask |= VertexMismatch2;
    }
  }
  return mask;
}

bool FlipEdge(FaceT5* f, int z) {
  if (!ValidCorner(z)) return false;
  FaceT5* g = f->adjFace[z];
  int w = f->adjIndex[z];
  if (g == nullptr || g == f || !ValidCorner(w) || g->adjFace[w] != f || g->adjIndex[w] != z)
    return false;
  // The two faces must run through the shared edge in opposite directions.
  if (g->v[w] != f->v[(z + 1) % 3] || g->v[(w + 1) % 3] != f->v[z]) return false;
  const int z1 = (z + 1) % 3, z2 = (z + 2) % 3;
  const int w1 = (w + 1) % 3, w2 = (w + 2) % 3;

  // A corner moves with everything stored for it: its vertex and its
  // wedge's texture coordinate.
  f->v[z1] = g->v[w2];
  f->wedge[z1] = g->wedge[w2];
  g->v[w1] = f->v[z2];
  g->wedge[w1] = f->wedge[z2];

  f->adjFace[z] = g->adjFace[w1];
  f->adjIndex[z] = g->adjIndex[w1];
  g->adjFace[w] = f->adjFace[z1];
  g->adjIndex[w] = f->adjIndex[z1];

  f->adjFace[z1] = g;
  f->adjIndex[z1] = int8_t(w1);
  g->adjFace[w1] = f;
  g->adjIndex[w1] = int8_t(z1);

  // Re-link the outer neighbour of edge k of a to a, which now owns that
  // edge; an edge that faced the other face of the pair becomes a border.
  auto relink = [](FaceT5* a, int k, const FaceT5* other) {
    if (a->adjFace[k] == other) {
      a->adjFace[k] = a;
      a->adjIndex[k] = int8_t(k);
      return;
    }
    FaceT5* n = a->adjFace[k];
    const int nk = a->adjIndex[k];
    if (ValidCorner(nk)) {
      n->adjFace[nk] = a;
      n->adjIndex[nk] = int8_t(k);
    }
  };
  relink(f, z, g);
  relink(g, w, f);
  return true;
}

bool FacePos::NextBorder(size_t maxSteps) {
  FacePos p = *this;
  for (size_t steps = 0; steps < maxSteps; ++steps) {
    p.FlipE();
    p.FlipF();
    if (!ValidCorner(p.z) || p.f == nullptr) return false;
    if (p.IsBorder()) {
      p.FlipV();
      *this = p;
      return true;
    }
  }
  return false;
}

}  // namespace quarnel
