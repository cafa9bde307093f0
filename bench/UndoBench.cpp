// Undo and redo of the editor's landscape generation on 4 x 4 regions of 32 cubes of edge 1
// (run under Xvfb: the world needs the engine window for its cube types):
//   Generate/0      the landscape generation alone: hills from 32 x 32 height samples per region
//                   with up to 100 random blocks and 20 script objects each (the baseline)
//   Generate/1      the same generation recorded as one undo step (the cost of recording)
//   Replay/0        undoing that step (the world back to empty)
//   Replay/1        redoing it after an undo
// Undo and redo leave the regions unbuilt; the streaming rebuilds them as after a generation.
// Counters: zones (zones the landscape holds), step_bytes (memory the step counts).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "editor/Editor3DWorldGeneration.h"
#include "world/IndexedWorld.h"
#include "editor/UndoLog.h"
#include "world/WorldRegion.h"

namespace {

constexpr int regionCubes = 32;
constexpr int regionsPerSide = 4;

/// Created by the first benchmark, destroyed by main before the window goes.
IndexedWorld* world = nullptr;

IndexedWorld& sharedWorld() {
  if (world == nullptr) {
    world = createEmptyBenchWorld("undobench", regionCubes);
    DeviceManager::getInstance()->getConfig().setBool("fast_shadows", true);
    Editor3DWorldGeneration::nbAdditionalRandomCubes = 100;
    Editor3DWorldGeneration::nbCustomObjects = 20;
  }
  return *world;
}

/// The same landscape every time: rolling hills over 4 x 4 regions, then random blocks and
/// objects from a fixed seed.
void generateLandscape(IndexedWorld& target) {
  std::srand(7);
  const std::vector<Editor3DWorldGeneration::CellTypes> types = {{0, 1}};
  std::vector<int> top(regionCubes * regionCubes), bottom(regionCubes * regionCubes, 0);
  for (int p = 0; p < regionsPerSide; ++p)
    for (int q = 0; q < regionsPerSide; ++q) {
      for (int i = 0; i < regionCubes; ++i)
        for (int j = 0; j < regionCubes; ++j) {
          const double x = p * regionCubes + i, z = q * regionCubes + j;
          top[i + j * regionCubes] = 4 + static_cast<int>(8.0 + 6.0 * std::sin(x / 9.0) * std::cos(z / 7.0));
        }
      const Int3 centre(p * regionCubes + regionCubes / 2, 0, q * regionCubes + regionCubes / 2);
      Editor3DWorldGeneration::buildRegion(target, centre, 0, top, bottom, regionCubes, types, regionCubes, 0);
    }
}

void recordLandscape(UndoLog& log) {
  const UndoLog::Recording recording(log);
  generateLandscape(*world);
}

void Generate(benchmark::State& state) {
  IndexedWorld& target = sharedWorld();
  const bool isRecorded = state.range(0) != 0;
  UndoLog log(target, 4);
  size_t zones = 0;
  for (auto _ : state) {
    if (isRecorded) recordLandscape(log);
    else generateLandscape(target);
    state.PauseTiming();
    zones = countWorldZones(target);
    log.clear();
    target.reset();
    state.ResumeTiming();
  }
  state.counters["zones"] = static_cast<double>(zones);
}

/// Arg 0: undoing the recorded landscape; arg 1: redoing it after an undo.
void Replay(benchmark::State& state) {
  IndexedWorld& target = sharedWorld();
  const bool isRedo = state.range(0) != 0;
  UndoLog log(target, 4);
  size_t zones = 0, bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    recordLandscape(log);
    zones = countWorldZones(target);
    bytes = log.getBytes();
    if (isRedo) log.undo();
    state.ResumeTiming();
    if (isRedo) log.redo();
    else log.undo();
    state.PauseTiming();
    if (countWorldZones(target) != (isRedo ? zones : 0)) state.SkipWithError("the world is not as it was");
    log.clear();
    target.reset();
    state.ResumeTiming();
  }
  state.counters["zones"] = static_cast<double>(zones);
  state.counters["step_bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(Generate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Replay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runBenchmarksWithWorld(argc, argv, world); }
