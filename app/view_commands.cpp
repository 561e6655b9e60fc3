// The view's command map: render and colour modes, lighting, textures,
// decorations and information blocks, trackball and camera commands,
// selection and clip commands, the clipboard exchange of views, and the
// right-button context menu.
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <algorithm>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/cube_map.h"
#include "app/main_frame.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/document_manager.h"

namespace quarnel {

namespace {

using namespace cmd;

bool HasTextures(const MeshHolder& holder) {
  const auto* textures = holder.TextureNames();
  const auto* normalMaps = holder.NormalMapNames();
  return (textures && !textures->empty()) || (normalMaps && !normalMaps->empty());
}

bool HasNormalMaps(const MeshHolder& holder) {
  const auto* normalMaps = holder.NormalMapNames();
  return normalMaps && !normalMaps->empty();
}

size_t TextureCount(const MeshHolder& holder) {
  const auto* textures = holder.TextureNames();
  return textures ? textures->size() : 0;
}

// Where the program's own data lies: beside the program in the build tree,
// and where the installation puts it, relative to the installed program.
std::vector<std::string> ProgramDataFolders() {
  const std::string program = QCoreApplication::applicationDirPath().toStdString();
#ifdef QUARNEL_DATA_FROM_PROGRAM
  return {program, program + "/" + QUARNEL_DATA_FROM_PROGRAM};
#else
  return {program};
#endif
}

}  // namespace

bool CQuarnelView::OnCommand(int id) {
  return doc_.RunCommand([this, id] { return m_commands.OnCommand(id); });
}

void CQuarnelView::BuildCommandMap() {
  CommandMap& map = m_commands;
  auto redraw = [this] { update(); };
  auto holder = [this]() -> MeshHolder& { return doc_.Holder(); };
  // A switch of the view: the command toggles it and redraws, the item shows
  // its state.
  auto toggle = [&map, redraw](int id, bool& flag) {
    map.On(
        id,
        [&flag, redraw] {
          flag = !flag;
          redraw();
        },
        [&flag](CommandState& s) { s.checked = flag; });
  };
  // One value of a setting that several commands choose from.
  auto choice = [&map, redraw](int id, int& setting, int value) {
    map.On(
        id,
        [&setting, value, redraw] {
          setting = value;
          redraw();
        },
        [&setting, value](CommandState& s) { s.checked = setting == value; });
  };

  // Render modes, X-ray, culling.
  choice(kBoundingBox, m_drawMode, 1);
  choice(kPoints, m_drawMode, 2);
  choice(kWire, m_drawMode, 3);
  choice(kHiddenLine, m_drawMode, 4);
  choice(kFlatWire, m_drawMode, 7);
  choice(kFlatShaded, m_drawMode, 5);
  choice(kSmooth, m_drawMode, 6);
  toggle(kXRay, m_xRay);
  toggle(kBackFaceCulling, m_backFaceCulling);

  // Lighting.
  toggle(kLighting, m_lighting);
  toggle(kDoubleSideLighting, m_doubleSideLighting);
  map.On(kResetLightPosition, [this, redraw] {
    m_lightTrackBall.Reset();
    redraw();
  });
  toggle(kFancyLighting, m_fancyLighting);

  // Textures.
  auto textured = [holder](CommandState& s) { s.enabled = HasTextures(holder()); };
  map.On(
      kEnableTexturing,
      [this, redraw] {
        m_texturing = !m_texturing;
        redraw();
      },
      [this, textured](CommandState& s) {
        textured(s);
        s.checked = m_texturing;
      });
  map.On(
      kEnableNormalMap,
      [this, redraw] {
        m_normalMap = !m_normalMap;
        if (m_normalMap) m_texturing = true;
        redraw();
      },
      [this, holder](CommandState& s) {
        s.enabled = HasNormalMaps(holder());
        s.checked = m_normalMap;
      });
  const int filterIds[] = {kFilterNearest, kFilterLinear, kFilterMipMap};
  for (int filter = 0; filter < 3; ++filter)
    map.On(
        filterIds[filter],
        [this, filter, redraw] {
          m_textureFilter = filter;
          redraw();
        },
        [this, filter, textured](CommandState& s) {
          textured(s);
          s.checked = m_textureFilter == filter;
        });
  map.On(
      kNextTexture,
      [this, holder] {
        MeshHolder& h = holder();
        std::vector<std::string>* names = h.MutableTextureNames();
        if (!names || names->size() < 2) return;
        // The GL names travel with their file names, so that slot i keeps
        // showing texture i.
        std::vector<uint32_t*> glNames;
        for (unsigned i = 0; i < names->size(); ++i) {
          uint32_t* slot = h.GlTextureName(i);
          if (!slot) break;
          glNames.push_back(slot);
        }
        if (glNames.size() >= 2) {
          const uint32_t first = *glNames.front();
          for (size_t i = 0; i + 1 < glNames.size(); ++i) *glNames[i] = *glNames[i + 1];
          *glNames.back() = first;
        }
        std::rotate(names->begin(), names->begin() + 1, names->end());
        if (DocumentManager* documents = app_.Documents()) documents->UpdateAllViews(doc_);
      },
      [holder](CommandState& s) { s.enabled = TextureCount(holder()) >= 2; });
  map.On(
      kViewTextureImage,
      [this, redraw] {
        if (m_textureImageView != 1) {
          m_textureTrackBall.Reset();
          m_textureImageView = 1;
        } else {
          m_textureImageView = 0;
        }
        redraw();
      },
      [this, textured](CommandState& s) {
        textured(s);
        s.checked = m_textureImageView == 1;
      });
  // Mirror and the environment background need the cube map, which is
  // loaded into the view's context when either is switched on. Mirror
  // changes how the mesh looks, both ways, so its view is drawn again.
  auto cubeMapSwitch = [&map, this](int id, bool& flag, bool redrawn) {
    map.On(
        id,
        [this, &flag, redrawn] {
          flag = !flag;
          if (redrawn) update();
          if (!flag || !MakeCurrent()) return;
          MeshHolder::LoadCubeMap(FindEnvironmentMap(ProgramDataFolders()).c_str(),
                                  app_.m_cubeMapTexture);
        },
        [&flag](CommandState& s) { s.checked = flag; });
  };
  cubeMapSwitch(kMaterialMirror, m_mirror, true);
  cubeMapSwitch(kBackgroundEnvironment, m_environment, false);
  map.On(kBackgroundColor, [this, redraw] {
    const QColor initial(m_backgroundColor.r, m_backgroundColor.g, m_backgroundColor.b);
    const QColor chosen = QColorDialog::getColor(initial, nullptr);
    if (!chosen.isValid()) return;
    m_backgroundColor = Color4b{uint8_t(chosen.red()), uint8_t(chosen.green()),
                                uint8_t(chosen.blue()), 255};
    redraw();
  });

  // Colours.
  auto always = [](CommandState& s) { s.enabled = true; };
  auto maskHas = [holder](IoMask bits) {
    return [holder, bits](CommandState& s) { s.enabled = (holder().LoadMask() & bits) != 0; };
  };
  auto tagIs5 = [holder](CommandState& s) { s.enabled = holder().Tag() == 5; };
  auto colour = [&map, this, redraw, holder](int id, void (MeshHolder::*coloring)(), int mode,
                                             CommandMap::Updater update) {
    map.On(
        id,
        [this, redraw, holder, coloring, mode] {
          if (coloring) (holder().*coloring)();
          m_colorMode = mode;
          redraw();
        },
        std::move(update));
  };
  colour(kColorNone, nullptr, 0, always);
  map.On(kColorCustom, [] {}, always);
  colour(kColorPerVertex, nullptr, 3, maskHas(io_mask::VertexColor));
  colour(kColorPerVertexQuality, &MeshHolder::ColorByVertexQuality, 3,
         maskHas(io_mask::VertexQuality));
  colour(kColorPerFace, nullptr, 2, maskHas(io_mask::FaceColor | io_mask::FaceColorList));
  colour(kColorPerFaceQuality, &MeshHolder::ColorByFaceQuality, 2, maskHas(io_mask::FaceQuality));
  colour(kColorBorder, &MeshHolder::ColorBorder, 3, [holder](CommandState& s) {
    const int tag = holder().Tag();
    s.enabled = tag >= 2 && tag <= 5;
  });
  colour(kColorGeodesic, &MeshHolder::ColorByGeodesicDistance, 3, tagIs5);
  colour(kColorGaussian, &MeshHolder::ColorByGaussianCurvature, 3, tagIs5);
  map.On(kColorFaceSelected, [this] { OnColorPerFaceSelected(); }, [](CommandState&) {});
  map.On(kColorVertexSelected, [this] { OnColorPerVertexSelected(); }, [](CommandState&) {});

  // Decorations and information blocks.
  toggle(kShowAxes, m_showAxes);
  toggle(kBoxCorner, m_showBoxCorner);
  toggle(kPlaneXY, m_showPlaneXY);
  toggle(kPlaneXZ, m_showPlaneXZ);
  toggle(kPlaneYZ, m_showPlaneYZ);
  map.On(kMoreTicks, [this] {
    if (m_ticks <= 100) m_ticks *= 10;
  });
  map.On(kLessTicks, [this] {
    if (m_ticks >= 10) m_ticks /= 10;
  });
  toggle(kInfoPane, m_showInfoPane);
  toggle(kMassProperties, m_showMassProperties);
  toggle(kInfoDistance, m_showDistance);
  toggle(kInfoPunctual, m_showPunctual);
  toggle(kOnScreenHelp, m_showHelp);

  // Trackball and camera.
  map.On(
      kLinkTrackBalls, [this] { app_.m_linkTrackBalls = !app_.m_linkTrackBalls; },
      [this](CommandState& s) { s.checked = app_.m_linkTrackBalls; });
  map.On(kResetTrackBall, [this, redraw] {
    FitTrackBalls();
    redraw();
  });
  toggle(kShowTrackBall, m_showTrackBall);
  const int presetIds[] = {kCameraFree, kCameraFront, kCameraBack,  kCameraLeft,
                           kCameraRight, kCameraTop,  kCameraBottom};
  for (int preset = 0; preset < 7; ++preset)
    map.On(
        presetIds[preset],
        [this, preset, redraw] {
          m_cameraPreset = preset;
          FitTrackBalls();
          redraw();
        },
        [this, preset](CommandState& s) { s.checked = m_cameraPreset == preset; });

  // Interaction and clipboard.
  map.On(
      kZoomOnPoint, [this] { OnZoomOnPoint(); },
      [this](CommandState& s) { s.checked = m_interactionMode == 1; });
  map.On(kCopyView, [this] { OnCopyView(); });
  map.On(
      kPasteView, [this] { OnPasteView(); },
      [this](CommandState& s) { OnUpdatePasteView(s); });

  // Selection.
  map.On(
      kSelectVertex, [this] { m_selectionMode = 1; },
      [this](CommandState& s) { s.checked = m_selectionMode == 1; });
  map.On(
      kSelectFace, [this] { m_selectionMode = 2; },
      [this](CommandState& s) { s.checked = m_selectionMode == 2; });
  AddEditingCommands(map);
}

void CQuarnelView::OnZoomOnPoint() {
  if (m_xRay) {
    m_xRay = false;
    update();
  }
  if (m_interactionMode == 1) {
    m_interactionMode = 0;
    return;
  }
  if (m_interactionMode != 3) m_savedMode = m_interactionMode;
  m_interactionMode = 1;
}

void CQuarnelView::OnColorPerFaceSelected() {
  doc_.Holder().ColorSelectedFaces();
  m_colorMode = 2;
  update();
}

void CQuarnelView::OnColorPerVertexSelected() {
  doc_.Holder().ColorSelectedVertices();
  m_colorMode = 3;
  update();
}

void CQuarnelView::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() == QContextMenuEvent::Keyboard)
    OnContextMenu(-1, -1);
  else
    OnContextMenu(event->globalPos().x(), event->globalPos().y());
  event->accept();
}

void CQuarnelView::OnContextMenu(int screenX, int screenY) {
  QPoint at(screenX, screenY);
  if (screenX == -1 && screenY == -1) at = QCursor::pos();
  CMainFrame* frame = app_.MainFrame();
  if (!frame) return;
  // The popup of the menu bar itself: its commands reach the same handlers
  // as the menu bar's, with the same check marks.
  QMenu* render = frame->Window().MenuTitled(QStringLiteral("Render"));
  if (render) render->popup(at);
}

}  // namespace quarnel
