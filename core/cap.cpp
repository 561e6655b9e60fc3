#include "core/cap.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/clean.h"
#include "core/curvature_flip.h"
#include "core/normals.h"

namespace quarnel {

namespace {

bool ValidCorner(int k) {
  return k >= 0 && k < 3;
}

// Edge z of f is shared with a neighbour that does not point back to f (a
// ring of three or more faces).
bool OnNonManifoldEdge(const FaceT5& f, int z) {
  const FaceT5* n = f.adjFace[z];
  if (n == nullptr || n == &f) return false;
  int k = f.adjIndex[z];
  return !(ValidCorner(k) && n->adjFace[k] == &f);
}

// Walks the loop from start and calls visit(vertex) for every vertex met,
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

// The cap flips the edges between faces whose normals are at most this far
// apart (one degree, in radians).
constexpr float kOneDegree = 0.017453292f;

// Below this share of the loop's squared extent an ear counts as flat.
constexpr double kRelativeMargin = 1e-12;

// A point nearer to the line of a triangle's side than this share of the
// loop's extent is taken as on it: far below the resolution of float
// positions, far above the rounding of the double arithmetic.
constexpr double kOnSide = 1e-9;

// Twice the signed area of the triangle (a, b, c): positive when it runs
// counter-clockwise.
double Cross2d(const Point2d& a, const Point2d& b, const Point2d& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// The ear clipper's working state: the polygon's points and the list V of
// positions still in the loop.
class EarClipper {
 public:
  EarClipper(const std::vector<Point2d>& P, std::vector<int>& V, double extent)
      : P_(P), V_(V), extent_(extent) {}

  int Count() const { return int(V_.size()); }
  const Point2d& At(int position) const { return P_[size_t(V_[size_t(position)])]; }
  int Next(int position) const { return position + 1 >= Count() ? 0 : position + 1; }
  int Prev(int position) const { return position == 0 ? Count() - 1 : position - 1; }

  // Some other point of the loop lies inside or on the triangle (u, v, w).
  // A point within rounding of a side counts as on it: a point on a
  // straight run of the loop must block the ear whose closing diagonal runs
  // through it, or it would be left on a triangle without area. With
  // twinsAllowed, points equal to one of the corners (a loop that passes
  // twice through one place) do not count.
  bool Blocked(int u, int v, int w, bool twinsAllowed) const {
    const Point2d &Pu = At(u), &Pv = At(v), &Pw = At(w);
    const double onVW = -kOnSide * extent_ * std::hypot(Pw.x - Pv.x, Pw.y - Pv.y);
    const double onWU = -kOnSide * extent_ * std::hypot(Pu.x - Pw.x, Pu.y - Pw.y);
    const double onUV = -kOnSide * extent_ * std::hypot(Pv.x - Pu.x, Pv.y - Pu.y);
    for (int p = 0; p < Count(); ++p) {
      if (p == u || p == v || p == w) continue;
      const Point2d& Q = At(p);
      if (twinsAllowed && (Same(Q, Pu) || Same(Q, Pv) || Same(Q, Pw))) continue;
      if (Cross2d(Pv, Pw, Q) >= onVW && Cross2d(Pw, Pu, Q) >= onWU && Cross2d(Pu, Pv, Q) >= onUV)
        return true;
    }
    return false;
  }

  // Some edge of the loop crosses a side of the triangle (u, v, w) from one
  // side to the other: only in a loop that is not simple.
  bool Crossed(int u, int v, int w) const {
    const int corners[3] = {u, v, w};
    for (int p = 0; p < Count(); ++p) {
      const Point2d &A = At(p), &B = At(Next(p));
      for (int s = 0; s < 3; ++s) {
        const Point2d &C = At(corners[s]), &D = At(corners[(s + 1) % 3]);
        if (Cross2d(A, B, C) * Cross2d(A, B, D) < 0.0 && Cross2d(C, D, A) * Cross2d(C, D, B) < 0.0)
          return true;
      }
    }
    return false;
  }

  // The ear to cut when none passes the regular tests: the largest
  // counter-clockwise one that holds no other point, that no edge crosses
  // and that is not larger than the loop. -1 when there is none (a loop
  // that is not simple): what remains is left open.
  int BestEar() const {
    // No ear of a simple loop is larger than the loop; a loop that runs back
    // over itself has less area than its ears, or none.
    double loopArea = 0.0;
    for (int p = 0; p < Count(); ++p) {
      const Point2d &a = At(p), &b = At(Next(p));
      loopArea += a.x * b.y - b.x * a.y;
    }
    std::vector<std::pair<double, int>> ears;
    for (int v = 0; v < Count(); ++v) {
      const double area = Cross2d(At(Prev(v)), At(v), At(Next(v)));
      if (area > 0.0 && area <= loopArea * (1.0 + 1e-9)) ears.push_back({area, v});
    }
    // Largest first, on a tie the earlier position; usually the first one
    // taken from the heap is cut.
    auto smaller = [](const std::pair<double, int>& a, const std::pair<double, int>& b) {
      return a.first < b.first || (a.first == b.first && a.second > b.second);
    };
    std::make_heap(ears.begin(), ears.end(), smaller);
    while (!ears.empty()) {
      std::pop_heap(ears.begin(), ears.end(), smaller);
      const int v = ears.back().second;
      ears.pop_back();
      const int u = Prev(v), w = Next(v);
      if (!Blocked(u, v, w, true) && !Crossed(u, v, w)) return v;
    }
    return -1;
  }

  // Appends the ear at position v and takes v out of the loop.
  void Cut(int v, std::vector<int>& triangles) {
    triangles.push_back(V_[size_t(Prev(v))]);
    triangles.push_back(V_[size_t(v)]);
    triangles.push_back(V_[size_t(Next(v))]);
    V_.erase(V_.begin() + v);
  }

 private:
  static bool Same(const Point2d& a, const Point2d& b) { return a.x == b.x && a.y == b.y; }

  const std::vector<Point2d>& P_;
  std::vector<int>& V_;
  double extent_;  // of the whole loop
};

// Diagonal of the box of the points: no diagonal of the loop is longer.
double Extent(const std::vector<Point2d>& P) {
  Point2d lo = P[0], hi = P[0];
  for (const Point2d& p : P) {
    lo.x = std::min(lo.x, p.x);
    lo.y = std::min(lo.y, p.y);
    hi.x = std::max(hi.x, p.x);
    hi.y = std::max(hi.y, p.y);
  }
  return std::hypot(hi.x - lo.x, hi.y - lo.y);
}

}  // namespace

void CollectBorderLoops(MeshT5& mesh, std::vector<BorderLoop>& out) {
  for (FaceT5& f : mesh.faces)
    if (!(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded))) f.flags &= ~ElemFlag::Visited;
  const size_t bound = 3 * mesh.faces.size();
  for (FaceT5& f : mesh.faces) {
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
      }
      if (closed) out.push_back(loop);
    }
  }
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

