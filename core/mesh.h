// The four mesh types and their element records.
//
// Faces refer to their vertices, and adjacency to faces, by pointer into the
// mesh's own arrays. Deletion only sets ElemFlag::Deleted, so the arrays never
// shrink; they grow only through AddFaces / AddVertices, which rebase every
// pointer into the grown array.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "core/math.h"
#include "core/ply_camera.h"

namespace quarnel {

// Red, green, blue, alpha in memory order, handed to OpenGL as they stand.
struct Color4b {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  uint8_t& operator[](int i) { return (&r)[i]; }
  uint8_t operator[](int i) const { return (&r)[i]; }
  const uint8_t* data() const { return &r; }
  bool operator==(const Color4b&) const = default;
};

// Bits of the flags word of every vertex and face.
namespace ElemFlag {
inline constexpr uint32_t Deleted = 0x1;
inline constexpr uint32_t Excluded2 = 0x2;  // no operation sets it
inline constexpr uint32_t Excluded = 0x4;   // skipped by the selection operations
inline constexpr uint32_t Excluded24 = Excluded2 | Excluded;
inline constexpr uint32_t Detached = 0x8;
inline constexpr uint32_t Visited = 0x10;
inline constexpr uint32_t Selected = 0x20;
inline constexpr uint32_t Border0 = 0x40;  // edge z: Border0 << z
inline constexpr uint32_t Border1 = 0x80;
inline constexpr uint32_t Border2 = 0x100;
inline constexpr uint32_t BorderAll = 0x1C0;
inline constexpr uint32_t LastPredefined = 0x200;
inline constexpr uint32_t NonManifold0 = 0x1000;  // edge z: NonManifold0 << z
inline constexpr uint32_t NonManifold1 = 0x2000;
inline constexpr uint32_t NonManifold2 = 0x4000;
constexpr uint32_t Border(int z) { return Border0 << z; }
constexpr uint32_t NonManifold(int z) { return NonManifold0 << z; }
}  // namespace ElemFlag

// Per-corner texture coordinate; the drawers read corner 0's texIndex as the
// face's texture number.
struct WedgeTexCoord {
  float u = 0.0f, v = 0.0f;
  int16_t texIndex = 0;
  bool operator==(const WedgeTexCoord&) const = default;
};

struct FaceT5;

struct VertexT1 {
  Vec3f position;
  uint32_t flags = 0;
  Vec3f normal;
};

struct VertexT3 {
  Vec3f position;
  uint32_t flags = 0;
  Color4b color;
  float quality = 0.0f;
  Vec3f normal;
};

struct VertexT4 {
  Vec3f position;
  uint32_t flags = 0;
  Color4b color;
  Vec3f normal;
};

struct VertexT5 {
  Vec3f position;
  uint32_t flags = 0;
  Color4b color;
  float quality = 0.0f;
  FaceT5* vfFace = nullptr;  // head of the vertex-face list
  int32_t vfCorner = 0;      // corner of this vertex in vfFace
  int32_t mark = 0;          // stamp compared with the mesh's currentMark
  Vec3f normal;
};

struct FaceT1 {
  VertexT1* v[3] = {nullptr, nullptr, nullptr};
  uint32_t flags = 0;
  Vec3f normal;
};

struct FaceT3 {
  VertexT3* v[3] = {nullptr, nullptr, nullptr};
  uint32_t flags = 0;
  float quality = 0.0f;
  Color4b color;
  Vec3f normal;
};

struct FaceT4 {
  VertexT4* v[3] = {nullptr, nullptr, nullptr};
  uint32_t flags = 0;
  WedgeTexCoord wedge[3];
  Color4b color;
  Vec3f normal;
};

// The three adjFace/adjIndex slots hold face-face adjacency (one per edge;
// edge z runs from corner z to corner z+1) or vertex-face lists (one per
// corner), whichever was built last.
struct FaceT5 {
  VertexT5* v[3] = {nullptr, nullptr, nullptr};
  uint32_t flags = 0;
  float quality = 0.0f;
  WedgeTexCoord wedge[3];
  Color4b color;
  Vec3f normal;
  FaceT5* adjFace[3] = {nullptr, nullptr, nullptr};
  int8_t adjIndex[3] = {0, 0, 0};

  // Removes this face from the vertex-face list of its corner-i vertex. The
  // face must be in that list; the walk is bounded by maxSteps.
  void DetachFromVF(int i, size_t maxSteps = SIZE_MAX);
};

// Compile-time traits: which fields a record type has.
template <class R>
concept HasColor = requires(R r) { r.color; };
template <class R>
concept HasQuality = requires(R r) { r.quality; };
template <class R>
concept HasWedge = requires(R r) { r.wedge[0]; };
template <class R>
concept HasAdjacency = requires(R r) { r.adjFace[0]; };
template <class R>
concept HasVF = requires(R r) { r.vfFace; };
template <class R>
concept HasMark = requires(R r) { r.mark; };

template <class V, class F>
struct Mesh {
  using VertexType = V;
  using FaceType = F;

