#include "core/plane_edge_collapse.h"

#include <algorithm>
#include <cmath>

#include "core/normals.h"
#include "core/topology.h"

namespace quarnel {


namespace {

// Min-heap on priority: a sinks below b when its priority is larger.
bool Below(const CollapseCandidate& a, const CollapseCandidate& b) {
  return a.priority > b.priority;
}

constexpr uint32_t kExcluded = ElemFlag::Excluded24;

}  // namespace

template <class Visit>
void PlaneEdgeCollapse::ForEachFaceOf(const VertexT5* v, Visit&& visit) const {
  FaceT5* f = v->vfFace;
  int z = v->vfCorner;
  const size_t bound = mesh_.faces.size();
  for (size_t steps = 0; f != nullptr && z >= 0 && z < 3 && steps < bound; ++steps) {
    FaceT5* next = f->adjFace[z];
    int nextCorner = f->adjIndex[z];
    visit(f, z);
    f = next;
    z = nextCorner;
  }
}

void PlaneEdgeCollapse::ComputePriority(CollapseCandidate& c) const {
  c.priority = Distance(c.removed->position, c.survivor->position);
}

void PlaneEdgeCollapse::PushCandidate() {
  // An edge of non-finite length never enters: the heap needs comparable
  // priorities, and such an edge cannot lie within the tolerance anyway.
  if (!(heap_.back().priority <= threshold)) {
    heap_.pop_back();
    return;
  }
  std::push_heap(heap_.begin(), heap_.end(), Below);
}

bool PlaneEdgeCollapse::IsUpToDate(const CollapseCandidate& c) const {
  if ((c.removed->flags & ElemFlag::Deleted) || (c.survivor->flags & ElemFlag::Deleted))
    return false;
  return c.timestamp >= c.removed->mark && c.timestamp >= c.survivor->mark;
}

bool PlaneEdgeCollapse::OnPlane(const Vec3f& p) const {
  const double value = ((double(plane.normal.x) * p.x - double(plane.d)) +
                        double(plane.normal.y) * p.y) +
                       double(plane.normal.z) * p.z;
  return std::fabs(value) <= double(planeTolerance);
}

bool PlaneEdgeCollapse::IsFeasible(const CollapseCandidate& c) const {
  return OnPlane(c.removed->position) && OnPlane(c.survivor->position);
}

bool PlaneEdgeCollapse::LinkConditions(const CollapseCandidate& c) {
  VertexT5* r = c.removed;
  VertexT5* s = c.survivor;
  const uint32_t A = UserBitCounter::Take();
  const uint32_t B = UserBitCounter::Take();
  const uint32_t V = ElemFlag::Visited;

  ForEachFaceOf(r, [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags &= ~(A | B | V);
    f->v[(z + 2) % 3]->flags &= ~(A | B | V);
  });
  ForEachFaceOf(s, [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags &= ~(B | V);
    f->v[(z + 2) % 3]->flags &= ~(B | V);
  });
  // Every neighbour of s gets A; the third corner of a face holding both
  // ends also gets B.
  ForEachFaceOf(s, [&](FaceT5* f, int z) {
    VertexT5* x = f->v[(z + 1) % 3];
    VertexT5* y = f->v[(z + 2) % 3];
    x->flags |= (y == r) ? (A | B) : A;
    y->flags |= (x == r) ? (A | B) : A;
  });
  int common = 0, opposite = 0;
  ForEachFaceOf(r, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2; ++k) {
      VertexT5* q = f->v[(z + k) % 3];
      if (q->flags & V) continue;
      q->flags |= V;
      if (q->flags & A) ++common;
      if (q->flags & B) ++opposite;
    }
  });
  UserBitCounter::Release(B);
  UserBitCounter::Release(A);
  if (common != opposite) return false;

  // Two border points joined by an edge through the inside of the surface
  // (both ends on one loop, or on two loops) would become one point that
  // the border passes twice: the loops pinch there and the cap leaves a
  // slit. Only a border edge may join two border points, and an inside
  // edge with one end on the border may not bring the merged point such an
  // edge from its inner end. The edges along the cut, most of those
  // collapsed here, are border edges: asked first, since the border test
  // walks each end's faces three times.
  if (FacesOnEdge(r, s) == 1) return true;
  const bool rOnBorder = OnBorder(r);
  const bool sOnBorder = OnBorder(s);
  if (rOnBorder && sOnBorder) return false;
  if (rOnBorder) return !JoinsAcrossTheCut(r, s);
  if (sOnBorder) return !JoinsAcrossTheCut(s, r);
  return true;
}

