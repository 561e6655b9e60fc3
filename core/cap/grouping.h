// Groups of the cut's loops whose caps may meet: each group is covered on
// its own, by ear clipping where its loops keep apart, by their winding
// where they touch, cross or run along one another.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cap/cap_loop.h"

namespace quarnel {

// Groups of loops of one body (body, per loop) whose regions may share
// more than their rims: loops whose boxes overlap along both axes, or of
// which one lies within the other give or take pad, and loops that share
// two or more places, which may run along one another. Loops whose boxes
// only touch, as the squares of a chessboard do at their corners, are
// capped each on its own. Each group as the indices of its loops, in the
// order of their first loop; within a group, in the order of the loops.
// Found by a sweep along x that asks each group still open only until one
// of its loops meets the new one: about linear in the number of loops,
// whether they lie apart, side by side or nested.
std::vector<std::vector<size_t>> OverlappingGroups(const std::vector<CapLoop>& caps,
                                                   const std::vector<uint32_t>& body,
                                                   double pad);

}  // namespace quarnel
