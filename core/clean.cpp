#include "core/clean.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/parallel_for.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// A sort key per coordinate: unsigned order of the keys is the float order,
// -0 and +0 share a key, and every NaN gets the largest key, so the sort has
// a total order whatever the coordinates hold.
uint32_t SortKey(float f) {
  if (std::isnan(f)) return UINT32_MAX;
  if (f == 0.0f) f = 0.0f;
  const uint32_t bits = std::bit_cast<uint32_t>(f);
  return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

// z is the most significant key, x the least. At one place the vertices
// that may merge (live and included) come first, so that a deleted or
// excluded record never separates two of them; ties go by index, so the
// first of them in array order is the one that is kept.
struct SortRecord {
  uint32_t z, y, x;
  uint32_t apart;  // 1 for a vertex that may not be merged away
  uint32_t index;
  bool operator<(const SortRecord& o) const {
    if (z != o.z) return z < o.z;
    if (y != o.y) return y < o.y;
    if (x != o.x) return x < o.x;
    if (apart != o.apart) return apart < o.apart;
    return index < o.index;
  }
};

// Detaches each edge of f from its ring. A slot that holds no ring (a null
// link left by vertex-face lists) is left alone; walks are bounded by the
// face count.
void DetachFromAllRings(FaceT5& f, size_t bound) {
  for (int z = 0; z < 3; ++z)
    if (f.adjFace[z] != &f && f.adjFace[z] != nullptr) DetachFaceFromRing(&f, z, bound);
}

}  // namespace

int32_t RemoveDegenerateFaces(MeshT5& mesh) {
  int32_t count = 0;
  for (FaceT5& f : mesh.faces) {
    if (!IsLiveIncluded(f.flags)) continue;
    if (HasCornerTwice(f)) {
      f.flags |= ElemFlag::Deleted;
      ++count;
    }
  }
  mesh.faceCount -= count;
  return count;
}

int32_t MergeDuplicateVertices(MeshT5& mesh) {
  const size_t n = mesh.vertices.size();
  if (n == 0 || mesh.vertexCount == 0) return 0;
  VertexT5* base = mesh.vertices.data();

  // The keys are sorted apart from the records, which are large.
  std::vector<SortRecord> order(n);
  for (size_t i = 0; i < n; ++i) {
    const Vec3f& p = base[i].position;
    order[i] = {SortKey(p.z), SortKey(p.y), SortKey(p.x), IsLiveIncluded(base[i].flags) ? 0u : 1u,
                uint32_t(i)};
  }
  std::sort(order.begin(), order.end());

  // remap[i] is the vertex that replaces vertex i, or null.
  std::vector<VertexT5*> remap(n, nullptr);
  int32_t merged = 0;
  size_t r = order[0].index;
  for (size_t i = 1; i < n; ++i) {
    VertexT5& a = base[order[i].index];
    const VertexT5& ref = base[r];
    // Exact float equality: a NaN coordinate never compares equal, so a
    // vertex with one is never merged and never absorbs another.
    const bool same = a.position.x == ref.position.x && a.position.y == ref.position.y &&
                      a.position.z == ref.position.z;
    if (IsLiveIncluded(a.flags) && IsLiveIncluded(ref.flags) && same) {
      remap[order[i].index] = &base[r];
      a.flags |= ElemFlag::Deleted;
      ++merged;
    } else {
      r = order[i].index;
    }
  }
  if (merged == 0) return 0;

  // Every face that is not deleted is repointed, excluded ones too: a live
  // face must never keep a corner on a vertex that was just deleted.
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (VertexT5*& p : f.v) {
      if (p < base || p >= base + n) continue;
      if (VertexT5* to = remap[size_t(p - base)]) p = to;
    }
  }
  mesh.vertexCount -= merged;
  return merged;
}

int32_t RemoveUnreferencedVertices(MeshT5& mesh) {
  for (VertexT5& v : mesh.vertices)
    v.flags &= ~ElemFlag::Visited;
  // Every face that is not deleted keeps its corners alive, excluded ones too.
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (VertexT5* v : f.v)
      if (!(v->flags & ElemFlag::Excluded)) v->flags |= ElemFlag::Visited;
  }
  int32_t count = 0;
  for (VertexT5& v : mesh.vertices) {
    if (v.flags & (ElemFlag::Deleted | ElemFlag::Visited | ElemFlag::Excluded)) continue;
    v.flags |= ElemFlag::Deleted;
    ++count;
  }
  mesh.vertexCount -= count;
  return count;
}

