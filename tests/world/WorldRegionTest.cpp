#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "world/CubeType.h"
#include "world/CubeTypeManager.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "world/CustomObjectsCallback.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "Scene3D.h"
#include "SpriteManager.h"
#include "VBO.h"
#include "world/WorldRegion.h"
#include "ZoneTestHelpers.h"
#include "world/CubeZoneLooks.h"

using zonetest::regionCentre;
using zonetest::regionSize;
using zonetest::zoneOfCells;

namespace {

const char* const switches[] = {"fast_shadows", "enable_parallelization_regions_near",
                                "enable_parallelization_regions_far", "join_faces"};

// Lets a test act from inside an object's manage callback.
class HookCallback : public CustomObjectsCallback {
 public:
  void manage(uint32_t, CustomObject* object) override {
    ++nbManaged;
    if (onManage) onManage(object);
  }
  void uninit(uint32_t, CustomObject*) override { ++nbUninit; }
  std::function<void(CustomObject*)> onManage;
  int nbManaged = 0;
  int nbUninit = 0;
};

class WorldRegionTest : public testing::Test {
 protected:
  void SetUp() override {
    GLTestWindow::get();
    CubesTable::setSizeOneCube(1.f);
    for (const char* key : switches) setSwitch(key, false);
    shadowsEnabled = true;
    manager.reset(new CubeTypeManager());
    const bool options[3] = {true, true, true};
    std::string stone[6], leaves[6];
    for (int f = 0; f < 6; ++f) {
      stone[f] = "stone.png";
      leaves[f] = "leaves.png";
    }
    testing::internal::CaptureStdout();
    manager->addCubeType(stone, options, true);
    manager->addCubeType(leaves, options, false);
    testing::internal::GetCapturedStdout();
    GLManager::getScene3D()->apply3DView();
    CustomObject::setCallback(&callback);
  }
  void TearDown() override {
    CustomObject::setCallback(nullptr);
    for (const char* key : switches) setSwitch(key, false);
    manager.reset();
  }
  static void setSwitch(const char* key, bool value) {
    DeviceManager::getInstance()->getConfig().setBool(key, value);
  }
  static std::vector<const CubeZone*> noCasters() { return {}; }

  std::unique_ptr<CubeTypeManager> manager;
  HookCallback callback;
};

// Five separate cubes of alternating types along x, so that no face is culled.
void addFiveZones(WorldRegion& region) {
  for (int n = 0; n < 5; ++n) region.addCubeZone(zoneOfCells(n % 2, Int3(1 + 3 * n, 2, 2), Int3(1, 1, 1)));
}

}  // namespace

TEST_F(WorldRegionTest, EmptyRegionBuildsAnEmptyMeshAndIsStillMarkedUsedWhenDrawn) {
  WorldRegion region(regionCentre, regionSize);
  EXPECT_FALSE(region.isBuilt());
  EXPECT_FALSE(region.getUsedThisFrame());
  EXPECT_EQ(region.build(false, noCasters()), std::make_pair(0, 0));
  EXPECT_TRUE(region.isBuilt());
  EXPECT_NE(region.getCubesTable(), nullptr);
  region.draw();
  EXPECT_TRUE(region.getUsedThisFrame());
  EXPECT_FALSE(region.free());
  EXPECT_FALSE(region.isBuilt());
  EXPECT_EQ(region.getCubesTable(), nullptr);
  EXPECT_FALSE(region.free());
}

TEST_F(WorldRegionTest, BuildDrawAndFreeOneZone) {
  WorldRegion region(regionCentre, regionSize);
  region.addCubeZone(zoneOfCells(0, Int3(4, 4, 0), Int3(8, 8, 1)));
  const std::pair<int, int> built = region.build(false, noCasters());
  EXPECT_EQ(built.first, 1);  // every face has the same texture: one quad buffer
  EXPECT_EQ(built.second, 24);
  EXPECT_EQ(region.getCubeTypeIds(), std::set<int32_t>({0}));

  // Looking down -z from in front of the zone, the middle of the screen shows its front face.
  Scene3D* scene = GLManager::getScene3D();
  scene->getCamera()->setPosition(Float3(8.f, 8.f, 6.f));
  scene->getCamera()->setRotation(Float3(0.f, 0.f, 0.f));
  scene->apply3DView();
  SpriteManager::clearScreen(Color(0, 0, 0, 255));
  glColor4ub(255, 255, 255, 255);
  region.draw();
  const std::array<unsigned char, 4> pixel = GLTestWindow::readPixel2D(400, 300);
  EXPECT_GT(pixel[0] + pixel[1] + pixel[2], 60);
  EXPECT_FALSE(scene->getIsLighting());

  EXPECT_TRUE(region.free());
  EXPECT_TRUE(region.getCubeTypeIds().empty());
}

