#ifndef TESTS_REGIONTABLEFIXTURE_H
#define TESTS_REGIONTABLEFIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DeviceManager.h"
#include "GLManager.h"
#include "GLTestWindow.h"
#include "Scene3D.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "world/CubeTypeManager.h"
#include "world/CubeZoneLooks.h"
#include "world/WorldIndexator.h"

// Shared set-up of the region table and streaming tests: a table of regions of edge 16 over
// cubes of edge 1, one stone cube type, the camera at (8, 8, 8) looking along -z, and every
// region built in its frame (no budget, no worker, no shadows computed).

/// Region edge of the fixture's table.
constexpr float fixtureRegionEdge = 16.f;

/// A one-cube zone of type `id` in the middle of the region of absolute index `region`.
inline CubeZone cubeInRegion(const Int3& region, int id = 0) {
  const float e = fixtureRegionEdge;
  return CubeZone(id, Float3(region.x() * e + 8.5f, region.y() * e + 8.5f, region.z() * e + 8.5f),
                  Float3(1.f, 1.f, 1.f));
}

class RegionTableFixture : public testing::Test {
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
    world.reset(new WorldIndexator(fixtureRegionEdge));
  }
  void TearDown() override {
    world.reset();
    manager.reset();
  }
  static XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }
  static void placeCamera(const Float3& position) {
    Scene3D* scene = GLManager::getScene3D();
    scene->getCamera()->setPosition(position);
    scene->getCamera()->setRotation(Float3(0.f, 0.f, 0.f));
    scene->apply3DView();
  }

  std::unique_ptr<CubeTypeManager> manager;
  std::unique_ptr<WorldIndexator> world;
};

#endif
