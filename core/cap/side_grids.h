// Grids over the sides of the cut's loops: points on sides, sides that
// cross.
#pragma once

#include "core/cap/cap_plan.h"
#include "core/polygon_triangulation.h"
#include <cstdint>
#include <utility>
#include <vector>

namespace quarnel {

// The sides near each cell of a grid (see PlaneGrid::Along): those near
// cell c are in[start[c]] .. in[start[c + 1] - 1], in the order of their
// index. ends(s) gives the end points of side s.
struct SidesByCell {
  template <class Ends>
  SidesByCell(const PlaneGrid& grid, size_t count, Ends&& ends) : start(grid.Cells() + 1, 0) {
    std::vector<std::pair<uint32_t, uint32_t>> near;  // (cell, side)
    std::vector<int64_t> cells;
    for (uint32_t s = 0; s < count; ++s) {
      const auto [a, b] = ends(s);
      grid.Along(a, b, cells);
      for (int64_t c : cells) near.push_back({uint32_t(c), s});
    }
    for (const auto& [c, s] : near) ++start[size_t(c) + 1];
    for (size_t c = 0; c + 1 < start.size(); ++c) start[c + 1] += start[c];
    in.resize(near.size());
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const auto& [c, s] : near) in[fill[c]++] = s;
  }

  std::vector<size_t> start;
  std::vector<uint32_t> in;
};

// For each side, the points of ids that lie on it (within reach of it, and
// within the rounding of the point's own coordinates, strictly between its
// ends), found through a grid of the points.
std::vector<std::vector<uint32_t>> PointsOnSides(const std::vector<CapSide>& sides,
                                                 const std::vector<Point2d>& at,
                                                 const std::vector<double>& rounding,
                                                 const std::vector<uint32_t>& ids, double reach);

// Whether two of the sides (each from its start to its end point) cross,
// each passing strictly between the other's ends, found through a grid of
// cells along them. Sides that share an end point are not asked.
bool AnySidesCross(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                   const std::vector<Point2d>& at);

}  // namespace quarnel
