// Volume, centre of mass and inertia tensor of the solid bounded by a closed,
// consistently oriented triangle mesh of unit density, computed exactly with
// the divergence theorem: each face's integrals are reduced to integrals over
// its projection on the coordinate plane it is most parallel to, and those to
// sums over the projected edges.
//
// The face normals must be current and of unit length.
#pragma once

#include <cmath>

#include "core/mesh.h"

namespace quarnel {

class MassProperties {
 public:
  // Axes of the current face; gamma is the projection axis.
  int alpha = 0, beta = 0, gamma = 0;
  // Projection integrals of the current face.
  double P1 = 0, Pa = 0, Pb = 0, Paa = 0, Pab = 0, Pbb = 0, Paaa = 0, Paab = 0, Pabb = 0, Pbbb = 0;
  // Face integrals of the current face.
  double Fa = 0, Fb = 0, Fc = 0, Faa = 0, Fbb = 0, Fcc = 0, Faaa = 0, Fbbb = 0, Fccc = 0, Faab = 0,
         Fbbc = 0, Fcca = 0;
  // Volume integrals of the whole mesh: T0 is the volume, T1 the first
  // moments, T2 the second moments, TP the products.
  double T0 = 0;
  double T1[3] = {0, 0, 0};
  double T2[3] = {0, 0, 0};
  double TP[3] = {0, 0, 0};

  // Fills T0, T1, T2, TP from every face that is not deleted. A face whose
  // normal is zero (a degenerate face) or not finite bounds no volume and is
  // skipped, so it cannot turn the sums into NaN.
  template <class MeshT>
  void ComputeVolumeIntegrals(const MeshT& mesh);

  template <class Face>
  void ComputeFaceIntegrals(const Face& f);
  template <class Face>
  void ComputeProjectionIntegrals(const Face& f);