TEST_F(WorldRegionTest, ParallelBuildSplitsTheZonesAndMatchesTheSequentialMesh) {
  // The parts come in zone order within each texture: the buffers hold the bytes of one pass.
  const auto expectSameMesh = [](const WorldRegion& expected, const WorldRegion& actual) {
    const std::vector<unsigned char> expectedMesh = GLTestWindow::readUploadedMesh(*expected.getVBO());
    EXPECT_GT(expectedMesh.size(), 1000u);
    EXPECT_TRUE(GLTestWindow::readUploadedMesh(*actual.getVBO()) == expectedMesh);
  };
  WorldRegion sequential(regionCentre, regionSize);
  addFiveZones(sequential);
  sequential.build(true, noCasters());

  setSwitch("enable_parallelization_regions_near", true);
  WorldRegion::startWorker();
  WorldRegion parallel(regionCentre, regionSize);
  addFiveZones(parallel);
  const int64_t before = WorldRegion::getNbSplitBuilds();
  const std::pair<int, int> built = parallel.build(true, noCasters());
  EXPECT_EQ(WorldRegion::getNbSplitBuilds() - before, 1);
  EXPECT_EQ(built.second, sequential.getVBO()->getNbVerticesTotal());
  expectSameMesh(sequential, parallel);

  // A far build is split only by its own switch, and only with many zones (a few far zones mesh
  // faster than the worker wakes up); one zone never goes to the worker.
  setSwitch("enable_parallelization_regions_near", false);
  setSwitch("enable_parallelization_regions_far", true);
  parallel.free();
  parallel.build(true, noCasters());
  parallel.free();
  parallel.build(false, noCasters());
  WorldRegion single(regionCentre, regionSize);
  single.addCubeZone(zoneOfCells(0, Int3(1, 1, 1), Int3(1, 1, 1)));
  setSwitch("enable_parallelization_regions_near", true);
  single.build(true, noCasters());
  EXPECT_EQ(WorldRegion::getNbSplitBuilds() - before, 1);

  // A checkerboard: no face is hidden.
  const auto fillCheckerboard = [](WorldRegion& region, int nbZones) {
    for (int i = 0; i < nbZones; ++i) {
      const Int3 cell(i % 16, (i / 16) % 16, 2 * (i / 256) + (i % 16 + (i / 16) % 16) % 2);
      region.addCubeZone(zoneOfCells(i % 2, cell, Int3(1, 1, 1)));
    }
  };
  WorldRegion manyFar(regionCentre, regionSize), manyFarSequential(regionCentre, regionSize);
  fillCheckerboard(manyFar, (int)WorldRegion::minZonesToSplitFar);
  fillCheckerboard(manyFarSequential, (int)WorldRegion::minZonesToSplitFar);
  manyFar.build(false, noCasters());
  EXPECT_EQ(WorldRegion::getNbSplitBuilds() - before, 2);
  setSwitch("enable_parallelization_regions_far", false);
  manyFarSequential.build(false, noCasters());
  expectSameMesh(manyFarSequential, manyFar);

  // Pieces of a near build that the main thread takes over from the worker go back in zone
  // order: the mesh stays the same whichever zones each thread meshed. Whether a build has such
  // pieces depends on the timing (most have).
  WorldRegion manyNear(regionCentre, regionSize), manyNearSequential(regionCentre, regionSize);
  fillCheckerboard(manyNear, 256);
  fillCheckerboard(manyNearSequential, 256);
  setSwitch("enable_parallelization_regions_near", false);
  manyNearSequential.build(true, noCasters());
  setSwitch("enable_parallelization_regions_near", true);
  for (int round = 0; round < 20; ++round) {
    manyNear.free();
    manyNear.build(true, noCasters());
    expectSameMesh(manyNearSequential, manyNear);
  }
  EXPECT_EQ(WorldRegion::getNbSplitBuilds() - before, 22);
  WorldRegion::stopWorker();
  EXPECT_FALSE(WorldRegion::isWorkerRunning());
}