  std::vector<V> vertices;
  int32_t vertexCount = 0;
  std::vector<F> faces;
  int32_t faceCount = 0;
  BBox3f bbox;  // null until UpdateBoundingBox
  int32_t lastError = 0;
  std::vector<std::string> textureNames;
  std::vector<std::string> normalMapNames;
  PlyCamera camera;
  bool hasCamera = false;
  Color4b color{255, 255, 255, 255};
  int32_t currentMark = 0;

  Mesh() = default;
  // Faces hold pointers into this mesh's own arrays, so a copy must rebase
  // them; moves keep the vector storage and need nothing.
  Mesh(const Mesh& o) { *this = o; }
  Mesh& operator=(const Mesh& o);
  Mesh(Mesh&&) noexcept = default;
  Mesh& operator=(Mesh&&) noexcept = default;

  size_t VertexIndex(const V* v) const { return size_t(v - vertices.data()); }
  size_t FaceIndex(const F* f) const { return size_t(f - faces.data()); }

  // Appends n value-initialised faces (flags 0, every other field zero) and
  // returns the first of them. When the array moves, every face pointer into
  // it is rebased: the adjacency and vertex-face links of all records and the
  // caller's pointers listed in `pointers`. n <= 0 appends nothing and
  // returns one past the last face.
  F* AddFaces(int n, std::initializer_list<F**> pointers = {});
  F* AddFaces(int n, const std::vector<F**>& pointers);
  // Appends n value-initialised vertices and returns the first of them;
  // when the array moves, the corners of every face (deleted ones too) and
  // the listed pointers are rebased.
  V* AddVertices(int n, std::initializer_list<V**> pointers = {});
  V* AddVertices(int n, const std::vector<V**>& pointers);

  // mark = 0 on every vertex that is neither deleted nor excluded.
  void ClearVertexMarks()
    requires HasMark<V>;
};

using MeshT1 = Mesh<VertexT1, FaceT1>;
using MeshT3 = Mesh<VertexT3, FaceT3>;
using MeshT4 = Mesh<VertexT4, FaceT4>;
using MeshT5 = Mesh<VertexT5, FaceT5>;

// 1 when the face's three corners are the three given vertices, in any order.
template <class F, class V>
int FaceHasVertices(const F& f, const V* a, const V* b, const V* c) {
  for (const V* p : f.v)
    if (p != a && p != b && p != c) return 0;
  // Each given vertex must also be among the corners (a, b, c may repeat).
  for (const V* q : {a, b, c})
    if (f.v[0] != q && f.v[1] != q && f.v[2] != q) return 0;
  return 1;
}

inline bool IsLive(uint32_t flags) { return (flags & ElemFlag::Deleted) == 0; }
inline bool IsLiveIncluded(uint32_t flags) {
  return (flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) == 0;
}

// Calls fn(f, z) for every edge z of a live face f whose border bit is set;
// the bits must be current.
template <class MeshT, class Fn>
void ForEachBorderEdge(MeshT& mesh, Fn&& fn) {
  for (auto& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z)
      if (f.flags & ElemFlag::Border(z)) fn(f, z);
  }
}

// Process-wide counter of the user bits taken at run time above the
// predefined flags. Bits are released in reverse order of taking.
class UserBitCounter {
 public:
  static uint32_t Take();
  // Halves the counter only when bit is its current value.
  static void Release(uint32_t bit);
  static uint32_t Current();
  static void Reset();  // back to the last predefined bit
};

// A small record per vertex kept outside the vertex: while active, every
// vertex's flags word holds the index of its record, and the vertex's own
// flags live in the record. The flags are put back by Stop, or by the
// destructor when an algorithm leaves early.
template <class MeshT>
class TempVertexData {
 public:
  struct Record {
    uint32_t savedFlags;
    uint32_t word0;
    uint32_t word1;
  };

  explicit TempVertexData(MeshT& m) : mesh_(m) {}
  ~TempVertexData() { Stop(); }
  TempVertexData(const TempVertexData&) = delete;
  TempVertexData& operator=(const TempVertexData&) = delete;

