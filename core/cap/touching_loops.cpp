#include "core/cap/touching_loops.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

#include "core/cap/ear_clipping.h"
#include "core/cap/side_grids.h"
#include "core/parallel_for.h"
#include "core/prefetch.h"

namespace quarnel {

namespace {

// A side as the cap runs it, from place p (corner from) to place q
// (corner to): edge z of face f.
struct RunSide {
  // A list of many sides is made without first clearing them all: each
  // is filled in where its loop's sides are found.
  RunSide() {}
  RunSide(uint32_t p, uint32_t q, VertexT5* from, VertexT5* to, const FaceT5* f, int z)
      : p(p), q(q), from(from), to(to), f(f), z(z) {}

  uint32_t p, q;
  VertexT5* from;
  VertexT5* to;
  const FaceT5* f;
  int z;
};

// The key of a side between places p and q, either way: the lower place
// in the upper 32 bits, the higher in the lower.
uint64_t SideKey(uint32_t p, uint32_t q) {
  return uint64_t(std::min(p, q)) << 32 | std::max(p, q);
}

// The indices 0 .. count - 1 of items into order. Where their places
// (place(index)) span not many more numbers than there are items, counts
// them out by place, those of one place in ascending order, and returns
// where each place's run starts, with its end as the last entry. Otherwise
// leaves them in ascending order and returns nothing.
template <class Place>
std::vector<uint32_t> CountOutByPlace(size_t count, Place&& place, std::vector<uint32_t>& order) {
  order.resize(count);
  std::iota(order.begin(), order.end(), 0u);
  uint32_t lo = UINT32_MAX, hi = 0;
  for (const uint32_t i : order)
    lo = std::min(lo, place(i)), hi = std::max(hi, place(i));
  if (order.empty() || hi - lo > 4 * order.size()) return {};
  const size_t places = size_t(hi - lo) + 1;
  std::vector<uint32_t> start(places + 1, 0);
  for (const uint32_t i : order)
    ++start[place(i) - lo + 1];
  for (size_t p = 0; p < places; ++p)
    start[p + 1] += start[p];
  std::vector<uint32_t> sorted(order.size());
  std::vector<uint32_t> fill(start.begin(), start.end() - 1);
  // The indices go to places far apart: where one some way ahead goes is
  // fetched ahead.
  for (size_t i = 0; i < order.size(); ++i) {
    if (i + 16 < order.size()) Prefetch(&sorted[fill[place(order[i + 16]) - lo]]);
    sorted[fill[place(order[i]) - lo]++] = order[i];
  }
  order = std::move(sorted);
  return start;
}

// The items in the order given (indices into them), laid out range by
// range on threads of their own, each item read some way ahead.
template <class T>
std::vector<T> ItemsInOrder(const std::vector<T>& items, const std::vector<uint32_t>& order) {
  std::vector<T> sorted(items.size());
  ParallelForRanges(items.size(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      if (i + 16 < end) PrefetchRecord(&items[order[i + 16]]);
      sorted[i] = items[order[i]];
    }
  });
  return sorted;
}

// The items with the indices of each run of one place (order from
// start[p] to start[p + 1]) sorted by less and laid out there, range by
// range of places on threads of their own. The items of a run are read
// some runs ahead, and its keys where it has more than one item to compare.
template <class T, class Less>
std::vector<T> ItemsByRuns(const std::vector<T>& items, const std::vector<uint64_t>& keys,
                           std::vector<uint32_t>& order, const std::vector<uint32_t>& start,
                           Less&& less) {
  constexpr size_t kAhead = 8;  // runs
  std::vector<T> sorted(items.size());
  ParallelForRanges(start.size() - 1, [&](size_t begin, size_t end) {
    for (size_t p = begin; p < end; ++p) {
      if (p + kAhead < end) {
        const uint32_t first = start[p + kAhead], last = start[p + kAhead + 1];
        for (uint32_t k = first; k < last; ++k) {
          PrefetchRecord(&items[order[k]]);
          if (last - first > 1) Prefetch(&keys[order[k]]);
        }
      }
      std::sort(order.begin() + start[p], order.begin() + start[p + 1], less);
      for (uint32_t k = start[p]; k < start[p + 1]; ++k)
        sorted[k] = items[order[k]];
    }
  });
  return sorted;
}

// Sorts items by their keys (keys, per item, the item's place in the upper
// 32 bits), those of equal keys by before. The indices are sorted rather
// than the items, on the keys and, where two keys are equal, the items
// they index (the same comparisons, so the same order, as sorting the
// items themselves). Where CountOutByPlace counts them out by place, each
// run of one place is sorted and its items laid out at once, range by
// range of places on threads of their own, the keys and items of a run
// some places on read ahead (ItemsByRuns); otherwise all are sorted, then
// laid out (ItemsInOrder). The new list's pages are first written on all
// threads.
template <class T, class Before>
void SortByKey(std::vector<T>& items, const std::vector<uint64_t>& keys, Before&& before) {
  auto less = [&](uint32_t a, uint32_t b) {
    return keys[a] != keys[b] ? keys[a] < keys[b] : before(items[a], items[b]);
  };
  std::vector<uint32_t> order;
  const std::vector<uint32_t> start = CountOutByPlace(
      items.size(), [&](uint32_t i) { return uint32_t(keys[i] >> 32); }, order);
  if (start.empty()) {
    std::sort(order.begin(), order.end(), less);
    items = ItemsInOrder(items, order);
  } else {
    items = ItemsByRuns(items, keys, order, start, less);
  }
}

// The sides of loop g of the group as its cap runs it (against the way the
// face of each runs it), into sides, per side its places, the lower in the
// upper 32 bits, into key, and per side u.x v.y - u.y v.x of its ends u
// and v, into swept.
void SidesOfLoop(const std::vector<CapLoop>& caps, const std::vector<size_t>& group, size_t g,
                 const CutPlaces& places, RunSide* sides, uint64_t* key, double* swept) {
  const CapLoop& c = caps[group[g]];
  const size_t n = c.places.size();
  // The points of the places lie far apart: those some sides on are
  // fetched ahead.
  constexpr size_t kAhead = 8;
  for (size_t k = 0; k < std::min(n, kAhead); ++k)
    Prefetch(&places.at[c.places[k]]);
  for (size_t k = 0; k < n; ++k) {
    if (k + kAhead < n) Prefetch(&places.at[c.places[k + kAhead]]);
    const FacePos& e = c.edges[k];
    const bool faceAlong = c.turns[k] < 0;
    const size_t before = k == 0 ? n - 1 : k - 1;  // the point before k
    const size_t a = faceAlong ? k : before, b = faceAlong ? before : k;
    sides[k] = {c.places[a], c.places[b], c.corners[a], c.corners[b], e.f, e.z};
    key[k] = SideKey(c.places[a], c.places[b]);
    const Point2d& u = places.at[c.places[a]];
    const Point2d& v = places.at[c.places[b]];
    swept[k] = u.x * v.y - u.y * v.x;
  }
}

// The sides of the group's loops as their caps run them, loop by loop,
// found range by range of loops on threads of their own, and each side's
// key (SideKey), into key. turn is the sign of the area the sides
// turn (0 for none), summed side by side in turn.
std::vector<RunSide> SidesOfTheLoops(const std::vector<CapLoop>& caps,
                                     const std::vector<size_t>& group, const CutPlaces& places,
                                     std::vector<uint64_t>& key, int& turn) {
  std::vector<size_t> first(group.size() + 1, 0);
  for (size_t g = 0; g < group.size(); ++g)
    first[g + 1] = first[g] + caps[group[g]].places.size();
  std::vector<RunSide> sides(first.back());
  key.resize(first.back());
  std::vector<double> swept(first.back());
  ParallelForRanges(
      group.size(),
      [&](size_t begin, size_t end) {
        for (size_t g = begin; g < end; ++g)
          SidesOfLoop(caps, group, g, places, &sides[first[g]], &key[first[g]], &swept[first[g]]);
      },
      kParallelCostlyItems);
  double area = 0.0;
  for (double a : swept)
    area += a;
  turn = area > 0.0 ? 1 : area < 0.0 ? -1 : 0;
  return sides;
}

// The sides of the group's loops as their caps run them (SidesOfTheLoops),
// each border edge once, less each pair of a side and one running back
// between the same two corners; empty where two other sides join the same
// two places, or a side one place to itself. turn is the sign of the area
// the sides turn (0 for none).
std::vector<RunSide> SidesAsTheCapRuns(const std::vector<CapLoop>& caps,
                                       const std::vector<size_t>& group, const CutPlaces& places,
                                       int& turn) {
  std::vector<uint64_t> keys;
  std::vector<RunSide> sides = SidesOfTheLoops(caps, group, places, keys, turn);
  auto key = [](const RunSide& s) { return SideKey(s.p, s.q); };
  auto edge = [](const RunSide& s) { return std::pair(s.f, s.z); };
  SortByKey(sides, keys, [&](const RunSide& x, const RunSide& y) { return edge(x) < edge(y); });
  // A border edge that the walks passed twice is one side.
  sides.erase(std::unique(sides.begin(), sides.end(),
                          [&](const RunSide& x, const RunSide& y) { return edge(x) == edge(y); }),
              sides.end());
  // The sides kept are moved to the front, each to before where it was.
  size_t kept = 0;
  for (size_t s = 0, e = 0; s < sides.size(); s = e) {
    for (e = s + 1; e < sides.size() && key(sides[e]) == key(sides[s]);) ++e;
    const RunSide& x = sides[s];
    if (x.p == x.q) return {};
    if (e - s == 1) {
      sides[kept++] = x;
      continue;
    }
    const RunSide& y = sides[s + 1];
    if (e - s != 2 || x.from != y.to || x.to != y.from || x.p != y.q) return {};
  }
  sides.resize(kept);
  return sides;
}

// The places the sides start at, each once, in order: where they span not
// many more numbers than there are sides, marked out place by place.
std::vector<uint32_t> Starts(const std::vector<RunSide>& sides) {
  uint32_t lo = UINT32_MAX, hi = 0;
  for (const RunSide& s : sides)
    lo = std::min(lo, s.p), hi = std::max(hi, s.p);
  std::vector<uint32_t> ids;
  if (sides.empty() || hi - lo > 4 * sides.size()) {
    for (const RunSide& s : sides)
      ids.push_back(s.p);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
  }
  std::vector<uint8_t> starts(size_t(hi - lo) + 1, 0);
  for (const RunSide& s : sides)
    starts[s.p - lo] = 1;
  for (uint32_t p = lo; p - lo < starts.size(); ++p)
    if (starts[p - lo]) ids.push_back(p);
  return ids;
}

// Whether the sides keep apart but at their ends (SidesKeepApart of the
// side grids); starts are the places they start at.
bool KeepApart(const std::vector<RunSide>& sides, const std::vector<uint32_t>& starts,
               const CutPlaces& places, double snap) {
  std::vector<std::pair<uint32_t, uint32_t>> ends;
  ends.reserve(sides.size());
  for (const RunSide& s : sides)
    ends.push_back({s.p, s.q});
  return SidesKeepApart(ends, places.at, places.rounding, starts, snap);
}

// The sides by the place they start at, those of one place in order, and
// where CountOutByPlace counted them out, the start of each place's run
// from place lo on (empty otherwise).
struct SidesLeaving {
  std::vector<uint32_t> order, start;
  uint32_t lo = 0;

