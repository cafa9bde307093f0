#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "world/CubeTypeManager.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "world/IndexedWorld.h"
#include "world/RegionTableListener.h"
#include "KilledSave.h"
#include "TempDir.h"
#include "world/WorldFile.h"
#include "world/WorldRegion.h"

// Regions of 16 cubes of edge 1: region (0, 0, 0) spans [0, 16) on each axis and sits at table
// index (1, 1, 1) of a new world. Cube types: 0 and 2 collidable, 1 not.
namespace {

const bool defaultOptions[3] = {true, true, true};

void configure(int sizeOneRegion, float sizeOneCube, bool fastShadows = false) {
  XMLSimple& config = GLTestWindow::get()->getConfig();
  config.setInt("size_one_region", sizeOneRegion);
  config.setDouble("size_one_cube", sizeOneCube);
  config.setBool("fast_shadows", fastShadows);
  CubesTable::setSizeOneCube(sizeOneCube);
}

struct ZoneAt {
  Int3 region;
  CubeZone zone;
};

/// Every zone of the world with the table index of its region, in table order.
std::vector<ZoneAt> allZones(const IndexedWorld& world) {
  std::vector<ZoneAt> zones;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k)
        for (const CubeZone& zone : world.getRegion(Int3(i, j, k))->getCubeZonesList())
          zones.push_back({Int3(i, j, k), zone});
  return zones;
}

/// Number of cubes held by the zones (each zone's volume in cubes of edge s).
int cubeCount(const IndexedWorld& world, float s = 1.f) {
  int count = 0;
  for (const ZoneAt& at : allZones(world))
    count += static_cast<int>(std::lround(at.zone.size.x() / s) * std::lround(at.zone.size.y() / s) *
                              std::lround(at.zone.size.z() / s));
  return count;
}

class IndexedWorldTest : public testing::Test {
 protected:
  void SetUp() override {
    configure(16, 1.f);
    world.reset(new IndexedWorld(emptyWorldFile()));
    const std::string names[6];
    world->addCubeType(names, defaultOptions, true);
    world->addCubeType(names, defaultOptions, false);
    world->addCubeType(names, defaultOptions, true);
  }
  void TearDown() override { world.reset(); }

  std::unique_ptr<IndexedWorld> world;
};

}  // namespace

TEST_F(IndexedWorldTest, ANewWorldFromTheEmptyFileHasNoTypesAndTheSmallTable) {
  world.reset();
  testing::internal::CaptureStdout();
  world.reset(new IndexedWorld(emptyWorldFile()));
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("==== Loading world from file '" + emptyWorldFile() + "'\n"), std::string::npos) << log;
  EXPECT_NE(log.find("==== Loading world done\n"), std::string::npos) << log;
  EXPECT_EQ(world->getNbCubeType(), 0);
  EXPECT_EQ(CubeTypeManager::getInstance(), world->getCubeTypeManager());
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, 2, 2));
  EXPECT_EQ(world->getSizeOneRegion(), 16.f);
}

TEST_F(IndexedWorldTest, ABoxOfTwoCubesPerAxisIsOneZone) {
  EXPECT_TRUE(world->addCubesParallelepiped(Int3(0, 0, 0), Int3(2, 2, 2), 2));
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0].region, Int3(1, 1, 1));
  EXPECT_EQ(zones[0].zone.id, 2);
  EXPECT_EQ(zones[0].zone.centre, Float3(1.f, 1.f, 1.f));
  EXPECT_EQ(zones[0].zone.size, Float3(2.f, 2.f, 2.f));
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 1, 1)), 2);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(2, 1, 1)), -1);

  // Corners sharing a coordinate change nothing; the order of the corners does not matter.
  EXPECT_FALSE(world->addCubesParallelepiped(Int3(0, 0, 0), Int3(2, 0, 2), 0));
  EXPECT_FALSE(world->removeCubesParallelepiped(Int3(0, 0, 0), Int3(0, 2, 2)));
  EXPECT_EQ(allZones(*world).size(), 1u);
  EXPECT_TRUE(world->removeCubesParallelepiped(Int3(2, 2, 2), Int3(0, 0, 0)));
  EXPECT_TRUE(allZones(*world).empty());
}

