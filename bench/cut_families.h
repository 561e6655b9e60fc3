// Generated models for cutting: the shapes that clip_check and the clip
// benchmarks cut, named by a source string "family:p1:p2:..." whose
// parameters may be left off from the right. Every model is closed and
// welded body by body: each body has its own vertices (bodies never share
// one, even where they touch or pass through each other), and within a body
// points at one place are one vertex, unless the family is about points
// split at one place (seams, flat-shaded exports, soups).
//
// Families (defaults in brackets):
//   icosphere[:level 4]  cube  torus[:rings 64:sides 32]
//   beam[:length 100:segments 100]     as the test builders make them
// Bodies that pass through each other:
//   boxes2[:n 2:dx 1:dy 1:dz 1]   the box [0,2]^3, each side n x n squares,
//                                 and the same moved by (dx, dy, dz)
//   spheres2[:level 3:distance 1] two unit icospheres that far apart
//   torusbar[:rings 48:sides 24]  a torus (R 1, r 0.3) and a bar through
//                                 its tube
//   tori2[:rings 48:sides 24]     two tori in one plane, crossing twice
//   jack[:n 2]                    three bars crossing at their middles
// Bodies that touch:
//   stacked[:dx 0.5:dy 0.25]      the box [0,2]^3 and one on top of it,
//                                 moved by (dx, dy)
// Tiny loops beside large ones:
//   cavity[:box 2:cavity 0.002:inclusion 0.001:cx 0:cy 0:cz 0:offset 0]
//       a box of that side about the origin with a cubic cavity (a shell
//       wound inwards) about (cx, cy, cz) holding a cube, all moved by
//       offset along x
//   pores[:n 3:box 2:cavity 0.002:inclusion 0.001]
//       n x n such cavities in the plane z = 0
// Thin walls and slots, k float steps (of the largest coordinate) wide:
//   hollow[:k 6:offset 1000]      the box [offset, offset + 1] x [0,1]^2
//                                 with every wall k steps thick
//   uslot[:k 4:offset 1e5]        the same box with a slot k steps wide
//                                 from its top down to z = 0.25
// Many loops:
//   cubes[:n 100]                 n unit cubes apart (spacing 2)
//   checker[:n 100]               n unit cubes as the black squares of a
//                                 chessboard, welded where they touch
//   shells[:k 5]                  k concentric boxes, every other wound
//                                 inwards
//   slab[:side 10]                a plate 2 high with side x side square
//                                 holes through it
// Special cases:
//   tunnel[:degrees 17:width 1]   a block 4 x 2 x 2 with a tunnel along
//                                 it, 1 high and `width` wide, whose floor
//                                 lies at z = 0.5, turned about the axis
//                                 (1, 2, 3)
//   bore[:n 32:b 0.5]             a pipe whose elliptic bore touches its
//                                 wall at two vertices they share
//   seamsphere[:slices 32:stacks 16:trig 1]  a sphere with a split seam
//   seamtorus[:rings 48:sides 24] a torus with a split meridian
//   bowtie[:rows 4]               a prism over a self-crossing quadrilateral
// Exports of any of the above:
//   flat:<source>                 every face its own points per direction
//   soup:<source>                 every face its own three points
//   far:<offset>:<source>         moved by offset along x, with its cuts
#pragma once

#include <string>
#include <vector>

#include "core/math.h"
#include "support/mesh_builders.h"

namespace quarnel::bench {

struct CutModel {
  test::Soup soup;
  // The cuts that the model is made for (the plane its floor lies in, the
  // height that passes through its cavity ...).
  std::vector<Plane3f> cuts;
  // Where random cuts should pass: boxes around loops far smaller than
  // the model, which a cut through the model's box would seldom meet.
  std::vector<BBox3f> focus;
};

// Whether `source` names a generated model (its family, not whether its
// parameters are good).
bool IsGeneratedSource(const std::string& source);

// Makes the model that `source` names; false with a message when its
// parameters are out of range.
bool MakeCutModel(const std::string& source, CutModel& model, std::string& message);

// The loop families of the clip benchmarks: a cut at z = 0.5 through each
// of them meets about `loops` loops.
test::Soup SeparateCubes(int loops);
test::Soup CheckerCubes(int loops);
test::Soup NestedShells(int loops);
test::Soup PerforatedSlab(int side);

}  // namespace quarnel::bench
