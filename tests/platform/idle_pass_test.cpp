#include "platform/idle_pass.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <vector>

#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::TestApplication;

// Runs the event loop for a while, as the program would between inputs.
void RunFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}

TEST(IdlePass, RunsOnceAfterStartThenRests) {
  TestApplication();
  std::vector<int> counts;
  IdlePass idle([&](int count) {
    counts.push_back(count);
    return false;
  });
  idle.Start();
  EXPECT_FALSE(idle.Resting());
  RunFor(150);
  EXPECT_EQ(counts, std::vector<int>{0});
  EXPECT_TRUE(idle.Resting());
}

TEST(IdlePass, KeepsGoingWhileTheHandlerAsksThenRests) {
  TestApplication();
  int spinsLeft = 5;
  std::vector<int> counts;
  IdlePass idle([&](int count) {
    counts.push_back(count);
    return --spinsLeft > 0;
  });
  idle.Start();
  RunFor(150);
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(idle.Resting());
}

TEST(IdlePass, InputWakesItPaintingAndTimersDoNot) {
  TestApplication();
  // A window that never takes the focus, so that other programs on the same
  // display cannot send it focus events while the test counts passes.
  QWidget widget(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus);
  widget.setAttribute(Qt::WA_ShowWithoutActivating);
  widget.resize(100, 100);
  widget.show();
  RunFor(50);

  std::vector<int> counts;
  IdlePass idle([&](int count) {
    counts.push_back(count);
    // What a spinning view does: ask for a repaint. That repaint must not
    // start the next pass by itself.
    widget.update();
    return false;
  });
  idle.Start();
  RunFor(100);
  ASSERT_EQ(counts.size(), 1u);

  widget.repaint();
  QTimer ticking;
  ticking.start(5);
  RunFor(100);
  ticking.stop();
  EXPECT_EQ(counts.size(), 1u);

  QTest::keyClick(&widget, Qt::Key_A);
  RunFor(50);
  EXPECT_EQ(counts.size(), 2u);
  EXPECT_EQ(counts.back(), 0);

  // A move to the same place is no news; a move elsewhere is.
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(110, 110), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &move);
  RunFor(50);
  const size_t afterFirstMove = counts.size();
  QMouseEvent same(QEvent::MouseMove, QPointF(10, 10), QPointF(110, 110), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &same);
  RunFor(50);
  EXPECT_EQ(counts.size(), afterFirstMove);
  QMouseEvent elsewhere(QEvent::MouseMove, QPointF(20, 10), QPointF(120, 110), Qt::NoButton,
                        Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &elsewhere);
  RunFor(50);
  EXPECT_EQ(counts.size(), afterFirstMove + 1);

  // Stopped: nothing wakes it.
  idle.Stop();
  QTest::keyClick(&widget, Qt::Key_B);
  RunFor(50);
  EXPECT_EQ(counts.size(), afterFirstMove + 1);
}

TEST(IdlePass, WakeAsksForOnePassAndCountsRestartAtZero) {
  TestApplication();
  std::vector<int> counts;
  int more = 2;
  IdlePass idle([&](int count) {
    counts.push_back(count);
    return more-- > 0;
  });
  idle.Start();
  RunFor(100);
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 2}));
  idle.Wake();
  idle.Wake();
  RunFor(100);
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 2, 0}));
  EXPECT_EQ(idle.Passes(), 4);
}

TEST(IdlePass, APassDueWhileHeldRunsAfterTheLastRelease) {
  TestApplication();
  std::vector<int> counts;
  IdlePass idle([&](int count) {
    counts.push_back(count);
    return false;
  });
  idle.Start();
  RunFor(50);
  ASSERT_EQ(counts.size(), 1u);
  idle.Hold();
  idle.Hold();
  idle.Wake();
  RunFor(50);
  idle.Release();
  RunFor(50);
  EXPECT_EQ(counts.size(), 1u);
  idle.Release();
  RunFor(50);
  EXPECT_EQ(counts, (std::vector<int>{0, 0}));
  // A hold with nothing due leaves the pass at rest.
  idle.Hold();
  idle.Release();
  RunFor(50);
  EXPECT_EQ(counts.size(), 2u);
  EXPECT_TRUE(idle.Resting());
}

}  // namespace
}  // namespace quarnel
