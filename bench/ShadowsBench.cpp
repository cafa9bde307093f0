// The two shadow algorithms on one region of 32 x 32 x 32 cubes of edge 10 (the sample
// game's sizes), holding a rolling terrain stored as column zones (runs along x of equal
// height, one cube deep); the fast shadows also under a roof (argument 1). Counters:
//   zones                   zones of the region
//   fast_triangles          fast-shadow triangles of the whole region (one build)
//   fast_shadowed_cells     shadowed, empty neighbour cells over the +x, +y, +z faces: the
//                           triangles a per-cell construction would lay are twice this
//   fast_merge_ratio        fast_triangles / (2 * fast_shadowed_cells), below 1 thanks to the
//                           greedy merge (the diagonal half-cells add to it)
//   fast_us_per_zone        fast shadows of one zone
//   table_us                the region's table with its shadow grid, which the fast shadows
//                           read (for scale: the fast shadows should cost less)
//   static_*                static shadows of a 320 x 10 x 320 floor under a few boxes, and
//                           of every terrain zone with the region's zones as casters, with
//                           the command light (region centre + (-3000, 10000, -3000))

#include <benchmark/benchmark.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubeZoneFastShadows.h"
#include "meshing/CubeZoneStaticShadows.h"
#include "meshing/CubesTable.h"

