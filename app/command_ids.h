// Command ids of the menus, toolbars and keys that the application, its
// document and its frames handle or show. The framework's own commands
// (new, open, save, close, recent files, exit) are in
// platform/framework_commands.h.
#pragma once

namespace quarnel::cmd {

// Application
inline constexpr int kAppAbout = 57664;
inline constexpr int kHelpContents = 32142;
// The Contents item of the Help menus stands under an id of its own that no
// handler serves: the program has no help file.
inline constexpr int kContentsItem = 142;
inline constexpr int kPreferences = 32144;
inline constexpr int kFileTypes = 32145;

// Document
inline constexpr int kMaterialDull = 32801;
inline constexpr int kMaterialMoreShiny = 32802;
inline constexpr int kMaterialPureWhite = 32803;
inline constexpr int kMaterialCustom = 32804;
inline constexpr int kMaterialShiny = 32805;
inline constexpr int kUnifyDuplicatedVertices = 32835;
inline constexpr int kRemoveUnrefVert = 32836;
inline constexpr int kOptimizeCurvature = 32847;
inline constexpr int kFlipNormals = 32155;
inline constexpr int kFileExport = 32156;
inline constexpr int kRemoveDegenerateFaces = 171;
inline constexpr int kFileReload = 32867;

// Frame
inline constexpr int kViewToolbar = 59392;

// View: render modes
inline constexpr int kBoundingBox = 32785;
inline constexpr int kPoints = 32777;
inline constexpr int kWire = 32778;
inline constexpr int kHiddenLine = 32779;
inline constexpr int kFlatWire = 32780;
inline constexpr int kFlatShaded = 32781;
inline constexpr int kSmooth = 32782;
inline constexpr int kXRay = 32788;
inline constexpr int kBackFaceCulling = 32789;
// View: lighting
inline constexpr int kLighting = 32787;
inline constexpr int kDoubleSideLighting = 32806;
inline constexpr int kResetLightPosition = 32772;
inline constexpr int kFancyLighting = 32811;
// View: textures, material mirror, background
inline constexpr int kEnableTexturing = 32786;
inline constexpr int kEnableNormalMap = 32800;
inline constexpr int kFilterNearest = 32850;
inline constexpr int kFilterLinear = 32851;
inline constexpr int kFilterMipMap = 32852;
inline constexpr int kNextTexture = 32853;
inline constexpr int kViewTextureImage = 32798;
inline constexpr int kMaterialMirror = 32810;
inline constexpr int kBackgroundEnvironment = 32807;
inline constexpr int kBackgroundColor = 32799;
// View: colours
inline constexpr int kColorNone = 32812;
inline constexpr int kColorCustom = 32813;
inline constexpr int kColorPerVertex = 32814;
inline constexpr int kColorPerVertexQuality = 32817;
inline constexpr int kColorPerFace = 32815;
inline constexpr int kColorPerFaceQuality = 32816;
inline constexpr int kColorBorder = 32818;
inline constexpr int kColorGeodesic = 32820;
inline constexpr int kColorFaceSelected = 32840;
inline constexpr int kColorVertexSelected = 32841;
inline constexpr int kColorGaussian = 170;
// View: decorations and information
inline constexpr int kShowAxes = 32830;
inline constexpr int kBoxCorner = 175;
inline constexpr int kPlaneXY = 32831;
inline constexpr int kPlaneXZ = 32832;
inline constexpr int kPlaneYZ = 32833;
inline constexpr int kMoreTicks = 32848;
inline constexpr int kLessTicks = 32849;
inline constexpr int kInfoPane = 32795;
inline constexpr int kMassProperties = 32834;
inline constexpr int kInfoDistance = 32152;
inline constexpr int kInfoPunctual = 32153;
inline constexpr int kOnScreenHelp = 57668;
inline constexpr int kFullScreen = 32783;
// View: trackball and camera
inline constexpr int kLinkTrackBalls = 194;
inline constexpr int kResetTrackBall = 32790;
inline constexpr int kShowTrackBall = 32793;
inline constexpr int kCameraFree = 176;
inline constexpr int kCameraFront = 177;
inline constexpr int kCameraBack = 178;
inline constexpr int kCameraLeft = 179;
inline constexpr int kCameraRight = 180;
inline constexpr int kCameraTop = 181;
inline constexpr int kCameraBottom = 182;
// View: interaction and clipboard
inline constexpr int kZoomOnPoint = 32791;
inline constexpr int kMeasureDistance = 32792;
inline constexpr int kCopyView = 57634;
inline constexpr int kCut = 57635;
inline constexpr int kPasteView = 57637;
inline constexpr int kUndo = 57643;
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;
// View: selection
inline constexpr int kSelectVertex = 32161;
inline constexpr int kSelectFace = 32162;
inline constexpr int kToolNone = 189;
inline constexpr int kToolRegion = 32163;
inline constexpr int kToolComponent = 32164;
inline constexpr int kToolPicker = 190;
inline constexpr int kSelectNone = 32165;
inline constexpr int kSelectInvert = 32166;
inline constexpr int kSelectAll = 188;
inline constexpr int kDeleteSelected = 32170;
inline constexpr int kSmoothSelected = 32171;
// View: clip editing
inline constexpr int kToggleEditing = 32822;
inline constexpr int kClipPlaneStart = 32827;
inline constexpr int kClipPlaneApply = 32829;
inline constexpr int kClipPlaneCap = 32826;
inline constexpr int kClipPlaneXY = 32823;
inline constexpr int kClipPlaneXZ = 32824;
inline constexpr int kClipPlaneYZ = 32825;
inline constexpr int kClipPlaneFlip = 32828;
inline constexpr int kClipSphereStart = 32837;
inline constexpr int kClipSphereApply = 32838;
inline constexpr int kClipSphereCap = 32839;

}  // namespace quarnel::cmd
