// Exact refinement of the editable mesh along a clip surface (a plane or a
// sphere): every edge whose ends lie on different sides is split at its
// crossing point and each face with split edges is replaced by the faces of
// SplitTable, so that afterwards every face lies on one side and a clip can
// keep or delete whole faces by their centroid.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "core/math.h"
#include "core/mesh.h"
#include "core/topology.h"

namespace quarnel {

// The plane a x + b y + c z = d, taken as it is given (not normalised).
struct ClipPlane {
  Plane3f plane;

  ClipPlane() = default;
  explicit ClipPlane(const Plane3f& p) : plane(p) {}

  // Signed value a x + b y + c z - d; > 0 is the positive side.
  double Value(const Vec3f& p) const { return SignedDistance(p, plane); }
  bool EdgeCrosses(const Vec3f& p0, const Vec3f& p1) const {
    return (Value(p0) > 0.0) != (Value(p1) > 0.0);
  }
  // Places nv where edge z of f meets the plane (linear interpolation of
  // the two signed values) and returns the parameter t of that point, 0 at
  // corner z and 1 at the edge's other end.
  double EdgeIntersection(VertexT5& nv, const FaceT5& f, int z) const {
    const Vec3f& p0 = f.v[z]->position;
    const Vec3f& p1 = f.v[(z + 1) % 3]->position;
    double d0 = SignedDistance(p0, plane);
    double d1 = SignedDistance(p1, plane);
    double t = (1.0 / (d0 - d1)) * d0;
    // Only a NaN corner makes t non-finite (the two values of a crossing
    // edge always differ); keep the new vertex on the edge's line then.
    if (!std::isfinite(t)) t = 0.5;
    nv.position = Vec3f(float(p1.x * t + p0.x * (1.0 - t)), float(p1.y * t + p0.y * (1.0 - t)),
                        float(p1.z * t + p0.z * (1.0 - t)));
    return t;
  }
};

// The sphere |p - centre| = radius; its inside is the non-positive side.
struct ClipSphere {
  Sphere3f sphere;

  ClipSphere() = default;
  explicit ClipSphere(const Sphere3f& s) : sphere(s) {}

  double Value(const Vec3f& p) const {
    double dx = double(p.x) - sphere.center.x;
    double dy = double(p.y) - sphere.center.y;
    double dz = double(p.z) - sphere.center.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) - double(sphere.radius);
  }
  bool EdgeCrosses(const Vec3f& p0, const Vec3f& p1) const {
    return (Value(p0) > 0.0) != (Value(p1) > 0.0);
  }
  // Places nv at the intersection of edge z's line with the sphere that lies
  // nearer the edge's midpoint (on a tie the one with the smaller parameter)
  // and returns the parameter t of that point along the edge, 0 at corner z
  // and 1 at the other end.
  double EdgeIntersection(VertexT5& nv, const FaceT5& f, int z) const {
    const Vec3f& p0 = f.v[z]->position;
    const Vec3f& p1 = f.v[(z + 1) % 3]->position;
    Line3f line{p0, p1 - p0};
    Vec3f q1, q2;
    if (!IntersectLineSphere(sphere, line, q1, q2)) {
      // Rounding can make a barely touching edge miss the sphere; with the
      // discriminant taken as 0 both intersections fall on the line's point
      // nearest the centre.
      const Vec3f& d = line.direction;
      double dd = d.SquaredNorm();
      double b = double(d.x) * (double(p0.x) - sphere.center.x) +
                 double(d.y) * (double(p0.y) - sphere.center.y) +
                 double(d.z) * (double(p0.z) - sphere.center.z);
      double t = dd > 0.0 ? -b / dd : 0.0;
      if (!std::isfinite(t)) t = 0.0;
      nv.position = Vec3f(float(p0.x + t * d.x), float(p0.y + t * d.y), float(p0.z + t * d.z));
      return t;
    }
    Vec3d m((double(p0.x) + p1.x) * 0.5, (double(p0.y) + p1.y) * 0.5, (double(p0.z) + p1.z) * 0.5);
    double e1 = (Vec3d(q1) - m).Dot(Vec3d(q1) - m);
    double e2 = (Vec3d(q2) - m).Dot(Vec3d(q2) - m);
    nv.position = e1 >= e2 ? q2 : q1;
    const Vec3d d(line.direction);
    return (Vec3d(nv.position) - Vec3d(p0)).Dot(d) / d.Dot(d);
  }
};

// One row of SplitTable: the faces that replace a face whose edges marked in
// the row's index are split. Points 0-2 are the face's corners, 3 + z the new
// vertex on edge z. src[i][j] names the split face's edge whose border bit
// edge j of face i inherits; 3 marks an inner edge. Rows of three faces also
// give the quadrilateral's alternative diagonal and the one the row uses.
struct SplitRow {
  int faceCount;
  int point[4][3];
  int src[4][3];
  int altDiagonal[2];
  int usedDiagonal[2];
};

