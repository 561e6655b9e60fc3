// The camera record a PLY file may carry as its element "camera"; fields in
// the order of the element's properties.
#pragma once

#include <cstdint>

namespace quarnel {

struct PlyCamera {
  float view_px = 0, view_py = 0, view_pz = 0;
  float x_axisx = 0, x_axisy = 0, x_axisz = 0;
  float y_axisx = 0, y_axisy = 0, y_axisz = 0;
  float z_axisx = 0, z_axisy = 0, z_axisz = 0;
  float focal = 0;
  float scalex = 0, scaley = 0;
  float centerx = 0, centery = 0;
  int32_t viewportx = 0, viewporty = 0;
  float k1 = 0, k2 = 0, k3 = 0, k4 = 0;

  bool operator==(const PlyCamera&) const = default;
};

}  // namespace quarnel
