#include "app/trackball.h"

#include <GL/gl.h>

#include <chrono>
#include <cmath>

namespace quarnel {

Mat4d TrackMode::Transform(Vec3d, const Mat4d&) { return Mat4d::Identity(); }

void TrackMode::DrawHandle(int) {}

double TrackMode::HitValue(Vec3d, const TrackCamera&) { return 0.0; }

namespace {

// Rescales the upper 3x3 block of m so that its uniform scale becomes s. A
// block whose scale is no usable number (collapsed, or grown past what a
// double holds after hundreds of wheel notches) has nothing left worth
// keeping: it becomes s times the identity, so a fit always recovers. A
// target scale that is itself no usable number (a box beyond what a float
// holds) changes nothing.
void Rescale(Mat4d& m, double s) {
  if (!UsableScale(s)) return;
  const double cur = m.UniformScale();
  const double k = UsableScale(cur) ? s / cur : 0.0;
  double block[9];
  bool usable = UsableScale(k);
  for (int i = 0; i < 9; ++i) {
    block[i] = m.m[4 * (i / 3) + i % 3] * k;
    usable = usable && std::isfinite(block[i]);
  }
  for (int i = 0; i < 9; ++i)
    m.m[4 * (i / 3) + i % 3] = usable ? block[i] : (i % 4 == 0 ? s : 0.0);
}

std::chrono::steady_clock::time_point ProcessStart() {
  static const auto start = std::chrono::steady_clock::now();
  return start;
}

int SteadyTicks() {
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now() - ProcessStart())
                 .count());
}

TrackBall::TickSource g_tickSource = &SteadyTicks;

}  // namespace

Mat4d Linear3(const Mat4d& m) {
  Mat4d r = Mat4d::Identity();
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 3; ++c) r.m[4 * row + c] = m.m[4 * row + c];
  return r;
}

Mat4d Translation(const Vec3d& v) {
  Mat4d r = Mat4d::Identity();
  r.m[12] = v.x;
  r.m[13] = v.y;
  r.m[14] = v.z;
  return r;
}

Vec3d OriginThrough(const Mat4d& m) { return m.TransformPoint(Vec3d(0.0, 0.0, 0.0)); }

// ---------------------------------------------------------------------------
// TrackCamera

void TrackCamera::Snapshot() {
  Mat4d p, mv;
  int vp[4] = {0, 0, 0, 0};
  glGetDoublev(GL_PROJECTION_MATRIX, p.m);
  glGetDoublev(GL_MODELVIEW_MATRIX, mv.m);
  glGetIntegerv(GL_VIEWPORT, vp);
  Set(p, mv, vp);
}

void TrackCamera::Set(const Mat4d& projection, const Mat4d& modelview, const int viewport[4]) {
  for (int i = 0; i < 4; ++i) m_viewport[i] = viewport[i];
  // In row order the array product is the mathematical P x M.
  Mat4d::Mul(projection.Transposed(), m_viewProj, modelview.Transposed());
  m_viewProjInverse = m_viewProj.Inverse();
}

Vec3d TrackCamera::WindowToWorld(const Vec3d& p) const {
  double vx = m_viewport[0], vy = m_viewport[1];
  double vw = m_viewport[2], vh = m_viewport[3];
  // An empty viewport has no window points; its centre stands for all of them.
  double nx = vw != 0.0 ? (p.x - vx) / (vw * 0.5) - 1.0 : 0.0;
  double ny = vh != 0.0 ? -((p.y - vy) / (0.5 * vh) - 1.0) : 0.0;
  Vec3d out;
  Mat4d::TransformPointRowMajor(m_viewProjInverse, out, Vec3d(nx, ny, p.z));
  return out;
}

// ---------------------------------------------------------------------------
// TrackBall

void TrackBall::SetTickSource(TickSource source) { g_tickSource = source ? source : &SteadyTicks; }

int TrackBall::Ticks() { return g_tickSource(); }

