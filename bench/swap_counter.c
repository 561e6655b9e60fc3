/* Preloaded into a viewer started by the frame-rate benchmark: every buffer
 * swap appends the monotonic clock's time, in nanoseconds, to the file that
 * QUARNEL_SWAP_LOG names. The benchmark reads the times back and takes the
 * frame rate from the gaps between them, the same way for every program. */
#define _GNU_SOURCE
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFn)(Display*, GLXDrawable);

static int LogFile(void) {
  static int fd = -2;
  if (fd == -2) {
    const char* path = getenv("QUARNEL_SWAP_LOG");
    fd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
  }
  return fd;
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
  static SwapFn real = NULL;
  if (!real) real = (SwapFn)dlsym(RTLD_NEXT, "glXSwapBuffers");
  if (real) real(display, drawable);
  const int fd = LogFile();
  if (fd < 0) return;
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  char line[32];
  const int n = snprintf(line, sizeof line, "%lld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec);
  if (n > 0 && write(fd, line, (size_t)n) < 0) return;
}
