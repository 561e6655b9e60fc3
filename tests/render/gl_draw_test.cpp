// Drawing in every mode on every mesh type, checked through pixels, GL
// feedback and the state each draw leaves.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "gl_test_support.h"
#include "render/gl_mesh.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

using namespace quarnel::test;

using test::Build;
using test::Soup;

template <class M>
constexpr bool kFaceColor = HasColor<typename M::FaceType>;
template <class M>
constexpr bool kVertexColor = HasColor<typename M::VertexType>;
template <class M>
constexpr bool kWedges = HasWedge<typename M::FaceType>;

// Vertex colours red, face colours blue, wedge coordinates (0.5, 0.25) and
// texture index 0, where the type keeps them.
template <class M>
void Decorate(M& m) {
  for (auto& v : m.vertices)
    if constexpr (kVertexColor<M>) v.color = {255, 0, 0, 255};
  for (auto& f : m.faces) {
    if constexpr (kFaceColor<M>) f.color = {0, 0, 255, 255};
    if constexpr (kWedges<M>)
      for (auto& w : f.wedge) w = {0.5f, 0.25f, 0};
  }
  m.color = {10, 20, 30, 255};
}

// Points g at m and builds everything it draws from.
template <class M>
void Attach(GlMesh<M>& g, M& m) {
  g.mesh = &m;
  g.Update(GlChange::All);
}

template <class M>
M Ball() {
  M m = Build<M>(test::IcosphereSoup(2, 0.8f));
  Decorate(m);
  return m;
}

template <class M>
class DrawTest : public test::GlTest {};
using MeshTypes = ::testing::Types<MeshT1, MeshT3, MeshT4, MeshT5>;
TYPED_TEST_SUITE(DrawTest, MeshTypes);

std::array<double, 2> DepthRange() {
  std::array<double, 2> r{};
  glGetDoublev(GL_DEPTH_RANGE, r.data());
  return r;
}
std::array<float, 4> CurrentColor() {
  std::array<float, 4> c{};
  glGetFloatv(GL_CURRENT_COLOR, c.data());
  return c;
}
GLint Integer(GLenum e) {
  GLint v = 0;
  glGetIntegerv(e, &v);
  return v;
}

TYPED_TEST(DrawTest, EveryModeDrawsAndLeavesTheStateThePartsSay) {
  auto m = Ball<TypeParam>();
  GlMesh<TypeParam> g;
  g.depthOffset = 0.0005f;
  Attach(g, m);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  for (int dm = 0; dm < 8; ++dm)
    for (int cm = 0; cm < 4; ++cm)
      for (int tm = 0; tm < 4; ++tm) {
        SCOPED_TRACE(::testing::Message() << "Draw(" << dm << ", " << cm << ", " << tm << ")");
        Clear();
        glEnable(GL_LIGHTING);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glColor4f(1, 1, 1, 1);
        g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), 1);
        const int lit = LitPixels();
        if (dm == DMNone) {
          EXPECT_EQ(lit, 0);
        } else {
          EXPECT_GT(lit, 20);
        }
        EXPECT_EQ(DepthRange(), (std::array<double, 2>{0.0, 1.0}));
        GLboolean mask[4];
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);
        if (dm == DMHidden) {
          EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
        }
        if (dm == DMFlatWire) {
          EXPECT_EQ(CurrentColor(), (std::array<float, 4>{0.3f, 0.3f, 0.3f, 1.0f}));
        }
        if (dm == DMBox && cm == CMPerMesh) {
          EXPECT_EQ(CurrentColor(), (std::array<float, 4>{10 / 255.f, 20 / 255.f, 30 / 255.f, 1.0f}));
        }
        if (dm == DMBox && cm != CMPerMesh) {
          EXPECT_EQ(CurrentColor(), (std::array<float, 4>{1, 1, 1, 1}));
        }
        EXPECT_EQ(g.listId, -1);
      }
  // Hidden line turns lighting on whatever it was before.
  glDisable(GL_LIGHTING);
  g.Draw(DMHidden, CMNone, TMNone);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  // The box itself leaves lighting as it found it.
  glDisable(GL_LIGHTING);
  g.Draw(DMBox, CMNone, TMNone);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  glDisable(GL_LIGHT0);
  glDisable(GL_NORMALIZE);
}

