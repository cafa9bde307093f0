#include <gtest/gtest.h>

#include <GL/glew.h>
#include <sched.h>

#include <algorithm>
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
#include "Platform.h"
#include "streaming/RegionSplitPolicy.h"
#include "Scene2D.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "world/WorldIndexator.h"
#include "world/WorldRegion.h"
#include "world/CubeZoneLooks.h"

namespace {

constexpr float edge = 16.f;  // region edge; cubes of edge 1
const float lowest = -std::numeric_limits<float>::max();

/// A one-cube zone of type 0 in the middle of the region of absolute index `region`.
CubeZone cubeInRegion(const Int3& region, int id = 0) {
  return CubeZone(id, Float3(region.x() * edge + 8.5f, region.y() * edge + 8.5f, region.z() * edge + 8.5f),
                  Float3(1.f, 1.f, 1.f));
}

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

class WorldIndexatorTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    CubesTable::setSizeOneCube(1.f);
    XMLSimple& config = DeviceManager::getInstance()->getConfig();
    for (const char* key : {"fast_shadows", "render_under_water", "optimization_world_load_progressive",
                            "enable_parallelization_regions_near", "enable_parallelization_regions_far"})
      config.setBool(key, false);
    config.setDouble("max_view_distance_detailed_in_region_units", 0.0);
    // Every region that needs it is built in its frame, however long that takes.
    config.setDouble("region_build_budget_ms", -1.0);
    shadowsEnabled = true;
    manager.reset(new CubeTypeManager());
    std::string stone[6];
    for (std::string& name : stone) name = "stone.png";
    const bool options[3] = {true, true, true};
    testing::internal::CaptureStdout();
    manager->addCubeType(stone, options, true);
    testing::internal::GetCapturedStdout();
    placeCamera(Float3(8.f, 8.f, 8.f));
    world.reset(new WorldIndexator(edge));
  }
  void TearDown() override {
    world.reset();
    manager.reset();
    CustomObject::setCallback(nullptr);
  }
  static XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }
  static void placeCamera(const Float3& position) {
    Scene3D* scene = GLManager::getScene3D();
    scene->getCamera()->setPosition(position);
    scene->getCamera()->setRotation(Float3(0.f, 0.f, 0.f));
    scene->apply3DView();
  }
  /// One streaming frame; answers what it printed.
  std::string drawFrame(float viewDistance, bool showBorders = false) {
    testing::internal::CaptureStdout();
    world->draw(viewDistance, showBorders);
    return testing::internal::GetCapturedStdout();
  }
  size_t countBuilt() const {
    size_t built = 0;
    for (const WorldRegion* region : world->getRegionsInView()) built += region->isBuilt() ? 1 : 0;
    return built;
  }

  std::unique_ptr<CubeTypeManager> manager;
  std::unique_ptr<WorldIndexator> world;
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

