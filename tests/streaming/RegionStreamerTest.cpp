#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "world/CubeTypeManager.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "RegionTableFixture.h"
#include "streaming/RegionSplitPolicy.h"
#include "streaming/RegionStreamer.h"
#include "Scene3D.h"
#include "world/WorldIndexator.h"
#include "world/WorldRegion.h"

namespace {

constexpr float edge = fixtureRegionEdge;

class RegionStreamerTest : public RegionTableFixture {
 protected:
  void SetUp() override {
    RegionTableFixture::SetUp();
    streamer.reset(new RegionStreamer(*world));
  }
  void TearDown() override {
    streamer.reset();
    RegionTableFixture::TearDown();
  }
  /// One streaming frame; answers what it printed.
  std::string drawFrame(float viewDistance, bool showBorders = false) {
    testing::internal::CaptureStdout();
    streamer->draw(viewDistance, showBorders);
    return testing::internal::GetCapturedStdout();
  }
  size_t countBuilt() const {
    size_t built = 0;
    for (const WorldRegion* region : streamer->getRegionsInView()) built += region->isBuilt() ? 1 : 0;
    return built;
  }

  std::unique_ptr<RegionStreamer> streamer;
};

}  // namespace

TEST_F(RegionStreamerTest, TheScanListsTheCubeAroundTheCameraWithItsShell) {
  config().setBool("render_under_water", true);
  world->growToInclude(Int3(-12, -12, -12));
  world->growToInclude(Int3(12, 12, 12));
  ASSERT_EQ(world->getNbRegions(), 25u * 25u * 25u);
  const std::string printed = drawFrame(10 * edge);
  ASSERT_EQ(streamer->getRegionsInView().size(), 23u * 23u * 23u);
  size_t borders = 0;
  for (bool border : streamer->getAreRegionsInBorder()) borders += border ? 1 : 0;
  EXPECT_EQ(borders, 2906u);
  // Without progressive loading, the shell is listed but never built.
  EXPECT_EQ(countBuilt(), 21u * 21u * 21u);
  for (size_t i = 0; i < streamer->getRegionsInView().size(); ++i)
    if (streamer->getAreRegionsInBorder()[i]) {
      EXPECT_FALSE(streamer->getRegionsInView()[i]->isBuilt());
    }
  EXPECT_EQ(printed.find("Loaded"), std::string::npos);  // empty regions have no buffers

  for (int frame = 0; frame < 5; ++frame) drawFrame(10 * edge);
  EXPECT_EQ(world->getLoadedRegions().size(), streamer->getRegionsInView().size());

  // A view distance that is not a number, or absurdly large, scans what the table holds.
  drawFrame(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(streamer->getRegionsInView().size(), 27u);
  drawFrame(1e30f);
  EXPECT_EQ(streamer->getRegionsInView().size(), world->getNbRegions());
}

TEST_F(RegionStreamerTest, RegionsUnderWaterAreOutlinedButNeitherListedNorBuilt) {
  world->addCubeZone(cubeInRegion(Int3(0, -1, 0)));
  drawFrame(edge, true);
  for (size_t i = 0; i < streamer->getRegionsInView().size(); ++i)
    EXPECT_GE(streamer->getPosIntRegions()[i].y() + world->getTableRegionMin().y(), 0);
  EXPECT_EQ(streamer->getRegionsInView().size(), 4u);
  EXPECT_FALSE(world->getRegion(Int3(1, 0, 1))->isBuilt());
  config().setBool("render_under_water", true);
  drawFrame(edge);
  EXPECT_EQ(streamer->getRegionsInView().size(), 8u);
}

TEST_F(RegionStreamerTest, ProgressiveLoadingBuildsOneShellRegionPerQuietFrame) {
  config().setBool("optimization_world_load_progressive", true);
  config().setBool("render_under_water", true);
  world->growToInclude(Int3(-3, -3, -3));
  world->growToInclude(Int3(3, 3, 3));
  world->addCubeZone(cubeInRegion(Int3(0, 0, 0)));
  // g = 2: 27 inner regions, 98 in the shell. The list starts with shell regions (x = -2),
  // so the first frame builds one of them before any inner one.
  std::string printed = drawFrame(edge);
  EXPECT_EQ(countBuilt(), 28u);
  EXPECT_NE(printed.find("Loaded 1 regions (1 VBO, 24 vertices)"), std::string::npos) << printed;
  for (int frame = 1; frame <= 3; ++frame) {
    printed = drawFrame(edge);
    EXPECT_EQ(countBuilt(), 28u + frame);
    EXPECT_EQ(printed, "+\n");
  }
  // Shell regions stay built far when the near detail reaches them (they used to be freed and
  // rebuilt far in every frame): only the 27 inner ones are rebuilt near, plus one more shell region.
  config().setBool("fast_shadows", true);
  config().setDouble("max_view_distance_detailed_in_region_units", 100.0);
  drawFrame(edge);
  EXPECT_EQ(countBuilt(), 32u);
  printed = drawFrame(edge);
  EXPECT_EQ(countBuilt(), 33u);
  EXPECT_EQ(printed, "+\n");
}

TEST_F(RegionStreamerTest, RegionsLeavingTheViewAreFreed) {
  world->growToInclude(Int3(8, 0, 0));
  world->addCubeZone(cubeInRegion(Int3(0, 0, 0)));
  world->addCubeZone(cubeInRegion(Int3(6, 0, 0)));
  drawFrame(edge);
  WorldRegion* home = world->getRegion(Int3(1, 1, 1));
  EXPECT_TRUE(home->isBuilt());
  placeCamera(Float3(6 * edge + 8.f, 8.f, 8.f));
  const std::string printed = drawFrame(edge);
  EXPECT_FALSE(home->isBuilt());
  // Built were the inner regions at x -1..1, y 0 (the table's only one above water), z -1..0.
  EXPECT_NE(printed.find("Removed 6 regions"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Loaded 1 regions"), std::string::npos) << printed;
  // A region whose objects were stepped this frame stays loaded while out of view.
  placeCamera(Float3(8.f, 8.f, 8.f));
  drawFrame(edge);
  placeCamera(Float3(6 * edge + 8.f, 8.f, 8.f));
  home->setUsedThisFrame(true);
  drawFrame(edge);
  EXPECT_TRUE(home->isBuilt());
  drawFrame(edge);
  EXPECT_FALSE(home->isBuilt());
}

TEST_F(RegionStreamerTest, FastShadowsRebuildNearRegionsInDetail) {
  world->growToInclude(Int3(4, 0, 0));
  for (int x = 0; x <= 4; ++x) world->addCubeZone(cubeInRegion(Int3(x, 0, 0)));
  drawFrame(3 * edge);
  for (WorldRegion* region : streamer->getRegionsInView())
    if (region->isBuilt()) {
      EXPECT_FALSE(region->getIsNear());
    }
  config().setBool("fast_shadows", true);
  config().setDouble("max_view_distance_detailed_in_region_units", 2.0);
  const std::string printed = drawFrame(3 * edge);
  for (WorldRegion* region : streamer->getRegionsInView()) {
    if (!region->isBuilt()) continue;
    const Float3 d = region->getPosition() - Float3(8.f, 8.f, 8.f);
    const bool near = d.x() * d.x() + d.y() * d.y() + d.z() * d.z() < 4 * edge * edge;
    EXPECT_EQ(region->getIsNear(), near);
  }
  EXPECT_NE(printed.find('%'), std::string::npos);
}

TEST(RegionSplitPolicyTest, AThinMainThreadSharePausesSharingForSomeBuilds) {
  RegionSplitPolicy policy;
  policy.recordBuild(true, 10000, 9000);
  policy.recordBuild(true, RegionSplitPolicy::minJudgedMicroseconds - 1, 0);
  EXPECT_TRUE(policy.maySplit());
  policy.recordBuild(true, 10000, 5000);
  for (int build = 0; build < RegionSplitPolicy::pausedBuilds; ++build) {
    EXPECT_FALSE(policy.maySplit());
    policy.recordBuild(false, 10000, 10000);
  }
  EXPECT_TRUE(policy.maySplit());
}

TEST_F(RegionStreamerTest, RegionBuildsAreSharedOnlyWhileTheSplitPolicyAllows) {
  config().setBool("fast_shadows", true);
  config().setDouble("max_view_distance_detailed_in_region_units", 100.0);
  config().setBool("enable_parallelization_regions_near", true);
  // The eight regions around the origin, 256 single cubes each; those in view are built near in
  // one frame.
  const auto fillWorld = [this]() {
    streamer.reset();
    world.reset();
    world.reset(new WorldIndexator(edge));
    streamer.reset(new RegionStreamer(*world));
    for (int region = 0; region < 8; ++region)
      for (int i = 0; i < 512; ++i) {
        const int x = i % 16;
        const int y = i / 256;
        const int z = (i / 16) % 16;
        if ((x + y + z) % 2 != 0) continue;
        const Float3 corner((region & 1) ? -edge : 0.f, (region & 2) ? -edge : 0.f, (region & 4) ? -edge : 0.f);
        world->addCubeZone(CubeZone(0, corner + Float3(x + 0.5f, y + 0.5f, z + 0.5f), Float3(1.f, 1.f, 1.f)));
      }
  };
  const auto sharedInOneFrame = [this](long& nearBuilds) {
    const int64_t before = WorldRegion::getNbSplitBuilds();
    const std::string printed = drawFrame(3 * edge);
    nearBuilds = std::count(printed.begin(), printed.end(), '%');
    return WorldRegion::getNbSplitBuilds() - before;
  };
  long nearBuilds = 0;
  fillWorld();
  // A fresh policy shares the first build at least; what follows depends on the timings.
  EXPECT_GE(sharedInOneFrame(nearBuilds), 1);
  EXPECT_GE(nearBuilds, 3);
  // A shared build in which the main thread got a tenth of the wall time pauses sharing.
  fillWorld();
  streamer->getSplitPolicy().recordBuild(true, 10 * RegionSplitPolicy::minJudgedMicroseconds,
                                         RegionSplitPolicy::minJudgedMicroseconds);
  EXPECT_EQ(sharedInOneFrame(nearBuilds), 0);
  EXPECT_GE(nearBuilds, 3);
}

TEST_F(RegionStreamerTest, OnlyRegionsInSightAreDrawnNearestFirstAndTheOthersStayBuilt) {
  world->growToInclude(Int3(-4, 0, -4));
  world->growToInclude(Int3(4, 0, 4));
  for (int x = -3; x <= 3; ++x)
    for (int z = -3; z <= 3; ++z) world->addCubeZone(cubeInRegion(Int3(x, 0, z)));
  // The camera looks along -z from the middle of region (0, 0, 0).
  drawFrame(3 * edge);
  const auto regionAt = [this](int x, int z) { return world->getRegion(Int3(x, 0, z) - world->getTableRegionMin()); };
  const std::vector<WorldRegion*>& drawn = streamer->getRegionsDrawn();
  const auto isDrawn = [&drawn](const WorldRegion* region) {
    return std::find(drawn.begin(), drawn.end(), region) != drawn.end();
  };
  EXPECT_TRUE(isDrawn(regionAt(0, 0)));
  EXPECT_TRUE(isDrawn(regionAt(0, -2)));
  EXPECT_TRUE(isDrawn(regionAt(-2, -1)));
  // Behind the camera, and ahead but further than the view distance (though inside the cube of
  // regions scanned): built, not drawn.
  for (const WorldRegion* hidden : {regionAt(0, 2), regionAt(1, 3), regionAt(3, -3)}) {
    EXPECT_TRUE(hidden->isBuilt());
    EXPECT_FALSE(isDrawn(hidden));
  }
  const Float3 viewer(8.f, 8.f, 8.f);
  size_t visible = 0;
  for (const WorldRegion* region : streamer->getRegionsInView())
    visible += region->isBuilt() && region->getNbCubeZones() > 0 && streamer->isRegionVisible(*region, viewer) ? 1 : 0;
  EXPECT_EQ(drawn.size(), visible);
  for (size_t i = 1; i < drawn.size(); ++i) {
    const Float3 a = drawn[i - 1]->getPosition() - viewer;
    const Float3 b = drawn[i]->getPosition() - viewer;
    EXPECT_LE(a.x() * a.x() + a.z() * a.z(), b.x() * b.x() + b.z() * b.z());
  }
}

TEST_F(RegionStreamerTest, CrossingARegionBorderLeavesNoHole) {
  // Crossing a border changes the detail of the regions around the camera; with a budget that
  // lets one region be built per frame, each keeps showing its old mesh until rebuilt.
  config().setDouble("region_build_budget_ms", 1e-6);
  config().setBool("fast_shadows", true);
  config().setDouble("max_view_distance_detailed_in_region_units", 1.5);
  world->growToInclude(Int3(-5, 0, -6));
  world->growToInclude(Int3(5, 0, 3));
  for (int x = -5; x <= 5; ++x)
    for (int z = -6; z <= 3; ++z) world->addCubeZone(cubeInRegion(Int3(x, 0, z)));
  // The first frame builds the regions in sight around the camera whatever the budget, then one
  // per frame.
  std::string printed = drawFrame(3 * edge);
  const std::vector<WorldRegion*>& drawn = streamer->getRegionsDrawn();
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '%'), (long)drawn.size());
  for (const WorldRegion* region : drawn) {
    const Float3 d = region->getPosition() - Float3(8.f, 8.f, 8.f);
    EXPECT_LE(std::max(std::abs(d.x()), std::abs(d.z())), edge);
  }
  for (int frame = 0; frame < 200 && !printed.empty(); ++frame) {
    printed = drawFrame(3 * edge);
    EXPECT_TRUE(printed.empty() || printed.find('\n') == 1u) << printed;
  }
  ASSERT_EQ(printed, "");

  int rebuiltNear = 0;
  for (float z = 8.f; z > -2.5f * edge; z -= 3.f) {
    const std::vector<WorldRegion*> before = streamer->getRegionsDrawn();
    placeCamera(Float3(8.f, 8.f, z));
    printed = drawFrame(3 * edge);
    const std::string marks = printed.substr(0, printed.find('\n'));
    EXPECT_LE(marks.size(), 1u) << marks;
    rebuiltNear += (int)std::count(marks.begin(), marks.end(), '%');
    for (const WorldRegion* region : before)
      if (streamer->isRegionVisible(*region, Float3(8.f, 8.f, z))) {
        EXPECT_NE(std::find(drawn.begin(), drawn.end(), region), drawn.end()) << "hole at z = " << z;
      }
  }
  EXPECT_GE(rebuiltNear, 4);
}

TEST_F(RegionStreamerTest, TheListsOfTheLastDrawEmptyWhenTheTableMovesOrDeletesItsRegions) {
  drawFrame(edge);
  ASSERT_EQ(streamer->getRegionsInView().size(), 4u);
  world->growToInclude(Int3(3, 0, 0));
  EXPECT_TRUE(streamer->getRegionsInView().empty());
  EXPECT_TRUE(streamer->getAreRegionsInBorder().empty());
  EXPECT_TRUE(streamer->getPosIntRegions().empty());
  EXPECT_TRUE(streamer->getRegionsDrawn().empty());
  drawFrame(edge);
  ASSERT_EQ(streamer->getRegionsInView().size(), 8u);
  world->reset();
  EXPECT_TRUE(streamer->getRegionsInView().empty());
  // A streamer gone is no longer told.
  streamer.reset();
  world->growToInclude(Int3(3, 0, 0));
  EXPECT_EQ(world->getTableRegionSize(), Int3(5, 2, 2));
}
