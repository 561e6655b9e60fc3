#include "app/gl_error.h"

#include <GL/gl.h>

#include <utility>

namespace quarnel {

namespace {
GlErrorSink& Sink() {
  static GlErrorSink sink;
  return sink;
}
}  // namespace

void SetGlErrorSink(GlErrorSink sink) { Sink() = std::move(sink); }

std::string GlErrorMessage(const char* label, unsigned error) {
  const char* suffix = nullptr;
  switch (error) {
    case GL_INVALID_ENUM: suffix = ": invalid enum"; break;
    case GL_INVALID_VALUE: suffix = ": invalid value"; break;
    case GL_INVALID_OPERATION: suffix = ": invalid operation"; break;
    case GL_STACK_OVERFLOW: suffix = ": stack overflow"; break;
    case GL_STACK_UNDERFLOW: suffix = ": stack underflow"; break;
    case GL_OUT_OF_MEMORY: suffix = ": out of memory"; break;
    default: return {};
  }
  std::string text = label ? label : "";
  return text + suffix;
}

void ReportGLError(const char* label, const char* title) {
  std::string text = GlErrorMessage(label, glGetError());
  if (text.empty()) return;
  if (Sink()) Sink()(text, title ? title : "");
}

void CheckGLError(const char* label) { ReportGLError(label, "OpenGL Usage Error"); }

}  // namespace quarnel
