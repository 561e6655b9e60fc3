#include "render/gl_pick.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "render/clip_matrix.h"

namespace quarnel {
namespace {

// The pick volume in clip coordinates: projection (with the pick matrix) times
// modelview, as OpenGL holds them while the elements are drawn.
struct ClipSpace {
  GLdouble m[16];  // column-major

  void Read() { ReadClipMatrix(m); }

  // One bit per side of the volume the point lies beyond. A little slack
  // keeps a point on a side, or within rounding of it, inside: such an
  // element is drawn and OpenGL decides.
  uint8_t Outcode(const Vec3f& p) const {
    const double x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    const double y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    const double z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
    const double w = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
    auto beyond = [w](double c) { return c - w > 1e-5 * (std::fabs(c) + std::fabs(w)) + 1e-30; };
    return uint8_t(beyond(x) | beyond(-x) << 1 | beyond(y) << 2 | beyond(-y) << 3 | beyond(z) << 4 |
                   beyond(-z) << 5);
  }
};

// Draws each live element that can meet the pick volume under its array
// position and returns the hits as (minimum depth in [0, 1], name), sorted.
// `prepare` runs once the pick volume is known; `cull` then says whether an
// element lies wholly outside it (such an element cannot be hit, so leaving
// it out changes no result and spares most of the selection work on a large
// mesh); `drawOne` issues one element. Everything is allocated before
// selection mode is entered or after it is left.
template <class Record, class Prepare, class Cull, class DrawOne>
std::vector<std::pair<double, uint32_t>> SelectHits(int x, int y, int width, int height,
                                                    const std::vector<Record>& records,
                                                    Prepare prepare, Cull cull, DrawOne drawOne) {
  std::vector<std::pair<double, uint32_t>> hits;
  // Nothing can be hit, and OpenGL refuses selection mode without a buffer.
  if (records.empty()) return hits;
  // With one name on the stack a hit takes four entries, so five per record
  // cannot overflow. The size handed to OpenGL is an int; a larger array
  // gets the largest buffer OpenGL can take, and an overflow then reports no
  // hit rather than a wrong one.
  const size_t entries = std::min(records.size() * 5, size_t(INT_MAX));
  std::vector<GLuint> buffer(entries);
  glSelectBuffer(GLsizei(entries), buffer.data());
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(~GLuint(0));

  GLint viewport[4];
  GLdouble projection[16];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glMatrixMode(GL_PROJECTION);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glPushMatrix();
  glLoadIdentity();
  gluPickMatrix(double(x), double(y), double(width), double(height), viewport);
  glMultMatrixd(projection);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();

  ClipSpace clip;
  clip.Read();
  prepare(clip);
  for (size_t i = 0; i < records.size(); ++i) {
    if (!IsLive(records[i].flags) || cull(records[i])) continue;
    glLoadName(GLuint(i));
    drawOne(records[i]);
  }

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  const GLint h = glRenderMode(GL_RENDER);

  // Records are read by their own name counts and never past the entries
  // OpenGL filled; a name that is not an array position is dropped.
  size_t k = 0;
  for (GLint n = 0; n < h && k + 3 <= entries; ++n) {
    const GLuint names = buffer[k];
    if (names == 0 || k + 3 + names > entries) break;
    const GLuint name = buffer[k + 2 + names];
    if (name < records.size())
      hits.emplace_back(double(buffer[k + 1]) * 2.3283064370807974e-10, uint32_t(name));
    k += 3 + names;
  }
  std::sort(hits.begin(), hits.end());
  return hits;
}

}  // namespace

template <class MeshT>
int PickFacesInRect(int x, int y, MeshT& mesh, std::vector<typename MeshT::FaceType*>& out,
                    int width, int height) {
  using F = typename MeshT::FaceType;
  using V = typename MeshT::VertexType;
  std::vector<F*>().swap(out);
  const V* base = mesh.vertices.data();
  std::vector<uint8_t> codes(mesh.faces.empty() ? 0 : mesh.vertices.size());
  const auto hits = SelectHits(
      x, y, width, height, mesh.faces,
      [&](const ClipSpace& clip) {
        for (size_t i = 0; i < codes.size(); ++i) codes[i] = clip.Outcode(mesh.vertices[i].position);
      },
      [&](const F& f) {
        return (codes[size_t(f.v[0] - base)] & codes[size_t(f.v[1] - base)] &
                codes[size_t(f.v[2] - base)]) != 0;
      },
      [](const F& f) {
        glBegin(GL_TRIANGLES);
        glVertex3fv(f.v[0]->position.data());
        glVertex3fv(f.v[1]->position.data());
        glVertex3fv(f.v[2]->position.data());
        glEnd();
      });
  out.reserve(hits.size());
  for (const auto& h : hits) out.push_back(&mesh.faces[h.second]);
  return int(out.size());
}

template <class MeshT>
int PickVerticesInRect(int x, int y, MeshT& mesh, std::vector<typename MeshT::VertexType*>& out,
                       int width, int height) {
  using V = typename MeshT::VertexType;
  std::vector<V*>().swap(out);
  const ClipSpace* volume = nullptr;
  const auto hits = SelectHits(
      x, y, width, height, mesh.vertices, [&](const ClipSpace& clip) { volume = &clip; },
      [&](const V& v) { return volume->Outcode(v.position) != 0; },
      [](const V& v) {
        glBegin(GL_POINTS);
        glVertex3fv(v.position.data());
        glEnd();
      });
  out.reserve(hits.size());
  for (const auto& h : hits) out.push_back(&mesh.vertices[h.second]);
  return int(out.size());
}

template int PickFacesInRect<MeshT1>(int, int, MeshT1&, std::vector<FaceT1*>&, int, int);
template int PickFacesInRect<MeshT3>(int, int, MeshT3&, std::vector<FaceT3*>&, int, int);
template int PickFacesInRect<MeshT4>(int, int, MeshT4&, std::vector<FaceT4*>&, int, int);
template int PickFacesInRect<MeshT5>(int, int, MeshT5&, std::vector<FaceT5*>&, int, int);
template int PickVerticesInRect<MeshT1>(int, int, MeshT1&, std::vector<VertexT1*>&, int, int);
template int PickVerticesInRect<MeshT3>(int, int, MeshT3&, std::vector<VertexT3*>&, int, int);
template int PickVerticesInRect<MeshT4>(int, int, MeshT4&, std::vector<VertexT4*>&, int, int);
template int PickVerticesInRect<MeshT5>(int, int, MeshT5&, std::vector<VertexT5*>&, int, int);

}  // namespace quarnel
