// Sets of indices joined by links (parent[i] is i's link, i for a root),
// each root the smallest index of its set: a link only ever points from a
// root to a smaller index. The sets so come out the same whatever order
// the joins come in.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

namespace quarnel {

// The root of i's set, halving the path on the way.
inline uint32_t SetRoot(std::vector<uint32_t>& parent, uint32_t i) {
  while (parent[i] != i) i = parent[i] = parent[parent[i]];
  return i;
}

// Joins the sets of a and b.
inline void JoinSets(std::vector<uint32_t>& parent, uint32_t a, uint32_t b) {
  a = SetRoot(parent, a), b = SetRoot(parent, b);
  parent[std::max(a, b)] = std::min(a, b);
}

// SetRoot and JoinSets for several threads joining at once: a link is set
// only where the larger root is still a root, and a link read while another
// thread shortens a path is one to an index of the same set.
inline uint32_t SharedSetRoot(std::vector<uint32_t>& parent, uint32_t i) {
  for (;;) {
    const uint32_t p = std::atomic_ref(parent[i]).load(std::memory_order_acquire);
    if (p == i) return i;
    const uint32_t g = std::atomic_ref(parent[p]).load(std::memory_order_acquire);
    if (g != p) std::atomic_ref(parent[i]).store(g, std::memory_order_release);
    i = g;
  }
}

inline void SharedJoinSets(std::vector<uint32_t>& parent, uint32_t a, uint32_t b) {
  for (;;) {
    a = SharedSetRoot(parent, a), b = SharedSetRoot(parent, b);
    if (a == b) return;
    if (a > b) std::swap(a, b);
    uint32_t root = b;
    if (std::atomic_ref(parent[b]).compare_exchange_strong(root, a, std::memory_order_acq_rel))
      return;
  }
}

// Each index's root, once the joins are done.
inline void FlattenSets(std::vector<uint32_t>& parent) {
  for (uint32_t i = 0; i < parent.size(); ++i) parent[i] = SetRoot(parent, i);
}

}  // namespace quarnel