TEST_F(WorldIndexatorTest, TheScanListsTheCubeAroundTheCameraWithItsShell) {
  config().setBool("render_under_water", true);
  world->growToInclude(Int3(-12, -12, -12));
  world->growToInclude(Int3(12, 12, 12));
  ASSERT_EQ(world->getNbRegions(), 25u * 25u * 25u);
  const std::string printed = drawFrame(10 * edge);
  ASSERT_EQ(world->getRegionsInView().size(), 23u * 23u * 23u);
  size_t borders = 0;
  for (bool border : world->getAreRegionsInBorder()) borders += border ? 1 : 0;
  EXPECT_EQ(borders, 2906u);
  // Without progressive loading, the shell is listed but never built.
  EXPECT_EQ(countBuilt(), 21u * 21u * 21u);
  for (size_t i = 0; i < world->getRegionsInView().size(); ++i)
    if (world->getAreRegionsInBorder()[i]) {
      EXPECT_FALSE(world->getRegionsInView()[i]->isBuilt());
    }
  EXPECT_EQ(printed.find("Loaded"), std::string::npos);  // empty regions have no buffers

  for (int frame = 0; frame < 5; ++frame) drawFrame(10 * edge);
  EXPECT_EQ(world->getLoadedRegions().size(), world->getRegionsInView().size());

  // A view distance that is not a number, or absurdly large, scans what the table holds.
  drawFrame(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(world->getRegionsInView().size(), 27u);
  drawFrame(1e30f);
  EXPECT_EQ(world->getRegionsInView().size(), world->getNbRegions());
}

TEST_F(WorldIndexatorTest, RegionsUnderWaterAreOutlinedButNeitherListedNorBuilt) {
  world->addCubeZone(cubeInRegion(Int3(0, -1, 0)));
  drawFrame(edge, true);
  for (size_t i = 0; i < world->getRegionsInView().size(); ++i)
    EXPECT_GE(world->getPosIntRegions()[i].y() + world->getTableRegionMin().y(), 0);
  EXPECT_EQ(world->getRegionsInView().size(), 4u);
  EXPECT_FALSE(world->getRegion(Int3(1, 0, 1))->isBuilt());
  config().setBool("render_under_water", true);
  drawFrame(edge);
  EXPECT_EQ(world->getRegionsInView().size(), 8u);
}

TEST_F(WorldIndexatorTest, ProgressiveLoadingBuildsOneShellRegionPerQuietFrame) {
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

TEST_F(WorldIndexatorTest, RegionsLeavingTheViewAreFreed) {
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

TEST_F(WorldIndexatorTest, FastShadowsRebuildNearRegionsInDetail) {
  world->growToInclude(Int3(4, 0, 0));
  for (int x = 0; x <= 4; ++x) world->addCubeZone(cubeInRegion(Int3(x, 0, 0)));
  drawFrame(3 * edge);
  for (WorldRegion* region : world->getRegionsInView())
    if (region->isBuilt()) {
      EXPECT_FALSE(region->getIsNear());
    }
  config().setBool("fast_shadows", true);
  config().setDouble("max_view_distance_detailed_in_region_units", 2.0);
  const std::string printed = drawFrame(3 * edge);
  for (WorldRegion* region : world->getRegionsInView()) {
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

TEST_F(WorldIndexatorTest, OnOneProcessorRegionBuildsStopBeingShared) {
  // The worker must start in the child, pinned with the main thread to one processor.
  world.reset();
  EXPECT_EXIT(
      {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
        config().setBool("fast_shadows", true);
        config().setDouble("max_view_distance_detailed_in_region_units", 100.0);
        config().setBool("enable_parallelization_regions_near", true);
        world.reset(new WorldIndexator(edge));
        // The eight regions around the origin, 256 single cubes each; those in view are built
        // near in one frame, the first one shared.
        for (int region = 0; region < 8; ++region)
          for (int i = 0; i < 512; ++i) {
            const int x = i % 16;
            const int y = i / 256;
            const int z = (i / 16) % 16;
            if ((x + y + z) % 2 != 0) continue;
            const Float3 corner((region & 1) ? -edge : 0.f, (region & 2) ? -edge : 0.f, (region & 4) ? -edge : 0.f);
            world->addCubeZone(
                CubeZone(0, corner + Float3(x + 0.5f, y + 0.5f, z + 0.5f), Float3(1.f, 1.f, 1.f)));
          }
        const int64_t before = WorldRegion::getNbSplitBuilds();
        const std::string printed = drawFrame(3 * edge);
        const int64_t shared = WorldRegion::getNbSplitBuilds() - before;
        const auto nearBuilds = std::count(printed.begin(), printed.end(), '%');
        // Quick exit: the window and its textures belong to the parent test process.
        std::_Exit(nearBuilds >= 3 && shared >= 1 && shared < nearBuilds ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(WorldIndexatorTest, OnlyRegionsInSightAreDrawnNearestFirstAndTheOthersStayBuilt) {
  world->growToInclude(Int3(-4, 0, -4));
  world->growToInclude(Int3(4, 0, 4));
  for (int x = -3; x <= 3; ++x)
    for (int z = -3; z <= 3; ++z) world->addCubeZone(cubeInRegion(Int3(x, 0, z)));
  // The camera looks along -z from the middle of region (0, 0, 0).
  drawFrame(3 * edge);
  const auto regionAt = [this](int x, int z) { return world->getRegion(Int3(x, 0, z) - world->getTableRegionMin()); };
  const std::vector<WorldRegion*>& drawn = world->getRegionsDrawn();
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
  for (const WorldRegion* region : world->getRegionsInView())
    visible += region->isBuilt() && region->getNbCubeZones() > 0 && world->isRegionVisible(*region, viewer) ? 1 : 0;
  EXPECT_EQ(drawn.size(), visible);
  for (size_t i = 1; i < drawn.size(); ++i) {
    const Float3 a = drawn[i - 1]->getPosition() - viewer;
    const Float3 b = drawn[i]->getPosition() - viewer;
    EXPECT_LE(a.x() * a.x() + a.z() * a.z(), b.x() * b.x() + b.z() * b.z());
  }
}

TEST_F(WorldIndexatorTest, CrossingARegionBorderLeavesNoHole) {
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
  const std::vector<WorldRegion*>& drawn = world->getRegionsDrawn();
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
    const std::vector<WorldRegion*> before = world->getRegionsDrawn();
    placeCamera(Float3(8.f, 8.f, z));
    printed = drawFrame(3 * edge);
    const std::string marks = printed.substr(0, printed.find('\n'));
    EXPECT_LE(marks.size(), 1u) << marks;
    rebuiltNear += (int)std::count(marks.begin(), marks.end(), '%');
    for (const WorldRegion* region : before)
      if (world->isRegionVisible(*region, Float3(8.f, 8.f, z))) {
        EXPECT_NE(std::find(drawn.begin(), drawn.end(), region), drawn.end()) << "hole at z = " << z;
      }
  }
  EXPECT_GE(rebuiltNear, 4);
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
