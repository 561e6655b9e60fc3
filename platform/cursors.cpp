#include "platform/cursors.h"

#include <QPixmap>

// The resource file is compiled into this library; referencing its
// initialiser keeps the linker from dropping it from a static link.
static void InitQuarnelResourceFile() {
  Q_INIT_RESOURCE(quarnel);
}

namespace quarnel {

void InitPlatformResources() {
  static const bool done = [] {
    InitQuarnelResourceFile();
    return true;
  }();
  (void)done;
}

CursorImage CursorImageOf(CursorId id) {
  switch (id) {
    case CursorId::ZoomOnPoint:
      return {":/cursors/zoom_point.xpm", 12, 12};
    case CursorId::DistanceTape:
      return {":/cursors/distance_tape.xpm", 8, 8};
    case CursorId::RegionAdd:
      return {":/cursors/region_add.xpm", 8, 8};
    case CursorId::RegionSubtract:
      return {":/cursors/region_subtract.xpm", 8, 8};
    case CursorId::RegionReplace:
      return {":/cursors/region_replace.xpm", 8, 8};
    case CursorId::RegionIdle:
      return {":/cursors/region_idle.xpm", 1, 1};
    case CursorId::ComponentReplace:
      return {":/cursors/component_replace.xpm", 8, 8};
    case CursorId::ComponentAdd:
      return {":/cursors/component_add.xpm", 8, 8};
    case CursorId::ComponentIdle:
      return {":/cursors/component_idle.xpm", 1, 1};
    case CursorId::ComponentSubtract:
      return {":/cursors/component_subtract.xpm", 8, 8};
  }
  return {"", 0, 0};
}

bool CursorSet::Load() {
  InitPlatformResources();
  bool all = true;
  cursors_.clear();
  for (CursorId id : kCursorLoadOrder) {
    const CursorImage image = CursorImageOf(id);
    const QPixmap pixmap(QString::fromLatin1(image.resource));
    if (pixmap.isNull()) {
      all = false;
      cursors_.emplace(id, QCursor(Qt::ArrowCursor));
    } else {
      cursors_.emplace(id, QCursor(pixmap, image.hotX, image.hotY));
    }
  }
  return all;
}

QCursor CursorSet::Get(CursorId id) const {
  const auto it = cursors_.find(id);
  return it == cursors_.end() ? QCursor(Qt::ArrowCursor) : it->second;
}

}  // namespace quarnel
