#include "app/image_files.h"

#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/user_prompt.h"
#include "io/input_file.h"

namespace quarnel {

void EnsureImageLibrary() {
  static const bool started = [] {
    ilInit();
    iluInit();
    ilutRenderer(ILUT_OPENGL);
    return true;
  }();
  (void)started;
}

ScopedImage::ScopedImage() {
  EnsureImageLibrary();
  ILuint id = 0;
  ilGenImages(1, &id);
  id_ = id;
  Bind();
}

ScopedImage::~ScopedImage() {
  ILuint id = id_;
  ilDeleteImages(1, &id);
}

void ScopedImage::Bind() const {
  ilBindImage(id_);
}

namespace {

// An image counts as read only when it has pixels to upload. The file is
// opened here, as a mesh file is, so that a pipe or a device named as an
// image is refused at once instead of holding the program in the library's
// own open or reads; the library then reads the opened file, choosing the
// format by the name's extension or, without a known one, by the contents,
// as it does for a name.
bool Load(const std::string& path) {
  InputFile file;
  if (!file.Open(path)) return false;
  std::FILE* stream = ::fdopen(file.Descriptor(), "rb");
  if (stream == nullptr) return false;
  file.Release();
  const bool loaded = ilLoadF(ilTypeFromExt(path.c_str()), stream);
  std::fclose(stream);
  if (!loaded) return false;
  return ilGetData() != nullptr && ilGetInteger(IL_IMAGE_WIDTH) > 0 &&
         ilGetInteger(IL_IMAGE_HEIGHT) > 0;
}

}  // namespace

std::string WithForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool LoadImageOrGuess(const ScopedImage& image, const std::string& given, const char* question) {
  const std::string path = WithForwardSlashes(given);
  if (Load(path)) return true;
  const bool guess = PromptUser(FormatText(question, path.c_str()), PromptButtons::YesNo);
  image.Bind();
  if (!guess) return false;
  const std::string stem = path.size() > 4 ? path.substr(0, path.size() - 4) : std::string();
  for (const char* extension : {".jpg", ".png", ".bmp", ".ppm"})
    if (Load(stem + extension)) return true;
  PromptUser("Failed texture guessing.", PromptButtons::Ok);
  image.Bind();
  return false;
}

RgbImage ReadRgbImage(const std::string& path) {
  ScopedImage image;
  if (!Load(path) || !ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE)) return {};
  const int width = ilGetInteger(IL_IMAGE_WIDTH);
  const int height = ilGetInteger(IL_IMAGE_HEIGHT);
  RgbImage out(width, height);
  const uint8_t* data = ilGetData();
  if (out.Empty() || !data) return {};
  // The library keeps each file's own row order unless told otherwise; the
  // copy puts the top row first whatever it was.
  const bool bottomFirst = ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT;
  const size_t rowBytes = size_t(width) * 3;
  for (int y = 0; y < height; ++y) {
    const int source = bottomFirst ? height - 1 - y : y;
    std::memcpy(out.Pixel(0, y), data + size_t(source) * rowBytes, rowBytes);
  }
  return out;
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(size_t(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(size_t(n));
  }
  va_end(args);
  return text;
}

}  // namespace quarnel
