// Bitmap text over the OpenGL frame and the formatting of the texts that the
// information pane shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/mesh.h"

namespace quarnel {

// Draws a zero-terminated byte string with the font whose 255 display lists
// start at listBase, from the raster position (x, y, z) in the current
// coordinates. Lighting and 2D texturing are off for the text; the OpenGL
// state is left as it was. A null text draws nothing.
void DrawGlText(const char* text, unsigned listBase, const double position[3], Color4b colour);
void DrawGlTextF(const char* text, unsigned listBase, const float position[3], Color4b colour);
// The same, the text moved from the raster position by (dx, dy) pixels.
void DrawGlTextShifted(const char* text, unsigned listBase, const float position[3],
                       Color4b colour, int dx, int dy);

// A text as the calls above draw it: the raster position it starts from, in
// window coordinates, and whether OpenGL took that position as valid (text
// from an invalid position is not drawn at all).
struct GlTextDraw {
  std::string text;
  unsigned listBase = 0;
  double x = 0.0;
  double y = 0.0;
  bool valid = false;
};
// While a recorder is set every text drawn is passed to it, for the checks
// of where the texts of a frame land; an empty one (the default) records
// nothing and costs nothing.
void SetGlTextRecorder(std::function<void(const GlTextDraw&)> recorder);

// The size of the formatting buffer: results are cut to one byte less.
inline constexpr int kFormatBufferSize = 4352;

// printf-style formatting; target receives the result and is returned.
std::string& FormatString(std::string& target, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// v, or 0 when v is a negative number that shows as zero with the given
// decimals: a pane never reads "-0.0000".
double NoNegativeZero(double v, int decimals);

// value in groups of three digits separated by one blank ("1 000 000");
// values below 1000, negative ones too, as plain integers.
std::string& FormatThousands(std::string& target, int64_t value);

// Decimals of the points shown for a mesh of the given box diagonal: 4 less
// the integer part of its decimal logarithm, never negative. A diagonal that
// is zero or not finite shows 4 decimals.
int PaneDecimals(double diagonal);

// The frame rate and the thousands of triangles a second for a mean frame
// time in milliseconds; both 0 when no time was measured.
double FramesPerSecond(double meanFrameTimeMs);
int64_t KiloTrianglesPerSecond(int faceCount, double meanFrameTimeMs);

}  // namespace quarnel