TEST_F(IndexedWorldTest, RemovingTheMiddleCubeOfARowLeavesTwoCubes) {
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(3, 1, 1), 0);
  ASSERT_EQ(allZones(*world).size(), 1u);
  world->removeCube(Int3(1, 0, 0));
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(zones[0].zone.centre, Float3(0.5f, 0.5f, 0.5f));
  EXPECT_EQ(zones[1].zone.centre, Float3(2.5f, 0.5f, 0.5f));
  for (const ZoneAt& at : zones) {
    EXPECT_EQ(at.zone.size, Float3(1.f, 1.f, 1.f));
    EXPECT_EQ(at.zone.id, 0);
  }
}

TEST_F(IndexedWorldTest, ZonesOfNonCollidableTypesAreInvisibleToEdits) {
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(3, 1, 1), 1);
  world->removeCube(Int3(1, 0, 0));
  ASSERT_EQ(allZones(*world).size(), 1u);
  EXPECT_EQ(allZones(*world)[0].zone.size, Float3(3.f, 1.f, 1.f));
  Float3 centre, size;
  EXPECT_EQ(world->getCollidingCubeInfos(Float3(1.5f, 0.5f, 0.5f), centre, size), -1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), 1);
}

TEST_F(IndexedWorldTest, AnEditSplitsTheZoneItMetEvenUnderAnOverlappingOne) {
  // The zone listed first holds the centre of the second but not the removed cell.
  ASSERT_TRUE(world->addBox(Float3(2.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f), 0));
  ASSERT_TRUE(world->addBox(Float3(2.5f, 0.5f, 0.5f), Float3(5.f, 1.f, 1.f), 2));
  world->removeCube(Int3(0, 0, 0));
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), -1);
  EXPECT_EQ(cubeCount(*world), 5);
  EXPECT_EQ(allZones(*world)[0].zone.id, 0);
}

TEST_F(IndexedWorldTest, AddingOverAZoneReplacesEveryCellOfTheBoxAndKeepsTheRest) {
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(4, 1, 1), 2);
  world->addCubesParallelepiped(Int3(1, 0, 0), Int3(3, 1, 1), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 2);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(2, 0, 0)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(3, 0, 0)), 2);
  EXPECT_EQ(cubeCount(*world), 4);
  Float3 centre, size;
  EXPECT_EQ(world->getCollidingCubeInfos(Float3(1.5f, 0.5f, 0.5f), centre, size), 0);
  EXPECT_EQ(centre, Float3(2.f, 0.5f, 0.5f));
  EXPECT_EQ(size, Float3(2.f, 1.f, 1.f));
}

TEST_F(IndexedWorldTest, BoxesAreCutAtRegionBordersOnlyWhenTheyCrossThem) {
  world->addCubesParallelepiped(Int3(14, 0, 0), Int3(18, 1, 1), 0);
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(world->getTableRegionSize(), Int3(3, 2, 2));
  EXPECT_EQ(zones[0].region, Int3(1, 1, 1));
  EXPECT_EQ(zones[0].zone.centre, Float3(15.f, 0.5f, 0.5f));
  EXPECT_EQ(zones[0].zone.size, Float3(2.f, 1.f, 1.f));
  EXPECT_EQ(zones[1].region, Int3(2, 1, 1));
  EXPECT_EQ(zones[1].zone.centre, Float3(17.f, 0.5f, 0.5f));

  world->removeCubesParallelepiped(Int3(14, 0, 0), Int3(18, 1, 1));
  EXPECT_TRUE(allZones(*world).empty());
  world->addCubesParallelepiped(Int3(12, 0, 0), Int3(16, 1, 1), 0);
  ASSERT_EQ(allZones(*world).size(), 1u);
  EXPECT_EQ(allZones(*world)[0].zone.size, Float3(4.f, 1.f, 1.f));

  // A box far away grows the table.
  world->addBox(Float3(5.5f * 16.f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f), 0);
  EXPECT_EQ(world->getTableRegionSize(), Int3(7, 2, 2));
  // A long box ending on region borders: one piece per region it covers, no more table.
  const size_t before = allZones(*world).size();
  EXPECT_TRUE(world->addBox(Float3(16.f, 20.5f, 0.5f), Float3(128.f, 1.f, 1.f), 0));
  EXPECT_EQ(allZones(*world).size(), before + 8);
  EXPECT_EQ(world->getTableRegionSize(), Int3(9, 3, 2));
}