int32_t DeleteSelectedFaces(MeshT5& mesh) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t count = 0;
  for (FaceT5& f : mesh.faces) {
    if (!(f.flags & ElemFlag::Selected) || !IsLiveIncluded(f.flags)) continue;
    DetachFromAllRings(f, bound);
    f.flags = (f.flags & ~ElemFlag::Selected) | ElemFlag::Deleted;
    ++count;
  }
  mesh.faceCount -= count;
  return count;
}

int32_t DeleteSelectedVertices(MeshT5& mesh) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t faces = 0;
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    if (!((f.v[0]->flags | f.v[1]->flags | f.v[2]->flags) & ElemFlag::Selected)) continue;
    DetachFromAllRings(f, bound);
    f.flags |= ElemFlag::Deleted;
    ++faces;
  }
  int32_t vertices = 0;
  for (VertexT5& v : mesh.vertices) {
    if (IsLive(v.flags) && (v.flags & ElemFlag::Selected)) {
      v.flags |= ElemFlag::Deleted;
      ++vertices;
    }
  }
  mesh.faceCount -= faces;
  mesh.vertexCount -= vertices;
  return vertices;
}

namespace {

// Edge z of f is shared with a neighbour that does not point back to f (a
// ring of three or more faces).
bool OnNonManifoldEdge(const FaceT5& f, int z) {
  const FaceT5* n = f.adjFace[z];
  if (n == nullptr || n == &f) return false;
  int k = f.adjIndex[z];
  return !(ValidCorner(k) && n->adjFace[k] == &f);
}

}  // namespace

namespace {

// Faces by their three vertices, in a table with open addressing.
class FacesByCorners {
 public:
  // A table for up to `faces` faces. Probing steps by 131 slots; a table
  // size prime to 131 lets the probes reach every slot, and with at most a
  // quarter of them filled the search always meets an empty one.
  explicit FacesByCorners(size_t faces)
      : size_(4 * faces + (4 * faces % 131 == 0)), table_(size_, nullptr) {}

  // The face in the table with the vertices of f, or null after f is put in.
  // A face with a corner twice matches any face on the same two vertices,
  // and so depends on the faces put in before it along its probes.
  const FaceT5* FindOrAdd(const MeshT5& mesh, FaceT5& f) {
    uint64_t key[3] = {mesh.VertexIndex(f.v[0]), mesh.VertexIndex(f.v[1]),
                       mesh.VertexIndex(f.v[2])};
    std::sort(key, key + 3);
    uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 31)) + key[1] * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 29)) + key[2] * 0x165667B19E3779F9ull;
    h ^= h >> 32;
    size_t slot = size_t(h % size_);
    for (size_t probes = 0; probes < size_; ++probes) {
      FaceT5* g = table_[slot];
      if (g == nullptr) {
        table_[slot] = &f;
        return nullptr;
      }
      if (FaceHasVertices(*g, f.v[0], f.v[1], f.v[2])) return g;
      slot = (slot + 131) % size_;
    }
    return nullptr;
  }

 private:
  size_t size_;
  std::vector<FaceT5*> table_;
};

// Deletes f, found to have the vertices of an earlier face, unless it is
// excluded or one of its neighbours is deleted or excluded; returns whether
// it went.
bool DeleteDuplicate(FaceT5& f, size_t bound) {
  bool keep = (f.flags & ElemFlag::Excluded) != 0;
  for (int z = 0; z < 3 && !keep; ++z) {
    const FaceT5* n = f.adjFace[z];
    keep = n != nullptr && (n->flags & (ElemFlag::Deleted | ElemFlag::Excluded24));
  }
  if (keep) return false;
  DetachFromAllRings(f, bound);
  f.flags |= ElemFlag::Deleted;
  return true;
}

// What a face's links tell of whether another live face has its three
// vertices.
enum class Twin : uint8_t { None, Maybe, Degenerate };

