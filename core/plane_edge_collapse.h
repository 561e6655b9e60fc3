// Collapse of the short edges that a plane clip leaves on the clip plane:
// edges whose two ends lie within planeTolerance of plane and that are not
// longer than the threshold are collapsed into their
// midpoints, shortest first, unless the collapse would break the surface's
// topology (link condition).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

struct CollapseCandidate {
  VertexT5* removed = nullptr;   // the end that is deleted
  VertexT5* survivor = nullptr;  // the end that stays and moves to the midpoint
  double priority = 0.0;         // edge length
  int32_t timestamp = 0;         // the mesh's currentMark when made
};

class PlaneEdgeCollapse {
 public:
  // A face and the corner of the removed vertex in it.
  using FaceCorner = std::pair<FaceT5*, int>;

  explicit PlaneEdgeCollapse(MeshT5& mesh) : mesh_(mesh) {}

  // An edge is collapsed only with both ends within planeTolerance of plane.
  Plane3f plane{Vec3f(0, 0, 1), 0.0f};
  float planeTolerance = 0.0f;

  int32_t targetFaceCount = 0;
  double threshold = 1e100;
  bool checkLinkConditions = false;

  // Builds the vertex-face lists, the face border bits and the heap of the
  // edges not longer than threshold.
  void Init();
  // Collapses until faceCount <= targetFaceCount or the heap runs empty
  // (returns 1), or until `limit` collapses were made (returns 0).
  int Run(int limit);
  // Nothing is left to undo; kept so that every collapse ends the same way.
  void Finalize() {}

  void ComputePriority(CollapseCandidate& c) const;
  // Takes the candidate just appended to the heap array into heap order, or
  // drops it when it is longer than threshold.
  void PushCandidate();
  bool IsUpToDate(const CollapseCandidate& c) const;
  bool IsFeasible(const CollapseCandidate& c) const;
  // True when the vertices adjacent to both ends are exactly the vertices
  // opposite the edge, the edge is a border edge when both ends lie on the
  // border, and an inside edge with one end on the border gives the merged
  // point no new edge through the inside to another border point on the
  // plane (JoinsAcrossTheCut).
  bool LinkConditions(const CollapseCandidate& c);
  // Whether v lies on a border of the surface, from its vertex-face list.
  bool OnBorder(VertexT5* v);
  void Execute(const CollapseCandidate& c, const std::vector<FaceCorner>& facesOfRemovedOnly,
               const std::vector<FaceCorner>& facesOfBoth);
  void ClearStaleCandidates();

  const std::vector<CollapseCandidate>& Heap() const { return heap_; }

 private:
  // Offers the edges from v to its neighbours that are not yet visited.
  void OfferEdges(VertexT5* v, bool arrayOrder);
  void MakeHeap();
  // OnBorder with the given flag bit as scratch, cleared again on return.
  bool OnBorder(VertexT5* v, uint32_t odd);
  // Whether merging the inner point u into the border point b joins the
  // merged point through the inside to a border point on the plane that b
  // is not joined to, other than through the faces fanned out from b along
  // the border (MarkBorderFan), which the cap takes as lying on the cut.
  bool JoinsAcrossTheCut(VertexT5* b, VertexT5* u);
  // Marks with `fanned` the points w of faces (u, w, x) that follow each
  // other from b along border edges w-x; false where they go all round u.
  bool MarkBorderFan(VertexT5* b, VertexT5* u, uint32_t fanned);
  // The corner x of a face (u, w, x) whose edge w-x is a border edge, other
  // than `before`, or null.
  VertexT5* NextAlongBorder(VertexT5* u, VertexT5* before, VertexT5* w) const;
  // The number of faces holding both a and b, from a's vertex-face list.
  int FacesOnEdge(const VertexT5* a, const VertexT5* b) const;
  // Whether p lies within planeTolerance of plane.
  bool OnPlane(const Vec3f& p) const;
  // Calls visit(face, corner) for each entry of v's vertex-face list; the
  // walk is bounded by the face array's length.
  template <class Visit>
  void ForEachFaceOf(const VertexT5* v, Visit&& visit) const;

  MeshT5& mesh_;
  std::vector<CollapseCandidate> heap_;
  std::vector<FaceCorner> removedOnly_;
  std::vector<FaceCorner> both_;
};

}  // namespace quarnel
