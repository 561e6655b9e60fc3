// Edge-flip optimisers of the editable mesh. Both need current face-face
// adjacency and unit face normals; both keep the adjacency consistent and
// recompute the normals of the faces they flip. Neither flips an edge across
// which the two faces' wedges differ at a shared end (a texture seam); the
// corners of a flipped face keep their wedges.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// One pass over the faces: flips an edge when that lowers the largest
// dihedral angle among the five edges of its quadrilateral. Changes nothing
// and returns 0 when the face-face topology is not clean. Returns the number
// of flips.
int32_t OptimizeCurvature(MeshT5& mesh, bool selectedOnly);

// One pass over the faces: flips an edge between two nearly coplanar faces
// when the other diagonal gives better shaped triangles. Nearly coplanar:
// the stored normals of the two faces, and the normals of the two triangles
// the flip would make, are at most maxAngle (radians) apart; the cap passes
// one degree. Returns the number of flips.
int32_t FlipCoplanarEdges(MeshT5& mesh, float maxAngle, bool selectedOnly);

// Repeated passes of FlipCoplanarEdges over one mesh, giving the flips of as
// many full passes; after the first pass only the faces near earlier flips
// are looked at again. The face array must not grow while it is in use, nor
// the faces change but by its flips, and the faces deleted when it is made
// are never looked at.
class CoplanarEdgeFlipper {
 public:
  CoplanarEdgeFlipper(MeshT5& mesh, float maxAngle, bool selectedOnly);
  // The same, calling prepare(face) for each live face in the pass over the
  // faces that it makes itself, before any flip. The calls run on several
  // threads at once: prepare must write nothing but its face (and what
  // belongs to that face alone), and read nothing that another call writes.
  CoplanarEdgeFlipper(MeshT5& mesh, float maxAngle, bool selectedOnly,
                      const std::function<void(FaceT5&)>& prepare);

  // Up to maxPasses more passes, ending after the first that flips nothing;
  // once one has, the mesh is settled and later calls do nothing. Returns
  // the number of flips. With flipped, appends both faces of every flip to
  // it (a face flipped twice comes twice). On a large mesh, groups of
  // pieces of faces joined by links are passed over on threads of their
  // own, each until a pass over it flips nothing: the flips are the same,
  // and flipped gets them group after group.
  int32_t Run(int maxPasses, std::vector<FaceT5*>* flipped = nullptr);

 private:
  MeshT5& mesh_;
  double limit_;
  double cosLimit_;
  bool selectedOnly_;
  bool settled_ = false;
  std::vector<uint8_t> stale_;  // per face: to be looked at in the next pass
  std::vector<double> quality_;  // per face: its shape, NaN until asked
  // Per face, bit z: the quadrilateral across edge z was left for a reason
  // that reads only its two faces, and neither has changed since.
  std::vector<uint8_t> memo_;
  // The faces in groups of pieces, each in array order, gathered at the
  // first pass on a large mesh; none when they are one piece.
  std::vector<std::vector<uint32_t>> groups_;

  // Run's passes, group by group on threads; idle as MarkAhead left it.
  int32_t RunByGroups(int maxPasses, std::vector<uint8_t>& idle, std::vector<FaceT5*>* flipped);
};

}  // namespace quarnel
