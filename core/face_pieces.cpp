#include "core/face_pieces.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "core/index_sets.h"
#include "core/parallel_for.h"

namespace quarnel {

namespace {

// Per face, a face of its piece, smaller unless it is the first; false
// when a link leads out of the array. The faces are read range by range on
// threads, each joining sets as it goes (SharedJoinSets: the sets come out
// the same in any order).
bool JoinLinkedFaces(const MeshT5& mesh, std::vector<uint32_t>& parent) {
  const FaceT5* const base = mesh.faces.data();
  const size_t size = mesh.faces.size();
  parent.resize(size);
  std::iota(parent.begin(), parent.end(), 0u);
  const std::vector<uint8_t> outside = ParallelCollect(size, [&](size_t begin, size_t end) {
    uint8_t out = 0;
    for (size_t i = begin; i < end; ++i)
      for (const FaceT5* n : base[i].adjFace) {
        if (n == nullptr || n == base + i) continue;
        if (n < base || n >= base + size)
          out = 1;
        else
          SharedJoinSets(parent, uint32_t(i), uint32_t(n - base));
      }
    return out;
  });
  return std::find(outside.begin(), outside.end(), 1) == outside.end();
}

// The largest first face of a piece, once the joins are done.
uint32_t LastRoot(const std::vector<uint32_t>& parent) {
  uint32_t i = uint32_t(parent.size() - 1);
  while (parent[i] != i) --i;
  return i;
}

// The group of each face, from its root: group g takes the pieces whose
// roots lie about in the g-th share of [0, roots), the same for the same
// root.
uint32_t GroupOf(uint32_t root, double groupsPerRoot, size_t groups) {
  return std::min(uint32_t(double(root) * groupsPerRoot), uint32_t(groups - 1));
}

// The faces by group, each group's in ascending order: a counting sort on
// threads, range by range. The first pass finds each face's group (its
// root: the paths that other threads shorten meanwhile still end there)
// and counts the range's faces in each group, the second places them.
std::vector<std::vector<uint32_t>> GatherGroups(std::vector<uint32_t>& parent, uint64_t roots,
                                                size_t groups) {
  const size_t n = parent.size(), parts = ParallelThreads(n);
  const double groupsPerRoot = double(groups) / double(roots);
  const auto eachRange = [&](auto&& work) {
    ParallelFor(parts, [&](size_t r) { work(r, n * r / parts, n * (r + 1) / parts); }, 1);
  };
  std::vector<uint32_t> group(n);
  // Per range, the number of its faces in each group; then where its first
  // face of each group goes.
  std::vector<std::vector<uint32_t>> at(parts, std::vector<uint32_t>(groups, 0));
  eachRange([&](size_t r, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      group[i] = GroupOf(SharedSetRoot(parent, uint32_t(i)), groupsPerRoot, groups);
      ++at[r][group[i]];
    }
  });
  std::vector<std::vector<uint32_t>> faces(groups);
  for (size_t g = 0; g < groups; ++g) {
    uint32_t next = 0;
    for (std::vector<uint32_t>& range : at) next += std::exchange(range[g], next);
    faces[g].resize(next);
  }
  eachRange([&](size_t r, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) faces[group[i]][at[r][group[i]]++] = uint32_t(i);
  });
  return faces;
}

}  // namespace

std::vector<std::vector<uint32_t>> GroupFacePieces(const MeshT5& mesh, size_t groups) {
  if (mesh.faces.empty() || mesh.faces.size() >= size_t(UINT32_MAX) || groups < 2) return {};
  std::vector<uint32_t> parent;
  if (!JoinLinkedFaces(mesh, parent)) return {};
  const uint64_t roots = uint64_t(LastRoot(parent)) + 1;
  if (roots == 1) return {};
  return GatherGroups(parent, roots, size_t(std::min<uint64_t>(groups, roots)));
}

}  // namespace quarnel
