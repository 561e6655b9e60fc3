// Clip editing: a manipulator trackball places a plane or a sphere over the
// editable mesh, and the Apply commands cut the mesh with it.
#include <utility>

#include "app/command_ids.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "core/clip_ops.h"
#include "platform/document_manager.h"

namespace quarnel {

namespace {

// The action that lets the plain wheel scale the manipulator.
constexpr TrackAction kWheelScale{10, 0x1000, 3, 8};

// The end of every clip: the drawer takes the new mesh, the results computed
// for the old one are dropped, and every view of the document shows it.
void EditableMeshClipped(CQuarnelDoc& doc) {
  MeshHolder& holder = doc.Holder();
  holder.m_drawer5.Update(GlChange::All);
  holder.MeshChanged();
}

// Cuts a copy of the editable mesh, which takes the mesh's place once the
// cut is whole: a cut that runs out of memory leaves the mesh as it was.
template <class Cut>
void CutEditableMesh(CQuarnelDoc& doc, Cut&& cut) {
  MeshT5 cutMesh = doc.Holder().m_mesh5;
  cut(cutMesh);
  doc.Holder().m_mesh5 = std::move(cutMesh);
}

void RefreshViews(CQuarnelDoc& doc) {
  if (doc.Manager()) doc.Manager()->UpdateAllViews(doc);
}

Plane3f PlaneOf(const float p[4]) { return Plane3f{Vec3f(p[0], p[1], p[2]), p[3]}; }

}  // namespace

// The frame turns the manipulator into the plane or sphere it draws; the
// Apply commands do the same first, so that a command given before the next
// frame cuts with what the manipulator now holds, not with what a frame
// computed earlier, perhaps for a previous clip.
void CQuarnelView::UpdateClipPlane() {
  ClipPlaneFromTrack(m_clipTrackBall.m_track, m_clipPlaneNormal, doc_.Holder().BBox()->Center(),
                     m_clipPlane);
}

void CQuarnelView::UpdateClipSphere() {
  const BBox3f& box = *doc_.Holder().BBox();
  ClipSphereFromTrack(m_clipTrackBall.m_track, box.Center(), float(box.Diag()) * 0.333333,
                      m_clipSphere);
}

void CQuarnelView::FitClipTrackBall() {
  const BBox3f& box = *doc_.Holder().BBox();
  const Vec3f c = box.Center();
  const double r = (box.max - box.min).Norm() * 0.5;
  m_clipTrackBall.Reset();
  m_clipTrackBall.SetScale(1, float(r));
  m_clipTrackBall.SetTranslation(1, c.x, c.y, c.z);
  m_clipTrackBall.m_actions.insert(m_clipTrackBall.m_actions.begin(), kWheelScale);
}

void CQuarnelView::OnClipPlaneStart() {
  m_interactionMode = 4;
  FitClipTrackBall();
  update();
}

void CQuarnelView::OnClipSphereStart() {
  m_interactionMode = 5;
  FitClipTrackBall();
  update();
}

void CQuarnelView::OnClipPlaneApply() {
  UpdateClipPlane();
  m_interactionMode = 0;
  doc_.m_loading = true;
  CutEditableMesh(doc_, [this](MeshT5& mesh) { ClipByPlane(mesh, PlaneOf(m_clipPlane)); });
  EditableMeshClipped(doc_);
  m_editing = false;
  RefreshViews(doc_);
  doc_.m_loading = false;
}

void CQuarnelView::OnClipPlaneClipAndCap() {
  UpdateClipPlane();
  m_interactionMode = 0;
  // One call: the cap takes the tolerance of the clip's edge collapse from
  // the mesh's box as the collapse saw it, before the clip.
  CutEditableMesh(doc_, [this](MeshT5& mesh) { ClipAndCap(mesh, PlaneOf(m_clipPlane)); });
  EditableMeshClipped(doc_);
  m_editing = false;
  RefreshViews(doc_);
}

void CQuarnelView::OnClipSphereApply() {
  UpdateClipSphere();
  m_interactionMode = 0;
  const Sphere3f sphere{Vec3f(m_clipSphere[0], m_clipSphere[1], m_clipSphere[2]), m_clipSphere[3]};
  CutEditableMesh(doc_, [&sphere](MeshT5& mesh) { ClipBySphere(mesh, sphere); });
  EditableMeshClipped(doc_);
  m_editing = false;
  RefreshViews(doc_);
}

void CQuarnelView::OnFlipPlane() {
  m_clipPlaneNormal = -m_clipPlaneNormal;
  update();
}

void CQuarnelView::OnSetXYPlane() { m_clipPlaneNormal = Vec3f(0, 0, 1); }
void CQuarnelView::OnSetXZPlane() { m_clipPlaneNormal = Vec3f(0, 1, 0); }
void CQuarnelView::OnSetYZPlane() { m_clipPlaneNormal = Vec3f(1, 0, 0); }

void CQuarnelView::OnToggleEditing() {
  if (m_interactionMode != 4 && m_interactionMode != 5 && m_interactionMode != 6) return;
  m_editing = !m_editing;
  update();
}

void CQuarnelView::OnUpdateStartClip(CommandState& state) const {
  state.enabled = doc_.Holder().Tag() == 5 && m_interactionMode == 0;
}

void CQuarnelView::OnUpdateClipPlaneApply(CommandState& state) const {
  state.enabled = m_interactionMode == 4;
}

void CQuarnelView::OnUpdateClipSphereApply(CommandState& state) const {
  state.enabled = m_interactionMode == 5;
}

void CQuarnelView::AddEditingCommands(CommandMap& map) {
  using namespace cmd;
  auto selectionTool = [this](int tool) {
    return [this, tool](CommandState& s) {
      s.enabled = m_interactionMode == 0 || m_interactionMode == 6;
      s.checked = m_selectionTool == tool;
    };
  };
  map.On(kToolRegion, [this] { OnSelectionToolRegion(); }, selectionTool(1));
  map.On(kToolComponent, [this] { OnSelectionToolConnectedComponent(); }, selectionTool(2));
  map.On(kSelectNone, [this] { OnSelectionNone(); });
  map.On(kSelectAll, [this] { OnSelectionAll(); });
  map.On(kSelectInvert, [this] { OnSelectionAll(); });
  map.On(kDeleteSelected, [this] { OnSelectedDelete(); });
  map.On(kSmoothSelected, [this] { OnSelectedSmooth(); });

  map.On(
      kMeasureDistance, [this] { OnMeasureDistance(); },
      [this](CommandState& s) { s.checked = m_interactionMode == 2; });

  auto planeMode = [this](CommandState& s) { OnUpdateClipPlaneApply(s); };
  auto planeNormal = [this](Vec3f n) {
    return [this, n](CommandState& s) {
      OnUpdateClipPlaneApply(s);
      s.checked = m_clipPlaneNormal == n;
    };
  };
  map.On(
      kToggleEditing, [this] { OnToggleEditing(); },
      [this](CommandState& s) {
        s.enabled = m_interactionMode == 4 || m_interactionMode == 5 || m_interactionMode == 6;
      });
  map.On(kClipPlaneStart, [this] { OnClipPlaneStart(); },
         [this](CommandState& s) { OnUpdateStartClip(s); });
  map.On(kClipSphereStart, [this] { OnClipSphereStart(); },
         [this](CommandState& s) { OnUpdateStartClip(s); });
  map.On(kClipPlaneApply, [this] { OnClipPlaneApply(); }, planeMode);
  map.On(kClipPlaneCap, [this] { OnClipPlaneClipAndCap(); }, planeMode);
  map.On(kClipPlaneFlip, [this] { OnFlipPlane(); }, planeMode);
  map.On(kClipPlaneXY, [this] { OnSetXYPlane(); }, planeNormal(Vec3f(0, 0, 1)));
  map.On(kClipPlaneXZ, [this] { OnSetXZPlane(); }, planeNormal(Vec3f(0, 1, 0)));
  map.On(kClipPlaneYZ, [this] { OnSetYZPlane(); }, planeNormal(Vec3f(1, 0, 0)));
  auto sphereMode = [this](CommandState& s) { OnUpdateClipSphereApply(s); };
  map.On(kClipSphereApply, [this] { OnClipSphereApply(); }, sphereMode);
  map.On(kClipSphereCap, [this] { OnClipSphereApply(); }, sphereMode);
}

}  // namespace quarnel