// A mode whose data the type lacks issues exactly what the no-colour or
// no-texture mode issues; the current colour and texture coordinate apply.
TYPED_TEST(DrawTest, ModesWithoutDataDrawAsNone) {
  auto m = Ball<TypeParam>();
  GlMesh<TypeParam> g;
  Attach(g, m);
  using G = GlMesh<TypeParam>;
  GLuint marker = 0;
  glGenTextures(1, &marker);
  for (int dm = 0; dm < 8; ++dm)
    for (int cm = 0; cm < 4; ++cm)
      for (int tm = 0; tm < 4; ++tm) {
        SCOPED_TRACE(::testing::Message() << "Draw(" << dm << ", " << cm << ", " << tm << ")");
        auto run = [&](int c, int t) {
          glDisable(GL_LIGHTING);  // hidden line leaves it on
          glColor4f(0.2f, 0.4f, 0.6f, 1.0f);
          glTexCoord2f(0.125f, 0.875f);
          glBindTexture(GL_TEXTURE_2D, marker);
          return Feedback([&] { g.Draw(DrawMode(dm), ColorMode(c), TextureMode(t)); });
        };
        const auto got = run(cm, tm);
        const auto expected = run(G::EffectiveColorMode(cm), G::EffectiveTextureMode(tm));
        EXPECT_EQ(got, expected);
        // Only a texture mode with wedges may bind.
        if (G::EffectiveTextureMode(tm) != TMPerWedgeMulti || dm < DMFlat) {
          (void)run(cm, tm);
          EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(marker));
        }
      }
  EXPECT_EQ(G::EffectiveTextureMode(TMPerVert), TMNone);
  EXPECT_EQ(G::EffectiveColorMode(CMPerMesh), CMPerMesh);
  glDeleteTextures(1, &marker);

  // What the pinned behaviour means on the plain type: the current colour.
  if constexpr (!kVertexColor<TypeParam>) {
    glDisable(GL_LIGHTING);
    glColor4f(0.2f, 0.4f, 0.6f, 1.0f);
    auto ps = Primitives(Feedback([&] { g.Draw(DMFlat, CMPerVert, TMNone); }));
    ASSERT_FALSE(ps.empty());
    EXPECT_FLOAT_EQ(ps[0].vertices[0][5], 0.4f);
  }
}

TYPED_TEST(DrawTest, SharedBehaviours) {
  auto m = Ball<TypeParam>();
  GlMesh<TypeParam> g;
  Attach(g, m);
  auto fb = [&](int dm, int cm, int tm) {
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    return Feedback([&] { g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm)); });
  };
  for (int tm = 0; tm < 4; ++tm) EXPECT_EQ(fb(DMPoints, CMPerFace, tm), fb(DMPoints, CMNone, tm));
  const auto hidden = fb(DMHidden, CMNone, TMNone);
  EXPECT_FALSE(hidden.empty());
  for (int cm = 0; cm < 4; ++cm)
    for (int tm = 0; tm < 4; ++tm) EXPECT_EQ(fb(DMHidden, cm, tm), hidden);
  // The box: twelve lines, eighteen vertices.
  auto box = Primitives(fb(DMBox, CMNone, TMNone));
  EXPECT_EQ(box.size(), 12u);
  EXPECT_EQ(Count(box, GL_LINE_TOKEN), 12u);
}

class GlDraw : public test::GlTest {};

TEST_F(GlDraw, PointsOfLiveVerticesOnly) {
  auto m = Build<MeshT3>(test::GridSoup(4, 0.2f));
  m.vertices[3].flags |= ElemFlag::Deleted;
  m.vertices[7].flags |= ElemFlag::Excluded;
  GlMeshT3 g;
  Attach(g, m);
  std::vector<float> buffer(100000);
  glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  g.Draw(DMPoints, CMPerVert, TMNone);
  const GLint n = glRenderMode(GL_RENDER);
  EXPECT_EQ(n, GLint((m.vertices.size() - 1) * 4));  // token + x, y, z per point
}

// Two triangles side by side: left one (vertices 0-2), right one (3-5).
Soup TwoTriangles(float z = 0.0f) {
  Soup s;
  s.points = {{-0.9f, -0.9f, z}, {-0.1f, -0.9f, z}, {-0.5f, 0.9f, z},
              {0.1f, -0.9f, z},  {0.9f, -0.9f, z},  {0.5f, 0.9f, z}};
  s.tris = {{0, 1, 2}, {3, 4, 5}};
  return s;
}

