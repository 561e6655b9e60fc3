// The view's mouse input: Qt's events turned into mouse messages, and the
// messages routed by the interaction mode to the trackballs, the rubber
// band, the zoom on a point, the tape and the selection.
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/mouse_flags.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "platform/cursors.h"
#include "platform/wait_cursor.h"

namespace quarnel {

namespace {

// The range of clip factors that the frame's projection takes.
constexpr float kMinClipFactor = 1e-6f;
constexpr float kMaxClipFactor = 1e6f;

bool Held(int flags, int bit) { return (flags & bit) != 0; }

bool CtrlAndShift(int flags) {
  return Held(flags, MouseFlag::Control) && Held(flags, MouseFlag::Shift);
}

// The trackball code of the modifier keys.
int ModifierCode(int flags) {
  int code = 0;
  if (Held(flags, MouseFlag::Control)) code |= TrackButton::Ctrl;
  if (Held(flags, MouseFlag::Shift)) code |= TrackButton::Shift;
  return code;
}

// The selection operation of the modifier keys: add, subtract or replace.
int SelectionOperation(int flags) {
  if (Held(flags, MouseFlag::Control)) return 1;
  if (Held(flags, MouseFlag::Shift)) return 2;
  return 0;
}

// Window points are in the same pixels as the GL viewport.
WindowPoint ToWindowPoint(const QPointF& p, double ratio) {
  return {int(std::lround(p.x() * ratio)), int(std::lround(p.y() * ratio))};
}

}  // namespace

// ---------------------------------------------------------------------------
// Qt events

void CQuarnelView::mousePressEvent(QMouseEvent* event) {
  const int flags = MouseFlags(event->buttons(), event->modifiers());
  const WindowPoint p = ToWindowPoint(event->position(), devicePixelRatioF());
  switch (event->button()) {
    case Qt::LeftButton:
      OnLButtonDown(flags, p);
      break;
    case Qt::MiddleButton:
      OnMButtonDown(flags, p);
      break;
    default:
      QOpenGLWidget::mousePressEvent(event);
      return;
  }
  event->accept();
}

void CQuarnelView::mouseMoveEvent(QMouseEvent* event) {
  OnMouseMove(MouseFlags(event->buttons(), event->modifiers()),
              ToWindowPoint(event->position(), devicePixelRatioF()));
  event->accept();
}

void CQuarnelView::mouseReleaseEvent(QMouseEvent* event) {
  const int flags = MouseFlags(event->buttons(), event->modifiers());
  const WindowPoint p = ToWindowPoint(event->position(), devicePixelRatioF());
  switch (event->button()) {
    case Qt::LeftButton:
      OnLButtonUp(flags, p);
      break;
    case Qt::MiddleButton:
      OnMButtonUp(flags, p);
      break;
    default:
      QOpenGLWidget::mouseReleaseEvent(event);
      return;
  }
  event->accept();
}

void CQuarnelView::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click comes as this event alone. A middle
  // double click has no handler of its own: it neither presses nor drags.
  switch (event->button()) {
    case Qt::LeftButton:
      OnLButtonDblClk(MouseFlags(event->buttons(), event->modifiers()),
                      ToWindowPoint(event->position(), devicePixelRatioF()));
      break;
    case Qt::MiddleButton:
      break;
    default:
      QOpenGLWidget::mouseDoubleClickEvent(event);
      return;
  }
  event->accept();
}

void CQuarnelView::wheelEvent(QWheelEvent* event) {
  const int delta = std::clamp(event->angleDelta().y(), -32768, 32767);
  OnMouseWheel(MouseFlags(event->buttons(), event->modifiers()), short(delta),
               ToWindowPoint(event->position(), devicePixelRatioF()));
  event->accept();
}

// ---------------------------------------------------------------------------
// Mouse messages

void CQuarnelView::OnLButtonDown(int flags, WindowPoint point) {
  m_trackBall.SetHandlePicking(1);
  if (CtrlAndShift(flags)) {
    m_lightTrackBall.MouseDown(point.x, point.y, TrackButton::Left);
    m_lightDragging = true;
    return;
  }
  const int c = (Held(flags, MouseFlag::Middle) ? TrackButton::Middle : 0) | ModifierCode(flags);
  if (m_interactionMode == 6 && m_selectionTool == 1 && m_editing) {
    m_interactionMode = 7;
    m_bandOrigin = point;
    m_bandPrevious = {-1, -1};
    m_bandCorner = {-1, -1};
    return;
  }
  if (m_textureImageView == 1) {
    // The left button always pans the texture board.
    m_textureTrackBall.MouseDown(point.x, point.y, TrackButton::Ctrl | TrackButton::Left);
  } else if (!m_editing) {
    m_trackBall.MouseDown(point.x, point.y, c | TrackButton::Left);
  } else if (m_interactionMode == 4 || m_interactionMode == 5) {
    m_clipTrackBall.MouseDown(point.x, point.y, c | TrackButton::Left);
  }
}

void CQuarnelView::OnMButtonDown(int flags, WindowPoint point) {
  if (m_interactionMode != 0) return;
  const int c = (Held(flags, MouseFlag::Left) ? TrackButton::Left : 0) | ModifierCode(flags);
  m_trackBall.MouseDown(point.x, point.y, c | TrackButton::Middle);
}

