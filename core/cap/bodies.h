// Which body of the model each loop of a plane cut belongs to. Each body's
// cap is its own: where two bodies overlap, the section there is covered
// once for each, and no point of one body's cap is another's.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cap/cap_loop.h"
#include "core/mesh.h"

namespace quarnel {

// Per vertex, the first vertex of its connected piece of surface: vertices
// are joined through the live faces that use them.
std::vector<uint32_t> SurfacePieces(const MeshT5& mesh);

// Whether loop a lies inside loop b, of the same cut, a's box within b's:
// a may touch b, and a point of a may lie on a side of b within rounding,
// as where a hole touches its loop. a's points vote, the first few that lie
// clearly inside or outside b decide; on a tie, the middle of a's largest
// triangle, well inside a, does.
bool InsideLoop(const CapLoop& a, const CapLoop& b);

// The body of each loop, numbered from 0. Loops whose corners are joined
// through faces of the surface (one connected piece of it, or a loop that
// runs across pieces) are of one body; so are those of one piece before
// the cut (before, per vertex as SurfacePieces gives it, when given), which
// the cut may have parted, as the lobes of a surface that crosses itself.
// A piece whose largest loop turns against the cut's cap (CutTurn) is a
// cavity: a shell inside a body, wound inwards, with what lies in it joined
// to its wall (a ball resting on it). It belongs to the body of the
// innermost loop around its largest that turns with the cut, of a piece
// that is no cavity, and that it does not cross; without one it is a body
// of its own.
std::vector<uint32_t> BodiesOfLoops(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                                    const std::vector<uint32_t>* before);

}  // namespace quarnel