TYPED_TEST(DrawTest, ColoursReadBack) {
  auto m = Build<TypeParam>(TwoTriangles());
  if constexpr (kVertexColor<TypeParam>) {
    for (int i = 0; i < 3; ++i) m.vertices[size_t(i)].color = {255, 0, 0, 255};
    for (int i = 3; i < 6; ++i) m.vertices[size_t(i)].color = {0, 255, 0, 255};
  }
  if constexpr (kFaceColor<TypeParam>) {
    m.faces[0].color = {0, 0, 255, 255};
    m.faces[1].color = {255, 255, 0, 255};
  }
  m.color = {10, 20, 30, 255};
  GlMesh<TypeParam> g;
  Attach(g, m);
  using C = std::array<int, 4>;
  const C current{128, 128, 128, 255};
  for (int dm : {DMFlat, DMSmooth, DMFlatWire}) {
    SCOPED_TRACE(dm);
    auto draw = [&](int cm) {
      Clear();
      glColor4ub(128, 128, 128, 255);
      g.Draw(DrawMode(dm), ColorMode(cm), TMNone);
      return std::make_pair(PixelAt(-0.5, -0.5), PixelAt(0.5, -0.5));
    };
    EXPECT_EQ(draw(CMNone), std::make_pair(current, current));
    EXPECT_EQ(draw(CMPerMesh), std::make_pair(C{10, 20, 30, 255}, C{10, 20, 30, 255}));
    const auto perFace = kFaceColor<TypeParam> ? std::make_pair(C{0, 0, 255, 255}, C{255, 255, 0, 255})
                                               : std::make_pair(current, current);
    EXPECT_EQ(draw(CMPerFace), perFace);
    const auto perVertex = kVertexColor<TypeParam> ? std::make_pair(C{255, 0, 0, 255}, C{0, 255, 0, 255})
                                                   : std::make_pair(current, current);
    EXPECT_EQ(draw(CMPerVert), perVertex);
  }
}

TYPED_TEST(DrawTest, HiddenLineHidesABackEdgeThatWireShows) {
  // A large triangle in front (z = 0.5) and a smaller one behind it whose
  // bottom edge (y = -0.3) runs across the front one's interior.
  auto m = Build<TypeParam>({{-0.9f, -0.9f, 0.5f}, {0.9f, -0.9f, 0.5f}, {0.0f, 0.9f, 0.5f},
                             {-0.5f, -0.3f, -0.5f}, {0.5f, -0.3f, -0.5f}, {0.0f, 0.5f, -0.5f}},
                            {{0, 1, 2}, {3, 4, 5}});
  GlMesh<TypeParam> g;
  g.depthOffset = 0.0005f;
  Attach(g, m);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  auto bright = [](std::array<int, 4> p) { return p[0] > 100 && p[1] > 100 && p[2] > 100; };

  Clear();
  g.Draw(DMWire, CMNone, TMNone);
  EXPECT_TRUE(bright(PixelAt(0.0, -0.3)));  // back edge
  EXPECT_TRUE(bright(PixelAt(0.0, -0.9)));  // front edge

  Clear();
  g.Draw(DMHidden, CMNone, TMNone);
  EXPECT_EQ(PixelAt(0.0, -0.3), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_TRUE(bright(PixelAt(0.0, -0.9)));
  // The faces wrote depth only.
  EXPECT_EQ(PixelAt(0.0, 0.0), (std::array<int, 4>{0, 0, 0, 0}));
  glDisable(GL_LIGHT0);
  glDisable(GL_NORMALIZE);
  glDisable(GL_LIGHTING);
}

TYPED_TEST(DrawTest, FlatWireGreyOverTheFillAndItsDepthRanges) {
  auto m = Build<TypeParam>({{-0.9f, -0.9f, 0.0f}, {0.9f, -0.9f, 0.0f}, {0.0f, 0.9f, 0.0f}},
                            {{0, 1, 2}});
  m.color = {255, 0, 0, 255};
  GlMesh<TypeParam> g;
  g.depthOffset = 0.25f;
  Attach(g, m);

  Clear();
  g.Draw(DMFlatWire, CMPerMesh, TMNone);
  EXPECT_EQ(PixelAt(0.0, -0.3), (std::array<int, 4>{255, 0, 0, 255}));
  const auto edge = PixelAt(0.0, -0.9);
  EXPECT_NEAR(edge[0], 77, 1);
  EXPECT_EQ(edge[0], edge[1]);
  EXPECT_EQ(edge[1], edge[2]);
  EXPECT_EQ(CurrentColor(), (std::array<float, 4>{0.3f, 0.3f, 0.3f, 1.0f}));

  // z = 0 lies mid-range: the fill at 0.25 + 0.75 / 2, the wire at 0.75 / 2.
  auto ps = Primitives(Feedback([&] { g.Draw(DMFlatWire, CMPerMesh, TMNone); }));
  ASSERT_EQ(Count(ps, GL_POLYGON_TOKEN), 1u);
  ASSERT_EQ(Count(ps, GL_LINE_TOKEN), 3u);
  for (auto& p : ps)
    for (auto& v : p.vertices) {
      if (p.token == GL_POLYGON_TOKEN) {
        EXPECT_NEAR(v[2], 0.625f, 1e-4);
        EXPECT_FLOAT_EQ(v[4], 1.0f);
        EXPECT_FLOAT_EQ(v[5], 0.0f);
      } else {
        EXPECT_NEAR(v[2], 0.375f, 1e-4);
        EXPECT_FLOAT_EQ(v[4], 0.3f);
        EXPECT_FLOAT_EQ(v[6], 0.3f);
      }
    }
  EXPECT_EQ(DepthRange(), (std::array<double, 2>{0.0, 1.0}));
}

TEST_F(GlDraw, InvalidModesAndUnboundDrawersDrawNothing) {
  auto m = Ball<MeshT5>();
  GlMeshT5 g;
  g.hints |= GlHint::DisplayList;
  Attach(g, m);
  g.listDrawMode = 3;
  g.listColorMode = 1;
  for (auto [dm, cm, tm] : {std::array<int, 3>{8, 0, 0}, {-1, 0, 0}, {5, 4, 0}, {5, 0, -1},
                            {INT32_MIN, 0, 0}, {2, -3, 1}}) {
    std::vector<float> buffer(1000);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm));
    EXPECT_EQ(glRenderMode(GL_RENDER), 0);
    EXPECT_EQ(g.listId, -1);
    EXPECT_EQ(g.listDrawMode, 3);
    EXPECT_EQ(g.listColorMode, 1);
  }
  // An unbound drawer draws nothing in any mode, lists on or not.
  GlMeshT5 unbound;
  unbound.hints |= GlHint::DisplayList;
  unbound.listDrawMode = 5;
  for (int dm = 0; dm < 8; ++dm) {
    std::vector<float> buffer(1000);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    unbound.Draw(DrawMode(dm), CMPerMesh, TMNone);
    EXPECT_EQ(glRenderMode(GL_RENDER), 0);
  }
  EXPECT_EQ(unbound.listId, -1);
  EXPECT_EQ(unbound.listDrawMode, 5);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

