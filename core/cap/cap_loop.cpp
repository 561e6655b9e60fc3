#include "core/cap/cap_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

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

// The parts that a loop splits into at its pinches, the rest of the loop
// last: part j is the points in points from end[j - 1] (from 0 for the
// first) to end[j]; none where the loop has no pinch.
struct Parts {
  std::vector<size_t> end, points;

  void Close() { end.push_back(points.size()); }
  std::span<const size_t> Of(size_t j) const {
    const size_t first = j == 0 ? 0 : end[j - 1];
    return {points.data() + first, end[j] - first};
  }
};

// Room to split loops in: at is per place its position in the walk so far
// (SIZE_MAX for none), left so between loops; w and parts of any content.
struct SplitRoom {
  std::vector<size_t> at;
  Walk w;
  Parts parts;
};

// Sets room.parts to those of c split at its pinches.
void SplitLoop(const CapLoop& c, SplitRoom& room) {
  std::vector<size_t>& at = room.at;
  Walk& w = room.w;
  Parts& parts = room.parts;
  parts.end.clear(), parts.points.clear();
  // Takes the points of the walk from step s on out of it and out of at,
  // into parts where keep says.
  auto take = [&](size_t s, bool keep) {
    for (size_t j = s; j < w.steps.size(); ++j) {
      if (keep) parts.points.push_back(w.steps[j].point);
      at[c.places[w.steps[j].point]] = SIZE_MAX;
    }
    w.steps.resize(s);
  };
  w.steps.clear();
  // The walk and the parts hold each point once at most: they are not
  // moved as they grow.
  w.steps.reserve(c.places.size());
  parts.points.reserve(c.places.size());
  for (size_t k = 0; k < c.places.size(); ++k) {
    const size_t s = at[c.places[k]];
    if (s != SIZE_MAX && SplitsOff(c, w, s, k)) {
      take(s + 1, true);
      parts.points.push_back(k);
      parts.Close();
      at[c.places[k]] = s;
      continue;
    }
    at[c.places[k]] = w.steps.size();
    w.Push(c, k);
  }
  const bool split = !parts.end.empty();
  take(0, split);
  if (split) parts.Close();
}

}  // namespace

void SplitAtPinches(std::vector<CapLoop>& caps, std::vector<uint32_t>& body,
                    size_t placeCount) {
  // The loops are split range by range on threads of their own, each with
  // room of its own to work in, into the loops each range splits into and
  // the body of each.
  struct Split {
    std::vector<CapLoop> caps;
    std::vector<uint32_t> body;
  };
  std::vector<Split> split = ParallelCollect(
      caps.size(),
      [&](size_t begin, size_t end) {
        Split r;
        SplitRoom room;
        room.at.assign(placeCount, SIZE_MAX);
        for (size_t i = begin; i < end; ++i) {
          SplitLoop(caps[i], room);
          if (room.parts.end.empty()) r.caps.push_back(std::move(caps[i]));
          for (size_t j = 0; j < room.parts.end.size(); ++j)
            r.caps.push_back(PartOf(caps[i], room.parts.Of(j)));
          r.body.resize(r.caps.size(), body[i]);
        }
        return r;
      },
      kParallelCostlyItems);
  if (split.size() == 1) {
    caps = std::move(split[0].caps);
    body = std::move(split[0].body);
    return;
  }
  caps.clear();
  body.clear();
  for (Split& r : split) {
    caps.insert(caps.end(), std::make_move_iterator(r.caps.begin()),
                std::make_move_iterator(r.caps.end()));
    body.insert(body.end(), r.body.begin(), r.body.end());
  }
}

}  // namespace quarnel