TEST_F(IndexedWorldTest, SpheresAddAndRemoveTheCubesWhoseSampleIsWithinTheRadius) {
  world->addCubesSphere(Int3(0, 0, 0), 2.5f, 2);
  int expected = 0;
  for (int x = -3; x <= 3; ++x)
    for (int y = -3; y <= 3; ++y)
      for (int z = -3; z <= 3; ++z) {
        const bool inside = x * x + y * y + z * z <= 6.25f;
        expected += inside;
        EXPECT_EQ(world->getCubeTypeAtCell(Int3(x, y, z)), inside ? 2 : -1) << x << " " << y << " " << z;
      }
  EXPECT_EQ(cubeCount(*world), expected);

  // Removing takes the cubes the same addition adds: those whose sample (here the lower
  // corner) lies within 1.5 of the centre.
  world->removeCubesSphere(Int3(0, 0, 0), 1.5f);
  for (int x = -3; x <= 3; ++x)
    for (int y = -3; y <= 3; ++y)
      for (int z = -3; z <= 3; ++z) {
        const bool was = x * x + y * y + z * z <= 6.25f;
        const bool removed = x * x + y * y + z * z <= 2.25f;
        EXPECT_EQ(world->getCubeTypeAtCell(Int3(x, y, z)), was && !removed ? 2 : -1) << x << " " << y << " " << z;
      }
}

TEST_F(IndexedWorldTest, ASphereOverAFloorFillsTheCellsWhereItsSamplesTouchTheFloor) {
  // The sphere's samples lie on cube corners, so those of the layer y = 0 touch the floor's top
  // face and meet the floor zone: their own cells must still be filled.
  world->addCubesParallelepiped(Int3(-5, -1, -5), Int3(5, 0, 5), 0);
  world->addCubesSphere(Int3(0, 0, 0), 2.5f, 2);
  for (int x = -5; x < 5; ++x)
    for (int y = -3; y <= 3; ++y)
      for (int z = -5; z < 5; ++z) {
        const bool inSphere = x * x + y * y + z * z <= 6.25f;
        const int expected = inSphere ? 2 : (y == -1 ? 0 : -1);
        EXPECT_EQ(world->getCubeTypeAtCell(Int3(x, y, z)), expected) << x << " " << y << " " << z;
      }
}

TEST_F(IndexedWorldTest, EditsOnCubesOfATenthKeepTheirCells) {
  world.reset();
  configure(160, 0.1f);
  world.reset(new IndexedWorld(emptyWorldFile()));
  const std::string names[6];
  world->addCubeType(names, defaultOptions, true);
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(30, 3, 3), 0);
  ASSERT_EQ(allZones(*world).size(), 1u);
  world->removeCube(Int3(10, 1, 1));
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(10, 1, 1)), -1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(9, 1, 1)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(11, 1, 1)), 0);
  EXPECT_EQ(cubeCount(*world, 0.1f), 30 * 9 - 1);
  world->createCube(Int3(10, 1, 1), 0);
  world->optimizeRegion(Float3(0.05f, 0.05f, 0.05f));
  ASSERT_EQ(allZones(*world).size(), 1u);
  EXPECT_NEAR(allZones(*world)[0].zone.size.x(), 3.f, 1e-5f);
  world.reset();
  configure(16, 1.f);
}

TEST_F(IndexedWorldTest, OptimisingAFragmentedRegionGivesItsGreedyBoxes) {
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) world->createCube(Int3(x, y, 0), 0);
  world->createCube(Int3(0, 0, 1), 2);
  ASSERT_EQ(allZones(*world).size(), 9u);
  testing::internal::CaptureStdout();
  world->optimizeRegion(Float3(3.f, 3.f, 3.f));
  world->optimizeRegion(Float3(-3.f, 3.f, 3.f));  // an empty region: nothing printed
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Optimizing (1,1,1) ... done.\n");
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(zones[0].zone.id, 0);
  EXPECT_EQ(zones[0].zone.centre, Float3(2.f, 1.f, 0.5f));
  EXPECT_EQ(zones[0].zone.size, Float3(4.f, 2.f, 1.f));
  EXPECT_EQ(zones[1].zone.id, 2);
  EXPECT_EQ(zones[1].zone.size, Float3(1.f, 1.f, 1.f));

  testing::internal::CaptureStdout();
  world->optimizeAll();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Optimizing ... (size=BasicVector<3,?(sizeof=4)> (2;2;2;))\nOptimizing (1,1,1) ... done.\n... optimizing done.\n");
}