int TriangulatePolygon2D(const std::vector<Point2d>& P, std::vector<int>& triangles) {
  const int n = int(P.size());
  if (n < 3) return 0;
  double S = 0.0;
  for (int i = 0; i < n; ++i) {
    int p = i == 0 ? n - 1 : i - 1;
    S += P[size_t(p)].x * P[size_t(i)].y - P[size_t(i)].x * P[size_t(p)].y;
  }
  S *= 0.5;
  std::vector<int> V(static_cast<size_t>(n));
  if (S > 0.0) {
    for (int i = 0; i < n; ++i)
      V[size_t(i)] = i;
  } else {
    for (int i = 0; i < n; ++i)
      V[size_t(i)] = n - 1 - i;
    S = -S;
  }
  // A polygon without area has no ear to cut; a non-finite one has a
  // coordinate that is no number.
  if (!(S > 0.0) || !std::isfinite(S)) return 0;

  // Ears are cut shortest closing diagonal first: the limit on the diagonal
  // grows by 1.3 whenever a whole round of candidates fails. The first
  // series uses a fixed convexity margin and stops once the limit passes
  // twice the root of the area; the loops it finishes keep the triangles
  // they always had. Small or thin loops that it leaves are finished with a
  // margin relative to the loop's own size and a limit that grows to the
  // loop's extent, beyond which every diagonal is short enough; when even
  // then no ear passes, the best ears are cut, so the loop always shrinks.
  const double extent = Extent(P);
  // Points so far apart that their distance is no number: no limit on the
  // diagonals could ever pass it.
  if (!std::isfinite(extent)) return 0;
  EarClipper ears(P, V, extent);
  double margin = 0.01;
  double bound = 2.0 * std::sqrt(S);
  bool relative = false;
  double limit = std::sqrt(S) * 0.001;
  int tries = 2 * n;
  int v = n - 1;
  bool bestOnly = false;
  for (;;) {
    const int nv = ears.Count();
    if (nv < 3) return 1;
    if (!bestOnly && --tries < 0) {
      limit *= 1.3;
      tries = 2 * nv;
      if (limit > bound && !relative) {
        relative = true;
        margin = kRelativeMargin * extent * extent;
        bound = extent;
        limit = std::sqrt(S) * 0.001;
      } else if (limit > bound) {
        // Every diagonal is short enough and still a whole round failed:
        // the loop is not simple or what is left of it is flat. The rest is
        // cut ear by best ear; more rounds would each cost a pass over the
        // loop per candidate.
        bestOnly = true;
      }
    }
    if (bestOnly) {
      v = ears.BestEar();
      if (v < 0) return 0;
      ears.Cut(v, triangles);
      continue;
    }
    const int u = v >= nv ? 0 : v;
    v = ears.Next(u);
    const int w = ears.Next(v);
    const Point2d& Pu = ears.At(u);
    const Point2d& Pv = ears.At(v);
    const Point2d& Pw = ears.At(w);
    const double dx = Pu.x - Pw.x, dy = Pu.y - Pw.y;
    if (std::sqrt(dx * dx + dy * dy) >= limit) continue;
    if (Cross2d(Pu, Pv, Pw) < margin) continue;
    if (ears.Blocked(u, v, w, false)) continue;
    ears.Cut(v, triangles);
    tries = 2 * (nv - 1);
  }
}

