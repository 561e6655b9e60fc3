#include "offscreen_gl.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

namespace quarnel::test {

struct OffscreenGl::Impl {
  Display* display = nullptr;
  GLXPbuffer pbuffer = 0;
  GLXContext context = nullptr;
};

OffscreenGl::OffscreenGl(int width, int height) : impl_(std::make_unique<Impl>()), width_(width), height_(height) {
  impl_->display = XOpenDisplay(nullptr);
  if (!impl_->display) {
    error_ = "cannot open the X display (is DISPLAY set? run under xvfb-run)";
    return;
  }
  const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                            GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                            GLX_DEPTH_SIZE, 24, None};
  int count = 0;
  GLXFBConfig* configs =
      glXChooseFBConfig(impl_->display, DefaultScreen(impl_->display), attributes, &count);
  if (!configs || count == 0) {
    error_ = "no GLX framebuffer configuration with a pbuffer, RGB 8 bits and depth 24";
    if (configs) XFree(configs);
    return;
  }
  const int pbufferAttributes[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height,
                                   GLX_PRESERVED_CONTENTS, True, None};
  impl_->pbuffer = glXCreatePbuffer(impl_->display, configs[0], pbufferAttributes);
  impl_->context = glXCreateNewContext(impl_->display, configs[0], GLX_RGBA_TYPE, nullptr, True);
  XFree(configs);
  if (!impl_->pbuffer || !impl_->context) {
    error_ = "cannot create the GLX pbuffer or context";
    return;
  }
  if (!glXMakeContextCurrent(impl_->display, impl_->pbuffer, impl_->pbuffer, impl_->context)) {
    error_ = "cannot make the GLX context current";
    return;
  }
  glViewport(0, 0, width, height);
  ok_ = true;
}

OffscreenGl::~OffscreenGl() {
  if (impl_->display) {
    glXMakeContextCurrent(impl_->display, None, None, nullptr);
    if (impl_->context) glXDestroyContext(impl_->display, impl_->context);
    if (impl_->pbuffer) glXDestroyPbuffer(impl_->display, impl_->pbuffer);
    XCloseDisplay(impl_->display);
  }
}

}  // namespace quarnel::test
