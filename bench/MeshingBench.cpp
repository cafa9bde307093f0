// Meshing of one region: the far and near zone builders against a per-face culled reference
// mesher and a naive per-cube mesher written here, on a fixed heightmap terrain and a random
// fill, both 32 x 32 x 32 cubes stored as greedy zones (as the sample island's), and on the
// same terrain laid out as the landscape generator lays it (runs of columns along x). The
// ratios are reported as counters so that later runs can be compared:
//   far_quads_over_culled   quads of the far build / quads of the culled mesh (target <= 0.5)
//   far_over_culled_time    far-build time / culled-mesh time                 (target <= 1.0)
//   far_over_naive_time     far-build time / naive per-cube time              (target <= 0.2)
//   far_over_memcpy_time    far-build time / memcpy of the same vertex bytes (memory floor)
//   near_quads_per_face     all near-build quads / visible cube faces
//   near_quads_per_visible_face  near quads on visible cube faces / visible cube faces (16 with
//                           4 x 4 bump maps)
//   near_ring_quads_per_visible_face  the rest: the ring of small quads kept on covered cube
//                           faces whose neighbour has an empty cell beside it
//   joined_quads            quads of the far build with joined faces (world.xml's join_faces)
//   joined_over_far_quads   joined_quads / far_quads: the quads a region draws, after / before
//   joined_over_far_time    joined far-build time / far-build time
//   near_joined_quads       quads of the near build with joined faces: the fixtures' types have
//                           no bump map, so their small quads lie flat and join
//   near_joined_over_near_quads, near_joined_over_near_time  the same against the near build
// The builders run over the whole zone list at once, as a region builds each half of it
// (lists counted, then sized once, then filled); far_zone_by_zone_us and near_zone_by_zone_us
// time the same builds zone after zone, growing the lists as they go, for comparison.
// BM_FarBuild* and BM_FarJoinedBuild* run one far build alone (to profile it, e.g.
// `perf record -g MeshingBench --benchmark_filter=FarJoinedBuildLandscape`).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "meshing/CubeTypeLook.h"
#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"

