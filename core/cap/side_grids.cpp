#include "core/cap/side_grids.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarnel {

std::vector<std::vector<uint32_t>> PointsOnSides(const std::vector<CapSide>& sides,
                                                 const std::vector<Point2d>& at,
                                                 const std::vector<double>& rounding,
                                                 const std::vector<uint32_t>& ids, double reach) {
  std::vector<std::vector<uint32_t>> on(sides.size());
  if (ids.empty()) return on;
  Point2d lo = at[ids[0]], hi = lo;
  for (uint32_t id : ids) {
    lo.x = std::min(lo.x, at[id].x), lo.y = std::min(lo.y, at[id].y);
    hi.x = std::max(hi.x, at[id].x), hi.y = std::max(hi.y, at[id].y);
  }
  const PlaneGrid grid(lo, hi, reach, ids.size());
  std::vector<std::vector<uint32_t>> in(grid.Cells());
  for (uint32_t id : ids)
    in[size_t(grid.Of(at[id]))].push_back(id);
  std::vector<int64_t> cells;
  for (size_t s = 0; s < sides.size(); ++s) {
    const Point2d a = at[sides[s].p], b = at[sides[s].q];
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (!(length > 0.0)) continue;
    grid.Along(a, b, cells);
    std::vector<std::pair<double, uint32_t>> found;
    for (int64_t c : cells)
      for (uint32_t id : in[size_t(c)]) {
        if (id == sides[s].p || id == sides[s].q) continue;
        const Point2d q = at[id];
        const double along = ((q.x - a.x) * dx + (q.y - a.y) * dy) / (length * length);
        const double off = std::fabs((q.x - a.x) * dy - (q.y - a.y) * dx) / length;
        if (along > 0.0 && along < 1.0 && off <= std::min(reach, rounding[id]))
          found.push_back({along, id});
      }
    std::sort(found.begin(), found.end());
    for (const auto& [t, id] : found) on[s].push_back(id);
  }
  return on;
}

bool AnySidesCross(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                   const std::vector<Point2d>& at) {
  if (sides.size() < 2) return false;
  Point2d lo = at[sides[0].first], hi = lo;
  for (const auto& [a, b] : sides)
    for (uint32_t id : {a, b}) {
      lo.x = std::min(lo.x, at[id].x), lo.y = std::min(lo.y, at[id].y);
      hi.x = std::max(hi.x, at[id].x), hi.y = std::max(hi.y, at[id].y);
    }
  // Four cells for each side: fewer sides share a cell, and only sides
  // that share one are asked.
  const PlaneGrid grid(lo, hi, 0.0, 4 * sides.size());
  const SidesByCell near(grid, sides.size(), [&](uint32_t s) {
    return std::pair(at[sides[s].first], at[sides[s].second]);
  });
  auto turn = [](const Point2d& p, const Point2d& q, const Point2d& r) {
    const double d = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
  };
  for (size_t cell = 0; cell < grid.Cells(); ++cell) {
    const size_t i = near.start[cell], j = near.start[cell + 1];
    for (size_t u = i; u < j; ++u)
      for (size_t v = u + 1; v < j; ++v) {
        const auto [a, b] = sides[near.in[u]];
        const auto [c, d] = sides[near.in[v]];
        if (a == c || a == d || b == c || b == d) continue;
        // Touching (a point on the other side) is found by the caller.
        if (turn(at[a], at[b], at[c]) * turn(at[a], at[b], at[d]) < 0 &&
            turn(at[c], at[d], at[a]) * turn(at[c], at[d], at[b]) < 0)
          return true;
      }
  }
  return false;
}

}  // namespace quarnel
