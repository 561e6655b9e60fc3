#include "core/cap/cap_loop.h"

#include <algorithm>
#include <cmath>

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

CapLoop PartOf(const CapLoop& c, const std::vector<size_t>& points) {
  CapLoop part;
  for (size_t k : points) {
    part.points.push_back(c.points[k]);
    part.corners.push_back(c.corners[k]);
    part.edges.push_back(c.edges[k]);
    part.places.push_back(c.places[k]);
    const FacePos& e = c.edges[k];
    part.against += e.f->v[(e.z + 1) % 3] == e.v ? -1 : 1;
  }
  part.twiceArea = TwiceArea(part.points);
  part.lo = part.hi = part.points[0];
  for (const Point2d& q : part.points) {
    part.lo.x = std::min(part.lo.x, q.x), part.lo.y = std::min(part.lo.y, q.y);
    part.hi.x = std::max(part.hi.x, q.x), part.hi.y = std::max(part.hi.y, q.y);
  }
  return part;
}

namespace {

// The parts of c split at its pinches, appended to parts, the rest of the
// loop last; false, appending nothing, where c has none. at is per place
// its position in the walk so far (SIZE_MAX for none), left so again.
bool SplitLoop(const CapLoop& c, std::vector<size_t>& at, std::vector<CapLoop>& parts) {
  const size_t first = parts.size();
  std::vector<size_t> walk, piece;
  for (size_t k = 0; k < c.places.size(); ++k) {
    const size_t s = at[c.places[k]];
    if (s != SIZE_MAX) {
      piece.assign(walk.begin() + std::ptrdiff_t(s) + 1, walk.end());
      piece.push_back(k);
      CapLoop part = piece.size() >= 3 ? PartOf(c, piece) : CapLoop();
      if (std::fabs(part.twiceArea) > 0.0) {
        for (size_t j : piece) at[c.places[j]] = SIZE_MAX;
        at[c.places[k]] = s;
        walk.resize(s + 1);
        parts.push_back(std::move(part));
        continue;
      }
    }
    at[c.places[k]] = walk.size();
    walk.push_back(k);
  }
  for (size_t j : walk) at[c.places[j]] = SIZE_MAX;
  if (parts.size() == first) return false;
  parts.push_back(PartOf(c, walk));
  return true;
}

}  // namespace

void SplitAtPinches(std::vector<CapLoop>& caps, std::vector<uint32_t>& body,
                    size_t placeCount) {
  std::vector<size_t> at(placeCount, SIZE_MAX);
  std::vector<CapLoop> split;
  std::vector<uint32_t> bodies;
  for (size_t i = 0; i < caps.size(); ++i) {
    if (!SplitLoop(caps[i], at, split)) split.push_back(std::move(caps[i]));
    bodies.resize(split.size(), body[i]);
  }
  caps = std::move(split);
  body = std::move(bodies);
}

}  // namespace quarnel
