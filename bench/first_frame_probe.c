// A library preloaded into a viewer (LD_PRELOAD) that watches its buffer
// swaps, so that the time from process start to the first frame that shows
// the mesh can be measured from outside, the same way for any program that
// draws through GLX.
//
// Before every swap it reads the back buffer of the drawable being swapped.
//   FIRST_FRAME_RECORD=<file>  writes each frame to <file> (the last one
//                              stays): run once on a file without faces to
//                              record the empty view.
//   FIRST_FRAME_REFERENCE=<file> and FIRST_FRAME_OUT=<file>: at the first
//                              frame that differs from the recorded empty view
//                              in more than FIRST_FRAME_MIN_PERMILLE (default
//                              5) pixels per thousand, lets the swap finish,
//                              waits for the X server to take it, writes the
//                              wall-clock time in milliseconds to <file> and
//                              ends the process.
// A frame file is the width and height as two 32-bit integers, then the RGBA
// rows bottom up.
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#ifndef GL_READ_FRAMEBUFFER
#define GL_READ_FRAMEBUFFER 0x8CA8
#define GL_READ_FRAMEBUFFER_BINDING 0x8CAA
#endif
#ifndef GL_PIXEL_PACK_BUFFER
#define GL_PIXEL_PACK_BUFFER 0x88EB
#define GL_PIXEL_PACK_BUFFER_BINDING 0x88ED
#endif

typedef void (*SwapFn)(Display*, GLXDrawable);
typedef void (*BindFn)(GLenum, GLuint);
typedef __GLXextFuncPtr (*ProcFn)(const GLubyte*);

static SwapFn realSwap;
static ProcFn realGetProc;
static ProcFn realGetProcArb;

static unsigned char* reference;
static int refWidth = -1, refHeight = -1;
static int referenceRead;

static double WallMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static void LoadReference(void) {
  referenceRead = 1;
  const char* path = getenv("FIRST_FRAME_REFERENCE");
  FILE* f = path ? fopen(path, "rb") : NULL;
  if (!f) return;
  int32_t size[2];
  if (fread(size, sizeof size, 1, f) == 1 && size[0] > 0 && size[1] > 0) {
    size_t bytes = (size_t)size[0] * (size_t)size[1] * 4;
    reference = malloc(bytes);
    if (reference && fread(reference, 1, bytes, f) == bytes) {
      refWidth = size[0];
      refHeight = size[1];
    }
  }
  fclose(f);
}

// Reads the back buffer of the drawable about to be swapped; the caller frees
// the pixels. The state touched is put back as it was.
static unsigned char* ReadBack(Display* dpy, GLXDrawable drawable, int* w, int* h) {
  unsigned int width = 0, height = 0;
  glXQueryDrawable(dpy, drawable, GLX_WIDTH, &width);
  glXQueryDrawable(dpy, drawable, GLX_HEIGHT, &height);
  if (width == 0 || height == 0) return NULL;
  unsigned char* pixels = malloc((size_t)width * height * 4);
  if (!pixels) return NULL;
  BindFn bind = (BindFn)glXGetProcAddress((const GLubyte*)"glBindFramebuffer");
  BindFn bindBuffer = (BindFn)glXGetProcAddress((const GLubyte*)"glBindBuffer");
  GLint readFbo = 0, packBuffer = 0, readBuffer = 0, alignment = 4;
  while (glGetError() != GL_NO_ERROR) {
  }
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFbo);
  glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
  while (glGetError() != GL_NO_ERROR) {
  }
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  if (bind && readFbo) bind(GL_READ_FRAMEBUFFER, 0);
  if (bindBuffer && packBuffer) bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, (GLsizei)width, (GLsizei)height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  glReadBuffer((GLenum)readBuffer);
  if (bindBuffer && packBuffer) bindBuffer(GL_PIXEL_PACK_BUFFER, (GLuint)packBuffer);
  if (bind && readFbo) bind(GL_READ_FRAMEBUFFER, (GLuint)readFbo);
  while (glGetError() != GL_NO_ERROR) {
  }
  *w = (int)width;
  *h = (int)height;
  return pixels;
}

static void Record(const char* path, const unsigned char* pixels, int w, int h) {
  char temp[4096];
  snprintf(temp, sizeof temp, "%s.part", path);
  FILE* f = fopen(temp, "wb");
  if (!f) return;
  int32_t size[2] = {w, h};
  int ok = fwrite(size, sizeof size, 1, f) == 1 &&
           fwrite(pixels, 1, (size_t)w * h * 4, f) == (size_t)w * h * 4;
  if (fclose(f) == 0 && ok) rename(temp, path);
}

// Whether the frame differs from the empty view in enough pixels.
static int ShowsMesh(const unsigned char* pixels, int w, int h) {
  if (!reference || w != refWidth || h != refHeight) return 0;
  const char* limit = getenv("FIRST_FRAME_MIN_PERMILLE");
  const long permille = limit ? atol(limit) : 5;
  const long count = (long)w * h;
  long differing = 0;
  for (long i = 0; i < count; ++i) {
    const unsigned char* a = pixels + 4 * i;
    const unsigned char* b = reference + 4 * i;
    if (abs(a[0] - b[0]) + abs(a[1] - b[1]) + abs(a[2] - b[2]) > 24) ++differing;
  }
  return differing * 1000 > count * permille;
}

void glXSwapBuffers(Display* dpy, GLXDrawable drawable) {
  if (!realSwap) realSwap = (SwapFn)dlsym(RTLD_NEXT, "glXSwapBuffers");
  if (!referenceRead) LoadReference();
  const char* record = getenv("FIRST_FRAME_RECORD");
  const char* out = getenv("FIRST_FRAME_OUT");
  int w = 0, h = 0;
  unsigned char* pixels = (record || out) ? ReadBack(dpy, drawable, &w, &h) : NULL;
  if (pixels && record) Record(record, pixels, w, h);
  const int shown = pixels && out && !record && ShowsMesh(pixels, w, h);
  free(pixels);
  realSwap(dpy, drawable);
  if (!shown) return;
  XSync(dpy, False);
  const double now = WallMs();
  FILE* f = fopen(out, "w");
  if (f) {
    fprintf(f, "%.3f\n", now);
    fclose(f);
  }
  _exit(0);
}

static __GLXextFuncPtr Wrap(const GLubyte* name, __GLXextFuncPtr found) {
  if (found && strcmp((const char*)name, "glXSwapBuffers") == 0)
    return (__GLXextFuncPtr)glXSwapBuffers;
  return found;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) {
  if (!realGetProc) realGetProc = (ProcFn)dlsym(RTLD_NEXT, "glXGetProcAddress");
  return Wrap(name, realGetProc ? realGetProc(name) : NULL);
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) {
  if (!realGetProcArb) realGetProcArb = (ProcFn)dlsym(RTLD_NEXT, "glXGetProcAddressARB");
  return Wrap(name, realGetProcArb ? realGetProcArb(name) : NULL);
}
