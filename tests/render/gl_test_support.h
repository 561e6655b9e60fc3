// Shared pieces of the OpenGL tests: one offscreen context per test program,
// a known starting state, pixel reads and GL feedback capture.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "offscreen_gl.h"

namespace quarnel::test {

inline constexpr int kSize = 64;

class GlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!context()) context() = new OffscreenGl(kSize, kSize);
  }
  void SetUp() override {
    ASSERT_TRUE(context()->Ok()) << context()->Error();
    ResetState();
  }
  void TearDown() override { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }

  // Kept for the whole program and never destroyed: closing the display
  // would unload the driver before the leak check at exit, which then could
  // no longer tell the driver's own long-lived allocations from ours.
  static OffscreenGl*& context() {
    static OffscreenGl* c = nullptr;
    return c;
  }

  // Orthographic view of [-1, 1]^3 looking down -z (larger z is nearer),
  // depth test on, lighting off, white current colour, black background.
  static void ResetState() {
    while (glGetError() != GL_NO_ERROR) {
    }
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthRange(0.0, 1.0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1, 1, 1, 1);
    glTexCoord2f(0, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

};

inline void Clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

inline std::array<int, 4> Pixel(int x, int y) {
  glFinish();
  unsigned char p[4] = {0, 0, 0, 0};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return {p[0], p[1], p[2], p[3]};
}
// The pixel whose centre is nearest to (x, y) in [-1, 1] view coordinates.
inline std::array<int, 4> PixelAt(double x, double y) {
  return Pixel(int(std::floor((x + 1) * kSize / 2)), int(std::floor((y + 1) * kSize / 2)));
}
inline std::vector<unsigned char> Image() {
  glFinish();
  std::vector<unsigned char> img(size_t(kSize) * kSize * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, img.data());
  return img;
}
inline int LitPixels() {
  int n = 0;
  auto img = Image();
  for (size_t i = 0; i < img.size(); i += 4) n += img[i] || img[i + 1] || img[i + 2];
  return n;
}

// The feedback of everything `draw` issues, as floats; GL_4D_COLOR_TEXTURE
// gives every vertex as x, y, z, w, r, g, b, a, s, t, r, q.
inline std::vector<float> Feedback(const std::function<void()>& draw,
                                   GLenum type = GL_4D_COLOR_TEXTURE) {
  static std::vector<float> buffer(1 << 22);
  glFeedbackBuffer(GLsizei(buffer.size()), type, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  const GLint n = glRenderMode(GL_RENDER);
  EXPECT_GE(n, 0) << "feedback buffer overflow";
  return std::vector<float>(buffer.begin(), buffer.begin() + std::max(n, 0));
}

struct Primitive {
  GLenum token;                    // GL_POLYGON_TOKEN, GL_LINE_TOKEN (reset too), GL_POINT_TOKEN
  std::vector<std::array<float, 12>> vertices;
};
// Splits a GL_4D_COLOR_TEXTURE feedback stream into its primitives.
inline std::vector<Primitive> Primitives(const std::vector<float>& fb) {
  std::vector<Primitive> out;
  size_t i = 0;
  auto vertex = [&] {
    std::array<float, 12> v{};
    for (size_t k = 0; k < 12 && i < fb.size(); ++k) v[k] = fb[i++];
    return v;
  };
  while (i < fb.size()) {
    const GLenum token = GLenum(fb[i++]);
    Primitive p{token, {}};
    if (token == GL_POLYGON_TOKEN) {
      const int n = int(fb[i++]);
      for (int k = 0; k < n; ++k) p.vertices.push_back(vertex());
    } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
      p.token = GL_LINE_TOKEN;
      p.vertices = {vertex(), vertex()};
    } else if (token == GL_POINT_TOKEN) {
      p.vertices = {vertex()};
    } else if (token == GL_PASS_THROUGH_TOKEN) {
      ++i;
      continue;
    } else {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
    out.push_back(p);
  }
  return out;
}
inline size_t Count(const std::vector<Primitive>& ps, GLenum token) {
  size_t n = 0;
  for (auto& p : ps) n += p.token == token;
  return n;
}

}  // namespace quarnel::test