class DisplayListTest : public test::GlTest {};

TEST_F(DisplayListTest, CompileReplayAndRecompile) {
  auto m = Build<MeshT4>({{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0, 0.5f, 0}}, {{0, 1, 2}});
  GlMeshT4 g;
  Attach(g, m);
  auto firstX = [&](int dm, int cm, int tm) {
    auto ps = Primitives(Feedback([&] { g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm)); }));
    return ps.empty() ? -1.0f : ps[0].vertices[0][0];
  };
  const float x0 = firstX(DMFlat, CMNone, TMNone);

  // Off: no list is ever generated.
  EXPECT_EQ(g.listId, -1);

  g.hints |= GlHint::DisplayList;
  EXPECT_FLOAT_EQ(firstX(DMFlat, CMNone, TMPerWedge), x0);
  const int32_t id = g.listId;
  ASSERT_GT(id, 0);
  EXPECT_TRUE(glIsList(GLuint(id)));
  EXPECT_EQ(g.listDrawMode, DMFlat);
  EXPECT_EQ(g.listColorMode, CMNone);
  EXPECT_EQ(g.listTextureMode, TMPerWedge);

  // Move the vertices without telling the drawer: the same modes replay.
  for (auto& v : m.vertices) v.position.x += 0.25f;
  EXPECT_FLOAT_EQ(firstX(DMFlat, CMNone, TMPerWedge), x0);
  // Another texture mode alone recompiles, into the same name.
  const float x1 = firstX(DMFlat, CMNone, TMPerWedgeMulti);
  EXPECT_NE(x1, x0);
  EXPECT_EQ(g.listId, id);
  EXPECT_EQ(g.listTextureMode, TMPerWedgeMulti);
  // Update resets the key: the same modes compile again.
  for (auto& v : m.vertices) v.position.x += 0.25f;
  g.Update(GlChange::Positions);
  EXPECT_EQ(g.listDrawMode, 0);
  const float x2 = firstX(DMFlat, CMNone, TMPerWedgeMulti);
  EXPECT_NE(x2, x1);
  EXPECT_EQ(g.listId, id);
  // (0, 0, 0) compiles every time and leaves no key.
  g.Draw(DMNone, CMNone, TMNone);
  EXPECT_EQ(g.listDrawMode, 0);
  EXPECT_EQ(g.listColorMode, 0);
  EXPECT_EQ(g.listTextureMode, 0);
  for (auto& v : m.vertices) v.position.x += 0.25f;
  EXPECT_NE(firstX(DMFlat, CMNone, TMPerWedgeMulti), x2);
  // Clearing the bit keeps the key; setting it again replays.
  g.hints &= ~GlHint::DisplayList;
  g.Draw(DMWire, CMNone, TMNone);
  EXPECT_EQ(g.listDrawMode, DMFlat);
  g.hints |= GlHint::DisplayList;
  const float x3 = firstX(DMFlat, CMNone, TMPerWedgeMulti);
  for (auto& v : m.vertices) v.position.x += 0.25f;
  EXPECT_FLOAT_EQ(firstX(DMFlat, CMNone, TMPerWedgeMulti), x3);
  EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), 1);
  EXPECT_EQ(Integer(GL_LIST_INDEX), 0);
}