TEST_F(IndexedWorldTest, TheGreedyBuilderGrowsInXThenYThenZ) {
  // An L in the (x, y) plane, two layers high.
  const Int3 size(3, 2, 2);
  std::vector<int32_t> grid(12, -1);
  auto at = [&](int x, int y, int z) -> int32_t& { return grid[x + (y + z * 2) * 3]; };
  for (int z = 0; z < 2; ++z) {
    for (int x = 0; x < 3; ++x) at(x, 0, z) = 0;
    at(0, 1, z) = 0;
  }
  world->buildZonesFromGrid(grid.data(), size, Float3(0.f, 0.f, 0.f));
  EXPECT_TRUE(std::all_of(grid.begin(), grid.end(), [](int32_t id) { return id == -1; }));
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 2u);
  // The whole row along x first, then the rest of the column.
  EXPECT_EQ(zones[0].zone.size, Float3(3.f, 1.f, 2.f));
  EXPECT_EQ(zones[0].zone.centre, Float3(1.5f, 0.5f, 1.f));
  EXPECT_EQ(zones[1].zone.size, Float3(1.f, 1.f, 2.f));
  EXPECT_EQ(zones[1].zone.centre, Float3(0.5f, 1.5f, 1.f));
}

TEST_F(IndexedWorldTest, EditsWithAnUnknownCubeTypeAreReportedAndChangeNothing) {
  world->createCube(Int3(0, 0, 0), 0);
  testing::internal::CaptureStderr();
  world->createCube(Int3(1, 0, 0), 3);
  world->addCubesSphere(Int3(0, 0, 0), 3.f, -2);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : There is no cube type 3 (3 cube types)"), std::string::npos) << errors;
  EXPECT_NE(errors.find("ERROR : There is no cube type -2"), std::string::npos) << errors;
  // A zone of a missing type would make the saved file unreadable.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(world->addBox(Float3(2.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f), 3));
  EXPECT_FALSE(world->addBox(Float3(2.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f), -1));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : There is no cube type 3"), std::string::npos);
  ASSERT_EQ(allZones(*world).size(), 1u);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 0);
}

TEST_F(IndexedWorldTest, RemovingTheLastCubeTypeRemovesItsZones) {
  world->createCube(Int3(0, 0, 0), 0);
  world->createCube(Int3(5, 0, 0), 2);
  world->createCube(Int3(-5, 0, 0), 2);
  world->removeLastCubeType();
  EXPECT_EQ(world->getNbCubeType(), 2);
  std::vector<ZoneAt> zones = allZones(*world);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0].zone.id, 0);
}

TEST_F(IndexedWorldTest, SavingAndLoadingKeepsTypesZonesAndObjects) {
  TempDir dir;
  world->createCube(Int3(0, 0, 0), 0);
  world->createCube(Int3(2, 0, 0), 2);
  world->addCubesParallelepiped(Int3(-3, -3, -3), Int3(-1, -1, -1), 0);
  world->addCubesParallelepiped(Int3(20, 0, 0), Int3(21, 1, 1), 2);
  CubeZone& shadowed = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[1];
  shadowed.isFaceShadowed[0] = true;
  shadowed.shadowTriangles[2] = {Float3(0.f, 0.f, 0.f), Float3(1.f, 0.f, 0.f), Float3(0.f, 0.f, 1.f)};
  world->addCustomObject(CustomObject(true, Float3(1.f, 2.f, 3.f), 1, "a"));
  std::unique_ptr<CustomObject> initialised(new CustomObject(false, Float3(4.f, 5.f, 6.f), 0, ""));
  initialised->manage();
  world->addCustomObject(std::move(initialised));
  const std::vector<ZoneAt> before = allZones(*world);

  testing::internal::CaptureStdout();
  ASSERT_TRUE(world->saveWorld(dir.file("saved.dat")));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "==== Saving world to file '" + dir.file("saved.dat") + "'\n==== World saved to file\n");

  world.reset();
  world.reset(new IndexedWorld(dir.file("saved.dat")));
  EXPECT_EQ(world->getNbCubeType(), 3);
  EXPECT_TRUE(world->getCubeType(0)->collidable);
  EXPECT_FALSE(world->getCubeType(1)->collidable);
  EXPECT_EQ(world->getTableRegionSize(), Int3(3, 2, 2));
  const std::vector<ZoneAt> after = allZones(*world);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].region, before[i].region);
    EXPECT_EQ(after[i].zone.id, before[i].zone.id);
    EXPECT_EQ(after[i].zone.centre, before[i].zone.centre);
    EXPECT_EQ(after[i].zone.size, before[i].zone.size);
  }
  const CubeZone& shadowedAgain = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[1];
  EXPECT_TRUE(shadowedAgain.isFaceShadowed[0]);
  EXPECT_EQ(shadowedAgain.shadowTriangles[2].size(), 3u);

  const auto& objects = world->getRegion(Int3(1, 1, 1))->getCustomObjects();
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_TRUE(objects[0]->getIsGlobal());
  EXPECT_TRUE(objects[0]->getNeedsInit());
  EXPECT_EQ(objects[0]->getTypeId(), 1u);
  EXPECT_FALSE(objects[1]->getIsGlobal());
  EXPECT_FALSE(objects[1]->getNeedsInit());
  EXPECT_EQ(objects[1]->getPosition(), Float3(4.f, 5.f, 6.f));
  EXPECT_EQ(CustomObject::getNbGlobalObjects(), 1);
}