  explicit SidesLeaving(const std::vector<RunSide>& sides) {
    auto place = [&](uint32_t s) { return sides[s].p; };
    start = CountOutByPlace(sides.size(), place, order);
    if (start.empty())
      std::stable_sort(order.begin(), order.end(),
                       [&](uint32_t a, uint32_t b) { return place(a) < place(b); });
    if (!order.empty()) lo = place(order[0]);
  }

  // The sides leaving place v, in order.
  std::span<const uint32_t> At(const std::vector<RunSide>& sides, uint32_t v) const {
    if (!start.empty()) {
      if (v < lo || size_t(v - lo) + 1 >= start.size()) return {};
      return {order.data() + start[v - lo], order.data() + start[v - lo + 1]};
    }
    auto first = std::lower_bound(order.begin(), order.end(), v,
                                  [&](uint32_t s, uint32_t place) { return sides[s].p < place; });
    auto last = first;
    while (last != order.end() && sides[*last].p == v)
      ++last;
    return {first, last};
  }
};

// Whether the way from place a to place b has an angle (atan2 of it is a
// number): neither difference of their coordinates is NaN.
bool HasAngle(const CutPlaces& places, uint32_t a, uint32_t b) {
  const Point2d from = places.at[a], to = places.at[b];
  return !std::isnan(to.y - from.y) && !std::isnan(to.x - from.x);
}

// The side that side i turns onto at its end (see NextSides), of those
// leaving it; UINT32_MAX for none. Where one side leaves, it is taken
// without measuring angles where both ways have one, as the round would
// take it: its turn is then a number no larger than a whole turn.
uint32_t TurnOnto(const std::vector<RunSide>& sides, const SidesLeaving& leaving,
                  const CutPlaces& places, int turn, uint32_t i) {
  auto angle = [&](uint32_t from, uint32_t to) {
    const Point2d a = places.at[from], b = places.at[to];
    return std::atan2(b.y - a.y, b.x - a.x);
  };
  const uint32_t v = sides[i].q;
  const std::span<const uint32_t> out = leaving.At(sides, v);
  if (out.size() == 1) {
    const bool both = HasAngle(places, v, sides[i].p) && HasAngle(places, v, sides[out[0]].q);
    return both ? out[0] : UINT32_MAX;
  }
  const double back = angle(v, sides[i].p);
  double best = HUGE_VAL;
  uint32_t chosen = UINT32_MAX;
  for (uint32_t s : out) {
    double round = turn > 0 ? back - angle(v, sides[s].q) : angle(v, sides[s].q) - back;
    while (round <= 0.0)
      round += 2.0 * std::numbers::pi;
    if (round < best) best = round, chosen = s;
  }
  return chosen;
}

// Per side, the side that follows it: of those leaving its end, the first
// round from the way back along it, clockwise where the cap turns
// counter-clockwise (turn 1), so that the cap's region stays on the left;
// the other way round for turn -1. Empty where that is no one-to-one
// following, or a place has not as many sides leaving as coming.
std::vector<uint32_t> NextSides(const std::vector<RunSide>& sides, const CutPlaces& places,
                                int turn) {
  const SidesLeaving leaving(sides);
  // Each side's next is found on its own, range by range on threads of
  // their own; then whether no side is next to two.
  std::vector<uint32_t> next(sides.size());
  ParallelFor(sides.size(),
              [&](size_t i) { next[i] = TurnOnto(sides, leaving, places, turn, uint32_t(i)); });
  std::vector<uint8_t> taken(sides.size(), 0);
  for (uint32_t chosen : next) {
    if (chosen == UINT32_MAX || taken[chosen]) return {};
    taken[chosen] = 1;
  }
  return next;
}

// The cycles that following the sides makes, from each side not yet
// passed in turn: cycle c is sides order[first[c]] .. order[first[c + 1] - 1].
struct Cycles {
  std::vector<uint32_t> order, first;
};

Cycles FollowSides(const std::vector<uint32_t>& next) {
  Cycles cycles;
  cycles.order.reserve(next.size());
  cycles.first.push_back(0);
  std::vector<uint8_t> done(next.size(), 0);
  for (uint32_t start = 0; start < next.size(); ++start) {
    if (done[start]) continue;
    for (uint32_t s = start; !done[s]; s = next[s]) {
      done[s] = 1;
      cycles.order.push_back(s);
    }
    cycles.first.push_back(uint32_t(cycles.order.size()));
  }
  return cycles;
}

// The loop of cycle k into c: false where it has fewer than three points,
// passes a place twice or does not turn as the cap does. met is per place
// 0, and left so.
bool TracedLoop(const std::vector<RunSide>& sides, const Cycles& cycles, size_t k,
                const CutPlaces& places, int turn, std::vector<uint8_t>& met, CapLoop& c) {
  const size_t n = cycles.first[k + 1] - cycles.first[k];
  c.places.reserve(n), c.corners.reserve(n), c.points.reserve(n);
  // The sides lie far apart in their list: those some way on in the
  // cycles' order (into the next cycles) are fetched ahead.
  constexpr size_t kAhead = 8;
  for (size_t i = cycles.first[k]; i < cycles.first[k + 1]; ++i) {
    if (i + kAhead < cycles.order.size()) PrefetchRecord(&sides[cycles.order[i + kAhead]]);
    const RunSide& s = sides[cycles.order[i]];
    c.places.push_back(s.p);
    c.corners.push_back(s.from);
    c.points.push_back(places.at[s.p]);
  }
  bool once = c.places.size() >= 3;
  for (uint32_t p : c.places)
    once = once && !met[p], met[p] = 1;
  for (uint32_t p : c.places)
    met[p] = 0;
  c.twiceArea = TwiceArea(c.points);
  if (!once || !(c.twiceArea * turn > 0.0)) return false;
  c.Measure();
  return true;
}

// Appends to plan the ear clipping of each loop that following the sides
// makes (TracedLoop), on its own and in the order of the cycles: the loops
// are traced and clipped at once range by range on threads of their own,
// each range into a list of its own, and each loop is let go once clipped.
// False, leaving plan as it was, where a loop does not pass a place once or
// turn as the cap does (with the cap's region kept on the left, a loop
// turning the other way is the rim of a hole in it, which ear clipped as a
// loop of its own would be covered), or gives no complete cap.
bool EarClipTracedLoops(const std::vector<RunSide>& sides, const std::vector<uint32_t>& next,
                        const CutPlaces& places, int turn, const SurfaceChords& chords,
                        CapPlan& plan) {
  const Cycles cycles = FollowSides(next);
  struct Clipped {
    bool closed = true;
    std::vector<uint32_t> triangles;
  };
  const std::vector<Clipped> ranges = ParallelCollect(
      cycles.first.size() - 1,
      [&](size_t begin, size_t end) {
        std::vector<uint8_t> met(places.at.size(), 0);
        CapPlan part;
        Clipped r;
        for (size_t k = begin; k < end && r.closed; ++k) {
          CapLoop loop;
          r.closed = TracedLoop(sides, cycles, k, places, turn, met, loop) &&
                     EarClipLoop({&loop}, chords, part);
        }
        r.triangles = std::move(part.triangles);
        return r;
      },
      kParallelCostlyItems);
  for (const Clipped& r : ranges)
    if (!r.closed) return false;
  for (const Clipped& r : ranges)
    plan.triangles.insert(plan.triangles.end(), r.triangles.begin(), r.triangles.end());
  return true;
}

}  // namespace

bool EarClipTouchingLoops(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                          const CutPlaces& places, double snap, const SurfaceChords& chords,
                          CapPlan& plan) {
  int turn = 0;
  const std::vector<RunSide> sides = SidesAsTheCapRuns(caps, group, places, turn);
  if (sides.empty() || turn == 0) return false;
  // Loops that meet at no place, where as many places start sides as there
  // are sides, are EarClipApartLoops's.
  const std::vector<uint32_t> starts = Starts(sides);
  if (starts.size() == sides.size() || !KeepApart(sides, starts, places, snap)) return false;
  const std::vector<uint32_t> next = NextSides(sides, places, turn);
  if (next.empty()) return false;
  return EarClipTracedLoops(sides, next, places, turn, chords, plan);
}

}  // namespace quarnel
