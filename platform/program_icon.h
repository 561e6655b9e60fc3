// The program's own icon, drawn for it (res/icon) and compiled into the
// program's resources.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>

namespace quarnel {

// The sizes the icon is drawn in, in pixels a side.
inline constexpr int kProgramIconSizes[] = {16, 32, 48, 128, 256};

// The resource path of the icon's picture of the given size.
QString ProgramIconResource(int size);

// The PNG file of the icon's picture of the given size; empty when the
// program carries no picture of that size.
QByteArray ProgramIconFile(int size);

// The icon with every drawn size. Needs a QGuiApplication.
QIcon ProgramIcon();

}  // namespace quarnel
