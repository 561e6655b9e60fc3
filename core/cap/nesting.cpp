#include "core/cap/nesting.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>
#include "core/cap/side_grids.h"
#include "core/parallel_for.h"

namespace quarnel {

namespace {

// Up to this many sides a ray asks every side.
constexpr size_t kFewSides = 32;

// Where a side meets a ray, and its dx / dy.
struct Hit {
  double x, slope;
  uint32_t side;
};

// The sides of a group of loops, in a grid where they are many, for rays
// to the right. Side s of loop a runs from point s - first[a] to the next.
class RaySides {
 public:
  RaySides(const std::vector<CapLoop>& caps, const std::vector<size_t>& group)
      : caps_(caps), group_(group), first_(group.size() + 1, 0) {
    Point2d lo = caps[group[0]].lo, hi = caps[group[0]].hi;
    for (size_t a = 0; a < group.size(); ++a) {
      const CapLoop& c = caps[group[a]];
      first_[a + 1] = first_[a] + c.points.size();
      lo.x = std::min(lo.x, c.lo.x), lo.y = std::min(lo.y, c.lo.y);
      hi.x = std::max(hi.x, c.hi.x), hi.y = std::max(hi.y, c.hi.y);
    }
    close_ = 1e-9 * std::max({hi.x - lo.x, hi.y - lo.y, std::fabs(lo.x), std::fabs(lo.y),
                              std::fabs(hi.x), std::fabs(hi.y)});
    loopOf_.resize(first_.back());
    for (size_t a = 0; a < group.size(); ++a)
      for (size_t s = first_[a]; s < first_[a + 1]; ++s) loopOf_[s] = uint32_t(a);
    // Few sides are all asked for each ray, for less than a grid costs.
    if (first_.back() <= kFewSides) return;
    grid_.emplace(lo, hi, 0.0, first_.back());
    near_.emplace(*grid_, first_.back(), [this](uint32_t s, std::vector<int64_t>& cells) {
      const auto [a, b] = Ends(s);
      grid_->Along(a, b, cells);
    });
  }

  double Close() const { return close_; }
  size_t LoopOf(uint32_t s) const { return loopOf_[s]; }
  std::pair<Point2d, Point2d> Ends(uint32_t s) const {
    const std::vector<Point2d>& p = caps_[group_[loopOf_[s]]].points;
    const size_t i = s - first_[loopOf_[s]];
    return {p[i], p[(i + 1) % p.size()]};
  }

  // The sides of other loops than a that a ray from m to the right meets
  // (a vertex on the ray counts as below it) up to about the nearest;
  // returns the nearest's x, HUGE_VAL for none.
  double Hits(size_t a, const Point2d& m, std::vector<Hit>& hits) const {
    hits.clear();
    double nearest = HUGE_VAL;
    if (!grid_.has_value()) {
      for (uint32_t s = 0; s < uint32_t(first_.back()); ++s) AddHit(a, m, s, hits, nearest);
      return nearest;
    }
    const int64_t row = grid_->Row(m.y), n = grid_->Side();
    for (int64_t col = grid_->Column(m.x); col < n; ++col) {
      if (col > 0 && nearest + close_ < grid_->Left(col - 1)) break;
      const size_t c = size_t(row * n + col);
      for (size_t e = near_->start[c]; e < near_->start[c + 1]; ++e)
        AddHit(a, m, near_->in[e], hits, nearest);
    }
    return nearest;
  }

 private:
  // Adds side s to hits where it is of another loop than a and the ray
  // from m to the right meets it.
  void AddHit(size_t a, const Point2d& m, uint32_t s, std::vector<Hit>& hits,
              double& nearest) const {
    if (loopOf_[s] == a) return;
    const auto [u, v] = Ends(s);
    if ((u.y > m.y) == (v.y > m.y)) return;
    const double x = u.y == m.y   ? u.x
                     : v.y == m.y ? v.x
                                  : u.x + (m.y - u.y) * (v.x - u.x) / (v.y - u.y);
    if (!(x > m.x - close_)) return;
    hits.push_back({x, (v.x - u.x) / (v.y - u.y), s});
    nearest = std::min(nearest, x);
  }

