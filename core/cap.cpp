#include "core/cap.h"

#include <algorithm>
#include <cmath>

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
  // A polygon without area never yields an ear nor reaches the give-up
  // limit; a non-finite one has a coordinate that is no number.
  if (!(S > 0.0) || !std::isfinite(S)) return 0;

  auto pt = [&](int position) -> const Point2d& {
    return P[size_t(V[size_t(position)])];
  };
  int nv = n;
  const double giveUp = 2.0 * std::sqrt(S);
  double limit = std::sqrt(S) * 0.001;
  int tries = 2 * nv;
  int v = nv - 1;
  for (;;) {
    if (nv < 3) return 1;
    if (--tries < 0) {
      limit *= 1.3;
      tries = 2 * nv;
      if (limit > giveUp) return 0;
    }
    int u = v >= nv ? 0 : v;
    v = u + 1 >= nv ? 0 : u + 1;
    int w = v + 1 >= nv ? 0 : v + 1;
    const Point2d& Pu = pt(u);
    const Point2d& Pv = pt(v);
    const Point2d& Pw = pt(w);
    const double dx = Pu.x - Pw.x, dy = Pu.y - Pw.y;
    if (std::sqrt(dx * dx + dy * dy) >= limit) continue;
    if ((Pv.x - Pu.x) * (Pw.y - Pu.y) - (Pv.y - Pu.y) * (Pw.x - Pu.x) < 0.01) continue;
    bool blocked = false;
    for (int p = 0; p < nv && !blocked; ++p) {
      if (p == u || p == v || p == w) continue;
      const Point2d& Q = pt(p);
      blocked = (Pw.x - Pv.x) * (Q.y - Pv.y) - (Pw.y - Pv.y) * (Q.x - Pv.x) >= 0.0 &&
                (Pu.x - Pw.x) * (Q.y - Pw.y) - (Q.x - Pw.x) * (Pu.y - Pw.y) >= 0.0 &&
                (Pv.x - Pu.x) * (Q.y - Pu.y) - (Pv.y - Pu.y) * (Q.x - Pu.x) >= 0.0;
    }
    if (blocked) continue;
    triangles.push_back(V[size_t(u)]);
    triangles.push_back(V[size_t(v)]);
    triangles.push_back(V[size_t(w)]);
    V.erase(V.begin() + v);
    --nv;
    tries = 2 * nv;
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

void CapCut(MeshT5& mesh, const Plane3f& plane) {
  BuildFaceFaceAdjacency(mesh);
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
  RemoveDuplicateFaces(mesh);
  BuildFaceFaceAdjacency(mesh);
  RemoveFacesOnNonManifoldEdges(mesh);
  FaceBorderFromFF(mesh);
  ComputeFaceNormals(mesh, true);
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 10; ++i)
      FlipCoplanarEdges(mesh, 0.017453292f, false);
    for (FaceT5& f : mesh.faces)
      if (IsLive(f.flags) && (f.flags & ElemFlag::Selected))
        for (VertexT5* v : f.v)
          v->flags |= ElemFlag::Selected;
  }
  ComputeFaceNormals(mesh, true);
}

}  // namespace quarnel