namespace {

constexpr int n = 32;
constexpr float e = 10.f;
constexpr float regionSize = n * e;
const Float3 regionCentre(regionSize / 2.f, regionSize / 2.f, regionSize / 2.f);
const Float3 commandLight = regionCentre + Float3(-3000.f, 10000.f, -3000.f);

int terrainHeight(int x, int z) {
  const float h = 14.f + 7.f * std::sin(x * 0.23f) * std::cos(z * 0.19f) + 3.f * std::sin((x - z) * 0.1f);
  return std::max(1, std::min(n - 2, (int)h));
}

/// For each row z, runs along x of equal column height, as zones from the floor up.
std::vector<CubeZone> terrainZones() {
  std::vector<CubeZone> zones;
  for (int z = 0; z < n; ++z) {
    int x = 0;
    while (x < n) {
      const int h = terrainHeight(x, z);
      int end = x + 1;
      while (end < n && terrainHeight(end, z) == h) ++end;
      const Float3 size((end - x) * e, h * e, e);
      zones.push_back(CubeZone(0, Float3(x * e + size.x() / 2.f, size.y() / 2.f, z * e + e / 2.f), size));
      x = end;
    }
  }
  return zones;
}

std::vector<const CubeZone*> pointersTo(const std::vector<CubeZone>& zones) {
  std::vector<const CubeZone*> pointers;
  pointers.reserve(zones.size());
  for (const CubeZone& zone : zones) pointers.push_back(&zone);
  return pointers;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Shadowed, empty cells just outside the zones' +x, +y and +z faces (in the table).
size_t shadowedNeighbourCells(const std::vector<CubeZone>& zones, const CubesTable& table) {
  size_t count = 0;
  for (const CubeZone& zone : zones) {
    const Int3 lo = table.getCellOf(zone.centre - zone.size / 2.f + Float3(e / 2.f, e / 2.f, e / 2.f));
    const Int3 hi = table.getCellOf(zone.centre + zone.size / 2.f + Float3(e / 2.f, e / 2.f, e / 2.f));
    for (int a = 0; a < 3; ++a) {
      const int u = (a + 1) % 3, v = (a + 2) % 3;
      for (int i = lo[u]; i < hi[u]; ++i)
        for (int j = lo[v]; j < hi[v]; ++j) {
          Int3 cell;
          cell[a] = hi[a];
          cell[u] = i;
          cell[v] = j;
          if (table.isShadowCell(cell) && table.getCubeIdAtCell(cell) == -1) ++count;
        }
    }
  }
  return count;
}

void BM_FastShadowsTerrain(benchmark::State& state) {
  CubesTable::setSizeOneCube(e);
  std::vector<CubeZone> zones = terrainZones();
  // With argument 1, a roof of 24 x 1 x 24 cubes near the top shades most of the terrain.
  if (state.range(0) == 1)
    zones.push_back(CubeZone(0, Float3(12.f * e, 30.5f * e, 12.f * e), Float3(24.f * e, e, 24.f * e)));
  const std::vector<const CubeZone*> casters = pointersTo(zones);
  const CubesTable table(regionCentre, e, regionSize, zones, &casters);
  size_t triangles = 0;
  double fastTime = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    CubeZoneFastShadows shadows(table);
    shadows.computeFastShadows(zones.data(), zones.size());
    benchmark::ClobberMemory();
    fastTime += secondsSince(start);
  }
  for (const CubeZone& zone : zones)
    for (const std::vector<Float3>& list : zone.shadowTriangles) triangles += list.size() / 3;

  double tableTime = 0.0;
  const int tableRuns = 20;
  for (int k = 0; k < tableRuns; ++k) {
    const auto start = std::chrono::steady_clock::now();
    CubesTable again(regionCentre, e, regionSize, zones, &casters);
    benchmark::DoNotOptimize(again.getShadows());
    tableTime += secondsSince(start);
  }

  const size_t cells = shadowedNeighbourCells(zones, table);
  state.counters["zones"] = (double)zones.size();
  state.counters["fast_triangles"] = (double)triangles;
  state.counters["fast_shadowed_cells"] = (double)cells;
  state.counters["fast_merge_ratio"] = cells > 0 ? (double)triangles / (2.0 * (double)cells) : 0.0;
  state.counters["fast_us_per_zone"] = fastTime / (double)state.iterations() / (double)zones.size() * 1e6;
  state.counters["table_us"] = tableTime / tableRuns * 1e6;
}

size_t triangleCount(const CubeZone& zone) {
  size_t count = 0;
  for (const std::vector<Float3>& list : zone.shadowTriangles) count += list.size() / 3;
  return count;
}

void BM_StaticShadowsFloorUnderBoxes(benchmark::State& state) {
  CubeZone floor(0, Float3(regionCentre.x(), 5.f, regionCentre.z()), Float3(regionSize, 10.f, regionSize));
  // A few boxes standing on the floor or floating over it, off the 10-unit tile grid.
  std::vector<CubeZone> boxes{
      CubeZone(0, Float3(60.f, 35.f, 80.f), Float3(40.f, 50.f, 30.f)),
      CubeZone(0, Float3(200.f, 100.f, 150.f), Float3(60.f, 20.f, 60.f)),
      CubeZone(0, Float3(250.f, 25.f, 40.f), Float3(15.f, 30.f, 70.f)),
      CubeZone(0, Float3(120.f, 200.f, 260.f), Float3(80.f, 10.f, 25.f)),
      CubeZone(0, Float3(300.f, 60.f, 300.f), Float3(30.f, 100.f, 30.f)),
  };
  std::vector<const CubeZone*> casters = pointersTo(boxes);
  casters.push_back(&floor);
  CubeZoneStaticShadows shadows;
  for (auto _ : state) {
    shadows.calculateZoneShadows(casters, floor, commandLight);
    benchmark::ClobberMemory();
  }
  state.counters["static_casters"] = (double)boxes.size();
  state.counters["static_triangles"] = (double)triangleCount(floor);
  state.counters["static_tiles"] = (regionSize / CubeZoneStaticShadows::tileSize) * (regionSize / CubeZoneStaticShadows::tileSize);
}

void BM_StaticShadowsTerrainRegion(benchmark::State& state) {
  std::vector<CubeZone> zones = terrainZones();
  const std::vector<const CubeZone*> casters = pointersTo(zones);
  CubeZoneStaticShadows shadows;
  double staticTime = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (CubeZone& zone : zones) shadows.calculateZoneShadows(casters, zone, commandLight);
    benchmark::ClobberMemory();
    staticTime += secondsSince(start);
  }
  size_t triangles = 0;
  for (const CubeZone& zone : zones) triangles += triangleCount(zone);
  state.counters["zones"] = (double)zones.size();
  state.counters["static_triangles"] = (double)triangles;
  state.counters["static_us_per_zone"] = staticTime / (double)state.iterations() / (double)zones.size() * 1e6;
}

}  // namespace

BENCHMARK(BM_FastShadowsTerrain)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticShadowsFloorUnderBoxes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticShadowsTerrainRegion)->Unit(benchmark::kMillisecond);
