#include <gtest/gtest.h>

#include <GL/glew.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "world/CubeTypeManager.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "world/CustomObjectsCallback.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "RegionTableFixture.h"
#include "Platform.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "world/RegionTableListener.h"
#include "world/WorldIndexator.h"
#include "world/WorldRegion.h"
#include "world/CubeZoneLooks.h"

namespace {

constexpr float edge = fixtureRegionEdge;
const float lowest = -std::numeric_limits<float>::max();

// Moves whatever it manages by `shift`.
class MovingCallback : public CustomObjectsCallback {
 public:
  void manage(uint32_t, CustomObject* object) override { object->setPosition(object->getPosition() + shift); }
  Float3 shift{0.f, 0.f, 0.f};
};

class ProgressBarProbe : public WorldIndexator {
 public:
  using WorldIndexator::showProgressBar;
};

class WorldIndexatorTest : public RegionTableFixture {
 protected:
  void TearDown() override {
    RegionTableFixture::TearDown();
    CustomObject::setCallback(nullptr);
  }
};

}  // namespace

TEST_F(WorldIndexatorTest, ANewWorldHoldsTheEightRegionsAroundTheOrigin) {
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, 2, 2));
  EXPECT_EQ(world->getRegion(Int3(0, 0, 0))->getPosition(), Float3(-8.f, -8.f, -8.f));
  EXPECT_EQ(world->getRegion(Int3(1, 1, 1))->getPosition(), Float3(8.f, 8.f, 8.f));
  EXPECT_EQ(world->getRegionIndexOf(Float3(-0.5f, 15.9f, 16.f)), Int3(0, 1, 2));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(world->getRegionAt(Float3(nan, 0.f, 0.f)), nullptr);
  EXPECT_TRUE(WorldRegion::isWorkerRunning());
  world.reset();
  EXPECT_FALSE(WorldRegion::isWorkerRunning());
}

TEST_F(WorldIndexatorTest, PlacingOutsideTheTableGrowsItAndUnbuildsEveryRegion) {
  world->getRegion(Int3(1, 1, 1))->build(false, {});
  ASSERT_TRUE(world->addCubeZone(cubeInRegion(Int3(5, 0, 0))));
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(7, 2, 2));
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k) {
        const WorldRegion* region = world->getRegion(Int3(i, j, k));
        EXPECT_FALSE(region->isBuilt());
        EXPECT_EQ(region->getPosition(), world->getRegionCentre(Int3(i, j, k)));
      }
  EXPECT_EQ(world->getCubeTypeAt(Float3(88.5f, 8.5f, 8.5f)), 0);

  // Growing downward shifts the table indices; content keeps its world place.
  ASSERT_TRUE(world->addCubeZone(cubeInRegion(Int3(-3, 0, -2))));
  EXPECT_EQ(world->getTableRegionMin(), Int3(-3, -1, -2));
  EXPECT_EQ(world->getTableRegionSize(), Int3(9, 2, 3));
  EXPECT_EQ(world->getCubeTypeAt(Float3(88.5f, 8.5f, 8.5f)), 0);
  EXPECT_EQ(world->getCubeTypeAt(Float3(-39.5f, 8.5f, -23.5f)), 0);
  EXPECT_EQ(world->getRegion(Int3(8, 1, 2))->getNbCubeZones(), 1u);
  EXPECT_EQ(world->getLoadedRegions().size(), world->getNbRegions());
}