class TextureTest : public test::GlTest {
 protected:
  void SetUp() override {
    test::GlTest::SetUp();
    glGenTextures(2, tex_);
    const unsigned char red[16] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    const unsigned char blue[16] = {0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    for (int i = 0; i < 2; ++i) {
      glBindTexture(GL_TEXTURE_2D, tex_[i]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, i ? blue : red);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
  }
  void TearDown() override {
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDeleteTextures(2, tex_);
    test::GlTest::TearDown();
  }

  // Four triangles in four columns, faces' texture indices as given.
  template <class M>
  M Columns(std::array<int16_t, 4> texIndex) {
    Soup s;
    for (int i = 0; i < 4; ++i) {
      const float x0 = -1.0f + 0.5f * float(i), x1 = x0 + 0.5f;
      const int b = int(s.points.size());
      s.points.push_back({x0 + 0.02f, -0.9f, 0});
      s.points.push_back({x1 - 0.02f, -0.9f, 0});
      s.points.push_back({(x0 + x1) / 2, 0.9f, 0});
      s.tris.push_back({b, b + 1, b + 2});
    }
    M m = Build<M>(s);
    for (int i = 0; i < 4; ++i)
      for (auto& w : m.faces[size_t(i)].wedge) w = {0.5f, 0.5f, texIndex[size_t(i)]};
    return m;
  }
  std::array<std::array<int, 4>, 4> ColumnPixels() {
    std::array<std::array<int, 4>, 4> p{};
    for (int i = 0; i < 4; ++i) p[size_t(i)] = PixelAt(-0.75 + 0.5 * i, -0.5);
    return p;
  }

  template <class M>
  void TextureSwitching();

  GLuint tex_[2] = {0, 0};
};

using A4 = std::array<int, 4>;
const A4 kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255};

template <class M>
void TextureTest::TextureSwitching() {
  const GLuint red = tex_[0], blue = tex_[1];
  auto m = Columns<M>({0, 0, 1, 0});
  GlMesh<M> g;
  g.mesh = &m;
  g.textureIds[0] = red;
  g.textureIds[1] = blue;
  g.Update(GlChange::All);

  Clear();
  g.Draw(DMFlat, CMNone, TMPerWedgeMulti);
  EXPECT_EQ(ColumnPixels(), (std::array<A4, 4>{kRed, kRed, kBlue, kRed}));
  EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(red));

  // Texture mode 2 binds nothing: the texture bound before applies.
  glBindTexture(GL_TEXTURE_2D, blue);
  Clear();
  g.Draw(DMSmooth, CMNone, TMPerWedge);
  EXPECT_EQ(ColumnPixels(), (std::array<A4, 4>{kBlue, kBlue, kBlue, kBlue}));
  EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(blue));

  // Indices that name no loaded texture draw untextured: negative, beyond
  // the table, and inside the table but never filled.
  for (auto& w : m.faces[0].wedge) w.texIndex = -1;
  for (auto& w : m.faces[1].wedge) w.texIndex = 300;
  for (auto& w : m.faces[2].wedge) w.texIndex = 1;
  for (auto& w : m.faces[3].wedge) w.texIndex = 57;
  glBindTexture(GL_TEXTURE_2D, red);
  Clear();
  g.Draw(DMFlat, CMNone, TMPerWedgeMulti);
  EXPECT_EQ(ColumnPixels(), (std::array<A4, 4>{kWhite, kWhite, kBlue, kWhite}));
  EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 0);
  for (auto& w : m.faces[3].wedge) w.texIndex = INT16_MIN;
  Clear();
  g.Draw(DMFlatWire, CMNone, TMPerWedgeMulti);
  EXPECT_EQ(ColumnPixels()[3], kWhite);
}

