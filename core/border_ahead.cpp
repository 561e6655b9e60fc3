#include "core/border_ahead.h"

#include "core/prefetch.h"

namespace quarnel {

BorderAhead::BorderAhead(const MeshT5& mesh) : mesh_(mesh) {
  // Indices times four must fit a slot with room for the marks.
  if (mesh.faces.size() < (size_t(1) << 29) && mesh.vertices.size() < UINT32_MAX && WorthIt())
    Build();
}

// The border edges of every 64th face stand for those of all: the pass
// over all faces pays only where they are at least one in eight.
bool BorderAhead::WorthIt() const {
  constexpr size_t kStride = 64;
  size_t border = 0;
  for (size_t i = 0; i < mesh_.faces.size(); i += kStride) {
    const FaceT5& f = mesh_.faces[i];
    if (f.flags & ElemFlag::Deleted) continue;
    for (int z = 0; z < 3; ++z) border += f.adjFace[z] == &f;
  }
  return mesh_.faces.size() >= kStride && border * kStride * 8 >= mesh_.faces.size();
}

void BorderAhead::AddEnd(size_t vertex, uint32_t edge, size_t far) {
  Slot* s = &slots_[kSlots * vertex];
  for (size_t k = 0; k < kSlots; ++k)
    if (s[k].edge == kEmpty) {
      s[k] = {edge, uint32_t(far)};
      return;
    }
  s[kSlots - 1].edge = kMany;
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

// The border edges, each entered at both its ends. The guesses run on only
// up to a vertex of more than kSlots border edges: where those are more
// than one in eight of the edges' ends, a guess reaches too few steps ahead
// to pay for itself, and the table is dropped.
void BorderAhead::Build() {
  const std::vector<Edge> edges = BorderEdges(mesh_, 0, mesh_.faces.size());
  slots_.resize(kSlots * mesh_.vertices.size());
  for (const Edge& e : edges) {
    AddEnd(e.a, e.edge, e.b);
    AddEnd(e.b, e.edge, e.a);
  }
  size_t many = 0;
  for (const Edge& e : edges)
    many += (slots_[kSlots * size_t(e.a) + kSlots - 1].edge == kMany) +
            (slots_[kSlots * size_t(e.b) + kSlots - 1].edge == kMany);
  if (many * 8 > 2 * edges.size()) slots_ = {};
}

// At a vertex of two border edges, the other. At one of three or four, the
// step turns from edge's face across its other edge at the vertex: where the
// face over there has one border edge at the vertex, that one (mayRead:
// edge's face has been fetched).
bool BorderAhead::Guess(uint32_t vertex, uint32_t& edge, bool mayRead) const {
  const Slot* s = &slots_[kSlots * size_t(vertex)];
  if (s[kSlots - 1].edge == kMany || s[1].edge == kEmpty) return false;
  if (s[2].edge == kEmpty) {
    const int k = s[0].edge == edge ? 1 : s[1].edge == edge ? 0 : -1;
    if (k < 0) return false;
    edge = s[k].edge;
    return true;
  }
  if (!mayRead) return false;
  const FaceT5& f = mesh_.faces[edge >> 2];
  const int z = int(edge & 3);
  const int e = f.v[(z + 1) % 3] == &mesh_.vertices[vertex] ? (z + 1) % 3 : (z + 2) % 3;
  const size_t n = mesh_.FaceIndex(f.adjFace[e]);
  uint32_t found = kEmpty;
  for (size_t k = 0; k < kSlots && s[k].edge != kEmpty; ++k)
    if ((s[k].edge >> 2) == n) {
      if (found != kEmpty) return false;
      found = s[k].edge;
    }
  if (found == kEmpty) return false;
  edge = found;
  return true;
}

// Guesses one step more past the last guessed, and fetches its face.
bool BorderAhead::Extend(bool mayRead) {
  uint32_t edge = ring_[(head_ + size_ - 1) % kAhead];
  const uint32_t from = pivot_;
  if (!Guess(from, edge, mayRead)) return false;
  const Slot* s = &slots_[kSlots * size_t(from)];
  size_t k = 0;
  while (k + 1 < kSlots && s[k].edge != edge) ++k;
  pivot_ = s[k].far;
  ring_[(head_ + size_) % kAhead] = edge;
  ++size_;
  PrefetchRecord(&mesh_.faces[edge >> 2]);
  return true;
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
    // p's face is in cache: the walk has just read it.
    for (bool read = true; size_ < kAhead && Extend(read); read = false) {
    }
    head_ = 1, --size_;
    return;
  }
  // The last guessed was fetched a step or more before.
  for (bool read = true; size_ < kAhead && Extend(read); read = false) {
  }
  // The face guessed half way ahead has arrived: its neighbours are those
  // its step turns through.
  if (size_ > kAhead / 2) {
    const FaceT5& g = mesh_.faces[ring_[(head_ + kAhead / 2) % kAhead] >> 2];
    for (const FaceT5* n : g.adjFace) PrefetchRecord(n);
  }
}

}  // namespace quarnel
