#include "core/cap/ear_clipping.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>
#include "core/cap/nesting.h"
#include "core/cap/side_grids.h"
#include "core/polygon_triangulation.h"

namespace quarnel {

bool EarClipLoop(const std::vector<const CapLoop*>& loops, const SurfaceChords& chords,
                 CapPlan& plan) {
  // A single loop's own lists serve as they are; those of more are joined
  // (their points only where the flips below read them).
  std::vector<VertexT5*> joinedCorners;
  std::vector<uint32_t> joinedPlaces;
  std::vector<const std::vector<Point2d>*> polygon;
  if (loops.size() > 1)
    for (const CapLoop* c : loops) {
      joinedCorners.insert(joinedCorners.end(), c->corners.begin(), c->corners.end());
      joinedPlaces.insert(joinedPlaces.end(), c->places.begin(), c->places.end());
      polygon.push_back(&c->points);
    }
  const bool one = loops.size() == 1;
  const std::vector<VertexT5*>& corners = one ? loops[0]->corners : joinedCorners;
  const std::vector<uint32_t>& places = one ? loops[0]->places : joinedPlaces;
  auto cut = [&](std::vector<int>& triangles, const RefusedDiagonal& refused) {
    triangles.clear();
    return (loops.size() == 1 ? TriangulatePolygon2D(loops[0]->points, triangles, refused)
                              : TriangulatePolygonWithHoles2D(polygon, triangles, refused)) == 1;
  };
  std::vector<int> triangles;
  if (!cut(triangles, {})) return false;
  if (chords.AnyOn(triangles, corners)) {
    const RefusedDiagonal onChord = [&](int a, int b) {
      return chords.Joins(corners[size_t(a)], corners[size_t(b)]);
    };
    std::vector<Point2d> joinedPoints;
    if (!one)
      for (const CapLoop* c : loops)
        joinedPoints.insert(joinedPoints.end(), c->points.begin(), c->points.end());
    const std::vector<Point2d>& points = one ? loops[0]->points : joinedPoints;
    std::vector<int> flipped = triangles;
    if (FlipRefusedDiagonals(points, flipped, onChord) && chords.KeepManifold(flipped, corners)) {
      triangles = std::move(flipped);
    } else if (!cut(triangles, onChord) || chords.AnyOn(triangles, corners) ||
               !chords.KeepManifold(triangles, corners)) {
      return false;
    }
  }
  // Counter-clockwise triangles, turned as the cap turns.
  const bool ccw = loops[0]->CapArea() > 0.0;
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    plan.triangles.push_back(places[size_t(triangles[t])]);
    plan.triangles.push_back(places[size_t(triangles[ccw ? t + 1 : t + 2])]);
    plan.triangles.push_back(places[size_t(triangles[ccw ? t + 2 : t + 1])]);
  }
  return true;
}

namespace {

// Whether a place comes twice among the points of the group's loops (of
// placeCount places): the places of few points sorted, those of many
// marked off one by one up to the first met again.
bool AnyPlaceTwice(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                   size_t points, size_t placeCount) {
  if (points * 256 < placeCount) {
    std::vector<uint32_t> sorted;
    sorted.reserve(points);
    for (size_t i : group)
      sorted.insert(sorted.end(), caps[i].places.begin(), caps[i].places.end());
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
  }
  std::vector<uint8_t> met(placeCount, 0);
  for (size_t i : group)
    for (uint32_t p : caps[i].places) {
      if (met[p]) return true;
      met[p] = 1;
    }
  return false;
}

}  // namespace

bool EarClipApartLoops(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                       const CutPlaces& places, double snap, const SurfaceChords& chords,
                       CapPlan& plan) {
  size_t points = 0;
  for (size_t i : group) {
    const CapLoop& c = caps[i];
    if (c.places.size() < 3 || !(std::fabs(c.twiceArea) > 0.0)) return false;
    points += c.places.size();
  }
  if (AnyPlaceTwice(caps, group, points, places.at.size())) return false;
  std::vector<uint32_t> ids;
  std::vector<std::pair<uint32_t, uint32_t>> ends;
  ids.reserve(points), ends.reserve(points);
  for (size_t i : group) {
    const CapLoop& c = caps[i];
    for (size_t k = 0; k < c.places.size(); ++k) {
      ids.push_back(c.places[k]);
      ends.push_back({c.places[k], c.places[(k + 1) % c.places.size()]});
    }
  }
  if (!SidesKeepApart(ends, places.at, places.rounding, ids, snap)) return false;
  // Each loop's place among the others: its parent the innermost loop
  // around it, parents before the loops inside them.
  const size_t k = group.size();
  std::vector<int> parent;
  std::vector<size_t> order;
  if (!NestByRays(caps, group, parent, order)) return false;
  // A loop right inside a hole is none.
  std::vector<uint8_t> hole(k, 0);
  for (size_t a : order)
    if (parent[a] >= 0 && !hole[size_t(parent[a])]) {
      const double turn = caps[group[a]].CapArea(),
                   around = caps[group[size_t(parent[a])]].CapArea();
      hole[a] = (turn > 0.0) != (around > 0.0);
    }
  // Each loop's holes in turn.
  std::vector<std::vector<size_t>> holes(k);
  for (size_t b = 0; b < k; ++b)
    if (hole[b]) holes[size_t(parent[b])].push_back(b);
  const size_t triangles0 = plan.triangles.size();
  for (size_t a = 0; a < k; ++a) {
    if (hole[a]) continue;
    std::vector<const CapLoop*> loops{&caps[group[a]]};
    for (size_t b : holes[a]) loops.push_back(&caps[group[b]]);
    if (!EarClipLoop(loops, chords, plan)) {
      plan.triangles.resize(triangles0);
      return false;
    }
  }
  return true;
}

void EarClipLoopsOfAGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                          const SurfaceChords& chords, CapPlan& plan) {
  std::vector<int> parent;
  std::vector<size_t> order;
  if (!NestByRays(caps, group, parent, order)) parent.assign(group.size(), -1);
  std::vector<std::vector<const CapLoop*>> holes(group.size());
  std::vector<uint8_t> hole(group.size(), 0);
  for (size_t a = 0; a < group.size(); ++a) {
    const int p = parent[a];
    hole[a] = p >= 0 && parent[size_t(p)] < 0 &&
              (caps[group[a]].CapArea() > 0.0) != (caps[group[size_t(p)]].CapArea() > 0.0);
    if (hole[a]) holes[size_t(p)].push_back(&caps[group[a]]);
  }
  for (size_t a = 0; a < group.size(); ++a) {
    if (hole[a]) continue;
    std::vector<const CapLoop*> loops{&caps[group[a]]};
    loops.insert(loops.end(), holes[a].begin(), holes[a].end());
    if (EarClipLoop(loops, chords, plan)) continue;
    for (const CapLoop* loop : loops) EarClipLoop({loop}, chords, plan);
  }
}

}  // namespace quarnel