// With face-face rings as a build makes them (or as detaching deleted faces
// leaves them), a face with three distinct corners and a twin shares each
// edge with it: no edge is a border, and an edge linked both ways joins
// just the two, so the face across it has the same vertices. A face with a
// corner twice may match faces with other corners.
Twin TwinOf(const FaceT5& f) {
  if (HasCornerTwice(f)) return Twin::Degenerate;
  // A border edge is told by the face's own links: the neighbours are read
  // only for a face without one.
  for (int z = 0; z < 3; ++z)
    if (f.adjFace[z] == &f) return Twin::None;
  for (int z = 0; z < 3; ++z) {
    const FaceT5* n = f.adjFace[z];
    const int k = f.adjIndex[z];
    if (n != nullptr && ValidCorner(k) && n->adjFace[k] == &f &&
        !FaceHasVertices(*n, f.v[0], f.v[1], f.v[2]))
      return Twin::None;
  }
  return Twin::Maybe;
}

// What the links tell of a face that RemoveDuplicateFaces may look up.
Twin TwinOfLooked(const FaceT5& f) {
  return (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) ? Twin::None : TwinOf(f);
}

// The faces that a pass over them found may have a twin (TwinOfLooked of
// each, read from the links as they are before any face goes: a deletion
// takes out only a face with a twin) or may hang (MayHang), in array order,
// and whether one has a corner twice.
struct Suspects {
  std::vector<size_t> twins, hanging;
  bool degenerate = false;
};

// RemoveDuplicateFaces on the faces suspects tell of; returns the number
// deleted.
int32_t DeleteTwins(MeshT5& mesh, const Suspects& suspects) {
  const size_t total = mesh.faces.size();
  const size_t bound = total + 1;
  int32_t deleted = 0;
  auto lookUp = [&](FaceT5& f, FacesByCorners& table) {
    if (table.FindOrAdd(mesh, f) != nullptr && DeleteDuplicate(f, bound)) ++deleted;
  };
  if (suspects.degenerate) {
    // A face with a corner twice matches by the probes of a table of every
    // face: then every face is looked up.
    FacesByCorners table(total);
    for (FaceT5& f : mesh.faces)
      if (!(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2))) lookUp(f, table);
  } else if (!suspects.twins.empty()) {
    FacesByCorners table(suspects.twins.size());
    for (size_t i : suspects.twins)
      lookUp(mesh.faces[i], table);
  }
  mesh.faceCount -= deleted;
  return deleted;
}

// Whether f may hang on the mesh by non-manifold edges: it has one or two
// border edges and a non-manifold one. Taking a face out of a ring of three
// or more leaves the others a ring or a pair, never a border, so a face with
// three distinct corners comes to hang only if it hung before. A face with a
// corner twice may be on one ring twice and is always looked at.
bool MayHang(const FaceT5& f) {
  if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) return false;
  if (HasCornerTwice(f)) return true;
  int borders = 0;
  for (int z = 0; z < 3; ++z)
    borders += f.adjFace[z] == &f;
  // The neighbours are read only for a face with one or two border edges.
  if (borders != 1 && borders != 2) return false;
  for (int z = 0; z < 3; ++z)
    if (OnNonManifoldEdge(f, z)) return true;
  return false;
}

// Deletes f where it hangs by non-manifold edges (one border edge and two
// non-manifold ones, or two border edges and one non-manifold one),
// detaching it from those edges' rings; returns whether it went. Sets
// detached where a link changed (a face with one border edge may be
// detached from a ring and yet stay).
bool DeleteIfHanging(FaceT5& f, size_t bound, bool& detached) {
  if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) return false;
  auto hangs = [&f](int z) {
    const FaceT5* n = f.adjFace[z];
    return OnNonManifoldEdge(f, z) && !(n->flags & (ElemFlag::Deleted | ElemFlag::Excluded2));
  };
  int borders = 0;
  for (int z = 0; z < 3; ++z)
    borders += f.adjFace[z] == &f;
  if (borders == 1) {
    int hanging = 0;
    for (int z = 0; z < 3; ++z)
      hanging += hangs(z);
    if (hanging != 2) return false;
    int rings = 0;
    for (int z = 0; z < 3; ++z)
      if (OnNonManifoldEdge(f, z) && DetachFaceFromRing(&f, z, bound)) ++rings;
    detached = detached || rings > 0;
    if (rings != 2) return false;
    f.flags |= ElemFlag::Deleted;
    return true;
  }
  if (borders != 2) return false;
  for (int z = 0; z < 3; ++z) {
    if (!hangs(z)) continue;
    DetachFaceFromRing(&f, z, bound);
    f.flags |= ElemFlag::Deleted;
    detached = true;
    return true;
  }
  return false;
}

