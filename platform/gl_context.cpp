#include "platform/gl_context.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOpenGLContext>

namespace quarnel {

QSurfaceFormat ViewSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setVersion(2, 1);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  format.setAlphaBufferSize(8);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(0);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  return format;
}

void PrepareOpenGLApplication() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(ViewSurfaceFormat());
}

GlProcedure GetGlProcAddress(const char* name) {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  if (context == nullptr || name == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<GlProcedure>(context->getProcAddress(name));
}

bool HasCurrentGlContext() {
  return QOpenGLContext::currentContext() != nullptr;
}

bool DisplayHasOpenGL() {
  // The platforms without a screen may still make contexts, but cannot
  // compose OpenGL widgets into their windows.
  if (ScreenlessPlatform()) {
    return false;
  }
  const QOpenGLContext* shared = QOpenGLContext::globalShareContext();
  return shared != nullptr && shared->isValid();
}

bool ScreenlessPlatform() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

}  // namespace quarnel