TEST_F(WorldIndexatorTest, GrowingToARangeResizesOnceOrRefusesBeyondTheLimits) {
  struct CountingListener : RegionTableListener {
    void regionsInvalidated() override { ++count; }
    int count = 0;
  } listener;
  world->setRegionTableListener(&listener);
  ASSERT_TRUE(world->addCubeZone(cubeInRegion(Int3(0, 0, 0))));
  EXPECT_TRUE(world->growToIncludeRange(Int3(-3, 0, 0), Int3(0, 900, 1)));
  EXPECT_EQ(listener.count, 1);
  EXPECT_EQ(world->getTableRegionMin(), Int3(-3, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(4, 902, 3));
  EXPECT_EQ(world->getCubeTypeAt(Float3(8.5f, 8.5f, 8.5f)), 0);
  // Already inside: nothing moves.
  EXPECT_TRUE(world->growToIncludeRange(Int3(0, 0, 0), Int3(-1, 5, 1)));
  EXPECT_EQ(listener.count, 1);
  EXPECT_FALSE(world->growToIncludeRange(Int3(0, 0, 0), Int3(0, WorldIndexator::maxAbsoluteIndex + 1, 0)));
  EXPECT_FALSE(world->growToIncludeRange(Int3(0, 0, 0), Int3(2000, 0, 2000)));
  EXPECT_EQ(listener.count, 1);
  EXPECT_EQ(world->getTableRegionSize(), Int3(4, 902, 3));
  world->setRegionTableListener(nullptr);
}

TEST_F(WorldIndexatorTest, LocateBoxToleratesAHairAcrossABorderOnly) {
  Int3 posIndex;
  // Size 0.5, upper corner 0.001 above the border at x = 16: the region of the lower corner.
  ASSERT_TRUE(world->locateBox(Float3(15.751f, 8.f, 8.f), Float3(0.5f, 0.5f, 0.5f), posIndex));
  EXPECT_EQ(posIndex, Int3(1, 1, 1));
  EXPECT_FALSE(world->locateBox(Float3(16.f, 8.f, 8.f), Float3(2.f, 0.5f, 0.5f), posIndex));
  // Lower corner a hair below the border: the region of the upper corner.
  ASSERT_TRUE(world->locateBox(Float3(16.249f, 8.f, 8.f), Float3(0.5f, 0.5f, 0.5f), posIndex));
  EXPECT_EQ(world->getTableRegionSize(), Int3(3, 2, 2));
  EXPECT_EQ(posIndex, Int3(2, 1, 1));

  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(world->locateBox(Float3(nan, 0.f, 0.f), Float3(1.f, 1.f, 1.f), posIndex));
  EXPECT_FALSE(world->locateBox(Float3(1e30f, 0.f, 0.f), Float3(0.f, 0.f, 0.f), posIndex));
  EXPECT_FALSE(world->locateBox(Float3(1e6f, 1e6f, 1e6f), Float3(0.f, 0.f, 0.f), posIndex));  // too many cells
  EXPECT_EQ(world->getTableRegionSize(), Int3(3, 2, 2));
  EXPECT_FALSE(world->addCustomObject(CustomObject(false, Float3(1e30f, 0.f, 0.f), 0, "")));
}

TEST_F(WorldIndexatorTest, FitTableToContentKeepsTheOriginRegions) {
  world->fitTableToContent();
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, 2, 2));

  ASSERT_TRUE(world->addCubeZone(cubeInRegion(Int3(3, 1, -4))));
  ASSERT_TRUE(world->addCubeZone(cubeInRegion(Int3(6, 0, 0))));
  EXPECT_TRUE(world->removeCubeZone(Float3(6 * edge + 8.5f, 8.5f, 8.5f), false));
  world->fitTableToContent();
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -4));
  EXPECT_EQ(world->getTableRegionSize(), Int3(5, 3, 5));
  EXPECT_EQ(world->getCubeTypeAt(Float3(3 * edge + 8.5f, edge + 8.5f, -4 * edge + 8.5f)), 0);
  EXPECT_EQ(world->getLoadedRegions().size(), world->getNbRegions());

  world->clear(Float3(3 * edge + 8.5f, edge + 8.5f, -4 * edge + 8.5f), true);
  world->fitTableToContent();
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, 2, 2));
}