// RemoveFacesOnNonManifoldEdges on the faces that may hang (hanging, read
// before any face goes); returns the number deleted. Sets detached where a
// link changed.
int32_t DeleteHanging(MeshT5& mesh, const std::vector<size_t>& hanging, bool& detached) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t count = 0;
  for (size_t i : hanging)
    if (DeleteIfHanging(mesh.faces[i], bound, detached)) ++count;
  mesh.faceCount -= count;
  return count;
}

// Whether f has a link to another face that does not link back to it
// there: an edge that FaceBorderFromFF marks non-manifold.
bool LinksOneWay(const FaceT5& f) {
  for (int z = 0; z < 3; ++z) {
    const FaceT5* g = f.adjFace[z];
    const int k = f.adjIndex[z];
    if (g != &f && (g == nullptr || !ValidCorner(k) || g->adjFace[k] != &f)) return true;
  }
  return false;
}

// The faces that may have a twin, and where hanging those that may hang,
// read range by range on threads and put together in array order. With
// oneWay (a byte per face), sets each face's byte: 1 where it is not live
// or LinksOneWay.
Suspects FindSuspects(const MeshT5& mesh, bool twins, bool hanging, uint8_t* oneWay = nullptr) {
  const FaceT5* const base = mesh.faces.data();
  const std::vector<Suspects> ranges =
      ParallelCollect(mesh.faces.size(), [&](size_t begin, size_t end) {
        Suspects r;
        for (size_t i = begin; i < end; ++i) {
          // The neighbours lie anywhere in the array: fetched a few faces ahead.
          if (i + 8 < end) PrefetchLinksBack(base[i + 8]);
          const Twin twin = twins ? TwinOfLooked(base[i]) : Twin::None;
          if (twin == Twin::Maybe) r.twins.push_back(i);
          r.degenerate = r.degenerate || twin == Twin::Degenerate;
          if (hanging && MayHang(base[i])) r.hanging.push_back(i);
          if (oneWay != nullptr) oneWay[i] = !IsLive(base[i].flags) || LinksOneWay(base[i]);
        }
        return r;
      });
  Suspects all;
  for (const Suspects& r : ranges) {
    all.twins.insert(all.twins.end(), r.twins.begin(), r.twins.end());
    all.hanging.insert(all.hanging.end(), r.hanging.begin(), r.hanging.end());
    all.degenerate = all.degenerate || r.degenerate;
  }
  return all;
}

}  // namespace

void RemoveDuplicateFaces(MeshT5& mesh) {
  DeleteTwins(mesh, FindSuspects(mesh, true, false));
}

int32_t RemoveFacesOnNonManifoldEdges(MeshT5& mesh) {
  bool detached = false;
  return DeleteHanging(mesh, FindSuspects(mesh, false, true).hanging, detached);
}

bool RemoveDuplicateThenHangingFaces(MeshT5& mesh, std::vector<uint8_t>* oneWay) {
  // Both searches' faces read in one pass: where no duplicate goes, the
  // faces are as they were when read. The links are read for oneWay in the
  // same pass, and hold where no link changes after.
  std::vector<uint8_t> read(oneWay != nullptr ? mesh.faces.size() : 0);
  const Suspects suspects = FindSuspects(mesh, true, true, read.empty() ? nullptr : read.data());
  if (DeleteTwins(mesh, suspects) > 0) return true;
  bool detached = false;
  DeleteHanging(mesh, suspects.hanging, detached);
  if (oneWay != nullptr && !detached) *oneWay = std::move(read);
  return false;
}

}  // namespace quarnel
