#include "core/border_loops.h"

#include <cstdint>

#include "core/border_ahead.h"
#include "core/prefetch.h"

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

// Sets the box of each loop j, whose walk is walk j of walks, read as the
// walk met the vertices: its start, each step, and its start again; and
// the walks' points. The corners lie anywhere in the vertex array: they
// are fetched a few steps ahead, on across the ends of the walks, which
// are often short.
void SetBoxes(LoopWalks& walks, std::span<BorderLoop> loops) {
  const std::vector<FacePos>& steps = walks.steps;
  walks.points.resize(steps.size());
  for (size_t j = 0; j < loops.size(); ++j) {
    BBox3f& box = loops[j].box;
    box.SetNull();
    auto add = [&box](const VertexT5* v) {
      if (!(v->flags & ElemFlag::Excluded2)) box.Add(v->position);
    };
    for (size_t k = walks.first[j]; k < walks.first[j + 1]; ++k) {
      if (k + 8 < steps.size()) Prefetch(steps[k + 8].v);
      walks.points[k] = steps[k].v->position;
      add(steps[k].v);
    }
    add(steps[walks.first[j]].v);
  }
}

}  // namespace

// The flags are cleared and the loops looked for in one pass: a face that a
// walk met is not cleared when the pass comes to it. A loop's walk holds
// the steps that WalkLoop walks: its start, then each step that is not back
// at it. The walks read no vertex: the loops' boxes are read from the walks
// after, where their corners can be fetched ahead.
void CollectLoops(MeshT5& mesh, std::vector<BorderLoop>& out, LoopWalks* walks) {
  LoopWalks own;
  LoopWalks& w = walks != nullptr ? *walks : own;
  w.Cut(0);
  w.first.assign(1, 0);
  FaceT5* const base = mesh.faces.data();
  std::vector<uint8_t> walked(mesh.faces.size(), 0);
  auto visit = [&](FaceT5* f) {
    f->flags |= ElemFlag::Visited;
    // A walk keeps to faces of the array; the check only guards the mark.
    if (f >= base && f < base + mesh.faces.size()) walked[size_t(f - base)] = 1;
  };
  const size_t bound = 3 * mesh.faces.size();
  BorderAhead ahead(mesh);
  const size_t before = out.size();
  for (size_t i = 0; i < mesh.faces.size(); ++i) {
    PrefetchAhead(base, i, mesh.faces.size());
    FaceT5& f = base[i];
    // Written only where the flag is set: a record left as it is need not
    // go back to memory.
    if (!(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded)) && !walked[i] &&
        (f.flags & ElemFlag::Visited))
      f.flags &= ~ElemFlag::Visited;
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Visited | ElemFlag::Excluded2)) continue;
    for (int z = 0; z < 3 && !(f.flags & (ElemFlag::Visited | ElemFlag::Excluded2)); ++z) {
      if (f.adjFace[z] != &f) continue;
      BorderLoop loop;
      loop.startFace = &f;
      loop.startEdge = z;
      loop.startVertex = f.v[z];
      visit(&f);
      const FacePos start = loop.Start();
      w.Push(start);
      FacePos p = start;
      ahead.Follow(p);
      bool closed = false;
      for (size_t steps = 0; steps < bound; ++steps) {
        if (!p.NextBorder(bound)) break;
        ahead.Follow(p);
        visit(p.f);
        ++loop.edgeCount;
        if (p == start) {
          closed = true;
          break;
        }
        w.Push(p);
      }
      if (closed) {
        out.push_back(loop);
        w.first.push_back(w.steps.size());
      } else {
        w.Cut(w.first.back());
      }
    }
  }
  SetBoxes(w, std::span<BorderLoop>(out).subspan(before));
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