TEST_F(IndexedWorldTest, AKillDuringASaveLeavesThePreviousFileWholeAndAnUncreatableFileIsReported) {
  // 32 768 one-cube zones, each with four shadow triangles: a 6.5 MB file.
  std::vector<Float3> triangles;
  for (int p = 0; p < 12; ++p) triangles.push_back(Float3(0.01f * p, 0.5f, 0.f));
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k) {
        WorldRegion* region = world->getRegion(Int3(i, j, k));
        const Float3 low = region->getPosition() - Float3(8.f, 8.f, 8.f);
        for (int cell = 0; cell < 16 * 16 * 16; ++cell) {
          CubeZone zone(0, low + Float3(cell % 16 + 0.5f, cell / 16 % 16 + 0.5f, cell / 256 + 0.5f), Float3(1.f, 1.f, 1.f));
          zone.shadowTriangles[3] = triangles;
          region->addCubeZone(std::move(zone));
        }
      }
  TempDir dir;
  const std::string path = dir.file("world.dat");
  CubeZone& marked = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[7];
  KilledSave saves(path, [&](int round) {
    marked.reserved = round % 2;
    testing::internal::CaptureStdout();
    world->saveWorld(path);
    testing::internal::GetCapturedStdout();
  });
  EXPECT_EQ(saves.run(8), 8);

  // A file that cannot be created is reported; the world stays in memory and keeps running.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(world->saveWorld(dir.file("missing/world.dat")));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("could not be saved: cannot create"), std::string::npos);
  EXPECT_EQ(world->getRegion(Int3(1, 1, 1))->getNbCubeZones(), 4096u);
  ASSERT_TRUE(world->saveWorld(path));
  world.reset();
  world.reset(new IndexedWorld(path));
  EXPECT_EQ(world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[7].shadowTriangles[3], triangles);
}

TEST_F(IndexedWorldTest, ADamagedFileLoadsItsSoundPartWithOneReportAndAClippedZoneBuilds) {
  // A one-region table at region (0, 0, 0): a zone reaching 0.01 past both x borders, a zone
  // of a cube type the file does not have, a sound zone.
  WorldFile file;
  file.putHeader(1);
  const std::string names[6];
  file.putCubeType(names, defaultOptions, true);
  file.putRegionTable(Int3(0, 0, 0), Int3(1, 1, 1));
  file.putZoneSection({CubeZone(0, Float3(8.f, 0.5f, 0.5f), Float3(16.02f, 1.f, 1.f)),
                       CubeZone(5, Float3(2.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f)),
                       CubeZone(0, Float3(1.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f))},
                      false);
  file.putObjectSectionHeader(0);
  TempDir dir;
  ASSERT_TRUE(file.writeTo(dir.file("damaged.dat")));

  testing::internal::CaptureStderr();
  ASSERT_TRUE(world->loadWorld(dir.file("damaged.dat")));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors, "ERROR : World file '" + dir.file("damaged.dat") +
                        "' held damaged records, dropped or repaired while loading: byte 73: zone clipped to its "
                        "region (it reached past the region's border); byte 129: zone dropped (cube type id 5 is "
                        "not one of the 1 cube types);\n");
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  WorldRegion* region = world->getRegion(Int3(1, 1, 1));
  ASSERT_EQ(region->getNbCubeZones(), 2u);
  EXPECT_EQ(region->getCubeZonesList()[0].size, Float3(16.f, 1.f, 1.f));
  EXPECT_EQ(region->getCubeZonesList()[0].centre, Float3(8.f, 0.5f, 0.5f));
  region->build(false, {});
  EXPECT_EQ(region->getCubeTypeAt(Float3(15.5f, 0.5f, 0.5f)), 0);
  region->free();
}

