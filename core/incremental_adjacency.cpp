#include "core/incremental_adjacency.h"

#include <algorithm>

#include "core/prefetch.h"

namespace quarnel {

namespace {

// A side of a face in its edge's bucket, in 64 bits: the corner number of
// the edge's other end (31 bits: there are fewer corners than vertices, at
// most INT32_MAX), the face (31 bits: at most INT32_MAX faces, as Linkable
// asks) and the corner the side starts at (2 bits). The fewer bytes the
// sides take, the fewer fresh pages hold them.
class Use {
 public:
  Use() = default;
  Use(int32_t hi, size_t face, int z)
      : bits_((uint64_t(hi) << 33) | (uint64_t(face) << 2) | uint64_t(z)) {}
  uint32_t Hi() const { return uint32_t(bits_ >> 33); }
  size_t Face() const { return size_t((bits_ >> 2) & 0x7FFFFFFFu); }
  int Z() const { return int(bits_ & 3u); }
  // By the other end first.
  bool operator<(const Use& o) const { return bits_ < o.bits_; }

 private:
  uint64_t bits_ = 0;
};

// The sides of faces between numbered corners, grouped by edge. The new
// faces' corners are numbered as they come (by vertex index in id); each
// side goes to the bucket of its lower-numbered end, counted first and then
// placed, and each bucket is sorted by the other end, so that the sides of
// an edge lie together. Only the placed sides are held: no list of them is
// made apart.
class EdgeBuckets {
 public:
  explicit EdgeBuckets(size_t vertexTotal) : id_(vertexTotal, -1) {}

  // Numbers the corners of new face i (not yet numbered) and counts its
  // sides; false where a corner lies outside the vertex array.
  bool AddFace(const MeshT5& mesh, size_t i) {
    const VertexT5* const vbase = mesh.vertices.data();
    int32_t k[3];
    for (int c = 0; c < 3; ++c) {
      const VertexT5* v = mesh.faces[i].v[c];
      if (v < vbase || v >= vbase + id_.size()) return false;
      int32_t& known = id_[size_t(v - vbase)];
      if (known < 0) {
        known = int32_t(start_.size());
        start_.push_back(0);
      }
      k[c] = known;
    }
    for (int z = 0; z < 3; ++z)
      ++start_[size_t(std::min(k[z], k[(z + 1) % 3]))];
    return true;
  }
  // Whether vertex v is a corner of a new face.
  bool Numbered(size_t v) const { return v < id_.size() && id_[v] >= 0; }
  // Counts the side of an old face from vertex a to b, where both are
  // corners of new faces.
  void CountSide(size_t a, size_t b) {
    if (Numbered(a) && Numbered(b)) ++start_[size_t(std::min(id_[a], id_[b]))];
  }

  // Makes room for the sides counted: each bucket's count becomes its end.
  void Open() {
    uint32_t total = 0;
    for (uint32_t& s : start_)
      s = total += s;
    uses_.resize(total);
  }
  // Places the sides of new face i, counted by AddFace.
  void PlaceFace(const MeshT5& mesh, size_t i) {
    const FaceT5& f = mesh.faces[i];
    for (int z = 0; z < 3; ++z)
      Place(id_[mesh.VertexIndex(f.v[z])], id_[mesh.VertexIndex(f.v[(z + 1) % 3])], i, z);
  }
  // Places the side counted by CountSide(a, b), of face i and corner z.
  void PlaceSide(size_t a, size_t b, size_t i, int z) {
    if (Numbered(a) && Numbered(b)) Place(id_[a], id_[b], i, z);
  }
  // Sorts each bucket, all its sides placed, by the sides' other ends.
  void SortBuckets() {
    start_.push_back(uint32_t(uses_.size()));
    for (size_t c = 0; c + 1 < start_.size(); ++c)
      if (start_[c + 1] - start_[c] > 2)
        std::sort(uses_.begin() + start_[c], uses_.begin() + start_[c + 1]);
  }

  // Calls visit(i, j) for each run [i, j) of the sorted sides of one edge,
  // in order; false, at once, where a call returns false.
  template <class Visit>
  bool EveryEdge(Visit&& visit) const {
    for (size_t c = 0; c + 1 < start_.size(); ++c)
      for (size_t i = start_[c], j; i < start_[c + 1]; i = j) {
        for (j = i + 1; j < start_[c + 1] && uses_[j].Hi() == uses_[i].Hi(); ++j) {
        }
        if (!visit(i, j)) return false;
      }
    return true;
  }
  const std::vector<Use>& Uses() const { return uses_; }

