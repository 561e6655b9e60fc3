// Image files and textured meshes written for the texture tests: PNG and PPM
// images from plain pixels, and a textured square in PLY.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarnel::test {

struct Rgb8 {
  uint8_t r = 0, g = 0, b = 0;
};

// width x height pixels, row 0 the top row of the picture.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgb8> pixels;
  Rgb8& At(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// A picture whose left half is `left` and right half `right`.
Picture SplitPicture(int width, int height, Rgb8 left, Rgb8 right);
// A picture whose top half is `top` and bottom half `bottom`.
Picture StackedPicture(int width, int height, Rgb8 top, Rgb8 bottom);

// A new folder `name` under the tests' temporary folder, with a trailing
// separator.
std::string FreshFolder(const std::string& name);

// An 8-bit RGB PNG (uncompressed deflate blocks); false when not written.
bool WritePng(const std::string& path, const Picture& picture);
// A binary PPM.
bool WritePpm(const std::string& path, const Picture& picture);

// The square (-1, -1, 0)..(1, 1, 0) as two faces with corner texture
// coordinates spanning 0..1 and a texture number per face (faces[i] takes
// texNumbers[i]), with the given header comments ("TextureFile a.png"...).
std::string WriteTexturedSquare(const std::string& path, const std::vector<std::string>& comments,
                                int texNumberFace0 = 0, int texNumberFace1 = 0);

}  // namespace quarnel::test