TEST_F(IndexedWorldTest, FastShadowsAtSavingDropTheShadowData) {
  TempDir dir;
  world->createCube(Int3(0, 0, 0), 0);
  CubeZone& zone = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[0];
  zone.isFaceShadowed[1] = true;
  zone.shadowTriangles[0] = {Float3(0.f, 0.f, 0.f), Float3(1.f, 0.f, 0.f), Float3(0.f, 0.f, 1.f)};
  GLTestWindow::get()->getConfig().setBool("fast_shadows", true);
  world->saveWorld(dir.file("fast.dat"));
  GLTestWindow::get()->getConfig().setBool("fast_shadows", false);
  EXPECT_EQ(readFile(dir.file("fast.dat")).size(), 165u + 3u * 28u + 56u);
  ASSERT_TRUE(world->loadWorld(dir.file("fast.dat")));
  const CubeZone& read = world->getRegion(Int3(1, 1, 1))->getCubeZonesList()[0];
  for (int face = 0; face < 6; ++face) {
    EXPECT_FALSE(read.isFaceShadowed[face]);
    EXPECT_TRUE(read.shadowTriangles[face].empty());
  }
}

TEST_F(IndexedWorldTest, ADamagedFileIsReportedAndTheWorldStaysAsItWas) {
  TempDir dir;
  world->createCube(Int3(0, 0, 0), 0);
  world->saveWorld(dir.file("good.dat"));
  world->createCube(Int3(3, 0, 0), 2);
  const std::string good = readFile(dir.file("good.dat"));
  const std::string cut = dir.write("cut.dat", good.substr(0, good.size() - 10));

  testing::internal::CaptureStderr();
  EXPECT_FALSE(world->loadWorld(cut));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : World file '" + cut + "' is damaged at byte "), std::string::npos) << errors;
  EXPECT_EQ(world->getNbCubeType(), 3);
  EXPECT_EQ(allZones(*world).size(), 2u);

  // At construction a damaged file leaves an empty world.
  world.reset();
  testing::internal::CaptureStderr();
  world.reset(new IndexedWorld(cut));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("is damaged"), std::string::npos);
  EXPECT_EQ(world->getNbCubeType(), 0);
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, 2, 2));
}

TEST_F(IndexedWorldTest, WorldToCubeTruncatesTowardZeroAndStaysFiniteForFarPoints) {
  EXPECT_EQ(IndexedWorld::worldToCube(Float3(1.5f, -1.5f, 0.f)), Int3(1, -1, 0));
  EXPECT_EQ(IndexedWorld::worldToCube(Float3(1e30f, -1e30f, std::nanf(""))),
            Int3(1000000000, -1000000000, -1000000000));
  EXPECT_EQ(IndexedWorld::cubeToWorld(Int3(2, -3, 0)), Float3(2.f, -3.f, 0.f));
}

TEST_F(IndexedWorldTest, NonFiniteBoxesAndSpheresChangeNothing) {
  world->createCube(Int3(0, 0, 0), 0);
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(world->addBox(Float3(nan, 0.f, 0.f), Float3(1.f, 1.f, 1.f), 0));
  EXPECT_FALSE(world->addBox(Float3(0.5f, 0.5f, 0.5f), Float3(inf, 1.f, 1.f), 0));
  world->editBox(Float3(0.5f, 0.5f, 0.5f), Float3(nan, 1.f, 1.f), -1);
  world->editSphere(Float3(0.f, 0.f, 0.f), nan, -1);
  world->editSphere(Float3(0.f, inf, 0.f), 2.f, -1);
  // A negative size would be saved into a file the reader refuses.
  EXPECT_FALSE(world->addBox(Float3(0.5f, 0.5f, 0.5f), Float3(1.f, -1.f, 1.f), 0));
  // Edits too big to hold are refused at once (no endless sampling, no exhausted memory).
  testing::internal::CaptureStderr();
  world->removeCubesParallelepiped(Int3(-2000000000, -1, -1), Int3(2000000000, 1, 1));
  world->removeCubesSphere(Int3(0, 0, 0), 1e7f);
  world->createCube(Int3(std::numeric_limits<int>::max(), 0, 0), 0);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : The edit covers more than 67108864 cubes: it is refused"), std::string::npos)
      << errors;
  ASSERT_EQ(allZones(*world).size(), 1u);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 0);
}

