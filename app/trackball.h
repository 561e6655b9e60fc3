// The mouse-driven 3D manipulator of a view. The track matrix is multiplied
// onto the modelview every frame; the base frame places the trackball's
// glyph and its centre of rotation in the space the track matrix moves.
#pragma once

#include <cstdint>
#include <vector>

#include "app/track_mode.h"
#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

// The OpenGL camera as it stood at the trackball's last Apply.
class TrackCamera {
 public:
  // Reads the projection, the modelview and the viewport of the current context.
  void Snapshot();
  // Builds the record from given matrices (OpenGL order) and viewport.
  void Set(const Mat4d& projection, const Mat4d& modelview, const int viewport[4]);
  // A window point (x, y in mouse coordinates, y downwards; z in normalised
  // device depth) in the space of the modelview.
  Vec3d WindowToWorld(const Vec3d& p) const;
  // False until a snapshot found a viewport with an area: without one no
  // window point maps anywhere.
  bool HasViewport() const { return m_viewport[2] > 0 && m_viewport[3] > 0; }

  Mat4d m_viewProj;         // row order: Projection x Modelview
  Mat4d m_viewProjInverse;  // row order
  int m_viewport[4] = {0, 0, 0, 0};
};

struct TrackAction {
  int action = 0;  // 0 sphere, 1-3 rotate X/Y/Z, 4-6 move X/Y/Z, 7-9 planes, 10 scale
  int space = 0;   // 0, 0x400, 0x800 or 0x1000
  int p2 = 3;      // 1 base only, 2 track with base compensated, 3 track
  int key = 0;     // button/modifier code that selects the entry
  bool operator==(const TrackAction&) const = default;
};

// Button and modifier codes of the action table, or-ed together.
namespace TrackButton {
inline constexpr int Left = 0x01;
inline constexpr int Middle = 0x02;
inline constexpr int Wheel = 0x08;
inline constexpr int Shift = 0x10;
inline constexpr int Ctrl = 0x20;
inline constexpr int Handle = 0x80;
}  // namespace TrackButton

class TrackBall {
 public:
  TrackBall();
  TrackBall(const TrackBall& o);
  TrackBall& operator=(const TrackBall& o);
  ~TrackBall() = default;

  // Snapshots the camera, advances a spin, multiplies the current GL matrix.
  void Apply();
  // The current mode's handle and the glyph of three unit circles.
  void Draw(Color4b color, float width);
  void Reset();
  // space 1: the base frame; 2: the track, the base compensated so the glyph
  // stays on screen; 3: the track. Other spaces do nothing.
  void SetTranslation(int space, double x, double y, double z);
  void SetScale(int space, double s);
  // m_track = m_track * m for spaces 0x400 and 0x800.
  void ApplyTransform(Mat4d m, int space);
  Vec3d WindowToTrackSpace(double x, double y, double depth) const;
  void UpdateScreenFrame();
  // Turns the track matrix by the spin as far as the clock has gone since
  // the release; Apply calls it while a spin runs.
  void AdvanceSpin();

  // A drag: the press, one step per mouse move, the release. Each step
  // starts again from the state at the press. They always return 0.
  int StartDrag(int x, int y);
  int Drag(int x, int y);
  int EndDrag(int x, int y);

  // The mode of an action number made current, with its axes, space and p2.
  void SetAction(int action, int space, int p2);
  // The mode of an action with its axes and space set, not made current.
  TrackMode* ModeForAction(int action, int space);
  // Follows a change of the button/modifier code.
  void SelectActionByButton(int code);

  // Mouse input, in mouse coordinates (y downwards) with a button/modifier
  // code of TrackButton bits. Moves and releases with code 0 keep the action.
  void MouseDown(int x, int y, int code);
  void MouseMove(int x, int y, int code);
  void MouseUp(int x, int y, int code);
  // One complete drag per call: notches of the wheel, code the buttons held.
  void MouseWheel(int notches, int code);
  void SetHandlePicking(int flag) { m_handlePicking = flag; }
  void SetSpinEnabled(bool enabled);

  // Where the mode designation of a trackball points; used by copying.
  TrackMode* ModeObject(int index);
  int ModeIndex(const TrackMode* mode) const;

  // The millisecond tick source of every trackball (elapsed time, not
  // processor time). Tests replace it to drive a spin.
  using TickSource = int (*)();
  static void SetTickSource(TickSource source);
  static int Ticks();

  TrackMode* m_mode = nullptr;
  Mat4d m_track;
  Mat4d m_base;
  int m_pressX = -1, m_pressY = -1;
  Mat4d m_screenFrame;
  Mat4d m_screenFrameInTrack;
  Mat4d m_trackAtPress;
  Mat4d m_baseAtPress;
  Mat4d m_spinBase;
  Mat4d m_lastTrack;
  TrackCamera m_camera;
  int m_modeChanged = 0;
  bool m_dragging = false;
  bool m_spinEnabled = false;
  bool m_spinning = false;
  int m_prevMoveTime = 0;
  int m_lastMoveTime = 0;
  Quatd m_spin{1.0, 0.0, 0.0, 0.0};
  int m_buttonState = 0;
  TrackAction m_action{0, 0, 3, 1};
  std::vector<TrackAction> m_actions;
  int m_handlePicking = 0;
  SphereRotateMode m_sphereMode;
  AxisRotateMode m_axisRotateMode;
  PlaneTranslateMode m_planeMoveMode{0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0};
  AxisTranslateMode m_axisMoveMode;
  ScaleMode m_scaleMode;
  TrackMode m_idleMode;

 private:
  void InitMatrices();
  void CopyFrom(const TrackBall& o);
};

// Identity with the upper-left 3x3 block of m.
Mat4d Linear3(const Mat4d& m);
// Identity with the translation v.
Mat4d Translation(const Vec3d& v);
// The origin carried through m.
Vec3d OriginThrough(const Mat4d& m);

// Parts of the glyph, drawn in immediate mode.
void DrawCircle(double radius);
void DrawTrackBallSquares();
void DrawTrackBallTicks();

}  // namespace quarnel
