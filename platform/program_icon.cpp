#include "platform/program_icon.h"

#include <QFile>

#include "platform/cursors.h"

namespace quarnel {

QString ProgramIconResource(int size) {
  return QStringLiteral(":/icon/quarnel_%1.png").arg(size);
}

QByteArray ProgramIconFile(int size) {
  InitPlatformResources();
  QFile file(ProgramIconResource(size));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

QIcon ProgramIcon() {
  InitPlatformResources();
  QIcon icon;
  for (int size : kProgramIconSizes) icon.addFile(ProgramIconResource(size), QSize(size, size));
  return icon;
}

}  // namespace quarnel
