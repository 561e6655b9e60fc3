#include "app/quarnel_view.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>

#include <QOpenGLContext>
#include <QResizeEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/extensions.h"
#include "app/gl_error.h"
#include "app/gl_text.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "platform/bitmap_font.h"
#include "platform/clock.h"
#include "platform/gl_context.h"
#include "platform/messages.h"

namespace quarnel {

namespace {

const char kDebug[] = "DEBUG";

// The frame's projection must stay finite whatever the clip factor and the
// field of view were driven to.
constexpr float kMinClipFactor = 1e-6f;
constexpr float kMaxClipFactor = 1e6f;

// The environment box: corners, and the six quads by corner number.
constexpr float kEnvCorners[8][3] = {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1},
                                     {-1, 1, 1},  {-1, -1, 1},  {1, -1, 1},  {1, 1, 1}};
constexpr int kEnvQuads[6][4] = {{3, 2, 6, 7}, {4, 5, 1, 0}, {4, 0, 3, 7},
                                 {1, 5, 6, 2}, {7, 6, 5, 4}, {0, 1, 2, 3}};

void* ResolveGlProc(const char* name) { return reinterpret_cast<void*>(GetGlProcAddress(name)); }

}  // namespace

const char* FormatVec3f(const Vec3f& p, int decimals) {
  static char buffer[128];
  const char* format;
  switch (decimals) {
    case 0: format = "%6.0lf %6.0lf %6.0lf"; break;
    case 1: format = "%6.1lf %6.1lf %6.1lf"; break;
    case 2: format = "%6.2lf %6.2lf %6.2lf"; break;
    case 3: format = "%6.3lf %6.3lf %6.3lf"; break;
    default: format = "%6.4lf %6.4lf %6.4lf"; break;
  }
  const int shown = decimals >= 0 && decimals <= 3 ? decimals : 4;
  std::snprintf(buffer, sizeof buffer, format, NoNegativeZero(p.x, shown),
                NoNegativeZero(p.y, shown), NoNegativeZero(p.z, shown));
  return buffer;
}

CQuarnelView::CQuarnelView(CQuarnelApp& app, CQuarnelDoc& doc, QWidget* parent)
    : QOpenGLWidget(parent), app_(app), doc_(doc) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  BuildCommandMap();
}

CQuarnelView::~CQuarnelView() {
  // The fonts and the cube map live in the shared lists and textures: the
  // last view to go takes them along, and the next view makes them again.
  if (context() && !app_.FindSharedGLContext(context())) {
    makeCurrent();
    if (app_.m_smallFontLists) glDeleteLists(app_.m_smallFontLists, 255);
    if (app_.m_largeFontLists) glDeleteLists(app_.m_largeFontLists, 255);
    if (app_.m_cubeMapTexture) glDeleteTextures(1, &app_.m_cubeMapTexture);
    doneCurrent();
    app_.m_smallFontLists = 0;
    app_.m_largeFontLists = 0;
    app_.m_cubeMapTexture = 0;
  }
}

bool CQuarnelView::MakeCurrent() {
  if (!context()) return false;
  makeCurrent();
  return QOpenGLContext::currentContext() == context();
}

void CQuarnelView::ReadMatrices() {
  glGetDoublev(GL_MODELVIEW_MATRIX, m_modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, m_projection);
}

Vec3d CQuarnelView::UnProject(double x, double y, double depth) const {
  Vec3d r(0.0, 0.0, 0.0);
  gluUnProject(x, double(m_viewport[3]) - y, depth, m_modelview, m_projection, m_viewport, &r.x,
               &r.y, &r.z);
  return r;
}

// ---------------------------------------------------------------------------
// Context and fonts

void CQuarnelView::initializeGL() {
  // The widget makes the framebuffer at the view's size right after this.
  NoteFramebufferSize();
  InitGL();
  contextReady_ = true;
  // The initial update may ask the user (a texture that cannot be read, one
  // too large), and a box runs an event loop of its own. Here the widget is
  // inside its first show or resize, whose caller goes on with the windows
  // as they were: the box's loop deletes what was deleted later meanwhile, a
  // layout animation of the main window's first show among them, and the
  // show then read it. So the update waits for the event loop, unless
  // whoever opened the document runs it first (RunPendingInitialUpdate).
  QMetaObject::invokeMethod(
      this, [this] { RunPendingInitialUpdate(); }, Qt::QueuedConnection);
}

