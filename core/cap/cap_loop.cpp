#include "core/cap/cap_loop.h"

#include <cmath>

namespace quarnel {

int CutTurn(const std::vector<CapLoop>& caps) {
  double sum = 0.0, largest = 0.0;
  int turn = 1;
  for (const CapLoop& c : caps) {
    sum += c.CapArea();
    if (std::fabs(c.CapArea()) > largest) {
      largest = std::fabs(c.CapArea());
      turn = c.CapArea() > 0.0 ? 1 : -1;
    }
  }
  return sum > 0.0 ? 1 : sum < 0.0 ? -1 : turn;
}

}  // namespace quarnel
