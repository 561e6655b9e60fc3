#pragma once

#include <QSurfaceFormat>

namespace quarnel {

// The surface of every view: OpenGL with the compatibility profile (the views
// draw with the fixed-function pipeline and display lists), RGBA with 8 bits a
// channel, a 24-bit depth buffer, double buffering.
QSurfaceFormat ViewSurfaceFormat();

// To run before the QApplication is made: every view's context shares display
// lists and textures with all the others (the fonts and textures are made
// once for the process), and every surface gets ViewSurfaceFormat().
void PrepareOpenGLApplication();

// An entry point of the current context, or null when there is no current
// context. Under X11 a name the driver does not know may still give an
// address (a stub that must not be called): look the extension up in the
// extension string before calling what this returns.
using GlProcedure = void (*)();
GlProcedure GetGlProcAddress(const char* name);

bool HasCurrentGlContext();

// Whether the display the application runs on can make OpenGL contexts at
// all (with the shared contexts of PrepareOpenGLApplication, the shared
// context exists). Without them no view can draw, and the window system's
// composition of the views would fail: the program stops before any window.
bool DisplayHasOpenGL();

// Whether the application runs on a platform without a screen ("offscreen",
// "minimal"), where nobody could answer a message box.
bool ScreenlessPlatform();

}  // namespace quarnel
