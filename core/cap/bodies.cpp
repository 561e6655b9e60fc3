#include "core/cap/bodies.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/index_sets.h"
#include "core/parallel_for.h"

namespace quarnel {

namespace {

// The sets to start from: per vertex its first vertex before (when given),
// where that is a root there not past it (as SurfacePieces gives them),
// which keeps each link from a root to a smaller index; else the vertex
// itself, listed in rest to be joined to it.
std::vector<uint32_t> StartingSets(size_t count, const std::vector<uint32_t>* before,
                                   std::vector<uint32_t>& rest) {
  std::vector<uint32_t> parent(count);
  std::iota(parent.begin(), parent.end(), 0u);
  if (before == nullptr) return parent;
  const std::vector<uint32_t>& b = *before;
  for (uint32_t i = 0; i < std::min(b.size(), count); ++i) {
    if (b[i] == i) continue;
    if (b[i] < i && b[b[i]] == b[i])
      parent[i] = b[i];
    else
      rest.push_back(i);
  }
  return parent;
}

// Per vertex, the first vertex of its set: vertices are joined through the
// live faces that use them, and as before joins them (when given, per
// vertex the first vertex of its set). The sets start as before's, and
// the faces are read range by range on threads, each joining sets as it
// goes (SharedJoinSets); the sets come out the same in any order.
std::vector<uint32_t> JoinedPieces(const MeshT5& mesh, const std::vector<uint32_t>* before) {
  std::vector<uint32_t> rest;
  std::vector<uint32_t> parent = StartingSets(mesh.vertices.size(), before, rest);
  for (uint32_t i : rest) JoinSets(parent, i, (*before)[i]);
  ParallelForRanges(mesh.faces.size(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const FaceT5& f = mesh.faces[i];
      if (!IsLive(f.flags)) continue;
      const uint32_t a = uint32_t(mesh.VertexIndex(f.v[0]));
      SharedJoinSets(parent, a, uint32_t(mesh.VertexIndex(f.v[1])));
      SharedJoinSets(parent, a, uint32_t(mesh.VertexIndex(f.v[2])));
    }
  });
  FlattenSets(parent);
  return parent;
}

// The connected piece of surface of each loop, numbered from 0 in the
// order of the loops: vertices are joined through the live faces that use
// them, and through the pieces they were of before the cut (when given),
// and a loop's corners through the loop.
std::vector<uint32_t> PiecesOfLoops(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                                    const std::vector<uint32_t>* before, uint32_t& count) {
  std::vector<uint32_t> parent = JoinedPieces(mesh, before);
  for (const CapLoop& c : caps)
    for (const VertexT5* v : c.corners)
      JoinSets(parent, uint32_t(mesh.VertexIndex(c.corners[0])), uint32_t(mesh.VertexIndex(v)));
  std::vector<uint32_t> number(parent.size(), UINT32_MAX), piece;
  count = 0;
  for (const CapLoop& c : caps) {
    uint32_t& n = number[SetRoot(parent, uint32_t(mesh.VertexIndex(c.corners[0])))];
    if (n == UINT32_MAX) n = count++;
    piece.push_back(n);
  }
  return piece;
}

// Whether no point of a lies clearly outside b: a does not cross b.
bool NoPointOutside(const CapLoop& a, const CapLoop& b) {
  for (const Point2d& p : a.points)
    if (LoopContains(b.points, p) == 0) return false;
  return true;
}

// The innermost loop of candidates (sorted by area, smallest first) around
// loop a that a does not cross, or SIZE_MAX.
size_t Host(const std::vector<CapLoop>& caps, size_t a, const std::vector<size_t>& candidates) {
  const double area = std::fabs(caps[a].twiceArea);
  auto first = std::upper_bound(candidates.begin(), candidates.end(), area,
                                [&caps](double x, size_t c) { return x < std::fabs(caps[c].twiceArea); });
  for (auto it = first; it != candidates.end(); ++it)
    if (InsideLoop(caps[a], caps[*it]) && NoPointOutside(caps[a], caps[*it])) return *it;
  return SIZE_MAX;
}

}  // namespace

std::vector<uint32_t> SurfacePieces(const MeshT5& mesh) {
  return JoinedPieces(mesh, nullptr);
}

bool InsideLoop(const CapLoop& a, const CapLoop& b) {
  const double pad = 1e-9 * (std::fabs(b.hi.x - b.lo.x) + std::fabs(b.hi.y - b.lo.y));
  if (a.lo.x < b.lo.x - pad || a.lo.y < b.lo.y - pad || a.hi.x > b.hi.x + pad ||
      a.hi.y > b.hi.y + pad)
    return false;
  constexpr int kLead = 3;
  int in = 0, out = 0;
  for (size_t k = 0; k < a.points.size() && std::abs(in - out) < kLead; ++k) {
    const int c = LoopContains(b.points, a.points[k]);
    in += c == 1;
    out += c == 0;
  }
  if (in != out) return in > out;
  std::vector<int> triangles;
  TriangulatePolygon2D(a.points, triangles);
  double largest = 0.0;
  Point2d middle;
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    const Point2d &p = a.points[size_t(triangles[t])], &q = a.points[size_t(triangles[t + 1])],
                  &r = a.points[size_t(triangles[t + 2])];
    const double twice = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    if (twice > largest) {
      largest = twice;
      middle = {(p.x + q.x + r.x) / 3.0, (p.y + q.y + r.y) / 3.0};
    }
  }
  return largest > 0.0 && LoopContains(b.points, middle) == 1;
}

std::vector<uint32_t> BodiesOfLoops(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                                    const std::vector<uint32_t>* before) {
  uint32_t count = 0;
  std::vector<uint32_t> body = PiecesOfLoops(mesh, caps, before, count);
  if (count < 2) return body;
  const int turn = CutTurn(caps);
  // Each piece by its largest loop, the one that the others lie within: a
  // cavity where it turns against the cut.
  std::vector<size_t> largest(count, SIZE_MAX), candidates;
  for (size_t i = 0; i < caps.size(); ++i) {
    size_t& l = largest[body[i]];
    if (l == SIZE_MAX || std::fabs(caps[i].twiceArea) > std::fabs(caps[l].twiceArea)) l = i;
  }
  std::vector<uint8_t> cavity(count, 0);
  for (uint32_t p = 0; p < count; ++p) cavity[p] = caps[largest[p]].CapArea() * turn < 0.0;
  for (size_t i = 0; i < caps.size(); ++i)
    if (!cavity[body[i]] && caps[i].CapArea() * turn > 0.0) candidates.push_back(i);
  std::sort(candidates.begin(), candidates.end(), [&caps](size_t a, size_t b) {
    return std::fabs(caps[a].twiceArea) < std::fabs(caps[b].twiceArea);
  });
  std::vector<uint32_t> into(count);
  std::iota(into.begin(), into.end(), 0u);
  for (uint32_t p = 0; p < count; ++p)
    if (cavity[p]) {
      const size_t host = Host(caps, largest[p], candidates);
      if (host != SIZE_MAX) into[p] = body[host];
    }
  for (uint32_t& b : body) b = into[b];
  return body;
}

}  // namespace quarnel
