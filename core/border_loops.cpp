#include "core/border_loops.h"

#include <cstdint>

#include "core/parallel_for.h"

namespace quarnel {

namespace {

// Walks the loop from start and calls visit(p) for every position p met,
// start first, until the walk is back at start (returns true), visit
// returns false, or maxSteps edges were walked (returns false).
template <class Visit>
bool WalkLoop(const FacePos& start, size_t maxSteps, Visit&& visit) {
  FacePos p = start;
  for (size_t steps = 0; steps < maxSteps; ++steps) {
    if (!visit(p)) return false;
    if (!p.NextBorder(maxSteps)) return false;
    if (p == start) return true;
  }
  return false;
}

}  // namespace

namespace {

// Clears ElemFlag::Visited on the faces that are neither deleted nor
// excluded and lists, by a 1 in the result, those left unvisited (not
// deleted, nor excluded by 0x2) with a border edge: the faces a loop may
// be found from. Each face is read and written on its own, in parallel.
std::vector<uint8_t> ClearVisitedAndFindBorders(MeshT5& mesh) {
  std::vector<uint8_t> border(mesh.faces.size(), 0);
  ParallelFor(mesh.faces.size(), [&](size_t i) {
    FaceT5& f = mesh.faces[i];
    // Written only where the flag is set: a record left as it is need not
    // go back to memory.
    if (!(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded)) && (f.flags & ElemFlag::Visited))
      f.flags &= ~ElemFlag::Visited;
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Visited | ElemFlag::Excluded2)) return;
    border[i] = f.adjFace[0] == &f || f.adjFace[1] == &f || f.adjFace[2] == &f;
  });
  return border;
}

}  // namespace

// The flags are cleared before the loops are looked for, in array order: a
// face that a walk meets is marked again, so that it starts no walk of its
// own. A loop's walk holds the steps that WalkLoop walks: its start, then
// each step that is not back at it.
void CollectLoops(MeshT5& mesh, std::vector<BorderLoop>& out, LoopWalks* walks) {
  if (walks != nullptr) {
    walks->steps.clear();
    walks->first.assign(1, 0);
  }
  FaceT5* const base = mesh.faces.data();
  const std::vector<uint8_t> border = ClearVisitedAndFindBorders(mesh);
  const size_t bound = 3 * mesh.faces.size();
  for (size_t i = 0; i < mesh.faces.size(); ++i) {
    if (!border[i]) continue;
    FaceT5& f = base[i];
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Visited | ElemFlag::Excluded2)) continue;
    for (int z = 0; z < 3 && !(f.flags & (ElemFlag::Visited | ElemFlag::Excluded2)); ++z) {
      if (f.adjFace[z] != &f) continue;
      BorderLoop loop;
      loop.startFace = &f;
      loop.startEdge = z;
      loop.startVertex = f.v[z];
      loop.box.SetNull();
      f.flags |= ElemFlag::Visited;
      if (!(loop.startVertex->flags & ElemFlag::Excluded2))
        loop.box.Add(loop.startVertex->position);
      const FacePos start = loop.Start();
      if (walks != nullptr) walks->steps.push_back(start);
      FacePos p = start;
      bool closed = false;
      for (size_t steps = 0; steps < bound; ++steps) {
        if (!p.NextBorder(bound)) break;
        p.f->flags |= ElemFlag::Visited;
        if (!(p.v->flags & ElemFlag::Excluded2)) loop.box.Add(p.v->position);
        ++loop.edgeCount;
        if (p == start) {
          closed = true;
          break;
        }
        if (walks != nullptr) walks->steps.push_back(p);
      }
      if (closed) out.push_back(loop);
      if (walks != nullptr) {
        if (closed)
          walks->first.push_back(walks->steps.size());
        else
          walks->steps.resize(walks->first.back());
      }
    }
  }
}

void CollectBorderLoops(MeshT5& mesh, std::vector<BorderLoop>& out) {
  CollectLoops(mesh, out, nullptr);
}

double BorderLoopLength(const FacePos& start, size_t maxSteps) {
  double length = 0.0;
  WalkLoop(start, maxSteps, [&length](const FacePos& p) {
    const VertexT5* a = p.f->v[p.z];
    const VertexT5* b = p.f->v[(p.z + 1) % 3];
    length += Distance(p.v->position, (a == p.v ? b : a)->position);
    return true;
  });
  return length;
}

}  // namespace quarnel
