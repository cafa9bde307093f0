#ifndef BENCH_BENCHWORLD_H
#define BENCH_BENCHWORLD_H

#include <cstddef>

#include "IndexedWorld.h"
#include "WorldRegion.h"

/// Zones held by every region of the world.
inline size_t countWorldZones(const IndexedWorld& world) {
  size_t count = 0;
  const Int3 size = world.getTableRegionSize();
  for (int i = 0; i < size.x(); ++i)
    for (int j = 0; j < size.y(); ++j)
      for (int k = 0; k < size.z(); ++k) count += world.getRegion(Int3(i, j, k))->getNbCubeZones();
  return count;
}

#endif