TEST_F(WorldIndexatorTest, ShadowCommands) {
  config().setBool("fast_shadows", true);
  testing::internal::CaptureStdout();
  world->calculateShadowsAll();
  world->calculateShadowsAt(Float3(1.f, 1.f, 1.f));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Calculating shadows is useless and disabled (fast_shadows is true)\n"
            "Calculating shadows is useless and disabled (fast_shadows is true)\n");
  config().setBool("fast_shadows", false);
  world->addCubeZone(cubeInRegion(Int3(0, 0, 0)));
  testing::internal::CaptureStdout();
  world->calculateShadowsAll();
  world->calculateShadowsAt(Float3(1.f, 1.f, 1.f));
  world->calculateShadowsAt(Float3(1e9f, 1.f, 1.f));  // outside the world: nothing to shade
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Calculating shadows ... please wait ... (size=BasicVector<3,?(sizeof=4)> (2;2;2;))\n"
            "Region 0x0x0 \nRegion 0x1x0 \nRegion 0x0x1 \nRegion 0x1x1 \n"
            "Region 1x0x0 \nRegion 1x1x0 \nRegion 1x0x1 \nRegion 1x1x1 =\n"
            "... calculating shadows done.\n"
            "Calculating shadows for region 1x1x1:\n=\nCalculating shadows done.\n");
  // The zone's sides turned away from the light are flagged dark.
  const CubeZone& zone = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[0];
  EXPECT_TRUE(zone.isFaceShadowed[1]);
  EXPECT_FALSE(zone.isFaceShadowed[0]);
}

TEST_F(WorldIndexatorTest, PointOperationsRouteToTheRegionOrAnswerNothingOutside) {
  const Float3 far(1000.f, 0.f, 0.f);
  Float3 centre, size, hit;
  EXPECT_FALSE(world->removeCubeZone(far, true));
  EXPECT_FALSE(world->removeCustomObject(far, true));
  EXPECT_FALSE(world->clear(far, true));
  EXPECT_FALSE(world->isCollidableAt(far));
  EXPECT_EQ(world->getCubeZoneAt(far, centre, size), -1);
  EXPECT_EQ(world->getCubeTypeAt(far), -1);
  EXPECT_TRUE(world->isRegionEmptyAt(far));
  EXPECT_EQ(world->getHeightAt(1000.f, 0.f), lowest);

  world->addCubeZone(CubeZone(0, Float3(4.f, 2.f, 4.f), Float3(2.f, 4.f, 2.f)));
  world->addCubeZone(CubeZone(0, Float3(4.f, -10.f, 4.f), Float3(2.f, 2.f, 2.f)));
  EXPECT_TRUE(world->isCollidableAt(Float3(4.f, 1.f, 4.f)));
  EXPECT_EQ(world->getCubeZoneAt(Float3(4.f, 1.f, 4.f), centre, size), 0);
  EXPECT_EQ(size, Float3(2.f, 4.f, 2.f));
  EXPECT_EQ(world->getHeightAt(4.f, 4.f), 4.f);
  EXPECT_EQ(world->getHeightAt(3.f, 4.f), lowest);  // on the side
  EXPECT_TRUE(world->segmentHitsCube(Float3(4.5f, 1.5f, 40.f), Float3(4.5f, 1.5f, -40.f), hit));
  EXPECT_EQ(hit, Float3(4.5f, 1.5f, 3.f));
  EXPECT_FALSE(world->segmentHitsCube(Float3(4.5f, 20.5f, 40.f), Float3(4.5f, 20.5f, -40.f), hit));
  EXPECT_FALSE(world->isRegionEmptyAt(Float3(1.f, 1.f, 1.f)));
  EXPECT_TRUE(world->isRegionEmptyAt(Float3(-1.f, 1.f, 1.f)));

  world->removeCubeType(0);
  EXPECT_TRUE(world->isRegionEmptyAt(Float3(1.f, 1.f, 1.f)));
  EXPECT_EQ(world->getHeightAt(4.f, 4.f), lowest);

  EXPECT_TRUE(world->addCustomObject(CustomObject(false, Float3(3.f, 3.f, 3.f), 4, "")));
  EXPECT_EQ(world->getCustomObjectIdAt(Float3(3.2f, 3.f, 3.f)), 4);
  EXPECT_FALSE(world->isRegionEmptyAt(Float3(1.f, 1.f, 1.f)));
  EXPECT_TRUE(world->removeCustomObject(Float3(3.f, 3.f, 3.f), false));
}

