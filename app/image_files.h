// Reading image files through the image library for the texture and
// cube-map loaders.
#pragma once

#include <string>

#include "app/rgb_image.h"

namespace quarnel {

// Starts the image library once per process; the loaders call it before
// their first use so that they do not depend on a view having done it.
void EnsureImageLibrary();

// One image of the image library, bound while the object lives and deleted
// with it.
class ScopedImage {
 public:
  ScopedImage();
  ~ScopedImage();
  ScopedImage(const ScopedImage&) = delete;
  ScopedImage& operator=(const ScopedImage&) = delete;
  // Binds the image again (a message box may have let other code bind its own).
  void Bind() const;

 private:
  unsigned id_ = 0;
};

// Loads path into the bound image. When it cannot be read, asks the question
// (a format with one %s for the path) and, on Yes, tries the path without its
// last four characters followed by ".jpg", ".png", ".bmp", ".ppm", in that
// order; when none loads says "Failed texture guessing.". True when an image
// with pixels was loaded.
bool LoadImageOrGuess(const ScopedImage& image, const std::string& path, const char* question);

// The file as three-byte pixels, row 0 the top row of the picture; the empty
// image when it cannot be read.
RgbImage ReadRgbImage(const std::string& path);

// The path with every backslash turned into a slash: files name their
// images with either separator, and only the slash separates folders here.
std::string WithForwardSlashes(std::string path);

// printf-style formatting into a string (the messages of the loaders).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quarnel
