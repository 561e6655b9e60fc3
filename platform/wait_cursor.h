#pragma once

namespace quarnel {

// Shows the busy cursor over every window of the program for the lifetime of
// the object. Scopes nest; the cursor goes back when the outermost one ends.
// Without a running GUI application it does nothing.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool active_;
};

}  // namespace quarnel