void CQuarnelView::RunPendingInitialUpdate() {
  if (!contextReady_ || initialUpdateStarted_) return;
  OnInitialUpdate();
  update();
}

void CQuarnelView::InitGL() {
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_NORMALIZE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_LIGHTING);
  // Every view's context shares lists and textures with the others (the
  // application asks for it before any context exists), so the fonts made
  // by the first view serve all of them.
  CreateFontLists();
  ilInit();
  iluInit();
  ilutRenderer(ILUT_OPENGL);
}

void CQuarnelView::CreateFontLists() {
  if (app_.m_smallFontLists != 0 && app_.m_largeFontLists != 0) return;
  auto build = [](unsigned int& base, int height) {
    if (base == 0) base = glGenLists(255);
    if (base != 0 && !BuildBitmapFontLists(BitmapTextFont(height), base, 0, 255)) {
      glDeleteLists(base, 255);
      base = 0;
    }
  };
  app_.m_smallFontPixels = DevicePixels(app_.m_smallFontHeight);
  build(app_.m_smallFontLists, app_.m_smallFontPixels);
  build(app_.m_largeFontLists, DevicePixels(app_.m_largeFontHeight));
}

int CQuarnelView::SmallFontPixels() const {
  return app_.m_smallFontPixels > 0 ? app_.m_smallFontPixels
                                    : DevicePixels(app_.m_smallFontHeight);
}

int CQuarnelView::DevicePixels(double units) const {
  return int(std::lround(units * devicePixelRatioF()));
}

void CQuarnelView::resizeGL(int w, int h) {
  NoteFramebufferSize();
  const double ratio = devicePixelRatioF();
  const int cx = int(std::lround(w * ratio));
  const int cy = int(std::lround(h * ratio));
  if (cy <= 0) return;
  m_viewport[0] = 0;
  m_viewport[1] = 0;
  m_viewport[2] = cx;
  m_viewport[3] = cy;
  glViewport(0, 0, cx, cy);
  SetProjection();
}

// ---------------------------------------------------------------------------
// Initial update

void CQuarnelView::OnInitialUpdate() {
  initialUpdateStarted_ = true;
  FitTrackBalls();
  MakeCurrent();
  // A quick release of a drag may leave the main camera spinning.
  m_trackBall.m_spinEnabled = true;
  SetExtensionProcResolver(&ResolveGlProc);
  InitGLExtensions();

  MeshHolder& holder = doc_.Holder();
  // Each initial update loads the textures again into the drawer's slots.
  if (!holder.TextureNames()->empty() || !holder.NormalMapNames()->empty()) {
    m_texturing = true;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (app_.m_halveTextureSize) maxSize /= 2;
    holder.LoadTextures(doc_.Folder().c_str(), app_.m_flipTextures, maxSize);
  }
  const IoMask mask = holder.LoadMask();
  if (mask & io_mask::VertexColor) {
    m_colorMode = 3;
  } else if (mask & (io_mask::FaceColor | io_mask::FaceColorList)) {
    m_colorMode = 2;
  } else if (mask & io_mask::FaceQuality) {
    holder.ColorByFaceQuality();
    m_colorMode = 2;
  } else if (mask & io_mask::VertexQuality) {
    holder.ColorByVertexQuality();
    m_colorMode = 3;
  }
  m_showTrackBall = app_.m_showTrackBallAtStart;
  CheckGLError(kDebug);
  initialUpdateDone_ = true;
}

// ---------------------------------------------------------------------------
// The frame

void CQuarnelView::paintGL() {
  // The frame that the widget draws at a resize of a window that is not on
  // the screen yet is never seen: the paint of the window's first showing
  // draws it again. On a large mesh it would double the wait for the first
  // frame.
  const QWindow* shown = window()->windowHandle();
  if (resizing_ && (shown == nullptr || !shown->isExposed())) return;
  // A message box must not open inside a paint: errors found now are shown
  // after it.
  MessageSink::PaintingScope painting(app_.Messages());
  // A move to a screen of another pixel ratio makes a new framebuffer
  // without a resize.
  NoteFramebufferSize();
  OnDraw();
}

