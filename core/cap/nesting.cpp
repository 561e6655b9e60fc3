#include "core/cap/nesting.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>
#include "core/cap/bodies.h"
#include "core/cap/side_grids.h"

namespace quarnel {

namespace {

// Groups of up to this many loops with no complete cover are nested by
// pairs; beyond, each of their loops is capped on its own.
constexpr size_t kNestedFallback = 64;

}  // namespace

bool NestByRays(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                std::vector<int>& parent, std::vector<size_t>& order) {
  const size_t k = group.size();
  std::vector<size_t> first(k + 1, 0);  // of each loop's sides
  Point2d lo = caps[group[0]].lo, hi = caps[group[0]].hi;
  for (size_t a = 0; a < k; ++a) {
    const CapLoop& c = caps[group[a]];
    first[a + 1] = first[a] + c.points.size();
    lo.x = std::min(lo.x, c.lo.x), lo.y = std::min(lo.y, c.lo.y);
    hi.x = std::max(hi.x, c.hi.x), hi.y = std::max(hi.y, c.hi.y);
  }
  const double close =
      1e-9 * std::max({hi.x - lo.x, hi.y - lo.y, std::fabs(lo.x), std::fabs(lo.y),
                       std::fabs(hi.x), std::fabs(hi.y)});
  const PlaneGrid grid(lo, hi, 0.0, first[k]);
  // Side s of loop a runs from point s - first[a] to the next.
  std::vector<uint32_t> loopOf(first[k]);
  for (size_t a = 0; a < k; ++a)
    for (size_t s = first[a]; s < first[a + 1]; ++s) loopOf[s] = uint32_t(a);
  const SidesByCell near(grid, first[k], [&](uint32_t s) {
    const std::vector<Point2d>& p = caps[group[loopOf[s]]].points;
    const size_t i = s - first[loopOf[s]];
    return std::pair(p[i], p[(i + 1) % p.size()]);
  });
  order.resize(k);
  for (size_t a = 0; a < k; ++a)
    order[a] = a;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return caps[group[a]].hi.x > caps[group[b]].hi.x;
  });
  parent.assign(k, -1);
  struct Hit {
    double x, slope;  // where the side meets the ray, and its dx / dy
    uint32_t side;
  };
  std::vector<Hit> hits;
  for (size_t a : order) {
    const std::vector<Point2d>& p = caps[group[a]].points;
    Point2d m = p[0];
    for (const Point2d& q : p)
      if (q.x > m.x) m = q;
    hits.clear();
    double nearest = HUGE_VAL;
    const int64_t row = grid.Row(m.y), n = grid.Side();
    for (int64_t col = grid.Column(m.x); col < n; ++col) {
      if (col > 0 && nearest + close < grid.Left(col - 1)) break;
      const int64_t c = row * n + col;
      for (size_t e = near.start[size_t(c)]; e < near.start[size_t(c) + 1]; ++e) {
        const uint32_t s = near.in[e];
        const size_t b = loopOf[s];
        if (b == a) continue;
        const std::vector<Point2d>& q = caps[group[b]].points;
        const size_t i = s - first[b];
        const Point2d &u = q[i], &v = q[(i + 1) % q.size()];
        if ((u.y > m.y) == (v.y > m.y)) continue;
        const double x = u.y == m.y ? u.x : v.y == m.y ? v.x : u.x + (m.y - u.y) * (v.x - u.x) / (v.y - u.y);
        if (!(x > m.x - close)) continue;
        hits.push_back({x, (v.x - u.x) / (v.y - u.y), s});
        nearest = std::min(nearest, x);
      }
    }
    if (hits.empty()) continue;
    if (!(nearest > m.x + close)) return false;
    // The nearest: the first along a ray a little above this one.
    const Hit* best = nullptr;
    for (const Hit& h : hits)
      if (h.x == nearest && (best == nullptr || h.slope < best->slope)) best = &h;
    for (const Hit& h : hits) {
      // The other side at best's end on the ray, a little further on.
      const bool beyond =
          loopOf[h.side] == loopOf[best->side] && h.x == nearest && h.slope > best->slope;
      if (h.side != best->side && !beyond && h.x <= nearest + close) return false;
    }
    const size_t b = loopOf[best->side];
    const CapLoop& d = caps[group[b]];
    const std::vector<Point2d>& q = d.points;
    const size_t i = best->side - first[b];
    const bool upwards = (q[(i + 1) % q.size()].y > q[i].y) == (d.twiceArea > 0.0);
    if (upwards) {
      parent[a] = int(b);
    } else {
      if (!(d.hi.x > caps[group[a]].hi.x)) return false;
      parent[a] = parent[b];
    }
  }
  return true;
}

std::vector<int> NestByVotes(const std::vector<CapLoop>& caps, const std::vector<size_t>& group) {
  const size_t k = group.size();
  std::vector<int> parent(k, -1);
  std::vector<double> around(k, HUGE_VAL);
  for (size_t a = 0; a < k && k <= kNestedFallback; ++a) {
    const CapLoop& c = caps[group[a]];
    for (size_t b = 0; b < k; ++b) {
      const CapLoop& d = caps[group[b]];
      const double area = std::fabs(d.twiceArea);
      if (b == a || !(area > std::fabs(c.twiceArea)) || !(area < around[a])) continue;
      if (InsideLoop(c, d)) parent[a] = int(b), around[a] = area;
    }
  }
  return parent;
}

}  // namespace quarnel
