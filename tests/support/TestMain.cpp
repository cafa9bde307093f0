#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The machines that run the tests may have no sound card: unless the run chose an OpenAL
  // output (scripts/test writes it to a wave file), mix into the null output. Programs the
  // tests start inherit the choice.
  setenv("ALSOFT_DRIVERS", "null", 0);
  // The engine starts threads (region worker, sound); fork-and-exec death tests stay safe.
  testing::GTEST_FLAG(death_test_style) = "threadsafe";
  return RUN_ALL_TESTS();
}
