// The mode objects of a trackball. The plain TrackMode is itself the idle
// mode; the five derived classes carry the axes and planes their actions
// work with. Modes are value members of the trackball and are copied field
// by field with it, so they have no virtual destructor.
#pragma once

#include "core/math.h"

namespace quarnel {

class TrackCamera;

class TrackMode {
 public:
  TrackMode() = default;
  TrackMode(const TrackMode&) = default;
  TrackMode& operator=(const TrackMode&) = default;

  // The transform of one drag point; the idle mode never moves anything.
  virtual Mat4d Transform(Vec3d p, const Mat4d& frame);
  // Draws the mode's handle inside the trackball glyph; the idle mode has none.
  virtual void DrawHandle(int visible);
  // How well a window point hits the handle: >= 0 a hit, -1 a miss.
  virtual double HitValue(Vec3d q, const TrackCamera& camera);

  int m_space = 0;  // frame flag of the selected action: 0, 0x400, 0x800, 0x1000
  int m_p2 = 3;     // what a drag changes: 1 base, 2 track compensated, 3 track
};

class SphereRotateMode final : public TrackMode {};

class AxisRotateMode final : public TrackMode {
 public:
  Vec3d m_axis{0.0, 1.0, 0.0};
  int m_angularMode = 0;  // 0 by projected axis length, 1 angular, else linear
};

class PlaneTranslateMode final : public TrackMode {
 public:
  PlaneTranslateMode() = default;
  PlaneTranslateMode(int space, double ux, double uy, double uz, double vx, double vy,
                     double vz)
      : m_planeU(ux, uy, uz), m_planeV(vx, vy, vz) {
    m_space = space;
    m_p2 = 3;
  }
  Vec3d m_planeU{1.0, 0.0, 0.0};
  Vec3d m_planeV{0.0, 1.0, 0.0};
};

class AxisTranslateMode final : public TrackMode {
 public:
  Vec3d m_axis{1.0, 0.0, 0.0};
};

class ScaleMode final : public TrackMode {};

}  // namespace quarnel