void CQuarnelView::resizeEvent(QResizeEvent* event) {
  // The widget makes a new framebuffer at every resize, but the window that
  // composes it takes the new texture only when the size differs from the
  // one it took last. A view that shrinks to nothing (the document window
  // that goes behind another is restored to a bare title bar) and comes back
  // at its old size would be composed from the texture that went with the
  // old framebuffer: black until the main window is resized. So the view
  // keeps its framebuffer while it has no pixels and when it comes back to
  // the framebuffer's size, and only draws again.
  const QSize pixels = event->size() * devicePixelRatio();
  if (pixels.isEmpty() || (context() != nullptr && pixels == framebufferPixels_)) {
    update();
    return;
  }
  resizing_ = true;
  QOpenGLWidget::resizeEvent(event);
  resizing_ = false;
}

void CQuarnelView::NoteFramebufferSize() { framebufferPixels_ = size() * devicePixelRatio(); }

void CQuarnelView::SetProjection() {
  const int vw = m_viewport[2], vh = m_viewport[3];
  const float aspect = vh > 0 ? float(vw) * (1.0f / float(vh)) : 1.0f;
  const double c = std::clamp(std::isfinite(m_clipFactor) ? m_clipFactor : 1.0f, kMinClipFactor,
                              kMaxClipFactor);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (m_fov == 5.0f) {
    m_cameraDistance = float(1.5 * std::cos(2.5 * M_PI / 180.0) / std::sin(2.5 * M_PI / 180.0));
    glOrtho(-1.5 * aspect, 1.5 * aspect, -1.5, 1.5, -2.0 * c, 2.0 * c);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return;
  }
  // A field of view outside (0, 180) degrees has no perspective.
  const double fov = std::isfinite(m_fov) ? std::clamp(double(m_fov), 1e-3, 179.0) : 45.0;
  const double a = fov / 2.0 * M_PI / 180.0;
  const double d = 1.5 * std::cos(a) / std::sin(a);
  m_cameraDistance = float(d);
  const double nearPlane = d - 2.0 * c > 0.1 * d ? d - 2.0 * c : 0.1 * d;
  const double farPlane = d + 2.0 * c;
  gluPerspective(fov, aspect, nearPlane, farPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, d, 0, 0, 0, 0, 1, 0);
}

void CQuarnelView::SetupLights() {
  glPushMatrix();
  m_lightTrackBall.Apply();
  m_lightPosition[0] = 0.0f;
  m_lightPosition[1] = 0.0f;
  m_lightPosition[2] = 1.0f;
  m_lightPosition[3] = 0.0f;
  const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
  if (PublicExtensionFlags().gl[GlExt::EXT_separate_specular_color])
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  const float back[4] = {-m_lightPosition[0], -m_lightPosition[1], -m_lightPosition[2],
                         m_lightPosition[3]};
  glLightfv(GL_LIGHT0, GL_POSITION, m_lightPosition);
  glLightfv(GL_LIGHT1, GL_POSITION, back);
  const float ambient[4] = {0.1f, 0.1f, 0.1f, 1.0f};
  const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  const float blueish[4] = {0.7f, 0.7f, 1.0f, 1.0f};
  const float reddish[4] = {1.0f, 0.7f, 0.7f, 1.0f};
  const float* light0 = m_fancyLighting ? blueish : white;
  const float* light1 = m_fancyLighting ? reddish : white;
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, light0);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, light1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, light1);
  if (m_lighting) {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    if (m_doubleSideLighting)
      glEnable(GL_LIGHT1);
    else
      glDisable(GL_LIGHT1);
  } else {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHT1);
    glDisable(GL_LIGHTING);
  }
  glPopMatrix();
}

