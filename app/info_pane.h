// The texts of the information pane and the on-screen help, laid out in
// viewport pixels (origin at the bottom left) before they are drawn.
#pragma once

#include <string>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

struct PaneText {
  std::string text;
  int x = 0;
  int y = 0;
  bool large = false;  // the large font, else the small one
  Color4b colour;
};

struct InfoPaneLayout {
  bool help = false;   // the help column on the right edge is drawn
  int helpTexts = 0;   // the first texts are the help column's
  int helpWidth = 0;   // width of the help column's strip
  int paneHeight = 0;  // height of the pane along the bottom edge
  std::vector<PaneText> texts;

  // The first text that starts with prefix; null when there is none.
  const PaneText* Find(const std::string& prefix) const {
    for (const PaneText& t : texts)
      if (t.text.compare(0, prefix.size(), prefix) == 0) return &t;
    return nullptr;
  }
};

}  // namespace quarnel