TEST_F(WorldRegionTest, FastShadowsOnFarRegionsOnlyAndClearedByFree) {
  setSwitch("fast_shadows", true);
  // A floor and a block floating over it: the block's shadow falls on the floor toward -x, -z.
  auto makeRegion = [](WorldRegion& region) {
    region.addCubeZone(zoneOfCells(0, Int3(0, 0, 0), Int3(16, 1, 16)));
    region.addCubeZone(zoneOfCells(0, Int3(8, 6, 8), Int3(2, 2, 2)));
  };
  WorldRegion far(regionCentre, regionSize), near(regionCentre, regionSize);
  makeRegion(far);
  makeRegion(near);
  std::vector<const CubeZone*> casters;
  far.getCubeZones(casters);
  far.build(false, casters);
  casters.clear();
  near.getCubeZones(casters);
  near.build(true, casters);
  EXPECT_TRUE(far.getCubesTable()->hasShadows());
  // An empty region under those casters gets no shadow grid: nothing in it to shade.
  WorldRegion empty(regionCentre, regionSize);
  empty.build(false, casters);
  EXPECT_FALSE(empty.getCubesTable()->hasShadows());

  const bool dark[6] = {false, true, false, true, true, false};
  for (const WorldRegion* region : {&far, &near})
    for (const CubeZone& zone : region->getCubeZonesList())
      for (int f = 0; f < 6; ++f) EXPECT_EQ(zone.isFaceShadowed[f], dark[f]) << f;
  EXPECT_FALSE(far.getCubeZonesList()[0].shadowTriangles[1].empty());  // +y of the floor
  for (const CubeZone& zone : near.getCubeZonesList())
    for (int side = 0; side < 6; ++side) EXPECT_TRUE(zone.shadowTriangles[side].empty());

  // Without the user's switch the table has no shadow grid and nothing is cast.
  far.free();
  for (const CubeZone& zone : far.getCubeZonesList())
    for (int f = 0; f < 6; ++f) {
      EXPECT_TRUE(zone.shadowTriangles[f].empty());
      EXPECT_FALSE(zone.isFaceShadowed[f]);
    }
  shadowsEnabled = false;
  casters.clear();
  far.getCubeZones(casters);
  far.build(false, casters);
  EXPECT_TRUE(far.getCubeZonesList()[0].shadowTriangles[1].empty());
  EXPECT_TRUE(far.getCubeZonesList()[0].isFaceShadowed[1]);
}

TEST_F(WorldRegionTest, JoinedFacesMakeTheFarMeshSmallerAndKeepThePicture) {
  // Rolling ground of stone columns one cube wide, with fast shadows, and leaves on top of
  // some: seen from above at a slant, with and without join_faces.
  setSwitch("fast_shadows", true);
  auto makeRegion = [](WorldRegion& region) {
    for (int z = 0; z < 16; ++z)
      for (int x = 0; x < 16; ++x) {
        const int height = 3 + (int)(2.5f + 2.5f * std::sin(x * 0.4f) * std::cos(z * 0.3f));
        region.addCubeZone(zoneOfCells(0, Int3(x, 0, z), Int3(1, height, 1)));
        if ((x / 4 + z / 4) % 3 == 0) region.addCubeZone(zoneOfCells(1, Int3(x, height, z), Int3(1, 1, 1)));
      }
  };
  Scene3D* scene = GLManager::getScene3D();
  scene->getCamera()->setPosition(Float3(8.f, 11.f, 17.f));
  scene->getCamera()->setRotation(Float3(-35.f, 0.f, 0.f));
  const auto drawn = [&](bool joinFaces, int& vertices) {
    setSwitch("join_faces", joinFaces);
    WorldRegion region(regionCentre, regionSize);
    makeRegion(region);
    std::vector<const CubeZone*> casters;
    region.getCubeZones(casters);
    vertices = region.build(false, casters).second;
    scene->apply3DView();
    SpriteManager::clearScreen(Color(0, 0, 0, 255));
    glColor4ub(255, 255, 255, 255);
    region.draw();
    glFinish();
    return GLTestWindow::readPixels(0, 0, 800, 600);
  };
  int separateVertices = 0, joinedVertices = 0;
  const std::vector<unsigned char> separate = drawn(false, separateVertices);
  const std::vector<unsigned char> joined = drawn(true, joinedVertices);
  EXPECT_LT(joinedVertices * 2, separateVertices);
  int changed = 0, covered = 0;
  for (size_t i = 0; i < separate.size(); i += 4) {
    bool differs = false;
    for (int c = 0; c < 3; ++c) differs = differs || std::abs(separate[i + c] - joined[i + c]) > 24;
    changed += differs ? 1 : 0;
    covered += separate[i] + separate[i + 1] + separate[i + 2] > 0 ? 1 : 0;
  }
  EXPECT_GT(covered, 800 * 600 / 4);
  // The same texels; a few pixels along face edges may change.
  EXPECT_LE(changed, 800 * 600 / 200) << changed << " of " << covered;
  std::cout << "join_faces: " << separateVertices << " -> " << joinedVertices << " vertices, " << changed
            << " pixels changed of " << covered << std::endl;
}