TEST_F(IndexedWorldTest, ALongColumnThroughAFloorGrowsTheTableOnceAndIsBuiltRegionByRegion) {
  world->addCubesParallelepiped(Int3(-16, 0, -16), Int3(16, 1, 16), 2);
  struct CountingListener : RegionTableListener {
    void regionsInvalidated() override { ++count; }
    int count = 0;
  } listener;
  world->setRegionTableListener(&listener);
  // The cells written span the floor's zone and the column: more than a grid of the whole edit
  // holds, so the column is built region by region.
  constexpr int height = 70000;
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(1, height, 1), 0);
  world->setRegionTableListener(nullptr);
  EXPECT_EQ(listener.count, 1);
  EXPECT_EQ(world->getTableRegionMin(), Int3(-1, -1, -1));
  EXPECT_EQ(world->getTableRegionSize(), Int3(2, height / 16 + 1, 2));
  EXPECT_EQ(cubeCount(*world), 32 * 32 + height - 1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), 2);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 1)), 2);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, height - 1, 0)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, height, 0)), -1);
  // One zone per region of the column: each region's greedy boxes.
  size_t columnZones = 0;
  for (const ZoneAt& at : allZones(*world)) columnZones += at.zone.id == 0;
  EXPECT_EQ(columnZones, static_cast<size_t>(height / 16));

  // Removing it leaves the floor whole again (in its region's greedy boxes).
  world->removeCubesParallelepiped(Int3(0, 0, 0), Int3(1, height, 1));
  EXPECT_EQ(cubeCount(*world), 32 * 32 - 1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), -1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(15, 0, 15)), 2);
}

TEST_F(IndexedWorldTest, AnEditBeyondTheWorldsLimitsIsRefusedBeforeItTakesAnyCube) {
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(4, 1, 1), 2);
  const std::vector<ZoneAt> before = allZones(*world);
  const Int3 tableSize = world->getTableRegionSize();
  testing::internal::CaptureStderr();
  // It meets the zone at its start and runs on for more regions than a table may hold.
  constexpr int far = 16 * 600000;
  world->addCubesParallelepiped(Int3(1, 0, 0), Int3(2, 1, far), 0);
  world->addCubesSphere(Int3(far, 0, 0), 40.f, 0);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : The edit reaches beyond the limits of the world (2097152 regions): it is refused "
                        "and the cubes are not changed."),
            std::string::npos)
      << errors;
  EXPECT_EQ(allZones(*world).size(), before.size());
  EXPECT_EQ(cubeCount(*world), 4);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), 2);
  EXPECT_EQ(world->getTableRegionSize(), tableSize);
  // A removal there adds nothing and goes ahead.
  world->removeCubesParallelepiped(Int3(1, 0, 0), Int3(2, 1, far));
  EXPECT_EQ(cubeCount(*world), 3);
  EXPECT_EQ(world->getTableRegionSize(), tableSize);
}

TEST_F(IndexedWorldTest, AnEditListSpreadBeyondTheGridBoundIsRefused) {
  testing::internal::CaptureStderr();
  world->applyEdits({{Int3(0, 0, 0), 0}, {Int3(4096, 4096, 4096), 0}});
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR : The edit spreads over more than 16777216 cells"),
            std::string::npos);
  EXPECT_TRUE(allZones(*world).empty());
  world->applyEdits({{Int3(0, 0, 0), 0}, {Int3(2, 0, 0), 2}, {Int3(0, 0, 0), 2}});
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 2);
  EXPECT_EQ(cubeCount(*world), 2);
}

TEST_F(IndexedWorldTest, AMissingWorldFileIsFatal) {
  world.reset();
  EXPECT_EXIT(IndexedWorld("no_such_world.dat"), testing::ExitedWithCode(1), "fd != NULL");
}
