// Streaming: the per-frame scan of the region table around a still camera, and the build of one
// region, with and without the second half of its zones meshed on the build worker.
// Run under Xvfb (the builds upload real vertex buffers):
//   xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ./StreamingBench   (from the game directory)
//   BM_StreamingFrame/g       one draw of a table of 25 x 25 x 25 empty, built regions with the
//                             view distance giving the scan radius g (the frame that nothing enters)
//   BM_RegionBuild/near/parallel  build + free of a 32-cube terrain region stored as columns
//                             (1024 zones), wall time; counter zones_per_ms.
//   BM_RegionBuildSplit/near/checkerboard  the same build serial and split between the main
//                             thread and the worker in turn, one of each per iteration, so that
//                             both see the same machine load; counters serial_ms and parallel_ms
//                             (medians) and parallel_over_serial (targets: near <= 0.6, far <= 1.0).
//                             The far terrain region (1024 zones) is too small to be split; the
//                             far checkerboard (4096 single cubes) is split.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "world/CubeTypeManager.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "GLManager.h"
#include "streaming/RegionStreamer.h"
#include "Scene3D.h"
#include "world/WorldIndexator.h"
#include "world/WorldRegion.h"

namespace {

constexpr float edge = 32.f;  // region edge, cubes of edge 1

struct Environment {
  Environment() {
    DeviceManager::createInstance("streamingbench", "", 800, 600, false);
    CubesTable::setSizeOneCube(1.f);
    manager.reset(new CubeTypeManager());
    const bool options[3] = {true, true, true};
    const char* const textures[3] = {"grass_top.png", "dirt.png", "stone.png"};
    for (const char* texture : textures) {
      std::string names[6];
      for (std::string& name : names) name = texture;
      manager->addCubeType(names, options, true);
    }
    Scene3D* scene = GLManager::getScene3D();
    scene->getCamera()->setPosition(Float3(16.f, 16.f, 16.f));
    scene->apply3DView();
    world.reset(new WorldIndexator(edge));
    streamer.reset(new RegionStreamer(*world));
  }
  ~Environment() {
    streamer.reset();
    world.reset();
    manager.reset();
  }
  std::unique_ptr<CubeTypeManager> manager;
  std::unique_ptr<WorldIndexator> world;
  std::unique_ptr<RegionStreamer> streamer;
};

Environment* instance = nullptr;

Environment& environment() {
  if (instance == nullptr) {
    instance = new Environment();
    // The textures go before the window's texture registry does.
    std::atexit([] { delete instance; });
  }
  return *instance;
}

XMLSimple& config() { return DeviceManager::getInstance()->getConfig(); }

/// Keeps the engine's log lines out of the benchmark report.
class QuietOutput {
 public:
  QuietOutput() : previous(std::cout.rdbuf(sink.rdbuf())) {}
  ~QuietOutput() { std::cout.rdbuf(previous); }

 private:
  std::ostringstream sink;
  std::streambuf* previous;
};

void BM_StreamingFrame(benchmark::State& state) {
  Environment& env = environment();
  QuietOutput quiet;
  config().setBool("render_under_water", true);
  config().setBool("optimization_world_load_progressive", true);
  config().setDouble("region_build_budget_ms", -1.0);
  env.world->reset();
  env.world->growToInclude(Int3(-12, -12, -12));
  env.world->growToInclude(Int3(12, 12, 12));
  const float viewDistance = (float)(state.range(0) - 1) * edge;
  // Build the shell too (one border region per frame) before timing.
  for (size_t frame = 0; frame < 4000; ++frame) env.streamer->draw(viewDistance, false);
  for (auto _ : state) env.streamer->draw(viewDistance, false);
  state.counters["regions_in_view"] = (double)env.streamer->getRegionsInView().size();
}
BENCHMARK(BM_StreamingFrame)->Arg(4)->Arg(8)->Arg(11)->Unit(benchmark::kMicrosecond);

void fillTerrain(WorldRegion& region) {
  for (int z = 0; z < 32; ++z)
    for (int x = 0; x < 32; ++x) {
      const float h = 14.f + 6.f * std::sin(x * 0.21f) * std::cos(z * 0.17f) + 4.f * std::sin((x + 2 * z) * 0.11f);
      const int height = std::max(1, std::min(32, (int)h));
      region.addCubeZone(CubeZone((x + z) % 3, Float3(x + 0.5f, height / 2.f, z + 0.5f), Float3(1.f, (float)height, 1.f)));
    }
}

/// 4096 single cubes, every other cell of the lower quarter: more zones than a far build needs
/// to be split, and every face visible.
void fillCheckerboard(WorldRegion& region) {
  for (int y = 0; y < 8; ++y)
    for (int z = 0; z < 32; ++z)
      for (int x = 0; x < 32; ++x)
        if ((x + y + z) % 2 == 0)
          region.addCubeZone(CubeZone((x + z) % 3, Float3(x + 0.5f, y + 0.5f, z + 0.5f), Float3(1.f, 1.f, 1.f)));
}

void BM_RegionBuild(benchmark::State& state) {
  environment();
  QuietOutput quiet;
  const bool isNear = state.range(0) != 0;
  const bool parallel = state.range(1) != 0;
  config().setBool("enable_parallelization_regions_near", parallel);
  config().setBool("enable_parallelization_regions_far", parallel);
  WorldRegion region(Float3(16.f, 16.f, 16.f), edge);
  fillTerrain(region);
  for (auto _ : state) {
    region.build(isNear, {});
    region.free();
  }
  config().setBool("enable_parallelization_regions_near", false);
  config().setBool("enable_parallelization_regions_far", false);
  state.counters["zones_per_ms"] =
      benchmark::Counter((double)region.getNbCubeZones() * state.iterations() / 1000.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RegionBuild)
    ->ArgNames({"near", "parallel"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

double median(std::vector<double>& values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

void BM_RegionBuildSplit(benchmark::State& state) {
  environment();
  QuietOutput quiet;
  const bool isNear = state.range(0) != 0;
  const char* const key = isNear ? "enable_parallelization_regions_near" : "enable_parallelization_regions_far";
  WorldRegion region(Float3(16.f, 16.f, 16.f), edge);
  if (state.range(1) != 0)
    fillCheckerboard(region);
  else
    fillTerrain(region);
  std::vector<double> times[2];
  const int64_t piecesBefore = WorldRegion::getNbTakenOverPieces();
  for (auto _ : state) {
    for (int parallel = 0; parallel < 2; ++parallel) {
      config().setBool(key, parallel != 0);
      const auto start = std::chrono::steady_clock::now();
      region.build(isNear, {});
      region.free();
      times[parallel].push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  }
  config().setBool(key, false);
  const double serial = median(times[0]);
  const double parallel = median(times[1]);
  state.counters["serial_ms"] = serial;
  state.counters["parallel_ms"] = parallel;
  state.counters["parallel_over_serial"] = serial > 0.0 ? parallel / serial : 0.0;
  state.counters["pieces_taken_over_per_build"] =
      (double)(WorldRegion::getNbTakenOverPieces() - piecesBefore) / (double)std::max<size_t>(1, times[1].size());
}
BENCHMARK(BM_RegionBuildSplit)
    ->ArgNames({"near", "checkerboard"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->MinTime(2.0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