void CQuarnelView::OnDraw() {
  const double t0 = app_.GetClock().ElapsedMs();
  if (doc_.Loading() || !initialUpdateDone_) {
    // Nothing of the document is drawn, also not before the initial update
    // has set up its textures and colours, nor while it asks about them;
    // the window is not left with whatever its buffer held.
    glClearColor(m_backgroundColor.r / 255.0f, m_backgroundColor.g / 255.0f,
                 m_backgroundColor.b / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return;
  }
  CheckGLError(kDebug);
  if (m_interactionMode == 7) {
    DrawRubberBand();
    return;
  }
  // The band's copy of the scene is stale once the scene is drawn anew.
  if (!bandFrame_.empty()) bandFrame_ = {};
  DrawScene();
  RecordFrameTime(t0);
}

void CQuarnelView::DrawScene() {
  MeshHolder& holder = doc_.Holder();
  glClearColor(m_backgroundColor.r / 255.0f, m_backgroundColor.g / 255.0f,
               m_backgroundColor.b / 255.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  SetProjection();
  CheckGLError(kDebug);
  glPushMatrix();
  if (m_environment) DrawEnvironmentBackground();
  CheckGLError(kDebug);

  if (m_textureImageView == 1) {
    DrawTextureImage();
  } else {
    CheckGLError(kDebug);
    SetupLights();
    CheckGLError(kDebug);
    StepTransition();
    m_trackBall.Apply();
    ReadMatrices();
    // The alpha is set before the material goes to OpenGL, so the first
    // frame of a mesh (and of X-ray) already has it.
    holder.m_material.SetAlpha(m_xRay ? 0.5f : 1.0f);
    holder.m_material.Apply();
    CheckGLError(kDebug);

    Mat4d t = m_lightTrackBall.m_track * m_trackBall.m_track.Inverse();
    Vec3d q0 = t.TransformPoint(Vec3d(0, 0, 0));
    Vec3d q1 = t.TransformPoint(Vec3d(m_lightPosition[0], m_lightPosition[1], m_lightPosition[2]));
    Vec3d v = q1 - q0;
    v.Normalize();
    holder.m_lightDirection[0] = float(v.x);
    holder.m_lightDirection[1] = float(v.y);
    holder.m_lightDirection[2] = float(v.z);
    CheckGLError(kDebug);

    if (m_backFaceCulling)
      glEnable(GL_CULL_FACE);
    else
      glDisable(GL_CULL_FACE);
    if (m_xRay) {
      glEnable(GL_BLEND);
      glDisable(GL_DEPTH_TEST);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else {
      glDisable(GL_BLEND);
      glEnable(GL_DEPTH_TEST);
    }
    CheckGLError(kDebug);

    holder.m_textureFilter = m_textureFilter;
    // Without a cube map (not loaded, or no cube-map support) Mirror shows
    // the mesh as it is (MeshHolder::Mirrored).
    holder.m_mirror = m_mirror;
    holder.m_cubeMapTexture = app_.m_cubeMapTexture;
    holder.Draw(m_drawMode, m_colorMode, m_texturing, m_normalMap);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &holder.m_textureWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &holder.m_textureHeight);
    DrawSceneDecorations(float(holder.BBox()->Diag()));

    if (m_showTrackBall) {
      glDepthMask(GL_FALSE);
      m_trackBall.Draw(Color4b{128, 255, 128, 255}, 2.0f);
      glDepthMask(GL_TRUE);
    }
    if (m_showBoxCorner) DrawBoxCorners();
  }
  glPopMatrix();
  if (m_showInfoPane) DrawInfoPane();
  if (m_lightDragging) DrawLightDirection();
}

void CQuarnelView::RecordFrameTime(double startMs) {
  const double now = app_.GetClock().ElapsedMs();
  m_frameTimes[m_frameCount % 10] = now - startMs;
  ++m_frameCount;
  if (now - 500.0 > m_lastMeanTick) {
    m_lastMeanTick = now;
    double sum = 0.0;
    for (double t : m_frameTimes) sum += t;
    m_meanFrameTime = float(sum * (1.0 / std::min(m_frameCount, 10)));
  }
}

void CQuarnelView::DrawRubberBand() {
  // The band is drawn over the last frame. The widget's buffer does not keep
  // that frame from one paint to the next, so the band's first paint draws
  // the scene once and keeps a copy of it, and every later paint puts the
  // copy back before it draws the band: the picture is right at each step,
  // also after the window was resized or uncovered mid-drag.
  const int w = m_viewport[2], h = m_viewport[3];
  if (w <= 0 || h <= 0) return;
  const size_t bytes = size_t(w) * size_t(h) * 4;
  const bool fresh = m_bandPrevious.x == -1 || bandFrame_.size() != bytes;
  if (fresh) DrawScene();
  // Rows of four-byte pixels, tightly packed, both ways.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (fresh) {
    bandFrame_.resize(bytes);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bandFrame_.data());
  }
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_CUBE_MAP);
  glDisable(GL_FOG);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(m_viewport[0], m_viewport[2], m_viewport[1], m_viewport[3], -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (!fresh) {
    glRasterPos2i(0, 0);
    glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, bandFrame_.data());
  }
  glLogicOp(GL_XOR);
  glEnable(GL_COLOR_LOGIC_OP);
  CheckGLError("glEnable(GL_LOGIC_OP);");
  glColor3f(1, 1, 1);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  // The copy holds no earlier band: only the band as it now stands is drawn,
  // once the mouse has given it a corner.
  const float fh = float(h);
  if (m_bandCorner.x != -1)
    glRectf(float(m_bandOrigin.x), fh - m_bandOrigin.y, float(m_bandCorner.x),
            fh - m_bandCorner.y);
  m_bandPrevious = m_bandCorner;
  glPopAttrib();
  glPopClientAttrib();
}

