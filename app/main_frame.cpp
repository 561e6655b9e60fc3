#include "app/main_frame.h"

#include <QMenuBar>
#include <QToolBar>

#include "app/command_ids.h"
#include "platform/document_manager.h"
#include "platform/framework_commands.h"
#include "platform/recent_files.h"

namespace quarnel {

namespace {

using namespace cmd;
namespace fw = framework_command;

MenuNode Item(int id, const char* text) { return MenuNode(id, text); }
MenuNode Separator() { return MenuNode{}; }
MenuNode Popup(const char* text, std::vector<MenuNode> items) {
  return MenuNode(text, std::move(items));
}

MenuNode HelpMenu(bool withOnScreenHelp) {
  std::vector<MenuNode> items;
  if (withOnScreenHelp) items.push_back(Item(kOnScreenHelp, "OnScreen Help"));
  items.push_back(Item(kContentsItem, "Contents"));
  items.push_back(Separator());
  items.push_back(Item(kAppAbout, "&About Quarnel..."));
  return Popup("&Help", std::move(items));
}

}  // namespace

std::vector<MenuNode> NoDocumentMenuTable() {
  return {
      Popup("&File", {Item(fw::kFileNew, "&New\tCtrl+N"), Item(fw::kFileOpen, "&Open...\tCtrl+O"),
                      Separator(), Item(kFileTypes, "File Types"), Separator(),
                      Item(fw::kRecentFileFirst, "Recent File"), Separator(),
                      Item(fw::kAppExit, "E&xit")}),
      Popup("&View", {Item(kViewToolbar, "&Toolbar")}),
      HelpMenu(false),
  };
}

std::vector<MenuNode> DocumentMenuTable() {
  return {
      Popup("&File",
            {Item(fw::kFileNew, "&New\tCtrl+N"), Item(fw::kFileOpen, "&Open...\tCtrl+O"),
             Item(fw::kFileClose, "&Close"), Item(kFileReload, "Reload\tCtrl+R"),
             Item(fw::kFileSave, "&Save\tCtrl+S"), Item(fw::kFileSaveAs, "Save &As..."),
             Item(kFileExport, "Export..."), Separator(), Item(kPreferences, "Preferences"),
             Separator(), Item(fw::kRecentFileFirst, "Recent File"), Separator(),
             Item(fw::kAppExit, "E&xit")}),
      Popup("&Edit", {Item(kUndo, "&Undo\tCtrl+Z"), Separator(), Item(kCut, "Cu&t\tCtrl+X"),
                      Item(kCopyView, "&Copy View\tCtrl+C"), Item(kPasteView, "&Paste View\tCtrl+V")}),
      Popup("&Mesh",
            {Item(kToggleEditing, "Toggle Editing\tesc"), Separator(),
             Popup("Clip Plane",
                   {Item(kClipPlaneStart, "Start Clip"), Item(kClipPlaneApply, "Apply Clip"),
                    Item(kClipPlaneCap, "Clip and Cap"), Separator(),
                    Item(kClipPlaneXY, "Set XY Plane"), Item(kClipPlaneXZ, "Set XZ Plane"),
                    Item(kClipPlaneYZ, "Set YZ Plane"), Item(kClipPlaneFlip, "Flip Plane")}),
             Popup("Clip Sphere", {Item(kClipSphereStart, "Start Clip"),
                                   Item(kClipSphereApply, "Apply "),
                                   Item(kClipSphereCap, "Clip and Cap")}),
             Separator(), Item(kUnifyDuplicatedVertices, "Unify duplicated vertices"),
             Item(kRemoveUnrefVert, "Remove Unref Vert"),
             Item(kRemoveDegenerateFaces, "Remove Degenerate Faces"),
             Item(kFlipNormals, "Flip Normals"), Item(kOptimizeCurvature, "Optimize Curvature")}),
      Popup("&Selection",
            {Popup("Selection Mode", {Item(kSelectVertex, "Vertex"), Item(kSelectFace, "Face")}),
             Popup("Selection Tool",
                   {Item(kToolNone, "None"), Item(kToolRegion, "Region"),
                    Item(kToolComponent, "Connected Component"),
                    Item(kToolPicker, "Face/Vert Picker")}),
             Separator(), Item(kSelectNone, "None"), Item(kSelectInvert, "Invert"),
             Item(kSelectAll, "All"),
             Popup("Selected",
                   {Item(kDeleteSelected, "Delete\tdel"), Item(kSmoothSelected, "Smooth\tctrl+S")})}),
      Popup("&Render",
            {Popup("Mode", {Item(kBoundingBox, "&Bounding Box\tCtrl+B"), Item(kPoints, "Points"),
                            Item(kHiddenLine, "Hidden Line"), Item(kFlatWire, "Flat Wire"),
                            Item(kFlatShaded, "Flat Shaded"), Item(kSmooth, "Smooth"), Separator(),
                            Item(kXRay, "XRay")}),
             Item(kBackFaceCulling, "BackFace Culling\tctrl+K"),
             Popup("Lighting", {Item(kLighting, "Lighting\tctrl+L"),
                                Item(kDoubleSideLighting, "Double Side Lighting\tctrl+D"),
                                Item(kFancyLighting, "Fancy Lighting\tctrl+F"),
                                Item(kResetLightPosition, "Reset Light Position ")}),
             Popup("Texture", {Item(kEnableTexturing, "Enable Texturing"),
                               Item(kEnableNormalMap, "Enable Normal Map"), Separator(),
                               Item(kFilterNearest, "Filter Nearest"),
                               Item(kFilterLinear, "Filter Linear"),
                               Item(kFilterMipMap, "Filter MipMap"), Separator(),
                               Item(kNextTexture, "Next Texture\tPG Down")}),
             Popup("Material", {Item(kMaterialPureWhite, "Pure White"), Item(kMaterialDull, "Dull"),
                                Item(kMaterialShiny, "Shiny"), Item(kMaterialMoreShiny, "More Shiny"),
                                Item(kMaterialCustom, "Custom"), Separator(),
                                Item(kMaterialMirror, "Mirror")}),
             Popup("Color",
                   {Item(kColorNone, "&None"), Item(kColorCustom, "&Custom"),
                    Item(kColorPerVertex, "Per &Vertex"),
                    Item(kColorPerVertexQuality, "Per Vertex  &Quality\tctrl+Q"),
                    Item(kColorPerFace, "Per  &Face"),
                    Item(kColorPerFaceQuality, "Per  Face &Quality\tctrl+shift+Q"),
                    Item(kColorBorder, "&Border"), Item(kColorGeodesic, "&Geodesic Distance"),
                    Item(kColorFaceSelected, "Per  Face &Selected"),
                    Item(kColorVertexSelected, "Per Vertex &Selected"),
                    Item(kColorGaussian, "Gaussian Curvature")})}),
      Popup("&View",
            {Item(kViewToolbar, "&Toolbar"), Item(kFullScreen, "&Full Screen\tctrl+F"), Separator(),
             Item(kZoomOnPoint, "&Zoom on Point\tdouble click"),
             Item(kMeasureDistance, "Measure Distance"),
             Item(kViewTextureImage, "View Texture Image"), Separator(),
             Item(kShowAxes, "Show Axes"), Item(kBoxCorner, "Box Corner"),
             Popup("Show Planes", {Item(kPlaneXY, "XY"), Item(kPlaneXZ, "XZ"), Item(kPlaneYZ, "YZ"),
                                   Separator(), Item(kMoreTicks, "More Ticks"),
                                   Item(kLessTicks, "Less Ticks")}),
             Popup("Show Info", {Item(kInfoPane, "Info Pane"),
                                 Item(kMassProperties, "Mass Properties"),
                                 Item(kInfoDistance, "Distance"), Item(kInfoPunctual, "Punctual")}),
             Popup("Trackball", {Item(kLinkTrackBalls, "Link All TrackBalls\tctrl+shift+L"),
                                 Item(kResetTrackBall, "Reset TrackBall\tctrl+H"),
                                 Item(kShowTrackBall, "Show TrackBall\tctrl+shift+H")}),
             Popup("Camera", {Item(kCameraFree, "Free"), Item(kCameraFront, "Front"),
                              Item(kCameraBack, "Back"), Item(kCameraLeft, "Left"),
                              Item(kCameraRight, "Right"), Item(kCameraTop, "Top"),
                              Item(kCameraBottom, "Bottom")})}),
      Popup("&Window", {Item(kBackgroundColor, "Background Color"),
                        Item(kBackgroundEnvironment, "Background Evironment Sphere")}),
      HelpMenu(true),
  };
}

std::vector<Accelerator> AcceleratorTable() {
  return {
      {"Ctrl+C", kCopyView},        {"Ctrl+Ins", kCopyView},
      {"Shift+Del", kCut},          {"Ctrl+X", kCut},
      {"Ctrl+V", kPasteView},       {"Shift+Ins", kPasteView},
      {"Alt+Backspace", kUndo},     {"Ctrl+Z", kUndo},
      {"Ctrl+N", fw::kFileNew},     {"Ctrl+O", fw::kFileOpen},
      {"Ctrl+R", kFileReload},      {"Ctrl+S", fw::kFileSave},
      {"Esc", kToggleEditing},      {"F6", kNextPane},
      {"Shift+F6", kPrevPane},      {"Ctrl+K", kBackFaceCulling},
      {"Ctrl+Shift+Q", kColorPerFaceQuality}, {"Ctrl+Q", kColorPerVertexQuality},
      {"Ctrl+D", kDoubleSideLighting},        {"Ctrl+F", kFancyLighting},
      {"Ctrl+L", kLighting},        {"Ctrl+Del", kDeleteSelected},
      {"Ctrl+Shift+L", kLinkTrackBalls},      {"Ctrl+H", kResetTrackBall},
      {"Ctrl+Shift+H", kShowTrackBall},       {"Ctrl+T", kViewTextureImage},
      {"PgDown", kNextTexture},
  };
}

std::vector<ToolButton> MainToolBarTable() {
  return {
      {fw::kFileOpen, ":/toolbar/open.xpm", "Open"},
      {kFileReload, ":/toolbar/reload.xpm", "Reload"},
      {fw::kFileSave, ":/toolbar/save.xpm", "Save"},
      {},
      {kInfoPane, ":/toolbar/info_pane.xpm", "Info Pane"},
      {kMeasureDistance, ":/toolbar/measure_distance.xpm", "Measure Distance"},
      {kZoomOnPoint, ":/toolbar/zoom_on_point.xpm", "Zoom on Point"},
      {},
      {kBoundingBox, ":/toolbar/bounding_box.xpm", "Bounding Box"},
      {kPoints, ":/toolbar/points.xpm", "Points"},
      {kWire, ":/toolbar/wire.xpm", "Wire"},
      {kHiddenLine, ":/toolbar/hidden_line.xpm", "Hidden Line"},
      {kFlatWire, ":/toolbar/flat_wire.xpm", "Flat Wire"},
      {kFlatShaded, ":/toolbar/flat_shaded.xpm", "Flat Shaded"},
      {kSmooth, ":/toolbar/smooth.xpm", "Smooth"},
      {},
      {kEnableTexturing, ":/toolbar/texturing.xpm", "Enable Texturing"},
      {kEnableNormalMap, ":/toolbar/normal_map.xpm", "Enable Normal Map"},
      {},
      {kLighting, ":/toolbar/lighting.xpm", "Lighting"},
  };
}

std::vector<ToolButton> SelectionToolBarTable() {
  return {
      {kSelectVertex, ":/toolbar/select_vertex.xpm", "Vertex"},
      {kSelectFace, ":/toolbar/select_face.xpm", "Face"},
      {},
      {kToolNone, ":/toolbar/tool_none.xpm", "None"},
      {kToolRegion, ":/toolbar/tool_region.xpm", "Region"},
      {kToolComponent, ":/toolbar/tool_component.xpm", "Connected Component"},
      {kToolPicker, ":/toolbar/tool_picker.xpm", "Face/Vert Picker"},
      {},
      {kSmoothSelected, ":/toolbar/smooth_selected.xpm", "Smooth"},
  };
}

CMainFrame::CMainFrame(const QString& title, CommandRouter& router)
    : window_(std::make_unique<MainWindow>(title)),
      commands_(new CommandTable(window_.get(), router)) {
  map_.On(
      kViewToolbar,
      [this] {
        if (mainToolBar_) mainToolBar_->setVisible(!mainToolBar_->isVisible());
      },
      [this](CommandState& s) { s.checked = mainToolBar_ && mainToolBar_->isVisible(); });
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::OnCreate(const RecentFileList* recent) {
  MainWindow& w = *window_;
  w.resize(1024, 768);
  w.SetMenuBars(commands_->BuildMenuBar(NoDocumentMenuTable(), &w),
                commands_->BuildMenuBar(DocumentMenuTable(), &w));
  commands_->SetAccelerators(AcceleratorTable());
  if (recent) commands_->AttachRecentFiles(recent, framework_command::kRecentFileFirst);

  mainToolBar_ = commands_->BuildToolBar(QStringLiteral("Main"), MainToolBarTable(), QSize(32, 32), &w);
  selectionToolBar_ =
      commands_->BuildToolBar(QStringLiteral("Selection"), SelectionToolBarTable(), QSize(16, 15), &w);
  if (!mainToolBar_ || !selectionToolBar_) return false;
  mainToolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  selectionToolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  w.addToolBar(Qt::TopToolBarArea, mainToolBar_);
  // The selection toolbar is docked by the application in edit mode only.
  selectionToolBar_->hide();
  commands_->UpdateAll();
  return true;
}

void CMainFrame::DockSelectionToolBar() {
  window_->addToolBar(Qt::TopToolBarArea, selectionToolBar_);
  selectionToolBar_->show();
}

void CMainFrame::WatchFirstActivation(DocumentManager& documents, bool editMode) {
  connect(&documents, &DocumentManager::viewActivated, this, [this, editMode](QWidget* view) {
    if (!view || !firstActivation_) return;
    firstActivation_ = false;
    if (!editMode) {
      // Mesh, then Selection, which moves into Mesh's place.
      window_->RemoveDocumentMenu(kMeshMenuPosition);
      window_->RemoveDocumentMenu(kMeshMenuPosition);
    }
    window_->menuBar()->update();
  });
}

}  // namespace quarnel
