#include "section_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace quarnel::bench {

namespace {

bool SegmentsCross(const std::array<double, 2>& a, const std::array<double, 2>& b,
                   const std::array<double, 2>& c, const std::array<double, 2>& d) {
  auto orient = [](const std::array<double, 2>& p, const std::array<double, 2>& q,
                   const std::array<double, 2>& r) {
    return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
  };
  auto onSegment = [](const std::array<double, 2>& p, const std::array<double, 2>& q,
                      const std::array<double, 2>& r) {
    return std::min(p[0], q[0]) <= r[0] && r[0] <= std::max(p[0], q[0]) &&
           std::min(p[1], q[1]) <= r[1] && r[1] <= std::max(p[1], q[1]);
  };
  const double d1 = orient(c, d, a), d2 = orient(c, d, b);
  const double d3 = orient(a, b, c), d4 = orient(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
    return true;
  if (d1 == 0 && onSegment(c, d, a)) return true;
  if (d2 == 0 && onSegment(c, d, b)) return true;
  if (d3 == 0 && onSegment(a, b, c)) return true;
  if (d4 == 0 && onSegment(a, b, d)) return true;
  return false;
}

// Calls visit(i, j) once for every two segments whose x ranges overlap,
// until it returns true; returns whether it did. A sweep over x.
template <class Visit>
bool ForPairsOverlappingInX(const std::vector<Seg2>& segs, Visit visit) {
  std::vector<size_t> order(segs.size());
  for (size_t i = 0; i < segs.size(); ++i)
    order[i] = i;
  auto lo = [&](size_t i) { return std::min(segs[i][0][0], segs[i][1][0]); };
  auto hi = [&](size_t i) { return std::max(segs[i][0][0], segs[i][1][0]); };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lo(a) < lo(b); });
  std::vector<size_t> active;
  for (size_t i : order) {
    size_t keep = 0;
    for (size_t j : active)
      if (hi(j) >= lo(i)) active[keep++] = j;
    active.resize(keep);
    for (size_t j : active)
      if (visit(i, j)) return true;
    active.push_back(i);
  }
  return false;
}

double YAt(const Seg2& s, double x) {
  const double t = (x - s[0][0]) / (s[1][0] - s[0][0]);
  return s[0][1] + (s[1][1] - s[0][1]) * t;
}

// The x of every end and every crossing of two segments, sorted: between
// two neighbours no segment crosses another.
std::vector<double> SlabEdges(const std::vector<Seg2>& segs) {
  std::vector<double> xs;
  for (const Seg2& s : segs) {
    xs.push_back(s[0][0]);
    xs.push_back(s[1][0]);
  }
  ForPairsOverlappingInX(segs, [&](size_t i, size_t j) {
    const auto &p = segs[i][0], &r = segs[i][1], &q = segs[j][0], &t = segs[j][1];
    const double dx = r[0] - p[0], dy = r[1] - p[1], ex = t[0] - q[0], ey = t[1] - q[1];
    const double den = dx * ey - dy * ex;
    if (den == 0.0) return false;
    const double a = ((q[0] - p[0]) * ey - (q[1] - p[1]) * ex) / den;
    const double b = ((q[0] - p[0]) * dy - (q[1] - p[1]) * dx) / den;
    if (a > 0.0 && a < 1.0 && b > 0.0 && b < 1.0) xs.push_back(p[0] + a * dx);
    return false;
  });
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  return xs;
}

}  // namespace

bool AnyCrossing(const std::vector<Seg2>& segs, const std::vector<std::array<int, 2>>& ends) {
  return ForPairsOverlappingInX(segs, [&](size_t i, size_t j) {
    const bool neighbours = ends[i][0] == ends[j][0] || ends[i][0] == ends[j][1] ||
                            ends[i][1] == ends[j][0] || ends[i][1] == ends[j][1];
    if (neighbours) {
      // Neighbours may only share their common end: collinear overlap
      // folds the loop back on itself.
      const int shared = (ends[i][0] == ends[j][0] || ends[i][0] == ends[j][1]) ? 0 : 1;
      const auto& p = segs[i][shared];
      const auto& q = segs[i][1 - shared];
      const int other = ends[j][0] == ends[i][shared] ? 1 : 0;
      const auto& r = segs[j][other];
      const double cr = (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
      const double dt = (q[0] - p[0]) * (r[0] - p[0]) + (q[1] - p[1]) * (r[1] - p[1]);
      return cr == 0.0 && dt > 0.0;
    }
    return SegmentsCross(segs[i][0], segs[i][1], segs[j][0], segs[j][1]);
  });
}

double LayeredArea(const std::vector<Seg2>& segs) {
  if (segs.size() > 20000) return -1.0;
  const std::vector<double> xs = SlabEdges(segs);
  double area = 0.0;
  std::vector<std::pair<double, size_t>> across;
  for (size_t k = 0; k + 1 < xs.size(); ++k) {
    const double x0 = xs[k], x1 = xs[k + 1], xm = 0.5 * (x0 + x1);
    across.clear();
    for (size_t i = 0; i < segs.size(); ++i) {
      const double a = segs[i][0][0], b = segs[i][1][0];
      if (std::min(a, b) <= x0 && std::max(a, b) >= x1 && a != b)
        across.push_back({YAt(segs[i], xm), i});
    }
    std::sort(across.begin(), across.end());
    int winding = 0;
    for (size_t j = 0; j + 1 < across.size(); ++j) {
      const Seg2& s = segs[across[j].second];
      winding += s[1][0] > s[0][0] ? 1 : -1;
      const Seg2& t = segs[across[j + 1].second];
      const double gap = 0.5 * (YAt(t, x0) + YAt(t, x1) - YAt(s, x0) - YAt(s, x1));
      area += std::abs(winding) * gap * (x1 - x0);
    }
  }
  return area;
}

}  // namespace quarnel::bench
