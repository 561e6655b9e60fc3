// Triangle strips of a mesh's live faces and the 16-bit index runs made from
// them. Written once over the mesh type: a type with face-face adjacency
// grows strips greedily across its edges; a type without it has no
// neighbours to offer, so every live face becomes a strip of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mesh.h"
#include "render/gl_mesh.h"

namespace quarnel {

// OpenGL primitive codes of the index runs (GL_TRIANGLES, GL_TRIANGLE_STRIP),
// kept here so that the builders need no OpenGL header.
inline constexpr int32_t kRunTriangles = 4;
inline constexpr int32_t kRunTriangleStrip = 5;
// Positions 0 to 65535 fit the 16-bit indices.
inline constexpr size_t kMaxIndexedVertices = 65536;

template <class MeshT>
class TriStripper {
 public:
  using V = typename MeshT::VertexType;
  using F = typename MeshT::FaceType;
  static constexpr bool kAdjacency = HasAdjacency<F>;

  // A position on the surface: face, edge z (from corner z to corner z + 1)
  // and one end of that edge.
  struct Cursor {
    F* f = nullptr;
    int z = 0;
    V* v = nullptr;
  };

  // Replaces `strips` and `stripFaces` with strips over the live faces; each
  // strip is three or more vertices and a null. Leaves the visited bit set on
  // every live face. The adjacency is read defensively: a link that is null,
  // leaves the face array or reaches a deleted face counts as a border, and
  // every walk is bounded, so stale or broken adjacency never hangs or reads
  // out of bounds.
  static void Build(MeshT& m, std::vector<V*>& strips, std::vector<F*>& stripFaces) {
    std::vector<V*>().swap(strips);
    std::vector<F*>().swap(stripFaces);
    TriStripper s(m);
    s.Run(strips, stripFaces);
  }

  // Replaces `indexRuns` and `indices`: one strip run per strip of more than
  // three vertices, then one triangle run with every lone triangle. A vertex
  // array of more than 65536 slots cannot be addressed with 16 bits: both
  // lists are then left empty, and the smooth fill draws the strips instead.
  static bool BuildIndexArrays(const MeshT& m, const std::vector<V*>& strips,
                               std::vector<IndexRun>& indexRuns, std::vector<uint16_t>& indices) {
    std::vector<IndexRun>().swap(indexRuns);
    indices.clear();
    if (m.vertices.size() > kMaxIndexedVertices) {
      indices.shrink_to_fit();
      return false;
    }
    const V* base = m.vertices.data();
    std::vector<uint16_t> lone;
    indices.reserve(strips.size());
    size_t start = 0;
    int32_t first = 0;
    for (size_t i = 0; i < strips.size(); ++i) {
      if (strips[i]) {
        indices.push_back(uint16_t(strips[i] - base));
        continue;
      }
      const size_t len = i - start;
      if (len == 3) {
        indices.resize(indices.size() - 3);
        for (size_t k = i - 3; k < i; ++k) lone.push_back(uint16_t(strips[k] - base));
      } else if (len > 0) {
        indexRuns.push_back({kRunTriangleStrip, int32_t(len), first});
        first = int32_t(indices.size());
      }
      start = i + 1;
    }
    indexRuns.push_back({kRunTriangles, int32_t(lone.size()), first});
    indices.insert(indices.end(), lone.begin(), lone.end());
    return true;
  }

  explicit TriStripper(MeshT& m) : m_(m) {}

  // The four questions the builder asks of the mesh. Without adjacency there
  // is no free neighbour: no face is queued, no start can grow, no strip
  // advances.
  int CountFreeNeighbours(const F* f) const {
    if constexpr (kAdjacency) {
      int n = 0;
      for (int z = 0; z < 3; ++z) n += Free(f, z);
      return n;
    } else {
      (void)f;
      return 0;
    }
  }

  void QueueNeighbours(const F* f) {
    if constexpr (kAdjacency) {
      for (int z = 0; z < 3; ++z) {
        if (!Free(f, z)) continue;
        F* g = f->adjFace[z];
        const int n = CountFreeNeighbours(g);
        if (n == 1) one_.push_back(g);
        else if (n == 2) two_.push_back(g);
      }
    } else {
      (void)f;
    }
  }

  // Start i (0..5) of face f: edge i / 2, the cursor vertex at its second end
  // for even i and at its first end for odd i. Returns how far a strip from
  // there could grow: 0 not at all, 1 one face, 2 two faces or more.
  int TryStart(Cursor& c, F* f, int i) {
    const int z = i / 2;
    c = {f, z, (i & 1) ? f->v[z] : f->v[z == 2 ? 0 : z + 1]};
    if constexpr (kAdjacency) {
      if (!Free(f, z)) return 0;
      Cursor probe = c;
      size_t scratch = 0;
      if (!Advance(probe, scratch)) return 1;
      return Advance(probe, scratch) ? 2 : 1;
    } else {
      return 0;
    }
  }

