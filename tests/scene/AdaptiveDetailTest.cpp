#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/AdaptiveDetail.h"

namespace {

constexpr double budget = AdaptiveDetail::defaultBudgetMs;

/// Feeds `nbFrames` frames of `ms` each; returns how often the scale changed direction.
int feed(AdaptiveDetail& detail, double ms, int nbFrames) {
  int reversals = 0, lastDirection = 0;
  for (int i = 0; i < nbFrames; ++i) {
    const float before = detail.getScale();
    detail.addFrame(ms);
    const int direction = detail.getScale() > before ? 1 : detail.getScale() < before ? -1 : 0;
    if (direction != 0 && lastDirection != 0 && direction != lastDirection) ++reversals;
    if (direction != 0) lastDirection = direction;
  }
  return reversals;
}

TEST(AdaptiveDetailTest, ShrinksSlowlyOverTheBudgetDownToItsFloorAndGrowsBackToFull) {
  AdaptiveDetail detail;
  EXPECT_EQ(detail.getScale(), 1.f);
  // One slow step per framesPerStep frames.
  feed(detail, 2.0 * budget, AdaptiveDetail::framesPerStep - 1);
  EXPECT_EQ(detail.getScale(), 1.f);
  feed(detail, 2.0 * budget, 1);
  EXPECT_FLOAT_EQ(detail.getScale(), 1.f - AdaptiveDetail::shrinkStep);
  EXPECT_EQ(feed(detail, 2.0 * budget, 1000), 0);
  EXPECT_EQ(detail.getScale(), AdaptiveDetail::minScale);

  EXPECT_EQ(feed(detail, 0.5 * budget, 2000), 0);
  EXPECT_EQ(detail.getScale(), 1.f);

  feed(detail, 2.0 * budget, 100);
  detail.reset();
  EXPECT_EQ(detail.getScale(), 1.f);
  EXPECT_EQ(detail.getAverageMs(), 0.0);
}

TEST(AdaptiveDetailTest, HoldsBetweenGrowingAndShrinking) {
  // Frames between growBelow x the budget and the budget leave any scale where it is.
  for (const double ms : {budget, 0.9 * budget, AdaptiveDetail::growBelow * budget + 0.01}) {
    AdaptiveDetail detail;
    feed(detail, 2.0 * budget, 5 * AdaptiveDetail::framesPerStep);
    const float held = detail.getScale();
    ASSERT_LT(held, 1.f);
    feed(detail, ms, 100);  // the average settles
    const float settled = detail.getScale();
    EXPECT_EQ(feed(detail, ms, 3000), 0) << ms;
    EXPECT_EQ(detail.getScale(), settled) << ms;
  }
}

TEST(AdaptiveDetailTest, SettlesWhenTheFrameTimeFollowsTheDetail) {
  // A frame whose drawing grows with the area in view: over the budget at full detail.
  AdaptiveDetail detail;
  float scale = 1.f;
  int nbChanges = 0;
  for (int frame = 0; frame < 6000; ++frame) {
    // Every third frame builds a region: a spike the average absorbs.
    const double ms = 9.0 + 20.0 * detail.getScale() * detail.getScale() + (frame % 3 == 0 ? 3.0 : 0.0);
    detail.addFrame(ms);
    if (frame >= 3000 && detail.getScale() != scale) ++nbChanges;
    scale = detail.getScale();
  }
  EXPECT_LT(scale, 1.f);
  EXPECT_GT(scale, AdaptiveDetail::minScale);
  EXPECT_EQ(nbChanges, 0);
}

TEST(AdaptiveDetailTest, BudgetAndFrameTimesOutsideTheirRangeAreTamed) {
  AdaptiveDetail detail(0.0);
  EXPECT_EQ(detail.getBudgetMs(), budget);
  detail.setBudgetMs(-3.0);
  EXPECT_EQ(detail.getBudgetMs(), budget);
  detail.setBudgetMs(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(detail.getBudgetMs(), budget);
  detail.setBudgetMs(33.0);
  EXPECT_EQ(detail.getBudgetMs(), 33.0);

  detail.addFrame(std::numeric_limits<double>::infinity());
  EXPECT_EQ(detail.getAverageMs(), AdaptiveDetail::maxFrameMs);
  feed(detail, std::numeric_limits<double>::quiet_NaN(), 200);
  EXPECT_TRUE(std::isfinite(detail.getAverageMs()));
  EXPECT_LT(detail.getAverageMs(), 1.0);
  feed(detail, -5.0, 10);
  EXPECT_GE(detail.getAverageMs(), 0.0);
}

}  // namespace