void CQuarnelView::OnMouseMove(int flags, WindowPoint point) {
  if (m_interactionMode == 7) {
    m_bandCorner = point;
    update();
  }
  SetInteractionCursor(flags);
  if (m_interactionMode == 2) {
    const WindowPoint glPoint{point.x, m_viewport[3] - point.y};
    if (m_tapePoints.size() == 1 &&
        (glPoint.x != m_mousePoint.x || glPoint.y != m_mousePoint.y))
      update();
    m_mousePoint = glPoint;
  }
  if (!Held(flags, MouseFlag::Left) && !Held(flags, MouseFlag::Middle)) return;

  if (m_textureImageView == 1) {
    m_textureTrackBall.MouseMove(point.x, point.y, 0);
  } else {
    m_lightDragging = CtrlAndShift(flags);
    if (m_lightDragging) m_lightTrackBall.MouseMove(point.x, point.y, 0);
    if (!m_editing)
      m_trackBall.MouseMove(point.x, point.y, 0);
    else if (m_interactionMode == 4 || m_interactionMode == 5)
      m_clipTrackBall.MouseMove(point.x, point.y, 0);
  }
  update();
}

void CQuarnelView::OnLButtonUp(int flags, WindowPoint point) {
  m_lightDragging = false;
  if (m_interactionMode == 0 && m_textureImageView != 1)
    m_trackBall.MouseUp(point.x, point.y, 0);
  const int operation = SelectionOperation(flags);
  if (m_interactionMode == 7) {
    m_bandCorner = point;
    m_interactionMode = 6;
    // A selection is an edit of the mesh: it runs as the commands do.
    doc_.RunCommand([&] {
      SelectInRect(operation);
      return true;
    });
    // The band drawn over the last frame goes with the next full frame.
    update();
  }
  if (m_interactionMode == 6 && m_editing && m_selectionTool == 2) {
    WaitCursor wait;
    doc_.RunCommand([&] {
      SelectComponentAt(point.x, point.y, operation);
      return true;
    });
  }
  if (m_interactionMode == 1) ZoomAtPoint(flags, point.x, point.y);
  if (m_interactionMode == 2) AddTapePoint(point.x, point.y);
}

void CQuarnelView::OnMButtonUp(int flags, WindowPoint point) { OnLButtonUp(flags, point); }

void CQuarnelView::OnMouseWheel(int flags, short delta, WindowPoint) {
  const int notches = delta / 120;
  const int n = std::abs(notches);
  const bool ctrl = Held(flags, MouseFlag::Control), shift = Held(flags, MouseFlag::Shift);
  // Forward widens, backward narrows; the product runs in extended
  // precision and is stored once.
  auto scaled = [&](float value) {
    long double v = value;
    const long double factor = notches < 0 ? (long double)1.2 : (long double)0.8333333f;
    for (int i = 0; i < n; ++i) v *= factor;
    return float(v);
  };
  if (shift && !ctrl) {
    m_fov = scaled(m_fov);
    if (m_fov > kMaxFov) m_fov = kMaxFov;
    if (m_fov < kMinFov) m_fov = kMinFov;
  } else if (ctrl && !shift) {
    // Beyond the range the projection can use, further notches change
    // nothing; an unbounded factor would end at 0 or infinity, where no
    // notch brings it back.
    m_clipFactor = std::clamp(scaled(m_clipFactor), kMinClipFactor, kMaxClipFactor);
  } else {
    const int b = Held(flags, MouseFlag::Left) ? TrackButton::Left : 0;
    if (m_textureImageView == 1) m_textureTrackBall.MouseWheel(notches, 0);
    if (m_editing)
      m_clipTrackBall.MouseWheel(notches, b);
    else if (m_textureImageView != 1)
      m_trackBall.MouseWheel(notches, b);
  }
  update();
}

void CQuarnelView::OnLButtonDblClk(int flags, WindowPoint point) {
  if (CtrlAndShift(flags)) {
    PickPunctualInfo(point.x, m_viewport[3] - point.y);
    update();
  } else {
    OnZoomOnPoint();
  }
}

void CQuarnelView::SetInteractionCursor(int flags) {
  const bool ctrl = Held(flags, MouseFlag::Control), shift = Held(flags, MouseFlag::Shift);
  CursorId id;
  switch (m_interactionMode) {
    case 1:
      id = CursorId::ZoomOnPoint;
      break;
    case 2:
      id = CursorId::DistanceTape;
      break;
    case 6:
    case 7:
      if (m_selectionTool == 1) {
        if (!m_editing)
          id = CursorId::RegionIdle;
        else
          id = ctrl    ? CursorId::RegionAdd
               : shift ? CursorId::RegionSubtract
                       : CursorId::RegionReplace;
      } else {
        if (!m_editing)
          id = CursorId::ComponentIdle;
        else
          id = ctrl    ? CursorId::ComponentAdd
               : shift ? CursorId::ComponentSubtract
                       : CursorId::ComponentReplace;
      }
      break;
    default:
      // The other modes show the window's own cursor.
      unsetCursor();
      return;
  }
  setCursor(app_.m_cursors.Get(id));
}

}  // namespace quarnel
