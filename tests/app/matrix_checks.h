// Matrices the trackball and camera tests compare against.
#pragma once

#include <gtest/gtest.h>

#include "core/math.h"

namespace quarnel::test {

inline Mat4d Identity() {
  Mat4d m;
  m.SetIdentity();
  return m;
}

inline Mat4d Rotation(double degrees, double x, double y, double z) {
  Mat4d m;
  m.SetRotate(degrees, x, y, z);
  return m;
}

// Every element of a within eps of b's; `what` names the pair in a failure.
inline void ExpectMatNear(const Mat4d& a, const Mat4d& b, double eps = 1e-9, const char* what = "") {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], eps) << what << " element " << i;
}

}  // namespace quarnel::test
