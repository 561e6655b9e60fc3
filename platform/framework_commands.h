#pragma once

namespace quarnel {

// Ids of the commands that the document manager handles itself, as the menu
// and toolbar tables name them.
namespace framework_command {

inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileClose = 57602;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
// The recent files: kRecentFileFirst is the first entry (the menu item of the
// table), the next entries follow it.
inline constexpr int kRecentFileFirst = 57616;
inline constexpr int kAppExit = 57665;

}  // namespace framework_command

}  // namespace quarnel
