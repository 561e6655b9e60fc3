// Unique edges of a mesh and their chaining into line strips, so that a
// wireframe draws every edge once. Written once over the mesh type.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

template <class MeshT>
using EdgeOf = std::pair<typename MeshT::VertexType*, typename MeshT::VertexType*>;

// Replaces `edges` with the unique edges of the faces that are not deleted:
// each pair has the lower address first, and the list is sorted by (first,
// second). Address order is vertex-array order, so the pairs are bucketed by
// the slot of their first vertex and only each vertex's few partners are
// sorted: the same result as one sort of every face edge, at a fraction of
// the memory and time.
template <class MeshT>
void BuildEdgeList(MeshT& m, std::vector<EdgeOf<MeshT>>& edges) {
  using V = typename MeshT::VertexType;
  std::vector<EdgeOf<MeshT>>().swap(edges);
  V* const base = m.vertices.data();
  const size_t nv = m.vertices.size();
  if (nv == 0) return;

  // start[i]..start[i + 1] will hold the partners of vertex i.
  std::vector<size_t> start(nv + 1, 0);
  size_t total = 0;
  for (const auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    for (int k = 0; k < 3; ++k) {
      const V* a = f.v[k];
      const V* b = f.v[k == 2 ? 0 : k + 1];
      ++start[size_t(std::min(a, b) - base) + 1];
    }
    total += 3;
  }
  for (size_t i = 0; i < nv; ++i) start[i + 1] += start[i];

  std::vector<uint32_t> partner(total);
  {
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const auto& f : m.faces) {
      if (!IsLive(f.flags)) continue;
      for (int k = 0; k < 3; ++k) {
        const V* a = f.v[k];
        const V* b = f.v[k == 2 ? 0 : k + 1];
        if (b < a) std::swap(a, b);
        partner[fill[size_t(a - base)]++] = uint32_t(b - base);
      }
    }
  }

  // Sort each vertex's partners, drop repeats and pack the buckets to the
  // front of the array (a bucket only ever moves towards the front, so this
  // works in place).
  size_t w = 0;
  for (size_t i = 0; i < nv; ++i) {
    auto b = partner.begin() + ptrdiff_t(start[i]), e = partner.begin() + ptrdiff_t(start[i + 1]);
    std::sort(b, e);
    e = std::unique(b, e);
    start[i] = w;
    w = size_t(std::copy(b, e, partner.begin() + ptrdiff_t(w)) - partner.begin());
  }
  start[nv] = w;
  edges.reserve(w);
  for (size_t i = 0; i < nv; ++i)
    for (size_t k = start[i]; k < start[i + 1]; ++k) edges.emplace_back(base + i, base + partner[k]);
}

// Replaces `lineStrips` with the edges chained into line strips: a run of
// non-null entries is one strip, one null stands between two strips. Every
// edge is traversed exactly once. At each vertex the walk takes the unused
// incident edge that comes first in `edges`; a new strip starts at the first
// vertex of the first unused edge. `edges` must come from BuildEdgeList on the
// mesh as it stands. While the walk runs, the vertices' flags words hold the
// index of their temporary record (count of incident edges, start of their
// slice in the incidence array); they are restored on every way out.
template <class MeshT>
void BuildLineStrips(MeshT& m, const std::vector<EdgeOf<MeshT>>& edges,
                     std::vector<typename MeshT::VertexType*>& lineStrips) {
  using V = typename MeshT::VertexType;
  std::vector<V*>().swap(lineStrips);
  // No edge (no live face, or every face deleted): nothing to chain.
  if (edges.empty()) return;

  const size_t ne = edges.size();
  std::vector<uint8_t> used(ne, 0);
  std::vector<uint32_t> incident(2 * ne, UINT32_MAX);
  TempVertexData<MeshT> temp(m);
  temp.Start(0, UINT32_MAX);
  auto count = [&](const V* v) -> uint32_t& { return temp(v).word0; };
  auto first = [&](const V* v) -> uint32_t& { return temp(v).word1; };

  for (const auto& e : edges) {
    ++count(e.first);
    ++count(e.second);
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < temp.Size(); ++i) {
    temp.At(i).word1 = sum;
    sum += temp.At(i).word0;
    temp.At(i).word0 = 0;  // counts again while the slices fill
  }
  // Edges are visited in list order, so each slice lists its edges in
  // ascending order; the count doubles as the fill position.
  for (size_t e = 0; e < ne; ++e)
    for (const V* v : {edges[e].first, edges[e].second}) incident[first(v) + count(v)++] = uint32_t(e);

  // From here on a slice is only consumed front to back: a vertex's used
  // edges are skipped once for good by moving its slice start past them, so
  // the walk stays linear even at vertices of high degree.
  auto nextUnused = [&](const V* v) -> size_t {
    uint32_t& k = first(v);
    uint32_t& n = count(v);
    while (n > 0 && used[incident[k]]) {
      ++k;
      --n;
    }
    return n > 0 ? incident[k] : ne;
  };

  lineStrips.reserve(ne + ne / 4 + 2);
  V* current = edges[0].first;
  size_t next = 0;
  size_t done = 0;
  lineStrips.push_back(current);
  while (done < ne) {
    const size_t e = nextUnused(current);
    if (e < ne) {
      used[e] = 1;
      ++done;
      current = edges[e].first == current ? edges[e].second : edges[e].first;
      lineStrips.push_back(current);
    } else {
      lineStrips.push_back(nullptr);
      while (used[next]) ++next;
      current = edges[next].first;
      lineStrips.push_back(current);
    }
  }
  temp.Stop();
}

}  // namespace quarnel
