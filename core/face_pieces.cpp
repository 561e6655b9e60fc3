#include "core/face_pieces.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "core/index_sets.h"
#include "core/parallel_for.h"

namespace quarnel {

namespace {

// What the joins of one range of faces left: the links that lead out of
// it, and whether one leads out of the array.
struct RangeJoins {
  std::vector<std::pair<uint32_t, uint32_t>> across;
  bool outside = false;
};

// Joins the faces of [begin, end) with the faces they link to in that
// range; the links to faces out of it are left in the result. Reads no
// face but those of the range, and reads and writes no entry of parent out
// of it: ranges may be joined on threads at once.
RangeJoins JoinRange(const MeshT5& mesh, size_t begin, size_t end, std::vector<uint32_t>& parent) {
  const FaceT5* const base = mesh.faces.data();
  const size_t size = mesh.faces.size();
  RangeJoins range;
  for (size_t i = begin; i < end; ++i) {
    const FaceT5* const f = base + i;
    for (const FaceT5* n : f->adjFace) {
      if (n == nullptr || n == f) continue;
      if (n < base || n >= base + size) {
        range.outside = true;
        continue;
      }
      const size_t j = size_t(n - base);
      if (j >= begin && j < end)
        JoinSets(parent, uint32_t(i), uint32_t(j));
      else
        range.across.emplace_back(uint32_t(i), uint32_t(j));
    }
  }
  return range;
}

// Per face, a face of its piece, smaller unless it is the first; false
// when a link leads out of the array. The ranges are joined on threads,
// then the links across them (SharedJoinSets: the sets come out the same
// in any order).
bool JoinLinkedFaces(const MeshT5& mesh, std::vector<uint32_t>& parent) {
  parent.resize(mesh.faces.size());
  std::iota(parent.begin(), parent.end(), 0u);
  const std::vector<RangeJoins> ranges = ParallelCollect(
      mesh.faces.size(), [&](size_t begin, size_t end) { return JoinRange(mesh, begin, end, parent); });
  for (const RangeJoins& range : ranges)
    if (range.outside) return false;
  ParallelFor(
      ranges.size(),
      [&](size_t r) {
        for (const auto& [a, b] : ranges[r].across)
          SharedJoinSets(parent, a, b);
      },
      1);
  return true;
}

// Each entry's root, on threads, into root: the joins are done, so the
// paths that other threads shorten meanwhile still end there. Returns the
// largest root.
uint32_t FindRoots(std::vector<uint32_t>& parent, std::vector<uint32_t>& root) {
  root.resize(parent.size());
  const std::vector<uint32_t> largest =
      ParallelCollect(parent.size(), [&](size_t begin, size_t end) {
        uint32_t last = 0;
        for (size_t i = begin; i < end; ++i) {
          root[i] = SharedSetRoot(parent, uint32_t(i));
          last = std::max(last, root[i]);
        }
        return last;
      });
  return *std::max_element(largest.begin(), largest.end());
}

// The group of each face, from its root: group g takes
// the pieces whose roots lie about in the g-th share of [0, roots), the
// same for the same root.
uint32_t GroupOf(uint32_t root, double groupsPerRoot, size_t groups) {
  return std::min(uint32_t(double(root) * groupsPerRoot), uint32_t(groups - 1));
}

// The faces by group, each group's in ascending order: a counting sort,
// the faces counted and then placed range by range on threads.
std::vector<std::vector<uint32_t>> GatherGroups(const std::vector<uint32_t>& root, uint64_t roots,
                                                size_t groups) {
  const size_t n = root.size(), parts = ParallelThreads(n);
  const double groupsPerRoot = double(groups) / double(roots);
  const auto eachRange = [&](auto&& work) {
    ParallelFor(parts, [&](size_t r) { work(r, n * r / parts, n * (r + 1) / parts); }, 1);
  };
  // Per range, the number of its faces in each group; then where its first
  // face of each group goes.
  std::vector<std::vector<uint32_t>> at(parts, std::vector<uint32_t>(groups, 0));
  eachRange([&](size_t r, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) ++at[r][GroupOf(root[i], groupsPerRoot, groups)];
  });
  std::vector<std::vector<uint32_t>> faces(groups);
  for (size_t g = 0; g < groups; ++g) {
    uint32_t next = 0;
    for (std::vector<uint32_t>& range : at) next += std::exchange(range[g], next);
    faces[g].resize(next);
  }
  eachRange([&](size_t r, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const uint32_t g = GroupOf(root[i], groupsPerRoot, groups);
      faces[g][at[r][g]++] = uint32_t(i);
    }
  });
  return faces;
}

}  // namespace

std::vector<std::vector<uint32_t>> GroupFacePieces(const MeshT5& mesh, size_t groups) {
  if (mesh.faces.empty() || mesh.faces.size() >= size_t(UINT32_MAX) || groups < 2) return {};
  std::vector<uint32_t> parent;
  if (!JoinLinkedFaces(mesh, parent)) return {};
  std::vector<uint32_t> root;
  const uint64_t roots = uint64_t(FindRoots(parent, root)) + 1;
  if (roots == 1) return {};
  return GatherGroups(root, roots, size_t(std::min<uint64_t>(groups, roots)));
}

}  // namespace quarnel