TEST_F(WorldRegionTest, ZoneEditsFreeTheRegionAndGrowTheListInSteps) {
  WorldRegion region(regionCentre, regionSize);
  region.addCubeZone(zoneOfCells(0, Int3(1, 1, 1), Int3(1, 1, 1)));
  EXPECT_EQ(region.getCubeZonesList().capacity(), 200u);
  for (int n = 1; n < 200; ++n) region.addCubeZone(zoneOfCells(0, Int3(n % 16, 3, n / 16), Int3(1, 1, 1)));
  EXPECT_EQ(region.getCubeZonesList().capacity(), 200u);
  region.addCubeZone(zoneOfCells(0, Int3(5, 5, 5), Int3(1, 1, 1)));
  EXPECT_EQ(region.getCubeZonesList().capacity(), 400u);

  region.build(false, noCasters());
  region.addCubeZone(zoneOfCells(1, Int3(6, 6, 6), Int3(1, 1, 1)));
  EXPECT_FALSE(region.isBuilt());

  region.build(false, noCasters());
  region.removeCubeZonesOfType(7);  // no such zone: stays built
  EXPECT_TRUE(region.isBuilt());
  region.removeCubeZonesOfType(1);
  EXPECT_FALSE(region.isBuilt());
  EXPECT_EQ(region.getNbCubeZones(), 201u);
  EXPECT_FALSE(region.clear(false));
  EXPECT_EQ(region.getNbCubeZones(), 0u);
}

TEST_F(WorldRegionTest, RemoveCubeZoneNearestTiesAndMisses) {
  WorldRegion region(regionCentre, regionSize);
  EXPECT_FALSE(region.removeCubeZone(Float3(1.f, 1.f, 1.f), true));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  region.addCubeZone(CubeZone(0, Float3(2.5f, 2.5f, 2.5f), Float3(1.f, 1.f, 1.f)));
  region.addCubeZone(CubeZone(0, Float3(6.5f, 2.5f, 2.5f), Float3(1.f, 1.f, 1.f)));
  region.addCubeZone(CubeZone(0, Float3(12.5f, 2.5f, 2.5f), Float3(1.f, 1.f, 1.f)));
  EXPECT_FALSE(region.removeCubeZone(Float3(nan, 2.5f, 2.5f), true));
  EXPECT_EQ(region.getNbCubeZones(), 3u);
  // (4.5, 2.5, 2.5) is 2 from the first two: the later one goes.
  EXPECT_TRUE(region.removeCubeZone(Float3(4.5f, 2.5f, 2.5f), true));
  ASSERT_EQ(region.getNbCubeZones(), 2u);
  EXPECT_EQ(region.getCubeZonesList()[0].centre, Float3(2.5f, 2.5f, 2.5f));
  EXPECT_EQ(region.getCubeZonesList()[1].centre, Float3(12.5f, 2.5f, 2.5f));

  region.build(false, noCasters());
  EXPECT_FALSE(region.removeCubeZone(Float3(8.f, 8.f, 8.f), false));
  EXPECT_TRUE(region.isBuilt());
  EXPECT_TRUE(region.removeCubeZone(Float3(12.9f, 2.1f, 3.f), false));  // contained, bounds included
  EXPECT_FALSE(region.isBuilt());
  EXPECT_EQ(region.getNbCubeZones(), 1u);
}