bool PlaneEdgeCollapse::JoinsAcrossTheCut(VertexT5* b, VertexT5* u) {
  // The merged point keeps b's place on the border and takes u's edges: an
  // edge from u to a border point on the plane that b is not joined to
  // becomes an edge through the inside from border to border, across the
  // region the cap has to fill, and no cap of the loop could then avoid it.
  // A border point off the plane (the edge of a flat-shaded patch, whose
  // diagonal the clip split at its end on the plane) is not on the cut.
  const uint32_t joined = UserBitCounter::Take();
  const uint32_t fanned = UserBitCounter::Take();
  auto clear = [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags &= ~(joined | fanned);
    f->v[(z + 2) % 3]->flags &= ~(joined | fanned);
  };
  ForEachFaceOf(u, clear);
  ForEachFaceOf(b, clear);
  ForEachFaceOf(b, [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags |= joined;
    f->v[(z + 2) % 3]->flags |= joined;
  });
  const uint32_t allowed = MarkBorderFan(b, u, fanned) ? (joined | fanned) : joined;
  bool across = false;
  ForEachFaceOf(u, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2 && !across; ++k) {
      VertexT5* t = f->v[(z + k) % 3];
      if (t == b || t == u || (t->flags & allowed) || !OnPlane(t->position)) continue;
      across = OnBorder(t, ElemFlag::Visited);
    }
  });
  UserBitCounter::Release(fanned);
  UserBitCounter::Release(joined);
  return across;
}

bool PlaneEdgeCollapse::MarkBorderFan(VertexT5* b, VertexT5* u, uint32_t fanned) {
  // Faces (u, w, x) whose edge w-x is a border edge, in a row from b along
  // the border: after the collapse they lie flat on the cut, fanned out
  // from the merged point, each with a border edge, and the cap takes such
  // faces away as one group before it fills the loop. The merged point's
  // edge to the row's far end then lies on the border. Where the row goes
  // all round u, nothing is left to hold the group, and the cap keeps it.
  int bound = 0;
  ForEachFaceOf(u, [&](FaceT5*, int) { ++bound; });
  bool open = true;
  ForEachFaceOf(u, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2 && open; ++k) {
      VertexT5* w = f->v[(z + k) % 3];
      if (f->v[(z + 3 - k) % 3] != b || w == u || FacesOnEdge(b, w) != 1) continue;
      VertexT5* before = b;
      for (int steps = 0; w != b && steps < bound; ++steps) {
        w->flags |= fanned;
        VertexT5* next = NextAlongBorder(u, before, w);
        if (next == nullptr) break;
        before = w;
        w = next;
      }
      open = w != b;
    }
  });
  return open;
}

VertexT5* PlaneEdgeCollapse::NextAlongBorder(VertexT5* u, VertexT5* before, VertexT5* w) const {
  VertexT5* next = nullptr;
  ForEachFaceOf(u, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2 && next == nullptr; ++k) {
      VertexT5* x = f->v[(z + k) % 3];
      if (f->v[(z + 3 - k) % 3] == w && x != before && x != u && FacesOnEdge(w, x) == 1) next = x;
    }
  });
  return next;
}

int PlaneEdgeCollapse::FacesOnEdge(const VertexT5* a, const VertexT5* b) const {
  int faces = 0;
  ForEachFaceOf(a, [&](FaceT5* f, int) {
    faces += f->v[0] == b || f->v[1] == b || f->v[2] == b;
  });
  return faces;
}

bool PlaneEdgeCollapse::OnBorder(VertexT5* v) {
  const uint32_t odd = UserBitCounter::Take();
  const bool border = OnBorder(v, odd);
  UserBitCounter::Release(odd);
  return border;
}

bool PlaneEdgeCollapse::OnBorder(VertexT5* v, uint32_t odd) {
  // Around an inner point every edge to a neighbour lies in two of its
  // faces; a neighbour met an odd number of times ends a border edge.
  ForEachFaceOf(v, [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags &= ~odd;
    f->v[(z + 2) % 3]->flags &= ~odd;
  });
  ForEachFaceOf(v, [&](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags ^= odd;
    f->v[(z + 2) % 3]->flags ^= odd;
  });
  bool border = false;
  ForEachFaceOf(v, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2; ++k) {
      VertexT5* q = f->v[(z + k) % 3];
      if (q->flags & odd) border = true;
      q->flags &= ~odd;
    }
  });
  return border;
}

