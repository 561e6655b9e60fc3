#include "core/clean.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

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
    if (f.v[0] == f.v[1] || f.v[0] == f.v[2] || f.v[1] == f.v[2]) {
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

void RemoveDuplicateFaces(MeshT5& mesh) {
  const size_t total = mesh.faces.size();
  if (total == 0) return;
  // Probing steps by 131 slots; a table size prime to 131 lets the probes
  // reach every slot, and with at most a quarter of them filled the search
  // always meets an empty one.
  size_t size = 4 * total;
  if (size % 131 == 0) ++size;
  std::vector<FaceT5*> table(size, nullptr);
  const size_t bound = total + 1;
  int32_t deleted = 0;
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) continue;
    uint64_t key[3] = {mesh.VertexIndex(f.v[0]), mesh.VertexIndex(f.v[1]),
                       mesh.VertexIndex(f.v[2])};
    std::sort(key, key + 3);
    uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 31)) + key[1] * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 29)) + key[2] * 0x165667B19E3779F9ull;
    h ^= h >> 32;
    size_t slot = size_t(h % size);
    for (size_t probes = 0; probes < size; ++probes) {
      FaceT5* g = table[slot];
      if (g == nullptr) {
        table[slot] = &f;
        break;
      }
      if (FaceHasVertices(*g, f.v[0], f.v[1], f.v[2])) {
        bool keep = (f.flags & ElemFlag::Excluded) != 0;
        for (int z = 0; z < 3 && !keep; ++z) {
          const FaceT5* n = f.adjFace[z];
          keep = n != nullptr && (n->flags & (ElemFlag::Deleted | ElemFlag::Excluded24));
        }
        if (!keep) {
          for (int z = 0; z < 3; ++z)
            if (f.adjFace[z] != &f && f.adjFace[z] != nullptr) DetachFaceFromRing(&f, z, bound);
          f.flags |= ElemFlag::Deleted;
          ++deleted;
        }
        break;
      }
      slot = (slot + 131) % size;
    }
  }
  mesh.faceCount -= deleted;
}

int32_t RemoveFacesOnNonManifoldEdges(MeshT5& mesh) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t count = 0;
  auto hangs = [](const FaceT5& f, int z) {
    const FaceT5* n = f.adjFace[z];
    return OnNonManifoldEdge(f, z) && !(n->flags & (ElemFlag::Deleted | ElemFlag::Excluded2));
  };
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) continue;
    int borders = 0;
    for (int z = 0; z < 3; ++z)
      borders += f.adjFace[z] == &f;
    if (borders == 1) {
      int hanging = 0;
      for (int z = 0; z < 3; ++z)
        hanging += hangs(f, z);
      if (hanging != 2) continue;
      int detached = 0;
      for (int z = 0; z < 3; ++z)
        if (OnNonManifoldEdge(f, z) && DetachFaceFromRing(&f, z, bound)) ++detached;
      if (detached == 2) {
        f.flags |= ElemFlag::Deleted;
        ++count;
      }
    } else if (borders == 2) {
      for (int z = 0; z < 3; ++z) {
        if (!hangs(f, z)) continue;
        DetachFaceFromRing(&f, z, bound);
        f.flags |= ElemFlag::Deleted;
        ++count;
        break;
      }
    }
  }
  mesh.faceCount -= count;
  return count;
}

}  // namespace quarnel
