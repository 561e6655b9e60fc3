#include "platform/bitmap_font.h"

#include <GL/gl.h>

#include <QFontMetricsF>
#include <QImage>
#include <QOpenGLContext>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quarnel {

namespace {

// Windows-1252 in 0x80..0x9F; 0 marks the bytes it leaves unassigned.
constexpr char16_t kHighControlRange[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

bool GlyphBitmap::Lit(int x, int rowFromBottom) const {
  if (x < 0 || x >= width || rowFromBottom < 0 || rowFromBottom >= height) {
    return false;
  }
  const int stride = (width + 7) / 8;
  const unsigned char byte = bits[static_cast<std::size_t>(rowFromBottom * stride + x / 8)];
  return (byte & (0x80u >> (x % 8))) != 0;
}

QFont BitmapTextFont(int pixelHeight) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, pixelHeight));
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

QChar CharacterOfByte(int code) {
  if (code < 0x20 || code == 0x7F || code > 0xFF) {
    return QChar();
  }
  if (code >= 0x80 && code < 0xA0) {
    return QChar(kHighControlRange[code - 0x80]);
  }
  return QChar(static_cast<char16_t>(code));
}

namespace {

// How far the raster position moves over one glyph, in whole pixels. Text
// drawing shows nothing of a soft hyphen inside a line and does not advance
// over it; any other character measures alone as in a text, without the cost
// of laying one out.
float GlyphAdvance(const QFontMetricsF& metrics, QChar ch) {
  if (ch.isNull() || ch == QChar::SoftHyphen) {
    return 0.0f;
  }
  return static_cast<float>(std::round(metrics.horizontalAdvance(ch)));
}

}  // namespace

int BitmapTextWidth(const QFont& font, const char* text) {
  if (!text) {
    return 0;
  }
  const QFontMetricsF metrics(font);
  double width = 0.0;
  for (const char* c = text; *c; ++c) {
    width += GlyphAdvance(metrics, CharacterOfByte(static_cast<unsigned char>(*c)));
  }
  return static_cast<int>(width);
}

GlyphRasteriser::GlyphRasteriser(const QFont& font)
    : font_(font), metrics_(std::make_unique<QFontMetricsF>(font)) {}

GlyphRasteriser::~GlyphRasteriser() = default;

QImage& GlyphRasteriser::Canvas(int width, int height) {
  if (width > canvas_.width() || height > canvas_.height()) {
    painter_.reset();
    canvas_ = QImage(std::max(width, canvas_.width()), std::max(height, canvas_.height()),
                     QImage::Format_Grayscale8);
    painter_ = std::make_unique<QPainter>(&canvas_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setRenderHint(QPainter::TextAntialiasing, false);
    painter_->setFont(font_);
    painter_->setPen(Qt::white);
  }
  return canvas_;
}

GlyphBitmap GlyphRasteriser::Rasterise(int code) {
  GlyphBitmap glyph;
  const QChar ch = CharacterOfByte(code);
  if (ch.isNull()) {
    return glyph;
  }
  const QFontMetricsF& metrics = *metrics_;
  const QString text(ch);
  if (ch == QChar::SoftHyphen) {
    return glyph;
  }
  glyph.advance = GlyphAdvance(metrics, ch);
  const QRectF box = metrics.boundingRect(ch);

  // A region around the origin large enough for the ink and the advance, at
  // the top left of a canvas that the glyphs of the font share; the region is
  // cleared, and only it is read back, so each glyph comes out as it would
  // on a canvas of its own.
  const int left = static_cast<int>(std::floor(std::min(0.0, box.left()))) - 1;
  const int right = static_cast<int>(std::ceil(std::max<qreal>(glyph.advance, box.right()))) + 1;
  const int top = static_cast<int>(std::floor(std::min(-metrics.ascent(), box.top()))) - 1;
  const int bottom = static_cast<int>(std::ceil(std::max(metrics.descent(), box.bottom()))) + 1;
  const int width = right - left;
  const int height = bottom - top;
  const QImage& canvas = Canvas(width, height);
  painter_->setClipRect(QRect(0, 0, width, height));
  painter_->fillRect(QRect(0, 0, width, height), Qt::black);
  painter_->drawText(QPointF(-left, -top), text);

  // The bitmap holds the inked pixels only; a blank glyph (a space) only
  // moves the raster position.
  int x0 = width;
  int x1 = -1;
  int y0 = height;
  int y1 = -1;
  for (int y = 0; y < height; ++y) {
    const uchar* row = canvas.constScanLine(y);
    for (int x = 0; x < width; ++x) {
      if (row[x] >= 128) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
    }
  }
  if (x1 < 0) {
    return glyph;
  }
  glyph.width = x1 - x0 + 1;
  glyph.height = y1 - y0 + 1;
  glyph.originX = static_cast<float>(-left - x0);
  glyph.originY = static_cast<float>(y1 + 1 + top);
  const int stride = (glyph.width + 7) / 8;
  glyph.bits.assign(static_cast<std::size_t>(stride * glyph.height), 0);
  for (int r = 0; r < glyph.height; ++r) {
    const uchar* row = canvas.constScanLine(y1 - r);
    for (int x = 0; x < glyph.width; ++x) {
      if (row[x0 + x] >= 128) {
        glyph.bits[static_cast<std::size_t>(r * stride + x / 8)] |=
            static_cast<unsigned char>(0x80u >> (x % 8));
      }
    }
  }
  return glyph;
}

GlyphBitmap RasteriseGlyph(const QFont& font, int code) {
  return GlyphRasteriser(font).Rasterise(code);
}

bool BuildBitmapFontLists(const QFont& font, unsigned int listBase, int first, int count) {
  if (QOpenGLContext::currentContext() == nullptr || listBase == 0 || count <= 0) {
    return false;
  }
  // Bitmaps are unpacked when the list is compiled, with the pixel store
  // state of that moment: tightly packed rows, high bit first.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  // An empty glyph still hands over a valid pointer: some drivers take a
  // null bitmap in a display list for a failed allocation.
  static const unsigned char kNoBits = 0;
  GlyphRasteriser rasteriser(font);
  for (int i = 0; i < count; ++i) {
    const GlyphBitmap glyph = rasteriser.Rasterise(first + i);
    glNewList(listBase + static_cast<unsigned int>(i), GL_COMPILE);
    glBitmap(glyph.width, glyph.height, glyph.originX, glyph.originY, glyph.advance, 0.0f,
             glyph.bits.empty() ? &kNoBits : glyph.bits.data());
    glEndList();
  }
  glPopClientAttrib();
  return glIsList(listBase) == GL_TRUE &&
         glIsList(listBase + static_cast<unsigned int>(count - 1)) == GL_TRUE;
}

}  // namespace quarnel
