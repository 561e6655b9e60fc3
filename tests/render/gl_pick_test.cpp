// Picking in selection mode: order of the hits, names of deleted records,
// the outputs on a miss, and the OpenGL state a pick leaves.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "gl_test_support.h"
#include "render/gl_mesh.h"
#include "render/gl_pick.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

using namespace quarnel::test;

using test::Soup;

// Window pixels of the 64 x 64 view of [-1, 1]^2.
constexpr int Px(double c) { return int((c + 1) * test::kSize / 2); }

// 0: far triangle over the centre (z = -0.5); 1: deleted; 2: near triangle
// over the centre (z = 0.5); 3: small, nearest, top right (z = 0.9); 4 and 5:
// the same small triangle twice, bottom left (z = 0).
Soup PickSoup() {
  Soup s;
  s.points = {{-0.8f, -0.8f, -0.5f}, {0.8f, -0.8f, -0.5f}, {0.0f, 0.8f, -0.5f},
              {-0.6f, -0.6f, 0.5f},  {0.6f, -0.6f, 0.5f},  {0.0f, 0.6f, 0.5f},
              {0.8f, 0.8f, 0.9f},    {0.95f, 0.8f, 0.9f},  {0.9f, 0.95f, 0.9f},
              {-0.98f, -0.98f, 0.0f}, {-0.82f, -0.98f, 0.0f}, {-0.9f, -0.82f, 0.0f},
              {0.8f, 0.8f, 0.9f},    {0.3f, 0.3f, 0.2f}};
  s.tris = {{0, 1, 2}, {3, 4, 5}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}, {9, 10, 11}};
  return s;
}

template <class M>
class PickTest : public test::GlTest {
 protected:
  void SetUp() override {
    test::GlTest::SetUp();
    m = test::Build<M>(PickSoup());
    m.faces[1].flags |= ElemFlag::Deleted;
    --m.faceCount;
    m.vertices[12].flags |= ElemFlag::Deleted;  // a deleted copy of vertex 6
    g.mesh = &m;
  }

  struct State {
    std::array<double, 16> projection, modelview;
    GLint projectionDepth, modelviewDepth, renderMode, matrixMode;
    bool operator==(const State&) const = default;
  };
  static State Snapshot() {
    State s{};
    glGetDoublev(GL_PROJECTION_MATRIX, s.projection.data());
    glGetDoublev(GL_MODELVIEW_MATRIX, s.modelview.data());
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
    glGetIntegerv(GL_RENDER_MODE, &s.renderMode);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    return s;
  }
  std::vector<size_t> Faces(int x, int y, int w, int h) {
    std::vector<typename M::FaceType*> out{m.faces.data()};  // replaced by the pick
    const int n = PickFacesInRect(x, y, m, out, w, h);
    EXPECT_EQ(size_t(n), out.size());
    std::vector<size_t> idx;
    for (auto* f : out) idx.push_back(m.FaceIndex(f));
    return idx;
  }
  std::vector<size_t> Vertices(int x, int y, int w, int h) {
    std::vector<typename M::VertexType*> out{m.vertices.data()};
    const int n = PickVerticesInRect(x, y, m, out, w, h);
    EXPECT_EQ(size_t(n), out.size());
    std::vector<size_t> idx;
    for (auto* v : out) idx.push_back(m.VertexIndex(v));
    return idx;
  }

  M m;
  GlMesh<M> g;
};

using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(PickTest, MeshTypes);