TrackBall::TrackBall() {
  InitMatrices();
  m_actions.clear();
  m_action = {0, 0, 3, 1};
  using namespace TrackButton;
  const TrackAction defaults[] = {
      {0, 0, 3, Left},
      {7, 0, 3, Ctrl | Left},
      {7, 0, 3, Middle},
      {10, 0x1000, 2, Left | Middle},
      {10, 0x1000, 2, Shift | Left},
      {10, 0x1000, 2, Wheel},
      {4, 0x400, 3, Handle | Left},
      {5, 0x400, 3, Handle | Left},
      {6, 0x400, 3, Handle | Left},
      {1, 0x400, 3, Handle | Left},
      {2, 0x400, 3, Handle | Left},
      {3, 0x400, 3, Handle | Left},
      {7, 0x400, 3, Handle | Left},
      {8, 0x400, 3, Handle | Left},
      {9, 0x400, 3, Handle | Left},
  };
  for (const TrackAction& a : defaults) m_actions.push_back(a);
  m_handlePicking = 0;
  m_buttonState = 0;
}

void TrackBall::InitMatrices() {
  m_mode = nullptr;
  m_track = Mat4d::Identity();
  m_base = Mat4d::Identity();
  m_screenFrame = Mat4d::Identity();
  m_screenFrameInTrack = Mat4d::Identity();
  m_trackAtPress = Mat4d::Identity();
  m_baseAtPress = Mat4d::Identity();
  m_spinBase = Mat4d::Identity();
  m_lastTrack = Mat4d::Identity();
  m_pressX = m_pressY = -1;
  m_spinEnabled = false;
  m_spinning = false;
}

TrackBall::TrackBall(const TrackBall& o) { CopyFrom(o); }

TrackBall& TrackBall::operator=(const TrackBall& o) {
  if (this != &o) CopyFrom(o);
  return *this;
}

TrackMode* TrackBall::ModeObject(int index) {
  switch (index) {
    case 0: return &m_sphereMode;
    case 1: return &m_axisRotateMode;
    case 2: return &m_planeMoveMode;
    case 3: return &m_axisMoveMode;
    case 4: return &m_scaleMode;
    case 5: return &m_idleMode;
    default: return nullptr;
  }
}

int TrackBall::ModeIndex(const TrackMode* mode) const {
  const TrackMode* modes[] = {&m_sphereMode, &m_axisRotateMode, &m_planeMoveMode,
                              &m_axisMoveMode, &m_scaleMode,    &m_idleMode};
  for (int i = 0; i < 6; ++i)
    if (modes[i] == mode) return i;
  return -1;
}

void TrackBall::CopyFrom(const TrackBall& o) {
  m_track = o.m_track;
  m_base = o.m_base;
  m_pressX = o.m_pressX;
  m_pressY = o.m_pressY;
  m_screenFrame = o.m_screenFrame;
  m_screenFrameInTrack = o.m_screenFrameInTrack;
  m_trackAtPress = o.m_trackAtPress;
  m_baseAtPress = o.m_baseAtPress;
  m_spinBase = o.m_spinBase;
  m_lastTrack = o.m_lastTrack;
  m_camera = o.m_camera;
  m_modeChanged = o.m_modeChanged;
  m_dragging = o.m_dragging;
  m_spinEnabled = o.m_spinEnabled;
  m_spinning = o.m_spinning;
  m_prevMoveTime = o.m_prevMoveTime;
  m_lastMoveTime = o.m_lastMoveTime;
  m_spin = o.m_spin;
  m_buttonState = o.m_buttonState;
  m_action = o.m_action;
  m_actions = o.m_actions;
  m_handlePicking = o.m_handlePicking;
  m_sphereMode = o.m_sphereMode;
  m_axisRotateMode = o.m_axisRotateMode;
  m_planeMoveMode = o.m_planeMoveMode;
  m_axisMoveMode = o.m_axisMoveMode;
  m_scaleMode = o.m_scaleMode;
  m_idleMode = o.m_idleMode;
  // The copy designates its own mode object, never the source's.
  m_mode = ModeObject(o.ModeIndex(o.m_mode));
}

void TrackBall::Apply() {
  m_camera.Snapshot();
  if (m_spinEnabled && m_spinning) AdvanceSpin();
  glMultMatrixd(m_track.m);
}

