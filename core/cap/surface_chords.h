// The surface's own edges between points of the cut's loops, which a cap
// must not lay a second face beside.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "core/border_loops.h"
#include "core/cap/cap_loop.h"
#include "core/incremental_adjacency.h"
#include "core/mesh.h"
#include "core/parallel_for.h"

namespace quarnel {

// Edges of the surface that join two points of the loops through its
// inside: a cap triangle on one would give it a third face. The plane edge
// collapse can leave such a chord across the cap's region, where it merges
// a point just off the plane into a loop point and the point had an edge to
// another loop point; or the whole kept part is thinner than the collapse's
// tolerance and lies flat on the plane, its own faces already spanning the
// loop. Several threads may ask at once: the lists that the first question
// sorts are sorted once.
class SurfaceChords {
 public:
  // Also reads what old holds of the faces. The edges of caps, all taken
  // together, are the steps of the walks chosen (as LoopsInPlane makes them,
  // split at pinches or not).
  SurfaceChords(const MeshT5& mesh, const std::vector<CapLoop>& caps, const LoopWalks& walks,
                const std::vector<size_t>& chosen, OldFaces& old);

  bool Empty() const { return chords_.empty(); }

  // Whether a and b, both points of the loops, are the ends of a chord;
  // a null point (one the cap makes) is no loop's.
  bool Joins(const VertexT5* a, const VertexT5* b) const {
    return a != nullptr && b != nullptr && onLoop_[mesh_.VertexIndex(a)] == 2 &&
           onLoop_[mesh_.VertexIndex(b)] == 2 &&
           std::binary_search(chords_.begin(), chords_.end(), Key(a, b));
  }

  // How many faces of the surface have an edge from a, a point of the
  // loops, to b, the third corner of a face on a loop, less twice those
  // whose third corner is c or d: what the edge keeps when faces a, b, c
  // and a, b, d are added and each face they make again goes with the one
  // it doubles.
  int FacesLeftOn(const VertexT5* a, const VertexT5* b, const VertexT5* c,
                  const VertexT5* d) const {
    std::call_once(spokesSorted_, [this] { ParallelSort(spokes_); });
    const uint64_t key = Key(a, b);
    int left = 0;
    for (auto it = std::lower_bound(spokes_.begin(), spokes_.end(), std::pair(key, size_t(0)));
         it != spokes_.end() && it->first == key; ++it)
      left += it->second == mesh_.VertexIndex(c) || it->second == mesh_.VertexIndex(d) ? -1 : 1;
    return left;
  }

  // Whether some side of the triangles (indices into corners) is a chord.
  template <class Index>
  bool AnyOn(const std::vector<Index>& triangles, const std::vector<VertexT5*>& corners) const {
    for (size_t t = 0; t + 2 < triangles.size() && !Empty(); t += 3)
      for (int k = 0; k < 3; ++k)
        if (Joins(corners[size_t(triangles[t + size_t(k)])],
                  corners[size_t(triangles[t + size_t(k + 1) % 3])]))
          return true;
    return false;
  }

  // Whether the triangles, added to the surface, leave no edge with more
  // than two faces and no triangle with a corner twice. Sides with a null
  // end (a point the cap makes) are new to the surface.
  template <class Index>
  bool KeepManifold(const std::vector<Index>& triangles,
                    const std::vector<VertexT5*>& corners) const {
    std::call_once(usesSorted_, [this] { ParallelSort(uses_); });
    std::vector<uint64_t> sides;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3)
      for (size_t k = 0; k < 3; ++k) {
        const VertexT5 *a = corners[size_t(triangles[t + k])],
                       *b = corners[size_t(triangles[t + (k + 1) % 3])];
        if (a == nullptr || b == nullptr) continue;
        if (a == b) return false;
        sides.push_back(Key(a, b));
      }
    std::sort(sides.begin(), sides.end());
    for (size_t i = 0; i < sides.size();) {
      size_t j = i + 1;
      while (j < sides.size() && sides[j] == sides[i]) ++j;
      const auto [lo, hi] = std::equal_range(uses_.begin(), uses_.end(), sides[i]);
      if (j - i + size_t(hi - lo) > 2) return false;
      i = j;
    }
    return true;
  }

 private:
  struct Found;
  // What the faces first .. end - 1 hold (see Found); far marks the third
  // corners of the loops' faces.
  void Scan(size_t first, size_t end, const std::vector<uint8_t>& far, Found& found) const;
  // Room for what the ranges found, put together in one go.
  void ReserveFor(const std::vector<Found>& found, OldFaces& old);

  uint64_t Key(const VertexT5* a, const VertexT5* b) const {
    const uint64_t i = mesh_.VertexIndex(a), j = mesh_.VertexIndex(b);
    return i < j ? i * n_ + j : j * n_ + i;
  }

  const MeshT5& mesh_;
  uint64_t n_;
  std::vector<uint8_t> onLoop_;  // 1 on a loop, 2 also at the end of a chord
  std::vector<uint64_t> chords_;
  mutable std::vector<uint64_t> uses_;  // of every face's sides between loop points
  mutable std::once_flag usesSorted_;
  // Every face's sides from a point of the loops to the third corner of a
  // face on a loop, with the face's own third corner.
  mutable std::vector<std::pair<uint64_t, size_t>> spokes_;
  mutable std::once_flag spokesSorted_;
};

}  // namespace quarnel
