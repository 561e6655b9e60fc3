// A plain image of three-byte pixels (red, green, blue), rows one after the
// other with row 0 first, and its upload to an OpenGL texture target. The
// cube-map environment prepares and uploads its faces with it.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

class RgbImage {
 public:
  RgbImage() = default;
  // A black image of the given size; a size that is not positive, or too
  // large to address, gives the empty image.
  RgbImage(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return data_.empty(); }
  const uint8_t* Data() const { return data_.empty() ? nullptr : data_.data(); }
  uint8_t* Data() { return data_.empty() ? nullptr : data_.data(); }

  // The three bytes of pixel (x, y). A point outside the image gives the
  // spare pixel, so an access never leaves the array.
  uint8_t* Pixel(int x, int y);
  const uint8_t* Pixel(int x, int y) const;

  // Turns the image upside down in place; an odd middle row stays.
  void FlipRows();

 private:
  std::vector<uint8_t> data_;
  int width_ = 0;
  int height_ = 0;
  uint8_t spare_[3] = {0, 0, 0};
};

// The smallest power of two not below size; 0 stays 0.
int PowerOfTwoAtLeast(int size);

// A nearest-neighbour copy of the image at the given size: target row y
// takes source row y * height / th, target column x source column
// (x * width + width / 2) / tw.
RgbImage ResampleNearest(const RgbImage& image, int tw, int th);

// Uploads the image to the texture bound at the target's binding point (a 2D
// target or a cube-map face), resampled to powers of two when its sides are
// not. components 0 stands for 3; mipmaps are built only for 3 components.
void UploadTextureImage(const RgbImage& image, bool mipmaps, int components, unsigned target);

}  // namespace quarnel
