#include "core/cap/cut_places.h"

#include <unordered_map>
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
                                   const CutTolerances& tolerances, PointsApart& apart) {
  const double tolerance = tolerances.place;
  bool checked = tolerance > 0.0 && apart.tolerance == tolerance && !apart.alone.empty();
  bool once = true;
  size_t count = 0;
  for (const CapLoop& c : caps) {
    count += c.corners.size();
    if (checked)
      for (const VertexT5* v : c.corners) {
        // 2: met.
        uint8_t& a = apart.alone[mesh.VertexIndex(v)];
        checked = checked && a != 0;
        once = once && a == 1;
        a = 2;
      }
  }
  if (!checked || !(once || apart.separate))
    return GroupByPlace(CornerPositions(caps, count), tolerance, tolerances.shape);
  std::vector<uint32_t> group(count), first(mesh.vertices.size(), UINT32_MAX);
  size_t i = 0;
  for (const CapLoop& c : caps)
    for (const VertexT5* v : c.corners) {
      uint32_t& f = first[mesh.VertexIndex(v)];
      if (f == UINT32_MAX) f = uint32_t(i);
      group[i++] = f;
    }
  return group;
}

}  // namespace

CutPlaces NumberPlaces(const MeshT5& mesh, std::vector<CapLoop>& caps,
                       const CutTolerances& tolerances, PointsApart& apart,
                       const std::vector<uint32_t>& body) {
  const std::vector<uint32_t> group = GroupCorners(mesh, caps, tolerances, apart);
  std::vector<uint32_t> number(group.size(), UINT32_MAX), bodyAt(group.size(), 0);
  // Places of a group of points of a body other than its first point's.
  std::unordered_map<uint64_t, uint32_t> others;
  CutPlaces places;
  places.shape = tolerances.shape;
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
        places.rounding.push_back(OwnRounding(Vec3d(c.corners[k]->position)));
      }
      c.places[k] = n;
    }
  }
  return places;
}

}  // namespace quarnel