TEST_F(TextureTest, ModeThreeSwitchesByFaceT4) { TextureSwitching<MeshT4>(); }
TEST_F(TextureTest, ModeThreeSwitchesByFaceT5) { TextureSwitching<MeshT5>(); }

TEST_F(TextureTest, TypesWithoutWedgesNeverBind) {
  auto m = Build<MeshT3>(TwoTriangles());
  GlMeshT3 g;
  g.mesh = &m;
  g.textureIds[0] = tex_[0];
  g.Update(GlChange::All);
  glBindTexture(GL_TEXTURE_2D, tex_[1]);
  glTexCoord2f(0.5f, 0.5f);
  g.Draw(DMFlat, CMNone, TMPerWedgeMulti);
  EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), GLint(tex_[1]));
  EXPECT_EQ(PixelAt(-0.5, -0.5), kBlue);
}

TYPED_TEST(DrawTest, StripsAndIndexRunsDrawTheSameSurface) {
  auto m = Build<TypeParam>(test::IcosphereSoup(3, 0.9f));
  GlMesh<TypeParam> g;
  Attach(g, m);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  auto image = [&](uint32_t hints, int dm, int cm) {
    g.hints = hints;
    g.Update(GlChange::All);
    Clear();
    g.Draw(DrawMode(dm), ColorMode(cm), TMNone);
    return Image();
  };
  auto differing = [](const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 4)
      n += std::abs(a[i] - b[i]) > 2 || std::abs(a[i + 1] - b[i + 1]) > 2 || std::abs(a[i + 2] - b[i + 2]) > 2;
    return n;
  };
  // A strip vertex carries the normal of the face it was emitted for; with
  // flat shading that face's triangle takes it, as on the triangle path.
  for (int dm : {DMFlat, DMSmooth, DMHidden}) {
    SCOPED_TRACE(dm);
    glShadeModel(dm == DMFlat ? GL_FLAT : GL_SMOOTH);
    const auto triangles = image(GlHint::Default, dm, CMPerMesh);
    EXPECT_LE(differing(triangles, image(GlHint::Default | GlHint::Strips, dm, CMPerMesh)), 8);
    EXPECT_LE(differing(triangles, image(GlHint::Default | GlHint::Strips | GlHint::IndexArrays, dm,
                                         CMPerMesh)),
              8);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  }
  glShadeModel(GL_SMOOTH);
  // Wire with no line-strip hint: polygon outlines, polygon mode restored.
  const auto strips = image(GlHint::Default, DMWire, CMNone);
  const auto outlines = image(0, DMWire, CMNone);
  EXPECT_GT(LitPixels(), 100);
  GLint mode[2];
  glGetIntegerv(GL_POLYGON_MODE, mode);
  EXPECT_EQ(mode[0], GL_FILL);
  EXPECT_EQ(mode[1], GL_FILL);
  EXPECT_LE(differing(strips, outlines), 300);
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
  glDisable(GL_NORMALIZE);
}

// What a draw leaves behind for the next one: the pixels and the current
// attributes.
struct DrawResult {
  std::vector<unsigned char> image;
  std::array<float, 4> color{}, normal{}, texCoord{};
  bool operator==(const DrawResult&) const = default;
};