  const std::vector<CapLoop>& caps_;
  const std::vector<size_t>& group_;
  std::vector<size_t> first_;  // of each loop's sides
  std::vector<uint32_t> loopOf_;
  double close_ = 0.0;
  std::optional<PlaneGrid> grid_;
  std::optional<ByCell> near_;
};

// The side a ray meets first, the first along a ray a little above it;
// null where another side meets it at about the same place (other than
// the side after it on its loop, a little further on).
const Hit* FirstHit(const RaySides& sides, const std::vector<Hit>& hits, double nearest) {
  const Hit* best = nullptr;
  for (const Hit& h : hits)
    if (h.x == nearest && (best == nullptr || h.slope < best->slope)) best = &h;
  for (const Hit& h : hits) {
    const bool beyond = sides.LoopOf(h.side) == sides.LoopOf(best->side) && h.x == nearest &&
                        h.slope > best->slope;
    if (h.side != best->side && !beyond && h.x <= nearest + sides.Close()) return nullptr;
  }
  return best;
}

// What a loop's ray meets first: the loop of that side, and whether the
// side runs upwards as its loop runs counter-clockwise (the ray leaves that
// loop there). kNone where the ray meets no side, kUnclear where two sides
// meet it at about one place or one about at its start.
struct RayEnd {
  static constexpr uint32_t kNone = UINT32_MAX, kUnclear = UINT32_MAX - 1;
  uint32_t loop = kNone;
  bool leaves = false;
};

// The ray from loop a's rightmost point to the right; hits is room for
// its hits.
RayEnd CastRay(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
               const RaySides& sides, size_t a, std::vector<Hit>& hits) {
  const std::vector<Point2d>& p = caps[group[a]].points;
  Point2d m = p[0];
  for (const Point2d& q : p)
    if (q.x > m.x) m = q;
  const double nearest = sides.Hits(a, m, hits);
  if (hits.empty()) return {};
  if (!(nearest > m.x + sides.Close())) return {RayEnd::kUnclear};
  const Hit* best = FirstHit(sides, hits, nearest);
  if (best == nullptr) return {RayEnd::kUnclear};
  const size_t b = sides.LoopOf(best->side);
  const auto [u, v] = sides.Ends(best->side);
  return {uint32_t(b), (v.y > u.y) == (caps[group[b]].twiceArea > 0.0)};
}

}  // namespace

bool NestByRays(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                std::vector<int>& parent, std::vector<size_t>& order) {
  const size_t k = group.size();
  const RaySides sides(caps, group);
  order.resize(k);
  for (size_t a = 0; a < k; ++a) order[a] = a;
  // Each loop's reach in x, read once: the sort compares the copies.
  std::vector<double> reach(k);
  for (size_t a = 0; a < k; ++a) reach[a] = caps[group[a]].hi.x;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return reach[a] > reach[b]; });
  parent.assign(k, -1);
  // Each loop's ray is cast on its own, range by range of loops on threads
  // of their own; then the parents are read off in order.
  std::vector<RayEnd> ends(k);
  ParallelForRanges(
      k,
      [&](size_t begin, size_t end) {
        std::vector<Hit> hits;
        for (size_t a = begin; a < end; ++a) ends[a] = CastRay(caps, group, sides, a, hits);
      },
      kParallelCostlyItems);
  for (size_t a : order) {
    const RayEnd& e = ends[a];
    if (e.loop == RayEnd::kNone) continue;
    if (e.loop == RayEnd::kUnclear) return false;
    // A side where the ray leaves its loop tells the parent. One where it
    // enters a loop beside this one tells that loop, whose parent is this
    // one's too.
    if (e.leaves) {
      parent[a] = int(e.loop);
    } else {
      if (!(caps[group[e.loop]].hi.x > caps[group[a]].hi.x)) return false;
      parent[a] = parent[e.loop];
    }
  }
  return true;
}

}  // namespace quarnel
