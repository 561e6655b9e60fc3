// The view of a document window: its own OpenGL context (sharing display
// lists and textures with every other view), the view's modes and switches,
// six trackballs, and the drawing of a frame.
#pragma once

#include <QOpenGLWidget>
#include <vector>

#include "app/trackball.h"
#include "core/math.h"
#include "core/mesh.h"

class QOpenGLContext;

namespace quarnel {

class CQuarnelApp;
class CQuarnelDoc;

// The record of the last punctual pick.
struct PickInfo {
  Vec3f point;
  float weights[3] = {0, 0, 0};
  Vec3f corners[3];
  Vec3f normal;
  Vec3f cornerNormals[3];
  Vec3f faceNormal;
  Color4b cornerColors[3];
  Color4b faceColor;
  float quality = 0;
  float cornerQualities[3] = {0, 0, 0};
  float faceQuality = 0;
  int faceIndex = 0;
  int cornerIndices[3] = {0, 0, 0};
};

struct WindowPoint {
  int x = 0;
  int y = 0;
};

class CQuarnelView final : public QOpenGLWidget {
  Q_OBJECT

 public:
  CQuarnelView(CQuarnelApp& app, CQuarnelDoc& doc, QWidget* parent = nullptr);
  ~CQuarnelView() override;

  CQuarnelDoc& GetDocument() const { return doc_; }

  // Makes the view's context current; false when it has none yet.
  bool MakeCurrent();
  void ReadMatrices();
  // A window point (y downwards) and a depth-buffer value in mesh
  // coordinates, through the matrices of the last ReadMatrices.
  Vec3d UnProject(double x, double y, double depth) const;
  void SetProjection();
  void SetupLights();
  void DrawEnvironmentBackground();
  void DrawLightDirection();
  void DrawTextureImage();
  void OnInitialUpdate();
  // One frame into the current context.
  void OnDraw();

  // Members, in the order of the view's data model ------------------------
  int m_interactionMode = 0;
  int m_savedMode = 0;
  int m_cameraPreset = 0;
  bool m_editing = false;
  int m_selectionMode = 2;
  int m_selectionTool = 0;
  int m_textureImageView = 0;
  Color4b m_backgroundColor{64, 64, 64, 255};
  PickInfo m_pick;
  WindowPoint m_bandOrigin;
  WindowPoint m_bandPrevious;
  WindowPoint m_bandCorner;
  bool m_texturing = false;
  int m_textureFilter = 2;
  bool m_normalMap = false;
  bool m_mirror = false;
  bool m_environment = false;
  bool m_lighting = true;
  bool m_doubleSideLighting = false;
  bool m_fancyLighting = false;
  bool m_xRay = false;
  bool m_backFaceCulling = false;
  bool m_showTrackBall = true;
  bool m_showAxes = false;
  bool m_showPlaneXY = false;
  bool m_showPlaneXZ = false;
  bool m_showPlaneYZ = false;
  bool m_showDistance = false;
  bool m_showMassProperties = false;
  bool m_showPunctual = false;
  bool m_showInfoPane = true;
  bool m_lightDragging = false;
  bool m_showHelp = false;
  bool m_showBoxCorner = false;
  int m_ticks = 10;
  float m_clipFactor = 1.0f;
  float m_fov = 45.0f;
  float m_cameraDistance = 0.0f;
  int m_viewport[4] = {0, 0, 0, 0};
  double m_modelview[16] = {};
  double m_projection[16] = {};
  float m_lightPosition[4] = {0, 0, 0, 0};
  int m_drawMode = 5;
  int m_colorMode = 0;
  std::vector<Vec3d> m_tapePoints;
  std::vector<WindowPoint> m_tapeWindowPoints;
  WindowPoint m_mousePoint;
  TrackBall m_trackBall;
  TrackBall m_transitionFrom;
  TrackBall m_transitionTo;
  TrackBall m_lightTrackBall;
  TrackBall m_textureTrackBall;
  TrackBall m_clipTrackBall;
  int m_transitionStart = 0;
  int m_transitionEnd = 0;
  // Milliseconds of each of the last ten frames, with sub-millisecond
  // resolution so that fast frames do not count as free.
  double m_frameTimes[10] = {};
  int m_frameCount = 0;
  float m_meanFrameTime = 100.0f;
  double m_lastMeanTick = 0.0;
  float m_clipPlane[4] = {0, 0, 0, 0};
  Vec3f m_clipPlaneNormal{0.0f, 0.0f, 1.0f};
  float m_clipSphere[4] = {0, 0, 0, 0};

  bool InitialUpdateDone() const { return initialUpdateDone_; }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 private:
  void InitGL();
  void CreateFontLists();
  void DrawRubberBand();
  void RecordFrameTime(double startMs);

  CQuarnelApp& app_;
  CQuarnelDoc& doc_;
  bool initialUpdateDone_ = false;
};

// p as text with 0 to 4 decimals (any other count gives 4), each field at
// least six characters wide, in one static buffer that the next call reuses.
const char* FormatVec3f(const Vec3f& p, int decimals);

}  // namespace quarnel
