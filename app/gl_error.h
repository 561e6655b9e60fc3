// Reports OpenGL errors to the user under a caller-given label.
#pragma once

#include <functional>
#include <string>

namespace quarnel {

// Where OpenGL error messages go: the program shows a message box (deferred
// while a frame is being painted); tests record them.
using GlErrorSink = std::function<void(const std::string& text, const std::string& title)>;
void SetGlErrorSink(GlErrorSink sink);

// The text shown for one glGetError value, empty for GL_NO_ERROR and for
// values outside the six errors of OpenGL 1.1.
std::string GlErrorMessage(const char* label, unsigned error);

// Reads one error from OpenGL and, when it is one of the six, hands the label
// with the error's suffix to the sink under the given title.
void ReportGLError(const char* label, const char* title);
// ReportGLError titled "OpenGL Usage Error".
void CheckGLError(const char* label);

}  // namespace quarnel
