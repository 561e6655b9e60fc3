#include "core/cap/surface_chords.h"

#include "core/parallel_for.h"
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

// What a range of faces holds: its spokes, sides between loop points and
// chords, in the order of the faces, the chords' ends, and what OldFaces
// tells of the faces (links asked as though no face came before them).
struct SurfaceChords::Found {
  std::vector<std::pair<uint64_t, size_t>> spokes;
  std::vector<uint64_t> uses, chords;
  std::vector<size_t> chordEnds;
  OldFaces links;
};

void SurfaceChords::Scan(size_t first, size_t end, const std::vector<uint8_t>& far,
                         Found& found) const {
  const FaceT5* const base = mesh_.faces.data();
  const size_t total = mesh_.faces.size();
  OldFaces& old = found.links;
  for (size_t i = first; i < end; ++i) {
    PrefetchAhead(base, i, total);
    // Only a live face's links are followed.
    if (i + 16 < total && IsLive(base[i + 16].flags)) PrefetchLinksBack(base[i + 16]);
    const FaceT5& f = base[i];
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      const size_t a = mesh_.VertexIndex(f.v[z]), b = mesh_.VertexIndex(f.v[(z + 1) % 3]);
      if ((onLoop_[a] && far[b]) || (far[a] && onLoop_[b]))
        found.spokes.push_back(
            {Key(f.v[z], f.v[(z + 1) % 3]), mesh_.VertexIndex(f.v[(z + 2) % 3])});
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
      if (!onLoop_[a] || !onLoop_[b]) continue;
      old.loopSides.push_back({uint32_t(i), uint32_t(z), uint32_t(a), uint32_t(b)});
      found.uses.push_back(Key(f.v[z], f.v[(z + 1) % 3]));
      if (f.adjFace[z] == &f) continue;
      found.chords.push_back(found.uses.back());
      found.chordEnds.push_back(a);
      found.chordEnds.push_back(b);
    }
    if (SharesAllEdges(f)) old.sharesAllEdges = true;
  }
}

void SurfaceChords::ReserveFor(const std::vector<Found>& found, OldFaces& old) {
  size_t spokes = 0, sides = 0, uses = 0, chords = 0;
  for (const Found& r : found) {
    spokes += r.spokes.size();
    sides += r.links.loopSides.size();
    uses += r.uses.size();
    chords += r.chords.size();
  }
  spokes_.reserve(spokes);
  old.loopSides.reserve(old.loopSides.size() + sides);
  uses_.reserve(uses);
  chords_.reserve(chords);
}

SurfaceChords::SurfaceChords(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                             const LoopWalks& walks, const std::vector<size_t>& chosen,
                             OldFaces& old)
    : mesh_(mesh), n_(mesh.vertices.size()), onLoop_(size_t(n_), 0) {
  for (const CapLoop& c : caps)
    for (const VertexT5* v : c.corners)
      onLoop_[mesh.VertexIndex(v)] = 1;
  // The third corners of the loops' faces, as the walks read them: the
  // loops' edges are the steps of the chosen walks.
  std::vector<uint8_t> far(size_t(n_), 0);
  for (size_t i : chosen)
    for (size_t k = walks.first[i]; k < walks.first[i + 1]; ++k)
      far[mesh.VertexIndex(walks.thirds[k])] = 1;
  // The faces are read range by range on threads of their own, and what
  // the ranges found is put together in their order: the links of a range
  // count only while those before it all link back.
  const std::vector<Found> found =
      ParallelCollect(mesh.faces.size(), [&](size_t first, size_t end) {
        Found r;
        Scan(first, end, far, r);
        return r;
      });
  ReserveFor(found, old);
  for (const Found& r : found) {
    spokes_.insert(spokes_.end(), r.spokes.begin(), r.spokes.end());
    old.loopSides.insert(old.loopSides.end(), r.links.loopSides.begin(), r.links.loopSides.end());
    uses_.insert(uses_.end(), r.uses.begin(), r.uses.end());
    chords_.insert(chords_.end(), r.chords.begin(), r.chords.end());
    for (size_t v : r.chordEnds)
      onLoop_[v] = 2;
    if (old.linksBack) old.rings = old.rings || r.links.rings, old.linksBack = r.links.linksBack;
    old.sharesAllEdges = old.sharesAllEdges || r.links.sharesAllEdges;
  }
  std::sort(chords_.begin(), chords_.end());
}

}  // namespace quarnel