// The vertex arrays against the immediate calls, with and without the faces
// that cover no pixel centre: the same pixels in every draw, colour and
// texture mode, the same primitives and attributes in feedback, the same
// current attributes afterwards; and the same again after the mesh changed.
TYPED_TEST(DrawTest, VertexArraysDrawWhatTheImmediateCallsDraw) {
  auto m = Build<TypeParam>(test::TorusSoup(56, 40, 0.6f, 0.3f));  // most faces under a pixel
  auto vary = [&m](int seed) {
    for (size_t i = 0; i < m.vertices.size(); ++i)
      if constexpr (kVertexColor<TypeParam>)
        m.vertices[i].color = {uint8_t(i * 37 + seed), uint8_t(i * 11), uint8_t(255 - i), 255};
    for (size_t i = 0; i < m.faces.size(); ++i) {
      if constexpr (kFaceColor<TypeParam>)
        m.faces[i].color = {uint8_t(i * 5), uint8_t(i * 13 + seed), uint8_t(i), uint8_t(200 + i % 50)};
      if constexpr (kWedges<TypeParam>)
        for (int k = 0; k < 3; ++k)
          m.faces[i].wedge[k] = {float(i % 7) / 7 + float(k) / 3, float(i % 5 + seed) / 5, 0};
    }
  };
  vary(0);
  GlMesh<TypeParam> g;
  g.depthOffset = 0.0005f;
  Attach(g, m);
  glRotated(35, 1, 0.5, 0);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);
  glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  auto start = [&](uint32_t hints) {
    g.hints = hints;
    glEnable(GL_LIGHTING);
    glColor4f(0.5f, 0.6f, 0.7f, 1.0f);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0.125f, 0.875f);
  };
  auto draw = [&](uint32_t hints, int dm, int cm, int tm) {
    Clear();
    start(hints);
    g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm));
    DrawResult r{Image(), CurrentColor(), {}, {}};
    glGetFloatv(GL_CURRENT_NORMAL, r.normal.data());
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, r.texCoord.data());
    return r;
  };
  auto feedback = [&](uint32_t hints, int dm, int cm, int tm) {
    start(hints);
    return Feedback([&] { g.Draw(DrawMode(dm), ColorMode(cm), TextureMode(tm)); });
  };
  const uint32_t arrays = GlHint::Default | GlHint::VertexArrays;
  auto compare = [&] {
    for (int dm : {DMPoints, DMWire, DMHidden, DMFlat, DMSmooth, DMFlatWire})
      for (int cm = 0; cm < 4; ++cm)
        for (int tm : {TMNone, TMPerWedge}) {
          SCOPED_TRACE(::testing::Message() << "Draw(" << dm << ", " << cm << ", " << tm << ")");
          const DrawResult immediate = draw(GlHint::Default, dm, cm, tm);
          EXPECT_GT(LitPixels(), 100);
          EXPECT_TRUE(draw(arrays, dm, cm, tm) == immediate);
          EXPECT_TRUE(draw(arrays | GlHint::SkipUncovered, dm, cm, tm) == immediate);
          EXPECT_EQ(feedback(arrays | GlHint::SkipUncovered, dm, cm, tm),
                    feedback(GlHint::Default, dm, cm, tm));
          EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_NORMAL_ARRAY) ||
                       glIsEnabled(GL_COLOR_ARRAY) || glIsEnabled(GL_TEXTURE_COORD_ARRAY));
        }
  };
  {
    SCOPED_TRACE("as loaded");
    compare();
  }
  // Moved, recoloured, with faces and vertices deleted: nothing of the
  // draws before may show.
  for (auto& v : m.vertices) v.position.y = v.position.y * 0.8f + 0.05f;
  for (size_t i = 0; i < m.faces.size(); i += 3) m.faces[i].flags |= ElemFlag::Deleted;
  for (size_t i = 0; i < m.vertices.size(); i += 4) m.vertices[i].flags |= ElemFlag::Deleted;
  vary(90);
  g.Update(GlChange::All);
  {
    SCOPED_TRACE("after a change");
    compare();
  }
  // Colour material left the last colour in the material: back to the
  // defaults for the tests that follow.
  glDisable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
  glDisable(GL_NORMALIZE);
}

// Faces left out for covering no pixel centre must be exactly those the
// driver draws nothing of: also for a model far from the origin seen close
// up (the driver transforms in float, and large terms cancel), and never in
// a display list, which is replayed under other views.
TEST_F(GlDraw, SkippedFacesLeaveNoHoleFarFromTheOriginOrInAList) {
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const uint32_t skip = GlHint::Default | GlHint::VertexArrays | GlHint::SkipUncovered;
  for (double offset : {0.0, 3e4, 1e5, 1e6}) {
    for (double zoom : {1.0, 4.0}) {
      SCOPED_TRACE(::testing::Message() << "offset " << offset << ", zoom " << zoom);
      auto m = Build<MeshT1>(test::TorusSoup(300, 200, 0.6f, 0.3f));
      for (auto& v : m.vertices)
        v.position = Vec3f(float(v.position.x + offset), float(v.position.y + offset * 0.7),
                           float(v.position.z + offset * 0.3));
      GlMeshT1 g;
      Attach(g, m);
      glLoadIdentity();
      glRotated(35, 1, 0.5, 0);
      glScaled(zoom, zoom, zoom);
      glTranslated(-offset - 0.6, -offset * 0.7, -offset * 0.3);
      auto draw = [&](uint32_t hints) {
        g.hints = hints;
        Clear();
        glColor4f(1, 1, 1, 1);
        g.Draw(DMSmooth, CMNone, TMNone);
        return Image();
      };
      const auto immediate = draw(GlHint::Default);
      EXPECT_GT(LitPixels(), 100);
      EXPECT_TRUE(draw(skip) == immediate);
    }
  }
  auto m = Build<MeshT1>(test::TorusSoup(300, 200, 0.6f, 0.3f));
  GlMeshT1 g;
  Attach(g, m);
  auto turned = [&](uint32_t hints, double angle) {
    g.hints = hints;
    Clear();
    glLoadIdentity();
    glRotated(angle, 1, 0.5, 0);
    g.Draw(DMSmooth, CMNone, TMNone);
    return Image();
  };
  turned(skip | GlHint::DisplayList, 0);  // compiles the list in this view
  EXPECT_TRUE(turned(skip | GlHint::DisplayList, 60) == turned(GlHint::Default, 60));
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
}