 private:
  void Place(int32_t a, int32_t b, size_t face, int z) {
    uses_[--start_[size_t(std::min(a, b))]] = Use(std::max(a, b), face, z);
  }

  std::vector<int32_t> id_;
  std::vector<uint32_t> start_;  // per corner: a count, an end, then a start
  std::vector<Use> uses_;
};

// Links the faces of each edge (the sides grouped by edge) into a ring, as
// a build would, where one of them is new (isNew(face)). False, linking
// nothing, where an edge has three uses or more, and anyRing or one of
// them is new.
template <class IsNew>
bool LinkByEdge(MeshT5& mesh, const EdgeBuckets& edges, bool anyRing, IsNew&& isNew) {
  const std::vector<Use>& uses = edges.Uses();
  auto anyNew = [&](size_t i, size_t j) {
    for (size_t k = i; k < j; ++k)
      if (isNew(uses[k].Face())) return true;
    return false;
  };
  if (!edges.EveryEdge(
          [&](size_t i, size_t j) { return j - i <= 2 || !(anyRing || anyNew(i, j)); }))
    return false;
  FaceT5* const base = mesh.faces.data();
  edges.EveryEdge([&](size_t i, size_t j) {
    // The faces linked lie anywhere in the array: fetched a few uses ahead.
    if (i + 16 < uses.size()) Prefetch(&base[uses[i + 16].Face()].adjFace[uses[i + 16].Z()]);
    if (!anyNew(i, j)) return true;
    for (size_t k = i; k < j; ++k) {
      const Use& next = k + 1 < j ? uses[k + 1] : uses[i];
      FaceT5& f = base[uses[k].Face()];
      f.adjFace[uses[k].Z()] = &base[next.Face()];
      f.adjIndex[uses[k].Z()] = int8_t(next.Z());
    }
    return true;
  });
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
  // numbered as they come, and their sides counted; then the old faces'
  // sides between two of those corners. (The order of the uses of one edge
  // does not matter: there are at most two, and each is linked to the
  // other.)
  EdgeBuckets edges(mesh.vertices.size());
  for (size_t i = first; i < faceTotal; ++i) {
    PrefetchAhead(base, i, faceTotal);
    if (!edges.AddFace(mesh, i)) return false;
  }
  auto oldSides = [&](auto&& side) {
    for (const OldFaces::Side& s : old.loopSides)
      if (s.face < first) side(s);
  };
  oldSides([&](const OldFaces::Side& s) { edges.CountSide(s.from, s.to); });
  edges.Open();
  for (size_t i = first; i < faceTotal; ++i)
    edges.PlaceFace(mesh, i);
  oldSides([&](const OldFaces::Side& s) { edges.PlaceSide(s.from, s.to, s.face, int(s.z)); });
  edges.SortBuckets();
  if (!LinkByEdge(mesh, edges, true, [&](size_t f) { return f >= first; })) return false;
  // The new faces are read only while no ring or old pair told already.
  for (size_t i = first; i < faceTotal && !maybeDuplicates; ++i)
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
  EdgeBuckets edges(mesh.vertices.size());
  for (size_t i = 0; i < faceTotal; ++i)
    if (isNew[i] && !edges.AddFace(mesh, i)) return false;
  // Every face on an edge of a new face has both its corners: the sides of
  // the other faces between two corners of new faces are listed with them.
  std::vector<OldFaces::Side> sides;
  for (size_t i = 0; i < first; ++i) {
    PrefetchAhead(base, i, first);
    const FaceT5& f = base[i];
    if (isNew[i] || !IsLive(f.flags)) continue;
    for (uint32_t z = 0; z < 3; ++z) {
      const size_t a = mesh.VertexIndex(f.v[z]), b = mesh.VertexIndex(f.v[(z + 1) % 3]);
      if (edges.Numbered(a) && edges.Numbered(b))
        sides.push_back({uint32_t(i), z, uint32_t(a), uint32_t(b)});
    }
  }
  for (const OldFaces::Side& s : sides)
    edges.CountSide(s.from, s.to);
  edges.Open();
  for (size_t i = 0; i < faceTotal; ++i)
    if (isNew[i]) edges.PlaceFace(mesh, i);
  for (const OldFaces::Side& s : sides)
    edges.PlaceSide(s.from, s.to, s.face, int(s.z));
  edges.SortBuckets();
  if (!LinkByEdge(mesh, edges, false, [&](size_t f) { return isNew[f] != 0; })) return false;
  for (size_t i = 0; i < faceTotal && !maybeDuplicates; ++i)
    if (isNew[i] && SharesAllEdges(base[i])) maybeDuplicates = true;
  return true;
}

}  // namespace quarnel