inline constexpr SplitRow SplitTable[8] = {
    {1, {{0, 1, 2}}, {{0, 1, 2}}, {0, 0}, {0, 0}},
    {2, {{0, 3, 2}, {3, 1, 2}}, {{0, 3, 2}, {0, 1, 3}}, {0, 0}, {0, 0}},
    {2, {{0, 1, 4}, {0, 4, 2}}, {{0, 1, 3}, {3, 1, 2}}, {0, 0}, {0, 0}},
    {3, {{3, 1, 4}, {0, 3, 2}, {4, 2, 3}}, {{0, 1, 3}, {0, 3, 2}, {1, 3, 3}}, {0, 4}, {3, 2}},
    {2, {{0, 1, 5}, {5, 1, 2}}, {{0, 3, 2}, {3, 1, 2}}, {0, 0}, {0, 0}},
    {3, {{0, 3, 5}, {3, 1, 5}, {2, 5, 1}}, {{0, 3, 2}, {0, 3, 3}, {2, 3, 1}}, {3, 2}, {5, 1}},
    {3, {{2, 5, 4}, {0, 1, 5}, {4, 5, 1}}, {{2, 3, 1}, {0, 3, 2}, {3, 3, 1}}, {0, 4}, {5, 1}},
    {4,
     {{3, 4, 5}, {0, 3, 5}, {3, 1, 4}, {5, 4, 2}},
     {{3, 3, 3}, {0, 3, 2}, {0, 1, 3}, {3, 1, 2}},
     {0, 0},
     {0, 0}},
};

namespace detail {

inline bool IsBorderEdge(const FaceT5& f, int z) {
  return (f.flags & ElemFlag::Border(z)) != 0;
}

// A parameter along an edge usable for blending its ends' attributes.
inline double BlendParameter(double t) {
  return std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 0.5;
}

// A point made on an edge at parameter t from a to b takes the colour and
// quality in between, as its position does: a cut through a coloured or
// graded surface shows no seam.
inline void BlendVertexAttributes(VertexT5& nv, const VertexT5& a, const VertexT5& b, double t) {
  for (int k = 0; k < 4; ++k) {
    const double c = double(a.color[k]) * (1.0 - t) + double(b.color[k]) * t;
    nv.color[k] = uint8_t(std::clamp(std::lround(c), 0L, 255L));
  }
  nv.quality = float(double(a.quality) * (1.0 - t) + double(b.quality) * t);
}

// Splits every edge that `crossing` reports, placing the new vertices with
// `intersection`. Needs current face-face adjacency and border bits. Returns
// false, with the mesh untouched, when no edge crosses.
template <class Intersection, class Crossing>
bool RefineMesh(MeshT5& mesh, const Intersection& intersection, const Crossing& crossing,
                bool selectedOnly) {
  using EdgeKey = std::pair<size_t, size_t>;
  const size_t vertexTotal = mesh.vertices.size();
  // The side of every vertex, computed once: the passes below read each
  // vertex many times.
  std::vector<uint8_t> positive(vertexTotal);
  for (size_t i = 0; i < vertexTotal; ++i)
    positive[i] = crossing.Value(mesh.vertices[i].position) > 0.0 ? 1 : 0;
  auto index = [&](const VertexT5* v) {
    return mesh.VertexIndex(v);
  };
  auto crosses = [&](const FaceT5& f, int z) {
    return positive[index(f.v[z])] != positive[index(f.v[(z + 1) % 3])];
  };
  auto eligible = [&](const FaceT5& f, int z) {
    if (!crosses(f, z)) return false;
    if (!selectedOnly) return true;
    const FaceT5* n = f.adjFace[z] ? f.adjFace[z] : &f;
    return (f.flags & ElemFlag::Selected) && (n->flags & ElemFlag::Selected);
  };
  auto owns = [&](const FaceT5& f, int z) {
    return index(f.v[z]) < index(f.v[(z + 1) % 3]) || IsBorderEdge(f, z);
  };

  // Pass 1: count the new vertices.
  size_t newVertices = 0;
  for (const FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z)
      if (eligible(f, z) && owns(f, z)) ++newVertices;
  }
  if (newVertices == 0) return false;

