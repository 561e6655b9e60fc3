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

double OwnRounding(const Vec3d& p) {
  const double size = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  if (!std::isfinite(size) || !(size < double(FLT_MAX))) return 0.0;
  const float f = float(size);
  return double(std::nextafter(f, FLT_MAX)) - double(f);
}

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
  // The floor of c / cell, asked only of coordinates within reach (below):
  // truncated and stepped down where that rounded up.
  auto index = [cell](double c) {
    const double q = c / cell;
    const int64_t t = int64_t(q);
    return double(t) > q ? t - 1 : t;
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
  auto gridded = [&](const Vec3d& p) {
    return std::fabs(p.x) < reach && std::fabs(p.y) < reach && std::fabs(p.z) < reach;
  };
  // The cells that the tolerance of point p reaches into, as index ranges.
  struct Span {
    int64_t x0, x1, y0, y1, z0, z1;
    bool Own() const { return x0 == x1 && y0 == y1 && z0 == z1; }
  };
  auto spanOf = [&](const Vec3d& p) {
    return Span{index(p.x - tolerance), index(p.x + tolerance), index(p.y - tolerance),
                index(p.y + tolerance), index(p.z - tolerance), index(p.z + tolerance)};
  };
  // Each gridded point's own cell, and whether its tolerance stays within
  // it, as nearly always.
  std::vector<uint64_t> owns(n, 0);
  std::vector<uint8_t> alone(n, 0);
  for (uint32_t i = 0; i < n; ++i)
    if (gridded(points[i])) {
      owns[i] = key(index(points[i].x), index(points[i].y), index(points[i].z));
      alone[i] = spanOf(points[i]).Own();
    }
  // The table holds per slot the last point listed of its cell, UINT32_MAX
  // when empty: the cell of a slot is that point's own. Four bytes a slot
  // keep the table within the nearer caches.
  const size_t size = std::bit_ceil(2 * n + 2);
  std::vector<uint32_t> table(size, UINT32_MAX);
  std::vector<uint32_t> next(n, UINT32_MAX);
  auto find = [&](uint64_t k) -> uint32_t& {
    for (size_t s = size_t(k) & (size - 1);; s = (s + 1) & (size - 1)) {
      uint32_t& head = table[s];
      if (head == UINT32_MAX || owns[head] == k) return head;
    }
  };
  auto meet = [&](uint32_t i, uint32_t head) {
    const Vec3d& p = points[i];
    for (uint32_t j = head; j != UINT32_MAX; j = next[j]) {
      const Vec3d& q = points[j];
      const double within = std::min(tolerance, std::min(OwnRounding(p), OwnRounding(q)));
      if (std::fabs(p.x - q.x) <= within && std::fabs(p.y - q.y) <= within &&
          std::fabs(p.z - q.z) <= within) {
        const uint32_t a = Root(parent, i), b = Root(parent, j);
        parent[std::max(a, b)] = std::min(a, b);
      }
    }
  };
  // The slots of a point's cells are fetched ahead: the table is far larger
  // than the nearest cache, and points in a row lie in cells far apart in it.
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < n; ++i) {
    if (i + kAhead < n && alone[i + kAhead]) {
      Prefetch(&table[size_t(owns[i + kAhead]) & (size - 1)]);
    } else if (i + kAhead < n && gridded(points[i + kAhead])) {
      const Span r = spanOf(points[i + kAhead]);
      for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
          for (int64_t z = r.z0; z <= r.z1; ++z)
            Prefetch(&table[size_t(key(x, y, z)) & (size - 1)]);
    }
    if (!gridded(points[i])) continue;
    const uint64_t own = owns[i];
    uint32_t& head = find(own);
    if (alone[i]) {
      meet(i, head);
    } else {
      const Span r = spanOf(points[i]);
      for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
          for (int64_t z = r.z0; z <= r.z1; ++z) {
            const uint64_t k = key(x, y, z);
            if (k != own) meet(i, find(k));
          }
      meet(i, head);
    }
    // No slot is taken between the find of its own cell and here.
    next[i] = head;
    head = i;
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
