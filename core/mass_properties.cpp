#include "core/mass_properties.h"

namespace quarnel {

Vec3d MassProperties::CenterOfMass() const {
  if (T0 == 0.0) return Vec3d(0.0, 0.0, 0.0);
  const double k = 1.0 / T0;
  return Vec3d(T1[0] * k, T1[1] * k, T1[2] * k);
}

void MassProperties::InertiaTensor3(float out[9]) const {
  // Unit density: the mass is the volume.
  const Vec3d r = CenterOfMass();
  const double j00 = T2[1] + T2[2] - T0 * (r.y * r.y + r.z * r.z);
  const double j11 = T2[2] + T2[0] - T0 * (r.z * r.z + r.x * r.x);
  const double j22 = T2[0] + T2[1] - T0 * (r.x * r.x + r.y * r.y);
  const double j01 = -TP[0] + T0 * r.x * r.y;
  const double j12 = -TP[1] + T0 * r.y * r.z;
  const double j20 = -TP[2] + T0 * r.z * r.x;
  const double j[9] = {j00, j01, j20, j01, j11, j12, j20, j12, j22};
  for (int i = 0; i < 9; ++i)
    out[i] = float(j[i]);
}

void MassProperties::InertiaTensor4(float out[16]) const {
  float j[9];
  InertiaTensor3(j);
  for (int i = 0; i < 16; ++i)
    out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      out[4 * r + c] = j[3 * r + c];
}

void MassProperties::PrincipalAxes(float axes[16], float moments[4]) const {
  float t[16];
  InertiaTensor4(t);
  double a[4][4], d[4], v[4][4];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      a[r][c] = t[4 * r + c];
  int rotations = 0;
  SymmetricEigen4(a, d, v, rotations);
  for (int r = 0; r < 4; ++r) {
    moments[r] = float(d[r]);
    for (int c = 0; c < 4; ++c)
      axes[4 * r + c] = float(v[r][c]);
  }
}

}  // namespace quarnel