TEST_F(GlDraw, TooManyVerticesForIndexRunsStillDraws) {
  auto m = Build<MeshT1>(test::GridSoup(260, 1.6f / 260));  // 68121 vertex slots
  for (auto& v : m.vertices) v.position = v.position - Vec3f(0.8f, 0.8f, 0);
  GlMeshT1 g;
  g.hints = GlHint::Strips | GlHint::IndexArrays;
  Attach(g, m);
  ASSERT_TRUE(g.indexRuns.empty());
  g.Draw(DMSmooth, CMNone, TMNone);
  EXPECT_EQ(Pixel(32, 32), (std::array<int, 4>{255, 255, 255, 255}));
  EXPECT_EQ(Pixel(2, 2), (std::array<int, 4>{0, 0, 0, 0}));
}

TYPED_TEST(DrawTest, WireColoursByPath) {
  auto m = Build<TypeParam>(TwoTriangles());
  if constexpr (kFaceColor<TypeParam>) m.faces[1].color = {0, 255, 0, 255};
  m.color = {10, 20, 30, 255};
  GlMesh<TypeParam> g;
  Attach(g, m);
  auto colours = [&](int cm) {
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    std::vector<float> greens;
    for (auto& p : Primitives(Feedback([&] { g.Draw(DMWire, ColorMode(cm), TMNone); })))
      for (auto& v : p.vertices) greens.push_back(v[5]);
    return greens;
  };
  // Line strips: cm 1 the mesh colour, cm 2 and 3 the current colour.
  for (float c : colours(CMPerMesh)) EXPECT_FLOAT_EQ(c, 20 / 255.f);
  for (float c : colours(CMPerFace)) EXPECT_FLOAT_EQ(c, 0.5f);
  EXPECT_EQ(colours(CMPerFace).size(), 2u * 6);
  // Polygon outlines: the smooth fill's colours.
  g.hints = 0;
  const auto outlined = colours(CMPerFace);
  ASSERT_FALSE(outlined.empty());
  EXPECT_FLOAT_EQ(outlined.back(), kFaceColor<TypeParam> ? 1.0f : 0.5f);
}

TYPED_TEST(DrawTest, EmptyAndDeletedMeshes) {
  TypeParam empty;
  GlMesh<TypeParam> g;
  g.hints |= GlHint::Strips | GlHint::IndexArrays;
  Attach(g, empty);
  for (uint32_t hints : {GlHint::Default, GlHint::Default | GlHint::Strips | GlHint::IndexArrays, 0u}) {
    g.hints = hints;
    for (int dm = 0; dm < 8; ++dm)
      for (int cm = 0; cm < 4; ++cm) g.Draw(DrawMode(dm), ColorMode(cm), TMPerWedgeMulti);
  }
  auto m = test::Cube<TypeParam>(0.5f);
  for (auto& f : m.faces) f.flags |= ElemFlag::Deleted;
  g.hints = GlHint::Default;
  Attach(g, m);
  auto ps = Primitives(Feedback([&] {
    for (int dm = 3; dm < 8; ++dm) g.Draw(DrawMode(dm), CMPerVert, TMPerWedge);
  }));
  EXPECT_TRUE(ps.empty());
  EXPECT_TRUE(g.lineStrips.empty());
  ps = Primitives(Feedback([&] { g.Draw(DMPoints, CMNone, TMNone); }));
  EXPECT_EQ(ps.size(), 8u);
}

}  // namespace
}  // namespace quarnel
