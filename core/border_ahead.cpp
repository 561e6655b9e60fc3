#include "core/border_ahead.h"

#include "core/prefetch.h"

namespace quarnel {

namespace {

// Whether the edge of f at corner c that is not edge z (a border edge at
// the vertex of that corner) has a neighbour that links back: where it has
// not, the vertex has an edge of three or more faces, and likely three or
// more border edges.
bool LinksBack(const FaceT5& f, int z, int c) {
  const int e = c == z ? (z + 2) % 3 : (z + 1) % 3;
  const FaceT5* g = f.adjFace[e];
  const int k = f.adjIndex[e];
  return g == &f || (g != nullptr && ValidCorner(k) && g->adjFace[k] == &f);
}

}  // namespace

BorderAhead::BorderAhead(const MeshT5& mesh) : mesh_(mesh) {
  // Indices times four must fit a slot with room for the marks.
  if (mesh.faces.size() < (size_t(1) << 29) && mesh.vertices.size() < UINT32_MAX && WorthIt())
    Build();
}

// The border edges of every 64th face stand for those of all: the pass
// over all faces pays only where they are at least one in eight, and most
// of their ends lie where the faces around the end link in pairs.
bool BorderAhead::WorthIt() const {
  constexpr size_t kStride = 64;
  size_t border = 0, paired = 0;
  for (size_t i = 0; i < mesh_.faces.size(); i += kStride) {
    const FaceT5& f = mesh_.faces[i];
    if (f.flags & ElemFlag::Deleted) continue;
    for (int z = 0; z < 3; ++z) {
      if (f.adjFace[z] != &f) continue;
      ++border;
      paired += LinksBack(f, z, z) + LinksBack(f, z, (z + 1) % 3);
    }
  }
  return mesh_.faces.size() >= kStride && border * kStride * 8 >= mesh_.faces.size() &&
         (2 * border - paired) * 8 <= 2 * border;
}

void BorderAhead::AddEnd(size_t vertex, uint32_t edge, size_t far) {
  Slot* s = &slots_[2 * vertex];
  if (s[0].edge == kEmpty)
    s[0] = {edge, uint32_t(far)};
  else if (s[1].edge == kEmpty)
    s[1] = {edge, uint32_t(far)};
  else
    s[1].edge = kMany;
}

namespace {

// A border edge as face index times four plus edge, and its ends.
struct Edge {
  uint32_t edge, a, b;
};

// The border edges of faces begin .. end that are not deleted.
std::vector<Edge> BorderEdges(const MeshT5& mesh, size_t begin, size_t end) {
  std::vector<Edge> out;
  const FaceT5* base = mesh.faces.data();
  for (size_t i = begin; i < end; ++i) {
    PrefetchAhead(base, i, end);
    const FaceT5& f = base[i];
    if (f.flags & ElemFlag::Deleted) continue;
    for (int z = 0; z < 3; ++z) {
      if (f.adjFace[z] != &f) continue;
      const size_t a = mesh.VertexIndex(f.v[z]), b = mesh.VertexIndex(f.v[(z + 1) % 3]);
      if (a < mesh.vertices.size() && b < mesh.vertices.size())
        out.push_back({uint32_t(i << 2) | uint32_t(z), uint32_t(a), uint32_t(b)});
    }
  }
  return out;
}

}  // namespace

// The border edges, each entered at both its ends. The guesses run on only up to a
// vertex of three or more border edges: where those are more than one in
// eight of the edges' ends, a guess reaches too few steps ahead to pay for
// itself, and the table is dropped.
void BorderAhead::Build() {
  const std::vector<Edge> edges = BorderEdges(mesh_, 0, mesh_.faces.size());
  slots_.resize(2 * mesh_.vertices.size());
  for (const Edge& e : edges) {
    AddEnd(e.a, e.edge, e.b);
    AddEnd(e.b, e.edge, e.a);
  }
  size_t many = 0;
  for (const Edge& e : edges)
    many += (slots_[2 * size_t(e.a) + 1].edge == kMany) + (slots_[2 * size_t(e.b) + 1].edge == kMany);
  if (many * 8 > 2 * edges.size()) slots_ = {};
}

bool BorderAhead::Guess(uint32_t vertex, uint32_t& edge) const {
  const Slot* s = &slots_[2 * size_t(vertex)];
  if (s[1].edge >= kMany) return false;
  const int k = s[0].edge == edge ? 1 : s[1].edge == edge ? 0 : -1;
  if (k < 0) return false;
  edge = s[k].edge;
  return true;
}

// Guesses one step more past the last guessed, and fetches its face.
void BorderAhead::Extend() {
  uint32_t edge = ring_[(head_ + size_ - 1) % kAhead];
  const uint32_t from = pivot_;
  if (!Guess(from, edge)) return;
  const Slot* s = &slots_[2 * size_t(from)];
  pivot_ = s[0].edge == edge ? s[0].far : s[1].far;
  ring_[(head_ + size_) % kAhead] = edge;
  ++size_;
  PrefetchRecord(&mesh_.faces[edge >> 2]);
}

void BorderAhead::Follow(const FacePos& p) {
  if (slots_.empty()) return;
  const size_t f = mesh_.FaceIndex(p.f), v = mesh_.VertexIndex(p.v);
  if (f >= mesh_.faces.size() || v >= mesh_.vertices.size() || !ValidCorner(p.z)) {
    size_ = 0;
    return;
  }
  const uint32_t edge = uint32_t(f << 2) | uint32_t(p.z);
  if (size_ > 1 && ring_[head_] == edge) {
    head_ = (head_ + 1) % kAhead;
    --size_;
  } else {
    // Off the guesses: guess again from p, whose pivot is p.v.
    head_ = 0;
    size_ = 1;
    ring_[0] = edge;
    pivot_ = uint32_t(v);
    while (size_ < kAhead) {
      const size_t before = size_;
      Extend();
      if (size_ == before) break;
    }
    head_ = 1, --size_;
    return;
  }
  Extend();
  // The face guessed half way ahead has arrived: its neighbours are those
  // its step turns through.
  if (size_ > kAhead / 2) {
    const FaceT5& g = mesh_.faces[ring_[(head_ + kAhead / 2) % kAhead] >> 2];
    for (const FaceT5* n : g.adjFace) PrefetchRecord(n);
  }
}

}  // namespace quarnel
