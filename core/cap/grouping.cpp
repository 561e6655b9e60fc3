#include "core/cap/grouping.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace quarnel {

namespace {

// Sets of loops joined pair by pair (union by root, paths halved).
class Sets {
 public:
  explicit Sets(size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), size_t(0)); }
  size_t Root(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void Unite(size_t a, size_t b) { parent_[Root(a)] = Root(b); }

 private:
  std::vector<size_t> parent_;
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

// Joins the loops that share two or more places: pairs of loops at each
// shared place, a pair found twice sharing two. Many loops about one point
// are joined without counting pairs.
void JoinBySharedPlaces(const std::vector<CapLoop>& caps, Sets& sets) {
  std::vector<std::pair<uint32_t, size_t>> at;
  for (size_t i = 0; i < caps.size(); ++i)
    for (uint32_t p : caps[i].places) at.push_back({p, i});
  std::sort(at.begin(), at.end());
  at.erase(std::unique(at.begin(), at.end()), at.end());
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t a = 0; a < at.size();) {
    size_t b = a + 1;
    while (b < at.size() && at[b].first == at[a].first) ++b;
    if (b - a > 16) {
      for (size_t x = a + 1; x < b; ++x) sets.Unite(at[x].second, at[a].second);
    } else {
      for (size_t x = a; x < b; ++x)
        for (size_t y = x + 1; y < b; ++y) pairs.push_back({at[x].second, at[y].second});
    }
    a = b;
  }
  std::sort(pairs.begin(), pairs.end());
  for (size_t k = 1; k < pairs.size(); ++k)
    if (pairs[k] == pairs[k - 1]) sets.Unite(pairs[k].first, pairs[k].second);
}

}  // namespace

std::vector<std::vector<size_t>> OverlappingGroups(const std::vector<CapLoop>& caps,
                                                   const std::vector<uint32_t>& body,
                                                   double pad) {
  Sets sets(caps.size());
  JoinByBoxes(caps, body, pad, sets);
  JoinBySharedPlaces(caps, sets);
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
