#pragma once

#include <QCursor>
#include <QString>
#include <array>
#include <map>

namespace quarnel {

// The cursors that the views show in their interaction modes, by the numbers
// under which the mode table names them.
enum class CursorId : int {
  ZoomOnPoint = 150,        // zoom on point armed
  DistanceTape = 151,       // placing the distance tape's points
  RegionAdd = 152,          // region tool, editing, Ctrl held
  RegionSubtract = 153,     // region tool, editing, Shift held
  RegionReplace = 154,      // region tool, editing
  RegionIdle = 1009,        // region tool, not editing
  ComponentReplace = 184,   // connected-component tool, editing
  ComponentAdd = 185,       // connected-component tool, editing, Ctrl held
  ComponentIdle = 186,      // connected-component tool, not editing
  ComponentSubtract = 187,  // connected-component tool, editing, Shift held
};

// The order in which the application loads them.
inline constexpr std::array<CursorId, 10> kCursorLoadOrder = {
    CursorId::ZoomOnPoint,      CursorId::DistanceTape,   CursorId::RegionReplace,
    CursorId::RegionAdd,        CursorId::RegionSubtract, CursorId::RegionIdle,
    CursorId::ComponentReplace, CursorId::ComponentAdd,   CursorId::ComponentSubtract,
    CursorId::ComponentIdle,
};

// Where the image of a cursor lives among the program's resources, and its
// hot spot.
struct CursorImage {
  const char* resource;
  int hotX;
  int hotY;
};
CursorImage CursorImageOf(CursorId id);

// Makes sure the program's resources (cursor, toolbar and icon images) are
// registered; safe to call more than once.
void InitPlatformResources();

// The ten cursors, made from the program's own images. Needs a
// QGuiApplication. A cursor whose image cannot be read falls back to the
// arrow, and Load reports false.
class CursorSet {
 public:
  bool Load();
  bool Loaded() const { return !cursors_.empty(); }
  // The cursor of id; the arrow before Load.
  QCursor Get(CursorId id) const;

 private:
  std::map<CursorId, QCursor> cursors_;
};

}  // namespace quarnel
