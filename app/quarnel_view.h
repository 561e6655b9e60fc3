// The view of a document window: its own OpenGL context (sharing display
// lists and textures with every other view), the view's modes and switches,
// six trackballs, and the drawing of a frame.
#pragma once

#include <QOpenGLWidget>
#include <QSize>
#include <vector>

#include "app/info_pane.h"
#include "app/overlay_geometry.h"
#include "app/trackball.h"
#include "core/math.h"
#include "core/mesh.h"
#include "platform/command_target.h"

class QContextMenuEvent;
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

class CQuarnelView final : public QOpenGLWidget, public CommandTarget {
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
  // The initial update, once the view has its context, when it has not run
  // yet. It runs from the event loop after the view's first show; whoever
  // opens a document may run it earlier, once the window is shown.
  void RunPendingInitialUpdate();
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
  // The range of the field of view: the wheel stops there, a paste is held to it.
  static constexpr float kMinFov = 5.0f;
  static constexpr float kMaxFov = 90.0f;
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
  // Between the start and the end of the initial update, which may ask the
  // user about each texture and run a box's event loop at every question.
  bool InitialUpdateRunning() const { return initialUpdateStarted_ && !initialUpdateDone_; }

  // Commands (view_commands.cpp). Every command of the view, whichever part
  // of the view serves it, stands in the view's command map.
  bool OnCommand(int id) override;
  bool HandlesCommand(int id) const override { return m_commands.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& state) override { return m_commands.OnUpdate(id, state); }
  CommandMap& Commands() { return m_commands; }
  void OnZoomOnPoint();
  void OnColorPerFaceSelected();
  void OnColorPerVertexSelected();
  // The Render popup of the menu bar at a screen point; (-1, -1) stands for
  // the mouse position (the menu key).
  void OnContextMenu(int screenX, int screenY);

  // Camera (view_camera.cpp) -----------------------------------------------
  void FitTrackBalls();
  // flags: the MouseFlag word of the button-up at window point (x, y).
  void ZoomAtPoint(int flags, int x, int y);
  void StartTransition(const TrackBall& target);
  void StepTransition();
  // The trackball that camera moves act on: the texture-image trackball
  // while View Texture Image is on, else the main one.
  TrackBall& CurrentTrackBall();

  // View exchange through the clipboard (view_exchange.cpp) ----------------
  void OnCopyView();
  void OnPasteView();
  void OnUpdatePasteView(CommandState& state) const;

  // Information pane and on-screen help (view_info_pane.cpp) ---------------
  void DrawInfoPane();
  // What DrawInfoPane writes, where and in which font and colour. Its pixel
  // offsets grow with the screen's device-pixel ratio, as the fonts do, so
  // the pane looks the same on every screen.
  InfoPaneLayout InfoPaneTexts();
  // A text height or offset given for a screen of one device pixel per
  // unit, in the device pixels of this view's screen.
  int DevicePixels(double units) const;
  // The pixel height of the small font in use.
  int SmallFontPixels() const;

  // Scene decorations (view_decorations.cpp) -------------------------------
  // Everything the frame draws inside the main trackball's transform after
  // the mesh and before the trackball glyph: picked face, clip plane or
  // sphere, grid planes, axes, centre of mass and tape. diag is the mesh's
  // box diagonal.
  void DrawSceneDecorations(float diag);
  void DrawPlaneGrid(const float plane[4], const Vec3f& centre, const Vec3f& up, float sizeU,
                     float sizeV, const PlaneGridStyle& style);
  void DrawAxes(float length);
  void DrawMassCenter(float size);
  void DrawBoxCorners();
  void DrawPickedFace(float size);
  void DrawClipSphere(const float sphere[4], int stacks, int slices);

  // Picking and selection (view_selection.cpp) -----------------------------
  void PickPunctualInfo(int x, int yFromBottom);
  void SelectInRect(int operation);
  void SelectComponentAt(int x, int y, int operation);
  void OnSelectionToolRegion();
  void OnSelectionToolConnectedComponent();
  void OnSelectionNone();
  void OnSelectionAll();
  void OnSelectedDelete();
  void OnSelectedSmooth();

  // Distance tape (view_tape.cpp) ------------------------------------------
  void OnMeasureDistance();
  void AddTapePoint(int x, int y);
  void DrawTape();

  // Clip editing (view_clip.cpp) -------------------------------------------
  void FitClipTrackBall();
  // m_clipPlane or m_clipSphere from the manipulator as it now stands.
  void UpdateClipPlane();
  void UpdateClipSphere();
  void OnClipPlaneStart();
  void OnClipSphereStart();
  void OnClipPlaneApply();
  void OnClipPlaneClipAndCap();
  void OnFlipPlane();
  void OnSetXYPlane();
  void OnSetXZPlane();
  void OnSetYZPlane();
  void OnClipSphereApply();
  void OnToggleEditing();
  void OnUpdateStartClip(CommandState& state) const;
  void OnUpdateClipPlaneApply(CommandState& state) const;
  void OnUpdateClipSphereApply(CommandState& state) const;

  // The handlers of the selection, tape and clip commands with their update
  // handlers, added to the view's command map.
  void AddEditingCommands(CommandMap& map);

  // Mouse input (view_mouse.cpp) -------------------------------------------
  // Flags are MouseFlag words; points are window points, y downwards.
  void OnLButtonDown(int flags, WindowPoint point);
  void OnMButtonDown(int flags, WindowPoint point);
  void OnMouseMove(int flags, WindowPoint point);
  void OnLButtonUp(int flags, WindowPoint point);
  void OnMButtonUp(int flags, WindowPoint point);
  void OnMouseWheel(int flags, short delta, WindowPoint point);
  void OnLButtonDblClk(int flags, WindowPoint point);
  // The cursor of the interaction mode; the window's own in modes without one.
  void SetInteractionCursor(int flags);

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void InitGL();
  void CreateFontLists();
  // Steps of the frame from the clear to the information pane.
  void DrawScene();
  void DrawRubberBand();
  void RecordFrameTime(double startMs);
  // Records the size in device pixels of the framebuffer the widget has
  // just made (or draws into).
  void NoteFramebufferSize();
  void BuildCommandMap();

  CQuarnelApp& app_;
  CQuarnelDoc& doc_;
  bool contextReady_ = false;
  bool initialUpdateStarted_ = false;
  bool initialUpdateDone_ = false;
  bool resizing_ = false;
  QSize framebufferPixels_;
  CommandMap m_commands;
  // The scene under the rubber band, RGBA rows from the bottom, while a band
  // is dragged; empty otherwise.
  std::vector<unsigned char> bandFrame_;
};

// The blend of two similarity transforms (OpenGL order) by w in [0, 1]:
// translations and uniform scales linearly, rotations along the great arc.
Mat4d& InterpolateTransform(Mat4d& out, const Mat4d& a, const Mat4d& b, double w);

// p as text with 0 to 4 decimals (any other count gives 4), each field at
// least six characters wide, in one static buffer that the next call reuses.
const char* FormatVec3f(const Vec3f& p, int decimals);

}  // namespace quarnel