void PlaneEdgeCollapse::Execute(const CollapseCandidate& c,
                                const std::vector<FaceCorner>& facesOfRemovedOnly,
                                const std::vector<FaceCorner>& facesOfBoth) {
  VertexT5* r = c.removed;
  VertexT5* s = c.survivor;
  const size_t bound = mesh_.faces.size();
  for (const FaceCorner& fc : facesOfBoth) {
    FaceT5* f = fc.first;
    // A face that holds r at two corners is listed twice; delete it once.
    if (f->flags & ElemFlag::Deleted) continue;
    f->DetachFromVF((fc.second + 1) % 3, bound);
    f->DetachFromVF((fc.second + 2) % 3, bound);
    f->flags |= ElemFlag::Deleted;
    --mesh_.faceCount;
  }
  for (const FaceCorner& fc : facesOfRemovedOnly) {
    FaceT5* f = fc.first;
    int z = fc.second;
    f->v[z] = s;
    f->adjFace[z] = s->vfFace;
    f->adjIndex[z] = int8_t(s->vfCorner);
    s->vfFace = f;
    s->vfCorner = z;
  }
  const Vec3f& pr = r->position;
  const Vec3f& ps = s->position;
  s->position = Vec3f(float((double(pr.x) + ps.x) * 0.5), float((double(pr.y) + ps.y) * 0.5),
                      float((double(pr.z) + ps.z) * 0.5));
  r->flags |= ElemFlag::Deleted;
  --mesh_.vertexCount;
}

void PlaneEdgeCollapse::OfferEdges(VertexT5* v, bool arrayOrder) {
  ForEachFaceOf(v, [](FaceT5* f, int z) {
    f->v[(z + 1) % 3]->flags &= ~ElemFlag::Visited;
    f->v[(z + 2) % 3]->flags &= ~ElemFlag::Visited;
  });
  ForEachFaceOf(v, [&](FaceT5* f, int z) {
    for (int k = 1; k <= 2; ++k) {
      VertexT5* w = f->v[(z + k) % 3];
      // A face with a repeated corner would pair v with itself.
      if (w == v) continue;
      if (arrayOrder && !(v < w)) continue;
      if (w->flags & (ElemFlag::Visited | kExcluded)) continue;
      w->flags |= ElemFlag::Visited;
      heap_.push_back({v, w, 0.0, mesh_.currentMark});
      ComputePriority(heap_.back());
      PushCandidate();
    }
  });
}

void PlaneEdgeCollapse::MakeHeap() {
  if (heap_.size() >= 2) std::make_heap(heap_.begin(), heap_.end(), Below);
}

void PlaneEdgeCollapse::Init() {
  heap_.clear();
  BuildVertexFaceAdjacency(mesh_);
  FaceBorderFromVF(mesh_);
  for (VertexT5& v : mesh_.vertices) {
    if (v.flags & kExcluded) continue;
    OfferEdges(&v, true);
  }
  MakeHeap();
  mesh_.ClearVertexMarks();
}

int PlaneEdgeCollapse::Run(int limit) {
  int ops = 0;
  while (ops < limit) {
    if (mesh_.faceCount <= targetFaceCount) return 1;
    if (double(heap_.size()) > 3.2 * double(mesh_.faceCount)) ClearStaleCandidates();
    if (heap_.empty()) return 1;
    std::pop_heap(heap_.begin(), heap_.end(), Below);
    const CollapseCandidate c = heap_.back();
    if (!IsUpToDate(c) || c.removed == c.survivor) {
      heap_.pop_back();
      continue;
    }
    removedOnly_.clear();
    both_.clear();
    ForEachFaceOf(c.removed, [&](FaceT5* f, int z) {
      bool hasSurvivor = f->v[0] == c.survivor || f->v[1] == c.survivor || f->v[2] == c.survivor;
      (hasSurvivor ? both_ : removedOnly_).push_back({f, z});
    });
    if (!IsFeasible(c) || (checkLinkConditions && !LinkConditions(c))) {
      heap_.pop_back();
      continue;
    }
    ++ops;
    Execute(c, removedOnly_, both_);
    ++mesh_.currentMark;
    c.survivor->mark = mesh_.currentMark;
    heap_.pop_back();
    OfferEdges(c.survivor, false);
  }
  return 0;
}

void PlaneEdgeCollapse::ClearStaleCandidates() {
  for (size_t i = 0; i < heap_.size(); ++i) {
    if (IsUpToDate(heap_[i])) continue;
    heap_[i] = heap_.back();
    heap_.pop_back();
  }
  MakeHeap();
}

}  // namespace quarnel
