#include "core/curvature.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "core/normals.h"
#include "core/topology.h"

namespace quarnel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr float kMaxCurvature = 0.05f;

// acos of the normalised dot product of u and v; `degenerate` when either is
// of zero length.
double AngleBetween(const Vec3f& u, const Vec3f& v, double degenerate) {
  const double lengths = u.Norm() * v.Norm();
  if (lengths == 0.0) return degenerate;
  return std::fabs(std::acos(std::clamp(u.Dot(v) / lengths, -1.0, 1.0)));
}

// Corner angles of a face: a0 at V0, a1 at V1; the third is pi - (a0 + a1).
// A corner with a zero-length side gets 1 radian.
void CornerAngles(const FaceT5& f, double& a0, double& a1) {
  const Vec3f& p0 = f.v[0]->position;
  const Vec3f& p1 = f.v[1]->position;
  const Vec3f& p2 = f.v[2]->position;
  a0 = AngleBetween(p2 - p0, p1 - p0, 1.0);
  a1 = AngleBetween(p0 - p1, p2 - p1, 1.0);
}

// L * cot(angle): an edge of zero length contributes nothing, whatever the
// angle opposite (a flat angle would make the cotangent infinite).
double CotTerm(double squaredLength, double angle) {
  if (squaredLength == 0.0) return 0.0;
  const double t = std::tan(angle);
  if (t == 0.0) return std::copysign(std::numeric_limits<double>::infinity(), t) * squaredLength;
  return squaredLength / t;
}

}  // namespace

void GaussianCurvature(MeshT5& mesh) {
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);

  std::vector<double> area(mesh.vertices.size(), 0.0);
  for (VertexT5& v : mesh.vertices)
    if (IsLive(v.flags)) v.quality = 0.0f;

  // Mixed Voronoi area shares, accumulated in the quality.
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    double a0, a1;
    CornerAngles(f, a0, a1);
    const double a2 = kPi - (a0 + a1);
    VertexT5 *v0 = f.v[0], *v1 = f.v[1], *v2 = f.v[2];
    const double l01 = (v1->position - v0->position).SquaredNorm();
    const double l12 = (v2->position - v1->position).SquaredNorm();
    const double l20 = (v0->position - v2->position).SquaredNorm();
    v0->quality = float(v0->quality + 0.125 * (CotTerm(l01, a2) + CotTerm(l20, a1)));
    v1->quality = float(v1->quality + 0.125 * (CotTerm(l12, a0) + CotTerm(l01, a2)));
    v2->quality = float(v2->quality + 0.125 * (CotTerm(l20, a1) + CotTerm(l12, a0)));
  }

  const float twoPi = 6.2831855f;
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    VertexT5& v = mesh.vertices[i];
    if (!IsLive(v.flags)) continue;
    area[i] = v.quality;
    v.quality = twoPi;
  }

  // A border vertex's full angle is the one between its two border edges,
  // not 2 pi: each border edge takes that angle off its start vertex.
  const size_t maxTurns = mesh.faces.size() + 1;
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      if (f.adjFace[z] != &f) continue;
      VertexT5* p = f.v[z];
      const Vec3f u = f.v[(z + 1) % 3]->position - p->position;
      FacePos pos(&f, z, p);
      // Bad topology around the vertex (no other border edge within the
      // face count) leaves it uncorrected.
      if (!pos.NextBorder(maxTurns)) continue;
      const Vec3f w = pos.v->position - p->position;
      const double beta = AngleBetween(u, w, -1.0);
      p->quality = float(p->quality - std::fabs(beta));
    }
  }

  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    double a0, a1;
    CornerAngles(f, a0, a1);
    f.v[0]->quality = float(f.v[0]->quality - a0);
    f.v[1]->quality = float(f.v[1]->quality - a1);
    f.v[2]->quality = float(f.v[2]->quality - (kPi - (a0 + a1)));
  }

  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    VertexT5& v = mesh.vertices[i];
    if (!IsLive(v.flags)) continue;
    const float deficit = v.quality;
    const float a = float(area[i]);
    float k;
    if (a != 0.0f)
      k = deficit / a;
    else  // no area: the sign of the deficit decides, as an infinite ratio would
      k = deficit > 0.0f ? kMaxCurvature : (deficit < 0.0f ? -kMaxCurvature : 0.0f);
    if (std::isnan(k)) k = 0.0f;
    v.quality = std::clamp(k, -kMaxCurvature, kMaxCurvature);
  }
}

void SmoothVertexQuality(MeshT5& mesh, int32_t iterations, bool selectedOnly) {
  if (iterations <= 0) return;
  // The record's first payload word holds the float sum, the second the
  // neighbour count.
  TempVertexData<MeshT5> tvd(mesh);
  const uint32_t zeroSum = std::bit_cast<uint32_t>(0.0f);
  tvd.Start(zeroSum, 0);
  auto add = [&](VertexT5* to, const VertexT5* from) {
    auto& r = tvd(to);
    r.word0 = std::bit_cast<uint32_t>(std::bit_cast<float>(r.word0) + from->quality);
    ++r.word1;
  };
  auto reset = [&](VertexT5* v) {
    auto& r = tvd(v);
    r.word0 = zeroSum;
    r.word1 = 0;
  };

  for (int32_t it = 0; it < iterations; ++it) {
    for (size_t i = 0; i < tvd.Size(); ++i) {
      tvd.At(i).word0 = zeroSum;
      tvd.At(i).word1 = 0;
    }
    for (FaceT5& f : mesh.faces) {
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z) {
        if (f.flags & ElemFlag::Border(z)) continue;
        add(f.v[z], f.v[(z + 1) % 3]);
        add(f.v[(z + 1) % 3], f.v[z]);
      }
    }
    ForEachBorderEdge(mesh, [&](FaceT5& f, int z) {
      reset(f.v[z]);
      reset(f.v[(z + 1) % 3]);
    });
    ForEachBorderEdge(mesh, [&](FaceT5& f, int z) {
      add(f.v[z], f.v[(z + 1) % 3]);
      add(f.v[(z + 1) % 3], f.v[z]);
    });
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      const auto& r = tvd.At(i);
      if (!IsLive(r.savedFlags) || r.word1 == 0) continue;
      if (selectedOnly && !(r.savedFlags & ElemFlag::Selected)) continue;
      mesh.vertices[i].quality = float((1.0 / r.word1) * std::bit_cast<float>(r.word0));
    }
  }
  tvd.Stop();
}

}  // namespace quarnel