  // T1 / T0; the origin when the volume is zero.
  Vec3d CenterOfMass() const;
  // The inertia tensor about the centre of mass, row by row.
  void InertiaTensor3(float out[9]) const;
  // The same tensor in the upper-left 3x3 of a 4x4 identity, row by row.
  void InertiaTensor4(float out[16]) const;
  // Eigen-decomposition of the 4x4 tensor: the eigenvectors are the columns
  // of axes (row by row), moments the eigenvalues, unsorted; the fourth pair
  // is 1 and the fourth unit vector.
  void PrincipalAxes(float axes[16], float moments[4]) const;
};

template <class MeshT>
void MassProperties::ComputeVolumeIntegrals(const MeshT& mesh) {
  T0 = 0.0;
  for (int i = 0; i < 3; ++i)
    T1[i] = T2[i] = TP[i] = 0.0;
  for (const auto& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    const Vec3f& n = f.normal;
    const double nx = std::fabs(n.x), ny = std::fabs(n.y), nz = std::fabs(n.z);
    if (ny < nx && nz < nx)
      gamma = 0;
    else if (nz < ny)
      gamma = 1;
    else
      gamma = 2;
    alpha = (gamma + 1) % 3;
    beta = (alpha + 1) % 3;
    // The projection divides by n[gamma], the largest component.
    if (!(std::fabs(double(n[gamma])) > 0.0) || !std::isfinite(n[gamma])) continue;

    ComputeFaceIntegrals(f);

    T0 += n[0] * (alpha == 0 ? Fa : (beta == 0 ? Fb : Fc));
    T1[alpha] += n[alpha] * Faa;
    T1[beta] += n[beta] * Fbb;
    T1[gamma] += n[gamma] * Fcc;
    T2[alpha] += n[alpha] * Faaa;
    T2[beta] += n[beta] * Fbbb;
    T2[gamma] += n[gamma] * Fccc;
    TP[alpha] += n[alpha] * Faab;
    TP[beta] += n[beta] * Fbbc;
    TP[gamma] += n[gamma] * Fcca;
  }
  for (int i = 0; i < 3; ++i) {
    T1[i] *= 0.5;
    T2[i] *= 1.0 / 3.0;
    TP[i] *= 0.5;
  }
}

template <class Face>
void MassProperties::ComputeFaceIntegrals(const Face& f) {
  ComputeProjectionIntegrals(f);
  const Vec3f& n = f.normal;
  const Vec3f& p0 = f.v[0]->position;
  const double w = -(double(n.x) * p0.x + double(n.y) * p0.y + double(n.z) * p0.z);
  const double k1 = 1.0 / n[gamma], k2 = k1 * k1, k3 = k2 * k1, k4 = k3 * k1;
  const double a = n[alpha], b = n[beta];

  Fa = k1 * Pa;
  Fb = k1 * Pb;
  Fc = -k2 * (a * Pa + b * Pb + w * P1);

  Faa = k1 * Paa;
  Fbb = k1 * Pbb;
  Fcc = k3 * (a * a * Paa + 2 * a * b * Pab + b * b * Pbb + w * (2 * (a * Pa + b * Pb) + w * P1));

  Faaa = k1 * Paaa;
  Fbbb = k1 * Pbbb;
  Fccc = -k4 * (a * a * a * Paaa + 3 * a * a * b * Paab + 3 * a * b * b * Pabb + b * b * b * Pbbb +
                3 * w * (a * a * Paa + 2 * a * b * Pab + b * b * Pbb) +
                w * w * (3 * (a * Pa + b * Pb) + w * P1));

  Faab = k1 * Paab;
  Fbbc = -k2 * (a * Pabb + b * Pbbb + w * Pbb);
  Fcca = k3 *
         (a * a * Paaa + 2 * a * b * Paab + b * b * Pabb + w * (2 * (a * Paa + b * Pab) + w * Pa));
}

template <class Face>
void MassProperties::ComputeProjectionIntegrals(const Face& f) {
  P1 = Pa = Pb = Paa = Pab = Pbb = Paaa = Paab = Pabb = Pbbb = 0.0;
  for (int i = 0; i < 3; ++i) {
    const Vec3f& q0 = f.v[i]->position;
    const Vec3f& q1 = f.v[(i + 1) % 3]->position;
    const double a0 = q0[alpha], b0 = q0[beta];
    const double a1 = q1[alpha], b1 = q1[beta];
    const double da = a1 - a0, db = b1 - b0;
    const double a0_2 = a0 * a0, a0_3 = a0_2 * a0, a0_4 = a0_3 * a0;
    const double b0_2 = b0 * b0, b0_3 = b0_2 * b0, b0_4 = b0_3 * b0;
    const double a1_2 = a1 * a1, a1_3 = a1_2 * a1;
    const double b1_2 = b1 * b1, b1_3 = b1_2 * b1;

    const double C1 = a1 + a0;
    const double Ca = a1 * C1 + a0_2, Caa = a1 * Ca + a0_3, Caaa = a1 * Caa + a0_4;
    const double Cb = b1 * (b1 + b0) + b0_2, Cbb = b1 * Cb + b0_3, Cbbb = b1 * Cbb + b0_4;
    const double Cab = 3 * a1_2 + 2 * a1 * a0 + a0_2, Kab = a1_2 + 2 * a1 * a0 + 3 * a0_2;
    const double Caab = a0 * Cab + 4 * a1_3, Kaab = a1 * Kab + 4 * a0_3;
    const double Cabb = 4 * b1_3 + 3 * b1_2 * b0 + 2 * b1 * b0_2 + b0_3;
    const double Kabb = b1_3 + 2 * b1_2 * b0 + 3 * b1 * b0_2 + 4 * b0_3;

    P1 += db * C1;
    Pa += db * Ca;
    Paa += db * Caa;
    Paaa += db * Caaa;
    Pb += da * Cb;
    Pbb += da * Cbb;
    Pbbb += da * Cbbb;
    Pab += db * (b1 * Cab + b0 * Kab);
    Paab += db * (b1 * Caab + b0 * Kaab);
    Pabb += da * (a1 * Cabb + a0 * Kabb);
  }
  P1 /= 2.0;
  Pa /= 6.0;
  Paa /= 12.0;
  Paaa /= 20.0;
  Pb /= -6.0;
  Pbb /= -12.0;
  Pbbb /= -20.0;
  Pab /= 24.0;
  Paab /= 60.0;
  Pabb /= -60.0;
}

}  // namespace quarnel