namespace {

constexpr int n = 32;
constexpr float s = 1.f;
const Float3 regionCentre(n / 2.f, n / 2.f, n / 2.f);

/// Dense cells (-1 empty) in table order: x + (y + z * n) * n.
using Cells = std::vector<int>;

int cellIndex(int x, int y, int z) { return x + (y + z * n) * n; }

/// A rolling terrain, heights 1 to n.
int terrainHeight(int x, int z) {
  const float h = 14.f + 6.f * std::sin(x * 0.21f) * std::cos(z * 0.17f) + 4.f * std::sin((x + 2 * z) * 0.11f);
  return std::max(1, std::min(n, (int)h));
}

Cells terrainCells() {
  Cells cells((size_t)n * n * n, -1);
  for (int z = 0; z < n; ++z)
    for (int x = 0; x < n; ++x) {
      const int height = terrainHeight(x, z);
      for (int y = 0; y < height; ++y) {
        const int depth = height - 1 - y;
        cells[cellIndex(x, y, z)] = depth == 0 ? 0 : depth < 4 ? 1 : 2;  // grass, dirt, stone
      }
    }
  return cells;
}

/// The same heights laid out as the landscape generator lays them: along x, runs of columns of
/// one height, each a box of stone under a one-cube layer of grass.
std::vector<CubeZone> landscapeZones(const Cells&) {
  std::vector<CubeZone> zones;
  for (int z = 0; z < n; ++z)
    for (int x = 0; x < n;) {
      const int height = terrainHeight(x, z);
      int end = x + 1;
      while (end < n && terrainHeight(end, z) == height) ++end;
      const float length = (float)(end - x), middle = (x + end) / 2.f;
      if (height > 1)
        zones.emplace_back(2, Float3(middle, (height - 1) / 2.f, z + 0.5f), Float3(length, height - 1.f, 1.f));
      zones.emplace_back(0, Float3(middle, height - 0.5f, z + 0.5f), Float3(length, 1.f, 1.f));
      x = end;
    }
  return zones;
}

Cells landscapeCells() {
  Cells cells((size_t)n * n * n, -1);
  for (int z = 0; z < n; ++z)
    for (int x = 0; x < n; ++x) {
      const int height = terrainHeight(x, z);
      for (int y = 0; y < height; ++y) cells[cellIndex(x, y, z)] = y == height - 1 ? 0 : 2;
    }
  return cells;
}

Cells randomCells() {
  std::mt19937 random(12345);
  Cells cells((size_t)n * n * n, -1);
  for (int& cell : cells) cell = random() % 2 == 0 ? (int)(random() % 4) : -1;
  return cells;
}

/// Greedy boxes of one type: grow along x, then z, then y over cells not yet taken.
std::vector<CubeZone> greedyZones(const Cells& cells) {
  std::vector<char> taken(cells.size(), 0);
  auto free = [&](int x, int y, int z, int id) {
    const int i = cellIndex(x, y, z);
    return !taken[i] && cells[i] == id;
  };
  std::vector<CubeZone> zones;
  for (int y = 0; y < n; ++y)
    for (int z = 0; z < n; ++z)
      for (int x = 0; x < n; ++x) {
        const int id = cells[cellIndex(x, y, z)];
        if (id == -1 || taken[cellIndex(x, y, z)]) continue;
        int sx = 1, sz = 1, sy = 1;
        while (x + sx < n && free(x + sx, y, z, id)) ++sx;
        auto rowFree = [&](int yy, int zz) {
          for (int i = 0; i < sx; ++i)
            if (!free(x + i, yy, zz, id)) return false;
          return true;
        };
        while (z + sz < n && rowFree(y, z + sz)) ++sz;
        auto slabFree = [&](int yy) {
          for (int k = 0; k < sz; ++k)
            if (!rowFree(yy, z + k)) return false;
          return true;
        };
        while (y + sy < n && slabFree(y + sy)) ++sy;
        for (int j = 0; j < sy; ++j)
          for (int k = 0; k < sz; ++k)
            for (int i = 0; i < sx; ++i) taken[cellIndex(x + i, y + j, z + k)] = 1;
        zones.emplace_back(id, Float3(x + sx / 2.f, y + sy / 2.f, z + sz / 2.f), Float3((float)sx, (float)sy, (float)sz));
      }
  return zones;
}

/// One texture per face, so the face of every built quad is known from its group.
constexpr int texturesPerType = 12;
CubeTypeLook lookOf(int id) {
  CubeTypeLook look;
  for (int i = 0; i < 6; ++i) {
    look.textureFace[i] = 1 + id * texturesPerType + i;
    look.textureFaceShadowed[i] = 1 + id * texturesPerType + 6 + i;
  }
  look.textureShadow = 100;
  return look;
}

struct Fixture {
  explicit Fixture(const Cells& parCells, std::vector<CubeZone> (*zonesOf)(const Cells&) = greedyZones)
      : cells(parCells), zones(zonesOf(cells)), table(regionCentre, s, (float)n, zones) {
    for (int id = 0; id < 4; ++id) looks.push_back(lookOf(id));
    for (const CubeZone& zone : zones) drawLooks.push_back(CubeZone::DrawLook{&looks[zone.id], false});
  }
  Cells cells;
  std::vector<CubeZone> zones;
  CubesTable table;
  std::vector<CubeTypeLook> looks;
  std::vector<CubeZone::DrawLook> drawLooks;
};

const Fixture& terrain() {
  static const Fixture fixture(terrainCells());
  return fixture;
}

const Fixture& landscape() {
  static const Fixture fixture(landscapeCells(), landscapeZones);
  return fixture;
}

const Fixture& randomFill() {
  static const Fixture fixture(randomCells());
  return fixture;
}

size_t countQuads(const MeshGroupMap& groups) {
  size_t quads = 0;
  for (const auto& entry : groups) quads += entry.second.verticesQuadVect.size() / 4;
  return quads;
}

MeshGroupMap farBuild(const Fixture& f) {
  MeshGroupMap groups;
  CubeZone::buildFar(f.zones.data(), f.drawLooks.data(), f.zones.size(), groups, f.table);
  return groups;
}

MeshGroupMap farJoinedBuild(const Fixture& f) {
  MeshGroupMap groups;
  CubeZone::buildFar(f.zones.data(), f.drawLooks.data(), f.zones.size(), groups, f.table, nullptr, true);
  return groups;
}

MeshGroupMap nearBuild(const Fixture& f) {
  MeshGroupMap groups;
  CubeZone::buildNear(f.zones.data(), f.drawLooks.data(), f.zones.size(), groups, f.table);
  return groups;
}

MeshGroupMap nearJoinedBuild(const Fixture& f) {
  MeshGroupMap groups;
  CubeZone::buildNear(f.zones.data(), f.drawLooks.data(), f.zones.size(), groups, f.table, nullptr, true);
  return groups;
}

MeshGroupMap farBuildZoneByZone(const Fixture& f) {
  MeshGroupMap groups;
  for (const CubeZone& zone : f.zones) zone.buildFar(groups, f.table, f.looks[zone.id], false);
  return groups;
}

MeshGroupMap nearBuildZoneByZone(const Fixture& f) {
  MeshGroupMap groups;
  for (const CubeZone& zone : f.zones) zone.buildNear(groups, f.table, f.looks[zone.id]);
  return groups;
}

/// Unit-cube corners per face (counter-clockwise from outside) and the neighbour offset.
constexpr float faceCorners[6][4][3] = {
    {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}},
    {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, {{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}},
    {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}};
constexpr int faceNeighbour[6][3] = {{0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {-1, 0, 0}, {1, 0, 0}};
constexpr float cornerTex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

/// One quad per cube face; with `culled`, only faces whose neighbour is empty (or outside).
MeshGroupMap perCubeMesh(const Fixture& f, bool culled) {
  MeshGroupMap groups;
  const int* cells = f.cells.data();
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const int id = cells[cellIndex(x, y, z)];
        if (id == -1) continue;
        MeshGroup& group = groups[f.looks[id].textureFace[0]];
        for (int face = 0; face < 6; ++face) {
          if (culled) {
            const int nx = x + faceNeighbour[face][0], ny = y + faceNeighbour[face][1], nz = z + faceNeighbour[face][2];
            if (nx >= 0 && ny >= 0 && nz >= 0 && nx < n && ny < n && nz < n && cells[cellIndex(nx, ny, nz)] != -1)
              continue;
          }
          for (int c = 0; c < 4; ++c) {
            group.verticesQuadVect.push_back(
                Float3(x + faceCorners[face][c][0], y + faceCorners[face][c][1], z + faceCorners[face][c][2]));
            group.texCoordQuadVect.push_back(Float2(cornerTex[c][0], cornerTex[c][1]));
          }
        }
      }
  return groups;
}

/// Near-build quads on visible cube faces: the quad's middle, half a cube back along its
/// face's inward normal, lies in its cube; the face is visible when the cell beyond it is
/// empty or outside the region.
size_t countQuadsOnVisibleFaces(const Fixture& f, const MeshGroupMap& groups) {
  size_t onVisible = 0;
  for (const auto& entry : groups) {
    const int face = (entry.first - 1) % texturesPerType % 6;
    const std::vector<Float3>& vertices = entry.second.verticesQuadVect;
    for (size_t q = 0; q + 4 <= vertices.size(); q += 4) {
      int cell[3], beyond[3];
      for (int a = 0; a < 3; ++a) {
        const float middle = (vertices[q][a] + vertices[q + 1][a] + vertices[q + 2][a] + vertices[q + 3][a]) / 4.f;
        cell[a] = (int)std::floor(middle / s - faceNeighbour[face][a] * 0.5f);
        beyond[a] = cell[a] + faceNeighbour[face][a];
      }
      const bool outside = beyond[0] < 0 || beyond[1] < 0 || beyond[2] < 0 || beyond[0] >= n || beyond[1] >= n ||
                           beyond[2] >= n;
      if (outside || f.cells[cellIndex(beyond[0], beyond[1], beyond[2])] == -1) ++onVisible;
    }
  }
  return onVisible;
}

template <typename F>
double secondsOf(F&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// All variants side by side in one benchmark, so that the ratios come from one run.
void compareMeshers(benchmark::State& state, const Fixture& f) {
  const size_t farQuads = countQuads(farBuild(f));
  const size_t joinedQuads = countQuads(farJoinedBuild(f));
  const size_t culledQuads = countQuads(perCubeMesh(f, true));
  const MeshGroupMap near = nearBuild(f);
  const size_t nearQuads = countQuads(near);
  const size_t nearQuadsOnVisible = countQuadsOnVisibleFaces(f, near);
  const size_t nearJoinedQuads = countQuads(nearJoinedBuild(f));
  const size_t bytes = farQuads * 4 * (sizeof(Float3) + sizeof(Float2));
  std::vector<char> source(bytes, 1), target(bytes);

  double farTime = 0, culledTime = 0, naiveTime = 0, nearTime = 0, memcpyTime = 0;
  double farZoneByZoneTime = 0, nearZoneByZoneTime = 0, joinedTime = 0, nearJoinedTime = 0;
  for (auto _ : state) {
    farTime += secondsOf([&] { benchmark::DoNotOptimize(farBuild(f)); });
    joinedTime += secondsOf([&] { benchmark::DoNotOptimize(farJoinedBuild(f)); });
    culledTime += secondsOf([&] { benchmark::DoNotOptimize(perCubeMesh(f, true)); });
    naiveTime += secondsOf([&] { benchmark::DoNotOptimize(perCubeMesh(f, false)); });
    nearTime += secondsOf([&] { benchmark::DoNotOptimize(nearBuild(f)); });
    nearJoinedTime += secondsOf([&] { benchmark::DoNotOptimize(nearJoinedBuild(f)); });
    farZoneByZoneTime += secondsOf([&] { benchmark::DoNotOptimize(farBuildZoneByZone(f)); });
    nearZoneByZoneTime += secondsOf([&] { benchmark::DoNotOptimize(nearBuildZoneByZone(f)); });
    memcpyTime += secondsOf([&] {
      std::memcpy(target.data(), source.data(), bytes);
      benchmark::ClobberMemory();
    });
  }
  const double iterations = (double)state.iterations();
  state.counters["zones"] = (double)f.zones.size();
  state.counters["far_quads"] = (double)farQuads;
  state.counters["culled_quads"] = (double)culledQuads;
  state.counters["far_quads_over_culled"] = (double)farQuads / (double)culledQuads;
  state.counters["far_us"] = farTime / iterations * 1e6;
  state.counters["culled_us"] = culledTime / iterations * 1e6;
  state.counters["naive_us"] = naiveTime / iterations * 1e6;
  state.counters["near_us"] = nearTime / iterations * 1e6;
  state.counters["far_zone_by_zone_us"] = farZoneByZoneTime / iterations * 1e6;
  state.counters["near_zone_by_zone_us"] = nearZoneByZoneTime / iterations * 1e6;
  state.counters["far_over_culled_time"] = farTime / culledTime;
  state.counters["far_over_naive_time"] = farTime / naiveTime;
  state.counters["far_over_memcpy_time"] = farTime / memcpyTime;
  state.counters["near_quads_per_face"] = (double)nearQuads / (double)culledQuads;
  state.counters["near_quads_per_visible_face"] = (double)nearQuadsOnVisible / (double)culledQuads;
  state.counters["near_ring_quads_per_visible_face"] = (double)(nearQuads - nearQuadsOnVisible) / (double)culledQuads;
  state.counters["joined_quads"] = (double)joinedQuads;
  state.counters["joined_over_far_quads"] = (double)joinedQuads / (double)farQuads;
  state.counters["joined_us"] = joinedTime / iterations * 1e6;
  state.counters["joined_over_far_time"] = joinedTime / farTime;
  state.counters["near_joined_quads"] = (double)nearJoinedQuads;
  state.counters["near_joined_over_near_quads"] = (double)nearJoinedQuads / (double)nearQuads;
  state.counters["near_joined_over_near_time"] = nearJoinedTime / nearTime;
}

void BM_CompareTerrain(benchmark::State& state) { compareMeshers(state, terrain()); }
void BM_CompareLandscape(benchmark::State& state) { compareMeshers(state, landscape()); }
void BM_CompareRandomFill(benchmark::State& state) { compareMeshers(state, randomFill()); }

void BM_FarBuildTerrain(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farBuild(terrain()));
}

void BM_FarJoinedBuildTerrain(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farJoinedBuild(terrain()));
}

