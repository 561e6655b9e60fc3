// Grids over the sides of the cut's loops: points on sides, sides that
// cross.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/cap/cap_plan.h"
#include "core/parallel_for.h"
#include "core/polygon_triangulation.h"

namespace quarnel {

// The things (sides, points) near each cell of a grid: those near cell c
// are in[start[c]] .. in[start[c + 1] - 1], in the order of their index.
// cellsOf(s, cells) gives the cells near thing s; it is asked range by
// range of things on threads of their own, so it must write nothing that
// another thing's call reads.
struct ByCell {
  template <class CellsOf>
  ByCell(const PlaneGrid& grid, size_t count, CellsOf&& cellsOf) : start(grid.Cells() + 1, 0) {
    // Per range of things: its (cell, thing) pairs.
    const auto near = ParallelCollect(count, [&](size_t first, size_t end) {
      std::vector<std::pair<uint32_t, uint32_t>> pairs;
      pairs.reserve(4 * (end - first));
      std::vector<int64_t> cells;
      for (uint32_t s = uint32_t(first); s < end; ++s) {
        cellsOf(s, cells);
        for (int64_t c : cells)
          pairs.push_back({uint32_t(c), s});
      }
      return pairs;
    });
    for (const auto& range : near)
      for (const auto& [c, s] : range)
        ++start[size_t(c) + 1];
    for (size_t c = 0; c + 1 < start.size(); ++c) start[c + 1] += start[c];
    in.resize(start.back());
    // Each cell's start moves on as it fills, to the next cell's start;
    // then all move back by one.
    for (const auto& range : near)
      for (const auto& [c, s] : range)
        in[start[c]++] = s;
    for (size_t c = start.size() - 1; c > 0; --c)
      start[c] = start[c - 1];
    start[0] = 0;
  }

  std::vector<uint32_t> start;
  std::vector<uint32_t> in;
};

// For each side, the points of ids that lie on it (within reach of it, and
// within the rounding of the point's own coordinates, strictly between its
// ends), found through a grid of the points.
std::vector<std::vector<uint32_t>> PointsOnSides(const std::vector<CapSide>& sides,
                                                 const std::vector<Point2d>& at,
                                                 const std::vector<double>& rounding,
                                                 const std::vector<uint32_t>& ids, double reach);

// Whether the sides keep apart but at their ends: no two cross, each
// passing strictly between the other's ends (sides that share an end point
// are not asked), and no point of ids lies on a side as PointsOnSides
// finds it, through one grid of the sides and the points.
bool SidesKeepApart(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                    const std::vector<Point2d>& at, const std::vector<double>& rounding,
                    const std::vector<uint32_t>& ids, double reach);

}  // namespace quarnel
