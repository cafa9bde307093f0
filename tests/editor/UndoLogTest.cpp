#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "world/CubeType.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CustomObject.h"
#include "DeviceManager.h"
#include "GLTestWindow.h"
#include "world/IndexedWorld.h"
#include "editor/UndoLog.h"
#include "world/WorldRegion.h"

// Cubes of edge 1, regions of 8 cubes, an empty world to start from.
namespace {

const bool defaultOptions[3] = {true, true, true};

class UndoLogTest : public testing::Test {
 protected:
  void SetUp() override {
    world = GLTestWindow::openSmallEmptyWorld();
    addType("brick.png");
    addType("clay.png");
  }
  void TearDown() override { world.reset(); }

  void addType(const std::string& name) {
    const std::string names[6] = {name, name, name, name, name, name};
    world->addCubeType(names, defaultOptions, true);
  }

  /// Everything an undo must put back: per non-empty region (by absolute index) its zones and
  /// objects in list order, then the cube types.
  std::string dump() const {
    std::map<std::string, std::string> regions;
    const Int3 size = world->getTableRegionSize();
    for (int i = 0; i < size.x(); ++i)
      for (int j = 0; j < size.y(); ++j)
        for (int k = 0; k < size.z(); ++k) {
          const WorldRegion& region = *world->getRegion(Int3(i, j, k));
          if (region.isEmpty()) continue;
          std::ostringstream text;
          for (const CubeZone& zone : region.getCubeZonesList())
            text << " zone " << zone.id << " " << zone.centre << " " << zone.size;
          for (const auto& object : region.getCustomObjects())
            text << " object " << object->getTypeId() << " " << object->getPosition() << " " << object->getIsGlobal();
          std::ostringstream key;
          key << Int3(i, j, k) + world->getTableRegionMin();
          regions[key.str()] = text.str();
        }
    std::ostringstream all;
    for (const auto& region : regions) all << region.first << ":" << region.second << "\n";
    for (int id = 0; id < world->getNbCubeType(); ++id) {
      const CubeType& type = *world->getCubeType(id);
      all << "type " << type.textureNames[0] << " " << type.collidable << "\n";
    }
    return all.str();
  }

  /// One recorded edit.
  template <typename Edit>
  void record(UndoLog& log, Edit edit) {
    const UndoLog::Recording recording(log);
    edit();
  }

  std::unique_ptr<IndexedWorld> world;
};

TEST_F(UndoLogTest, UndoAndRedoPutBackZonesObjectsAndTheTableExactly) {
  UndoLog log(*world, 10);
  // A box across a region border, a plain object and a global one.
  world->addCubesParallelepiped(Int3(2, 0, 0), Int3(12, 3, 3), 0);
  world->addCustomObject(CustomObject(false, Float3(1.5f, 4.f, 1.5f), 0, "x"));
  world->addCustomObject(CustomObject(true, Float3(9.5f, 4.f, 1.5f), 1, ""));
  const std::string before = dump();
  const int globalsBefore = CustomObject::getNbGlobalObjects();

  record(log, [&] {
    world->addCubesSphere(Int3(8, 1, 1), 2.5f, 1);  // splits zones on both sides of the border
    world->removeCube(Int3(3, 1, 1));
    world->addCustomObject(CustomObject(false, Float3(2.5f, 5.f, 2.5f), 1, ""));
    world->removeCustomObject(Float3(9.5f, 4.f, 1.5f), false);
    world->addBox(Float3(100.5f, 0.5f, 0.5f), Float3(1.f, 1.f, 1.f), 1);  // grows the table
  });
  const std::string after = dump();
  ASSERT_NE(before, after);
  EXPECT_EQ(CustomObject::getNbGlobalObjects(), globalsBefore - 1);
  // The kept copies take no place among the live objects.
  EXPECT_EQ(log.getNbUndoSteps(), 1u);

  EXPECT_TRUE(log.undo());
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(CustomObject::getNbGlobalObjects(), globalsBefore);
  EXPECT_TRUE(log.redo());
  EXPECT_EQ(dump(), after);
  EXPECT_EQ(CustomObject::getNbGlobalObjects(), globalsBefore - 1);
  EXPECT_TRUE(log.undo());
  EXPECT_EQ(dump(), before);
  EXPECT_FALSE(log.undo());

  // Clearing the whole world is one step too.
  record(log, [&] { world->reset(); });
  EXPECT_EQ(dump(), "type brick.png 1\ntype clay.png 1\n");
  EXPECT_TRUE(log.undo());
  EXPECT_EQ(dump(), before);
}

TEST_F(UndoLogTest, StepsAreBoundedAndANewEditDropsTheRedoSteps) {
  UndoLog log(*world, 2);
  for (int x = 0; x < 3; ++x) record(log, [&] { world->createCube(Int3(x, 0, 0), 0); });
  EXPECT_EQ(log.getNbUndoSteps(), 2u);
  // Recordings that change nothing (or are discarded) make no step.
  record(log, [&] { world->removeCube(Int3(0, 5, 0)); });
  record(log, [&] {
    log.discardStep();
    world->optimizeAll();
  });
  EXPECT_EQ(log.getNbUndoSteps(), 2u);

  EXPECT_TRUE(log.undo());
  EXPECT_TRUE(log.undo());
  EXPECT_FALSE(log.undo());
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(0, 0, 0)), 0);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), -1);
  EXPECT_EQ(log.getNbRedoSteps(), 2u);

  record(log, [&] { world->createCube(Int3(0, 2, 0), 1); });
  EXPECT_EQ(log.getNbRedoSteps(), 0u);
  EXPECT_FALSE(log.redo());
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 0, 0)), -1);
}

