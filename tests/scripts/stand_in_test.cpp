// A test program with a test of each outcome; the stand-in tests pick theirs
// with --gtest_filter.
#include <gtest/gtest.h>

#include <cstdio>

TEST(StandIn, Passes) {
  // More than CTest keeps by default of a passing test's output, ahead of
  // the closing lines that say how many tests passed.
  for (int line = 0; line < 40; ++line)
    std::printf("a test that talks a lot, line %d of 40\n", line + 1);
}

TEST(StandIn, AlsoPasses) {}

TEST(StandIn, Skips) { GTEST_SKIP() << "what this test needs is missing"; }

TEST(StandIn, Fails) { ADD_FAILURE() << "the stand-in of a failed assertion"; }
