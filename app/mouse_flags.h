// The flag word that comes with every mouse message of a view: which
// buttons are down and which modifier keys are held at that moment. Qt's
// events are turned into it once, where they arrive.
#pragma once

#include <Qt>

namespace quarnel {

namespace MouseFlag {
inline constexpr int Left = 0x01;
inline constexpr int Right = 0x02;
inline constexpr int Shift = 0x04;
inline constexpr int Control = 0x08;
inline constexpr int Middle = 0x10;
}  // namespace MouseFlag

inline int MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  int flags = 0;
  if (buttons & Qt::LeftButton) flags |= MouseFlag::Left;
  if (buttons & Qt::RightButton) flags |= MouseFlag::Right;
  if (buttons & Qt::MiddleButton) flags |= MouseFlag::Middle;
  if (modifiers & Qt::ShiftModifier) flags |= MouseFlag::Shift;
  if (modifiers & Qt::ControlModifier) flags |= MouseFlag::Control;
  return flags;
}

}  // namespace quarnel