TEST_F(WorldIndexatorTest, MovedObjectsChangeRegionAndGrowTheTable) {
  MovingCallback callback;
  CustomObject::setCallback(&callback);
  world->addCustomObject(CustomObject(false, Float3(8.f, 8.f, 8.f), 0, ""));
  callback.shift = Float3(5 * edge, 0.f, 0.f);
  world->stepCustomObjects(edge);
  EXPECT_EQ(world->getTableRegionSize(), Int3(7, 2, 2));
  EXPECT_TRUE(world->isRegionEmptyAt(Float3(8.f, 8.f, 8.f)));
  const WorldRegion* region = world->getRegionAt(Float3(5 * edge + 8.f, 8.f, 8.f));
  ASSERT_EQ(region->getNbCustomObjects(), 1u);
  // Far regions are not stepped.
  world->stepCustomObjects(edge);
  EXPECT_EQ(region->getCustomObjects()[0]->getPosition(), Float3(5 * edge + 8.f, 8.f, 8.f));
  CustomObject::setCallback(nullptr);  // the callback goes before the world's objects
}

TEST_F(WorldIndexatorTest, ProgressBarGrowsAndShrinks) {
  glColor4ub(255, 255, 255, 255);
  const int w = GLManager::getScene2D()->size2D.x();
  const int h = GLManager::getScene2D()->size2D.y();
  for (bool growing : {true, false}) {
    // Drawn a moment "after now" (however slowly this line runs): too soon, nothing drawn.
    int64_t lastDraw = Platform::getMicroseconds() + 60000000;
    const int64_t notYet = lastDraw;
    ProgressBarProbe::showProgressBar(1, 4, growing, lastDraw);
    EXPECT_EQ(lastDraw, notYet);
    lastDraw = Platform::getMicroseconds();
    lastDraw -= 200000;
    const int64_t before = lastDraw;
    ProgressBarProbe::showProgressBar(1, 4, growing, lastDraw);
    EXPECT_GT(lastDraw, before);
    // A quarter done: the bar reaches 10 + 780 / 4 when growing, 790 - 780 / 4 when shrinking.
    // Mesa keeps the swapped image in the back buffer.
    const std::vector<unsigned char> row = GLTestWindow::readPixels(0, GLManager::getWindowHeight() - 1 - (h - 40), w, 1);
    int filled = 0;
    for (int x = 0; x < w; ++x) filled += row[(size_t)x * 4] > 128 ? 1 : 0;
    EXPECT_NEAR(filled, growing ? 10 + (w - 20) / 4 - 10 : w - 10 - (w - 20) / 4 - 10, 2) << growing;
    EXPECT_EQ(GLTestWindow::readPixel2D(w / 2, h / 2)[0], 0);  // the screen was cleared
  }
}

TEST(WorldIndexatorDeathTest, BadSizesSecondIndexatorsAndCellsOutsideTheTableAreFatal) {
  EXPECT_EXIT(
      {
        GLTestWindow::get();
        WorldIndexator world(0.f);
      },
      testing::ExitedWithCode(1), "parSizeOneRegion > 0.f");
  EXPECT_EXIT(
      {
        GLTestWindow::get();
        WorldIndexator first(16.f);
        WorldIndexator second(16.f);
      },
      testing::ExitedWithCode(1), "thread == NULL");
  EXPECT_EXIT(
      {
        GLTestWindow::get();
        WorldIndexator world(16.f);
        world.getRegion(Int3(2, 0, 0));
      },
      testing::ExitedWithCode(1), "posIndex >= Int3\\(0,0,0\\) && posIndex < tableRegionSize");
  EXPECT_EXIT({ WorldIndexator world(16.f); }, testing::ExitedWithCode(1), "deviceManager");
}