void BM_FarBuildLandscape(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farBuild(landscape()));
}

void BM_FarJoinedBuildLandscape(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farJoinedBuild(landscape()));
}

void BM_FarJoinedBuildRandomFill(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farJoinedBuild(randomFill()));
}

void BM_FarBuildRandomFill(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(farBuild(randomFill()));
}

void BM_CulledMeshRandomFill(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(perCubeMesh(randomFill(), true));
}

void BM_NearBuildTerrain(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(nearBuild(terrain()));
}

void BM_TableWithShadowsTerrain(benchmark::State& state) {
  const Fixture& f = terrain();
  std::vector<const CubeZone*> casters;
  for (const CubeZone& zone : f.zones) casters.push_back(&zone);
  for (auto _ : state) {
    CubesTable table(regionCentre, s, (float)n, f.zones, &casters);
    benchmark::DoNotOptimize(table.getShadows());
  }
}

}  // namespace

BENCHMARK(BM_CompareTerrain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompareLandscape)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompareRandomFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarBuildTerrain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarJoinedBuildTerrain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarBuildLandscape)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarJoinedBuildLandscape)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarBuildRandomFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FarJoinedBuildRandomFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CulledMeshRandomFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NearBuildTerrain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TableWithShadowsTerrain)->Unit(benchmark::kMicrosecond);
