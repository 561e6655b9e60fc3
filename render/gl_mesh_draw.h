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
#include <cstring>

#include "render/box_drawer.h"
#include "render/gl_mesh.h"

namespace quarnel {

// Below every 16-bit texture index.
inline constexpr int kNoTexture = -0x10000;

// A colour as glColor4ubv hands it on: each byte divided by 255 in single
// precision. Byte colour arrays are converted by another formula that can
// differ in the last bit, so the arrays carry these floats.
inline void ColorToFloats(const Color4b& c, float* out) {
  for (int i = 0; i < 4; ++i) out[i] = float(c[i]) / 255.0f;
}

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
    // Switching textures face by face stays with the immediate calls.
    if constexpr (tm != TMPerWedgeMulti) {
      if (hints & GlHint::VertexArrays) {
        FillTriangleArrays<kind, cm, tm>();
        return;
      }
    }
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

// The triangles of FillTriangles as arrays: every corner carries the
// attributes the immediate calls give it, in the same order, so the same
// triangles reach the rasteriser with the same values. The corners go in
// batches through one buffer; OpenGL copies a batch when it is drawn.
template <class MeshT>
template <typename GlMesh<MeshT>::FillKind kind, int cm, int tm>
void GlMesh<MeshT>::FillTriangleArrays() {
  constexpr bool kNormal = kind != FillKind::Depth;
  constexpr bool kColor = cm == CMPerFace || cm == CMPerVert;
  constexpr bool kTexture = tm == TMPerWedge;
  constexpr size_t kColorAt = kNormal ? 6 : 3;                   // in floats
  constexpr size_t kTextureAt = kColorAt + (kColor ? 4 : 0);
  constexpr size_t kFloats = kTextureAt + (kTexture ? 2 : 0);
  constexpr size_t kBatch = 3 * 16384;                           // corners
  constexpr GLsizei kStride = GLsizei(kFloats * sizeof(float));
  stream.resize(kFloats * kBatch);
  float* const out = stream.data();

  const VertexType* const vertices = mesh->vertices.data();
  const bool skip = (hints & GlHint::SkipUncovered) && vertices && coverage.Begin();
  if (skip) coverage.Project(&vertices->position, sizeof(VertexType), mesh->vertices.size());

  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, out);
  if constexpr (kNormal) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, kStride, out + 3);
  }
  if constexpr (kColor) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, kStride, out + kColorAt);
  }
  if constexpr (kTexture) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, kStride, out + kTextureAt);
  }
  const FaceType* last = nullptr;
  size_t n = 0;
  for (const FaceType& f : mesh->faces) {
    if (f.flags & ElemFlag::Deleted) continue;
    last = &f;
    if (skip && !coverage.Covers(size_t(f.v[0] - vertices), size_t(f.v[1] - vertices),
                                 size_t(f.v[2] - vertices)))
      continue;
    for (int k = 0; k < 3; ++k) {
      const VertexType& v = *f.v[k];
      float* c = out + n * kFloats;
      std::memcpy(c, v.position.data(), 3 * sizeof(float));
      if constexpr (kind == FillKind::Flat) std::memcpy(c + 3, f.normal.data(), 3 * sizeof(float));
      if constexpr (kind == FillKind::Smooth) std::memcpy(c + 3, v.normal.data(), 3 * sizeof(float));
      if constexpr (cm == CMPerFace) ColorToFloats(f.color, c + kColorAt);
      if constexpr (cm == CMPerVert) ColorToFloats(v.color, c + kColorAt);
      if constexpr (kTexture) std::memcpy(c + kTextureAt, &f.wedge[k].u, 2 * sizeof(float));
      ++n;
    }
    if (n == kBatch) {
      glDrawArrays(GL_TRIANGLES, 0, GLsizei(n));
      n = 0;
    }
  }
  if (n > 0) glDrawArrays(GL_TRIANGLES, 0, GLsizei(n));
  glDisableClientState(GL_VERTEX_ARRAY);
  if constexpr (kNormal) glDisableClientState(GL_NORMAL_ARRAY);
  if constexpr (kColor) glDisableClientState(GL_COLOR_ARRAY);
  if constexpr (kTexture) glDisableClientState(GL_TEXTURE_COORD_ARRAY);

  // The immediate calls leave the last corner's attributes current (and, with
  // colour material, its colour in the material); what is drawn next may rely
  // on them.
  if (!last) return;
  const VertexType& v = *last->v[2];
  if constexpr (kind == FillKind::Flat) glNormal3fv(last->normal.data());
  if constexpr (kind == FillKind::Smooth) glNormal3fv(v.normal.data());
  if constexpr (cm == CMPerFace) glColor4ubv(last->color.data());
  if constexpr (cm == CMPerVert) glColor4ubv(v.color.data());
  if constexpr (kTexture) glTexCoord2fv(&last->wedge[2].u);
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
  if (hints & GlHint::VertexArrays) {
    DrawLineStripArrays();
    return;
  }
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