void RemoveDuplicateFaces(MeshT5& mesh) {
  const size_t total = mesh.faces.size();
  if (total == 0) return;
  // Probing steps by 131 slots; a table size prime to 131 lets the probes
  // reach every slot, and with at most a quarter of them filled the search
  // always meets an empty one.
  size_t size = 4 * total;
  if (size % 131 == 0) ++size;
  std::vector<FaceT5*> table(size, nullptr);
  const size_t bound = total + 1;
  int32_t deleted = 0;
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) continue;
    uint64_t key[3] = {mesh.VertexIndex(f.v[0]), mesh.VertexIndex(f.v[1]),
                       mesh.VertexIndex(f.v[2])};
    std::sort(key, key + 3);
    uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 31)) + key[1] * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 29)) + key[2] * 0x165667B19E3779F9ull;
    h ^= h >> 32;
    size_t slot = size_t(h % size);
    for (size_t probes = 0; probes < size; ++probes) {
      FaceT5* g = table[slot];
      if (g == nullptr) {
        table[slot] = &f;
        break;
      }
      if (FaceHasVertices(*g, f.v[0], f.v[1], f.v[2])) {
        bool keep = (f.flags & ElemFlag::Excluded) != 0;
        for (int z = 0; z < 3 && !keep; ++z) {
          const FaceT5* n = f.adjFace[z];
          keep = n != nullptr && (n->flags & (ElemFlag::Deleted | ElemFlag::Excluded24));
        }
        if (!keep) {
          for (int z = 0; z < 3; ++z)
            if (f.adjFace[z] != &f && f.adjFace[z] != nullptr) DetachFaceFromRing(&f, z, bound);
          f.flags |= ElemFlag::Deleted;
          ++deleted;
        }
        break;
      }
      slot = (slot + 131) % size;
    }
  }
  mesh.faceCount -= deleted;
}

