#include "core/places.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <numeric>

#include "core/prefetch.h"

namespace quarnel {

namespace {

uint32_t Root(std::vector<uint32_t>& parent, uint32_t i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

}  // namespace

std::vector<uint32_t> GroupByPlace(std::span<const Vec3d> points, double tolerance) {
  const size_t n = points.size();
  std::vector<uint32_t> parent(n);
  std::iota(parent.begin(), parent.end(), 0u);
  if (n < 2) return parent;
  // Cells of a grid far wider than the tolerance: a point meets only
  // points of the cells that its tolerance reaches into, nearly always its
  // own alone.
  double cell = 64.0 * tolerance;
  if (!(cell > 0.0)) {
    double largest = 0.0;
    for (const Vec3d& p : points)
      if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))
        largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    cell = largest > 0.0 ? largest * 1e-9 : 1.0;
  }
  auto index = [cell](double c) {
    return int64_t(std::floor(c / cell));
  };
  // Coordinates beyond this many cells are not gridded: such points stay
  // places of their own (no model coordinate comes near it).
  const double reach = 0x1p40 * cell;
  // A cell by a hash of its indices alone: two cells with one hash (as good
  // as never) share a list, whose points are compared by their coordinates.
  auto key = [](int64_t x, int64_t y, int64_t z) {
    uint64_t h = uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y) * 0xC2B2AE3D27D4EB4Full ^
                 uint64_t(z) * 0x165667B19E3779F9ull;
    return h ^ (h >> 29);
  };
  const size_t size = std::bit_ceil(2 * n + 2);
  struct Slot {
    uint64_t key;
    uint32_t head;  // first point of the cell, UINT32_MAX when empty
  };
  std::vector<Slot> table(size, Slot{0, UINT32_MAX});
  std::vector<uint32_t> next(n, UINT32_MAX);
  auto find = [&](uint64_t k) -> Slot& {
    for (size_t s = size_t(k) & (size - 1);; s = (s + 1) & (size - 1)) {
      Slot& slot = table[s];
      if (slot.head == UINT32_MAX || slot.key == k) return slot;
    }
  };
  auto meet = [&](uint32_t i, const Slot& slot) {
    const Vec3d& p = points[i];
    for (uint32_t j = slot.head; j != UINT32_MAX; j = next[j]) {
      const Vec3d& q = points[j];
      if (std::fabs(p.x - q.x) <= tolerance && std::fabs(p.y - q.y) <= tolerance &&
          std::fabs(p.z - q.z) <= tolerance) {
        const uint32_t a = Root(parent, i), b = Root(parent, j);
        parent[std::max(a, b)] = std::min(a, b);
      }
    }
  };
  // Each point's own cell, so that its slot can be fetched ahead: the
  // table is far larger than a cache.
  std::vector<uint64_t> owns(n, 0);
  auto gridded = [&](const Vec3d& p) {
    return std::fabs(p.x) < reach && std::fabs(p.y) < reach && std::fabs(p.z) < reach;
  };
  for (uint32_t i = 0; i < n; ++i)
    if (gridded(points[i]))
      owns[i] = key(index(points[i].x), index(points[i].y), index(points[i].z));
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < n; ++i) {
    if (i + kAhead < n) Prefetch(&table[size_t(owns[i + kAhead]) & (size - 1)]);
    const Vec3d& p = points[i];
    if (!gridded(p)) continue;
    const int64_t x0 = index(p.x - tolerance), x1 = index(p.x + tolerance);
    const int64_t y0 = index(p.y - tolerance), y1 = index(p.y + tolerance);
    const int64_t z0 = index(p.z - tolerance), z1 = index(p.z + tolerance);
    const uint64_t own = owns[i];
    Slot& slot = find(own);
    if (x0 == x1 && y0 == y1 && z0 == z1) {
      // Its tolerance stays within its own cell, as nearly always.
      meet(i, slot);
    } else {
      for (int64_t x = x0; x <= x1; ++x)
        for (int64_t y = y0; y <= y1; ++y)
          for (int64_t z = z0; z <= z1; ++z) {
            const uint64_t k = key(x, y, z);
            if (k != own) meet(i, find(k));
          }
      meet(i, slot);
    }
    // No slot is taken between the find of its own cell and here.
    slot.key = own;
    next[i] = slot.head;
    slot.head = i;
  }
  for (uint32_t i = 0; i < n; ++i)
    parent[i] = Root(parent, i);
  return parent;
}

double PlaceTolerance(const BBox3f& box) {
  if (box.IsNull()) return 0.0;
  double size = 0.0;
  for (const Vec3f& corner : {box.min, box.max})
    size = std::max({size, std::fabs(double(corner.x)), std::fabs(double(corner.y)),
                     std::fabs(double(corner.z))});
  return std::isfinite(size) ? 4.0 * double(FLT_EPSILON) * size : 0.0;
}

}  // namespace quarnel
