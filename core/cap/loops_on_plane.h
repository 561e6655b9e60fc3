// The loops of a plane cut that the cap closes: found on the plane, their
// points at one place joined, and laid into the plane's frame.
#pragma once

#include "core/border_loops.h"
#include "core/cap/cap_loop.h"
#include "core/cap/join_places.h"
#include "core/cut_tolerances.h"
#include "core/math.h"
#include "core/mesh.h"
#include <cstdint>
#include <vector>

namespace quarnel {

// The loops of the cut that the cap fills, after its points at one place
// were joined and the side faces that lie flat on them went: their walks,
// and the indices of those on the plane. Loops along a face of sheets (by
// index, when given) are left out. Where the loops' points near the plane
// each stand at a place of their own, they are set in apart; no point moves
// after that.
void FindLoopsOnPlane(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
                      LoopWalks& walks, std::vector<size_t>& chosen,
                      const std::vector<uint8_t>* sheets, PointsApart& apart);

// The chosen loops in the plane's frame.
std::vector<CapLoop> LoopsInPlane(const LoopWalks& walks, const std::vector<size_t>& chosen,
                                  const Plane3f& plane);

// A loop that is the three edges of one face lying flat on the cut (its
// corners within the cut's tolerance of the plane), and whose cap turns as
// the cut's does, is what the edge collapse leaves of a tip that stood just
// above the plane: under the face the kept part has no thickness, and the
// loop's cap would be the same face again, back to back with it. Such a
// face goes, with the corners that no other face uses, and its loop with
// it. A loop whose cap turns the other way is a hole: the cap around it
// leaves the face's place open, and the face closes it. caps[k] is the loop
// of walk chosen[k], before and after: a loop that goes leaves both.
void RemoveTipsSquashedOnTheCut(MeshT5& mesh, const LoopWalks& walks,
                                std::vector<size_t>& chosen, const Plane3f& plane,
                                const CutTolerances& tolerances, std::vector<CapLoop>& caps);

}  // namespace quarnel
