// World file: load and save of a large landscape world against a plain read and a plain write
// plus fsync of the same bytes, in the same run, and the memory the loaded world holds.
// Run under Xvfb from the game directory (the load draws its progress bar), Release build:
//   xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" nice -n 10 ./WorldFileBench
//   BM_WorldFile/64   a 64 x 2 x 64-region landscape (regions of 32 cubes of edge 10, about
//                     557 000 zones, fast shadows: every face entry 0) written once with the
//                     engine's writer; then each iteration, in turn: a plain read of the file,
//                     loadWorld, a plain write + fsync of the same bytes, saveWorld (crash-safe).
//   Counters (medians over the iterations):
//     load_over_read   load throughput / plain read throughput   (target >= 0.1)
//     save_over_write  save throughput / plain write+fsync       (target >= 0.5)
//     bytes_per_zone   heap held by the loaded world per zone    (target <= 96)
//     rss_per_zone     resident set growth of the load per zone
//     load_MBps, read_MBps, save_MBps, write_MBps, file_MB, zones

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "meshing/CubeZone.h"
#include "meshing/CubesTable.h"
#include "DeviceManager.h"
#include "world/IndexedWorld.h"
#include "world/WorldFile.h"
#include "world/WorldRegion.h"

namespace {

constexpr int regionCubes = 32;
constexpr float cubeEdge = 10.f;

/// (x, y, z) * k
Float3 scaled(float x, float y, float z, float k) { return Float3(x * k, y * k, z * k); }

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <typename F>
double timed(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return seconds(std::chrono::steady_clock::now() - start);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

size_t residentBytes() {
  long pages = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
  std::fclose(statm);
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

std::vector<unsigned char> plainRead(const std::string& path) {
  std::vector<unsigned char> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  std::fseek(file, 0, SEEK_END);
  bytes.resize(static_cast<size_t>(std::ftell(file)));
  std::fseek(file, 0, SEEK_SET);
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::cerr << "short read\n";
  std::fclose(file);
  return bytes;
}

void plainWriteAndSync(const std::string& path, const std::vector<unsigned char>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  constexpr size_t block = size_t(1) << 20;
  for (size_t at = 0; at < bytes.size(); at += block)
    if (::write(fd, bytes.data() + at, std::min(block, bytes.size() - at)) < 0) std::cerr << "write failed\n";
  ::fsync(fd);
  ::close(fd);
}

/// A landscape: the lower layer of regions solid (eight 16-cube zones each), the upper layer
/// columns of 4 x 4 cubes of varying height, each a dirt zone under a one-cube grass zone.
size_t fillLandscape(IndexedWorld& world) {
  const Int3 size = world.getTableRegionSize();
  size_t nbZones = 0;
  const float s = cubeEdge;
  for (int i = 0; i < size.x(); ++i)
    for (int k = 0; k < size.z(); ++k) {
      WorldRegion* lower = world.getRegion(Int3(i, 0, k));
      const Float3 low = lower->getPosition() - scaled(1.f, 1.f, 1.f, regionCubes * s / 2.f);
      for (int n = 0; n < 8; ++n) {
        const Float3 corner = low + scaled(float(n & 1), float((n >> 1) & 1), float((n >> 2) & 1), 16.f * s);
        lower->addCubeZone(CubeZone(2, corner + scaled(8.f, 8.f, 8.f, s), scaled(16.f, 16.f, 16.f, s)));
        ++nbZones;
      }
      WorldRegion* upper = world.getRegion(Int3(i, 1, k));
      const Float3 base = upper->getPosition() - scaled(1.f, 1.f, 1.f, regionCubes * s / 2.f);
      for (int cx = 0; cx < 8; ++cx)
        for (int cz = 0; cz < 8; ++cz) {
          const float x = static_cast<float>(i * 8 + cx), z = static_cast<float>(k * 8 + cz);
          const int height = 2 + static_cast<int>(13.f + 12.f * std::sin(x * 0.11f) * std::cos(z * 0.07f));
          const Float3 column = base + scaled(cx * 4.f, 0.f, cz * 4.f, s);
          const float dirt = static_cast<float>(height - 1);
          upper->addCubeZone(
              CubeZone(1, column + scaled(2.f, dirt / 2.f, 2.f, s), scaled(4.f, dirt, 4.f, s)));
          upper->addCubeZone(
              CubeZone(0, column + scaled(2.f, dirt + 0.5f, 2.f, s), scaled(4.f, 1.f, 4.f, s)));
          nbZones += 2;
        }
    }
  return nbZones;
}

struct Environment {
  Environment() {
    DeviceManager::createInstance("worldfilebench", "", 800, 600, false);
    XMLSimple& config = DeviceManager::getInstance()->getConfig();
    config.setInt("size_one_region", regionCubes);
    config.setDouble("size_one_cube", cubeEdge);
    config.setBool("fast_shadows", true);
    CubesTable::setSizeOneCube(cubeEdge);
  }
};

void BM_WorldFile(benchmark::State& state) {
  static Environment environment;
  const int side = static_cast<int>(state.range(0));
  const std::string dir = "/tmp/worldfilebench-" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0755);
  const std::string empty = dir + "/empty.dat", path = dir + "/world.dat", plain = dir + "/plain.dat";
  {
    WorldFile file;
    file.putHeader(0);
    file.putRegionTable(Int3(-1, -1, -1), Int3(2, 2, 2));
    for (int region = 0; region < 8; ++region) {
      file.putZoneSection({}, true);
      file.putObjectSectionHeader(0);
    }
    file.writeTo(empty);
  }
  std::unique_ptr<IndexedWorld> world(new IndexedWorld(empty));
  const std::string names[6] = {"grass_top.png", "dirt.png", "stone.png", "", "", ""};
  const bool options[3] = {true, true, true};
  for (int type = 0; type < 3; ++type) {
    std::string faces[6];
    for (std::string& face : faces) face = names[type];
    world->addCubeType(faces, options, true);
  }
  world->resizeTable(Int3(1 - side / 2, 0, 1 - side / 2), Int3(side / 2 - 1, 0, side / 2 - 1));
  const size_t nbZones = fillLandscape(*world);
  world->saveWorld(path);

  // Memory: the empty world, then the same world loaded from the file.
  world->reset();
  malloc_trim(0);
  const size_t heapBefore = heapInUse(), residentBefore = residentBytes();
  world->loadWorld(path);
  const double bytesPerZone = static_cast<double>(heapInUse() - heapBefore) / static_cast<double>(nbZones);
  const double residentPerZone = (static_cast<double>(residentBytes()) - static_cast<double>(residentBefore)) /
                                 static_cast<double>(nbZones);

  std::vector<double> read, load, write, save;
  double fileBytes = 0.;
  for (auto _ : state) {
    std::vector<unsigned char> bytes;
    read.push_back(timed([&] { bytes = plainRead(path); }));
    fileBytes = static_cast<double>(bytes.size());
    load.push_back(timed([&] { world->loadWorld(path); }));
    write.push_back(timed([&] { plainWriteAndSync(plain, bytes); }));
    save.push_back(timed([&] { world->saveWorld(path); }));
  }
  const double mb = fileBytes / 1e6;
  state.counters["zones"] = static_cast<double>(nbZones);
  state.counters["file_MB"] = mb;
  state.counters["bytes_per_zone"] = bytesPerZone;
  state.counters["rss_per_zone"] = residentPerZone;
  state.counters["read_MBps"] = mb / median(read);
  state.counters["load_MBps"] = mb / median(load);
  state.counters["write_MBps"] = mb / median(write);
  state.counters["save_MBps"] = mb / median(save);
  state.counters["load_over_read"] = median(read) / median(load);
  state.counters["save_over_write"] = median(write) / median(save);
  world.reset();
  for (const std::string& file : {empty, path, plain}) std::remove(file.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace

BENCHMARK(BM_WorldFile)->Arg(64)->Iterations(7)->Unit(benchmark::kMillisecond);
