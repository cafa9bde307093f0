#ifndef BENCH_BENCHWORLD_H
#define BENCH_BENCHWORLD_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "world/IndexedWorld.h"
#include "world/WorldFile.h"
#include "world/WorldRegion.h"

/// Zones held by every region of the world.
inline size_t countWorldZones(const IndexedWorld& world) {
  size_t count = 0;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k) count += world.getRegion(Int3(i, j, k))->getNbCubeZones();
  return count;
}

/// An empty world of regions of `regionCubes` cubes of edge 1 with two plain cube types, in the
/// engine window it opens when none is open (the sample game's world.dat holds a whole island,
/// so the world starts from an empty file of its own).
inline IndexedWorld* createEmptyBenchWorld(const char* name, int regionCubes) {
  if (DeviceManager::getInstance() == nullptr) DeviceManager::createInstance(name, "", 800, 600, false);
  XMLSimple& config = DeviceManager::getInstance()->getConfig();
  config.setInt("size_one_region", regionCubes);
  config.setDouble("size_one_cube", 1.0);
  CubesTable::setSizeOneCube(1.f);
  const std::string emptyWorld = (std::filesystem::temp_directory_path() / (std::string(name) + "-empty.dat")).string();
  WorldFile empty;
  empty.putEmptyWorld();
  if (!empty.writeTo(emptyWorld)) std::abort();
  IndexedWorld* world = new IndexedWorld(emptyWorld);
  std::remove(emptyWorld.c_str());
  const std::string names[6];
  const bool options[3] = {true, true, true};
  world->addCubeType(names, options, true);
  world->addCubeType(names, options, true);
  return world;
}

/// The benchmark program's main: runs the benchmarks, then destroys the world before the window.
inline int runBenchmarksWithWorld(int argc, char** argv, IndexedWorld*& world) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  delete world;
  world = nullptr;
  if (DeviceManager::getInstance() != nullptr) DeviceManager::destroyInstance();
  return 0;
}

#endif
