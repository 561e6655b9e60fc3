// The one QApplication of a platform test program.
#pragma once

#include <QApplication>

namespace quarnel::test {

// Made on first use, with the program's OpenGL set-up, and kept to the end of
// the process.
QApplication& TestApplication();

// Runs the event loop until the queue is empty, deferred deletions included.
void DrainEvents();

}  // namespace quarnel::test
