#include "core/incremental_adjacency.h"

#include <algorithm>

#include "core/prefetch.h"

namespace quarnel {

namespace {

// A side of a face, between two numbered corners.
struct Use {
  int32_t lo, hi;  // corner numbers of the edge's ends, lo <= hi
  int32_t face;
  int32_t z;
};

// The sides of faces between numbered corners (numbers from 0 to
// corners - 1, by vertex index in id), to be linked by edge.
struct Uses {
  std::vector<int32_t> id;
  int32_t corners = 0;
  std::vector<Use> list;

  explicit Uses(size_t vertexTotal) : id(vertexTotal, -1) {}

  // Numbers the corners of face i (not yet numbered) and lists its sides;
  // false where a corner lies outside the vertex array.
  bool AddFace(const MeshT5& mesh, size_t i) {
    const VertexT5* const vbase = mesh.vertices.data();
    int32_t k[3];
    for (int c = 0; c < 3; ++c) {
      const VertexT5* v = mesh.faces[i].v[c];
      if (v < vbase || v >= vbase + id.size()) return false;
      int32_t& known = id[size_t(v - vbase)];
      if (known < 0) known = corners++;
      k[c] = known;
    }
    for (int z = 0; z < 3; ++z)
      Add(k[z], k[(z + 1) % 3], i, z);
    return true;
  }
  // Lists the side from vertex a to b of face i, where both are numbered.
  void AddSide(size_t a, size_t b, size_t i, int z) {
    if (a < id.size() && b < id.size()) Add(id[a], id[b], i, z);
  }

  // The sides grouped by edge: counted out by the lower end, then sorted
  // by the other end within each (short) run.
  std::vector<Use> ByEdge() const {
    std::vector<uint32_t> start(size_t(corners) + 1, 0);
    for (const Use& u : list)
      ++start[size_t(u.lo) + 1];
    for (size_t c = 0; c < size_t(corners); ++c)
      start[c + 1] += start[c];
    std::vector<Use> sorted(list.size());
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (const Use& u : list)
      sorted[at[size_t(u.lo)]++] = u;
    for (size_t c = 0; c < size_t(corners); ++c)
      std::sort(sorted.begin() + start[c], sorted.begin() + start[c + 1],
                [](const Use& a, const Use& b) { return a.hi < b.hi; });
    return sorted;
  }

 private:
  void Add(int32_t a, int32_t b, size_t face, int z) {
    if (a >= 0 && b >= 0) list.push_back({std::min(a, b), std::max(a, b), int32_t(face), z});
  }
};

// The end of the run of sorted uses of one edge that starts at i.
size_t EdgeEnd(const std::vector<Use>& sorted, size_t i) {
  size_t j = i + 1;
  while (j < sorted.size() && sorted[j].lo == sorted[i].lo && sorted[j].hi == sorted[i].hi)
    ++j;
  return j;
}

// Links the faces of each edge (the uses sorted by edge) into a ring, as a
// build would, where one of them is new (isNew(face)). False, linking
// nothing, where an edge has three uses or more, and anyRing or one of
// them is new.
template <class IsNew>
bool LinkByEdge(MeshT5& mesh, const std::vector<Use>& sorted, bool anyRing, IsNew&& isNew) {
  auto anyNew = [&](size_t i, size_t j) {
    for (size_t k = i; k < j; ++k)
      if (isNew(size_t(sorted[k].face))) return true;
    return false;
  };
  for (size_t i = 0, j; i < sorted.size(); i = j)
    if ((j = EdgeEnd(sorted, i)) - i > 2 && (anyRing || anyNew(i, j))) return false;
  FaceT5* const base = mesh.faces.data();
  for (size_t i = 0, j; i < sorted.size(); i = j) {
    // The faces linked lie anywhere in the array: fetched a few uses ahead.
    if (i + 16 < sorted.size()) Prefetch(&base[sorted[i + 16].face].adjFace[sorted[i + 16].z]);
    j = EdgeEnd(sorted, i);
    if (!anyNew(i, j)) continue;
    for (size_t k = i; k < j; ++k) {
      const Use& next = k + 1 < j ? sorted[k + 1] : sorted[i];
      FaceT5& f = base[sorted[k].face];
      f.adjFace[sorted[k].z] = &base[next.face];
      f.adjIndex[sorted[k].z] = int8_t(next.z);
    }
  }
  return true;
}

bool Linkable(const MeshT5& mesh, size_t first, const OldFaces& old) {
  return first <= mesh.faces.size() && mesh.faces.size() <= size_t(INT32_MAX) &&
         mesh.vertices.size() <= size_t(INT32_MAX) && old.linksBack;
}

}  // namespace

bool LinkAddedFaces(MeshT5& mesh, size_t first, const OldFaces& old, bool& maybeDuplicates) {
  if (!Linkable(mesh, first, old)) return false;
  const size_t faceTotal = mesh.faces.size();
  FaceT5* const base = mesh.faces.data();
  maybeDuplicates = old.sharesAllEdges || old.rings;
  // The corners of the added faces, numbered: only an edge between two of
  // them can be shared with an added face. The added faces' corners are
  // numbered as they come, and their edges listed; then the old faces'
  // sides between two of those corners. (The order of the uses of one edge
  // does not matter: there are at most two, and each is linked to the
  // other.)
  Uses uses(mesh.vertices.size());
  uses.list.reserve(3 * (faceTotal - first) + old.loopSides.size());
  for (size_t i = first; i < faceTotal; ++i) {
    PrefetchAhead(base, i, faceTotal);
    if (!uses.AddFace(mesh, i)) return false;
  }
  for (const OldFaces::Side& side : old.loopSides)
    if (side.face < first) uses.AddSide(side.from, side.to, side.face, int(side.z));
  if (!LinkByEdge(mesh, uses.ByEdge(), true, [&](size_t f) { return f >= first; })) return false;
  for (size_t i = first; i < faceTotal; ++i)
    if (SharesAllEdges(base[i])) maybeDuplicates = true;
  return true;
}

bool LinkChangedFaces(MeshT5& mesh, size_t first, const std::vector<size_t>& changed,
                      const OldFaces& old, bool& maybeDuplicates) {
  if (!Linkable(mesh, first, old)) return false;
  const size_t faceTotal = mesh.faces.size();
  FaceT5* const base = mesh.faces.data();
  maybeDuplicates = old.sharesAllEdges || old.rings;
  std::vector<uint8_t> isNew(faceTotal, 0);
  std::fill(isNew.begin() + std::ptrdiff_t(first), isNew.end(), 1);
  for (size_t i : changed)
    if (i < first) isNew[i] = 1;
  // Every face on an edge of a new face has both its corners: the sides of
  // the other faces between two corners of new faces are listed with them.
  Uses uses(mesh.vertices.size());
  for (size_t i = 0; i < faceTotal; ++i)
    if (isNew[i] && !uses.AddFace(mesh, i)) return false;
  for (size_t i = 0; i < first; ++i) {
    PrefetchAhead(base, i, first);
    const FaceT5& f = base[i];
    if (isNew[i] || !IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z)
      uses.AddSide(mesh.VertexIndex(f.v[z]), mesh.VertexIndex(f.v[(z + 1) % 3]), i, z);
  }
  if (!LinkByEdge(mesh, uses.ByEdge(), false, [&](size_t f) { return isNew[f] != 0; }))
    return false;
  for (size_t i = 0; i < faceTotal; ++i)
    if (isNew[i] && SharesAllEdges(base[i])) maybeDuplicates = true;
  return true;
}

}  // namespace quarnel
