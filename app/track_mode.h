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

// Rotation on a virtual sphere (a paraboloid beyond 45 degrees from the pole).
class SphereRotateMode final : public TrackMode {
 public:
  Mat4d Transform(Vec3d p, const Mat4d& frame) override;
  double HitValue(Vec3d q, const TrackCamera& camera) override;
};

// Rotation about one axis: by the cursor's polar angle when the axis points
// at the viewer, by the drag across the axis's screen direction otherwise.
class AxisRotateMode final : public TrackMode {
 public:
  Mat4d Transform(Vec3d p, const Mat4d& frame) override;
  void DrawHandle(int visible) override;
  double HitValue(Vec3d q, const TrackCamera& camera) override;

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
  Mat4d Transform(Vec3d p, const Mat4d& frame) override;
  void DrawHandle(int visible) override;
  double HitValue(Vec3d q, const TrackCamera& camera) override;

  Vec3d m_planeU{1.0, 0.0, 0.0};
  Vec3d m_planeV{0.0, 1.0, 0.0};
};

class AxisTranslateMode final : public TrackMode {
 public:
  Mat4d Transform(Vec3d p, const Mat4d& frame) override;
  void DrawHandle(int visible) override;
  double HitValue(Vec3d q, const TrackCamera& camera) override;

  Vec3d m_axis{1.0, 0.0, 0.0};
};

// Uniform scale: a factor of two for every 100 units the point moves up.
class ScaleMode final : public TrackMode {
 public:
  Mat4d Transform(Vec3d p, const Mat4d& frame) override;
  double HitValue(Vec3d q, const TrackCamera& camera) override;
};

// Window-space hit tests of the handles (window coordinates, y upwards):
// 0.0 for a hit, -1.0 for a miss.
// Within 3 pixels of the segment a-b lengthened by 3 pixels at both ends.
double WindowDistanceToSegment(Vec3d p, Vec3d a, Vec3d b);
// Inside the window triangle a, b, c (points on the edge c-a excluded).
double PointInProjectedTriangle(Vec3d p, Vec3d a, Vec3d b, Vec3d c);
bool PointInTriangle2D(double px, double py, double pz, const double* a, const double* b,
                       const double* c);

}  // namespace quarnel