void CQuarnelView::DrawEnvironmentBackground() {
  if (app_.m_cubeMapTexture == 0) return;
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_TEXTURE_CUBE_MAP);
  glBindTexture(GL_TEXTURE_CUBE_MAP, app_.m_cubeMapTexture);
  glDepthMask(GL_FALSE);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
  glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_NORMAL_MAP);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glEnable(GL_TEXTURE_GEN_R);
  glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  CheckGLError("glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER)");
  glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  CheckGLError("glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER)");
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  const float d = m_cameraDistance;
  glScalef(d, d, d);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glMultMatrixd(m_lightTrackBall.m_track.Inverse().m);
  glBegin(GL_QUADS);
  for (const auto& quad : kEnvQuads)
    for (int corner : quad) {
      glNormal3fv(kEnvCorners[corner]);
      glVertex3fv(kEnvCorners[corner]);
    }
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_CUBE_MAP);
  glDepthMask(GL_TRUE);
  glPopMatrix();
  glPopAttrib();
}

void CQuarnelView::DrawLightDirection() {
  glPushMatrix();
  m_lightTrackBall.Apply();
  if (m_lightDragging) {
    glPushAttrib(GL_LIST_BIT | GL_ENABLE_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    const Color4b yellow{255, 255, 0, 255};
    m_lightTrackBall.Draw(yellow, 3.0f);
    glColor4ubv(yellow.data());
    glBegin(GL_LINES);
    glVertex4fv(m_lightPosition);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glEnd();
    glPopAttrib();
  }
  glPopMatrix();
}

void CQuarnelView::DrawTextureImage() {
  glPushAttrib(GL_LIST_BIT | GL_ENABLE_BIT | GL_CURRENT_BIT);
  const double a = m_viewport[3] > 0 ? double(m_viewport[2]) / m_viewport[3] : 1.0;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-a, a, -1, 1, -20, 20);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  gluLookAt(0, 0, 10, 0, 0, 0, 0, 1, 0);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDisable(GL_LIGHTING);
  StepTransition();
  m_textureTrackBall.Apply();
  m_textureTrackBall.Draw(Color4b{255, 255, 255, 255}, 1.0f);
  ReadMatrices();
  // The board modulates its textures with the current colour, which the
  // glyph and the overlays of earlier frames leave as they please: white
  // shows each texture in its own colours.
  glColor4ub(255, 255, 255, 255);
  MeshHolder& holder = doc_.Holder();
  const Vec3f c = holder.TextureBoardBBox()->Center();
  glTranslatef(-c.x, -c.y, -c.z);
  holder.DrawTextureBoard();
  glPopMatrix();
  glPopAttrib();
}

}  // namespace quarnel
