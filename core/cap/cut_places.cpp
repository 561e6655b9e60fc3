#include "core/cap/cut_places.h"

#include <unordered_map>
#include <utility>
#include <vector>
#include "core/parallel_for.h"
#include "core/places.h"

namespace quarnel {

namespace {

// The positions of the loops' count corners, loop after loop. The corners
// lie anywhere in the vertex array: they are read loop by loop in parallel,
// each loop into its own stretch.
std::vector<Vec3d> CornerPositions(const std::vector<CapLoop>& caps, size_t count) {
  std::vector<size_t> first(caps.size() + 1, 0);
  for (size_t l = 0; l < caps.size(); ++l)
    first[l + 1] = first[l] + caps[l].corners.size();
  std::vector<Vec3d> positions(count);
  ParallelFor(caps.size(), [&](size_t l) {
    for (size_t k = 0; k < caps[l].corners.size(); ++k)
      positions[first[l] + k] = Vec3d(caps[l].corners[k]->position);
  });
  return positions;
}

// The group of each corner, loop after loop (the first corner of its
// place). Where the join check before saw every corner, none joined, each
// distinct point at a place of its own or each met once, the groups are the
// corners of one vertex; else they are found by place (GroupByPlace).
std::vector<uint32_t> GroupCorners(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                                   const CutTolerances& tolerances, const PointsApart& apart) {
  size_t count = 0;
  for (const CapLoop& c : caps) count += c.corners.size();
  const double tolerance = tolerances.place;
  bool checked = tolerance > 0.0 && apart.tolerance == tolerance && !apart.alone.empty();
  std::vector<uint32_t> group, first;
  if (checked) group.resize(count), first.assign(mesh.vertices.size(), UINT32_MAX);
  bool once = true;
  size_t i = 0;
  for (size_t l = 0; l < caps.size() && checked; ++l)
    for (const VertexT5* v : caps[l].corners) {
      const size_t n = mesh.VertexIndex(v);
      checked = checked && apart.alone[n] != 0;
      once = once && first[n] == UINT32_MAX;
      if (first[n] == UINT32_MAX) first[n] = uint32_t(i);
      group[i++] = first[n];
    }
  if (checked && (once || apart.separate)) return group;
  return GroupByPlace(CornerPositions(caps, count), tolerance, tolerances.shape);
}

// Per place, the rounding of its vertex's coordinates (OwnRounding). The
// vertices lie anywhere in the array: the first place of each vertex is
// marked per vertex (reading none), and the vertices read in array order,
// where the cut's points lie side by side; a later place of a vertex (of
// another body) takes the first one's.
std::vector<double> PlaceRoundings(const MeshT5& mesh, const std::vector<VertexT5*>& vertex) {
  std::vector<uint32_t> first(mesh.vertices.size(), UINT32_MAX);
  std::vector<std::pair<uint32_t, uint32_t>> again;  // (place, the vertex's first place)
  for (uint32_t n = 0; n < vertex.size(); ++n) {
    uint32_t& f = first[mesh.VertexIndex(vertex[n])];
    if (f == UINT32_MAX)
      f = n;
    else
      again.push_back({n, f});
  }
  std::vector<double> rounding(vertex.size());
  for (size_t i = 0; i < first.size(); ++i)
    if (first[i] != UINT32_MAX) rounding[first[i]] = OwnRounding(Vec3d(mesh.vertices[i].position));
  for (const auto& [n, f] : again) rounding[n] = rounding[f];
  return rounding;
}

}  // namespace

CutPlaces NumberPlaces(const MeshT5& mesh, std::vector<CapLoop>& caps,
                       const CutTolerances& tolerances, const PointsApart& apart,
                       const std::vector<uint32_t>& body) {
  const std::vector<uint32_t> group = GroupCorners(mesh, caps, tolerances, apart);
  std::vector<uint32_t> number(group.size(), UINT32_MAX), bodyAt(group.size(), 0);
  // Places of a group of points of a body other than its first point's.
  std::unordered_map<uint64_t, uint32_t> others;
  CutPlaces places;
  places.shape = tolerances.shape;
  // A place per corner at most: the lists are not moved as they grow.
  places.at.reserve(group.size());
  places.vertex.reserve(group.size());
  size_t i = 0;
  for (size_t l = 0; l < caps.size(); ++l) {
    CapLoop& c = caps[l];
    c.places.resize(c.corners.size());
    for (size_t k = 0; k < c.corners.size(); ++k, ++i) {
      if (number[group[i]] == UINT32_MAX) bodyAt[group[i]] = body[l];
      uint32_t& n = bodyAt[group[i]] == body[l]
                        ? number[group[i]]
                        : others.try_emplace(uint64_t(group[i]) << 32 | body[l], UINT32_MAX)
                              .first->second;
      if (n == UINT32_MAX) {
        n = uint32_t(places.at.size());
        places.at.push_back(c.points[k]);
        places.vertex.push_back(c.corners[k]);
      }
      c.places[k] = n;
    }
  }
  places.rounding = PlaceRoundings(mesh, places.vertex);
  return places;
}

}  // namespace quarnel
