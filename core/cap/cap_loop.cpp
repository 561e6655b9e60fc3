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

namespace {
int Against(const CapLoop& c, size_t k);
}  // namespace

CapLoop PartOf(const CapLoop& c, const std::vector<size_t>& points) {
  CapLoop part;
  part.points.reserve(points.size());
  part.corners.reserve(points.size());
  part.edges.reserve(points.size());
  part.places.reserve(points.size());
  for (size_t k : points) {
    part.points.push_back(c.points[k]);
    part.corners.push_back(c.corners[k]);
    part.edges.push_back(c.edges[k]);
    part.places.push_back(c.places[k]);
    part.against += Against(c, k);
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

// +1 where the loop's edge into point k runs against its face, -1 where
// along it.
int Against(const CapLoop& c, size_t k) {
  const FacePos& e = c.edges[k];
  return e.f->v[(e.z + 1) % 3] == e.v ? -1 : 1;
}

// The walk of a loop so far, with running sums along it, so that the area
// and the turn of any stretch of it cost the same at any length.
struct Walk {
  std::vector<size_t> points;
  std::vector<double> area;    // twice the area swept from the first point
  std::vector<int64_t> turn;   // Against summed from the first point

  void Push(const CapLoop& c, size_t k) {
    const double step = points.empty() ? 0.0 : Cross(c.points[points.back()], c.points[k]);
    area.push_back(points.empty() ? 0.0 : area.back() + step);
    turn.push_back((points.empty() ? 0 : turn.back()) + Against(c, k));
    points.push_back(k);
  }
  void Cut(size_t size) {
    points.resize(size), area.resize(size), turn.resize(size);
  }
  static double Cross(const Point2d& a, const Point2d& b) { return a.x * b.y - a.y * b.x; }
};

// Whether the part of the walk after position s, closed by point k (at
// the place of the point at s), is a loop of its own: three or more points,
// every edge running the same way against its face (as the loop's parts
// at a corner where two squares of a welded chessboard touch), some area.
bool SplitsOff(const CapLoop& c, const Walk& w, size_t s, size_t k) {
  const size_t first = s + 1, count = w.points.size() - first + 1;
  if (count < 3) return false;
  const int64_t turn = w.turn.back() - w.turn[s] + Against(c, k);
  const double area = w.area.back() - w.area[first] +
                      Walk::Cross(c.points[w.points.back()], c.points[k]) +
                      Walk::Cross(c.points[k], c.points[w.points[first]]);
  return std::abs(turn) == int64_t(count) && area != 0.0;
}

// The parts of c split at its pinches, appended to parts, the rest of the
// loop last; false, appending nothing, where c has none. at is per place
// its position in the walk so far (SIZE_MAX for none), left so again; w
// and piece are room to work in, of any content.
bool SplitLoop(const CapLoop& c, std::vector<size_t>& at, std::vector<CapLoop>& parts, Walk& w,
               std::vector<size_t>& piece) {
  const size_t first = parts.size();
  w.Cut(0);
  for (size_t k = 0; k < c.places.size(); ++k) {
    const size_t s = at[c.places[k]];
    if (s != SIZE_MAX && SplitsOff(c, w, s, k)) {
      piece.assign(w.points.begin() + std::ptrdiff_t(s) + 1, w.points.end());
      piece.push_back(k);
      for (size_t j : piece) at[c.places[j]] = SIZE_MAX;
      at[c.places[k]] = s;
      w.Cut(s + 1);
      parts.push_back(PartOf(c, piece));
      continue;
    }
    at[c.places[k]] = w.points.size();
    w.Push(c, k);
  }
  for (size_t j : w.points) at[c.places[j]] = SIZE_MAX;
  if (parts.size() == first) return false;
  parts.push_back(PartOf(c, w.points));
  return true;
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
        std::vector<size_t> at(placeCount, SIZE_MAX);
        Walk w;
        std::vector<size_t> piece;
        for (size_t i = begin; i < end; ++i) {
          if (!SplitLoop(caps[i], at, r.caps, w, piece)) r.caps.push_back(std::move(caps[i]));
          r.body.resize(r.caps.size(), body[i]);
        }
        return r;
      },
      kParallelCostlyItems);
  caps.clear();
  body.clear();
  for (Split& r : split) {
    caps.insert(caps.end(), std::make_move_iterator(r.caps.begin()),
                std::make_move_iterator(r.caps.end()));
    body.insert(body.end(), r.body.begin(), r.body.end());
  }
}

}  // namespace quarnel
