#include "core/cap/surface_chords.h"

#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// Whether side z of f and side k of g join the same two vertices.
bool SameEdge(const FaceT5& f, int z, const FaceT5& g, int k) {
  const VertexT5 *a = f.v[z], *b = f.v[(z + 1) % 3], *c = g.v[k], *d = g.v[(k + 1) % 3];
  return (a == c && b == d) || (a == d && b == c);
}

}  // namespace

SurfaceChords::SurfaceChords(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                             OldFaces& old)
    : mesh_(mesh), n_(mesh.vertices.size()), onLoop_(size_t(n_), 0) {
  std::vector<uint8_t> far(size_t(n_), 0);  // third corners of the loops' faces
  for (const CapLoop& c : caps) {
    for (const VertexT5* v : c.corners)
      onLoop_[mesh.VertexIndex(v)] = 1;
    for (const FacePos& e : c.edges)
      far[mesh.VertexIndex(e.f->v[(e.z + 2) % 3])] = 1;
  }
  const FaceT5* const base = mesh.faces.data();
  const size_t total = mesh.faces.size();
  for (size_t i = 0; i < total; ++i) {
    PrefetchAhead(base, i, total);
    // Only a live face's links are followed.
    if (i + 16 < total && IsLive(base[i + 16].flags)) PrefetchLinksBack(base[i + 16]);
    const FaceT5& f = base[i];
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      const size_t a = mesh.VertexIndex(f.v[z]), b = mesh.VertexIndex(f.v[(z + 1) % 3]);
      if ((onLoop_[a] && far[b]) || (far[a] && onLoop_[b]))
        spokes_.push_back({Key(f.v[z], f.v[(z + 1) % 3]), mesh.VertexIndex(f.v[(z + 2) % 3])});
      const FaceT5* g = f.adjFace[z];
      if (g != &f && old.linksBack) {
        const int k = f.adjIndex[z];
        old.linksBack = g >= base && g < base + total && ValidCorner(k);
        if (old.linksBack && (g->adjFace[k] != &f || g->adjIndex[k] != z)) {
          // An edge of three or more faces: its ring goes on to a face on the same edge.
          old.rings = true;
          old.linksBack = SameEdge(f, z, *g, k);
        }
      }
      if (onLoop_[mesh.VertexIndex(f.v[z])] && onLoop_[mesh.VertexIndex(f.v[(z + 1) % 3])]) {
        old.loopSides.push_back({uint32_t(i), uint32_t(z), uint32_t(mesh.VertexIndex(f.v[z])),
                                 uint32_t(mesh.VertexIndex(f.v[(z + 1) % 3]))});
        uses_.push_back(Key(f.v[z], f.v[(z + 1) % 3]));
        if (f.adjFace[z] == &f) continue;
        chords_.push_back(uses_.back());
        onLoop_[mesh.VertexIndex(f.v[z])] = onLoop_[mesh.VertexIndex(f.v[(z + 1) % 3])] = 2;
      }
    }
    if (SharesAllEdges(f)) old.sharesAllEdges = true;
  }
  std::sort(chords_.begin(), chords_.end());
}

}  // namespace quarnel