  void Start(uint32_t w0, uint32_t w1) {
    Stop();
    records_.clear();
    records_.reserve(mesh_.vertices.size());
    uint32_t i = 0;
    for (auto& v : mesh_.vertices) {
      records_.push_back({v.flags, w0, w1});
      v.flags = i++;
    }
    active_ = true;
  }
  void Stop() {
    if (!active_) return;
    for (size_t i = 0; i < records_.size() && i < mesh_.vertices.size(); ++i)
      mesh_.vertices[i].flags = records_[i].savedFlags;
    active_ = false;
  }
  bool Active() const { return active_; }
  Record& operator()(const typename MeshT::VertexType* v) { return records_[v->flags]; }
  Record& At(size_t i) { return records_[i]; }
  size_t Size() const { return records_.size(); }

 private:
  MeshT& mesh_;
  std::vector<Record> records_;
  bool active_ = false;
};

// ---------------------------------------------------------------------------

namespace detail {

// Makes room for `needed` records when the array must move anyway, with
// half as many again to spare: an operation that appends a large share of
// records (a cut's new faces, then its cap's) would otherwise move the whole
// array once more for the second append. The room costs no memory until
// records are put there.
template <class T>
void GrowFor(std::vector<T>& records, size_t needed) {
  if (needed <= records.capacity()) return;
  records.reserve(std::max(needed + needed / 2, 2 * records.size()));
}

}  // namespace detail

template <class V, class F>
Mesh<V, F>& Mesh<V, F>::operator=(const Mesh& o) {
  if (this == &o) return *this;
  vertices = o.vertices;
  faces = o.faces;
  vertexCount = o.vertexCount;
  faceCount = o.faceCount;
  bbox = o.bbox;
  lastError = o.lastError;
  textureNames = o.textureNames;
  normalMapNames = o.normalMapNames;
  camera = o.camera;
  hasCamera = o.hasCamera;
  color = o.color;
  currentMark = o.currentMark;
  const V* ov = o.vertices.data();
  const F* of = o.faces.data();
  auto vmap = [&](V* p) -> V* { return p ? vertices.data() + (p - ov) : nullptr; };
  auto fmap = [&](F* p) -> F* { return p ? faces.data() + (p - of) : nullptr; };
  for (F& f : faces) {
    for (auto& p : f.v) p = vmap(p);
    if constexpr (HasAdjacency<F>)
      for (auto& a : f.adjFace) a = fmap(a);
  }
  if constexpr (HasVF<V>)
    for (V& v : vertices) v.vfFace = fmap(v.vfFace);
  return *this;
}

template <class V, class F>
F* Mesh<V, F>::AddFaces(int n, std::initializer_list<F**> pointers) {
  return AddFaces(n, std::vector<F**>(pointers));
}

template <class V, class F>
F* Mesh<V, F>::AddFaces(int n, const std::vector<F**>& pointers) {
  if (n <= 0) return faces.data() + faces.size();
  F* oldBase = faces.data();
  size_t oldSize = faces.size();
  detail::GrowFor(faces, oldSize + size_t(n));
  faces.resize(oldSize + size_t(n));
  faceCount += n;
  F* newBase = faces.data();
  if (newBase != oldBase && oldBase != nullptr) {
    auto rebase = [&](F*& p) {
      if (p) p = newBase + (p - oldBase);
    };
    for (F** pp : pointers)
      if (pp) rebase(*pp);
    if constexpr (HasAdjacency<F>)
      for (size_t i = 0; i < oldSize; ++i)
        for (auto& a : faces[i].adjFace) rebase(a);
    if constexpr (HasVF<V>)
      for (V& v : vertices) rebase(v.vfFace);
  }
  return newBase + oldSize;
}

template <class V, class F>
V* Mesh<V, F>::AddVertices(int n, std::initializer_list<V**> pointers) {
  return AddVertices(n, std::vector<V**>(pointers));
}

template <class V, class F>
V* Mesh<V, F>::AddVertices(int n, const std::vector<V**>& pointers) {
  if (n <= 0) return vertices.data() + vertices.size();
  V* oldBase = vertices.data();
  size_t oldSize = vertices.size();
  detail::GrowFor(vertices, oldSize + size_t(n));
  vertices.resize(oldSize + size_t(n));
  vertexCount += n;
  V* newBase = vertices.data();
  if (newBase != oldBase && oldBase != nullptr) {
    auto rebase = [&](V*& p) {
      if (p) p = newBase + (p - oldBase);
    };
    for (V** pp : pointers)
      if (pp) rebase(*pp);
    for (F& f : faces)
      for (auto& p : f.v) rebase(p);
  }
  return newBase + oldSize;
}

template <class V, class F>
void Mesh<V, F>::ClearVertexMarks()
  requires HasMark<V>
{
  for (V& v : vertices)
    if (IsLiveIncluded(v.flags)) v.mark = 0;
}

}  // namespace quarnel
