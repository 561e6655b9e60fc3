#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <memory>
#include <vector>

class QFontMetricsF;
class QPainter;

namespace quarnel {

// One glyph as an OpenGL bitmap: rows from the bottom up, each row
// (width + 7) / 8 bytes with the leftmost pixel in the high bit. origin is
// the glyph's origin inside the bitmap (from the bitmap's left and bottom
// edges), advance the step of the raster position after the glyph.
struct GlyphBitmap {
  int width = 0;
  int height = 0;
  float originX = 0.0f;
  float originY = 0.0f;
  float advance = 0.0f;
  std::vector<unsigned char> bits;

  bool Lit(int x, int rowFromBottom) const;
};

// The font of the on-screen texts: "Arial" (or the system's closest face) of
// the given character height in pixels, normal weight, drawn without
// anti-aliasing as bitmaps are one bit deep.
QFont BitmapTextFont(int pixelHeight);

// The character of a byte of the program's texts (Windows-1252); a null
// character for the control codes and the bytes that code page leaves out.
QChar CharacterOfByte(int code);

// The bitmap of the character of byte code in font. Control codes and
// unassigned bytes give an empty glyph that does not move the raster position.
GlyphBitmap RasteriseGlyph(const QFont& font, int code);

// The width in pixels of a byte string drawn with the lists of font: the sum
// of the glyphs' advances, as the raster position moves.
int BitmapTextWidth(const QFont& font, const char* text);

// RasteriseGlyph for many glyphs of one font: the metrics, the canvas and the
// painter are made once and serve every glyph.
class GlyphRasteriser {
 public:
  explicit GlyphRasteriser(const QFont& font);
  ~GlyphRasteriser();
  GlyphRasteriser(const GlyphRasteriser&) = delete;
  GlyphRasteriser& operator=(const GlyphRasteriser&) = delete;

  GlyphBitmap Rasterise(int code);

 private:
  // The shared canvas, grown to at least width x height.
  QImage& Canvas(int width, int height);

  QFont font_;
  std::unique_ptr<QFontMetricsF> metrics_;
  QImage canvas_;
  std::unique_ptr<QPainter> painter_;
};

// Compiles count display lists: list listBase + i draws the glyph of byte
// first + i with glBitmap at the raster position and moves it by the glyph's
// advance, so that glListBase(listBase) and glCallLists over a text's bytes
// draw the text. Needs a current OpenGL context; false without one or when
// the lists cannot be compiled.
bool BuildBitmapFontLists(const QFont& font, unsigned int listBase, int first, int count);

}  // namespace quarnel
