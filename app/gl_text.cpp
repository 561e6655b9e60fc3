#include "app/gl_text.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace quarnel {

namespace {

std::function<void(const GlTextDraw&)>& Recorder() {
  static std::function<void(const GlTextDraw&)> recorder;
  return recorder;
}

void DrawText(const char* text, unsigned listBase, const double position[3], Color4b colour,
              int dx, int dy) {
  if (!text) return;
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_LIST_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor4ubv(colour.data());
  glRasterPos3d(position[0], position[1], position[2]);
  // An empty bitmap moves the raster position by whole pixels.
  if (dx != 0 || dy != 0) glBitmap(0, 0, 0.0f, 0.0f, float(dx), float(dy), nullptr);
  if (Recorder()) {
    GLdouble at[4] = {0.0, 0.0, 0.0, 0.0};
    GLboolean valid = GL_FALSE;
    glGetDoublev(GL_CURRENT_RASTER_POSITION, at);
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    Recorder()(GlTextDraw{text, listBase, at[0], at[1], valid == GL_TRUE});
  }
  glListBase(listBase);
  glCallLists(GLsizei(std::strlen(text)), GL_UNSIGNED_BYTE, text);
  glPopAttrib();
}

}  // namespace

void SetGlTextRecorder(std::function<void(const GlTextDraw&)> recorder) {
  Recorder() = std::move(recorder);
}

void DrawGlText(const char* text, unsigned listBase, const double position[3], Color4b colour) {
  DrawText(text, listBase, position, colour, 0, 0);
}

void DrawGlTextF(const char* text, unsigned listBase, const float position[3], Color4b colour) {
  const double p[3] = {position[0], position[1], position[2]};
  DrawText(text, listBase, p, colour, 0, 0);
}

void DrawGlTextShifted(const char* text, unsigned listBase, const float position[3],
                       Color4b colour, int dx, int dy) {
  const double p[3] = {position[0], position[1], position[2]};
  DrawText(text, listBase, p, colour, dx, dy);
}

double NoNegativeZero(double v, int decimals) {
  if (!std::signbit(v)) return v;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals < 0 ? 0 : decimals, v);
  // Only a minus sign, zeros and the point: the value reads as zero.
  return std::strspn(text + 1, "0.") == std::strlen(text + 1) ? 0.0 : v;
}

std::string& FormatString(std::string& target, const char* format, ...) {
  char buffer[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  target.assign(n < 0 ? "" : buffer);
  return target;
}

std::string& FormatThousands(std::string& target, int64_t value) {
  const long long v = value;
  if (v < 1000) return FormatString(target, "%lld", v);
  if (v < 1000000) return FormatString(target, "%lld %03lld", v / 1000, v % 1000);
  if (v < 1000000000)
    return FormatString(target, "%lld %03lld %03lld", v / 1000000, v % 1000000 / 1000, v % 1000);
  return FormatString(target, "%lld %03lld %03lld %03lld", v / 1000000000, v % 1000000000 / 1000000,
                      v % 1000000 / 1000, v % 1000);
}

int PaneDecimals(double diagonal) {
  if (!(diagonal > 0.0) || !std::isfinite(diagonal)) return 4;
  const double k = std::trunc(std::log10(diagonal));
  const double d = 4.0 - k;
  if (d < 0.0) return 0;
  // FormatVec3f shows at most 4 decimals; more would read as 4 anyway.
  return d > 4.0 ? 4 : int(d);
}

double FramesPerSecond(double meanFrameTimeMs) {
  if (!(meanFrameTimeMs > 0.0) || !std::isfinite(meanFrameTimeMs)) return 0.0;
  return 1000.0 / meanFrameTimeMs;
}

int64_t KiloTrianglesPerSecond(int faceCount, double meanFrameTimeMs) {
  const double t = double(faceCount) * FramesPerSecond(meanFrameTimeMs);
  // A frame time of a fraction of a millisecond on a huge mesh must not
  // overflow the count.
  const double cap = double(std::numeric_limits<int64_t>::max() / 2);
  const int64_t triangles = int64_t(std::trunc(t < cap ? t : cap));
  return triangles / 1000;
}

}  // namespace quarnel