TEST_F(WorldRegionTest, PointQueriesBuiltAndUnbuilt) {
  WorldRegion region(regionCentre, regionSize);
  region.addCubeZone(zoneOfCells(0, Int3(2, 0, 2), Int3(4, 3, 4)));   // stone, x 2..6, top 3
  region.addCubeZone(zoneOfCells(1, Int3(10, 0, 10), Int3(2, 5, 2)));  // leaves, not collidable
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "unbuilt" : "built");
    EXPECT_EQ(region.getCubeTypeAt(Float3(3.5f, 1.5f, 3.5f)), 0);
    EXPECT_EQ(region.getCubeTypeAt(Float3(10.5f, 1.5f, 10.5f)), 1);
    EXPECT_EQ(region.getCubeTypeAt(Float3(8.5f, 1.5f, 8.5f)), -1);
    // Lower faces belong to the zone, upper faces to the cell beyond, built or not.
    EXPECT_EQ(region.getCubeTypeAt(Float3(2.f, 0.f, 2.f)), 0);
    EXPECT_EQ(region.getCubeTypeAt(Float3(3.5f, 3.f, 3.5f)), -1);
    EXPECT_FALSE(region.isCollidableAt(Float3(3.5f, 3.f, 3.5f)));
    EXPECT_EQ(region.getCubeTypeAt(Float3(6.f, 1.5f, 3.5f)), -1);
    EXPECT_TRUE(region.isCollidableAt(Float3(3.5f, 1.5f, 3.5f)));
    EXPECT_FALSE(region.isCollidableAt(Float3(10.5f, 1.5f, 10.5f)));
    Float3 centre(-1.f, -1.f, -1.f), size(-1.f, -1.f, -1.f);
    EXPECT_EQ(region.getCubeZoneAt(Float3(10.5f, 1.5f, 10.5f), centre, size), -1);
    EXPECT_EQ(centre, Float3(-1.f, -1.f, -1.f));
    EXPECT_EQ(region.getCubeZoneAt(Float3(3.5f, 1.5f, 3.5f), centre, size), 0);
    EXPECT_EQ(centre, Float3(4.f, 1.5f, 4.f));
    EXPECT_EQ(size, Float3(4.f, 3.f, 4.f));
    if (pass == 0) region.build(false, noCasters());
  }

  EXPECT_EQ(region.getHighestTopAt(3.f, 3.f), 3.f);
  EXPECT_EQ(region.getHighestTopAt(11.f, 11.f), 5.f);
  EXPECT_EQ(region.getHighestTopAt(2.f, 3.f), -std::numeric_limits<float>::max());  // on the side
  EXPECT_EQ(region.getHighestTopAt(8.f, 8.f), -std::numeric_limits<float>::max());

  Float3 hit;
  // The walk starts at b.
  EXPECT_TRUE(region.segmentHitsCube(Float3(4.f, 1.5f, 0.f), Float3(4.f, 1.5f, 15.f), hit));
  EXPECT_EQ(hit, Float3(4.f, 1.5f, 5.f));
  EXPECT_FALSE(region.segmentHitsCube(Float3(4.f, 1.5f, 7.f), Float3(4.f, 1.5f, 15.f), hit));
  EXPECT_FALSE(region.segmentHitsCube(Float3(4.f, 1.5f, 15.f), Float3(4.f, 1.5f, 7.f), hit));
  EXPECT_TRUE(region.segmentHitsCube(Float3(3.f, 1.f, 3.f), Float3(3.f, 1.f, 3.f), hit));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(region.segmentHitsCube(Float3(nan, 1.f, 3.f), Float3(3.f, 1.f, 3.f), hit));
  // A segment thousands of regions long only walks the steps near this region.
  EXPECT_TRUE(region.segmentHitsCube(Float3(4.f, 1.5f, -1e7f), Float3(4.f, 1.5f, 1e7f), hit));
  EXPECT_EQ(hit, Float3(4.f, 1.5f, 5.f));

  Int3 gridSize;
  std::unique_ptr<int32_t[]> built(region.copyCubes(gridSize));
  region.free();
  std::unique_ptr<int32_t[]> unbuilt(region.copyCubes(gridSize));
  ASSERT_EQ(gridSize, Int3(16, 16, 16));
  EXPECT_EQ(std::vector<int32_t>(built.get(), built.get() + 4096),
            std::vector<int32_t>(unbuilt.get(), unbuilt.get() + 4096));
  EXPECT_EQ(unbuilt[2 + 16 * (0 + 16 * 2)], 0);
}

TEST_F(WorldRegionTest, StaticShadowsPrintOneMarkPerZone) {
  WorldRegion region(regionCentre, regionSize);
  region.addCubeZone(zoneOfCells(0, Int3(0, 0, 0), Int3(16, 1, 16)));
  region.addCubeZone(zoneOfCells(0, Int3(2, 5, 2), Int3(12, 2, 12)));
  std::vector<const CubeZone*> casters;
  region.getCubeZones(casters);
  region.build(false, noCasters());
  testing::internal::CaptureStdout();
  region.calculateShadows(casters, regionCentre + Float3(-3000.f, 10000.f, -3000.f));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "==");
  EXPECT_FALSE(region.isBuilt());
  EXPECT_FALSE(region.getCubeZonesList()[0].shadowTriangles[3].empty());  // floor top under the block
}