int32_t RemoveFacesOnNonManifoldEdges(MeshT5& mesh) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t count = 0;
  auto hangs = [](const FaceT5& f, int z) {
    const FaceT5* n = f.adjFace[z];
    return OnNonManifoldEdge(f, z) && !(n->flags & (ElemFlag::Deleted | ElemFlag::Excluded2));
  };
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) continue;
    int borders = 0;
    for (int z = 0; z < 3; ++z)
      borders += f.adjFace[z] == &f;
    if (borders == 1) {
      int hanging = 0;
      for (int z = 0; z < 3; ++z)
        hanging += hangs(f, z);
      if (hanging != 2) continue;
      int detached = 0;
      for (int z = 0; z < 3; ++z)
        if (OnNonManifoldEdge(f, z) && DetachFaceFromRing(&f, z, bound)) ++detached;
      if (detached == 2) {
        f.flags |= ElemFlag::Deleted;
        ++count;
      }
    } else if (borders == 2) {
      for (int z = 0; z < 3; ++z) {
        if (!hangs(f, z)) continue;
        DetachFaceFromRing(&f, z, bound);
        f.flags |= ElemFlag::Deleted;
        ++count;
        break;
      }
    }
  }
  mesh.faceCount -= count;
  return count;
}

namespace {

// Whether every vertex of the loop lies within 1 % of the loop's box
// diagonal of the plane: the loops that the cap fills.
bool LoopOnPlane(const BorderLoop& loop, const Plane3f& plane, size_t bound) {
  const double tolerance = Distance(loop.box.min, loop.box.max) * double(0.01f);
  return WalkLoop(loop.Start(), bound, [&](const FacePos& p) {
    return std::fabs(SignedDistance(p.v->position, plane)) <= tolerance;
  });
}

// Where the cut runs nearly parallel to the surface, the plane edge collapse
// pulls whole side faces onto the cut loop: all three corners on it, the
// face lying in the plane. The kept solid has no thickness there, and the
// loop's cap would cover those faces a second time, facing the other way:
// a cap triangle with the same corners, or cap edges that the side faces
// use too, which leaves edges of three or four faces. Such faces are taken
// away before the cap, which then covers their place once. Only groups of
// them that touch the loop and hang on the rest of the surface go: a flat
// piece of surface lying in the plane on its own is left as it is.
void RemoveSideFacesFlatOnTheCut(MeshT5& mesh, const Plane3f& plane) {
  std::vector<BorderLoop> loops;
  CollectBorderLoops(mesh, loops);
  if (loops.empty()) return;
  const size_t bound = 3 * mesh.faces.size();
  std::vector<uint8_t> onLoop(mesh.vertices.size(), 0);
  bool any = false;
  for (const BorderLoop& loop : loops) {
    if (!LoopOnPlane(loop, plane, bound)) continue;
    any = true;
    WalkLoop(loop.Start(), bound, [&](const FacePos& p) {
      onLoop[mesh.VertexIndex(p.v)] = 1;
      return true;
    });
  }
  if (!any) return;

  auto flat = [&](const FaceT5& f) {
    return !(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) &&
           onLoop[mesh.VertexIndex(f.v[0])] && onLoop[mesh.VertexIndex(f.v[1])] &&
           onLoop[mesh.VertexIndex(f.v[2])];
  };
  // Groups of flat faces joined by edges.
  std::vector<uint8_t> seen(mesh.faces.size(), 0);
  std::vector<FaceT5*> group, doomed;
  for (FaceT5& start : mesh.faces) {
    if (seen[mesh.FaceIndex(&start)] || !flat(start)) continue;
    group.clear();
    group.push_back(&start);
    seen[mesh.FaceIndex(&start)] = 1;
    bool border = false, attached = false;
    for (size_t i = 0; i < group.size(); ++i) {
      FaceT5* f = group[i];
      for (FaceT5* n : f->adjFace) {
        if (n == f) {
          border = true;
          continue;
        }
        if (n == nullptr || !IsLive(n->flags)) continue;
        if (!flat(*n)) {
          attached = true;
          continue;
        }
        if (seen[mesh.FaceIndex(n)]) continue;
        seen[mesh.FaceIndex(n)] = 1;
        group.push_back(n);
      }
    }
    if (border && attached) doomed.insert(doomed.end(), group.begin(), group.end());
  }
  if (doomed.empty()) return;

  for (FaceT5* f : doomed) {
    for (int z = 0; z < 3; ++z)
      if (f->adjFace[z] != f && f->adjFace[z] != nullptr) DetachFaceFromRing(f, z, bound);
    f->flags |= ElemFlag::Deleted;
    --mesh.faceCount;
  }
  // Corners that only the removed faces used go with them.
  std::vector<uint8_t> used(mesh.vertices.size(), 0);
  for (const FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (const VertexT5* v : f.v)
        used[mesh.VertexIndex(v)] = 1;
  for (FaceT5* f : doomed)
    for (VertexT5* v : f->v)
      if (!used[mesh.VertexIndex(v)] && IsLive(v->flags)) {
        v->flags |= ElemFlag::Deleted;
        --mesh.vertexCount;
      }
}

}  // namespace

void CapCut(MeshT5& mesh, const Plane3f& plane, bool adjacencyCurrent) {
  if (!adjacencyCurrent) BuildFaceFaceAdjacency(mesh);
  RemoveSideFacesFlatOnTheCut(mesh, plane);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(mesh, loops);
  const size_t bound = 3 * mesh.faces.size();

  std::vector<const BorderLoop*> chosen;
  for (const BorderLoop& loop : loops) {
    const double tolerance = Distance(loop.box.min, loop.box.max) * double(0.01f);
    bool onPlane = WalkLoop(loop.Start(), bound, [&](const FacePos& p) {
      return std::fabs(SignedDistance(p.v->position, plane)) <= tolerance;
    });
    if (onPlane) chosen.push_back(&loop);
  }

  Plane3f unit = plane;
  Vec3f u, w;
  PlaneTangentFrame(unit, u, w, 0.0f, 1.0f, 0.0f);
  const Vec3d du(u), dw(w);
  std::vector<VertexT5*> cap;
  std::vector<Point2d> polygon;
  std::vector<VertexT5*> corners;
  std::vector<int> triangles;
  for (const BorderLoop* loop : chosen) {
    polygon.clear();
    corners.clear();
    triangles.clear();
    bool closed = WalkLoop(loop->Start(), bound, [&](const FacePos& p) {
      Vec3d q(p.v->position);
      polygon.push_back({q.Dot(du), q.Dot(dw)});
      corners.push_back(p.v);
      return true;
    });
    if (!closed) continue;
    TriangulatePolygon2D(polygon, triangles);
    for (int t : triangles)
      cap.push_back(corners[size_t(t)]);
  }

  // The vertex array does not move here, so the corner pointers stay valid.
  const int added = int(cap.size() / 3);
  FaceT5* first = mesh.AddFaces(added);
  for (int j = 0; j < added; ++j) {
    FaceT5& f = first[j];
    f.v[0] = cap[size_t(3 * j)];
    f.v[1] = cap[size_t(3 * j + 2)];
    f.v[2] = cap[size_t(3 * j + 1)];
    f.flags = ElemFlag::Selected;
    f.color = Color4b{0, 255, 0, 255};
  }

  MergeDuplicateVertices(mesh);
  // The added faces have no adjacency yet and the old faces' may point to
  // merged vertices' rings: rebuild before the duplicate search reads it.
  BuildFaceFaceAdjacency(mesh);
  const int32_t beforeDuplicates = mesh.faceCount;
  RemoveDuplicateFaces(mesh);
  // Built again from the same faces the adjacency would come out the same.
  if (mesh.faceCount != beforeDuplicates) BuildFaceFaceAdjacency(mesh);
  RemoveFacesOnNonManifoldEdges(mesh);
  FaceBorderFromFF(mesh);
  ComputeFaceNormals(mesh, true);
  CoplanarEdgeFlipper flipper(mesh, kOneDegree, false);
  for (int series = 0; series < 2; ++series) {
    flipper.Run(10);
    for (FaceT5& f : mesh.faces)
      if (IsLive(f.flags) && (f.flags & ElemFlag::Selected))
        for (VertexT5* v : f.v)
          v->flags |= ElemFlag::Selected;
  }
  ComputeFaceNormals(mesh, true);
}

}  // namespace quarnel