void TrackBall::AdvanceSpin() {
  int now = Ticks();
  double angle = 0.0;
  Vec3d axis;
  Quatd::ToAxisAngle(m_spin, angle, axis);
  int period = m_lastMoveTime - m_prevMoveTime;
  // A spin needs two distinct samples; without them it stands still
  // rather than turning by an infinite angle.
  angle = period != 0 ? angle * double(now - m_lastMoveTime) * (1.0 / double(period)) : 0.0;
  Mat4d r;
  r.SetRotate(angle * 180.0 * 0.3183098861837907, axis.x, axis.y, axis.z);
  Mat4d tc = Translation(OriginThrough(m_base));
  m_track = tc.Inverse() * r * tc * m_spinBase;
}

void TrackBall::Draw(Color4b color, float width) {
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_LINE_BIT |
               GL_CURRENT_BIT);
  glLineWidth(width);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_1D);
  glEnable(GL_LIGHTING);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_COLOR_MATERIAL);
  glColor4ubv(color.data());
  const float r = color.r, g = color.g, b = color.b, a = color.a;
  const float emission[4] = {0.3f * r / 256.0f, 0.3f * g / 256.0f, 0.3f * b / 256.0f,
                             a / 256.0f};
  const float diffuse[4] = {0.5f * r / 256.0f, 0.5f * g / 256.0f, 0.8f * b / 256.0f,
                            a / 256.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);

  if (m_mode) {
    glPushMatrix();
    Mat4d b = Translation(Vec3d(m_base.m[12], m_base.m[13], m_base.m[14]));
    double s = m_base.UniformScale();
    switch (m_mode->m_space) {
      case 0:
      case 0x1000: {
        glMultMatrixd(b.m);
        glScaled(s, s, s);
        // The handle faces the screen however the model is turned; a track
        // without a usable scale keeps its rotation as it is.
        Mat4d q = Linear3(m_track);
        double ts = m_track.UniformScale();
        if (UsableScale(ts))
          for (int row = 0; row < 3; ++row)
            for (int c = 0; c < 3; ++c) q.m[4 * row + c] /= ts;
        glMultMatrixd(q.Inverse().m);
        glMultMatrixd(m_screenFrame.m);
        break;
      }
      case 0x400:
        glMultMatrixd(b.m);
        glScaled(s, s, s);
        break;
      case 0x800:
        glMultMatrixd(m_base.m);
        break;
      default:
        break;
    }
    m_mode->DrawHandle(1);
    glPopMatrix();
  }

  glPushMatrix();
  glMultMatrixd(m_base.m);
  DrawCircle(1.0);
  DrawTrackBallSquares();
  DrawTrackBallTicks();
  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  DrawCircle(1.0);
  DrawTrackBallSquares();
  DrawTrackBallTicks();
  glRotatef(90.0f, 0.0f, 1.0f, 0.0f);
  DrawCircle(1.0);
  DrawTrackBallSquares();
  DrawTrackBallTicks();
  glPopMatrix();
  glPopAttrib();
}

void TrackBall::Reset() { m_track = Mat4d::Identity(); }

void TrackBall::SetTranslation(int space, double x, double y, double z) {
  switch (space) {
    case 1:
      m_base.m[12] = x;
      m_base.m[13] = y;
      m_base.m[14] = z;
      break;
    case 2: {
      Mat4d told = m_track;
      m_track.m[12] += x;
      m_track.m[13] += y;
      m_track.m[14] += z;
      if (m_spinning) {
        m_spinBase.m[12] += x;
        m_spinBase.m[13] += y;
        m_spinBase.m[14] += z;
      }
      m_base = m_base * told * m_track.Inverse();
      break;
    }
    case 3:
      m_track.m[12] = x;
      m_track.m[13] = y;
      m_track.m[14] = z;
      if (m_spinning) {
        m_spinBase.m[12] = x;
        m_spinBase.m[13] = y;
        m_spinBase.m[14] = z;
      }
      break;
    default:
      break;
  }
}

