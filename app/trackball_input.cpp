// Dragging a trackball, the spin a quick release leaves behind, and the
// choice of the action from the button/modifier code of the mouse input.
#include <cmath>
#include <cstdlib>

#include "app/trackball.h"

namespace quarnel {

namespace {

// Ticks after which a drag step counts as a new spin sample, and within
// which a release keeps the trackball spinning.
constexpr int kSampleTicks = 50;
constexpr int kSpinReleaseTicks = 100;

}  // namespace

// ---------------------------------------------------------------------------
// Dragging

int TrackBall::StartDrag(int x, int y) {
  m_pressX = x;
  m_pressY = y;
  m_trackAtPress = m_track;
  m_baseAtPress = m_base;
  m_spinning = false;
  const int t = Ticks();
  m_prevMoveTime = m_lastMoveTime = t;
  m_spinBase = m_track;
  m_lastTrack = m_track;
  m_spin = Quatd(1.0, 0.0, 0.0, 0.0);
  m_dragging = true;
  UpdateScreenFrame();
  m_modeChanged = 0;
  return 0;
}

int TrackBall::Drag(int x, int y) {
  // A camera that was never read has no screen frame: a step would collapse
  // the track matrix rather than move it.
  if (!m_dragging || !m_camera.HasViewport()) return 0;
  if (m_modeChanged) {
    // A new action goes on from where the cursor is, so nothing jumps.
    m_pressX = x;
    m_pressY = y;
    m_trackAtPress = m_track;
    m_baseAtPress = m_base;
    m_spinning = false;
    UpdateScreenFrame();
    m_modeChanged = 0;
  }
  if (!m_mode) return 0;

  if (Ticks() - m_lastMoveTime > kSampleTicks) {
    m_spinBase = m_lastTrack;
    m_lastTrack = m_track;
    m_prevMoveTime = m_lastMoveTime;
    m_lastMoveTime = Ticks();
  }

  const double trackScale = m_trackAtPress.UniformScale();
  const double baseScale = m_base.UniformScale();
  const int space = m_mode->m_space;
  const bool screenSpace = space == 0 || space == 0x1000;
  if (!UsableScale(trackScale) || (screenSpace && !UsableScale(baseScale))) return 0;

  const Mat4d toScreen = m_screenFrame.Inverse();
  Vec3d p = toScreen.TransformPoint(WindowToTrackSpace(x, y, 0.0)) * (1.0 / trackScale);
  Vec3d p0 =
      toScreen.TransformPoint(WindowToTrackSpace(m_pressX, m_pressY, 0.0)) * (1.0 / trackScale);

  Mat4d frame = Mat4d::Identity();
  switch (space) {
    case 0x1000:
      p = Vec3d(x, y, 0.0);
      p0 = Vec3d(m_pressX, m_pressY, 0.0);
      break;
    case 0:
      p = p * (1.0 / baseScale);
      p0 = p0 * (1.0 / baseScale);
      break;
    case 0x400:
      frame = m_screenFrameInTrack.Inverse();
      break;
    case 0x800:
      frame = Linear3(m_base) * m_screenFrameInTrack.Inverse();
      break;
    default:
      break;
  }

  const Mat4d a = m_mode->Transform(p, frame);
  const Mat4d b = m_mode->Transform(p0, frame);
  Mat4d d = b.Inverse() * a;

  switch (space) {
    case 0:
    case 0x1000: {
      const double k = baseScale * trackScale;
      d.m[12] *= k;
      d.m[13] *= k;
      d.m[14] *= k;
      const Mat4d e = Linear3(m_trackAtPress);
      d = e * toScreen * d * m_screenFrame * e.Inverse();
      break;
    }
    case 0x800: {
      const Mat4d s = Linear3(m_base);
      d = s.Inverse() * d * s;
      break;
    }
    default:
      break;
  }

  const Mat4d tc = Translation(OriginThrough(m_base));
  d = tc.Inverse() * d * tc;

  switch (m_mode->m_p2) {
    case 1:
      m_base = m_baseAtPress * d;
      break;
    case 2:
      m_track = d * m_trackAtPress;
      m_base = m_baseAtPress * d.Inverse();
      break;
    case 3:
      m_track = d * m_trackAtPress;
      break;
    default:
      break;
  }

  // The rotation of the latest movement, the spin's candidate. A scale
  // is divided out; a collapsed matrix leaves the last good candidate.
  const Mat4d r = m_spinBase * m_track.Inverse();
  Mat3d m;
  r.GetMat3d(m);
  const double det = m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) -
                     m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
                     m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
  if (std::isfinite(det) && det > 0.0) {
    const double k = 1.0 / std::pow(det, 0.3333333333333333);
    for (double& e : m.m) e *= k;
    m_spin = Quatd::FromMat3d(m);
  }
  return 0;
}

