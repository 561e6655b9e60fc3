// The draw routines of GlMesh and the passes they compose. Included only by
// render/gl_mesh.cpp, which compiles them for the four mesh types.
//
// Every mode is a template parameter: the loops below branch on the deleted
// bit, on the hints (once per pass) and, in texture mode 3, on the change of
// texture index from one face to the next, and on nothing else.
#pragma once

#include <GL/gl.h>

#include <algorithm>
#include <cstddef>

#include "render/box_drawer.h"
#include "render/gl_mesh.h"

namespace quarnel {

// Below every 16-bit texture index.
inline constexpr int kNoTexture = -0x10000;

template <class MeshT>
template <int dm, int cm, int tm>
void GlMesh<MeshT>::Draw() {
  static_assert(dm >= 0 && dm <= 7 && cm >= 0 && cm <= 3 && tm >= 0 && tm <= 3);
  if (!mesh) return;

  // Display lists: replay while the key matches, else compile and call. The
  // key (0, 0, 0) is left by construction and Update and matches no draw.
  bool compiling = false;
  if (hints & GlHint::DisplayList) {
    if (listDrawMode == dm && listColorMode == cm && listTextureMode == tm &&
        (dm != 0 || cm != 0 || tm != 0)) {
      glCallList(GLuint(listId));
      return;
    }
    if (listId == -1) listId = int32_t(glGenLists(1));
    // No list name to be had (glGenLists failed): draw directly this time
    // rather than compile into list 0, which OpenGL refuses.
    if (listId > 0) {
      glNewList(GLuint(listId), GL_COMPILE);
      compiling = true;
    } else {
      listId = -1;
    }
  }

  glPushMatrix();
  if constexpr (dm == DMBox) {
    if constexpr (cm == CMPerMesh) glColor4ubv(mesh->color.data());
    DrawBox(mesh->bbox);
  } else if constexpr (dm == DMPoints) {
    DrawPoints<cm>();
  } else if constexpr (dm == DMWire) {
    DrawWire<cm>();
  } else if constexpr (dm == DMHidden) {
    const double off = depthOffset;
    glDepthRange(off, 1.0);
    glDisable(GL_LIGHTING);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    DrawHiddenFill();
    glEnable(GL_LIGHTING);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthRange(0.0, 1.0 - off);
    DrawWire<CMNone>();
    glDepthRange(0.0, 1.0);
  } else if constexpr (dm == DMFlat) {
    DrawFlatFill<cm, tm>();
  } else if constexpr (dm == DMSmooth) {
    DrawSmoothFill<cm, tm>();
  } else if constexpr (dm == DMFlatWire) {
    const double off = depthOffset;
    glDepthRange(off, 1.0);
    DrawFlatFill<cm, tm>();
    glDepthRange(0.0, 1.0 - off);
    glColor3f(0.3f, 0.3f, 0.3f);
    DrawWire<CMNone>();
    glDepthRange(0.0, 1.0);
  }
  glPopMatrix();

  if (compiling) {
    listDrawMode = dm;
    listColorMode = cm;
    listTextureMode = tm;
    glEndList();
    glCallList(GLuint(listId));
  }
}

template <class MeshT>
template <int cm, int tm>
void GlMesh<MeshT>::DrawFlatFill() {
  Fill<FillKind::Flat, cm, tm>();
}

template <class MeshT>
template <int cm, int tm>
void GlMesh<MeshT>::DrawSmoothFill() {
  Fill<FillKind::Smooth, cm, tm>();
}

template <class MeshT>
void GlMesh<MeshT>::DrawHiddenFill() {
  Fill<FillKind::Depth, CMNone, TMNone>();
}

// The frame shared by the fills: the mesh colour once, then one of three
// paths by the hints.
template <class MeshT>
template <typename GlMesh<MeshT>::FillKind kind, int cmIn, int tmIn>
void GlMesh<MeshT>::Fill() {
  constexpr int cm = EffectiveColorMode(cmIn);
  constexpr int tm = EffectiveTextureMode(tmIn);
  if constexpr (cm == CMPerMesh) glColor4ubv(mesh->color.data());
  if (!(hints & GlHint::Strips)) {
    FillTriangles<kind, cm, tm>();
    return;
  }
  if constexpr (kind == FillKind::Smooth && (cm == CMNone || cm == CMPerMesh)) {
    // No index runs (not built yet, or too many vertices for 16 bits): the
    // strips carry the same triangles.
    if ((hints & GlHint::IndexArrays) && !indexRuns.empty()) {
      FillIndexRuns();
      return;
    }
  }
  FillStrips<kind>();
}

template <class MeshT>
template <typename GlMesh<MeshT>::FillKind kind, int cm, int tm>
void GlMesh<MeshT>::FillTriangles() {
  // No texture index equals the start value, so the first face always binds
  // and a negative index binds texture 0 like any other index that names no
  // loaded texture.
  [[maybe_unused]] int currentTexture = kNoTexture;
  glBegin(GL_TRIANGLES);
  for (const FaceType& f : mesh->faces) {
    if (f.flags & ElemFlag::Deleted) continue;
    if constexpr (tm == TMPerWedgeMulti) {
      const int t = f.wedge[0].texIndex;
      if (t != currentTexture) {
        currentTexture = t;
        glEnd();
        glBindTexture(GL_TEXTURE_2D, TextureName(t));
        glBegin(GL_TRIANGLES);
      }
    }
    if constexpr (kind == FillKind::Flat) glNormal3fv(f.normal.data());
    if constexpr (cm == CMPerFace) glColor4ubv(f.color.data());
    for (int k = 0; k < 3; ++k) {
      const VertexType& v = *f.v[k];
      if constexpr (kind == FillKind::Smooth) glNormal3fv(v.normal.data());
      if constexpr (cm == CMPerVert) glColor4ubv(v.color.data());
      if constexpr (tm == TMPerWedge || tm == TMPerWedgeMulti) glTexCoord2fv(&f.wedge[k].u);
      glVertex3fv(v.position.data());
    }
  }
  glEnd();
}

template <class MeshT>
template <typename GlMesh<MeshT>::FillKind kind>
void GlMesh<MeshT>::FillStrips() {
  const size_t n = kind == FillKind::Flat ? std::min(strips.size(), stripFaces.size()) : strips.size();
  glBegin(GL_TRIANGLE_STRIP);
  for (size_t i = 0; i < n; ++i) {
    const VertexType* v = strips[i];
    if (!v) {
      glEnd();
      glBegin(GL_TRIANGLE_STRIP);
      continue;
    }
    if constexpr (kind == FillKind::Flat) glNormal3fv(stripFaces[i]->normal.data());
    if constexpr (kind == FillKind::Smooth) glNormal3fv(v->normal.data());
    glVertex3fv(v->position.data());
  }
  glEnd();
}

template <class MeshT>
void GlMesh<MeshT>::FillIndexRuns() {
  // Both arrays point into the vertex records, so the stride is the record.
  const auto* base = reinterpret_cast<const char*>(mesh->vertices.data());
  const GLsizei stride = GLsizei(sizeof(VertexType));
  glEnableClientState(GL_NORMAL_ARRAY);
  glNormalPointer(GL_FLOAT, stride, base ? base + offsetof(VertexType, normal) : nullptr);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, base ? base + offsetof(VertexType, position) : nullptr);
  for (const IndexRun& r : indexRuns)
    if (r.count > 0) glDrawElements(GLenum(r.mode), r.count, GL_UNSIGNED_SHORT, indices.data() + r.first);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

template <class MeshT>
template <int cmIn>
void GlMesh<MeshT>::DrawWire() {
  constexpr int cm = EffectiveColorMode(cmIn);
  if (!(hints & (GlHint::EdgeList | GlHint::LazyLineStrips))) {
    glPushAttrib(GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    DrawSmoothFill<cm, TMNone>();
    glPopAttrib();
    return;
  }
  if (lineStrips.empty()) {
    BuildEdgeList();
    BuildLineStrips();
  }
  if constexpr (cm == CMPerMesh) glColor4ubv(mesh->color.data());
  glBegin(GL_LINE_STRIP);
  for (const VertexType* v : lineStrips) {
    if (!v) {
      glEnd();
      glBegin(GL_LINE_STRIP);
      continue;
    }
    glNormal3fv(v->normal.data());
    glVertex3fv(v->position.data());
  }
  glEnd();
}

template <class MeshT>
template <int cmIn>
void GlMesh<MeshT>::DrawPoints() {
  // Points have no per-face colour: colour mode 2 draws as mode 0.
  constexpr int cm = EffectiveColorMode(cmIn) == CMPerFace ? CMNone : EffectiveColorMode(cmIn);
  glBegin(GL_POINTS);
  if constexpr (cm == CMPerMesh) glColor4ubv(mesh->color.data());
  for (const VertexType& v : mesh->vertices) {
    if (v.flags & ElemFlag::Deleted) continue;
    glNormal3fv(v.normal.data());
    if constexpr (cm == CMPerVert) glColor4ubv(v.color.data());
    glVertex3fv(v.position.data());
  }
  glEnd();
}

}  // namespace quarnel