TYPED_TEST(PickTest, NearestFirstAndNamesAreArrayPositions) {
  // Some non-trivial matrices, which the pick must leave as they are.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -1, 1);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glTranslated(0.0, 0.0, 0.0);
  const auto before = this->Snapshot();

  EXPECT_EQ(this->Faces(32, 32, 1, 1), (std::vector<size_t>{2, 0}));
  EXPECT_EQ(this->Faces(Px(-0.9), Px(-0.92), 1, 1), (std::vector<size_t>{4, 5}));
  EXPECT_EQ(this->Faces(32, 32, 64, 64), (std::vector<size_t>{3, 2, 4, 5, 0}));
  EXPECT_EQ(this->Snapshot(), before);

  int face = -7;
  float bary[3] = {-1, -1, -1};
  ASSERT_EQ(this->g.PickFace(32, 32, &face, Vec3f(0.0f, 0.0f, 0.5f), bary), 1);
  EXPECT_EQ(face, 2);
  EXPECT_NEAR(bary[0] + bary[1] + bary[2], 1.0f, 1e-6);
  EXPECT_NEAR(bary[2], 0.5f, 1e-6);  // (0, 0) is halfway up from the base
  EXPECT_NEAR(bary[0], 0.25f, 1e-6);
  EXPECT_EQ(this->Snapshot(), before);

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

TYPED_TEST(PickTest, MissLeavesTheOutputsUntouched) {
  const auto before = this->Snapshot();
  int face = -7;
  float bary[3] = {-1, -2, -3};
  EXPECT_EQ(this->g.PickFace(2, 61, &face, Vec3f(0, 0, 0), bary), 0);
  EXPECT_EQ(face, -7);
  EXPECT_EQ(bary[0], -1);
  EXPECT_EQ(bary[1], -2);
  EXPECT_EQ(bary[2], -3);
  EXPECT_TRUE(this->Faces(2, 61, 3, 3).empty());
  EXPECT_TRUE(this->Vertices(2, 61, 3, 3).empty());
  EXPECT_EQ(this->Snapshot(), before);

  GlMesh<TypeParam> unbound;
  EXPECT_EQ(unbound.PickFace(32, 32, &face, Vec3f(0, 0, 0), bary), 0);
  EXPECT_EQ(face, -7);
  TypeParam empty;
  std::vector<typename TypeParam::FaceType*> out(3, nullptr);
  EXPECT_EQ(PickFacesInRect(32, 32, empty, out, 64, 64), 0);
  EXPECT_TRUE(out.empty());
}

TYPED_TEST(PickTest, VerticesInARectangle) {
  // Vertex 6 and its deleted copy 12 sit on one pixel; only 6 is live.
  EXPECT_EQ(this->Vertices(Px(0.8), Px(0.8), 3, 3), (std::vector<size_t>{6}));
  // Vertex 13 is under vertex 6 at the same (x, y), farther away.
  this->m.vertices[13].flags = 0;
  this->m.vertices[13].position = Vec3f(0.8f, 0.8f, 0.2f);
  EXPECT_EQ(this->Vertices(Px(0.8), Px(0.8), 3, 3), (std::vector<size_t>{6, 13}));
  EXPECT_EQ(this->Vertices(32, 32, 64, 64).size(), this->m.vertices.size() - 1);
}

// Selection of every live face with no culling: the reference for the pick.
template <class M>
std::vector<size_t> ReferencePick(M& m, int x, int y, int w, int h) {
  std::vector<GLuint> buffer(m.faces.size() * 5 + 8);
  glSelectBuffer(GLsizei(buffer.size()), buffer.data());
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(~GLuint(0));
  GLint viewport[4];
  GLdouble p[16];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPickMatrix(x, y, w, h, viewport);
  glMultMatrixd(p);
  glMatrixMode(GL_MODELVIEW);
  for (size_t i = 0; i < m.faces.size(); ++i) {
    if (!IsLive(m.faces[i].flags)) continue;
    glLoadName(GLuint(i));
    glBegin(GL_TRIANGLES);
    for (auto* v : m.faces[i].v) glVertex3fv(v->position.data());
    glEnd();
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  const GLint hits = glRenderMode(GL_RENDER);
  std::vector<std::pair<GLuint, GLuint>> byDepth;
  for (GLint k = 0; k < hits; ++k) byDepth.emplace_back(buffer[size_t(k) * 4 + 1], buffer[size_t(k) * 4 + 3]);
  std::sort(byDepth.begin(), byDepth.end());
  std::vector<size_t> idx;
  for (auto& [d, n] : byDepth) idx.push_back(n);
  return idx;
}

TYPED_TEST(PickTest, SameHitsAsDrawingEveryFace) {
  // A perspective view into a sphere that crosses the near plane, turned.
  auto m = test::Icosphere<TypeParam>(3, 1.0f);
  for (size_t i = 0; i < m.faces.size(); i += 9) m.faces[i].flags |= ElemFlag::Deleted;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60.0, 1.0, 0.5, 10.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslated(0.2, -0.1, -1.3);
  glRotated(35.0, 1.0, 0.4, 0.0);
  size_t total = 0;
  for (auto [x, y, w, h] : {std::array<int, 4>{32, 32, 1, 1}, {32, 32, 64, 64}, {10, 50, 7, 3},
                            {0, 0, 5, 5}, {63, 20, 20, 1}, {70, 32, 10, 10}, {45, 12, 2, 30}}) {
    SCOPED_TRACE(::testing::Message() << x << ", " << y << ", " << w << ", " << h);
    const auto expected = ReferencePick(m, x, y, w, h);
    std::vector<typename TypeParam::FaceType*> out;
    PickFacesInRect(x, y, m, out, w, h);
    std::vector<size_t> got;
    for (auto* f : out) got.push_back(m.FaceIndex(f));
    // Ties in depth may come in either order from the reference.
    auto sortedGot = got, sortedExpected = expected;
    std::sort(sortedGot.begin(), sortedGot.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedGot, sortedExpected);
    total += got.size();
  }
  EXPECT_GT(total, 100u);
}

}  // namespace
}  // namespace quarnel