int TrackBall::EndDrag(int, int) {
  m_dragging = false;
  const int now = Ticks();
  if (now - m_lastMoveTime < kSpinReleaseTicks && m_lastMoveTime != m_prevMoveTime) {
    m_lastMoveTime = Ticks();
    double angle = 0.0;
    Vec3d axis;
    Quatd::ToAxisAngle(m_spin, angle, axis);
    const int dt = m_lastMoveTime - m_prevMoveTime;
    if (dt > 0) {
      const double speed = std::fabs(angle / dt * 100.0);
      // A fast flick spins at the top speed of 0.4 radian per 100 ticks.
      if (speed > 0.4) {
        angle = angle / (2.5 * speed);
        const double s = std::sin(angle * 0.5);
        m_spin = Quatd(std::cos(angle * 0.5), axis.x * s, axis.y * s, axis.z * s);
      }
      if (speed > 0.01) m_spinning = true;
    }
    m_spinBase = m_track;
  }
  UpdateScreenFrame();
  return 0;
}

// ---------------------------------------------------------------------------
// Actions

TrackMode* TrackBall::ModeForAction(int action, int space) {
  TrackMode* mode;
  switch (action) {
    case 0:
      mode = &m_sphereMode;
      break;
    case 1:
    case 2:
    case 3:
      m_axisRotateMode.m_axis = Vec3d(action == 1, action == 2, action == 3);
      mode = &m_axisRotateMode;
      break;
    case 4:
    case 5:
    case 6:
      m_axisMoveMode.m_axis = Vec3d(action == 4, action == 5, action == 6);
      mode = &m_axisMoveMode;
      break;
    case 7:
      m_planeMoveMode.m_planeU = Vec3d(1.0, 0.0, 0.0);
      m_planeMoveMode.m_planeV = Vec3d(0.0, 1.0, 0.0);
      mode = &m_planeMoveMode;
      break;
    case 8:
      m_planeMoveMode.m_planeU = Vec3d(0.0, 0.0, 1.0);
      m_planeMoveMode.m_planeV = Vec3d(0.0, 1.0, 0.0);
      mode = &m_planeMoveMode;
      break;
    case 9:
      m_planeMoveMode.m_planeU = Vec3d(1.0, 0.0, 0.0);
      m_planeMoveMode.m_planeV = Vec3d(0.0, 0.0, 1.0);
      mode = &m_planeMoveMode;
      break;
    case 10:
      mode = &m_scaleMode;
      break;
    default:
      mode = &m_idleMode;
      break;
  }
  mode->m_space = space;
  return mode;
}

void TrackBall::SetAction(int action, int space, int p2) {
  TrackMode* mode = ModeForAction(action, space);
  mode->m_p2 = p2;
  m_mode = mode;
  m_modeChanged = 1;
}

void TrackBall::SelectActionByButton(int code) {
  if (code == m_buttonState) return;
  m_buttonState = code;
  for (const TrackAction& e : m_actions)
    if (e.key == code) {
      SetAction(e.action, e.space, e.p2);
      return;
    }
}

// ---------------------------------------------------------------------------
// Mouse input

void TrackBall::MouseDown(int x, int y, int code) {
  m_buttonState = code;
  StartDrag(x, y);
  const int c = code & ~TrackButton::Handle;
  const Vec3d q(x, m_camera.m_viewport[3] - y, 0.0);

  double best = -1.0;
  const TrackAction* chosen = nullptr;
  if (m_handlePicking) {
    for (const TrackAction& e : m_actions) {
      if (!(e.key & TrackButton::Handle)) continue;
      TrackMode* mode = ModeForAction(e.action, e.space);
      // Handles that turn with the model are tested where the track and
      // base matrices put them.
      TrackCamera camera = m_camera;
      if (mode->m_space == 0x400) {
        camera.m_viewProj = m_camera.m_viewProj * m_track.Transposed() * m_base.Transposed();
        camera.m_viewProjInverse = camera.m_viewProj.Inverse();
      }
      const double v = mode->HitValue(q, camera);
      if (v >= 0.0 && e.key == (c | TrackButton::Handle) && (best < 0.0 || v < best)) {
        best = v;
        chosen = &e;
      }
    }
  }
  if (chosen) {
    SetAction(chosen->action, chosen->space, chosen->p2);
    StartDrag(x, y);
    return;
  }
  for (const TrackAction& e : m_actions)
    if (e.key == c) {
      SetAction(e.action, e.space, e.p2);
      StartDrag(x, y);
      return;
    }
  // No entry has the code: the fallback rotation, re-based on the first move.
  SetAction(m_action.action, m_action.space, m_action.p2);
}

void TrackBall::MouseMove(int x, int y, int code) {
  if (code != 0 && code != m_buttonState) SelectActionByButton(code);
  Drag(x, y);
}

void TrackBall::MouseUp(int x, int y, int code) {
  if (code != 0 && code != m_buttonState) SelectActionByButton(code);
  EndDrag(x, y);
}

void TrackBall::MouseWheel(int notches, int code) {
  const int step = m_camera.m_viewport[3] / 8;
  SelectActionByButton(code | TrackButton::Wheel);
  StartDrag(0, 0);
  Drag(0, notches * step);
  m_buttonState = 0;
  EndDrag(0, notches * step);
}

void TrackBall::SetSpinEnabled(bool enabled) {
  if (enabled != m_spinEnabled) m_spinning = false;
  m_spinEnabled = enabled;
}

}  // namespace quarnel
