#include "core/cap/side_grids.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/parallel_for.h"

namespace quarnel {

namespace {

// Whether point x lies on the side from a to b (length long, more than 0):
// strictly between its ends and no further from it than reach and than
// rounding, the rounding of the point's own coordinates.
bool LiesOn(const Point2d& a, const Point2d& b, double length, const Point2d& x, double reach,
            double rounding) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double along = ((x.x - a.x) * dx + (x.y - a.y) * dy) / (length * length);
  const double off = std::fabs((x.x - a.x) * dy - (x.y - a.y) * dx) / length;
  return along > 0.0 && along < 1.0 && off <= std::min(reach, rounding);
}

// Whether the sides a-b and c-d cross, each passing strictly between the
// other's ends; sides that share an end are not asked.
bool Cross(uint32_t a, uint32_t b, uint32_t c, uint32_t d, const std::vector<Point2d>& at) {
  if (a == c || a == d || b == c || b == d) return false;
  auto turn = [](const Point2d& p, const Point2d& q, const Point2d& r) {
    const double t = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    return t > 0.0 ? 1 : t < 0.0 ? -1 : 0;
  };
  // Touching (a point on the other side) is the points' test.
  return turn(at[a], at[b], at[c]) * turn(at[a], at[b], at[d]) < 0 &&
         turn(at[c], at[d], at[a]) * turn(at[c], at[d], at[b]) < 0;
}

// The cells near the side from a to b, for a grid whose cells are no
// narrower than reach: where it runs within two rows or columns, those of
// its box widened by reach, which two sides whose boxes meet share;
// otherwise the cells along it with their neighbours (PlaneGrid::Along).
void CellsNear(const PlaneGrid& grid, const Point2d& a, const Point2d& b, double reach,
               std::vector<int64_t>& cells) {
  const int64_t x0 = grid.Column(std::min(a.x, b.x) - reach),
                x1 = grid.Column(std::max(a.x, b.x) + reach),
                y0 = grid.Row(std::min(a.y, b.y) - reach),
                y1 = grid.Row(std::max(a.y, b.y) + reach);
  if (std::min(x1 - x0, y1 - y0) > 1) {
    grid.Along(a, b, cells);
    return;
  }
  cells.clear();
  for (int64_t y = y0; y <= y1; ++y)
    for (int64_t x = x0; x <= x1; ++x)
      cells.push_back(y * grid.Side() + x);
}

// SidesKeepApart over every pair of sides and every side and point: for
// few sides cheaper than the grid, and the same answer.
bool FewSidesKeepApart(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                       const std::vector<Point2d>& at, const std::vector<double>& rounding,
                       const std::vector<uint32_t>& ids, double reach) {
  for (size_t u = 0; u < sides.size(); ++u) {
    const auto [a, b] = sides[u];
    for (size_t v = u + 1; v < sides.size(); ++v)
      if (Cross(a, b, sides[v].first, sides[v].second, at)) return false;
    const double length = std::hypot(at[b].x - at[a].x, at[b].y - at[a].y);
    if (!(length > 0.0)) continue;
    for (uint32_t id : ids)
      if (id != a && id != b && LiesOn(at[a], at[b], length, at[id], reach, rounding[id]))
        return false;
  }
  return true;
}

// Whether one of the points ids[in[0]] .. ids[in[count - 1]] other than a
// and b lies on the side from a to b (LiesOn). The side's length is
// measured only once there is such a point to ask: a side of none (length
// not more than 0) has none on it.
bool AnyPointOn(uint32_t a, uint32_t b, const std::vector<Point2d>& at,
                const std::vector<double>& rounding, const std::vector<uint32_t>& ids,
                const uint32_t* in, size_t count, double reach) {
  double length = 0.0;
  bool measured = false;
  for (size_t k = 0; k < count; ++k) {
    const uint32_t id = ids[in[k]];
    if (id == a || id == b) continue;
    if (!measured) length = std::hypot(at[b].x - at[a].x, at[b].y - at[a].y), measured = true;
    if (!(length > 0.0)) return false;
    if (LiesOn(at[a], at[b], length, at[id], reach, rounding[id])) return true;
  }
  return false;
}

// Up to this many sides SidesKeepApart asks every pair.
constexpr size_t kFewSides = 32;

}  // namespace

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
        if (!LiesOn(a, b, length, at[id], reach, rounding[id])) continue;
        const Point2d q = at[id];
        found.push_back({((q.x - a.x) * dx + (q.y - a.y) * dy) / (length * length), id});
      }
    std::sort(found.begin(), found.end());
    for (const auto& [t, id] : found) on[s].push_back(id);
  }
  return on;
}

bool SidesKeepApart(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                    const std::vector<Point2d>& at, const std::vector<double>& rounding,
                    const std::vector<uint32_t>& ids, double reach) {
  if (sides.size() <= kFewSides) return FewSidesKeepApart(sides, at, rounding, ids, reach);
  Point2d lo = at[sides[0].first], hi = lo;
  auto widen = [&](uint32_t id) {
    lo.x = std::min(lo.x, at[id].x), lo.y = std::min(lo.y, at[id].y);
    hi.x = std::max(hi.x, at[id].x), hi.y = std::max(hi.y, at[id].y);
  };
  for (const auto& [a, b] : sides)
    widen(a), widen(b);
  for (uint32_t id : ids)
    widen(id);
  // About a cell a side, none narrower than reach, so that a point on a
  // side lies in a cell near it. Finer cells would each hold fewer sides,
  // but every side would be listed in more cells, which costs more than
  // the pairs it saves; the answer is the same at any size.
  const double across = std::max(hi.x - lo.x, hi.y - lo.y) / std::max(reach, 1e-300);
  const PlaneGrid grid(lo, hi, reach,
                       size_t(std::clamp(across * across, 1.0, double(sides.size()))));
  const ByCell near(grid, sides.size(), [&](uint32_t s, std::vector<int64_t>& cells) {
    CellsNear(grid, at[sides[s].first], at[sides[s].second], reach, cells);
  });
  const ByCell points(grid, ids.size(), [&](uint32_t i, std::vector<int64_t>& cells) {
    cells.assign(1, grid.Of(at[ids[i]]));
  });
  // Cells are asked range by range on threads of their own; a range that
  // finds sides that meet is marked at its first cell.
  auto cellApart = [&](size_t cell) {
    for (size_t u = near.start[cell]; u < near.start[cell + 1]; ++u) {
      const auto [a, b] = sides[near.in[u]];
      for (size_t v = u + 1; v < near.start[cell + 1]; ++v) {
        const auto [c, d] = sides[near.in[v]];
        if (Cross(a, b, c, d, at)) return false;
      }
      if (AnyPointOn(a, b, at, rounding, ids, points.in.data() + points.start[cell],
                     points.start[cell + 1] - points.start[cell], reach))
        return false;
    }
    return true;
  };
  std::vector<uint8_t> meet(grid.Cells(), 0);
  ParallelForRanges(grid.Cells(), [&](size_t begin, size_t end) {
    for (size_t cell = begin; cell < end && !meet[begin]; ++cell)
      meet[begin] = !cellApart(cell);
  });
  return std::find(meet.begin(), meet.end(), 1) == meet.end();
}

}  // namespace quarnel
