#include "core/incremental_adjacency.h"

#include <algorithm>

#include "core/prefetch.h"

namespace quarnel {

bool LinkAddedFaces(MeshT5& mesh, size_t first, const OldFaces& old, bool& maybeDuplicates) {
  const size_t faceTotal = mesh.faces.size();
  const size_t vertexTotal = mesh.vertices.size();
  if (first > faceTotal || faceTotal > size_t(INT32_MAX) || vertexTotal > size_t(INT32_MAX))
    return false;
  if (!old.linksBack) return false;
  FaceT5* const base = mesh.faces.data();
  const VertexT5* const vbase = mesh.vertices.data();
  maybeDuplicates = old.sharesAllEdges || old.rings;
  // The corners of the added faces, numbered: only an edge between two of
  // them can be shared with an added face.
  std::vector<int32_t> id(vertexTotal, -1);
  int32_t corners = 0;
  struct Use {
    int32_t lo, hi;  // corner numbers of the edge's ends, lo <= hi
    int32_t face;
    int32_t z;
  };
  std::vector<Use> uses;
  uses.reserve(3 * (faceTotal - first) + old.loopSides.size());
  auto add = [&](int32_t a, int32_t b, size_t face, int z) {
    if (a >= 0 && b >= 0) uses.push_back({std::min(a, b), std::max(a, b), int32_t(face), z});
  };
  // The added faces' corners are numbered as they come, and their edges
  // listed; then the old faces' sides between two of those corners. (The
  // order of the uses of one edge does not matter: there are at most two,
  // and each is linked to the other.)
  for (size_t i = first; i < faceTotal; ++i) {
    PrefetchAhead(base, i, faceTotal);
    int32_t k[3];
    for (int c = 0; c < 3; ++c) {
      const VertexT5* v = base[i].v[c];
      if (v < vbase || v >= vbase + vertexTotal) return false;
      int32_t& known = id[size_t(v - vbase)];
      if (known < 0) known = corners++;
      k[c] = known;
    }
    for (int z = 0; z < 3; ++z)
      add(k[z], k[(z + 1) % 3], i, z);
  }
  for (const OldFaces::Side& side : old.loopSides)
    if (side.face < first) add(id[side.from], id[side.to], side.face, int(side.z));
  // Grouped by edge: counted out by the lower end, then sorted by the
  // other end within each (short) run.
  std::vector<uint32_t> start(size_t(corners) + 1, 0);
  for (const Use& u : uses)
    ++start[size_t(u.lo) + 1];
  for (size_t c = 0; c < size_t(corners); ++c)
    start[c + 1] += start[c];
  std::vector<Use> sorted(uses.size());
  {
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (const Use& u : uses)
      sorted[at[size_t(u.lo)]++] = u;
  }
  for (size_t c = 0; c < size_t(corners); ++c)
    std::sort(sorted.begin() + start[c], sorted.begin() + start[c + 1],
              [](const Use& a, const Use& b) { return a.hi < b.hi; });
  // Each edge of an added face: alone, or with one other use.
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i + 1;
    while (j < sorted.size() && sorted[j].lo == sorted[i].lo && sorted[j].hi == sorted[i].hi) ++j;
    if (j - i > 2) return false;
    i = j;
  }
  for (size_t i = 0; i < sorted.size();) {
    // The faces linked lie anywhere in the array: fetched a few uses ahead.
    if (i + 16 < sorted.size()) Prefetch(&base[sorted[i + 16].face].adjFace[sorted[i + 16].z]);
    size_t j = i + 1;
    while (j < sorted.size() && sorted[j].lo == sorted[i].lo && sorted[j].hi == sorted[i].hi) ++j;
    const bool added = size_t(sorted[i].face) >= first || size_t(sorted[j - 1].face) >= first;
    if (added) {
      for (size_t k = i; k < j; ++k) {
        const Use& next = k + 1 < j ? sorted[k + 1] : sorted[i];
        FaceT5& f = base[sorted[k].face];
        f.adjFace[sorted[k].z] = &base[next.face];
        f.adjIndex[sorted[k].z] = int8_t(next.z);
      }
    }
    i = j;
  }
  for (size_t i = first; i < faceTotal; ++i)
    if (SharesAllEdges(base[i])) maybeDuplicates = true;
  return true;
}

}  // namespace quarnel
