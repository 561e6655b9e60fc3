// The main of every test program. A program some of whose tests skipped
// (their data or the display's feature is missing) and none failed ends with
// QUARNEL_SKIPPED_EXIT_CODE, which CTest takes for a skip (the tests'
// SKIP_RETURN_CODE), not for a pass; a failure ends with 1. So does a program
// that ran no test, as when its filter names a test that is not there: it
// checked nothing.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (RUN_ALL_TESTS() != 0) return 1;
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  if (unit.test_to_run_count() == 0) {
    std::printf("No test ran: none of the program's %d tests matches the filter.\n",
                unit.total_test_count());
    return 1;
  }
  if (unit.skipped_test_count() == 0) return 0;
  std::printf("%d of %d tests skipped:\n", unit.skipped_test_count(), unit.test_to_run_count());
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& info = *suite.GetTestInfo(t);
      if (info.result()->Skipped())
        std::printf("  skipped: %s.%s\n", suite.name(), info.name());
    }
  }
  return QUARNEL_SKIPPED_EXIT_CODE;
}
