// Cube edits of the indexed world on regions of 32 cubes of edge 1 (run under Xvfb: the world
// needs the engine window for its cube types):
//   BoxEdit/<edge>       removes a box of edge^3 cubes from the middle of a 32 x 8 x 32 slab and
//                        puts it back (two box edits, each splitting the zones it meets into
//                        cubes and rebuilding them greedily)
//   GreedyRebuild        rebuilds one region's zones from a 32^3 grid of a heightmap terrain
//                        (the optimiser's step), zones removed again outside the timing
//   ColumnEdit           adds a column of 1 x 100,000 x 1 cubes to a new world with a floor of
//                        64 x 1 x 64 cubes (the column splits the floor's zone it meets; the
//                        table grows from 2 x 2 x 2 regions to hold it), and removes it again
//   EditMemory/<cubes>   adds a box of that many cubes (256 x cubes/65536 x 256) to a new world;
//                        2^26 is the largest edit a world takes
// Counters: zones_after (zones left by one round), allocs_per_edit (heap allocations per edit
// once the scratch lists are warm; the zone lists of the regions grow in steps of 200),
// peak_bytes_per_cube (the most heap the edit held above what was held before it, per cube of
// the box).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "world/IndexedWorld.h"
#include "world/WorldFile.h"
#include "world/WorldRegion.h"

namespace {

std::atomic<long> allocations{0};
/// Heap bytes held now and the most held since the last reset of the peak.
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void noteAllocated(void* p) {
  const long long now = liveBytes.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                        static_cast<long long>(malloc_usable_size(p));
  long long peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
}

/// Created by the first benchmark, destroyed by main before the window goes.
IndexedWorld* world = nullptr;

IndexedWorld& sharedWorld() {
  if (world == nullptr) world = createEmptyBenchWorld("editsbench", 32);
  return *world;
}

void clearRegionAtOrigin(IndexedWorld& world) { world.clear(Float3(1.f, 1.f, 1.f), false); }

void BoxEdit(benchmark::State& state) {
  IndexedWorld& world = sharedWorld();
  clearRegionAtOrigin(world);
  world.addCubesParallelepiped(Int3(0, 0, 0), Int3(32, 8, 32), 0);
  const int edge = static_cast<int>(state.range(0));
  const Int3 low(16 - edge / 2, 4 - edge / 2, 16 - edge / 2);
  const Int3 high = low + Int3(edge, edge, edge);
  // Warm the scratch lists and the zone list capacity.
  world.removeCubesParallelepiped(low, high);
  world.addCubesParallelepiped(low, high, 1);
  long allocationsBefore = allocations.load();
  long edits = 0;
  for (auto _ : state) {
    world.removeCubesParallelepiped(low, high);
    world.addCubesParallelepiped(low, high, 1);
    edits += 2;
  }
  state.counters["allocs_per_edit"] = static_cast<double>(allocations.load() - allocationsBefore) / edits;
  state.counters["zones_after"] = static_cast<double>(countWorldZones(world));
  clearRegionAtOrigin(world);
}
BENCHMARK(BoxEdit)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

void GreedyRebuild(benchmark::State& state) {
  IndexedWorld& world = sharedWorld();
  clearRegionAtOrigin(world);
  constexpr int n = 32;
  std::vector<int32_t> terrain(n * n * n, -1);
  for (int x = 0; x < n; ++x)
    for (int z = 0; z < n; ++z) {
      const int height = 8 + static_cast<int>(6.f * std::sin(x * 0.3f) * std::cos(z * 0.25f));
      for (int y = 0; y < height; ++y) terrain[x + (y + z * n) * n] = y < height - 3 ? 0 : 1;
    }
  std::vector<int32_t> grid(terrain.size());
  size_t zones = 0;
  for (auto _ : state) {
    state.PauseTiming();
    grid = terrain;
    clearRegionAtOrigin(world);
    state.ResumeTiming();
    world.buildZonesFromGrid(grid.data(), Int3(n, n, n), Float3(0.f, 0.f, 0.f));
    zones = countWorldZones(world);
  }
  state.counters["zones_after"] = static_cast<double>(zones);
  clearRegionAtOrigin(world);
}
BENCHMARK(GreedyRebuild)->Unit(benchmark::kMicrosecond);

void ColumnEdit(benchmark::State& state) {
  IndexedWorld& world = sharedWorld();
  size_t zones = 0;
  for (auto _ : state) {
    state.PauseTiming();
    world.reset();
    world.addCubesParallelepiped(Int3(-32, 0, -32), Int3(32, 1, 32), 1);
    state.ResumeTiming();
    world.addCubesParallelepiped(Int3(0, 0, 0), Int3(1, 100000, 1), 0);
    state.PauseTiming();
    zones = countWorldZones(world);
    state.ResumeTiming();
    world.removeCubesParallelepiped(Int3(0, 0, 0), Int3(1, 100000, 1));
  }
  state.counters["zones_after"] = static_cast<double>(zones);
  world.reset();
}
BENCHMARK(ColumnEdit)->Iterations(3)->Unit(benchmark::kMillisecond);

void EditMemory(benchmark::State& state) {
  IndexedWorld& world = sharedWorld();
  const int height = static_cast<int>(state.range(0) / (256 * 256));
  double perCube = 0.;
  size_t zones = 0;
  for (auto _ : state) {
    state.PauseTiming();
    world.reset();
    const long long before = liveBytes.load();
    peakBytes.store(before);
    state.ResumeTiming();
    world.addCubesParallelepiped(Int3(0, 0, 0), Int3(256, height, 256), 0);
    state.PauseTiming();
    perCube = static_cast<double>(peakBytes.load() - before) / static_cast<double>(state.range(0));
    zones = countWorldZones(world);
    state.ResumeTiming();
  }
  state.counters["peak_bytes_per_cube"] = perCube;
  state.counters["zones_after"] = static_cast<double>(zones);
  world.reset();
}
BENCHMARK(EditMemory)->Arg(1 << 22)->Arg(1 << 26)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runBenchmarksWithWorld(argc, argv, world); }

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    noteAllocated(p);
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p != nullptr) liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