TEST_F(WorldRegionTest, ObjectsStepMoveAndAreRemovedSafelyFromTheirCallbacks) {
  WorldRegion region(regionCentre, regionSize);
  region.addCustomObject(CustomObject(false, Float3(1.f, 1.f, 1.f), 0, ""));
  region.addCustomObject(CustomObject(false, Float3(2.f, 2.f, 2.f), 0, ""));
  region.addCustomObject(CustomObject(false, Float3(3.f, 3.f, 3.f), 0, ""));
  region.addCustomObject(CustomObject(true, Float3(4.f, 4.f, 4.f), 0, ""));
  region.build(false, noCasters());

  // The first object removes itself and creates one in the same region; the second moves.
  CustomObject* first = region.getCustomObjects()[0].get();
  callback.onManage = [&](CustomObject* object) {
    if (object == first) {
      EXPECT_TRUE(region.removeCustomObject(Float3(1.f, 1.f, 1.f), false));
      for (int n = 0; n < 50; ++n) region.addCustomObject(CustomObject(false, Float3(5.f, 5.f, 5.f), 1, ""));
      EXPECT_EQ(object->getPosition(), Float3(1.f, 1.f, 1.f));  // still alive
    } else if (object->getPosition() == Float3(2.f, 2.f, 2.f)) {
      object->setPosition(Float3(20.f, 2.f, 2.f));
    }
  };
  std::vector<WorldRegion::MovedObject> moved;
  region.stepCustomObjects(moved);
  EXPECT_TRUE(region.getUsedThisFrame());
  EXPECT_TRUE(region.isBuilt());  // object changes do not free the region
  // Object 3 and the 50 new ones were stepped; the global object was not.
  EXPECT_EQ(callback.nbManaged, 3 + 50);
  EXPECT_EQ(callback.nbUninit, 1);
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].object->getPosition(), Float3(20.f, 2.f, 2.f));
  EXPECT_EQ(moved[0].from, Float3(2.f, 2.f, 2.f));
  EXPECT_EQ(moved[0].region, &region);
  ASSERT_EQ(region.getNbCustomObjects(), 52u);
  EXPECT_EQ(region.getCustomObjects()[0]->getPosition(), Float3(3.f, 3.f, 3.f));
  EXPECT_TRUE(region.getCustomObjects()[1]->getIsGlobal());

  // An object that asks to be destroyed goes at the end of its step.
  callback.onManage = [](CustomObject* object) {
    if (object->getPosition() == Float3(3.f, 3.f, 3.f)) object->setAutoDestroy();
  };
  region.stepCustomObjects(moved);
  EXPECT_EQ(region.getNbCustomObjects(), 51u);
  EXPECT_EQ(callback.nbUninit, 2);

  EXPECT_EQ(region.getCustomObjectIdAt(Float3(5.4f, 5.4f, 4.6f)), 1);
  EXPECT_EQ(region.getCustomObjectIdAt(Float3(5.5f, 5.f, 5.f)), -1);  // strict bounds
  EXPECT_TRUE(region.removeCustomObject(Float3(0.f, 0.f, 0.f), true));  // nearest: the global one
  EXPECT_EQ(region.getNbCustomObjects(), 50u);
  region.clear(true);
  EXPECT_EQ(region.getNbCustomObjects(), 0u);
  EXPECT_EQ(callback.nbUninit, 53);
}

TEST_F(WorldRegionTest, BuildingABuiltRegionAndDrawingAnUnbuiltOneAreFatal) {
  EXPECT_EXIT(
      {
        WorldRegion region(regionCentre, regionSize);
        region.build(false, noCasters());
        region.build(false, noCasters());
      },
      testing::ExitedWithCode(1), "vbo == NULL && cubesTable == NULL");
  EXPECT_EXIT(
      {
        WorldRegion region(regionCentre, regionSize);
        region.draw();
      },
      testing::ExitedWithCode(1), "false");
  EXPECT_EXIT(
      {
        WorldRegion::startWorker();
        WorldRegion::startWorker();
      },
      testing::ExitedWithCode(1), "thread == NULL");
}
