// Which loop of the cut lies right inside which.
#pragma once

#include "core/cap/cap_loop.h"
#include <cstddef>
#include <vector>

namespace quarnel {

// The nesting of loops that keep apart (see EarClipApartLoops): each loop's
// parent is the innermost loop around it (-1 for none), found by a ray from
// the loop's rightmost point to the right, through a grid of the sides: the
// first side it meets tells the parent.
// Where that side, taken as its loop runs counter-clockwise, runs upwards
// the ray leaves its loop there, which is the parent; where it runs
// downwards the ray enters a loop beside this one, whose parent is this
// one's too. That loop reaches further right: order lists the loops by
// their right ends, from the right. A vertex on the ray counts as below it
// (as though the ray ran a little above). False where two loops' sides
// meet the ray at about one place, or one about at its start.
bool NestByRays(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                std::vector<int>& parent, std::vector<size_t>& order);

}  // namespace quarnel
