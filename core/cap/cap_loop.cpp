#include "core/cap/cap_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/parallel_for.h"

namespace quarnel {

int CutTurn(const std::vector<CapLoop>& caps) {
  double sum = 0.0, largest = 0.0;
  int turn = 1;
  for (const CapLoop& c : caps) {
    sum += c.CapArea();
    if (std::fabs(c.CapArea()) > largest) {
      largest = std::fabs(c.CapArea());
      turn = c.CapArea() > 0.0 ? 1 : -1;
    }
  }
  return sum > 0.0 ? 1 : sum < 0.0 ? -1 : turn;
}

int EdgeTurn(const FacePos& e) { return e.f->v[(e.z + 1) % 3] == e.v ? -1 : 1; }

CapLoop PartOf(const CapLoop& c, std::span<const size_t> points) {
  CapLoop part;
  const size_t n = points.size();
  part.points.resize(n);
  part.corners.resize(n);
  part.edges.resize(n);
  part.turns.resize(n);
  part.places.resize(n);
  for (size_t j = 0; j < n; ++j) {
    const size_t k = points[j];
    part.points[j] = c.points[k];
    part.corners[j] = c.corners[k];
    part.edges[j] = c.edges[k];
    part.turns[j] = c.turns[k];
    part.places[j] = c.places[k];
    part.against += c.turns[k];
  }
  part.Measure();
  return part;
}

void CapLoop::Measure() {
  twiceArea = TwiceArea(points);
  lo = hi = points[0];
  for (const Point2d& q : points) {
    lo.x = std::min(lo.x, q.x), lo.y = std::min(lo.y, q.y);
    hi.x = std::max(hi.x, q.x), hi.y = std::max(hi.y, q.y);
  }
}

namespace {

// The walk of a loop so far, with running sums along it, so that the area
// and the turn of any stretch of it cost the same at any length. A step's
// sums lie beside its point: a test of a stretch that begins far back
// reads one record there.
struct Walk {
  struct Step {
    size_t point;
    double area;   // twice the area swept from the first point
    int64_t turn;  // turns summed from the first point
  };
  std::vector<Step> steps;

  void Push(const CapLoop& c, size_t k) {
    if (steps.empty()) {
      steps.push_back({k, 0.0, c.turns[k]});
      return;
    }
    const Step& last = steps.back();
    steps.push_back(
        {k, last.area + Cross(c.points[last.point], c.points[k]), last.turn + c.turns[k]});
  }
  static double Cross(const Point2d& a, const Point2d& b) { return a.x * b.y - a.y * b.x; }
};

// Whether the part of the walk after step s, closed by point k (at the
// place of the point at s), is a loop of its own: three or more points,
// every edge running the same way against its face (as the loop's parts
// at a corner where two squares of a welded chessboard touch), some area.
// The area is read only where the turn holds.
bool SplitsOff(const CapLoop& c, const Walk& w, size_t s, size_t k) {
  const std::vector<Walk::Step>& steps = w.steps;
  const size_t first = s + 1, count = steps.size() - first + 1;
  if (count < 3) return false;
  const int64_t turn = steps.back().turn - steps[s].turn + c.turns[k];
  if (std::abs(turn) != int64_t(count)) return false;
  const double area = steps.back().area - steps[first].area +
                      Walk::Cross(c.points[steps.back().point], c.points[k]) +
                      Walk::Cross(c.points[k], c.points[steps[first].point]);
  return area != 0.0;
}

// The parts that loops split into at their pinches, loop after loop: part j
// is of loop of[j], its points those in points from end[j - 1] (from 0 for
// the first) to end[j]; none there stands for the loop as it is, which has
// no pinch (a part has at least one point).
struct Parts {
  std::vector<size_t> of, end, points;

  void Close(size_t loop) { of.push_back(loop), end.push_back(points.size()); }
  size_t Begin(size_t j) const { return j == 0 ? 0 : end[j - 1]; }
};

// Room to split loops in: at is per place its position in the walk so far
// (SIZE_MAX for none), left so between loops; w of any content.
struct SplitRoom {
  std::vector<size_t> at;
  Walk w;
};

// Appends to parts those of loop i split at its pinches, the rest of the
// loop last; only the loop as it is where it has none.
void SplitLoop(const CapLoop& c, size_t i, SplitRoom& room, Parts& parts) {
  std::vector<size_t>& at = room.at;
  Walk& w = room.w;
  const size_t first = parts.of.size();
  // Takes the points of the walk from step s on into parts, and their
  // places out of at.
  auto take = [&](size_t s) {
    for (size_t j = s; j < w.steps.size(); ++j) {
      parts.points.push_back(w.steps[j].point);
      at[c.places[w.steps[j].point]] = SIZE_MAX;
    }
    w.steps.resize(s);
  };
  w.steps.clear();
  for (size_t k = 0; k < c.places.size(); ++k) {
    const size_t s = at[c.places[k]];
    if (s != SIZE_MAX && SplitsOff(c, w, s, k)) {
      take(s + 1);
      parts.points.push_back(k);
      parts.Close(i);
      at[c.places[k]] = s;
      continue;
    }
    at[c.places[k]] = w.steps.size();
    w.Push(c, k);
  }
  const bool split = parts.of.size() != first;
  const size_t rest = parts.points.size();
  take(0);
  // A loop with no pinch is kept as it is.
  if (!split) parts.points.resize(rest);
  parts.Close(i);
}

}  // namespace

void SplitAtPinches(std::vector<CapLoop>& caps, std::vector<uint32_t>& body,
                    size_t placeCount) {
  // Where the loops split is found range by range on threads of their own,
  // each with room of its own to work in.
  const std::vector<Parts> split = ParallelCollect(
      caps.size(),
      [&](size_t begin, size_t end) {
        Parts r;
        SplitRoom room;
        room.at.assign(placeCount, SIZE_MAX);
        for (size_t i = begin; i < end; ++i) SplitLoop(caps[i], i, room, r);
        return r;
      },
      kParallelCostlyItems);
  // The parts are then made on all cores, a long loop's among them, each
  // put where it comes in order.
  std::vector<std::pair<const Parts*, size_t>> order;
  for (const Parts& r : split)
    for (size_t j = 0; j < r.of.size(); ++j) order.emplace_back(&r, j);
  std::vector<CapLoop> parts(order.size());
  std::vector<uint32_t> partBody(order.size());
  ParallelFor(
      order.size(),
      [&](size_t p) {
        const auto [r, j] = order[p];
        const size_t i = r->of[j], begin = r->Begin(j);
        partBody[p] = body[i];
        if (begin == r->end[j])
          parts[p] = std::move(caps[i]);
        else
          parts[p] = PartOf(caps[i], {r->points.data() + begin, r->end[j] - begin});
      },
      kParallelCostlyItems);
  caps = std::move(parts);
  body = std::move(partBody);
}

}  // namespace quarnel
