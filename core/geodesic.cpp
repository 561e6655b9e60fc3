#include "core/geodesic.h"

#include <algorithm>
#include <vector>

#include "core/normals.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// Marks a vertex that no path has reached yet.
constexpr float kUnreached = -1.0f;

struct HeapEntry {
  float distance;
  VertexT5* vertex;
};

// std::push_heap keeps the largest on top; this puts the nearest there.
bool Farther(const HeapEntry& a, const HeapEntry& b) {
  return a.distance > b.distance;
}

}  // namespace

void GeodesicDistanceFromBorder(MeshT5& mesh, bool setFaceQuality) {
  BuildVertexFaceAdjacency(mesh);
  FaceBorderFromVF(mesh);

  for (VertexT5& v : mesh.vertices)
    v.quality = kUnreached;

  // All seeds have key 0, so the array is a valid heap as it is filled.
  std::vector<HeapEntry> heap;
  ForEachBorderEdge(mesh, [&](FaceT5& f, int z) {
    for (VertexT5* v : {f.v[z], f.v[(z + 1) % 3]}) {
      if (v->quality != kUnreached) continue;
      v->quality = 0.0f;
      heap.push_back({0.0f, v});
    }
  });

  const double tolerance = Distance(mesh.bbox.min, mesh.bbox.max) * double(1e-5f);
  // Each vertex-face list holds at most one entry per face.
  const size_t maxListLength = mesh.faces.size();

  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), Farther);
    const HeapEntry top = heap.back();
    heap.pop_back();
    VertexT5* u = top.vertex;
    if (top.distance != u->quality) continue;  // stale: u was reached again, nearer

    FaceT5* f = u->vfFace;
    int c = u->vfCorner;
    for (size_t steps = 0; f != nullptr && c >= 0 && c < 3 && steps < maxListLength; ++steps) {
      for (int k : {(c + 1) % 3, (c + 2) % 3}) {
        VertexT5* w = f->v[k];
        const double d = Distance(u->position, w->position);
        if (w->quality == kUnreached || double(u->quality) + tolerance + d < double(w->quality)) {
          w->quality = float(double(u->quality) + d);
          heap.push_back({w->quality, w});
          std::push_heap(heap.begin(), heap.end(), Farther);
        }
      }
      FaceT5* next = f->adjFace[c];
      c = f->adjIndex[c];
      f = next;
    }
  }

  for (VertexT5& v : mesh.vertices)
    if (v.quality == kUnreached) v.quality = 0.0f;

  if (setFaceQuality)
    for (FaceT5& f : mesh.faces)
      if (IsLive(f.flags))
        f.quality = (f.v[0]->quality + f.v[1]->quality + f.v[2]->quality) * 0.33333334f;
}

}  // namespace quarnel