TEST_F(UndoLogTest, AnEditTooLargeToKeepIsReportedAndEndsTheHistory) {
  // Room for a few dozen zones.
  UndoLog log(*world, 10, 40 * sizeof(CubeZone));
  record(log, [&] { world->createCube(Int3(0, 0, 0), 0); });
  ASSERT_EQ(log.getNbUndoSteps(), 1u);
  EXPECT_LE(log.getBytes(), log.getMaxBytes());

  // A chequer board of 128 single cubes over four regions.
  testing::internal::CaptureStderr();
  record(log, [&] {
    for (int x = 0; x < 16; ++x)
      for (int z = 0; z < 16; z += 2) world->createCube(Int3(x, 1, z + x % 2), 1);
  });
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("ERROR : The edit is too large to be undone"), std::string::npos) << errors;
  EXPECT_EQ(log.getNbUndoSteps(), 0u);
  EXPECT_EQ(log.getBytes(), 0u);
  EXPECT_FALSE(log.undo());
  // The edit itself stays.
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(15, 1, 15)), 1);
}

TEST_F(UndoLogTest, CubeTypeCreationAndRemovalAreUndone) {
  UndoLog log(*world, 10);
  world->addCubesParallelepiped(Int3(0, 0, 0), Int3(2, 2, 2), 1);
  const std::string start = dump();

  record(log, [&] { addType("dirt.png"); });
  EXPECT_EQ(world->getNbCubeType(), 3);
  record(log, [&] {
    world->getCubeType(0)->modify(world->getCubeType(2)->textureNames, defaultOptions, false);
  });
  const std::string modified = dump();
  // Removing the last type takes its cubes with it; undo brings both back.
  record(log, [&] { world->removeLastCubeType(); });
  record(log, [&] { world->removeLastCubeType(); });
  EXPECT_EQ(world->getNbCubeType(), 1);
  EXPECT_EQ(world->getCubeTypeAtCell(Int3(1, 1, 1)), -1);

  EXPECT_TRUE(log.undo());
  EXPECT_TRUE(log.undo());
  EXPECT_EQ(dump(), modified);
  EXPECT_TRUE(log.undo());
  EXPECT_TRUE(log.undo());
  EXPECT_EQ(dump(), start);
  EXPECT_TRUE(log.redo());
  EXPECT_EQ(world->getNbCubeType(), 3);
  EXPECT_EQ(world->getCubeType(2)->textureNames[0], "dirt.png");
}

}  // namespace