void TrackBall::SetScale(int space, double s) {
  switch (space) {
    case 1:
      Rescale(m_base, s);
      break;
    case 2: {
      Mat4d told = m_track;
      Rescale(m_track, s);
      if (m_spinning) Rescale(m_spinBase, s);
      m_base = m_base * told * m_track.Inverse();
      break;
    }
    case 3:
      Rescale(m_track, s);
      if (m_spinning) Rescale(m_spinBase, s);
      break;
    default:
      break;
  }
}

void TrackBall::ApplyTransform(Mat4d m, int space) {
  if (space == 0x400 || space == 0x800) m_track = m_track * m;
}

Vec3d TrackBall::WindowToTrackSpace(double x, double y, double depth) const {
  Vec3d c = OriginThrough(m_base * m_trackAtPress);
  Vec3d n;
  Mat4d::TransformPointRowMajor(m_camera.m_viewProj, n, c);
  Vec3d p = m_camera.WindowToWorld(Vec3d(x, y, n.z + depth));
  return p - c;
}

void TrackBall::UpdateScreenFrame() {
  Vec3d c = OriginThrough(m_base * m_trackAtPress);
  Vec3d n;
  Mat4d::TransformPointRowMajor(m_camera.m_viewProj, n, c);
  const int* vp = m_camera.m_viewport;
  double sx = (n.x + 1.0) * 0.5 * vp[2] + vp[0];
  double sy = (n.y + 1.0) * 0.5 * vp[3] + vp[1];
  double my = vp[3] - sy;
  Vec3d a = m_camera.WindowToWorld(Vec3d(sx + 100.0, my, n.z));
  Vec3d b = m_camera.WindowToWorld(Vec3d(sx, my - 100.0, n.z));
  Vec3d o = m_camera.WindowToWorld(Vec3d(sx, my, n.z));
  Vec3d right = a - o, up = b - o;
  right.Normalize();
  up.Normalize();
  Vec3d view = right.Cross(up);
  m_screenFrame = Mat4d::Identity();
  m_screenFrame.m[0] = right.x;
  m_screenFrame.m[1] = right.y;
  m_screenFrame.m[2] = right.z;
  m_screenFrame.m[4] = up.x;
  m_screenFrame.m[5] = up.y;
  m_screenFrame.m[6] = up.z;
  m_screenFrame.m[8] = view.x;
  m_screenFrame.m[9] = view.y;
  m_screenFrame.m[10] = view.z;
  m_screenFrameInTrack = Linear3(m_trackAtPress).Inverse() * m_screenFrame;
}

// ---------------------------------------------------------------------------
// Glyph

void DrawCircle(double radius) {
  glBegin(GL_LINE_STRIP);
  for (double i = 0.0; i <= 36.0; i += 1.0) {
    double a = i * 3.14159265 * 2.0 * (1.0 / 36.0);
    glNormal3d(std::cos(a), std::sin(a), 0.0);
    glVertex3d(radius * std::cos(a), radius * std::sin(a), 0.0);
  }
  glEnd();
}

void DrawTrackBallSquares() {
  glBegin(GL_LINE_STRIP);
  glVertex3d(1.0, 1.0, 0.0);
  glVertex3d(1.0, 0.8, 0.0);
  glVertex3d(0.8, 0.8, 0.0);
  glVertex3d(0.8, 1.0, 0.0);
  glVertex3d(1.0, 1.0, 0.0);
  glEnd();
  glBegin(GL_LINE_STRIP);
  glVertex3d(-1.0, -1.0, 0.0);
  glVertex3d(-1.0, -0.8, 0.0);
  glVertex3d(-0.8, -0.8, 0.0);
  glVertex3d(-0.8, -1.0, 0.0);
  glVertex3d(-1.0, -1.0, 0.0);
  glEnd();
}

void DrawTrackBallTicks() {
  glBegin(GL_LINES);
  glVertex3d(0.0, 0.0, 1.05);
  glVertex3d(0.0, 0.0, 1.2);
  glVertex3d(0.0, 0.0, -1.05);
  glVertex3d(0.0, 0.0, -1.2);
  glEnd();
}

}  // namespace quarnel
