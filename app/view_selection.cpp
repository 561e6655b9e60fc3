// Punctual picking and the selection of the editable mesh: rubber-band and
// connected-component picks, the selection commands, deleting and smoothing.
#include <GL/gl.h>

#include <cstdlib>

#include "app/gl_error.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "core/clean.h"
#include "core/normals.h"
#include "core/selection.h"
#include "core/smooth.h"
#include "core/topology.h"
#include "platform/document_manager.h"
#include "platform/wait_cursor.h"
#include "render/gl_pick.h"

namespace quarnel {

namespace {

const char kPicking[] = "Picking\n";

Vec3f UnitOrAsIs(Vec3f v) {
  v.Normalize();
  return v;
}

void RefreshViews(CQuarnelDoc& doc) {
  if (doc.Manager()) doc.Manager()->UpdateAllViews(doc);
}

}  // namespace

void CQuarnelView::PickPunctualInfo(int x, int yFromBottom) {
  if (!MakeCurrent()) return;
  float depth = 1.0f;
  glReadPixels(x, yFromBottom, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  if (depth == 1.0f) return;
  const Vec3f p = UnProject(x, m_viewport[3] - yFromBottom, depth).ToFloat();
  m_pick.point = p;

  SetProjection();
  m_trackBall.Apply();
  MeshHolder& holder = doc_.Holder();
  int face = 0;
  float weights[3] = {m_pick.weights[0], m_pick.weights[1], m_pick.weights[2]};
  const bool hit = holder.PickFace(x, yFromBottom, &face, p, weights) != 0;
  CheckGLError(kPicking);
  if (!hit) return;

  PickInfo& pick = m_pick;
  pick.point = p;
  for (int k = 0; k < 3; ++k) pick.weights[k] = weights[k];
  m_showPunctual = true;
  pick.faceIndex = face;
  for (int k = 0; k < 3; ++k) pick.cornerIndices[k] = holder.FaceVertexIndex(face, k);

  Vec3f normal;
  for (int k = 0; k < 3; ++k)
    normal += *holder.VertexNormal(pick.cornerIndices[k]) * double(pick.weights[k]);
  pick.normal = UnitOrAsIs(normal);
  pick.faceNormal = *holder.FaceNormal(face);
  for (int k = 0; k < 3; ++k) {
    pick.corners[k] = *holder.VertexPosition(pick.cornerIndices[k]);
    pick.cornerNormals[k] = UnitOrAsIs(*holder.VertexNormal(pick.cornerIndices[k]));
  }
  const IoMask mask = holder.LoadMask();
  if (mask & io_mask::VertexColor)
    for (int k = 0; k < 3; ++k) pick.cornerColors[k] = *holder.VertexColor(pick.cornerIndices[k]);
  if ((mask & io_mask::VertexQuality) || app_.m_editMode) {
    double q = 0.0;
    for (int k = 0; k < 3; ++k) {
      pick.cornerQualities[k] = *holder.VertexQuality(pick.cornerIndices[k]);
      q += double(pick.weights[k]) * pick.cornerQualities[k];
    }
    pick.quality = float(q);
  }
  if (mask & io_mask::FaceQuality) pick.faceQuality = *holder.FaceQuality(face);
  if (mask & (io_mask::FaceColor | io_mask::FaceColorList)) pick.faceColor = *holder.FaceColor(face);
}

void CQuarnelView::SelectInRect(int operation) {
  if (!MakeCurrent()) return;
  SetProjection();
  m_trackBall.Apply();
  const int sx = m_bandOrigin.x, sy = m_bandOrigin.y;
  const int ex = m_bandCorner.x, ey = m_bandCorner.y;
  const int cx = (sx + ex) / 2;
  const int cy = m_viewport[3] - (sy + ey) / 2;
  const int width = std::abs(ex - sx), height = std::abs(ey - sy);
  MeshT5& mesh = doc_.Holder().m_mesh5;
  const bool add = operation == 0 || operation == 1;

  if (m_selectionMode == 2) {
    std::vector<FaceT5*> faces;
    PickFacesInRect(cx, cy, mesh, faces, width, height);
    CheckGLError(kPicking);
    if (operation == 0) ClearSelection(mesh, SelectKind::Faces);
    for (FaceT5* f : faces) {
      if (add)
        f->flags |= ElemFlag::Selected;
      else
        f->flags &= ~ElemFlag::Selected;
    }
    OnColorPerFaceSelected();
  } else if (m_selectionMode == 1) {
    std::vector<VertexT5*> vertices;
    PickVerticesInRect(cx, cy, mesh, vertices, width, height);
    CheckGLError(kPicking);
    if (operation == 0) ClearSelection(mesh, SelectKind::Vertices);
    for (VertexT5* v : vertices) {
      if (add)
        v->flags |= ElemFlag::Selected;
      else
        v->flags &= ~ElemFlag::Selected;
    }
    OnColorPerVertexSelected();
  }
}

void CQuarnelView::SelectComponentAt(int x, int y, int) {
  if (!MakeCurrent()) return;
  SetProjection();
  m_trackBall.Apply();
  MeshT5& mesh = doc_.Holder().m_mesh5;
  std::vector<FaceT5*> faces;
  if (PickFacesInRect(x, m_viewport[3] - y, mesh, faces, 1, 1) <= 0) return;
  BuildFaceFaceAdjacency(mesh);
  // The component joins the face selection, whatever the modifiers and the
  // selection mode.
  SelectConnectedComponent(mesh, faces.front());
  OnColorPerFaceSelected();
}

namespace {

// The tool commands' one rule: the tool is switched on from browsing or from
// the other tool, and off from anything else.
void ToggleTool(CQuarnelView& view, int tool) {
  if (view.m_interactionMode == 0 || (view.m_interactionMode == 6 && view.m_selectionTool != tool)) {
    view.m_interactionMode = 6;
    view.m_selectionTool = tool;
    view.m_editing = true;
  } else {
    view.m_interactionMode = 0;
    view.m_selectionTool = 0;
    view.m_editing = false;
  }
}

}  // namespace

void CQuarnelView::OnSelectionToolRegion() { ToggleTool(*this, 1); }
void CQuarnelView::OnSelectionToolConnectedComponent() { ToggleTool(*this, 2); }

void CQuarnelView::OnSelectionNone() {
  MeshT5& mesh = doc_.Holder().m_mesh5;
  if (m_selectionMode == 1) {
    ClearSelection(mesh, SelectKind::Vertices);
    OnColorPerVertexSelected();
  } else if (m_selectionMode == 2) {
    ClearSelection(mesh, SelectKind::Faces);
    OnColorPerFaceSelected();
  }
}

void CQuarnelView::OnSelectionAll() {
  MeshT5& mesh = doc_.Holder().m_mesh5;
  if (m_selectionMode == 1) {
    SelectAll(mesh, SelectKind::Vertices);
    OnColorPerVertexSelected();
  } else if (m_selectionMode == 2) {
    InvertSelection(mesh, SelectKind::Faces);
    OnColorPerFaceSelected();
  }
}

void CQuarnelView::OnSelectedDelete() {
  WaitCursor wait;
  MeshHolder& holder = doc_.Holder();
  MeshT5& mesh = holder.m_mesh5;
  BuildFaceFaceAdjacency(mesh);
  if (m_selectionMode == 1)
    DeleteSelectedVertices(mesh);
  else if (m_selectionMode == 2)
    DeleteSelectedFaces(mesh);
  holder.m_drawer5.Update(GlChange::All);
  holder.MeshChanged();
  RefreshViews(doc_);
}

void CQuarnelView::OnSelectedSmooth() {
  WaitCursor wait;
  MeshHolder& holder = doc_.Holder();
  MeshT5& mesh = holder.m_mesh5;
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
  // In face mode the vertices whose faces are all selected are the ones
  // that move.
  if (m_selectionMode == 2) SelectVerticesInsideSelectedFaces(mesh);
  SmoothVertices(mesh, 2, true);
  holder.m_drawer5.Update(GlChange::Positions);
  holder.MeshChanged();
  RefreshViews(doc_);
}

}  // namespace quarnel
