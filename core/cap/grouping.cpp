#include "core/cap/grouping.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <utility>

namespace quarnel {

namespace {

// Sets of loops joined pair by pair (union by root, paths halved), and
// how many sets there are.
class Sets {
 public:
  explicit Sets(size_t n) : parent_(n), count_(n) {
    std::iota(parent_.begin(), parent_.end(), size_t(0));
  }
  size_t Root(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void Unite(size_t a, size_t b) {
    const size_t rb = Root(b), ra = Root(a);
    parent_[ra] = rb;
    if (ra != rb) --count_;
  }
  size_t Count() const { return count_; }

 private:
  std::vector<size_t> parent_;
  size_t count_;
};

// Whether two ranges overlap, or one lies within the other give or take
// pad.
bool RangesMeet(double alo, double ahi, double blo, double bhi, double pad) {
  return std::min(ahi, bhi) - std::max(alo, blo) > 0.0 ||
         (alo >= blo - pad && ahi <= bhi + pad) || (blo >= alo - pad && bhi <= ahi + pad);
}

// Whether the loops' boxes meet along both axes (RangesMeet).
bool BoxesMeet(const CapLoop& c, const CapLoop& d, double pad) {
  return RangesMeet(c.lo.x, c.hi.x, d.lo.x, d.hi.x, pad) &&
         RangesMeet(c.lo.y, c.hi.y, d.lo.y, d.hi.y, pad);
}

// Whether loop i meets a loop of the list, dropping on the way the loops
// that the sweep has passed (they end before i begins).
bool MeetsOneOf(const std::vector<CapLoop>& caps, size_t i, std::vector<size_t>& list,
                double pad) {
  const CapLoop& c = caps[i];
  for (size_t k = 0; k < list.size();) {
    const CapLoop& d = caps[list[k]];
    if (d.hi.x + pad < c.lo.x) {
      list[k] = list.back();
      list.pop_back();
      continue;
    }
    if (BoxesMeet(c, d, pad)) return true;
    ++k;
  }
  return false;
}

// Joins the loops whose boxes meet, body by body, by a sweep along x. The
// loops still open are kept by group: the new loop joins every group one
// of whose loops it meets, and they become one.
void JoinByBoxes(const std::vector<CapLoop>& caps, const std::vector<uint32_t>& body,
                 double pad, Sets& sets) {
  std::vector<size_t> order(caps.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return body[a] != body[b] ? body[a] < body[b] : caps[a].lo.x < caps[b].lo.x;
  });
  std::vector<std::vector<size_t>> open;
  std::vector<size_t> met;
  for (size_t n = 0; n < order.size(); ++n) {
    const size_t i = order[n];
    if (n > 0 && body[order[n - 1]] != body[i]) open.clear();
    met.clear();
    for (size_t g = 0; g < open.size(); ++g)
      if (MeetsOneOf(caps, i, open[g], pad)) met.push_back(g);
    size_t into = met.empty() ? open.size() : met[0];
    for (size_t g : met)
      if (open[g].size() > open[into].size()) into = g;
    if (met.empty()) open.emplace_back();
    for (size_t g : met) {
      sets.Unite(open[g][0], i);
      if (g == into) continue;
      open[into].insert(open[into].end(), open[g].begin(), open[g].end());
      open[g].clear();
    }
    open[into].push_back(i);
    open.erase(std::remove_if(open.begin(), open.end(),
                              [](const std::vector<size_t>& l) { return l.empty(); }),
               open.end());
  }
}

// The loops at each place, each loop once and in the order of the loops:
// those at place p are loops[start[p]] .. loops[start[p + 1] - 1]. Counted
// out by place, so that the cost grows only with the places and points.
struct LoopsByPlace {
  std::vector<uint32_t> start, loops;
};

LoopsByPlace LoopsAtPlaces(const std::vector<CapLoop>& caps) {
  uint32_t count = 0;
  for (const CapLoop& c : caps)
    for (uint32_t p : c.places)
      count = std::max(count, p + 1);
  LoopsByPlace by;
  by.start.assign(size_t(count) + 1, 0);
  // The last loop counted at each place: a loop passing it twice counts once.
  std::vector<uint32_t> last(count, UINT32_MAX);
  for (uint32_t i = 0; i < caps.size(); ++i)
    for (uint32_t p : caps[i].places)
      if (last[p] != i) last[p] = i, ++by.start[size_t(p) + 1];
  for (size_t p = 0; p < count; ++p)
    by.start[p + 1] += by.start[p];
  by.loops.resize(by.start.back());
  std::vector<uint32_t> fill(by.start.begin(), by.start.end() - 1);
  for (uint32_t i = 0; i < caps.size(); ++i)
    for (uint32_t p : caps[i].places)
      if (fill[p] == by.start[p] || by.loops[fill[p] - 1] != i) by.loops[fill[p]++] = i;
  return by;
}

// Joins the two loops of each pair (a, b) that is listed twice: the pairs
// counted out by their first loop, each second loop marked with the first
// it was met with.
void JoinPairsListedTwice(const std::vector<std::pair<uint32_t, uint32_t>>& pairs, size_t loops,
                          Sets& sets) {
  std::vector<uint32_t> start(loops + 1, 0);
  for (const auto& [a, b] : pairs)
    ++start[a + 1];
  for (size_t a = 0; a < loops; ++a)
    start[a + 1] += start[a];
  std::vector<uint32_t> second(pairs.size());
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  for (const auto& [a, b] : pairs)
    second[fill[a]++] = b;
  std::vector<uint32_t> metWith(loops, UINT32_MAX);
  for (uint32_t a = 0; a < loops; ++a)
    for (uint32_t k = start[a]; k < start[a + 1]; ++k) {
      if (metWith[second[k]] == a) sets.Unite(a, second[k]);
      metWith[second[k]] = a;
    }
}

// Joins the loops that share two or more places: pairs of loops at each
// shared place, a pair found twice sharing two. Many loops about one point
// are joined without counting pairs.
void JoinBySharedPlaces(const std::vector<CapLoop>& caps, Sets& sets) {
  const LoopsByPlace by = LoopsAtPlaces(caps);
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (size_t p = 0; p + 1 < by.start.size(); ++p) {
    const uint32_t a = by.start[p], b = by.start[p + 1];
    if (b - a > 16) {
      for (uint32_t x = a + 1; x < b; ++x)
        sets.Unite(by.loops[x], by.loops[a]);
    } else {
      for (uint32_t x = a; x < b; ++x)
        for (uint32_t y = x + 1; y < b; ++y)
          pairs.push_back({by.loops[x], by.loops[y]});
    }
  }
  JoinPairsListedTwice(pairs, caps.size(), sets);
}

}  // namespace

std::vector<std::vector<size_t>> OverlappingGroups(const std::vector<CapLoop>& caps,
                                                   const std::vector<uint32_t>& body,
                                                   double pad) {
  Sets sets(caps.size());
  JoinByBoxes(caps, body, pad, sets);
  // Loops that their boxes made all one set (as where one loop's box holds
  // the others') have nothing left to join by their places.
  if (sets.Count() > 1) JoinBySharedPlaces(caps, sets);
  std::vector<std::vector<size_t>> groups;
  std::vector<size_t> slot(caps.size(), SIZE_MAX);
  for (size_t i = 0; i < caps.size(); ++i) {
    size_t& g = slot[sets.Root(i)];
    if (g == SIZE_MAX) {
      g = groups.size();
      groups.emplace_back();
    }
    groups[g].push_back(i);
  }
  return groups;
}

}  // namespace quarnel
