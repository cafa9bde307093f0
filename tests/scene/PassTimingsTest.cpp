#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "GLTestWindow.h"
#include "scene/PassTimings.h"

namespace {

TEST(PassTimingsTest, ChargesEachPassItsOwnTimeAndPrintsTheMedians) {
  GLTestWindow::get();
  PassTimings off(false);
  off.start();
  off.endPass(PassTimings::clear);
  off.add(PassTimings::swap, 5, 5);
  EXPECT_EQ(off.getNbSamples(PassTimings::clear), 0u);
  EXPECT_EQ(off.getNbSamples(PassTimings::swap), 0u);

  PassTimings timings(true);
  const int64_t swaps[3] = {300, 100, 200};
  for (int64_t swap : swaps) {
    timings.add(PassTimings::swap, swap, swap / 10);
    timings.start();
    timings.endPass(PassTimings::clear);
    timings.endPass(PassTimings::skybox);
  }
  EXPECT_EQ(timings.getNbSamples(PassTimings::clear), 3u);
  EXPECT_EQ(timings.getNbSamples(PassTimings::skybox), 3u);
  EXPECT_EQ(timings.getNbSamples(PassTimings::water), 0u);
  EXPECT_EQ(timings.getMedianWall(PassTimings::swap), 200);
  EXPECT_EQ(timings.getMedianCpu(PassTimings::swap), 20);
  EXPECT_GE(timings.getMedianWall(PassTimings::clear), 0);

  std::ostringstream out;
  timings.print(out);
  EXPECT_EQ(out.str().rfind("Pass timings over 3 frames (medians in microseconds, wall / processor; ", 0), 0u) << out.str();
  EXPECT_NE(out.str().find("\n  swap: 200 / 20\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\n  water: 0 / 0\n"), std::string::npos) << out.str();
}

TEST(PassTimingsTest, APassDrawnInTwoPartsGetsOneTimeAFrame) {
  GLTestWindow::get();
  PassTimings timings(true);
  timings.start();
  timings.continuePass(PassTimings::player);  // none charged yet: a time of its own
  EXPECT_EQ(timings.getNbSamples(PassTimings::player), 1u);
  for (int frame = 0; frame < 2; ++frame) {
    timings.start();
    timings.endPass(PassTimings::regions);
    timings.endPass(PassTimings::skybox);
    timings.continuePass(PassTimings::regions);
  }
  EXPECT_EQ(timings.getNbSamples(PassTimings::regions), 2u);
  EXPECT_EQ(timings.getNbSamples(PassTimings::skybox), 2u);
}

}  // namespace