// The line strips of DrawWire as arrays: each strip is one draw of its
// vertices, positions and normals, as the immediate calls issue them. A strip
// that does not fit in the rest of the buffer goes on from its last vertex in
// a fresh one, which draws the same segments.
template <class MeshT>
void GlMesh<MeshT>::DrawLineStripArrays() {
  constexpr size_t kBatch = 65536;  // vertices
  constexpr GLsizei kStride = GLsizei(6 * sizeof(float));
  stream.resize(6 * kBatch);
  float* const out = stream.data();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, kStride, out);
  glNormalPointer(GL_FLOAT, kStride, out + 3);
  const VertexType* last = nullptr;
  size_t first = 0, n = 0;  // the strip being filled is [first, n)
  for (const VertexType* v : lineStrips) {
    if (!v) {
      if (n > first) glDrawArrays(GL_LINE_STRIP, GLint(first), GLsizei(n - first));
      first = n;
      continue;
    }
    if (n == kBatch) {
      const bool open = n > first;
      if (open) {
        glDrawArrays(GL_LINE_STRIP, GLint(first), GLsizei(n - first));
        std::memcpy(out, out + 6 * (n - 1), 6 * sizeof(float));
      }
      first = 0;
      n = open ? 1 : 0;
    }
    std::memcpy(out + 6 * n, v->position.data(), 3 * sizeof(float));
    std::memcpy(out + 6 * n + 3, v->normal.data(), 3 * sizeof(float));
    ++n;
    last = v;
  }
  if (n > first) glDrawArrays(GL_LINE_STRIP, GLint(first), GLsizei(n - first));
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  if (last) glNormal3fv(last->normal.data());
}

// The points of DrawPoints as arrays over the vertex records themselves,
// one draw per run of live vertices. Vertex colours stay with the immediate
// calls (byte colour arrays are converted differently).
template <class MeshT>
void GlMesh<MeshT>::DrawPointArrays() {
  const VertexType* const vertices = mesh->vertices.data();
  const size_t count = mesh->vertices.size();
  if (!vertices) return;
  const GLsizei stride = GLsizei(sizeof(VertexType));
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, vertices->position.data());
  glNormalPointer(GL_FLOAT, stride, vertices->normal.data());
  const VertexType* last = nullptr;
  size_t first = 0;
  for (size_t i = 0; i <= count; ++i) {
    if (i < count && !(vertices[i].flags & ElemFlag::Deleted)) {
      last = &vertices[i];
      continue;
    }
    if (i > first) glDrawArrays(GL_POINTS, GLint(first), GLsizei(i - first));
    first = i + 1;
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  if (last) glNormal3fv(last->normal.data());
}

template <class MeshT>
template <int cmIn>
void GlMesh<MeshT>::DrawPoints() {
  // Points have no per-face colour: colour mode 2 draws as mode 0.
  constexpr int cm = EffectiveColorMode(cmIn) == CMPerFace ? CMNone : EffectiveColorMode(cmIn);
  if constexpr (cm != CMPerVert) {
    if (hints & GlHint::VertexArrays) {
      if constexpr (cm == CMPerMesh) glColor4ubv(mesh->color.data());
      DrawPointArrays();
      return;
    }
  }
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
