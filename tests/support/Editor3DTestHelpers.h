#ifndef TESTS_EDITOR3DTESTHELPERS_H
#define TESTS_EDITOR3DTESTHELPERS_H

#include <cmath>
#include <vector>

#include "meshing/CubeZone.h"
#include "world/CustomObject.h"
#include "world/IndexedWorld.h"
#include "world/WorldRegion.h"

// Shared counting of the editor and world generation tests.

/// Cubes held by every zone of the world (cubes of edge 1).
inline int countEditorCubes(const IndexedWorld& world) {
  long long count = 0;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k)
        for (const CubeZone& zone : world.getRegion(Int3(i, j, k))->getCubeZonesList())
          count += std::lround(zone.size.x()) * std::lround(zone.size.y()) * std::lround(zone.size.z());
  return static_cast<int>(count);
}

/// Script objects of every region; their positions are appended when asked.
inline int countEditorObjects(const IndexedWorld& world, std::vector<Float3>* positions = nullptr) {
  int count = 0;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k)
        for (const auto& object : world.getRegion(Int3(i, j, k))->getCustomObjects()) {
          ++count;
          if (positions != nullptr) positions->push_back(object->getPosition());
        }
  return count;
}

#endif