  // Moves the cursor into the next face of the strip and counts it in n.
  // When the strip cannot leave that face by the edge opposite its entry
  // vertex but can by the other one, the cursor goes back to the face it
  // came from (a swap): the strip then repeats a vertex and enters the face
  // again the other way. A swap whose link does not lead back to that face
  // (broken adjacency, faces that repeat a vertex) ends the strip instead;
  // the face entered is not counted and is left for a later strip.
  bool Advance(Cursor& c, size_t& n) {
    if constexpr (kAdjacency) {
      if (!Free(c.f, c.z)) return false;
      const F* const from = c.f;
      FlipF(c);
      FlipE(c);
      FlipV(c);
      ++n;
      if (Free(c.f, c.z)) return true;
      FlipE(c);
      if (!Free(c.f, c.z)) return true;
      FlipE(c);
      FlipV(c);
      FlipE(c);
      --n;
      if (!Linked(c.f, c.z) || c.f->adjFace[c.z] != from) return false;
      FlipF(c);
      FlipV(c);
      return true;
    } else {
      (void)c;
      (void)n;
      return false;
    }
  }

 private:
  MeshT& m_;
  std::vector<F*> one_;  // faces believed to have one free neighbour
  std::vector<F*> two_;  // and two

  // The face across edge z is a real, live neighbour whose link is sound.
  bool Linked(const F* f, int z) const {
    if constexpr (kAdjacency) {
      const F* g = f->adjFace[z];
      if (g == f || g == nullptr) return false;
      const F* base = m_.faces.data();
      if (g < base || g >= base + m_.faces.size()) return false;
      const int gz = f->adjIndex[z];
      return gz >= 0 && gz < 3 && IsLive(g->flags);
    } else {
      (void)f;
      (void)z;
      return false;
    }
  }
  bool Free(const F* f, int z) const {
    if constexpr (kAdjacency)
      return Linked(f, z) && !(f->adjFace[z]->flags & ElemFlag::Visited);
    else
      return false;
  }

  static void FlipV(Cursor& c) {
    c.v = c.v == c.f->v[c.z] ? c.f->v[c.z == 2 ? 0 : c.z + 1] : c.f->v[c.z];
  }
  static void FlipE(Cursor& c) {
    c.z = c.v == c.f->v[c.z] ? (c.z + 2) % 3 : (c.z + 1) % 3;
  }
  static void FlipF(Cursor& c)
    requires kAdjacency
  {
    const int z = c.f->adjIndex[c.z];
    c.f = c.f->adjFace[c.z];
    c.z = z;
  }

  // Takes a start face from a queue: the first unvisited candidate that still
  // has `wanted` free neighbours.
  F* Pop(std::vector<F*>& q, int wanted) {
    while (!q.empty()) {
      F* f = q.back();
      q.pop_back();
      if (!(f->flags & ElemFlag::Visited) && CountFreeNeighbours(f) == wanted) return f;
    }
    return nullptr;
  }

  void Run(std::vector<V*>& strips, std::vector<F*>& stripFaces) {
    F* const begin = m_.faces.data();
    F* const end = begin + m_.faces.size();
    for (F* f = begin; f != end; ++f) {
      if (!IsLive(f->flags)) continue;
      f->flags &= ~ElemFlag::Visited;
      if constexpr (kAdjacency) {
        int borders = 0;
        for (int z = 0; z < 3; ++z) borders += f->adjFace[z] == f;
        if (borders == 2) one_.push_back(f);
        else if (borders == 1) two_.push_back(f);
      }
    }
    // Without adjacency every face takes four entries; with it long strips
    // take little more than one per face.
    const size_t expected = m_.faces.size() * (kAdjacency ? 2 : 4);
    strips.reserve(expected);
    stripFaces.reserve(expected);

    // A strip emits at most one swap per face it enters, so no sound strip
    // is longer than this; the bound only stops walks over broken links.
    const size_t maxSteps = 2 * m_.faces.size() + 2;
    size_t done = 0;
    F* scan = begin;
    while (done < size_t(m_.faceCount > 0 ? m_.faceCount : 0)) {
      F* f = Pop(one_, 1);
      if (!f) f = Pop(two_, 2);
      if (!f) {
        while (scan != end && (scan->flags & (ElemFlag::Deleted | ElemFlag::Visited))) ++scan;
        // faceCount larger than the live faces: every face is placed.
        if (scan == end) break;
        f = scan++;
      }
      ++done;
      f->flags |= ElemFlag::Visited;
      QueueNeighbours(f);

      Cursor best;
      int bestValue = -1;
      for (int i = 0; i < 6; ++i) {
        Cursor c;
        const int value = TryStart(c, f, i);
        if (value > bestValue) {
          bestValue = value;
          best = c;
        }
      }
      V* const v = best.v;
      V* const w = v == f->v[best.z] ? f->v[best.z == 2 ? 0 : best.z + 1] : f->v[best.z];
      V* const u = f->v[(best.z + 2) % 3];
      strips.insert(strips.end(), {u, w, v});
      stripFaces.insert(stripFaces.end(), {f, f, f});

      Cursor c = best;
      for (size_t step = 0; step < maxSteps && Advance(c, done); ++step) {
        strips.push_back(c.v);
        stripFaces.push_back(c.f);
        c.f->flags |= ElemFlag::Visited;
        QueueNeighbours(c.f);
      }
      strips.push_back(nullptr);
      stripFaces.push_back(nullptr);
    }
    std::vector<F*>().swap(one_);
    std::vector<F*>().swap(two_);
  }
};

}  // namespace quarnel
