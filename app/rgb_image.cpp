#include "app/rgb_image.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace quarnel {

namespace {
// Beyond this many bytes the sizes would overflow the int arithmetic of the
// upload; such an image is refused as empty.
constexpr int64_t kMaxBytes = int64_t(std::numeric_limits<int>::max());
}  // namespace

RgbImage::RgbImage(int width, int height) {
  if (width <= 0 || height <= 0 || int64_t(width) * height * 3 > kMaxBytes) return;
  data_.assign(size_t(width) * size_t(height) * 3, 0);
  width_ = width;
  height_ = height;
}

uint8_t* RgbImage::Pixel(int x, int y) {
  if (x < 0 || x >= width_ || y < 0 || y >= height_) return spare_;
  return data_.data() + (size_t(y) * size_t(width_) + size_t(x)) * 3;
}

const uint8_t* RgbImage::Pixel(int x, int y) const {
  return const_cast<RgbImage*>(this)->Pixel(x, y);
}

void RgbImage::FlipRows() {
  for (int y = 0; y < height_ / 2; ++y)
    for (int x = 0; x < width_; ++x)
      std::swap_ranges(Pixel(x, y), Pixel(x, y) + 3, Pixel(x, height_ - 1 - y));
}

int PowerOfTwoAtLeast(int size) {
  if ((size & (size - 1)) == 0) return size;
  int p = 2;
  while (p < size && p <= std::numeric_limits<int>::max() / 2)
    p *= 2;
  return p;
}

RgbImage ResampleNearest(const RgbImage& image, int tw, int th) {
  RgbImage out(tw, th);
  if (out.Empty() || image.Empty()) return out;
  const int64_t w = image.Width(), h = image.Height();
  for (int y = 0; y < th; ++y) {
    const int sy = int(int64_t(y) * h / th);
    for (int x = 0; x < tw; ++x) {
      const int sx = int((int64_t(x) * w + w / 2) / tw);
      std::memcpy(out.Pixel(x, y), image.Pixel(sx, sy), 3);
    }
  }
  return out;
}

void UploadTextureImage(const RgbImage& image, bool mipmaps, int components, unsigned target) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const int tw = PowerOfTwoAtLeast(image.Width());
  const int th = PowerOfTwoAtLeast(image.Height());
  RgbImage resampled;
  const RgbImage* source = &image;
  if (tw != image.Width() || th != image.Height()) {
    resampled = ResampleNearest(image, tw, th);
    source = &resampled;
  }
  if (components == 0) components = 3;
  // A size the resampling refused uploads as an empty image rather than
  // letting OpenGL read past the data.
  const int w = source->Empty() ? 0 : tw;
  const int h = source->Empty() ? 0 : th;
  glTexImage2D(target, 0, components, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, source->Data());
  if (mipmaps && components == 3 && !source->Empty())
    gluBuild2DMipmaps(target, 3, w, h, GL_RGB, GL_UNSIGNED_BYTE, source->Data());
}

}  // namespace quarnel
