// An OpenGL context without Qt: a GLX pbuffer on the X display named by
// DISPLAY (Xvfb with Mesa's software renderer in the test runs), made
// current for the lifetime of the object.
#pragma once

#include <memory>
#include <string>

namespace quarnel::test {

class OffscreenGl {
 public:
  OffscreenGl(int width, int height);
  ~OffscreenGl();
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Error() const { return error_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool ok_ = false;
  std::string error_;
  int width_ = 0, height_ = 0;
};

}  // namespace quarnel::test