  // Pass 2: place the new vertices; the vertex array moves at most here.
  // Each new vertex keeps its parameter along the edge, from the edge's
  // first end in the map key, for the texture coordinates of the split.
  VertexT5* const firstNew = mesh.AddVertices(int(newVertices));
  VertexT5* next = firstNew;
  std::vector<double> parameter(newVertices);
  std::map<EdgeKey, VertexT5*> edgeVertexMap;
  for (const FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      if (!eligible(f, z) || !owns(f, z)) continue;
      VertexT5* nv = next++;
      nv->flags = 0;
      const double t = BlendParameter(intersection.EdgeIntersection(*nv, f, z));
      BlendVertexAttributes(*nv, *f.v[z], *f.v[(z + 1) % 3], t);
      parameter[size_t(nv - firstNew)] = t;
      edgeVertexMap[{index(f.v[z]), index(f.v[(z + 1) % 3])}] = nv;
    }
  }

  // Pass 3a: find each face's split vertices. A shared edge that two faces
  // run in the same direction may have got no vertex, so the faces to add
  // are counted from what is found rather than from the crossing edges.
  struct Split {
    size_t face;
    int k;
    VertexT5* mid[3];
    double t[3];  // of mid[z] along edge z, from corner z
  };
  std::vector<Split> splits;
  size_t addedFaces = 0;
  const size_t oldFaceTotal = mesh.faces.size();
  for (size_t fi = 0; fi < oldFaceTotal; ++fi) {
    const FaceT5& f = mesh.faces[fi];
    if (!IsLive(f.flags)) continue;
    Split s{fi, 0, {nullptr, nullptr, nullptr}, {0.5, 0.5, 0.5}};
    for (int z = 0; z < 3; ++z) {
      if (!crosses(f, z)) continue;
      size_t a = index(f.v[z]), b = index(f.v[(z + 1) % 3]);
      EdgeKey key = (b <= a && !IsBorderEdge(f, z)) ? EdgeKey{b, a} : EdgeKey{a, b};
      auto it = edgeVertexMap.find(key);
      if (it == edgeVertexMap.end()) continue;
      s.mid[z] = it->second;
      const double t = parameter[size_t(it->second - firstNew)];
      s.t[z] = key.first == a ? t : 1.0 - t;
      s.k |= 1 << z;
      ++addedFaces;
    }
    if (s.k != 0) splits.push_back(s);
  }
  edgeVertexMap.clear();

  // Pass 3b: split. The face array moves at most here; faces are held by
  // index across the call.
  FaceT5* added = mesh.AddFaces(int(addedFaces));
  for (const Split& s : splits) {
    FaceT5& f = mesh.faces[s.face];
    const SplitRow& row = SplitTable[s.k];
    FaceT5* out[4] = {&f, nullptr, nullptr, nullptr};
    for (int i = 1; i < row.faceCount; ++i) {
      out[i] = added++;
      out[i]->quality = f.quality;
      out[i]->color = f.color;
      if (selectedOnly) out[i]->flags |= ElemFlag::Selected;
    }
    const uint32_t saved = f.flags;
    VertexT5* P[6] = {f.v[0], f.v[1], f.v[2], s.mid[0], s.mid[1], s.mid[2]};
    WedgeTexCoord W[6] = {f.wedge[0], f.wedge[1], f.wedge[2], {}, {}, {}};
    for (int z = 0; z < 3; ++z) {
      const WedgeTexCoord& a = f.wedge[z];
      const WedgeTexCoord& b = f.wedge[(z + 1) % 3];
      const double t = s.t[z];
      W[3 + z] = {float(double(a.u) * (1.0 - t) + double(b.u) * t),
                  float(double(a.v) * (1.0 - t) + double(b.v) * t), a.texIndex};
    }
    for (int i = 0; i < row.faceCount; ++i) {
      FaceT5& g = *out[i];
      for (int j = 0; j < 3; ++j) {
        g.v[j] = P[row.point[i][j]];
        g.wedge[j] = W[row.point[i][j]];
        int src = row.src[i][j];
        bool border = src < 3 && (saved & ElemFlag::Border(src));
        if (border)
          g.flags |= ElemFlag::Border(j);
        else
          g.flags &= ~ElemFlag::Border(j);
      }
    }
    if (row.faceCount == 3) {
      const int p = row.altDiagonal[0], q = row.altDiagonal[1];
      const int r = row.usedDiagonal[0], t = row.usedDiagonal[1];
      double alt = (P[p]->position - P[q]->position).SquaredNorm();
      double used = (P[r]->position - P[t]->position).SquaredNorm();
      if (alt < used) {
        FaceT5& A = *out[1];
        FaceT5& B = *out[2];
        B.v[1] = A.v[0];
        B.wedge[1] = A.wedge[0];
        A.v[1] = B.v[0];
        A.wedge[1] = B.wedge[0];
        const uint32_t a0 = A.flags & ElemFlag::Border(0);
        const uint32_t b0 = B.flags & ElemFlag::Border(0);
        B.flags = (B.flags & ~ElemFlag::Border(1)) | (a0 ? ElemFlag::Border(1) : 0);
        A.flags = (A.flags & ~ElemFlag::Border(1)) | (b0 ? ElemFlag::Border(1) : 0);
        A.flags &= ~ElemFlag::Border(0);
        B.flags &= ~ElemFlag::Border(0);
      }
    }
  }
  BuildFaceFaceAdjacency(mesh);
  return true;
}

}  // namespace detail

// Splits the mesh along the plane. With selectedOnly only edges between two
// selected faces are split and the added faces are selected. Needs current
// face-face adjacency and border bits; returns false (mesh untouched) when
// no edge crosses, otherwise rebuilds the face-face adjacency.
inline bool RefineByPlane(MeshT5& mesh, ClipPlane intersection, ClipPlane crossing,
                          bool selectedOnly) {
  return detail::RefineMesh(mesh, intersection, crossing, selectedOnly);
}

// The same along the sphere.
inline bool RefineBySphere(MeshT5& mesh, ClipSphere intersection, ClipSphere crossing,
                           bool selectedOnly) {
  return detail::RefineMesh(mesh, intersection, crossing, selectedOnly);
}

}  // namespace quarnel
